// CNVTRXRegistrar: writes and removes the registry entries of a registry
// script, the text the server carries as "REGISTRY" resources.
//
// The script syntax:
//
//   HKCR
//   {
//       NoRemove CLSID
//       {
//           ForceRemove {3A90E90B-...} = s 'Norvik Test Automation'
//           {
//               LocalServer32 = s '%MODULE%'
//               val AppID = s '%APPID%'
//           }
//       }
//   }
//
// - A script is a list of roots, each followed by a block in braces: HKCR,
//   HKCU, HKLM or their long names (HKEY_CLASSES_ROOT, ...).
// - In a block: keys, each a name with an optional default value
//   ("= type data") and an optional block of its own; and named values,
//   "val name = type data".
// - Names and data are bare words (anything up to white space) or quoted
//   with single quotes, in which '' stands for one quote.
// - Types: s (REG_SZ text), d (REG_DWORD: decimal or 0x hexadecimal), b
//   (REG_BINARY: an even number of hex digits).
// - Before a key name, any of the keywords (compared without regard to
//   case): NoRemove (unregistering leaves the key, but goes into it),
//   ForceRemove (registering first deletes the key with everything below
//   it), Delete (registering deletes the key; nothing else happens to it).
// - %NAME% in names and data is replaced by the value given to
//   AddReplacement (names compared without regard to case); %% is one %.
//
// Register creates every key and sets every value, in script order.
// Unregister deletes every key that is not NoRemove, with everything below
// it (a missing key is not an error); in NoRemove keys it deletes the named
// values and goes on with their subkeys.
#pragma once

#include <memory>
#include <vector>

#include "platform/trxplatform.h"

class CNVTRXRegistrar {
 public:
  CNVTRXRegistrar() = default;

  // A replacement variable: %name% becomes value.
  void AddReplacement(TrxStringView name, TrxStringView value);

  // Parses the script and writes its entries. Stops at the first failing
  // registry call: HRESULT_FROM_WIN32 of its status. A malformed script
  // writes nothing: HRESULT_FROM_WIN32(ERROR_INVALID_DATA), with the
  // message in LastError().
  HRESULT Register(TrxStringView script);
  // Parses the script and removes its entries. Goes on past failing registry
  // calls and returns the first failure. A malformed script removes nothing
  // (as for Register).
  HRESULT Unregister(TrxStringView script);

  // The message of the last parse failure, "line N: ..."; empty after a
  // script that parsed.
  const TrxString& LastError() const noexcept { return m_error; }

  // ---- the parsed script ----
  enum Flags : unsigned { kNoRemove = 1, kForceRemove = 2, kDelete = 4 };
  struct Value {
    TrxString name;  // empty: the key's default value
    DWORD type = REG_SZ;
    std::vector<BYTE> data;
  };
  struct Key {
    TrxString name;
    unsigned flags = 0;
    std::vector<Value> values;  // the default value first, if any
    std::vector<std::unique_ptr<Key>> subkeys;
    int line = 0;
  };
  struct Root {
    HKEY key = nullptr;
    std::vector<std::unique_ptr<Key>> subkeys;
    std::vector<Value> values;
  };
  // Parses the script with the current replacements. False with `error` set
  // ("line N: ...") for a malformed one.
  bool Parse(TrxStringView script, std::vector<Root>* roots, TrxString* error) const;

 private:
  std::vector<std::pair<TrxString, TrxString>> m_replacements;
  TrxString m_error;
};
