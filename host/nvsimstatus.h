// Status codes of the simulated Norvik client.
//
// The four request statuses below end the request executor's retries at
// once (a request that fails with any other failure status is tried again).
#pragma once

#include "platform/trxplatform.h"

// A request failed; GetLastErrorCode/GetLastErrorText tell why.
#define NVSIM_E_REQUEST_FAILED TRX_HR(0x8004000C)
// The object does not accept the request in its current state.
#define NVSIM_E_NOT_ALLOWED TRX_HR(0x8004000D)
// The request's parameter is not what the object expects.
#define NVSIM_E_BAD_PARAMETER TRX_HR(0x8004000E)
// The page is unloading; nothing is processed.
#define NVSIM_E_UNLOADING TRX_HR(0x8004000F)
// A child of that type and name does not exist (GetChild).
#define NVSIM_E_NO_OBJECT E_FAIL
// A property of that name does not exist, in the "fail" mode for unknown
// properties (GetProperty).
#define NVSIM_E_NO_PROPERTY DISP_E_MEMBERNOTFOUND

// GetLastErrorCode of a request whose rule could not be applied (it names a
// screen, view, object or value that does not exist); the text says which.
#define NVSIM_ERROR_RULE 900
