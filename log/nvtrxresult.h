// Result codes of the service and the user error message table.
//
// Every operation returns a signed 32-bit result code. TRX_OK is success;
// user error codes -1023 to -1000 carry a fixed message text each; the host
// operation codes -109 to -103 are reported as -1017 naming the failed host
// call. The remaining codes travel between layers without a message.
#pragma once

#include "platform/trxplatform.h"

typedef LONG TRXRESULT;

enum : LONG {
  TRX_OK = 0,
  TRX_SAME_VERSION = 2,          // the caller already holds this definitions version
  TRX_CONVERSION_FAILED = -2,    // a value could not go into or out of a value array
  TRX_BLOCKING = -3,             // the host operation still blocks after the wait
  TRX_WORKER_MARSHAL_FAILED = -5,
  TRX_WORKER_HOST_FAILED = -6,
  TRX_CURRENCY_FAILED = -10,
  TRX_BAD_ODS = -11,             // descriptor rejected
  TRX_NOT_FOUND = -12,           // named item missing or output pointer missing
  TRX_NOT_OVERLOADED = -16,      // "Property defined as overload but is not overloaded"
  TRX_NO_OBJECT_FOR_ID = -100,
  TRX_DEFAULT_BUILD_HIERARCHY = -110,

  // Host operation codes: a call on a host object failed.
  TRX_HOST_GETPROPERTY = -103,
  TRX_HOST_GETPROPERTIES = -104,
  TRX_HOST_GETPARENT = -105,
  TRX_HOST_GETCHILD = -106,
  TRX_HOST_GETCHILDNAMES = -107,
  TRX_HOST_GETOBJTYPE = -108,
  TRX_HOST_HANDLEREQUEST = -109,

  // User error codes (message table entries 0 to 23).
  TRX_E_TIMEOUT_TOO_SMALL = -1000,
  TRX_E_NO_DIRECTORY = -1001,
  TRX_E_CREATE_FILE = -1002,
  TRX_E_EMPTY_PATH = -1003,
  TRX_E_EMPTY_HTMLID = -1004,
  TRX_E_HTMLID_PREFIX = -1005,
  TRX_E_HTMLID_NO_OBJECT = -1006,
  TRX_E_CONTENTS_MODE = -1007,
  TRX_E_EMPTY_ODS = -1008,
  TRX_E_INVALID_ODS = -1009,
  TRX_E_EMPTY_METHOD = -1010,
  TRX_E_INVALID_METHOD = -1011,
  TRX_E_ARG_COUNT = -1012,
  TRX_E_ARG_TYPE = -1013,
  TRX_E_ARG_VALUE = -1014,
  TRX_E_ODS_NOT_UNIQUE = -1015,
  TRX_E_CREATE_OBJECT = -1016,
  TRX_E_SYSTEM_OBJECT = -1017,
  TRX_E_NO_APPLICATION = -1018,
  TRX_E_BUSY = -1019,
  TRX_E_INVALID_EVENT = -1020,
  TRX_E_EVENT_ENGINE = -1021,
  TRX_E_EXECUTE_METHOD = -1022,
  TRX_E_SYSTEM = -1023,

  TRX_FIRST_USER_ERROR = -1023,
  TRX_LAST_USER_ERROR = -1000,
};

// The message text of a user error code, or nullptr when the code is not in
// -1023 to -1000.
const OLECHAR* TrxUserErrorText(TRXRESULT code) noexcept;

// The host request name of a host operation code (-109 to -103), or nullptr.
const OLECHAR* TrxHostOperationName(TRXRESULT code) noexcept;

inline bool TrxIsHostOperationCode(TRXRESULT code) noexcept {
  return code >= TRX_HOST_HANDLEREQUEST && code <= TRX_HOST_GETPROPERTY;
}
inline bool TrxIsUserErrorCode(TRXRESULT code) noexcept {
  return code >= TRX_FIRST_USER_ERROR && code <= TRX_LAST_USER_ERROR;
}
