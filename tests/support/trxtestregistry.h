// Test support for code that reads the registry or creates objects by class
// id: a temporary registry file, and the journal of the notification tool
// library (tests/notifier, path in TRX_TEST_NOTIFIER_PATH).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/trxplatform.h"
#include "support/trxtestlog.h"

// Sets an environment variable (through the platform, so the platform and
// libraries loaded into the process see it) for the object's lifetime and
// then puts back what was there before. A null value removes the variable.
class TrxScopedEnvironment {
 public:
  TrxScopedEnvironment(const std::string& name, const char* value);
  ~TrxScopedEnvironment();
  TrxScopedEnvironment(const TrxScopedEnvironment&) = delete;
  TrxScopedEnvironment& operator=(const TrxScopedEnvironment&) = delete;

 private:
  TrxString m_name;
  std::optional<TrxString> m_previous;
};

// A fresh, empty registry for the object's lifetime: TRX_REGISTRY names a
// temporary .reg file, which every change below rewrites at once (replacing
// the whole file in one step, so a reader on another thread sees either the
// old or the new content). Key paths start with a root name as in .reg files
// ("HKEY_LOCAL_MACHINE\\SOFTWARE\\..." or "HKLM\\..."); they are written as
// given and compared without regard to case.
class TrxTestRegistry {
 public:
  TrxTestRegistry();
  ~TrxTestRegistry();
  TrxTestRegistry(const TrxTestRegistry&) = delete;
  TrxTestRegistry& operator=(const TrxTestRegistry&) = delete;

  // Adds a key without values (nothing happens if it is there).
  void AddKey(const std::string& keyPath);
  // Sets a REG_SZ value; valueName "" is the key's default value. Adds the
  // key if needed.
  void SetString(const std::string& keyPath, const std::string& valueName, const std::string& value);
  // Sets a REG_DWORD value.
  void SetDword(const std::string& keyPath, const std::string& valueName, DWORD value);
  // Registers an in-process server: the default value of
  // HKEY_CLASSES_ROOT\CLSID\{clsid}\InprocServer32 becomes libraryPath.
  // clsidText is the "{...}" form.
  void RegisterInprocServer(const std::string& clsidText, const std::string& libraryPath);
  // Removes a key with its values and everything below it.
  void Remove(const std::string& keyPath);

  const std::filesystem::path& Path() const { return m_file.Path(); }
  // The file as written now.
  std::string Text() const;

 private:
  struct Key {
    std::string path;
    std::vector<std::pair<std::string, std::string>> values;  // name, data as written after '='
  };
  Key& Find(const std::string& keyPath);
  void SetData(const std::string& keyPath, const std::string& valueName, const std::string& data);
  void Write() const;

  TrxTempFile m_file;
  TrxScopedEnvironment m_environment;
  std::vector<Key> m_keys;
};

// The journal of the notification tool library: TRX_TEST_NOTIFIER_LOG names
// a temporary file for the object's lifetime. Each Init or Destroy call of a
// notification object appends one line, e.g.
//   "Init {OBJECT-CLSID} 4660 {TEXT}"  ("-" for a null or empty text)
//   "Destroy {OBJECT-CLSID}"
// with " failed" appended when TRX_TEST_NOTIFIER_FAIL names the method.
class TrxNotifierJournal {
 public:
  TrxNotifierJournal();
  ~TrxNotifierJournal() = default;

  // The complete lines written so far, without their line ends.
  std::vector<std::string> Lines() const;
  // Polls until at least count lines are there or ms milliseconds have
  // passed; returns the lines found last.
  std::vector<std::string> WaitForLines(size_t count, DWORD ms) const;
  const std::filesystem::path& Path() const { return m_file.Path(); }

 private:
  TrxTempFile m_file;
  TrxScopedEnvironment m_environment;
};
