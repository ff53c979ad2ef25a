#include "log/nvtrxresult.h"

namespace {

// Entry i is the text of code -1000 - i. The texts are the service's own,
// spelling and spacing included, and tools match on them.
const OLECHAR* const kUserErrorTexts[] = {
    OLESTR("Value cannot be less than 10. TimeOut value : %s."),
    OLESTR("Directory structure $path does not exist. TRX does not create directories."),
    OLESTR("Could not create the file %s."),
    OLESTR("File path parameter cannot be empty."),
    OLESTR("Htmlid is empty."),
    OLESTR("Htmlid value is %s, it does not start with \"s_\"."),
    OLESTR("Htmlid value is %s, could not find a corresponding Norvik Automation object."),
    OLESTR("Invalid mode : %d  for GetObjectContents."),
    OLESTR("TRXODS cannot be empty."),
    OLESTR("Invalid TRXODS : %s."),
    OLESTR("MethodName cannot be empty."),
    OLESTR("MethodName: %s is invalid. This method is not supported by this class %s."),
    OLESTR("Invalid argument count %d for MethodName:%s. Expected ArgCount : %d."),
    OLESTR("Invalid argument type for method name:%s for argument: %s. Expected type: %s."),
    OLESTR("Invalid argument value for method name \"%s\" for argument \"%s\". Input value: \"%s\"."),
    OLESTR("TRXODS : %s is not unique. Duplicate object: %s found."),
    OLESTR("Failed to create object \"%s\" of class \"%s\"."),
    OLESTR("System Error. Debug info: Object \"%s\" of class \"%s\" failed on request \"%s\" with parameter \"%s\"."),
    OLESTR("Could not find Norvik application object."),
    OLESTR("Norvik application is busy."),
    OLESTR("Norvik Event Processing Engine failed: Invalid event %d from object with Id %d."),
    OLESTR("Norvik Event Engine processing event %d from object d%. Object %s of class %s failed on request %s with "
           "parameter %s."),
    OLESTR("System error. Debug info: Failed to execute method id %d with args (%s). Reason: %s."),
    OLESTR("System error. Debug info: %s"),
};
static_assert(sizeof(kUserErrorTexts) / sizeof(kUserErrorTexts[0]) == 24, "one text per user error code");

const OLECHAR* const kHostOperationNames[] = {
    OLESTR("GetProperty"),    // -103
    OLESTR("GetProperties"),  // -104
    OLESTR("GetParent"),      // -105
    OLESTR("GetChild"),       // -106
    OLESTR("GetChildNames"),  // -107
    OLESTR("GetObjType"),     // -108
    OLESTR("HandleAutomationRequst"),  // -109
};

}  // namespace

const OLECHAR* TrxUserErrorText(TRXRESULT code) noexcept {
  return TrxIsUserErrorCode(code) ? kUserErrorTexts[TRX_LAST_USER_ERROR - code] : nullptr;
}

const OLECHAR* TrxHostOperationName(TRXRESULT code) noexcept {
  return TrxIsHostOperationCode(code) ? kHostOperationNames[TRX_HOST_GETPROPERTY - code] : nullptr;
}
