// Reporting: user error messages, plain errors and traces, and what each
// leaves in the last error record.
#include <gtest/gtest.h>

#include "log/nvtrxassert.h"
#include "model/nvtrxautomation.h"
#include "log/nvtrxresult.h"
#include "support/trxtestlog.h"

namespace {

class NamedObject : public CNVTRXAutomation {
 public:
  NamedObject(const OLECHAR* name, CNVTRXAutomation* parent, const OLECHAR* className)
      : CNVTRXAutomation(name, parent) {
    m_strClassName = className;
  }
};

using Report = TrxLogTest;

// The codes the service raises whose texts no other test reads, and the table's last code. The
// texts of the other raised codes are read by the tests of the code that raises them.
TEST_F(Report, UserErrorTextsTakeTheirArguments) {
  struct Case {
    LONG code;
    std::initializer_list<TrxFormatArg> args;
    const char* text;
  };
  // clang-format off
  const Case cases[] = {
      {-1000, {OLESTR("5")}, "Value cannot be less than 10. TimeOut value : 5."},
      {-1002, {OLESTR("/x/y.log")}, "Could not create the file /x/y.log."},
      {-1012, {3, OLESTR("Goto"), 1}, "Invalid argument count 3 for MethodName:Goto. Expected ArgCount : 1."},
      {-1013, {OLESTR("SetText"), OLESTR("Text"), OLESTR("String")}, "Invalid argument type for method name:SetText for argument: Text. Expected type: String."},
      {-1020, {125, 7}, "Norvik Event Processing Engine failed: Invalid event 125 from object with Id 7."},
      {-1023, {OLESTR("CreateEvent Win32 error 5")}, "System error. Debug info: CreateEvent Win32 error 5"},
  };
  // clang-format on
  for (const Case& c : cases) {
    TRX_LOG(TRXLOG_USERERR).UserError(c.code, c.args);
    EXPECT_EQ(LastCode(), c.code);
    EXPECT_EQ(LastText(), c.text) << c.code;
  }
}

TEST_F(Report, ObjectNamedFormsTakeTheirArgumentsFromTheObject) {
  NamedObject root(OLESTR("Norvik"), nullptr, OLESTR("NorvApplication"));
  NamedObject* screen = new NamedObject(OLESTR("Accounts"), &root, OLESTR("NorvScreen"));
  NamedObject* view = new NamedObject(OLESTR("Account List View"), screen, OLESTR("NorvView"));

  // The host operation codes name the failed request and keep their code.
  const char* requests[] = {"GetProperty",   "GetProperties", "GetParent",          "GetChild",
                            "GetChildNames", "GetObjType",    "HandleAutomationRequst"};
  for (LONG code = -103; code >= -109; --code) {
    TRX_LOG_OBJ(TRXLOG_USERERR, screen).ReportUserError(code, OLESTR("Name"));
    EXPECT_EQ(LastCode(), code);
    EXPECT_EQ(LastText(), std::string("System Error. Debug info: Object \"Norvik.Accounts\" of class \"NorvScreen\" "
                                      "failed on request \"") +
                              requests[-103 - code] + "\" with parameter \"Name\".");
  }
  TRX_LOG(TRXLOG_USERERR).ReportUserError(-106, OLESTR("Accounts"));  // without an object
  EXPECT_EQ(LastText(), "System Error. Debug info: Object \"\" of class \"\" failed on request \"GetChild\" with "
                        "parameter \"Accounts\".");

  // The user-trace level records the positive counterpart.
  TRX_LOG_OBJ(TRXLOG_USERTRACE, &root).ReportUserError(-103, OLESTR("Name"));
  EXPECT_EQ(LastCode(), 103);
  EXPECT_EQ(LastText(),
            "System Error. Debug info: Object \"Norvik\" of class \"NorvApplication\" failed on request "
            "\"GetProperty\" with parameter \"Name\".");
  TRX_LOG(TRXLOG_USERTRACE).ReportUserError(-1014, OLESTR("SetTimeOut"), OLESTR("NewTimeOutInSecs"), OLESTR("0"));
  EXPECT_EQ(LastCode(), 1014);

  // -1017 passed directly: empty request name, the caller's first argument.
  TRX_LOG_OBJ(TRXLOG_USERERR, view).ReportUserError(-1017, OLESTR("ActiveApplet"), OLESTR("ignored"));
  EXPECT_EQ(LastText(),
            "System Error. Debug info: Object \"Norvik.Accounts.Account List View\" of class \"NorvView\" failed on "
            "request \"\" with parameter \"ActiveApplet\".");

  // -1016 names the parent that failed to create a child, not the caller's words.
  TRX_LOG_OBJ(TRXLOG_USERERR, screen).ReportUserError(-1016, OLESTR("Child"), OLESTR("NorvApplet"));
  EXPECT_EQ(LastText(), "Failed to create object \"Norvik.Accounts\" of class \"NorvScreen\".");
  TRX_LOG(TRXLOG_USERERR).ReportUserError(-1016, OLESTR("Child"), OLESTR("NorvApplet"));
  EXPECT_EQ(LastText(), "Failed to create object \"Child\" of class \"NorvApplet\".");
}

TEST_F(Report, CodesOutsideTheTableAreAssertionsThatChangeNothing) {
  m_lastError.Set(-1019, OLESTR("Norvik application is busy."));
  for (LONG code : {-1024, -999, -110, 0, 2}) {
    const long before = TrxAssertCount();
    const size_t queued = CNVTRXLog::GetQueueLength();
    TRX_LOG(TRXLOG_USERERR).ReportUserError(code, OLESTR("x"));
    EXPECT_EQ(TrxAssertCount(), before + 1) << code;
    EXPECT_EQ(LastCode(), -1019);
    // Only the assertion's own trace reaches the queue, not a user error.
    EXPECT_EQ(CNVTRXLog::GetQueueLength(), queued + 1);
  }
}

TEST_F(Report, ReportErrorAppendsTheCodeAndRecordsUnlessTrxTraceAndTracesNeverRecord) {
  TRX_LOG(TRXLOG_TRXERR).ReportError(-11, OLESTR("Wrong ODS"));
  EXPECT_EQ(LastCode(), -11);
  EXPECT_EQ(LastText(), "Wrong ODS ErrorCode: -11");

  TRX_LOG(TRXLOG_TRXERR)
      .ReportError(-12, OLESTR("Invalid method %s in class %s"), OLESTR("settext"), OLESTR("NorvText"));
  EXPECT_EQ(LastText(), "Invalid method settext in class NorvText ErrorCode: -12");

  TRX_LOG(TRXLOG_TRXTRACE).ReportError(-3, OLESTR("Current NWE operation is blocking - returning TRX_BLOCKING"));
  EXPECT_EQ(LastCode(), -12) << "a trxtrace report leaves the last error alone";
  TRX_LOG(TRXLOG_USERERR).ReportTrace(OLESTR("ClassName: %s"), OLESTR("NorvList"));
  EXPECT_EQ(LastText(), "Invalid method settext in class NorvText ErrorCode: -12");
}

TEST_F(Report, FunctionEntryClearsTheLastErrorAndReportsWithoutRecordAreOnlyLogged) {
  TRX_LOG(TRXLOG_USERERR).ReportUserError(-1019);
  EXPECT_EQ(LastCode(), -1019);
  {
    TRX_FUNCTION();
    EXPECT_EQ(LastCode(), 0);
    EXPECT_EQ(LastText(), "");
  }
  m_lastError.Release();
  const size_t queued = CNVTRXLog::GetQueueLength();
  TRX_LOG(TRXLOG_USERERR).ReportUserError(-1019);
  EXPECT_EQ(CNVTRXLog::GetQueueLength(), queued + 1);
  EXPECT_EQ(LastCode(), 0);
  EXPECT_EQ(CNVTRXLastError::Current(), nullptr);
}

}  // namespace
