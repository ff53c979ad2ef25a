#include "log/nvtrxassert.h"

#include <atomic>

#include "log/nvtrxlog.h"

namespace {
std::atomic<long> g_assertions{0};
}

void TrxAssertFailed(const char* file, int line, TrxStringView message) {
  ++g_assertions;
  CNVTRXLogRecord(file, line, TRXLOG_TRXERR).ReportTrace(OLESTR("Assertion failed: %s"), message);
}

long TrxAssertCount() noexcept { return g_assertions.load(); }
