// Tick counts, wall-clock time and the performance counter.
#include <time.h>

#include "pal_internal.h"

namespace {

timespec clockNow(clockid_t clock) {
  timespec ts{};
  clock_gettime(clock, &ts);
  return ts;
}

ULONGLONG monotonicMilliseconds() {
  timespec ts = clockNow(CLOCK_MONOTONIC);
  return static_cast<ULONGLONG>(ts.tv_sec) * 1000u + static_cast<ULONGLONG>(ts.tv_nsec) / 1000000u;
}

void fillSystemTime(const tm& fields, long nanoseconds, LPSYSTEMTIME out) {
  out->wYear = static_cast<WORD>(fields.tm_year + 1900);
  out->wMonth = static_cast<WORD>(fields.tm_mon + 1);
  out->wDayOfWeek = static_cast<WORD>(fields.tm_wday);
  out->wDay = static_cast<WORD>(fields.tm_mday);
  out->wHour = static_cast<WORD>(fields.tm_hour);
  out->wMinute = static_cast<WORD>(fields.tm_min);
  // A leap second (tm_sec 60) is folded into :59, as Windows never shows it.
  out->wSecond = static_cast<WORD>(fields.tm_sec > 59 ? 59 : fields.tm_sec);
  out->wMilliseconds = static_cast<WORD>(nanoseconds / 1000000);
}

}  // namespace

DWORD WINAPI GetTickCount() { return static_cast<DWORD>(monotonicMilliseconds()); }

ULONGLONG WINAPI GetTickCount64() { return monotonicMilliseconds(); }

void WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime) {
  timespec now = clockNow(CLOCK_REALTIME);
  tm fields{};
  {
    // The zone follows TZ, re-read on every call (localtime_r alone reads it
    // only once per process).
    std::lock_guard<std::mutex> guard(pal::envLock());
    tzset();
    localtime_r(&now.tv_sec, &fields);
  }
  fillSystemTime(fields, now.tv_nsec, lpSystemTime);
}

void WINAPI GetSystemTime(LPSYSTEMTIME lpSystemTime) {
  timespec now = clockNow(CLOCK_REALTIME);
  tm fields{};
  gmtime_r(&now.tv_sec, &fields);
  fillSystemTime(fields, now.tv_nsec, lpSystemTime);
}

void WINAPI GetSystemTimeAsFileTime(LPFILETIME lpSystemTimeAsFileTime) {
  // 100 ns intervals between 1601-01-01 and 1970-01-01.
  constexpr ULONGLONG kUnixEpoch = 116444736000000000ull;
  timespec now = clockNow(CLOCK_REALTIME);
  ULONGLONG value =
      kUnixEpoch + static_cast<ULONGLONG>(now.tv_sec) * 10000000ull + static_cast<ULONGLONG>(now.tv_nsec) / 100u;
  lpSystemTimeAsFileTime->dwLowDateTime = static_cast<DWORD>(value);
  lpSystemTimeAsFileTime->dwHighDateTime = static_cast<DWORD>(value >> 32);
}

BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER* lpPerformanceCount) {
  timespec ts = clockNow(CLOCK_MONOTONIC);
  lpPerformanceCount->QuadPart = static_cast<LONGLONG>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
  return TRUE;
}

BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER* lpFrequency) {
  lpFrequency->QuadPart = 1000000000LL;
  return TRUE;
}
