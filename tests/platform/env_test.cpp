// Environment variables of the Linux kernel layer.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "linux/pal_kernel.h"

namespace {

const char16_t* kName = u"TRX_ENV_TEST_VARIABLE";

// Removes the variable at the end of the test.
struct Cleanup {
  ~Cleanup() { SetEnvironmentVariableW(kName, nullptr); }
};

}  // namespace

TEST(GetEnvironmentVariableW, BufferSizes) {
  Cleanup cleanup;
  ASSERT_TRUE(SetEnvironmentVariableW(kName, u"abc"));
  struct Case {
    DWORD size;
    DWORD expected;
    bool copied;
  };
  const Case cases[] = {
      {0, 4, false},
      {3, 4, false},
      {4, 3, true},
      {100, 3, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    std::u16string buffer(100, u'#');
    EXPECT_EQ(GetEnvironmentVariableW(kName, buffer.data(), c.size), c.expected);
    if (c.copied) {
      EXPECT_EQ(std::u16string(buffer.c_str()), u"abc");
    } else {
      EXPECT_EQ(buffer[0], u'#') << "too small: untouched";
    }
  }
  EXPECT_EQ(GetEnvironmentVariableW(kName, nullptr, 0), 4u);
}

TEST(GetEnvironmentVariableW, MissingEmptyAndDeleted) {
  Cleanup cleanup;
  WCHAR buffer[16];
  SetEnvironmentVariableW(kName, nullptr);
  SetLastError(0);
  EXPECT_EQ(GetEnvironmentVariableW(kName, buffer, 16), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ENVVAR_NOT_FOUND));

  ASSERT_TRUE(SetEnvironmentVariableW(kName, u""));
  SetLastError(ERROR_ENVVAR_NOT_FOUND);
  EXPECT_EQ(GetEnvironmentVariableW(kName, buffer, 16), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS)) << "empty, but present";
  EXPECT_EQ(buffer[0], u'\0');

  ASSERT_TRUE(SetEnvironmentVariableW(kName, nullptr));
  EXPECT_EQ(GetEnvironmentVariableW(kName, buffer, 16), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ENVVAR_NOT_FOUND));
  EXPECT_TRUE(SetEnvironmentVariableW(kName, nullptr)) << "deleting a missing variable succeeds";
}

TEST(SetEnvironmentVariableW, TextIsUtf16OutsideAndUtf8Inside) {
  Cleanup cleanup;
  const std::u16string value = u"gr\u00fc\u00df \U0001F600 =x";
  ASSERT_TRUE(SetEnvironmentVariableW(kName, value.c_str()));
  const char* raw = std::getenv("TRX_ENV_TEST_VARIABLE");
  ASSERT_NE(raw, nullptr);
  EXPECT_EQ(std::string(raw), "gr\xc3\xbc\xc3\x9f \xf0\x9f\x98\x80 =x");
  WCHAR buffer[32];
  EXPECT_EQ(GetEnvironmentVariableW(kName, buffer, 32), value.size()) << "length in UTF-16 units";
  EXPECT_EQ(std::u16string(buffer), value);
  EXPECT_EQ(GetEnvironmentVariableW(u"trx_env_test_variable", buffer, 32), 0u) << "names are case sensitive";
}

TEST(SetEnvironmentVariableW, InvalidNames) {
  const char16_t* names[] = {nullptr, u"", u"A=B"};
  for (const char16_t* name : names) {
    SetLastError(0);
    EXPECT_FALSE(SetEnvironmentVariableW(name, u"v"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  }
}

TEST(SetEnvironmentVariableW, ConcurrentUseIsSafe) {
  Cleanup cleanup;
  std::vector<std::thread> threads;
  std::atomic<int> bad{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      const std::u16string mine = t % 2 ? u"odd-value" : u"even";
      for (int i = 0; i < 500; ++i) {
        SetEnvironmentVariableW(kName, mine.c_str());
        WCHAR buffer[32];
        DWORD n = GetEnvironmentVariableW(kName, buffer, 32);
        std::u16string seen(buffer, n < 32 ? n : 0);
        if (seen != u"odd-value" && seen != u"even") ++bad;
        SYSTEMTIME st;
        GetLocalTime(&st);  // reads TZ alongside the writers
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(bad.load(), 0);
}
