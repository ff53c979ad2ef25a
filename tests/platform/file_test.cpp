// Files, directories, the temporary path and modules of the Linux kernel
// layer.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>

#include "kernel_test_support.h"
#include "linux/pal_kernel.h"

namespace fs = std::filesystem;
using trxtest::OwnedHandle;

namespace {

// A fresh directory, removed with everything in it at the end of the test.
class TempDir {
 public:
  TempDir() {
    static std::atomic<int> counter{0};
    path_ = fs::temp_directory_path() /
            ("trx-file-test-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter));
    fs::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  fs::path path(const std::string& name) const { return path_ / name; }
  std::u16string wide(const std::string& name) const { return (path_ / name).u16string(); }

 private:
  fs::path path_;
};

void writeText(const fs::path& p, const std::string& text) { std::ofstream(p, std::ios::binary) << text; }

std::string readText(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

HANDLE openFile(const std::u16string& path, DWORD access, DWORD disposition, DWORD flags = FILE_ATTRIBUTE_NORMAL) {
  return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition, flags, nullptr);
}

std::string readAll(HANDLE h) {
  std::string out;
  char buffer[7];  // odd size: several calls
  DWORD n = 0;
  while (ReadFile(h, buffer, sizeof buffer, &n, nullptr) && n > 0) out.append(buffer, n);
  return out;
}

}  // namespace

// ---- CreateFileW -----------------------------------------------------------------------------

TEST(CreateFileW, Dispositions) {
  struct Case {
    const char* what;
    DWORD disposition;
    bool exists;
    bool succeeds;
    DWORD error;          // last error afterwards
    const char* content;  // file content afterwards ("-" = no file)
  };
  const Case cases[] = {
      {"CREATE_NEW, absent", CREATE_NEW, false, true, ERROR_SUCCESS, ""},
      {"CREATE_NEW, present", CREATE_NEW, true, false, ERROR_FILE_EXISTS, "old"},
      {"CREATE_ALWAYS, absent", CREATE_ALWAYS, false, true, ERROR_SUCCESS, ""},
      {"CREATE_ALWAYS, present: truncated", CREATE_ALWAYS, true, true, ERROR_ALREADY_EXISTS, ""},
      {"OPEN_EXISTING, absent", OPEN_EXISTING, false, false, ERROR_FILE_NOT_FOUND, "-"},
      {"OPEN_EXISTING, present", OPEN_EXISTING, true, true, ERROR_SUCCESS, "old"},
      {"OPEN_ALWAYS, absent", OPEN_ALWAYS, false, true, ERROR_SUCCESS, ""},
      {"OPEN_ALWAYS, present: kept", OPEN_ALWAYS, true, true, ERROR_ALREADY_EXISTS, "old"},
      {"TRUNCATE_EXISTING, absent", TRUNCATE_EXISTING, false, false, ERROR_FILE_NOT_FOUND, "-"},
      {"TRUNCATE_EXISTING, present", TRUNCATE_EXISTING, true, true, ERROR_SUCCESS, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    if (c.exists) writeText(dir.path("f"), "old");
    SetLastError(ERROR_INVALID_FUNCTION);
    OwnedHandle h(openFile(dir.wide("f"), GENERIC_READ | GENERIC_WRITE, c.disposition));
    EXPECT_EQ(h.get() != INVALID_HANDLE_VALUE, c.succeeds);
    EXPECT_EQ(GetLastError(), c.error);
    h.reset();
    if (std::string(c.content) == "-") {
      EXPECT_FALSE(fs::exists(dir.path("f")));
    } else {
      EXPECT_EQ(readText(dir.path("f")), c.content);
    }
  }
}

TEST(CreateFileW, Errors) {
  TempDir dir;
  fs::create_directory(dir.path("sub"));
  writeText(dir.path("file"), "x");
  struct Case {
    const char* what;
    std::u16string path;
    DWORD access;
    DWORD disposition;
    DWORD flags;
    DWORD error;
  };
  const Case cases[] = {
      {"missing directory", dir.wide("nope/f"), GENERIC_READ, OPEN_EXISTING, 0, ERROR_PATH_NOT_FOUND},
      {"missing directory, creating", dir.wide("nope/f"), GENERIC_WRITE, CREATE_ALWAYS, 0, ERROR_PATH_NOT_FOUND},
      {"a file used as a directory", dir.wide("file/f"), GENERIC_READ, OPEN_EXISTING, 0, ERROR_PATH_NOT_FOUND},
      {"a directory", dir.wide("sub"), GENERIC_READ, OPEN_EXISTING, 0, ERROR_ACCESS_DENIED},
      {"a directory for writing", dir.wide("sub"), GENERIC_WRITE, OPEN_EXISTING, 0, ERROR_ACCESS_DENIED},
      {"a directory with backup semantics", dir.wide("sub"), GENERIC_READ, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
       ERROR_NOT_SUPPORTED},
      {"empty path", u"", GENERIC_READ, OPEN_EXISTING, 0, ERROR_PATH_NOT_FOUND},
      {"bad disposition", dir.wide("file"), GENERIC_READ, 0, 0, ERROR_INVALID_PARAMETER},
      {"TRUNCATE_EXISTING without write access", dir.wide("file"), GENERIC_READ, TRUNCATE_EXISTING, 0,
       ERROR_INVALID_PARAMETER},
      {"overlapped", dir.wide("file"), GENERIC_READ, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, ERROR_NOT_SUPPORTED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetLastError(0);
    EXPECT_EQ(openFile(c.path, c.access, c.disposition, c.flags), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), c.error);
  }
  EXPECT_EQ(readText(dir.path("file")), "x") << "failed opens changed nothing";
}

TEST(CreateFileW, NamesAreUtf16AndBackslashIsAFileNameCharacter) {
  TempDir dir;
  const std::u16string unicodeName = u"caf\u00e9-\U0001F600.txt";
  OwnedHandle h(openFile(dir.wide("") + unicodeName, GENERIC_WRITE, CREATE_NEW));
  ASSERT_NE(h.get(), INVALID_HANDLE_VALUE);
  h.reset();
  EXPECT_TRUE(fs::exists(dir.path("caf\xc3\xa9-\xf0\x9f\x98\x80.txt")));

  OwnedHandle b(openFile(dir.wide("a\\b.txt"), GENERIC_WRITE, CREATE_NEW));
  ASSERT_NE(b.get(), INVALID_HANDLE_VALUE);
  EXPECT_TRUE(fs::exists(dir.path("a\\b.txt"))) << "one file named a\\b.txt, not b.txt in a";
}

TEST(CreateFileW, DeleteOnClose) {
  TempDir dir;
  OwnedHandle h(openFile(dir.wide("temp"), GENERIC_WRITE, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE));
  ASSERT_NE(h.get(), INVALID_HANDLE_VALUE);
  EXPECT_TRUE(fs::exists(dir.path("temp")));
  h.reset();
  EXPECT_FALSE(fs::exists(dir.path("temp")));
}

// ---- ReadFile / WriteFile -------------------------------------------------------------------

TEST(WriteFile, RoundTripThroughReadFile) {
  TempDir dir;
  OwnedHandle h(openFile(dir.wide("data"), GENERIC_READ | GENERIC_WRITE, CREATE_NEW));
  const std::string text = "hello, file layer\n";
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
  EXPECT_EQ(written, text.size());
  ASSERT_EQ(SetFilePointer(h, 0, nullptr, FILE_BEGIN), 0u);
  EXPECT_EQ(readAll(h), text);
  char c;
  DWORD n = 99;
  EXPECT_TRUE(ReadFile(h, &c, 1, &n, nullptr)) << "reading at the end succeeds";
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(readText(dir.path("data")), text);
}

TEST(WriteFile, AccessAndHandleErrors) {
  TempDir dir;
  writeText(dir.path("f"), "abc");
  OwnedHandle readOnly(openFile(dir.wide("f"), GENERIC_READ, OPEN_EXISTING));
  OwnedHandle writeOnly(openFile(dir.wide("f"), GENERIC_WRITE, OPEN_EXISTING));
  OwnedHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  char buffer[4] = {};
  DWORD n = 0;
  OVERLAPPED overlapped{};
  struct Case {
    const char* what;
    bool write;
    HANDLE h;
    LPOVERLAPPED overlapped;
    DWORD error;
  };
  const Case cases[] = {
      {"write to a read-only handle", true, readOnly, nullptr, ERROR_ACCESS_DENIED},
      {"read from a write-only handle", false, writeOnly, nullptr, ERROR_ACCESS_DENIED},
      {"write to an event", true, event, nullptr, ERROR_INVALID_HANDLE},
      {"read from an event", false, event, nullptr, ERROR_INVALID_HANDLE},
      {"read from NULL", false, nullptr, nullptr, ERROR_INVALID_HANDLE},
      {"overlapped read", false, readOnly, &overlapped, ERROR_NOT_SUPPORTED},
      {"overlapped write", true, writeOnly, &overlapped, ERROR_NOT_SUPPORTED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetLastError(0);
    BOOL ok = c.write ? WriteFile(c.h, "xyz", 3, &n, c.overlapped) : ReadFile(c.h, buffer, 3, &n, c.overlapped);
    EXPECT_FALSE(ok);
    EXPECT_EQ(GetLastError(), c.error);
  }
  readOnly.reset();
  writeOnly.reset();
  EXPECT_EQ(readText(dir.path("f")), "abc");
}

TEST(WriteFile, AppendOnlyAccessWritesAtTheEnd) {
  TempDir dir;
  writeText(dir.path("log"), "one\n");
  OwnedHandle h(openFile(dir.wide("log"), FILE_APPEND_DATA, OPEN_EXISTING));
  ASSERT_NE(h.get(), INVALID_HANDLE_VALUE);
  SetFilePointer(h, 0, nullptr, FILE_BEGIN);
  DWORD n = 0;
  ASSERT_TRUE(WriteFile(h, "two\n", 4, &n, nullptr));
  h.reset();
  EXPECT_EQ(readText(dir.path("log")), "one\ntwo\n");
}

// ---- SetFilePointer / sizes ----------------------------------------------------------------------

TEST(SetFilePointer, MovesAndReportsThePosition) {
  TempDir dir;
  writeText(dir.path("ten"), "0123456789");
  OwnedHandle h(openFile(dir.wide("ten"), GENERIC_READ, OPEN_EXISTING));
  struct Case {
    const char* what;
    LONG distance;
    DWORD method;
    DWORD expected;  // position afterwards
    DWORD error;     // ERROR_SUCCESS: the call succeeds
    char next;       // byte read at the position ('\0': end)
  };
  const Case cases[] = {
      {"from the beginning", 3, FILE_BEGIN, 3, ERROR_SUCCESS, '3'},
      {"from the current position", 2, FILE_CURRENT, 6, ERROR_SUCCESS, '6'},  // after reading '3'
      {"backwards", -5, FILE_CURRENT, 2, ERROR_SUCCESS, '2'},
      {"from the end", -1, FILE_END, 9, ERROR_SUCCESS, '9'},
      {"past the end", 5, FILE_END, 15, ERROR_SUCCESS, '\0'},
      {"before the start", -11, FILE_END, 15, ERROR_NEGATIVE_SEEK, '\0'},
      {"bad method", 0, 7, 15, ERROR_INVALID_PARAMETER, '\0'},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetLastError(ERROR_SUCCESS);
    DWORD result = SetFilePointer(h, c.distance, nullptr, c.method);
    if (c.error == ERROR_SUCCESS) {
      EXPECT_EQ(result, c.expected);
    } else {
      EXPECT_EQ(result, INVALID_SET_FILE_POINTER);
      EXPECT_EQ(GetLastError(), c.error);
      EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_CURRENT), c.expected) << "position unchanged";
    }
    char byte = 0;
    DWORD n = 0;
    ASSERT_TRUE(ReadFile(h, &byte, 1, &n, nullptr));
    EXPECT_EQ(n == 1 ? byte : '\0', c.next);
  }
}

TEST(SetFilePointer, SixtyFourBitPositions) {
  TempDir dir;
  OwnedHandle h(openFile(dir.wide("sparse"), GENERIC_READ | GENERIC_WRITE, CREATE_NEW));
  LONG high = 1;
  EXPECT_EQ(SetFilePointer(h, 5, &high, FILE_BEGIN), 5u);
  EXPECT_EQ(high, 1);
  LARGE_INTEGER distance, position;
  distance.QuadPart = 0;
  ASSERT_TRUE(SetFilePointerEx(h, distance, &position, FILE_CURRENT));
  EXPECT_EQ(position.QuadPart, 0x100000005LL);

  // A valid position whose low part looks like the error value.
  high = 0;
  SetLastError(ERROR_INVALID_FUNCTION);
  EXPECT_EQ(SetFilePointer(h, -1, &high, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(NO_ERROR));
  EXPECT_EQ(high, 0);
  distance.QuadPart = -0x100000000LL;
  EXPECT_FALSE(SetFilePointerEx(h, distance, nullptr, FILE_CURRENT));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NEGATIVE_SEEK));
}

TEST(GetFileSize, FollowsWritesAndTruncation) {
  TempDir dir;
  OwnedHandle h(openFile(dir.wide("grow"), GENERIC_READ | GENERIC_WRITE, CREATE_NEW));
  DWORD high = 77;
  EXPECT_EQ(GetFileSize(h, &high), 0u);
  EXPECT_EQ(high, 0u);
  DWORD n = 0;
  ASSERT_TRUE(WriteFile(h, "0123456789", 10, &n, nullptr));
  LARGE_INTEGER size;
  ASSERT_TRUE(GetFileSizeEx(h, &size));
  EXPECT_EQ(size.QuadPart, 10);
  ASSERT_EQ(SetFilePointer(h, 4, nullptr, FILE_BEGIN), 4u);
  ASSERT_TRUE(SetEndOfFile(h));
  EXPECT_EQ(GetFileSize(h, nullptr), 4u);
  ASSERT_TRUE(FlushFileBuffers(h));
  EXPECT_EQ(readText(dir.path("grow")), "0123");

  OwnedHandle readOnly(openFile(dir.wide("grow"), GENERIC_READ, OPEN_EXISTING));
  EXPECT_FALSE(FlushFileBuffers(readOnly));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(SetEndOfFile(readOnly));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  OwnedHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  EXPECT_EQ(GetFileSize(event, nullptr), INVALID_FILE_SIZE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// ---- names in the file system ------------------------------------------------------------------

TEST(DeleteFileW, Cases) {
  TempDir dir;
  writeText(dir.path("f"), "x");
  fs::create_directory(dir.path("sub"));
  EXPECT_TRUE(DeleteFileW(dir.wide("f").c_str()));
  EXPECT_FALSE(fs::exists(dir.path("f")));
  struct Case {
    const char* what;
    std::u16string path;
    DWORD error;
  };
  const Case cases[] = {
      {"already deleted", dir.wide("f"), ERROR_FILE_NOT_FOUND},
      {"missing directory", dir.wide("nope/f"), ERROR_PATH_NOT_FOUND},
      {"a directory", dir.wide("sub"), ERROR_ACCESS_DENIED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(DeleteFileW(c.path.c_str()));
    EXPECT_EQ(GetLastError(), c.error);
  }
}

TEST(DeleteFileW, OpenFilesCanBeDeleted) {
  TempDir dir;
  OwnedHandle h(openFile(dir.wide("open"), GENERIC_READ | GENERIC_WRITE, CREATE_NEW));
  EXPECT_TRUE(DeleteFileW(dir.wide("open").c_str())) << "sharing is not enforced";
  DWORD n = 0;
  EXPECT_TRUE(WriteFile(h, "x", 1, &n, nullptr)) << "the handle stays usable";
}

TEST(GetFileAttributesW, Kinds) {
  TempDir dir;
  writeText(dir.path("file"), "x");
  fs::create_directory(dir.path("sub"));
  CloseHandle(openFile(dir.wide("ro"), GENERIC_WRITE, CREATE_NEW, FILE_ATTRIBUTE_READONLY));
  struct Case {
    const char* what;
    std::u16string path;
    DWORD attributes;
    DWORD error;
  };
  const Case cases[] = {
      {"file", dir.wide("file"), FILE_ATTRIBUTE_NORMAL, 0},
      {"directory", dir.wide("sub"), FILE_ATTRIBUTE_DIRECTORY, 0},
      {"read-only file", dir.wide("ro"), FILE_ATTRIBUTE_READONLY, 0},
      {"missing", dir.wide("none"), INVALID_FILE_ATTRIBUTES, ERROR_FILE_NOT_FOUND},
      {"missing directory", dir.wide("none/x"), INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(GetFileAttributesW(c.path.c_str()), c.attributes);
    if (c.error) {
      EXPECT_EQ(GetLastError(), c.error);
    }
  }
}

TEST(CreateDirectoryW, CreateAndRemove) {
  TempDir dir;
  ASSERT_TRUE(CreateDirectoryW(dir.wide("d").c_str(), nullptr));
  EXPECT_TRUE(fs::is_directory(dir.path("d")));
  writeText(dir.path("d/inside"), "x");
  writeText(dir.path("file"), "x");
  struct Case {
    const char* what;
    bool create;
    std::u16string path;
    DWORD error;
  };
  const Case cases[] = {
      {"create existing", true, dir.wide("d"), ERROR_ALREADY_EXISTS},
      {"create with missing parent", true, dir.wide("x/y"), ERROR_PATH_NOT_FOUND},
      {"remove non-empty", false, dir.wide("d"), ERROR_DIR_NOT_EMPTY},
      {"remove a file", false, dir.wide("file"), ERROR_DIRECTORY},
      {"remove missing", false, dir.wide("none"), ERROR_FILE_NOT_FOUND},
      {"remove with missing parent", false, dir.wide("x/y"), ERROR_PATH_NOT_FOUND},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BOOL ok = c.create ? CreateDirectoryW(c.path.c_str(), nullptr) : RemoveDirectoryW(c.path.c_str());
    EXPECT_FALSE(ok);
    EXPECT_EQ(GetLastError(), c.error);
  }
  fs::remove(dir.path("d/inside"));
  EXPECT_TRUE(RemoveDirectoryW(dir.wide("d").c_str()));
  EXPECT_FALSE(fs::exists(dir.path("d")));
}

TEST(GetTempPathW, TrailingSlashAndBufferSizes) {
  WCHAR saved[1024];
  DWORD savedLength = GetEnvironmentVariableW(u"TMPDIR", saved, 1024);
  struct Case {
    const char16_t* tmpdir;  // nullptr: unset
    std::u16string expected;
  };
  const Case cases[] = {
      {u"/var/tmp", u"/var/tmp/"},
      {u"/var/tmp/", u"/var/tmp/"},
      {u"", u"/tmp/"},
      {nullptr, u"/tmp/"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected.c_str() ? std::string(c.expected.begin(), c.expected.end()) : "");
    SetEnvironmentVariableW(u"TMPDIR", c.tmpdir);
    WCHAR buffer[64];
    DWORD length = GetTempPathW(64, buffer);
    EXPECT_EQ(length, c.expected.size());
    EXPECT_EQ(std::u16string(buffer), c.expected);
    WCHAR small[4] = {u'x', u'x', u'x', u'x'};
    EXPECT_EQ(GetTempPathW(4, small), c.expected.size() + 1) << "size needed, terminator included";
    EXPECT_EQ(small[0], u'x') << "too small: buffer untouched";
    EXPECT_EQ(GetTempPathW(static_cast<DWORD>(c.expected.size()), buffer), c.expected.size() + 1)
        << "no room for the terminator";
  }
  SetEnvironmentVariableW(u"TMPDIR", savedLength ? saved : nullptr);
}

// ---- modules -------------------------------------------------------------------------------

TEST(GetModuleFileNameW, ExecutablePathAndTruncation) {
  const std::u16string exe = fs::read_symlink("/proc/self/exe").u16string();
  WCHAR buffer[4096];
  DWORD length = GetModuleFileNameW(nullptr, buffer, 4096);
  EXPECT_EQ(length, exe.size());
  EXPECT_EQ(std::u16string(buffer), exe);
  EXPECT_EQ(GetModuleFileNameW(GetModuleHandleW(nullptr), buffer, 4096), exe.size());

  WCHAR small[6];
  SetLastError(0);
  EXPECT_EQ(GetModuleFileNameW(nullptr, small, 6), 6u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(std::u16string(small), exe.substr(0, 5)) << "truncated and terminated";
}

TEST(LoadLibraryW, LoadsLooksUpAndFrees) {
  HMODULE libm = LoadLibraryW(u"libm.so.6");
  ASSERT_NE(libm, nullptr);
  FARPROC cosine = GetProcAddress(libm, "cos");
  ASSERT_NE(cosine, nullptr);
  auto fn = reinterpret_cast<double (*)(double)>(reinterpret_cast<void*>(cosine));
  EXPECT_DOUBLE_EQ(fn(0.0), 1.0);
  EXPECT_EQ(GetProcAddress(libm, "no_such_symbol_in_libm"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  EXPECT_EQ(GetProcAddress(libm, reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(1))), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED)) << "no ordinals";
  EXPECT_EQ(GetModuleHandleW(u"libm.so.6"), libm) << "already loaded";
  WCHAR path[1024];
  DWORD length = GetModuleFileNameW(libm, path, 1024);
  ASSERT_GT(length, 0u);
  EXPECT_NE(std::u16string(path).find(u"libm"), std::u16string::npos);
  EXPECT_TRUE(FreeLibrary(libm));

  struct Case {
    const char16_t* name;
    DWORD error;
  };
  const Case cases[] = {
      {u"libtrx-does-not-exist.so", ERROR_MOD_NOT_FOUND},
      {u"kernel32.dll", ERROR_MOD_NOT_FOUND},
      {u"", ERROR_INVALID_PARAMETER},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LoadLibraryW(c.name), nullptr);
    EXPECT_EQ(GetLastError(), c.error);
  }
  EXPECT_EQ(GetModuleHandleW(u"libtrx-does-not-exist.so"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  EXPECT_FALSE(FreeLibrary(nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}
