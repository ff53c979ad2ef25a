// Writing the registry of the Linux layer: creating keys, setting and
// deleting values, deleting keys and trees, HKEY_CLASSES_ROOT's targets, the
// rights of handles and concurrent writers.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/trxplatform.h"
#include "support/trxtestlog.h"
#include "support/trxtestregistry.h"

namespace {

// A key handle closed at the end of its scope.
class Key {
 public:
  Key() = default;
  ~Key() {
    if (m_key) RegCloseKey(m_key);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  HKEY* operator&() { return &m_key; }
  operator HKEY() const { return m_key; }

 private:
  HKEY m_key = nullptr;
};

LSTATUS create(HKEY root, const char16_t* path, Key& key, DWORD* disposition = nullptr,
               REGSAM access = KEY_READ | KEY_WRITE) {
  return RegCreateKeyExW(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &key, disposition);
}

LSTATUS setText(HKEY key, const char16_t* name, const std::u16string& text) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>((text.size() + 1) * sizeof(char16_t)));
}

LSTATUS setDword(HKEY key, const char16_t* name, DWORD value) {
  return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

// A value read through a new handle on root\path (so from the file as it is
// now): status, type and bytes.
struct Read {
  LSTATUS status = ERROR_SUCCESS;
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
  std::u16string Text() const {
    std::u16string text;
    for (size_t i = 0; i + 1 < data.size(); i += 2) text.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
    if (!text.empty() && text.back() == 0) text.pop_back();
    return text;
  }
};

Read readFrom(HKEY key, const char16_t* name) {
  Read read;
  DWORD size = 0;
  read.status = RegQueryValueExW(key, name, nullptr, &read.type, nullptr, &size);
  if (read.status != ERROR_SUCCESS) return read;
  read.data.resize(size);
  read.status = RegQueryValueExW(key, name, nullptr, &read.type, read.data.data(), &size);
  return read;
}

Read readAt(HKEY root, const char16_t* path, const char16_t* name) {
  Key key;
  Read read;
  read.status = RegOpenKeyExW(root, path, 0, KEY_READ, &key);
  if (read.status != ERROR_SUCCESS) return read;
  return readFrom(key, name);
}

bool exists(HKEY root, const char16_t* path) {
  Key key;
  return RegOpenKeyExW(root, path, 0, KEY_READ, &key) == ERROR_SUCCESS;
}

std::string fileText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(RegistryWrite, CreatesKeysWithTheirParentsAndReopensExistingOnes) {
  TrxTestRegistry registry;
  registry.SetString("HKEY_LOCAL_MACHINE\\SOFTWARE\\Other", "Keep", "me");
  Key created;
  DWORD disposition = 0;
  ASSERT_EQ(create(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor\\App\\Settings", created, &disposition), ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  EXPECT_TRUE(exists(HKEY_LOCAL_MACHINE, u"software\\vendor\\app\\settings")) << "found without regard to case";
  EXPECT_EQ(readAt(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Other", u"Keep").Text(), u"me") << "other keys stay";

  Key again;
  ASSERT_EQ(create(HKEY_LOCAL_MACHINE, u"SOFTWARE\\VENDOR\\App", again, &disposition), ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  Key below;
  ASSERT_EQ(create(again, u"Settings\\Deeper", below, &disposition), ERROR_SUCCESS) << "relative to an open key";
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);

  // Names keep the spelling of their creation.
  Key vendor;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE", 0, KEY_READ, &vendor), ERROR_SUCCESS);
  WCHAR name[64];
  DWORD length = 64;
  bool found = false;
  for (DWORD i = 0; RegEnumKeyExW(vendor, i, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
       ++i, length = 64)
    found = found || std::u16string(name) == u"Vendor";
  EXPECT_TRUE(found);
  EXPECT_FALSE(std::filesystem::exists(registry.Path().string() + ".writing")) << "no temporary file left behind";

  Key bad;
  EXPECT_EQ(create(HKEY_LOCAL_MACHINE, u"\\SOFTWARE\\X", bad), ERROR_BAD_PATHNAME);
  EXPECT_EQ(static_cast<HKEY>(bad), nullptr);
  EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\X", 0, nullptr, 0, KEY_WRITE, nullptr, nullptr, nullptr),
            ERROR_INVALID_PARAMETER);
}

TEST(RegistryWrite, SetsValuesOfEveryTypeAndReadsThemBack) {
  TrxTestRegistry registry;
  Key key;
  ASSERT_EQ(create(HKEY_CURRENT_USER, u"Software\\Vendor", key), ERROR_SUCCESS);
  EXPECT_EQ(setText(key, nullptr, u"default \"quoted\" \\ text"), ERROR_SUCCESS);
  EXPECT_EQ(setText(key, u"Name", u"first"), ERROR_SUCCESS);
  EXPECT_EQ(setText(key, u"NAME", u"second"), ERROR_SUCCESS) << "the same value, whatever the case";
  EXPECT_EQ(setDword(key, u"Count", 0xA0B0C0D0u), ERROR_SUCCESS);
  EXPECT_EQ(setText(key, u"Lines", u"one\r\ntwo"), ERROR_SUCCESS);
  const BYTE binary[] = {0x00, 0xFF, 0x10};
  EXPECT_EQ(RegSetValueExW(key, u"Bytes", 0, REG_BINARY, binary, sizeof binary), ERROR_SUCCESS);
  const std::u16string expand = u"%HOME%\\x";
  EXPECT_EQ(RegSetValueExW(key, u"Expand", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(expand.c_str()),
                           static_cast<DWORD>((expand.size() + 1) * 2)),
            ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExW(key, u"Empty", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);

  Read read = readAt(HKEY_CURRENT_USER, u"Software\\Vendor", nullptr);
  EXPECT_EQ(read.type, REG_SZ);
  EXPECT_EQ(read.Text(), u"default \"quoted\" \\ text");
  EXPECT_EQ(readAt(HKEY_CURRENT_USER, u"Software\\Vendor", u"name").Text(), u"second");
  read = readAt(HKEY_CURRENT_USER, u"Software\\Vendor", u"Count");
  EXPECT_EQ(read.type, REG_DWORD);
  EXPECT_EQ(read.data, (std::vector<BYTE>{0xD0, 0xC0, 0xB0, 0xA0}));
  read = readAt(HKEY_CURRENT_USER, u"Software\\Vendor", u"Lines");
  EXPECT_EQ(read.type, REG_SZ);
  EXPECT_EQ(read.Text(), u"one\r\ntwo") << "line breaks survive the file";
  read = readAt(HKEY_CURRENT_USER, u"Software\\Vendor", u"Bytes");
  EXPECT_EQ(read.type, REG_BINARY);
  EXPECT_EQ(read.data, (std::vector<BYTE>{0x00, 0xFF, 0x10}));
  read = readAt(HKEY_CURRENT_USER, u"Software\\Vendor", u"Expand");
  EXPECT_EQ(read.type, REG_EXPAND_SZ);
  EXPECT_EQ(read.Text(), expand);
  read = readAt(HKEY_CURRENT_USER, u"Software\\Vendor", u"Empty");
  EXPECT_EQ(read.status, ERROR_SUCCESS);
  EXPECT_TRUE(read.data.empty());

  // The handle used for the writes sees them too.
  EXPECT_EQ(readFrom(key, u"Count").status, ERROR_SUCCESS);
  // The file reads as a .reg file.
  const std::string text = fileText(registry.Path());
  EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00\r\n", 0), 0u);
  EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Vendor]\r\n"), std::string::npos);
  EXPECT_NE(text.find("\"Count\"=dword:a0b0c0d0\r\n"), std::string::npos);

  EXPECT_EQ(RegSetValueExW(key, u"Short", 0, REG_DWORD, binary, 3), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegSetValueExW(key, u"Null", 0, REG_SZ, nullptr, 4), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(setDword(HKEY_CURRENT_USER, u"OnTheRoot", 7), ERROR_SUCCESS);
  EXPECT_EQ(readAt(HKEY_CURRENT_USER, u"", u"OnTheRoot").data, (std::vector<BYTE>{7, 0, 0, 0}));
}

TEST(RegistryWrite, DeletesValuesKeysAndTrees) {
  TrxTestRegistry registry;
  registry.SetString("HKLM\\SOFTWARE\\Vendor\\App", "", "app");
  registry.SetString("HKLM\\SOFTWARE\\Vendor\\App", "Name", "x");
  registry.SetString("HKLM\\SOFTWARE\\Vendor\\App\\Sub\\Leaf", "V", "y");
  registry.SetString("HKLM\\SOFTWARE\\Vendor\\Other", "V", "z");

  Key app;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor\\App", 0, KEY_ALL_ACCESS, &app), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueW(app, u"name"), ERROR_SUCCESS);
  EXPECT_EQ(readAt(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor\\App", u"Name").status, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteValueW(app, u"Name"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(readAt(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor\\App", nullptr).Text(), u"app");

  EXPECT_EQ(RegDeleteKeyW(app, u"Sub"), ERROR_ACCESS_DENIED) << "a key with subkeys stays";
  EXPECT_EQ(RegDeleteKeyW(app, u"Sub\\Leaf"), ERROR_SUCCESS);
  EXPECT_FALSE(exists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor\\App\\Sub\\Leaf"));
  EXPECT_TRUE(exists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor\\App\\Sub"));
  EXPECT_EQ(RegDeleteKeyW(app, u"Sub\\Leaf"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyW(app, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u""), ERROR_ACCESS_DENIED) << "a predefined key stays";

  registry.SetString("HKLM\\SOFTWARE\\Vendor\\App\\Sub\\Leaf\\Deeper", "V", "y");
  EXPECT_EQ(RegDeleteTreeW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor\\App\\Sub"), ERROR_SUCCESS);
  EXPECT_FALSE(exists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor\\App\\Sub"));
  EXPECT_TRUE(exists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor\\App"));
  EXPECT_EQ(RegDeleteTreeW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor\\App\\Sub"), ERROR_FILE_NOT_FOUND);

  // No subkey: the key's contents go, the key stays.
  registry.SetString("HKLM\\SOFTWARE\\Vendor\\App\\Sub", "V", "y");
  Key fresh;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor\\App", 0, KEY_ALL_ACCESS, &fresh), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteTreeW(fresh, nullptr), ERROR_SUCCESS);
  EXPECT_TRUE(exists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor\\App"));
  EXPECT_FALSE(exists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor\\App\\Sub"));
  EXPECT_EQ(readAt(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor\\App", nullptr).status, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(readAt(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor\\Other", u"V").Text(), u"z") << "its sibling stays";

  // A handle whose key was deleted meanwhile.
  EXPECT_EQ(RegDeleteTreeW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor\\App"), ERROR_SUCCESS);
  EXPECT_EQ(setText(fresh, u"V", u"late"), ERROR_KEY_DELETED);
  Key late;
  EXPECT_EQ(create(fresh, u"Child", late), ERROR_KEY_DELETED);
}

TEST(RegistryWrite, ClassesRootWritesToTheMachineAndDeletesEverywhere) {
  TrxTestRegistry registry;
  registry.SetString("HKCU\\Software\\Classes\\UserOnly", "", "user");
  Key created;
  ASSERT_EQ(create(HKEY_CLASSES_ROOT, u"Vendor.Thing\\CLSID", created), ERROR_SUCCESS);
  EXPECT_EQ(setText(created, nullptr, u"{id}"), ERROR_SUCCESS);
  EXPECT_EQ(readAt(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Classes\\Vendor.Thing\\CLSID", nullptr).Text(), u"{id}");
  EXPECT_EQ(readAt(HKEY_CLASSES_ROOT, u"Vendor.Thing\\CLSID", nullptr).Text(), u"{id}");

  // Values of a key the user has go to the user's key.
  Key user;
  ASSERT_EQ(create(HKEY_CLASSES_ROOT, u"UserOnly", user), ERROR_SUCCESS);
  EXPECT_EQ(setText(user, u"V", u"mine"), ERROR_SUCCESS);
  EXPECT_EQ(readAt(HKEY_CURRENT_USER, u"Software\\Classes\\UserOnly", u"V").Text(), u"mine");
  EXPECT_FALSE(exists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Classes\\UserOnly"));

  registry.SetString("HKLM\\SOFTWARE\\Classes\\UserOnly", "", "machine");
  EXPECT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, u"UserOnly"), ERROR_SUCCESS);
  EXPECT_FALSE(exists(HKEY_CLASSES_ROOT, u"UserOnly"));
  EXPECT_FALSE(exists(HKEY_CURRENT_USER, u"Software\\Classes\\UserOnly"));
  EXPECT_FALSE(exists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Classes\\UserOnly"));
}

TEST(RegistryWrite, RightsOfTheHandleAreChecked) {
  TrxTestRegistry registry;
  registry.SetString("HKLM\\SOFTWARE\\Vendor", "V", "v");
  Key readOnly;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor", 0, KEY_READ, &readOnly), ERROR_SUCCESS);
  EXPECT_EQ(setText(readOnly, u"V", u"w"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteValueW(readOnly, u"V"), ERROR_ACCESS_DENIED);
  Key child;
  EXPECT_EQ(create(readOnly, u"Child", child), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteTreeW(readOnly, nullptr), ERROR_ACCESS_DENIED);
  EXPECT_EQ(readAt(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor", u"V").Text(), u"v");

  Key writable;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor", 0, KEY_SET_VALUE, &writable), ERROR_SUCCESS);
  EXPECT_EQ(setText(writable, u"V", u"w"), ERROR_SUCCESS);
  EXPECT_EQ(readAt(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor", u"V").Text(), u"w");
}

TEST(RegistryWrite, WritersOnSeveralThreadsLoseNothing) {
  TrxTestRegistry registry;
  constexpr int kThreads = 4, kValues = 20;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      Key key;
      const std::u16string path = u"SOFTWARE\\Vendor\\T" + std::u16string(1, static_cast<char16_t>(u'0' + t));
      if (create(HKEY_LOCAL_MACHINE, path.c_str(), key) != ERROR_SUCCESS) return;
      for (int v = 0; v < kValues; ++v) {
        std::u16string name = u"V" + TrxWiden(std::to_string(v));
        setDword(key, name.c_str(), static_cast<DWORD>(v));
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) {
    const std::u16string path = u"SOFTWARE\\Vendor\\T" + std::u16string(1, static_cast<char16_t>(u'0' + t));
    for (int v = 0; v < kValues; ++v) {
      std::u16string name = u"V" + TrxWiden(std::to_string(v));
      EXPECT_EQ(readAt(HKEY_LOCAL_MACHINE, path.c_str(), name.c_str()).data,
                (std::vector<BYTE>{static_cast<BYTE>(v), 0, 0, 0}))
          << TrxNarrow(path) << " " << v;
    }
  }
}
