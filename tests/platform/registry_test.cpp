// The registry of the Linux layer: reading .reg files, opening keys,
// enumerating subkeys, reading values, snapshots and the file's location.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/trxplatform.h"
#include "support/trxtestlog.h"
#include "support/trxtestregistry.h"

namespace {

void writeBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

// A registry file with the given raw content, named by TRX_REGISTRY for the
// object's lifetime.
class RegistryFile {
 public:
  explicit RegistryFile(const std::string& bytes) : m_environment("TRX_REGISTRY", m_file.Path().string().c_str()) {
    Rewrite(bytes);
  }
  void Rewrite(const std::string& bytes) const { writeBytes(m_file.Path(), bytes); }

 private:
  TrxTempFile m_file{"registry"};
  TrxScopedEnvironment m_environment;
};

// The UTF-16LE bytes of a UTF-8 text, with the byte-order mark.
std::string utf16File(const std::string& utf8) {
  std::string bytes = "\xFF\xFE";
  for (unsigned char byte : TrxUtf16LEBytes(TrxWiden(utf8))) bytes += static_cast<char>(byte);
  return bytes;
}

// Opens root\path with KEY_READ; the status, and the key on success.
struct Opened {
  LSTATUS status;
  HKEY key = nullptr;
  ~Opened() {
    if (key) RegCloseKey(key);
  }
};

std::unique_ptr<Opened> open(HKEY root, const std::string& path, REGSAM access = KEY_READ) {
  auto opened = std::make_unique<Opened>();
  TrxString wide = TrxWiden(path);
  opened->status = RegOpenKeyExW(root, wide.c_str(), 0, access, &opened->key);
  if (opened->status != ERROR_SUCCESS) {
    EXPECT_EQ(opened->key, nullptr) << "no key on failure";
  }
  return opened;
}

// A value as read: status, type and the data's bytes.
struct Read {
  bool opened = true;  // false: the key could not be opened (status is the open's)
  LSTATUS status = ERROR_SUCCESS;
  DWORD type = REG_NONE;
  std::vector<BYTE> data;

  std::string Text() const {
    TrxString text;
    for (size_t i = 0; i + 1 < data.size(); i += 2) text.push_back(static_cast<OLECHAR>(data[i] | data[i + 1] << 8));
    if (!text.empty() && text.back() == 0) text.pop_back();
    return TrxNarrow(text);
  }
  DWORD Dword() const {
    return data.size() == 4 ? static_cast<DWORD>(data[0] | data[1] << 8 | data[2] << 16 | data[3] << 24) : 0xDEADu;
  }
};

Read readValue(HKEY key, const char* name) {
  Read read;
  TrxString wide = name ? TrxWiden(name) : TrxString();
  DWORD size = 0;
  read.status = RegQueryValueExW(key, name ? wide.c_str() : nullptr, nullptr, &read.type, nullptr, &size);
  if (read.status != ERROR_SUCCESS) return read;
  read.data.resize(size);
  read.status = RegQueryValueExW(key, name ? wide.c_str() : nullptr, nullptr, &read.type, read.data.data(), &size);
  read.data.resize(size);
  return read;
}

// Opens root\path and reads one value; the open's status if it fails.
Read readAt(HKEY root, const std::string& path, const char* name) {
  auto opened = open(root, path);
  if (opened->status != ERROR_SUCCESS) return Read{false, opened->status, REG_NONE, {}};
  return readValue(opened->key, name);
}

std::vector<std::string> subkeys(HKEY key) {
  std::vector<std::string> names;
  for (DWORD index = 0;; ++index) {
    WCHAR name[300];
    DWORD length = 300;
    LSTATUS status = RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) break;
    EXPECT_EQ(status, ERROR_SUCCESS);
    if (status != ERROR_SUCCESS) break;
    EXPECT_EQ(length, TrxLength(name));
    names.push_back(TrxNarrow(name));
  }
  return names;
}

const char* const kHeader = "Windows Registry Editor Version 5.00\r\n\r\n";

}  // namespace

// ---- the file format --------------------------------------------------------------------

