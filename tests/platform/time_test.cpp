// Tick counts and clock time of the Linux kernel layer.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "linux/pal_kernel.h"

namespace {

// Seconds since 1970 of a SYSTEMTIME read as UTC.
long long secondsOf(const SYSTEMTIME& st) {
  using namespace std::chrono;
  sys_days day = year_month_day{year{st.wYear}, month{st.wMonth}, std::chrono::day{st.wDay}};
  return day.time_since_epoch().count() * 86400LL + st.wHour * 3600LL + st.wMinute * 60LL + st.wSecond;
}

long long nowSeconds() {
  using namespace std::chrono;
  return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

void expectSane(const SYSTEMTIME& st) {
  using namespace std::chrono;
  EXPECT_GE(st.wYear, 2020);
  EXPECT_GE(st.wMonth, 1);
  EXPECT_LE(st.wMonth, 12);
  EXPECT_GE(st.wDay, 1);
  EXPECT_LE(st.wDay, 31);
  EXPECT_LE(st.wHour, 23);
  EXPECT_LE(st.wMinute, 59);
  EXPECT_LE(st.wSecond, 59);
  EXPECT_LE(st.wMilliseconds, 999);
  year_month_day date{year{st.wYear}, month{st.wMonth}, day{st.wDay}};
  ASSERT_TRUE(date.ok());
  EXPECT_EQ(st.wDayOfWeek, weekday{sys_days{date}}.c_encoding()) << "0 = Sunday";
}

// Sets TZ for one test and puts the old value back.
class ZoneOverride {
 public:
  explicit ZoneOverride(const char16_t* zone) {
    had_ = GetEnvironmentVariableW(u"TZ", saved_, 256) > 0 || GetLastError() == ERROR_SUCCESS;
    SetEnvironmentVariableW(u"TZ", zone);
  }
  ~ZoneOverride() { SetEnvironmentVariableW(u"TZ", had_ ? saved_ : nullptr); }

 private:
  WCHAR saved_[256] = {};
  bool had_ = false;
};

}  // namespace

TEST(GetTickCount64, MonotonicAndInMilliseconds) {
  ULONGLONG previous = GetTickCount64();
  for (int i = 0; i < 10000; ++i) {
    ULONGLONG now = GetTickCount64();
    ASSERT_GE(now, previous);
    previous = now;
  }
  ULONGLONG before = GetTickCount64();
  Sleep(100);
  EXPECT_GE(GetTickCount64() - before, 90u) << "counts milliseconds, not a coarser unit";
}

TEST(GetTickCount, IsTheLowPartOfGetTickCount64) {
  ULONGLONG before = GetTickCount64();
  DWORD ticks = GetTickCount();
  ULONGLONG after = GetTickCount64();
  EXPECT_LE(static_cast<DWORD>(ticks - static_cast<DWORD>(before)), static_cast<DWORD>(after - before));
}

TEST(GetLocalTime, FieldsAreSane) {
  SYSTEMTIME local, utc;
  GetLocalTime(&local);
  GetSystemTime(&utc);
  expectSane(local);
  expectSane(utc);
  EXPECT_LE(std::llabs(secondsOf(utc) - nowSeconds()), 5) << "GetSystemTime is UTC";
}

TEST(GetLocalTime, FollowsTheTimeZone) {
  struct Case {
    const char16_t* zone;
    long long offsetSeconds;  // local minus UTC
  };
  const Case cases[] = {
      {u"UTC0", 0},
      {u"<+03>-3", 3 * 3600},
      {u"<-0530>+5:30", -(5 * 3600 + 1800)},
  };
  for (const Case& c : cases) {
    ZoneOverride zone(c.zone);
    SYSTEMTIME local, utc;
    GetSystemTime(&utc);
    GetLocalTime(&local);
    expectSane(local);
    EXPECT_LE(std::llabs(secondsOf(local) - secondsOf(utc) - c.offsetSeconds), 5);
  }
}

TEST(GetSystemTimeAsFileTime, CountsFrom1601) {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  ULONGLONG value = (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  long long unixSeconds = static_cast<long long>(value / 10000000ULL) - 11644473600LL;
  EXPECT_LE(std::llabs(unixSeconds - nowSeconds()), 5);
}

TEST(QueryPerformanceCounter, MonotonicWithNanosecondFrequency) {
  LARGE_INTEGER frequency, a, b;
  ASSERT_TRUE(QueryPerformanceFrequency(&frequency));
  EXPECT_EQ(frequency.QuadPart, 1000000000LL);
  ASSERT_TRUE(QueryPerformanceCounter(&a));
  ASSERT_TRUE(QueryPerformanceCounter(&b));
  EXPECT_GE(b.QuadPart, a.QuadPart);
}
