// Environment variables, tick counts and clock time of the Linux kernel layer.
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "paltest.h"

namespace {

const char16_t* kName = u"TRX_ENV_TEST_VARIABLE";

// Removes the variable at the end of the test.
struct Cleanup {
  ~Cleanup() { SetEnvironmentVariableW(kName, nullptr); }
};

}  // namespace

TEST(GetEnvironmentVariableW, BufferSizesMissingEmptyAndDeleted) {
  Cleanup cleanup;
  ASSERT_TRUE(SetEnvironmentVariableW(kName, u"abc"));
  // The buffer size given, the result, and whether the text was copied.
  for (auto [size, expected, copied] : {std::tuple{0u, 4u, false}, {3u, 4u, false}, {4u, 3u, true}, {100u, 3u, true}}) {
    std::u16string buffer(100, u'#');
    EXPECT_EQ(GetEnvironmentVariableW(kName, buffer.data(), size), expected) << size;
    EXPECT_EQ(std::u16string(buffer.c_str()).substr(0, 3), copied ? u"abc" : u"###") << "too small: untouched";
  }
  EXPECT_EQ(GetEnvironmentVariableW(kName, nullptr, 0), 4u);
  WCHAR buffer[16];
  ASSERT_TRUE(SetEnvironmentVariableW(kName, u""));
  EXPECT_LAST_ERROR(GetEnvironmentVariableW(kName, buffer, 16), 0u, ERROR_SUCCESS) << "empty, but present";
  EXPECT_EQ(buffer[0], u'\0');
  ASSERT_TRUE(SetEnvironmentVariableW(kName, nullptr));
  EXPECT_LAST_ERROR(GetEnvironmentVariableW(kName, buffer, 16), 0u, ERROR_ENVVAR_NOT_FOUND);
  EXPECT_TRUE(SetEnvironmentVariableW(kName, nullptr)) << "deleting a missing variable succeeds";
  for (const char16_t* name : {static_cast<const char16_t*>(nullptr), u"", u"A=B"})
    EXPECT_LAST_ERROR(SetEnvironmentVariableW(name, u"v"), FALSE, ERROR_INVALID_PARAMETER);
}

TEST(SetEnvironmentVariableW, TextIsUtf16OutsideAndUtf8InsideAndThreadsMayShareIt) {
  Cleanup cleanup;
  const std::u16string value = u"gr\u00fc\u00df \U0001F600 =x";
  ASSERT_TRUE(SetEnvironmentVariableW(kName, value.c_str()));
  EXPECT_STREQ(std::getenv("TRX_ENV_TEST_VARIABLE"), "gr\xc3\xbc\xc3\x9f \xf0\x9f\x98\x80 =x");
  WCHAR buffer[32];
  EXPECT_EQ(GetEnvironmentVariableW(kName, buffer, 32), value.size()) << "the length in UTF-16 units";
  EXPECT_EQ(std::u16string(buffer), value);
  EXPECT_EQ(GetEnvironmentVariableW(u"trx_env_test_variable", buffer, 32), 0u) << "names are case sensitive";

  std::vector<std::thread> threads;
  std::atomic<int> bad{0};
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      const std::u16string mine = t % 2 ? u"odd-value" : u"even";
      for (int i = 0; i < 500; ++i) {
        SetEnvironmentVariableW(kName, mine.c_str());
        WCHAR seen[32];
        const DWORD n = GetEnvironmentVariableW(kName, seen, 32);
        bad += n >= 32 || (std::u16string(seen, n) != u"odd-value" && std::u16string(seen, n) != u"even");
        SYSTEMTIME st;
        GetLocalTime(&st);  // reads TZ alongside the writers
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(bad.load(), 0);
}

namespace {

// Seconds since 1970 of a SYSTEMTIME read as UTC; checks its fields first.
long long SecondsOf(const SYSTEMTIME& st) {
  using namespace std::chrono;
  const year_month_day date{year{st.wYear}, month{st.wMonth}, day{st.wDay}};
  EXPECT_TRUE(date.ok() && st.wYear >= 2020 && st.wHour <= 23 && st.wMinute <= 59 && st.wSecond <= 59 &&
              st.wMilliseconds <= 999);
  EXPECT_EQ(st.wDayOfWeek, weekday{sys_days{date}}.c_encoding()) << "0 = Sunday";
  return sys_days{date}.time_since_epoch().count() * 86400LL + st.wHour * 3600LL + st.wMinute * 60LL + st.wSecond;
}

long long NowSeconds() {
  using namespace std::chrono;
  return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

}  // namespace

TEST(GetLocalTime, FollowsTheTimeZoneAndSystemTimeIsUtc) {
  WCHAR saved[256];
  const bool had = GetEnvironmentVariableW(u"TZ", saved, 256) > 0 || GetLastError() == ERROR_SUCCESS;
  for (auto [zone, offset] : {std::pair{u"UTC0", 0LL}, {u"<+03>-3", 3 * 3600LL}, {u"<-0530>+5:30", -19800LL}}) {
    SetEnvironmentVariableW(u"TZ", zone);
    SYSTEMTIME local, utc;
    GetSystemTime(&utc);
    GetLocalTime(&local);
    EXPECT_LE(std::llabs(SecondsOf(local) - SecondsOf(utc) - offset), 5) << TrxNarrow(zone);
    EXPECT_LE(std::llabs(SecondsOf(utc) - NowSeconds()), 5);
  }
  SetEnvironmentVariableW(u"TZ", had ? saved : nullptr);
}

TEST(GetTickCount64, MonotonicMilliseconds) {
  ULONGLONG previous = GetTickCount64();
  for (int i = 0; i < 10000; ++i) {
    const ULONGLONG now = GetTickCount64();
    ASSERT_GE(now, previous);
    previous = now;
  }
  const ULONGLONG before = GetTickCount64();
  const DWORD ticks = GetTickCount();
  Sleep(100);
  const ULONGLONG after = GetTickCount64();
  EXPECT_GE(after - before, 90u) << "milliseconds, not a coarser unit";
  EXPECT_LE(static_cast<DWORD>(ticks - static_cast<DWORD>(before)), static_cast<DWORD>(after - before))
      << "GetTickCount is the low part of GetTickCount64";
}
