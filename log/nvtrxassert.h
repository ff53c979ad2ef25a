// Internal assertions: logged with their source position; the operation
// that raised one goes on.
#pragma once

#include "platform/trxplatform.h"

// Writes "Assertion failed: <message>" as a service error trace (the last
// error is not touched) and counts it.
void TrxAssertFailed(const char* file, int line, TrxStringView message);
// Number of assertions raised in this process.
long TrxAssertCount() noexcept;

#define TRX_ASSERT(condition, message)                                      \
  do {                                                                      \
    if (!(condition)) TrxAssertFailed(__FILE__, __LINE__, OLESTR(message)); \
  } while (0)
