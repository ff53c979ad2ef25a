// The description of a simulated Norvik client: its objects, their
// properties, the screens and views, and the rules that say how requests
// change the client's state. Loaded from an XML file (the format is written
// up in docs/host-description.md); immutable once loaded, so that any number
// of clients can be started from one description.
#pragma once

#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "host/nvsimlist.h"
#include "host/nvsimproperty.h"
#include "host/nvsimrule.h"
#include "model/nvtrxhost.h"
#include "platform/trxplatform.h"

// One host object of the description. Objects are numbered in document
// order; number 0 is the application.
struct CNVSimObjectDef {
  LONG index = 0;
  AUTO_OBJECTTYPE type = OBJTYPE_NULL;
  TrxString name;
  TrxString id;                            // optional, for "#id" references
  LONG parent = -1;                        // -1 for the application
  LONG screen = -1;                        // the screen it belongs to (views and screen objects), else -1
  bool visible = true;                     // at start
  std::vector<CNVSimProperty> properties;  // in the order written
  std::vector<LONG> children;              // in the order written
  std::vector<CNVSimRule> rules;
  // GetChildNames(type) answered with the value of a property instead of
  // the children's names: object type, property name.
  std::vector<std::pair<LONG, TrxString>> childNameSources;
  // The rows and columns of a list control; null for other objects.
  std::shared_ptr<const CNVSimListDef> list;
  TrxString path;  // "Accounts Screen/Account List View/..."
  LONG line = 0;
};

struct CNVSimScreenDef {
  TrxString name;
  TrxString displayName;
  LONG defaultView = -1;    // object index
  std::vector<LONG> views;  // object indexes, in the order written
  LONG line = 0;
};

// Why a description could not be loaded, and where.
struct CNVSimLoadError {
  TrxString file;
  LONG line = 0;      // 0 when unknown
  TrxString element;  // the element concerned, e.g. object "Account List Applet"
  TrxString message;
  // "file:line: message (in element)"; parts that are unknown are left out.
  TrxString ToText() const;
};

class CNVSimDescription {
 public:
  // Reads a file in UTF-8 (with or without a byte order mark) or UTF-16
  // with a byte order mark. Null, with `error` filled, when the file cannot
  // be read or is not a valid description.
  static std::shared_ptr<const CNVSimDescription> LoadFile(TrxStringView path, CNVSimLoadError& error);
  // The same for a text; `sourceName` stands for the file in messages.
  static std::shared_ptr<const CNVSimDescription> LoadText(TrxStringView text, TrxStringView sourceName,
                                                           CNVSimLoadError& error);

  const TrxString& GetSourceName() const noexcept { return m_source; }
  // All objects; [0] is the application.
  const std::vector<CNVSimObjectDef>& GetObjects() const noexcept { return m_objects; }
  const CNVSimObjectDef& GetObject(LONG index) const { return m_objects[static_cast<size_t>(index)]; }
  const std::vector<CNVSimScreenDef>& GetScreens() const noexcept { return m_screens; }
  // Rules written under <rules>, for any object they name.
  const std::vector<CNVSimRule>& GetGeneralRules() const noexcept { return m_generalRules; }
  LONG GetStartScreen() const noexcept { return m_startScreen; }
  // The application's navigation control "Screen" (the screen tab bar);
  // added when the file does not declare it.
  LONG GetScreenBar() const noexcept { return m_screenBar; }
  // Unknown properties fail instead of reading as empty.
  bool FailsUnknownProperties() const noexcept { return m_failUnknownProperties; }
  // Whether the application offers INVAppControl, and what its RegisterTRX returns.
  bool OffersControlInterface() const noexcept { return m_controlInterface; }
  HRESULT GetRegistrationStatus() const noexcept { return m_registrationStatus; }

  // The object of an absolute path ("Accounts Screen/Account List View",
  // "" for the application) or of "#id"; -1 when there is none.
  LONG FindObject(TrxStringView path) const;
  // A screen by name; -1 when there is none.
  LONG FindScreen(TrxStringView name) const;

  // Path segments: a name with '/' or '\' written as "\/" and "\\".
  static TrxString EscapeSegment(TrxStringView name);
  // Splits a path at unescaped '/' (a leading '/' is ignored); false for a
  // dangling escape.
  static bool SplitPath(TrxStringView path, std::vector<TrxString>& segments);
  // A status written as a name (S_OK, E_FAIL, E_INVALIDARG, E_NOTIMPL,
  // E_NOINTERFACE, E_ACCESSDENIED, DISP_E_MEMBERNOTFOUND, and the client's
  // NVSIM_E_ statuses), as hexadecimal "0x...", or in decimal.
  static bool ParseStatus(TrxStringView text, HRESULT& status);

 private:
  friend class CNVSimDescriptionLoader;
  CNVSimDescription() = default;

  TrxString m_source;
  std::vector<CNVSimObjectDef> m_objects;
  std::vector<CNVSimScreenDef> m_screens;
  std::vector<CNVSimRule> m_generalRules;
  std::map<TrxString, LONG> m_paths;
  std::map<TrxString, LONG> m_ids;
  LONG m_startScreen = -1;
  LONG m_screenBar = -1;
  bool m_failUnknownProperties = false;
  bool m_controlInterface = true;
  HRESULT m_registrationStatus = S_OK;
};
