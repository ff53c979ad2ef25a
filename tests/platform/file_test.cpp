// Files and modules of the Linux kernel layer.
#include <filesystem>
#include <fstream>
#include <string>

#include "paltest.h"
#include "support/trxtestlog.h"

namespace fs = std::filesystem;
using paltest::Handle;

namespace {

// A fresh directory, removed with everything in it at the end of the test.
struct TempDir : TrxTempFile {
  TempDir() : TrxTempFile("file-test") { fs::create_directories(Path()); }
  ~TempDir() {
    std::error_code ignored;
    fs::remove_all(Path(), ignored);
  }
  fs::path path(const std::string& name) const { return Path() / name; }
  std::u16string wide(const std::string& name) const { return path(name).u16string(); }
};

void WriteText(const fs::path& p, const std::string& text) { std::ofstream(p, std::ios::binary) << text; }

std::string ReadText(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

HANDLE Open(const std::u16string& path, DWORD access, DWORD disposition, DWORD flags = FILE_ATTRIBUTE_NORMAL) {
  return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition, flags, nullptr);
}

std::string ReadAll(HANDLE h) {
  std::string out;
  char buffer[7];  // odd size: several calls
  DWORD n = 0;
  while (ReadFile(h, buffer, sizeof buffer, &n, nullptr) && n > 0) out.append(buffer, n);
  return out;
}

}  // namespace

TEST(CreateFileW, Dispositions) {
  // clang-format off
  const struct { DWORD disposition; bool exists; bool succeeds; DWORD error; const char* content; } cases[] = {
      {CREATE_NEW, false, true, ERROR_SUCCESS, ""},
      {CREATE_NEW, true, false, ERROR_FILE_EXISTS, "old"},
      {CREATE_ALWAYS, false, true, ERROR_SUCCESS, ""},
      {CREATE_ALWAYS, true, true, ERROR_ALREADY_EXISTS, ""},  // truncated
      {OPEN_EXISTING, false, false, ERROR_FILE_NOT_FOUND, nullptr},
      {OPEN_EXISTING, true, true, ERROR_SUCCESS, "old"},
      {OPEN_ALWAYS, false, true, ERROR_SUCCESS, ""},
      {OPEN_ALWAYS, true, true, ERROR_ALREADY_EXISTS, "old"},  // kept
      {TRUNCATE_EXISTING, false, false, ERROR_FILE_NOT_FOUND, nullptr},
      {TRUNCATE_EXISTING, true, true, ERROR_SUCCESS, ""},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "disposition " << c.disposition << (c.exists ? ", present" : ", absent"));
    TempDir dir;
    if (c.exists) WriteText(dir.path("f"), "old");
    SetLastError(ERROR_INVALID_FUNCTION);
    Handle h(Open(dir.wide("f"), GENERIC_READ | GENERIC_WRITE, c.disposition));
    EXPECT_EQ(h.IsValid(), c.succeeds);
    EXPECT_EQ(GetLastError(), c.error);
    h.Close();
    EXPECT_EQ(fs::exists(dir.path("f")), c.content != nullptr);
    EXPECT_EQ(c.content ? ReadText(dir.path("f")) : "", c.content ? c.content : "");
  }
}

TEST(CreateFileW, ErrorsAndNames) {
  TempDir dir;
  fs::create_directory(dir.path("sub"));
  WriteText(dir.path("file"), "x");
  // clang-format off
  const struct { std::u16string path; DWORD access, disposition, flags, error; } cases[] = {
      {dir.wide("nope/f"), GENERIC_READ, OPEN_EXISTING, 0, ERROR_PATH_NOT_FOUND},
      {dir.wide("file/f"), GENERIC_READ, OPEN_EXISTING, 0, ERROR_PATH_NOT_FOUND},
      {dir.wide("sub"), GENERIC_READ, OPEN_EXISTING, 0, ERROR_ACCESS_DENIED},
      {dir.wide("sub"), GENERIC_WRITE, OPEN_EXISTING, 0, ERROR_ACCESS_DENIED},
      {dir.wide("sub"), GENERIC_READ, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, ERROR_NOT_SUPPORTED},
      {u"", GENERIC_READ, OPEN_EXISTING, 0, ERROR_PATH_NOT_FOUND},
      {dir.wide("file"), GENERIC_READ, 0, 0, ERROR_INVALID_PARAMETER},
  };
  // clang-format on
  for (const auto& c : cases)
    EXPECT_LAST_ERROR(Open(c.path, c.access, c.disposition, c.flags), INVALID_HANDLE_VALUE, c.error)
        << fs::path(c.path).string();
  EXPECT_EQ(ReadText(dir.path("file")), "x") << "failed opens changed nothing";

  // UTF-16 names become UTF-8; a backslash is a character of the name.
  Handle unicode(Open(dir.wide("") + u"caf\u00e9-\U0001F600.txt", GENERIC_WRITE, CREATE_NEW));
  EXPECT_TRUE(fs::exists(dir.path("caf\xc3\xa9-\xf0\x9f\x98\x80.txt")));
  Handle backslash(Open(dir.wide("a\\b.txt"), GENERIC_WRITE, CREATE_NEW));
  EXPECT_TRUE(fs::exists(dir.path("a\\b.txt")));
}