TEST(RegistryFormat, ReadsValues) {
  enum Outcome { Found, NoValue, NoKey };
  struct Case {
    const char* what;
    std::string file;
    HKEY root;
    std::string key;
    const char* value;  // null: default value
    Outcome outcome;
    DWORD type;
    std::string text;  // REG_SZ / REG_EXPAND_SZ
    DWORD number;      // REG_DWORD
  };
  const std::string vendor = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Key]\r\n";
  const Case cases[] = {
      {"default value", kHeader + vendor + "@=\"text\"\r\n", HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\Key", nullptr,
       Found, REG_SZ, "text", 0},
      {"empty name is the default value", kHeader + vendor + "@=\"text\"\r\n", HKEY_LOCAL_MACHINE,
       "SOFTWARE\\Vendor\\Key", "", Found, REG_SZ, "text", 0},
      {"named string with escapes", kHeader + vendor + "\"Path\"=\"C:\\\\dir\\\\\\\"q\\\"\"\r\n", HKEY_LOCAL_MACHINE,
       "SOFTWARE\\Vendor\\Key", "Path", Found, REG_SZ, "C:\\dir\\\"q\"", 0},
      {"escaped quote in the name", kHeader + vendor + "\"a\\\"b\"=\"x\"\r\n", HKEY_LOCAL_MACHINE,
       "SOFTWARE\\Vendor\\Key", "a\"b", Found, REG_SZ, "x", 0},
      {"other backslashes stay", kHeader + vendor + "\"P\"=\"a\\nb\"\r\n", HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\Key",
       "P", Found, REG_SZ, "a\\nb", 0},
      {"empty string", kHeader + vendor + "\"E\"=\"\"\r\n", HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\Key", "E", Found,
       REG_SZ, "", 0},
      {"non-ASCII text", kHeader + vendor + "\"N\"=\"Zürich €\"\r\n", HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\Key", "N",
       Found, REG_SZ, "Zürich €", 0},
      {"dword", kHeader + vendor + "\"Count\"=dword:0000000a\r\n", HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\Key", "Count",
       Found, REG_DWORD, "", 10},
      {"dword upper-case hex", kHeader + vendor + "\"Count\"=DWORD:FFFFFFFE\r\n", HKEY_LOCAL_MACHINE,
       "SOFTWARE\\Vendor\\Key", "Count", Found, REG_DWORD, "", 0xFFFFFFFEu},
      {"expandable string as hex(2)", kHeader + vendor + "\"E\"=hex(2):25,00,54,00,\\\r\n  4d,00,50,00,25,00,00,00\r\n",
       HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\Key", "E", Found, REG_EXPAND_SZ, "%TMP%", 0},
      {"lines ending in LF only", "REGEDIT4\n[HKLM\\SOFTWARE\\Vendor\\Key]\n@=\"lf\"\n", HKEY_LOCAL_MACHINE,
       "SOFTWARE\\Vendor\\Key", nullptr, Found, REG_SZ, "lf", 0},
      {"no header line", vendor + "@=\"bare\"\r\n", HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\Key", nullptr, Found, REG_SZ,
       "bare", 0},
      {"REGEDIT4 expandable string is 8-bit", "REGEDIT4\r\n" + vendor + "\"E\"=hex(2):25,41,25,00\r\n",
       HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\Key", "E", Found, REG_EXPAND_SZ, "%A%", 0},
      {"comments and blank lines",
       kHeader + std::string("; a comment\r\n\r\n") + vendor + "  ; [HKLM\\SOFTWARE\\Vendor\\Key]\r\n\r\n@=\"c\"\r\n",
       HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\Key", nullptr, Found, REG_SZ, "c", 0},
      {"a commented key line is no key", kHeader + std::string(";[HKLM\\SOFTWARE\\Hidden]\r\n"), HKEY_LOCAL_MACHINE,
       "SOFTWARE\\Hidden", nullptr, NoKey, 0, "", 0},
      {"short name HKLM", kHeader + std::string("[HKLM\\SOFTWARE\\S]\r\n@=\"m\"\r\n"), HKEY_LOCAL_MACHINE,
       "SOFTWARE\\S", nullptr, Found, REG_SZ, "m", 0},
      {"short name HKCU", kHeader + std::string("[HKCU\\Software\\S]\r\n@=\"u\"\r\n"), HKEY_CURRENT_USER, "Software\\S",
       nullptr, Found, REG_SZ, "u", 0},
      {"short name HKCR", kHeader + std::string("[HKCR\\S]\r\n@=\"r\"\r\n"), HKEY_CLASSES_ROOT, "S", nullptr, Found,
       REG_SZ, "r", 0},
      {"root names ignore case", kHeader + std::string("[hkey_local_machine\\SOFTWARE\\S]\r\n@=\"m\"\r\n"),
       HKEY_LOCAL_MACHINE, "SOFTWARE\\S", nullptr, Found, REG_SZ, "m", 0},
      {"classes root lines belong to the machine's classes", kHeader + std::string("[HKCR\\S]\r\n@=\"r\"\r\n"),
       HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\S", nullptr, Found, REG_SZ, "r", 0},
      {"machine classes appear under the classes root",
       kHeader + std::string("[HKLM\\SOFTWARE\\Classes\\S]\r\n@=\"m\"\r\n"), HKEY_CLASSES_ROOT, "S", nullptr, Found,
       REG_SZ, "m", 0},
      {"the user's classes win under the classes root",
       kHeader + std::string("[HKLM\\SOFTWARE\\Classes\\S]\r\n@=\"m\"\r\n[HKCU\\Software\\Classes\\S]\r\n@=\"u\"\r\n"),
       HKEY_CLASSES_ROOT, "S", nullptr, Found, REG_SZ, "u", 0},
      {"key names ignore case", kHeader + vendor + "@=\"k\"\r\n", HKEY_LOCAL_MACHINE, "software\\VENDOR\\kEy", nullptr,
       Found, REG_SZ, "k", 0},
      {"value names ignore case", kHeader + vendor + "\"MixedCase\"=\"v\"\r\n", HKEY_LOCAL_MACHINE,
       "SOFTWARE\\Vendor\\Key", "mIXEDcASE", Found, REG_SZ, "v", 0},
      {"a key repeated later adds to it",
       kHeader + vendor + "\"A\"=\"1\"\r\n[HKLM\\SOFTWARE\\Other]\r\n" + vendor + "\"B\"=\"2\"\r\n", HKEY_LOCAL_MACHINE,
       "SOFTWARE\\Vendor\\Key", "A", Found, REG_SZ, "1", 0},
      {"the last of two values wins", kHeader + vendor + "\"A\"=\"1\"\r\n\"a\"=\"2\"\r\n", HKEY_LOCAL_MACHINE,
       "SOFTWARE\\Vendor\\Key", "A", Found, REG_SZ, "2", 0},
      {"implicit parent exists", kHeader + std::string("[HKLM\\SOFTWARE\\A\\B\\C]\r\n"), HKEY_LOCAL_MACHINE,
       "SOFTWARE\\A\\B", "x", NoValue, 0, "", 0},
      {"implicit parent has no default value", kHeader + std::string("[HKLM\\SOFTWARE\\A\\B\\C]\r\n"),
       HKEY_LOCAL_MACHINE, "SOFTWARE\\A", nullptr, NoValue, 0, "", 0},
      {"missing key", kHeader + vendor, HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\Nope", nullptr, NoKey, 0, "", 0},
      {"missing value", kHeader + vendor + "@=\"d\"\r\n", HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\Key", "Nope", NoValue,
       0, "", 0},
      {"keys of one root are not in another", kHeader + vendor, HKEY_CURRENT_USER, "SOFTWARE\\Vendor\\Key", nullptr,
       NoKey, 0, "", 0},
      {"malformed value line is skipped, the next one kept",
       kHeader + vendor + "\"Broken\"=\"no end\r\n\"Good\"=\"yes\"\r\n", HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\Key",
       "Good", Found, REG_SZ, "yes", 0},
      {"malformed value is not there", kHeader + vendor + "\"Broken\"=\"no end\r\n\"Good\"=\"yes\"\r\n",
       HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\Key", "Broken", NoValue, 0, "", 0},
      {"bad dword is skipped", kHeader + vendor + "\"D\"=dword:12345678z\r\n", HKEY_LOCAL_MACHINE,
       "SOFTWARE\\Vendor\\Key", "D", NoValue, 0, "", 0},
      {"stray text is skipped", kHeader + vendor + "this is no line\r\n@=\"after\"\r\n", HKEY_LOCAL_MACHINE,
       "SOFTWARE\\Vendor\\Key", nullptr, Found, REG_SZ, "after", 0},
      {"values after a bad key line go nowhere", kHeader + vendor + "[HKEY_NOWHERE\\X]\r\n\"Lost\"=\"1\"\r\n",
       HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\Key", "Lost", NoValue, 0, "", 0},
      {"unclosed key line is skipped", kHeader + std::string("[HKLM\\SOFTWARE\\Open\r\n"), HKEY_LOCAL_MACHINE,
       "SOFTWARE\\Open", nullptr, NoKey, 0, "", 0},
      {"keys after a malformed line are read",
       kHeader + std::string("\"Orphan\"=\"x\"\r\n[HKLM\\SOFTWARE\\Late]\r\n@=\"late\"\r\n"), HKEY_LOCAL_MACHINE,
       "SOFTWARE\\Late", nullptr, Found, REG_SZ, "late", 0},
      {"deleted key", kHeader + vendor + "@=\"d\"\r\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor]\r\n", HKEY_LOCAL_MACHINE,
       "SOFTWARE\\Vendor\\Key", nullptr, NoKey, 0, "", 0},
      {"deleted value", kHeader + vendor + "\"V\"=\"d\"\r\n\"V\"=-\r\n", HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\Key",
       "V", NoValue, 0, "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RegistryFile file(c.file);
    Read read = readAt(c.root, c.key, c.value);
    Outcome outcome = !read.opened ? NoKey : read.status == ERROR_SUCCESS ? Found : NoValue;
    EXPECT_EQ(outcome, c.outcome) << "status " << read.status;
    if (outcome != Found || c.outcome != Found) {
      EXPECT_EQ(read.status, outcome == Found ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
      continue;
    }
    EXPECT_EQ(read.type, c.type);
    if (c.type == REG_DWORD) {
      EXPECT_EQ(read.Dword(), c.number);
    } else {
      EXPECT_EQ(read.Text(), c.text);
      EXPECT_EQ(read.data.size(), (TrxWiden(c.text).size() + 1) * 2) << "UTF-16 bytes with the terminator";
    }
  }
}

TEST(RegistryFormat, Encodings) {
  const std::string text =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Kéy]\r\n"
      "\"Name\"=\"Grüße\"\r\n";
  struct Case {
    const char* what;
    std::string bytes;
  };
  const Case cases[] = {
      {"UTF-8", text},
      {"UTF-8 with byte-order mark", "\xEF\xBB\xBF" + text},
      {"UTF-16LE with byte-order mark", utf16File(text)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RegistryFile file(c.bytes);
    Read read = readAt(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\KÉY", "Name");
    ASSERT_EQ(read.status, ERROR_SUCCESS);
    EXPECT_EQ(read.Text(), "Grüße");
    auto vendor = open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor");
    ASSERT_EQ(vendor->status, ERROR_SUCCESS);
    EXPECT_EQ(subkeys(vendor->key), std::vector<std::string>{"Kéy"}) << "the name as the file spells it";
  }
}

// ---- opening keys ---------------------------------------------------------------------------

TEST(RegOpenKeyExW, PathsArgumentsAndRights) {
  RegistryFile file(std::string(kHeader) + "[HKLM\\SOFTWARE\\Vendor\\Key]\r\n@=\"v\"\r\n");
  struct Case {
    const char* what;
    std::string path;
    REGSAM access;
    LSTATUS status;
  };
  const Case cases[] = {
      {"plain path", "SOFTWARE\\Vendor\\Key", KEY_READ, ERROR_SUCCESS},
      {"trailing backslash", "SOFTWARE\\Vendor\\Key\\", KEY_READ, ERROR_SUCCESS},
      {"doubled backslash", "SOFTWARE\\\\Vendor\\Key", KEY_READ, ERROR_SUCCESS},
      {"leading backslash", "\\SOFTWARE\\Vendor", KEY_READ, ERROR_BAD_PATHNAME},
      {"empty path: the root again", "", KEY_READ, ERROR_SUCCESS},
      {"a name is not a path prefix", "SOFTWARE\\Vend", KEY_READ, ERROR_FILE_NOT_FOUND},
      {"query only", "SOFTWARE\\Vendor\\Key", KEY_QUERY_VALUE, ERROR_SUCCESS},
      {"generic read", "SOFTWARE\\Vendor\\Key", GENERIC_READ, ERROR_SUCCESS},
      {"64-bit view flag", "SOFTWARE\\Vendor\\Key", KEY_READ | KEY_WOW64_64KEY, ERROR_SUCCESS},
      {"write rights", "SOFTWARE\\Vendor\\Key", KEY_WRITE, ERROR_SUCCESS},
      {"all access", "SOFTWARE\\Vendor\\Key", KEY_ALL_ACCESS, ERROR_SUCCESS},
      {"maximum allowed", "SOFTWARE\\Vendor\\Key", MAXIMUM_ALLOWED, ERROR_SUCCESS},
      {"not a key right", "SOFTWARE\\Vendor\\Key", KEY_READ | SYNCHRONIZE, ERROR_ACCESS_DENIED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(open(HKEY_LOCAL_MACHINE, c.path, c.access)->status, c.status);
  }

  HKEY key = reinterpret_cast<HKEY>(0x1);
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, nullptr, 0, KEY_READ, &key), ERROR_SUCCESS) << "null path";
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE", 0, KEY_READ, nullptr), ERROR_INVALID_PARAMETER);
  key = reinterpret_cast<HKEY>(0x1);
  EXPECT_EQ(RegOpenKeyExW(nullptr, u"SOFTWARE", 0, KEY_READ, &key), ERROR_INVALID_HANDLE);
  EXPECT_EQ(key, nullptr);
  EXPECT_EQ(RegOpenKeyExW(reinterpret_cast<HKEY>(0x12345678), u"SOFTWARE", 0, KEY_READ, &key), ERROR_INVALID_HANDLE);
}

TEST(RegOpenKeyExW, RightsOfTheHandleAreChecked) {
  RegistryFile file(std::string(kHeader) +
                    "[HKLM\\SOFTWARE\\Vendor\\Key\\Sub]\r\n[HKLM\\SOFTWARE\\Vendor\\Key]\r\n"
                    "@=\"v\"\r\n");
  WCHAR name[64];
  DWORD length = 64;
  auto queryOnly = open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\Key", KEY_QUERY_VALUE);
  ASSERT_EQ(queryOnly->status, ERROR_SUCCESS);
  EXPECT_EQ(readValue(queryOnly->key, nullptr).status, ERROR_SUCCESS);
  EXPECT_EQ(RegEnumKeyExW(queryOnly->key, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_ACCESS_DENIED);

  auto enumerateOnly = open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\Key", KEY_ENUMERATE_SUB_KEYS);
  ASSERT_EQ(enumerateOnly->status, ERROR_SUCCESS);
  EXPECT_EQ(readValue(enumerateOnly->key, nullptr).status, ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegEnumKeyExW(enumerateOnly->key, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
}

TEST(RegCloseKey, HandlesAndPredefinedKeys) {
  RegistryFile file(std::string(kHeader) + "[HKLM\\SOFTWARE\\Vendor]\r\n@=\"v\"\r\n");
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor", 0, KEY_READ, &key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE) << "closed twice";
  EXPECT_EQ(readValue(key, nullptr).status, ERROR_INVALID_HANDLE) << "a closed handle";
  HKEY sub = nullptr;
  EXPECT_EQ(RegOpenKeyExW(key, u"", 0, KEY_READ, &sub), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_CLASSES_ROOT}) {
    EXPECT_EQ(RegCloseKey(root), ERROR_SUCCESS);
    EXPECT_EQ(open(root, "")->status, ERROR_SUCCESS) << "still usable";
  }
}

// ---- enumeration ----------------------------------------------------------------------

TEST(RegEnumKeyExW, DirectSubkeysInCaseInsensitiveOrder) {
  RegistryFile file(std::string(kHeader) +
                    "[HKLM\\SOFTWARE\\Vendor\\gamma]\r\n"
                    "[HKLM\\SOFTWARE\\Vendor\\beta\\deeper]\r\n"
                    "[HKLM\\SOFTWARE\\Vendor\\ALPHA2]\r\n"
                    "[HKLM\\SOFTWARE\\Vendor\\Alpha]\r\n"
                    "[HKLM\\SOFTWARE\\Vendor\\BETA]\r\n");
  auto vendor = open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor");
  ASSERT_EQ(vendor->status, ERROR_SUCCESS);
  EXPECT_EQ(subkeys(vendor->key), (std::vector<std::string>{"Alpha", "ALPHA2", "beta", "gamma"}))
      << "sorted without regard to case, one key per name, first spelling kept";

  auto software = open(HKEY_LOCAL_MACHINE, "SOFTWARE");
  ASSERT_EQ(software->status, ERROR_SUCCESS);
  EXPECT_EQ(subkeys(software->key), std::vector<std::string>{"Vendor"}) << "implicit parent";
  EXPECT_EQ(subkeys(HKEY_LOCAL_MACHINE), std::vector<std::string>{"SOFTWARE"}) << "a predefined key";

  auto leaf = open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\gamma");
  ASSERT_EQ(leaf->status, ERROR_SUCCESS);
  EXPECT_TRUE(subkeys(leaf->key).empty());
}

TEST(RegEnumKeyExW, BuffersIndexesAndArguments) {
  RegistryFile file(std::string(kHeader) + "[HKLM\\SOFTWARE\\Vendor\\Abcde]\r\n[HKLM\\SOFTWARE\\Vendor\\Z]\r\n");
  auto vendor = open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor");
  ASSERT_EQ(vendor->status, ERROR_SUCCESS);
  struct Case {
    const char* what;
    DWORD index;
    DWORD size;
    LSTATUS status;
    DWORD length;  // after the call
    std::string name;
  };
  const Case cases[] = {
      {"fits exactly", 0, 6, ERROR_SUCCESS, 5, "Abcde"},
      {"large buffer", 0, 64, ERROR_SUCCESS, 5, "Abcde"},
      {"no room for the terminator", 0, 5, ERROR_MORE_DATA, 5, ""},
      {"much too small", 0, 1, ERROR_MORE_DATA, 1, ""},
      {"second key", 1, 2, ERROR_SUCCESS, 1, "Z"},
      {"index past the end", 2, 64, ERROR_NO_MORE_ITEMS, 64, ""},
      {"far past the end", 1000, 64, ERROR_NO_MORE_ITEMS, 64, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WCHAR name[64];
    std::fill(std::begin(name), std::end(name), u'#');
    DWORD length = c.size;
    EXPECT_EQ(RegEnumKeyExW(vendor->key, c.index, name, &length, nullptr, nullptr, nullptr, nullptr), c.status);
    EXPECT_EQ(length, c.length);
    if (c.status == ERROR_SUCCESS) {
      EXPECT_EQ(TrxNarrow(name), c.name);
    } else {
      EXPECT_EQ(name[0], u'#') << "buffer untouched";
    }
  }

  WCHAR name[64];
  DWORD length = 64;
  EXPECT_EQ(RegEnumKeyExW(vendor->key, 0, nullptr, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegEnumKeyExW(vendor->key, 0, name, nullptr, nullptr, nullptr, nullptr, nullptr), ERROR_INVALID_PARAMETER);
  DWORD reserved = 0;
  EXPECT_EQ(RegEnumKeyExW(vendor->key, 0, name, &length, &reserved, nullptr, nullptr, nullptr),
            ERROR_INVALID_PARAMETER);

  WCHAR keyClass[8] = u"xxxxxxx";
  DWORD classLength = 8;
  FILETIME written = {0, 0};
  length = 64;
  EXPECT_EQ(RegEnumKeyExW(vendor->key, 0, name, &length, nullptr, keyClass, &classLength, &written), ERROR_SUCCESS);
  EXPECT_EQ(keyClass[0], 0) << "keys have no class";
  EXPECT_EQ(classLength, 0u);
  EXPECT_NE(written.dwHighDateTime, 0u) << "the file's modification time";
}

// ---- values ------------------------------------------------------------------------------

TEST(RegQueryValueExW, SizesAndBuffers) {
  RegistryFile file(std::string(kHeader) + "[HKLM\\SOFTWARE\\Vendor]\r\n@=\"abc\"\r\n\"N\"=dword:00000102\r\n");
  auto vendor = open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor");
  ASSERT_EQ(vendor->status, ERROR_SUCCESS);
  struct Case {
    const char* what;
    const char16_t* name;
    bool withData;
    DWORD size;
    LSTATUS status;
    DWORD sizeAfter;
  };
  const Case cases[] = {
      {"size only", nullptr, false, 0, ERROR_SUCCESS, 8},
      {"exact buffer", nullptr, true, 8, ERROR_SUCCESS, 8},
      {"larger buffer", nullptr, true, 100, ERROR_SUCCESS, 8},
      {"no room for the terminator", nullptr, true, 6, ERROR_MORE_DATA, 8},
      {"empty buffer", nullptr, true, 0, ERROR_MORE_DATA, 8},
      {"dword size only", u"N", false, 0, ERROR_SUCCESS, 4},
      {"dword short buffer", u"N", true, 3, ERROR_MORE_DATA, 4},
      {"dword", u"N", true, 4, ERROR_SUCCESS, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BYTE data[100];
    std::fill(std::begin(data), std::end(data), BYTE{0xCC});
    DWORD size = c.size, type = 0xFFFF;
    EXPECT_EQ(RegQueryValueExW(vendor->key, c.name, nullptr, &type, c.withData ? data : nullptr, &size), c.status);
    EXPECT_EQ(size, c.sizeAfter);
    EXPECT_EQ(type, c.name ? REG_DWORD : REG_SZ) << "the type in every case";
    if (c.status == ERROR_SUCCESS && c.withData) {
      if (c.name) {
        EXPECT_EQ(data[0] | data[1] << 8, 0x102);
      } else {
        EXPECT_EQ(TrxNarrow(reinterpret_cast<const OLECHAR*>(data)), "abc");
      }
    } else {
      EXPECT_EQ(data[0], 0xCC) << "buffer untouched";
    }
  }

  EXPECT_EQ(RegQueryValueExW(vendor->key, nullptr, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS)
      << "existence check";
  BYTE data[8];
  EXPECT_EQ(RegQueryValueExW(vendor->key, nullptr, nullptr, nullptr, data, nullptr), ERROR_INVALID_PARAMETER);
  DWORD reserved = 0, size = 8;
  EXPECT_EQ(RegQueryValueExW(vendor->key, nullptr, &reserved, nullptr, data, &size), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegQueryValueExW(vendor->key, u"", nullptr, nullptr, data, &size), ERROR_SUCCESS) << "\"\" is default";
}

// ---- the file and its snapshots ------------------------------------------------------------

TEST(Registry, MissingFileIsAnEmptyRegistry) {
  TrxTempFile missing("absent");
  TrxScopedEnvironment environment("TRX_REGISTRY", missing.Path().string().c_str());
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_CLASSES_ROOT}) {
    EXPECT_EQ(open(root, "SOFTWARE")->status, ERROR_FILE_NOT_FOUND);
    auto itself = open(root, "");
    ASSERT_EQ(itself->status, ERROR_SUCCESS) << "the predefined keys are always there";
    EXPECT_TRUE(subkeys(itself->key).empty());
  }
}

TEST(Registry, FileIsReadAtEachOpenWhileOpenKeysKeepTheirSnapshot) {
  RegistryFile file(std::string(kHeader) +
                    "[HKLM\\SOFTWARE\\Vendor\\Key]\r\n@=\"old\"\r\n"
                    "[HKLM\\SOFTWARE\\Vendor\\Key\\Sub]\r\n@=\"old sub\"\r\n");
  auto before = open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor");
  ASSERT_EQ(before->status, ERROR_SUCCESS);

  file.Rewrite(std::string(kHeader) +
               "[HKLM\\SOFTWARE\\Vendor\\Key]\r\n@=\"new\"\r\n"
               "[HKLM\\SOFTWARE\\Vendor\\Added]\r\n");

  EXPECT_EQ(readAt(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\Key", nullptr).Text(), "new") << "a new open reads again";
  EXPECT_EQ(readAt(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\Key\\Sub", nullptr).status, ERROR_FILE_NOT_FOUND);

  EXPECT_EQ(readAt(before->key, "Key", nullptr).Text(), "old") << "opened relative to the snapshot";
  EXPECT_EQ(readAt(before->key, "Key\\Sub", nullptr).Text(), "old sub");
  EXPECT_EQ(subkeys(before->key), std::vector<std::string>{"Key"});
  EXPECT_EQ(subkeys(HKEY_LOCAL_MACHINE), std::vector<std::string>{"SOFTWARE"});
  auto after = open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor");
  ASSERT_EQ(after->status, ERROR_SUCCESS);
  EXPECT_EQ(subkeys(after->key), (std::vector<std::string>{"Added", "Key"}));

  // A key opened from a snapshot stays valid after its parent is closed.
  auto child = open(before->key, "Key\\Sub");
  ASSERT_EQ(child->status, ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(before->key), ERROR_SUCCESS);
  before->key = nullptr;
  EXPECT_EQ(readValue(child->key, nullptr).Text(), "old sub");
}

TEST(Registry, FileLocation) {
  // Each case lays out a configuration folder and points the variables at
  // it; the file found is the one whose value is read.
  struct Case {
    const char* what;
    bool registryVariable;
    bool configHome;
    const char* expected;  // null: nothing found
  };
  const Case cases[] = {
      {"TRX_REGISTRY wins", true, true, "override"},
      {"XDG_CONFIG_HOME/trx/registry.reg", false, true, "config home"},
      {"HOME/.config/trx/registry.reg", false, false, "home"},
  };
  TrxTempFile folder("registry-folder");
  const std::filesystem::path root = folder.Path();
  std::filesystem::create_directories(root / "config" / "trx");
  std::filesystem::create_directories(root / "home" / ".config" / "trx");
  auto fileWith = [](const char* text) {
    return std::string(kHeader) + "[HKLM\\SOFTWARE\\Where]\r\n@=\"" + text + "\"\r\n";
  };
  writeBytes(root / "override.reg", fileWith("override"));
  writeBytes(root / "config" / "trx" / "registry.reg", fileWith("config home"));
  writeBytes(root / "home" / ".config" / "trx" / "registry.reg", fileWith("home"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string override = (root / "override.reg").string(), config = (root / "config").string(),
                home = (root / "home").string();
    TrxScopedEnvironment registry("TRX_REGISTRY", c.registryVariable ? override.c_str() : nullptr);
    TrxScopedEnvironment xdg("XDG_CONFIG_HOME", c.configHome ? config.c_str() : nullptr);
    TrxScopedEnvironment homeVariable("HOME", home.c_str());
    EXPECT_EQ(readAt(HKEY_LOCAL_MACHINE, "SOFTWARE\\Where", nullptr).Text(), c.expected);
  }
  {
    TrxScopedEnvironment registry("TRX_REGISTRY", "");
    TrxScopedEnvironment xdg("XDG_CONFIG_HOME", (root / "config").string().c_str());
    EXPECT_EQ(readAt(HKEY_LOCAL_MACHINE, "SOFTWARE\\Where", nullptr).Text(), "config home")
        << "an empty TRX_REGISTRY is not set";
  }
  std::error_code ec;
  std::filesystem::remove_all(root, ec);
}

TEST(Registry, KeysOpenedReadAndClosedOnManyThreads) {
  TrxTestRegistry registry;
  for (int i = 0; i < 8; ++i)
    registry.SetString("HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Key" + std::to_string(i), "Name", std::to_string(i));
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &failures] {
      for (int round = 0; round < 50; ++round) {
        int i = (t + round) % 8;
        HKEY key = nullptr;
        TrxString path = TrxWiden("SOFTWARE\\Vendor\\Key" + std::to_string(i));
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
          ++failures;
          continue;
        }
        WCHAR text[8];
        DWORD size = sizeof text;
        if (RegQueryValueExW(key, u"name", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS ||
            TrxNarrow(text) != std::to_string(i))
          ++failures;
        if (RegCloseKey(key) != ERROR_SUCCESS) ++failures;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
}

// ---- the test registry itself ----------------------------------------------------------------

TEST(TrxTestRegistry, WritesWhatTheRegistryReads) {
  std::string previous;
  {
    TrxTestRegistry registry;
    const std::string key = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvik Systems, Inc.\\TRX Services\\TRXNotifier\\{1}";
    registry.AddKey(key);
    Read added = readAt(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvik Systems, Inc.\\TRX Services\\TRXNotifier\\{1}", nullptr);
    EXPECT_TRUE(added.opened);
    EXPECT_EQ(added.status, ERROR_FILE_NOT_FOUND) << "the key is there, without a default value";
    registry.SetString(key, "", "C:\\quoted \"path\"");
    registry.SetString(key, "Name", "first");
    registry.SetString(key, "NAME", "second");
    registry.SetDword(key, "Count", 42);
    registry.RegisterInprocServer("{00000000-0000-0000-0000-0000000000AB}", "/lib/x.so");
    EXPECT_EQ(
        readAt(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvik Systems, Inc.\\TRX Services\\TRXNotifier\\{1}", nullptr).Text(),
        "C:\\quoted \"path\"");
    EXPECT_EQ(
        readAt(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvik Systems, Inc.\\TRX Services\\TRXNotifier\\{1}", "name").Text(),
        "second");
    EXPECT_EQ(
        readAt(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvik Systems, Inc.\\TRX Services\\TRXNotifier\\{1}", "Count").Dword(),
        42u);
    EXPECT_EQ(
        readAt(HKEY_CLASSES_ROOT, "CLSID\\{00000000-0000-0000-0000-0000000000AB}\\InprocServer32", nullptr).Text(),
        "/lib/x.so");
    registry.Remove("HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvik Systems, Inc.\\TRX Services");
    EXPECT_FALSE(
        readAt(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvik Systems, Inc.\\TRX Services\\TRXNotifier\\{1}", nullptr).opened)
        << "removed with everything below";
    EXPECT_EQ(
        readAt(HKEY_CLASSES_ROOT, "CLSID\\{00000000-0000-0000-0000-0000000000AB}\\InprocServer32", nullptr).Text(),
        "/lib/x.so")
        << "other keys stay";
    previous = registry.Path().string();
  }
  WCHAR value[512];
  DWORD length = GetEnvironmentVariableW(u"TRX_REGISTRY", value, 512);
  EXPECT_TRUE(length == 0 || TrxNarrow(value) != previous) << "the variable is restored afterwards";
  EXPECT_FALSE(std::filesystem::exists(previous)) << "the file is removed";
}
