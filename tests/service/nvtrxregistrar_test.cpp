// The registry script interpreter: the server's own scripts registered,
// registered again and unregistered in a temporary registry; the syntax's
// keywords, value types and variables; malformed scripts.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/trxplatform.h"
#include "service/nvtrxregistrar.h"
#include "support/trxtestregistry.h"

namespace {

const char16_t kAppId[] = u"{C4F2E8A1-6B3D-4F7A-9E21-5D8C0B7A3F64}";
const char16_t kModule[] = u"C:\\Program Files\\Norvik\\trxcom.exe";
const char16_t kClsidKey[] = u"CLSID\\{3A90E90B-4F6B-48CC-88C9-254009044AAE}";

TrxString sourceFile(const char* name) {
  std::ifstream in(std::string(TRX_SOURCE_DIR) + "/service/" + name, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return TrxWiden(text.str());
}

// The text of a REG_SZ value, "<missing>" if the key is not there, "<no value>"
// if the value is not, "<type N>" for another type.
std::string text(HKEY root, const TrxString& path, const char16_t* name = nullptr) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return "<missing>";
  DWORD type = 0, size = 0;
  std::string result = "<no value>";
  if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
    std::vector<BYTE> data(size);
    RegQueryValueExW(key, name, nullptr, &type, data.data(), &size);
    if (type == REG_SZ) {
      TrxString wide(data.size() / 2, u'\0');
      std::memcpy(wide.data(), data.data(), wide.size() * 2);
      result = TrxNarrow(TrxView(wide.c_str()));  // up to the terminator
    } else {
      result = "<type " + std::to_string(type) + ">";
    }
  }
  RegCloseKey(key);
  return result;
}
bool exists(HKEY root, const TrxString& path) { return text(root, path) != "<missing>"; }

CNVTRXRegistrar serverRegistrar() {
  CNVTRXRegistrar registrar;
  registrar.AddReplacement(OLESTR("APPID"), kAppId);
  registrar.AddReplacement(OLESTR("MODULE"), kModule);
  return registrar;
}

}  // namespace