TEST(WriteFile, WritesReadsAndChecksAccess) {
  TempDir dir;
  Handle h(Open(dir.wide("data"), GENERIC_READ | GENERIC_WRITE, CREATE_NEW));
  DWORD n = 0;
  ASSERT_TRUE(WriteFile(h, "hello, file\n", 12, &n, nullptr));
  EXPECT_EQ(n, 12u);
  ASSERT_EQ(SetFilePointer(h, 0, nullptr, FILE_BEGIN), 0u);
  EXPECT_EQ(ReadAll(h), "hello, file\n");
  char c;
  EXPECT_TRUE(ReadFile(h, &c, 1, &n, nullptr)) << "reading at the end succeeds";
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(ReadText(dir.path("data")), "hello, file\n");
  Handle readOnly(Open(dir.wide("data"), GENERIC_READ, OPEN_EXISTING));
  Handle writeOnly(Open(dir.wide("data"), GENERIC_WRITE, OPEN_EXISTING));
  Handle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  char buffer[4];
  EXPECT_LAST_ERROR(WriteFile(readOnly, "xyz", 3, &n, nullptr), FALSE, ERROR_ACCESS_DENIED);
  EXPECT_LAST_ERROR(ReadFile(writeOnly, buffer, 3, &n, nullptr), FALSE, ERROR_ACCESS_DENIED);
  EXPECT_LAST_ERROR(WriteFile(event, "xyz", 3, &n, nullptr), FALSE, ERROR_INVALID_HANDLE);
  EXPECT_LAST_ERROR(ReadFile(nullptr, buffer, 3, &n, nullptr), FALSE, ERROR_INVALID_HANDLE);
  EXPECT_EQ(ReadText(dir.path("data")), "hello, file\n");
}

TEST(SetFilePointer, MovesAndReportsThePosition) {
  TempDir dir;
  WriteText(dir.path("ten"), "0123456789");
  Handle h(Open(dir.wide("ten"), GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING));
  // clang-format off
  const struct { LONG distance; DWORD method, expected, error; char next; } cases[] = {
      {3, FILE_BEGIN, 3, ERROR_SUCCESS, '3'},
      {2, FILE_CURRENT, 6, ERROR_SUCCESS, '6'},  // after reading '3'
      {-5, FILE_CURRENT, 2, ERROR_SUCCESS, '2'},
      {-1, FILE_END, 9, ERROR_SUCCESS, '9'},
      {5, FILE_END, 15, ERROR_SUCCESS, '\0'},  // past the end
      {-11, FILE_END, 15, ERROR_NEGATIVE_SEEK, '\0'},  // before the start: unchanged
      {0, 7, 15, ERROR_INVALID_PARAMETER, '\0'},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.distance << " from " << c.method);
    EXPECT_EQ(SetFilePointer(h, c.distance, nullptr, c.method), c.error ? INVALID_SET_FILE_POINTER : c.expected);
    EXPECT_EQ(c.error ? GetLastError() : 0u, c.error);
    EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_CURRENT), c.expected);
    char byte = 0;
    DWORD n = 0;
    ASSERT_TRUE(ReadFile(h, &byte, 1, &n, nullptr));
    EXPECT_EQ(n == 1 ? byte : '\0', c.next);
  }
  // A valid position whose low part looks like the error value: NO_ERROR tells them apart.
  LONG high = 1;
  EXPECT_EQ(SetFilePointer(h, 5, &high, FILE_BEGIN), 5u);
  high = 0;
  EXPECT_LAST_ERROR(SetFilePointer(h, -1, &high, FILE_BEGIN), INVALID_SET_FILE_POINTER, NO_ERROR);
  EXPECT_EQ(high, 0);
}

TEST(LoadLibraryW, ModulesSymbolsAndFileNames) {
  const std::u16string exe = fs::read_symlink("/proc/self/exe").u16string();
  WCHAR buffer[4096], small[6];
  EXPECT_EQ(GetModuleFileNameW(nullptr, buffer, 4096), exe.size());
  EXPECT_EQ(std::u16string(buffer), exe);
  EXPECT_LAST_ERROR(GetModuleFileNameW(nullptr, small, 6), 6u, ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(std::u16string(small), exe.substr(0, 5)) << "truncated and terminated";

  HMODULE libm = LoadLibraryW(u"libm.so.6");
  ASSERT_NE(libm, nullptr);
  auto cosine = reinterpret_cast<double (*)(double)>(reinterpret_cast<void*>(GetProcAddress(libm, "cos")));
  ASSERT_NE(cosine, nullptr);
  EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);
  EXPECT_LAST_ERROR(GetProcAddress(libm, "no_such_symbol_in_libm"), nullptr, ERROR_PROC_NOT_FOUND);
  ASSERT_GT(GetModuleFileNameW(libm, buffer, 4096), 0u);
  EXPECT_NE(std::u16string(buffer).find(u"libm"), std::u16string::npos);
  EXPECT_LAST_ERROR(LoadLibraryW(u"libtrx-does-not-exist.so"), nullptr, ERROR_MOD_NOT_FOUND);
  EXPECT_LAST_ERROR(LoadLibraryW(u""), nullptr, ERROR_INVALID_PARAMETER);
}
