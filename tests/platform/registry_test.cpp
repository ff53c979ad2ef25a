// The registry of the Linux layer: reading .reg files, opening keys,
// enumerating subkeys, reading values, snapshots, the file's location, and
// writing: creating keys, setting and deleting values, deleting keys and
// trees, HKEY_CLASSES_ROOT's targets, the rights of handles and concurrent
// writers.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "paltest.h"
#include "support/trxtestlog.h"
#include "support/trxtestregistry.h"

namespace {

void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// A registry file with the given raw content, named by TRX_REGISTRY for the
// object's lifetime.
class RegistryFile {
 public:
  explicit RegistryFile(const std::string& bytes) : m_environment("TRX_REGISTRY", m_file.Path().string().c_str()) {
    Rewrite(bytes);
  }
  void Rewrite(const std::string& bytes) const { WriteBytes(m_file.Path(), bytes); }

 private:
  TrxTempFile m_file{"registry"};
  TrxScopedEnvironment m_environment;
};

const std::string kHeader = "Windows Registry Editor Version 5.00\r\n\r\n";
const std::string kVendor = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Key]\r\n";

// A key handle closed at the end of the scope.
struct Key {
  HKEY key = nullptr;
  LSTATUS status = ERROR_SUCCESS;
  Key(HKEY root, const std::string& path, REGSAM access = KEY_READ)
      : status(RegOpenKeyExW(root, TrxWiden(path).c_str(), 0, access, &key)) {
    EXPECT_TRUE(status == ERROR_SUCCESS || key == nullptr) << "no key on failure";
  }
  ~Key() {
    if (key) RegCloseKey(key);
  }
};

// A value as text: "REG_SZ text", "REG_EXPAND_SZ text", "REG_DWORD 10", the
// type and the bytes of other values, or the status of the read that failed.
std::string ReadValue(HKEY key, const char* name) {
  const TrxString wide = TrxWiden(name ? name : "");
  DWORD size = 0, type = REG_NONE;
  LSTATUS status = RegQueryValueExW(key, name ? wide.c_str() : nullptr, nullptr, &type, nullptr, &size);
  std::vector<BYTE> data(size);
  if (status == ERROR_SUCCESS)
    status = RegQueryValueExW(key, name ? wide.c_str() : nullptr, nullptr, &type, data.data(), &size);
  if (status != ERROR_SUCCESS) return "status " + std::to_string(status);
  if (type == REG_DWORD && size == 4)
    return "REG_DWORD " + std::to_string(*reinterpret_cast<const DWORD*>(data.data()));
  if ((type != REG_SZ && type != REG_EXPAND_SZ) || size % 2 || size < 2 || data[size - 1] || data[size - 2]) {
    std::string bytes = "type " + std::to_string(type) + ":";
    for (BYTE byte : data) bytes += " " + std::to_string(byte);
    return bytes;
  }
  const std::string text = TrxNarrow(reinterpret_cast<const OLECHAR*>(data.data()));
  EXPECT_EQ(size, (TrxWiden(text).size() + 1) * 2) << "UTF-16 with the terminator";
  return (type == REG_SZ ? "REG_SZ " : "REG_EXPAND_SZ ") + text;
}

// Opens root\path and reads one value; "no key" when the key does not open.
std::string Read(HKEY root, const std::string& path, const char* name) {
  Key key(root, path);
  return key.status == ERROR_FILE_NOT_FOUND ? "no key"
         : key.status                       ? "status " + std::to_string(key.status)
                                            : ReadValue(key.key, name);
}

std::vector<std::string> Subkeys(HKEY key) {
  std::vector<std::string> names;
  WCHAR name[300];
  DWORD length = 300;
  for (DWORD index = 0; RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
       ++index, length = 300) {
    EXPECT_EQ(length, TrxLength(name));
    names.push_back(TrxNarrow(name));
  }
  return names;
}

const std::string kNoValue = "status " + std::to_string(ERROR_FILE_NOT_FOUND);

}  // namespace