TEST(Registrar, ServerScriptsRegisterReregisterAndUnregister) {
  TrxTestRegistry registry;
  registry.SetString("HKCR\\CLSID\\{11111111-2222-3333-4444-555555555555}", "", "another class");
  registry.SetString("HKCR\\AppID\\{11111111-2222-3333-4444-555555555555}", "", "another app");
  const TrxString appIdScript = sourceFile("nvtrxappid.rgs");
  const TrxString classScript = sourceFile("nvtrx.rgs");
  ASSERT_FALSE(appIdScript.empty());
  ASSERT_FALSE(classScript.empty());

  CNVTRXRegistrar registrar = serverRegistrar();
  ASSERT_EQ(registrar.Register(appIdScript), S_OK) << TrxNarrow(registrar.LastError());
  ASSERT_EQ(registrar.Register(classScript), S_OK) << TrxNarrow(registrar.LastError());

  auto checkRegistered = [&] {
    EXPECT_EQ(text(HKEY_CLASSES_ROOT, u"AppID\\{C4F2E8A1-6B3D-4F7A-9E21-5D8C0B7A3F64}"), "trxcom");
    EXPECT_EQ(text(HKEY_CLASSES_ROOT, u"AppID\\trxcom.exe", u"AppID"), TrxNarrow(kAppId));
    EXPECT_EQ(text(HKEY_CLASSES_ROOT, u"trxcom.CNVcoTRX.1"), "CNVcoTRX Class");
    EXPECT_EQ(text(HKEY_CLASSES_ROOT, u"trxcom.CNVcoTRX.1\\CLSID"), "{3A90E90B-4F6B-48CC-88C9-254009044AAE}");
    EXPECT_EQ(text(HKEY_CLASSES_ROOT, u"trxcom.CNVcoTRX"), "CNVcoTRX Class");
    EXPECT_EQ(text(HKEY_CLASSES_ROOT, u"trxcom.CNVcoTRX\\CLSID"), "{3A90E90B-4F6B-48CC-88C9-254009044AAE}");
    EXPECT_EQ(text(HKEY_CLASSES_ROOT, u"trxcom.CNVcoTRX\\CurVer"), "trxcom.CNVcoTRX.1");
    const TrxString clsid = kClsidKey;
    EXPECT_EQ(text(HKEY_CLASSES_ROOT, clsid), "Norvik Test Automation");
    EXPECT_EQ(text(HKEY_CLASSES_ROOT, clsid, u"AppID"), TrxNarrow(kAppId));
    EXPECT_EQ(text(HKEY_CLASSES_ROOT, clsid + u"\\ProgID"), "trxcom.CNVcoTRX.1");
    EXPECT_EQ(text(HKEY_CLASSES_ROOT, clsid + u"\\VersionIndependentProgID"), "trxcom.CNVcoTRX");
    EXPECT_TRUE(exists(HKEY_CLASSES_ROOT, clsid + u"\\Programmable"));
    EXPECT_EQ(text(HKEY_CLASSES_ROOT, clsid + u"\\LocalServer32"), TrxNarrow(kModule));
    EXPECT_EQ(text(HKEY_CLASSES_ROOT, clsid + u"\\TypeLib"), "{7FF56E4D-5E78-4835-9402-4354BEA8EAA5}");
    // Written where HKEY_CLASSES_ROOT's new keys go.
    EXPECT_TRUE(exists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Classes\\trxcom.CNVcoTRX\\CurVer"));
  };
  checkRegistered();

  // Registering again: the same entries, and ForceRemove clears what a
  // former registration left below the class key.
  registry.SetString("HKCR\\CLSID\\{3A90E90B-4F6B-48CC-88C9-254009044AAE}\\InprocServer32", "", "stale.dll");
  registry.SetString("HKCR\\CLSID\\{3A90E90B-4F6B-48CC-88C9-254009044AAE}", "Stale", "x");
  ASSERT_EQ(registrar.Register(appIdScript), S_OK);
  ASSERT_EQ(registrar.Register(classScript), S_OK);
  checkRegistered();
  EXPECT_FALSE(exists(HKEY_CLASSES_ROOT, TrxString(kClsidKey) + u"\\InprocServer32"));
  EXPECT_EQ(text(HKEY_CLASSES_ROOT, kClsidKey, u"Stale"), "<no value>");

  // Unregistering: NoRemove keys and other classes stay, the rest goes.
  EXPECT_EQ(registrar.Unregister(classScript), S_OK);
  EXPECT_EQ(registrar.Unregister(appIdScript), S_OK);
  EXPECT_TRUE(exists(HKEY_CLASSES_ROOT, u"CLSID"));
  EXPECT_TRUE(exists(HKEY_CLASSES_ROOT, u"AppID"));
  EXPECT_EQ(text(HKEY_CLASSES_ROOT, u"CLSID\\{11111111-2222-3333-4444-555555555555}"), "another class");
  EXPECT_EQ(text(HKEY_CLASSES_ROOT, u"AppID\\{11111111-2222-3333-4444-555555555555}"), "another app");
  for (const char16_t* gone : {kClsidKey, u"trxcom.CNVcoTRX", u"trxcom.CNVcoTRX.1", u"AppID\\trxcom.exe",
                               u"AppID\\{C4F2E8A1-6B3D-4F7A-9E21-5D8C0B7A3F64}"})
    EXPECT_FALSE(exists(HKEY_CLASSES_ROOT, gone)) << TrxNarrow(gone);

  // Unregistering what is not there is no error.
  EXPECT_EQ(registrar.Unregister(classScript), S_OK);
  EXPECT_EQ(registrar.Unregister(appIdScript), S_OK);
}

TEST(Registrar, SyntaxKeywordsAndVariables) {
  TrxTestRegistry registry;
  registry.SetString("HKCU\\Software\\Vendor", "Other", "other");
  CNVTRXRegistrar registrar;
  registrar.AddReplacement(OLESTR("Name"), OLESTR("Sample"));
  registrar.AddReplacement(OLESTR("QUOTE"), OLESTR("it's"));
  const TrxString script = TrxWiden(
      "HKEY_CURRENT_USER {\n"
      "  noremove Software {\n"
      "    NoRemove Vendor {\n"
      "      val Written = s '%name%'\n"
      "      'Key With Spaces' = s '%QUOTE%' {\n"
      "        Empty\n"
      "      }\n"
      "    }\n"
      "  }\n"
      "}\n");
  ASSERT_EQ(registrar.Register(script), S_OK) << TrxNarrow(registrar.LastError());
  EXPECT_TRUE(registrar.LastError().empty());
  EXPECT_EQ(text(HKEY_CURRENT_USER, u"Software\\Vendor", u"Written"), "Sample");
  EXPECT_EQ(text(HKEY_CURRENT_USER, u"Software\\Vendor\\Key With Spaces"), "it's");
  EXPECT_TRUE(exists(HKEY_CURRENT_USER, u"Software\\Vendor\\Key With Spaces\\Empty"));

  EXPECT_EQ(registrar.Unregister(script), S_OK);
  EXPECT_TRUE(exists(HKEY_CURRENT_USER, u"Software\\Vendor")) << "NoRemove";
  EXPECT_EQ(text(HKEY_CURRENT_USER, u"Software\\Vendor", u"Written"), "<no value>") << "its named values go";
  EXPECT_EQ(text(HKEY_CURRENT_USER, u"Software\\Vendor", u"Other"), "other") << "values not in the script stay";
  EXPECT_FALSE(exists(HKEY_CURRENT_USER, u"Software\\Vendor\\Key With Spaces"));
}

TEST(Registrar, MalformedScriptsAreErrorsWithTheirLine) {
  struct Case {
    const char* what;
    const char* script;
    int line;
  };
  const Case cases[] = {
      {"unknown root", "HKCR {\n}\nHKEY_USERS {\n}\n", 3},
      {"block not closed", "HKCR\n{\n  Key\n  {\n\n", 4},
      {"missing brace after the root", "HKCR\n  Key\n", 2},
      {"unknown value type", "HKCR {\n  Key = x 'a'\n}\n", 2},
      {"missing data", "HKCR {\n  Key = s\n}\n", 3},
      {"unclosed quote", "HKCR {\n  Key = s 'a\n}\n", 2},
      {"a quote inside a bare word", "HKCR {\n  Key = s a'b'\n}\n", 2},
      {"unknown variable", "HKCR {\n  Key = s '%NOPE%'\n}\n", 2},
      {"val without '='", "HKCR {\n  Key {\n    val Name s 'a'\n  }\n}\n", 3},
      {"a backslash in a name", "HKCR {\n  'A\\B'\n}\n", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TrxTestRegistry registry;
    CNVTRXRegistrar registrar;
    const TrxString script = TrxWiden(std::string("HKCU { Software { Written = s 'x' } }\n") + c.script);
    EXPECT_EQ(registrar.Register(script), HRESULT_FROM_WIN32(ERROR_INVALID_DATA));
    const std::string expected = "line " + std::to_string(c.line + 1) + ": ";
    EXPECT_EQ(TrxNarrow(registrar.LastError()).rfind(expected, 0), 0u) << TrxNarrow(registrar.LastError());
    EXPECT_FALSE(exists(HKEY_CURRENT_USER, u"Software\\Written")) << "nothing is written";
    EXPECT_EQ(registrar.Unregister(script), HRESULT_FROM_WIN32(ERROR_INVALID_DATA));
  }
}