TEST(RegistryFormat, ValuesOfTheVendorKey) {
  // The file: the header, [HKEY_LOCAL_MACHINE\SOFTWARE\Vendor\Key], then the lines given.
  // clang-format off
  const struct { std::string lines; const char* value; std::string expected; } cases[] = {
      {"@=\"text\"\r\n", nullptr, "REG_SZ text"},  // the default value
      {"\"Path\"=\"C:\\\\dir\\\\\\\"q\\\"\"\r\n", "Path", "REG_SZ C:\\dir\\\"q\""},  // escapes
      {"\"P\"=\"a\\nb\"\r\n", "P", "REG_SZ a\\nb"},  // other backslashes stay
      {"\"E\"=\"\"\r\n", "E", "REG_SZ "},  // an empty text
      {"\"Count\"=dword:0000000a\r\n", "Count", "REG_DWORD 10"},
      {"\"E\"=hex(2):25,00,54,00,\\\r\n  4d,00,50,00,25,00,00,00\r\n", "E", "REG_EXPAND_SZ %TMP%"},
      {"  ; [HKLM\\SOFTWARE\\Vendor\\Key]\r\n\r\n@=\"c\"\r\n", nullptr, "REG_SZ c"},  // comments, blank lines
      {"\"MixedCase\"=\"v\"\r\n", "mIXEDcASE", "REG_SZ v"},  // names ignore case
      {"\"A\"=\"1\"\r\n[HKLM\\SOFTWARE\\Other]\r\n" + kVendor + "\"B\"=\"2\"\r\n", "A", "REG_SZ 1"},
      {"\"A\"=\"1\"\r\n\"a\"=\"2\"\r\n", "A", "REG_SZ 2"},  // the last of two wins
      {"@=\"d\"\r\n", "Nope", kNoValue},
      {"\"Broken\"=\"no end\r\n\"Good\"=\"yes\"\r\n", "Good", "REG_SZ yes"},  // a malformed line is skipped
      {"\"D\"=dword:12345678z\r\n", "D", kNoValue},
      {"[HKEY_NOWHERE\\X]\r\n\"Lost\"=\"1\"\r\n", "Lost", kNoValue},  // after a bad key line: nowhere
      {"\"V\"=\"d\"\r\n\"V\"=-\r\n", "V", kNoValue},  // deleted
      {"@=\"d\"\r\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor]\r\n", nullptr, "no key"},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.lines);
    RegistryFile file(kHeader + kVendor + c.lines);
    EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\Key", c.value), c.expected);
  }
}

TEST(RegistryFormat, FilesRootsAndKeys) {
  // clang-format off
  const struct { std::string file; HKEY root; std::string key; std::string expected; } cases[] = {
      {"REGEDIT4\n[HKLM\\SOFTWARE\\S]\n@=\"lf\"\n", HKEY_LOCAL_MACHINE, "SOFTWARE\\S", "REG_SZ lf"},
      {"[HKLM\\SOFTWARE\\S]\r\n@=\"bare\"\r\n", HKEY_LOCAL_MACHINE, "SOFTWARE\\S", "REG_SZ bare"},  // no header
      {"REGEDIT4\r\n[HKLM\\SOFTWARE\\S]\r\n@=hex(2):25,41,25,00\r\n", HKEY_LOCAL_MACHINE, "SOFTWARE\\S", "REG_EXPAND_SZ %A%"},
      {kHeader + ";[HKLM\\SOFTWARE\\S]\r\n", HKEY_LOCAL_MACHINE, "SOFTWARE\\S", "no key"},
      {kHeader + "[HKCU\\Software\\S]\r\n@=\"u\"\r\n", HKEY_CURRENT_USER, "Software\\S", "REG_SZ u"},
      {kHeader + "[HKCR\\S]\r\n@=\"r\"\r\n", HKEY_CLASSES_ROOT, "S", "REG_SZ r"},
      {kHeader + "[hkey_local_machine\\SOFTWARE\\S]\r\n@=\"m\"\r\n", HKEY_LOCAL_MACHINE, "software\\s", "REG_SZ m"},
      {kHeader + "[HKCR\\S]\r\n@=\"r\"\r\n", HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\S", "REG_SZ r"},
      {kHeader + "[HKLM\\SOFTWARE\\Classes\\S]\r\n@=\"m\"\r\n", HKEY_CLASSES_ROOT, "S", "REG_SZ m"},
      {kHeader + "[HKLM\\SOFTWARE\\Classes\\S]\r\n@=\"m\"\r\n[HKCU\\Software\\Classes\\S]\r\n@=\"u\"\r\n",
       HKEY_CLASSES_ROOT, "S", "REG_SZ u"},  // the user's classes win
      {kHeader + "[HKLM\\SOFTWARE\\A\\B\\C]\r\n", HKEY_LOCAL_MACHINE, "SOFTWARE\\A", kNoValue},  // an implicit parent
      {kHeader + kVendor, HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\Nope", "no key"},
      {kHeader + kVendor, HKEY_CURRENT_USER, "SOFTWARE\\Vendor\\Key", "no key"},
      {kHeader + "[HKLM\\SOFTWARE\\Open\r\n", HKEY_LOCAL_MACHINE, "SOFTWARE\\Open", "no key"},
      {kHeader + "\"Orphan\"=\"x\"\r\n[HKLM\\SOFTWARE\\S]\r\n@=\"late\"\r\n", HKEY_LOCAL_MACHINE, "SOFTWARE\\S", "REG_SZ late"},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    RegistryFile file(c.file);
    EXPECT_EQ(Read(c.root, c.key, nullptr), c.expected);
  }

  const std::string text = kHeader + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Kéy]\r\n\"Name\"=\"Grüße\"\r\n";
  std::string utf16 = "\xFF\xFE";
  for (unsigned char byte : TrxUtf16LEBytes(TrxWiden(text))) utf16 += static_cast<char>(byte);
  for (const std::string& bytes : {text, "\xEF\xBB\xBF" + text, utf16}) {
    RegistryFile file(bytes);
    EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\KÉY", "Name"), "REG_SZ Grüße");
    Key vendor(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor");
    EXPECT_EQ(Subkeys(vendor.key), std::vector<std::string>{"Kéy"}) << "the name as the file spells it";
  }
}

TEST(RegOpenKeyExW, PathsArgumentsAndRights) {
  RegistryFile file(kHeader + "[HKLM\\SOFTWARE\\Vendor\\Key\\Sub]\r\n" + kVendor + "@=\"v\"\r\n");
  // clang-format off
  const struct { std::string path; REGSAM access; LSTATUS status; } cases[] = {
      {"SOFTWARE\\Vendor\\Key\\", KEY_READ, ERROR_SUCCESS},
      {"\\SOFTWARE\\Vendor", KEY_READ, ERROR_BAD_PATHNAME},
      {"", KEY_READ, ERROR_SUCCESS},  // the root again
      {"SOFTWARE\\Vend", KEY_READ, ERROR_FILE_NOT_FOUND},  // a name is not a path prefix
      {"SOFTWARE\\Vendor\\Key", KEY_WRITE, ERROR_SUCCESS},
      {"SOFTWARE\\Vendor\\Key", KEY_READ | SYNCHRONIZE, ERROR_ACCESS_DENIED},
  };
  // clang-format on
  for (const auto& c : cases) EXPECT_EQ(Key(HKEY_LOCAL_MACHINE, c.path, c.access).status, c.status) << c.path;
  HKEY key = reinterpret_cast<HKEY>(0x1);
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, nullptr, 0, KEY_READ, &key), ERROR_SUCCESS) << "null path";
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE) << "closed twice";
  EXPECT_EQ(ReadValue(key, nullptr), "status " + std::to_string(ERROR_INVALID_HANDLE));
  EXPECT_EQ(RegOpenKeyExW(key, u"", 0, KEY_READ, &key), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE", 0, KEY_READ, nullptr), ERROR_INVALID_PARAMETER);
  key = reinterpret_cast<HKEY>(0x1);
  EXPECT_EQ(RegOpenKeyExW(nullptr, u"SOFTWARE", 0, KEY_READ, &key), ERROR_INVALID_HANDLE);
  EXPECT_EQ(key, nullptr);
  EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);
  EXPECT_EQ(Key(HKEY_CURRENT_USER, "").status, ERROR_SUCCESS) << "a predefined key stays usable";

  // The rights of the handle are checked.
  WCHAR name[64];
  DWORD length = 64;
  Key queryOnly(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\Key", KEY_QUERY_VALUE);
  EXPECT_EQ(ReadValue(queryOnly.key, nullptr), "REG_SZ v");
  EXPECT_EQ(RegEnumKeyExW(queryOnly.key, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_ACCESS_DENIED);
  Key enumerateOnly(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\Key", KEY_ENUMERATE_SUB_KEYS);
  EXPECT_EQ(ReadValue(enumerateOnly.key, nullptr), "status " + std::to_string(ERROR_ACCESS_DENIED));
  EXPECT_EQ(RegEnumKeyExW(enumerateOnly.key, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
}

TEST(RegEnumKeyExW, DirectSubkeysInCaseInsensitiveOrderAndBuffers) {
  RegistryFile file(kHeader +
                    "[HKLM\\SOFTWARE\\Vendor\\gamma]\r\n[HKLM\\SOFTWARE\\Vendor\\beta\\deeper]\r\n"
                    "[HKLM\\SOFTWARE\\Vendor\\ALPHA2]\r\n[HKLM\\SOFTWARE\\Vendor\\Abcde]\r\n"
                    "[HKLM\\SOFTWARE\\Vendor\\BETA]\r\n");
  Key vendor(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor");
  EXPECT_EQ(Subkeys(vendor.key), (std::vector<std::string>{"Abcde", "ALPHA2", "beta", "gamma"}))
      << "sorted without regard to case, one key per name, its first spelling";
  EXPECT_EQ(Subkeys(Key(HKEY_LOCAL_MACHINE, "SOFTWARE").key), std::vector<std::string>{"Vendor"}) << "implicit";
  EXPECT_EQ(Subkeys(HKEY_LOCAL_MACHINE), std::vector<std::string>{"SOFTWARE"}) << "a predefined key";
  EXPECT_TRUE(Subkeys(Key(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\gamma").key).empty());
  // clang-format off
  const struct { DWORD index, size; LSTATUS status; DWORD length; std::string name; } cases[] = {
      {0, 6, ERROR_SUCCESS, 5, "Abcde"},  // fits exactly
      {0, 5, ERROR_MORE_DATA, 5, "#"},  // no room for the terminator: untouched
      {3, 6, ERROR_SUCCESS, 5, "gamma"},
      {4, 64, ERROR_NO_MORE_ITEMS, 64, "#"},
  };
  // clang-format on
  for (const auto& c : cases) {
    WCHAR name[64] = {u'#', 0};
    DWORD length = c.size;
    EXPECT_EQ(RegEnumKeyExW(vendor.key, c.index, name, &length, nullptr, nullptr, nullptr, nullptr), c.status);
    EXPECT_EQ(length, c.length) << c.index << " " << c.size;
    EXPECT_EQ(TrxNarrow(name), c.name) << c.index << " " << c.size;
  }
  WCHAR name[64];
  DWORD length = 64;
  EXPECT_EQ(RegEnumKeyExW(vendor.key, 0, nullptr, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegEnumKeyExW(vendor.key, 0, name, nullptr, nullptr, nullptr, nullptr, nullptr), ERROR_INVALID_PARAMETER);
}

TEST(RegQueryValueExW, SizesAndBuffers) {
  RegistryFile file(kHeader + kVendor + "@=\"abc\"\r\n\"N\"=dword:00000102\r\n");
  Key vendor(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\Key");
  // clang-format off
  const struct { const char16_t* name; bool withData; DWORD size; LSTATUS status; DWORD sizeAfter; } cases[] = {
      {nullptr, false, 0, ERROR_SUCCESS, 8},  // the size only
      {nullptr, true, 8, ERROR_SUCCESS, 8},
      {nullptr, true, 6, ERROR_MORE_DATA, 8},  // no room for the terminator
      {u"N", true, 3, ERROR_MORE_DATA, 4},
  };
  // clang-format on
  for (const auto& c : cases) {
    BYTE data[100] = {0xCC};
    DWORD size = c.size, type = 0xFFFF;
    EXPECT_EQ(RegQueryValueExW(vendor.key, c.name, nullptr, &type, c.withData ? data : nullptr, &size), c.status);
    EXPECT_EQ(size, c.sizeAfter) << c.size;
    EXPECT_EQ(type, c.name ? REG_DWORD : REG_SZ) << "the type in every case";
    EXPECT_EQ(data[0], c.status == ERROR_SUCCESS && c.withData ? 'a' : 0xCC) << "untouched unless read";
  }
  BYTE data[8];
  EXPECT_EQ(RegQueryValueExW(vendor.key, nullptr, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS) << "exists";
  EXPECT_EQ(RegQueryValueExW(vendor.key, nullptr, nullptr, nullptr, data, nullptr), ERROR_INVALID_PARAMETER);
}

TEST(Registry, FileIsReadAtEachOpenWhileOpenKeysKeepTheirSnapshot) {
  RegistryFile file(kHeader + kVendor + "@=\"old\"\r\n[HKLM\\SOFTWARE\\Vendor\\Key\\Sub]\r\n@=\"old sub\"\r\n");
  auto before = std::make_unique<Key>(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor");
  file.Rewrite(kHeader + kVendor + "@=\"new\"\r\n[HKLM\\SOFTWARE\\Vendor\\Added]\r\n");
  EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\Key", nullptr), "REG_SZ new") << "a new open reads again";
  EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\Key\\Sub", nullptr), "no key");
  EXPECT_EQ(Read(before->key, "Key", nullptr), "REG_SZ old") << "opened relative to the snapshot";
  EXPECT_EQ(Subkeys(before->key), std::vector<std::string>{"Key"});
  EXPECT_EQ(Subkeys(Key(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor").key), (std::vector<std::string>{"Added", "Key"}));
  Key child(before->key, "Key\\Sub");
  before.reset();
  EXPECT_EQ(ReadValue(child.key, nullptr), "REG_SZ old sub") << "valid after its parent is closed";

  TrxTempFile missing("absent");
  TrxScopedEnvironment environment("TRX_REGISTRY", missing.Path().string().c_str());
  EXPECT_EQ(Key(HKEY_LOCAL_MACHINE, "SOFTWARE").status, ERROR_FILE_NOT_FOUND) << "a missing file is an empty registry";
  EXPECT_TRUE(Subkeys(Key(HKEY_CLASSES_ROOT, "").key).empty());
}

TEST(Registry, FileLocation) {
  TrxTempFile folder("registry-folder");
  const std::filesystem::path root = folder.Path();
  std::filesystem::create_directories(root / "config" / "trx");
  std::filesystem::create_directories(root / "home" / ".config" / "trx");
  const std::pair<std::filesystem::path, std::string> files[] = {
      {root / "override.reg", "override"},
      {root / "config" / "trx" / "registry.reg", "config home"},
      {root / "home" / ".config" / "trx" / "registry.reg", "home"}};
  for (const auto& [file, text] : files)
    WriteBytes(file, kHeader + "[HKLM\\SOFTWARE\\Where]\r\n@=\"" + text + "\"\r\n");
  const std::string override = (root / "override.reg").string(), config = (root / "config").string();
  // clang-format off
  const struct { const char* registry; const char* configHome; const char* expected; } cases[] = {
      {override.c_str(), config.c_str(), "REG_SZ override"},
      {nullptr, config.c_str(), "REG_SZ config home"},
      {"", config.c_str(), "REG_SZ config home"},  // an empty TRX_REGISTRY is not set
      {nullptr, nullptr, "REG_SZ home"},
  };
  // clang-format on
  for (const auto& c : cases) {
    TrxScopedEnvironment registry("TRX_REGISTRY", c.registry), xdg("XDG_CONFIG_HOME", c.configHome);
    TrxScopedEnvironment home("HOME", (root / "home").string().c_str());
    EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, "SOFTWARE\\Where", nullptr), c.expected);
  }
  std::error_code ec;
  std::filesystem::remove_all(root, ec);
}

// ---- writing ------------------------------------------------------------------------------

namespace {

LSTATUS Create(HKEY root, const char16_t* path, HKEY* key, DWORD* disposition = nullptr) {
  return RegCreateKeyExW(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr, key,
                         disposition);
}

LSTATUS SetText(HKEY key, const char16_t* name, const std::u16string& text, DWORD type = REG_SZ) {
  return RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>((text.size() + 1) * sizeof(char16_t)));
}

LSTATUS SetDword(HKEY key, const char16_t* name, DWORD value) {
  return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

// Creates root\path and closes it again.
LSTATUS Touch(HKEY root, const char16_t* path) {
  HKEY key = nullptr;
  const LSTATUS status = Create(root, path, &key);
  if (key) RegCloseKey(key);
  return status;
}

}  // namespace

TEST(RegistryWrite, CreatesKeysWithTheirParentsAndReopensExistingOnes) {
  TrxTestRegistry registry;
  registry.SetString("HKEY_LOCAL_MACHINE\\SOFTWARE\\Other", "Keep", "me");
  HKEY created = nullptr, again = nullptr, below = nullptr, bad = reinterpret_cast<HKEY>(1);
  DWORD disposition = 0;
  ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor\\App\\Settings", &created, &disposition), ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  EXPECT_EQ(Key(HKEY_LOCAL_MACHINE, "software\\vendor\\app\\settings").status, ERROR_SUCCESS) << "whatever the case";
  EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, "SOFTWARE\\Other", "Keep"), "REG_SZ me") << "other keys stay";
  ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, u"SOFTWARE\\VENDOR\\App", &again, &disposition), ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  ASSERT_EQ(Create(again, u"Settings\\Deeper", &below, &disposition), ERROR_SUCCESS) << "relative to an open key";
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  EXPECT_EQ(Subkeys(Key(HKEY_LOCAL_MACHINE, "SOFTWARE").key), (std::vector<std::string>{"Other", "Vendor"}))
      << "names keep the spelling of their creation";
  EXPECT_FALSE(std::filesystem::exists(registry.Path().string() + ".writing")) << "no temporary file left behind";
  EXPECT_EQ(Create(HKEY_LOCAL_MACHINE, u"\\SOFTWARE\\X", &bad), ERROR_BAD_PATHNAME);
  EXPECT_EQ(bad, nullptr);
  EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\X", 0, nullptr, 0, KEY_WRITE, nullptr, nullptr, nullptr),
            ERROR_INVALID_PARAMETER);
  for (HKEY key : {created, again, below}) RegCloseKey(key);
}

TEST(RegistryWrite, SetsValuesOfEveryTypeAndReadsThemBack) {
  TrxTestRegistry registry;
  HKEY key = nullptr;
  ASSERT_EQ(Create(HKEY_CURRENT_USER, u"Software\\Vendor", &key), ERROR_SUCCESS);
  const BYTE binary[] = {0x00, 0xFF, 0x10};
  EXPECT_EQ(SetText(key, nullptr, u"default \"quoted\" \\ text"), ERROR_SUCCESS);
  EXPECT_EQ(SetText(key, u"Name", u"first"), ERROR_SUCCESS);
  EXPECT_EQ(SetText(key, u"NAME", u"second"), ERROR_SUCCESS) << "the same value, whatever the case";
  EXPECT_EQ(SetDword(key, u"Count", 0xA0B0C0D0u), ERROR_SUCCESS);
  EXPECT_EQ(SetText(key, u"Lines", u"one\r\ntwo"), ERROR_SUCCESS);
  EXPECT_EQ(SetText(key, u"Expand", u"%HOME%\\x", REG_EXPAND_SZ), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExW(key, u"Bytes", 0, REG_BINARY, binary, sizeof binary), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExW(key, u"Empty", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExW(key, u"Short", 0, REG_DWORD, binary, 3), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegSetValueExW(key, u"Null", 0, REG_SZ, nullptr, 4), ERROR_INVALID_PARAMETER);
  // clang-format off
  const std::pair<const char*, std::string> values[] = {
      {nullptr, "REG_SZ default \"quoted\" \\ text"}, {"name", "REG_SZ second"}, {"Count", "REG_DWORD 2695938256"},
      {"Lines", "REG_SZ one\r\ntwo"}, {"Expand", "REG_EXPAND_SZ %HOME%\\x"}, {"Bytes", "type 3: 0 255 16"},
      {"Empty", "type 3:"},
  };
  // clang-format on
  for (const auto& [name, expected] : values) {
    EXPECT_EQ(Read(HKEY_CURRENT_USER, "Software\\Vendor", name), expected) << "read from the file";
    EXPECT_EQ(ReadValue(key, name), expected) << "seen by the handle that wrote it";
  }
  std::ifstream in(registry.Path(), std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00\r\n", 0), 0u) << "a .reg file";
  EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Vendor]\r\n"), std::string::npos);
  EXPECT_NE(text.find("\"Count\"=dword:a0b0c0d0\r\n"), std::string::npos);
  EXPECT_NE(text.find("@=\"default \\\"quoted\\\" \\\\ text\"\r\n"), std::string::npos) << "plain text as text";
  RegCloseKey(key);
}

TEST(RegistryWrite, DeletesValuesKeysAndTrees) {
  TrxTestRegistry registry;
  registry.SetString("HKLM\\SOFTWARE\\Vendor\\App", "", "app");
  registry.SetString("HKLM\\SOFTWARE\\Vendor\\App", "Name", "x");
  registry.SetString("HKLM\\SOFTWARE\\Vendor\\App\\Sub\\Leaf\\Deeper", "V", "y");
  registry.SetString("HKLM\\SOFTWARE\\Vendor\\Other", "V", "z");
  Key app(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\App", KEY_ALL_ACCESS);
  EXPECT_EQ(RegDeleteValueW(app.key, u"name"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueW(app.key, u"Name"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\App", nullptr), "REG_SZ app");
  EXPECT_EQ(RegDeleteTreeW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor\\App\\Sub"), ERROR_SUCCESS);
  EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\App\\Sub", nullptr), "no key");
  EXPECT_EQ(RegDeleteTreeW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor\\App\\Sub"), ERROR_FILE_NOT_FOUND);
  // No subkey: the key's contents go, the key stays.
  EXPECT_EQ(Touch(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor\\App\\Sub"), ERROR_SUCCESS);
  Key fresh(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\App", KEY_ALL_ACCESS);
  EXPECT_EQ(RegDeleteTreeW(fresh.key, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\App", nullptr), kNoValue);
  EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\App\\Sub", nullptr), "no key");
  EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\Other", "V"), "REG_SZ z") << "its sibling stays";
  EXPECT_EQ(RegDeleteTreeW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor\\App"), ERROR_SUCCESS);
  EXPECT_EQ(SetText(fresh.key, u"V", u"late"), ERROR_KEY_DELETED) << "a handle whose key was deleted meanwhile";
  EXPECT_EQ(Touch(fresh.key, u"Child"), ERROR_KEY_DELETED);

  // The rights of the handle are checked.
  Key readOnly(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\Other"), writable(readOnly.key, "", KEY_SET_VALUE);
  EXPECT_EQ(SetText(readOnly.key, u"V", u"w"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteValueW(readOnly.key, u"V"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(Touch(readOnly.key, u"Child"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteTreeW(readOnly.key, nullptr), ERROR_ACCESS_DENIED);
  EXPECT_EQ(SetText(writable.key, u"V", u"w"), ERROR_SUCCESS);
  EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\Other", "V"), "REG_SZ w");
}

TEST(RegistryWrite, ClassesRootWritesToTheMachineAndDeletesEverywhere) {
  TrxTestRegistry registry;
  registry.SetString("HKCU\\Software\\Classes\\UserOnly", "", "user");
  HKEY created = nullptr, user = nullptr;
  ASSERT_EQ(Create(HKEY_CLASSES_ROOT, u"Vendor.Thing\\CLSID", &created), ERROR_SUCCESS);
  EXPECT_EQ(SetText(created, nullptr, u"{id}"), ERROR_SUCCESS);
  EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\Vendor.Thing\\CLSID", nullptr), "REG_SZ {id}");
  EXPECT_EQ(Read(HKEY_CLASSES_ROOT, "Vendor.Thing\\CLSID", nullptr), "REG_SZ {id}");
  ASSERT_EQ(Create(HKEY_CLASSES_ROOT, u"UserOnly", &user), ERROR_SUCCESS);
  EXPECT_EQ(SetText(user, u"V", u"mine"), ERROR_SUCCESS);
  EXPECT_EQ(Read(HKEY_CURRENT_USER, "Software\\Classes\\UserOnly", "V"), "REG_SZ mine") << "the user's key has it";
  EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\UserOnly", nullptr), "no key");
  registry.SetString("HKLM\\SOFTWARE\\Classes\\UserOnly", "", "machine");
  EXPECT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, u"UserOnly"), ERROR_SUCCESS);
  EXPECT_EQ(Read(HKEY_CLASSES_ROOT, "UserOnly", nullptr), "no key");
  EXPECT_EQ(Read(HKEY_CURRENT_USER, "Software\\Classes\\UserOnly", nullptr), "no key");
  EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\UserOnly", nullptr), "no key");
  RegCloseKey(created);
  RegCloseKey(user);
}

TEST(RegistryWrite, WritersOnSeveralThreadsLoseNothing) {
  TrxTestRegistry registry;
  std::vector<std::thread> threads;
  for (char16_t t = u'0'; t < u'4'; ++t)
    threads.emplace_back([t] {
      HKEY key = nullptr;
      if (Create(HKEY_LOCAL_MACHINE, (u"SOFTWARE\\Vendor\\T" + std::u16string(1, t)).c_str(), &key)) return;
      for (DWORD v = 0; v < 20; ++v) SetDword(key, (u"V" + TrxWiden(std::to_string(v))).c_str(), v);
      RegCloseKey(key);
    });
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < 4; ++t)
    for (int v = 0; v < 20; ++v)
      EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\T" + std::to_string(t), ("V" + std::to_string(v)).c_str()),
                "REG_DWORD " + std::to_string(v));
}
