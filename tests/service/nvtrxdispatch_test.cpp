// The facade through IDispatch, as the three kinds of tools call it:
// VBScript (every out-parameter a VT_BYREF | VT_VARIANT variable, the errCode
// as the call's value), JScript (only the [in] arguments, the errCode as the
// call's value) and C++ (typed references: VT_BYREF | VT_BSTR, VT_BYREF |
// VT_I4). BSTRs the service frees or replaces are checked by the sanitizer
// build.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "descriptors/nvtrxdefinitions.h"
#include "model/nvtrxarray.h"
#include "service/nvtrx.h"
#include "service/nvtrxdispatch.h"
#include "support/trxtestvalues.h"
#include "tests/service/nvtrxservicetest.h"

namespace {

const OLECHAR kRoot[] = OLESTR("<Obj ClassName=\"NorvApplication\" RepositoryName=\"Norvik\"/>");
constexpr WORD kVBScriptFlags = DISPATCH_METHOD | DISPATCH_PROPERTYGET;

enum : DISPID {
  kSetSubmitTimeout = 1,
  kStartLogging = 2,
  kGetLastError = 4,
  kGetObjectDefinitions = 10,
  kSubmit = 11,
};

// An EXCEPINFO that frees its strings.
struct ExceptionInfo : EXCEPINFO {
  ExceptionInfo() : EXCEPINFO() {}
  ~ExceptionInfo() {
    SysFreeString(bstrSource);
    SysFreeString(bstrDescription);
    SysFreeString(bstrHelpFile);
  }
  ExceptionInfo(const ExceptionInfo&) = delete;
  ExceptionInfo& operator=(const ExceptionInfo&) = delete;
  std::string Source() const { return TrxNarrow(TrxBstrView(bstrSource)); }
  std::string Description() const { return TrxNarrow(TrxBstrView(bstrDescription)); }
  // "scode source description", with the wCode first when it is set.
  std::string Show() const {
    return (wCode ? "wCode " + std::to_string(wCode) + " " : "") + std::to_string(scode) + " " + Source() + " " +
           Description();
  }
};

// Argument makers; none of them owns what it points at.
VARIANT ByRef(VARTYPE type, void* target) {
  VARIANT arg;
  VariantInit(&arg);
  arg.vt = VT_BYREF | type;
  arg.byref = target;
  return arg;
}
VARIANT RefVariant(VARIANT& target) { return ByRef(VT_VARIANT, &target); }
VARIANT RefBstr(BSTR& target) { return ByRef(VT_BSTR, &target); }
VARIANT RefLong(LONG& target) { return ByRef(VT_I4, &target); }
VARIANT Missing() {
  VARIANT arg;
  VariantInit(&arg);
  arg.vt = VT_ERROR;
  arg.scode = DISP_E_PARAMNOTFOUND;
  return arg;
}

// The text of a BSTR out-parameter, which is freed.
std::string Take(BSTR& text) {
  TrxBstr owned;
  owned.Attach(text);
  text = nullptr;
  return TrxNarrow(owned.View());
}

class Dispatch : public TrxServiceTest {
 protected:
  void SetUp() override {
    TrxServiceTest::SetUp();
    ASSERT_EQ(m_tool.As(m_dispatch), S_OK);
  }
  void TearDown() override {
    m_dispatch.Reset();
    TrxServiceTest::TearDown();
  }

  // Calls with the arguments in declaration order (they go to rgvarg reversed).
  HRESULT Call(DISPID id, std::vector<VARIANT> args, VARIANT* result, EXCEPINFO* info = nullptr, UINT* argErr = nullptr,
               WORD flags = kVBScriptFlags) {
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    return m_dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, info, argErr);
  }

  TrxComPtr<IDispatch> m_dispatch;
};

const char kTimeoutMessage[] =
    "Invalid argument value for method name \"SetSubmitTimeout\" for argument \"timeOut\". Input value: \"5\".";

// ---- the methods, as each kind of tool calls them ---------------------------------------------

TEST_F(Dispatch, GetObjectDefinitionsAsVBScriptJScriptAndCppCallIt) {
  const std::string catalogue = TrxNarrow(GetObjectDefinitionsText());
  ASSERT_FALSE(catalogue.empty());

  // VBScript: code = trx.GetObjectDefinitions(version, xml, message), with
  // variables that hold something before.
  TrxVariant version = Str(u"1.0");
  TrxVariant xml = Str(u"stale");
  TrxVariant message = I4(7);
  TrxVariant code;
  ASSERT_EQ(Call(kGetObjectDefinitions, {RefVariant(version), RefVariant(xml), RefVariant(message)}, &code), S_OK);
  EXPECT_EQ(Text(xml), catalogue);
  EXPECT_EQ(Text(message) + " " + Text(code), " I4 0");
  EXPECT_EQ(Text(version), "1.0") << "an [in] variable is left alone";

  // JScript: code = trx.GetObjectDefinitions("8.2"), the out-parameters left out.
  TrxVariant sameCode;
  ASSERT_EQ(Call(kGetObjectDefinitions, {Str(u"8.2")}, &sameCode), S_OK);
  EXPECT_EQ(Text(sameCode), "I4 " + std::to_string(TRX_SAME_VERSION));
  ASSERT_EQ(Call(kGetObjectDefinitions, {Str(u"8.10")}, &sameCode), S_OK);
  EXPECT_EQ(Text(sameCode), "I4 -1023") << "8.10 comes after 8.2, part by part as numbers";

  // C++: typed references, the errCode as the last argument and no result.
  BSTR text = SysAllocString(OLESTR("stale"));
  BSTR error = nullptr;
  LONG errCode = -5;
  EXPECT_EQ(Call(kGetObjectDefinitions, {Str(u"1.0"), RefBstr(text), RefBstr(error), RefLong(errCode)}, nullptr,
                 nullptr, nullptr, DISPATCH_METHOD),
            S_OK);
  EXPECT_EQ(Take(text), catalogue);
  EXPECT_EQ(Take(error), "");
  EXPECT_EQ(errCode, 0);
}

TEST_F(Dispatch, SetSubmitTimeoutConvertsItsArgumentAndReportsAFailureAsAnException) {
  // A string that holds a number is converted.
  TrxVariant message, code;
  ASSERT_EQ(Call(kSetSubmitTimeout, {Str(u"20"), RefVariant(message)}, &code), S_OK);
  EXPECT_EQ(CNVCoTRX::Instance()->GetApplication()->GetSubmitTimeout(), 20);
  EXPECT_EQ(Text(code), "I4 0");

  // Too small: the method fails, the caller gets an exception with its text.
  TrxVariant untouched = Str(u"kept");
  TrxVariant result;
  ExceptionInfo info;
  EXPECT_EQ(Call(kSetSubmitTimeout, {I4(5), RefVariant(untouched)}, &result, &info), DISP_E_EXCEPTION);
  EXPECT_EQ(info.Show(), std::string("-1014 trxcom.CNVcoTRX ") + kTimeoutMessage);
  EXPECT_EQ(result.vt, VT_EMPTY) << "no result after a failure";
  EXPECT_EQ(Text(untouched), "kept") << "no out-parameter is stored after a failure";
  EXPECT_EQ(CNVCoTRX::Instance()->GetApplication()->GetSubmitTimeout(), 20);
}

TEST_F(Dispatch, GetLastErrorGivesThePreviousFailureToEveryKindOfCaller) {
  // Without an EXCEPINFO the status alone tells; the failure is recorded.
  ASSERT_EQ(Call(kSetSubmitTimeout, {I4(5)}, nullptr), DISP_E_EXCEPTION);
  TrxVariant message, code;
  ASSERT_EQ(Call(kGetLastError, {RefVariant(message)}, &code), S_OK);
  EXPECT_EQ(Text(message), kTimeoutMessage);
  EXPECT_EQ(Text(code), "I4 -1014");

  TrxVariant onlyCode;
  ASSERT_EQ(Call(kGetLastError, {}, &onlyCode), S_OK);
  EXPECT_EQ(Text(onlyCode), "I4 -1014");

  // Any accepted reference takes any out-parameter: the code as text, too.
  TrxVariant asVariant;
  BSTR codeText = SysAllocString(OLESTR("stale"));
  TrxVariant result;
  ASSERT_EQ(Call(kGetLastError, {RefVariant(asVariant), RefBstr(codeText)}, &result), S_OK);
  EXPECT_EQ(Take(codeText), "-1014");
  EXPECT_EQ(result.lVal, TRX_E_ARG_VALUE) << "the result and the reference both get the errCode";

  // Missing out-parameters are dropped and marked ones skipped: VBScript's
  // trx.GetLastError(, code), the message marked missing, the code by reference.
  LONG errCode = 0;
  TrxVariant skipped;
  ASSERT_EQ(Call(kGetLastError, {Missing(), RefLong(errCode)}, &skipped), S_OK);
  EXPECT_EQ(errCode, TRX_E_ARG_VALUE);
  EXPECT_EQ(Text(skipped), "I4 -1014");
}

TEST_F(Dispatch, SubmitTakesAnArrayPassedByReference) {
  ASSERT_EQ(m_client->Attach(m_tool.Get()), S_OK);
  TrxVariant array = TrxTestArray(VT_VARIANT, {Str(u"UIName"), Str(u"RepositoryName")});

  // What the interface itself answers for the array passed by value.
  Reply direct = Submit(kRoot, u"GetProperties", array);
  ASSERT_EQ(Said(direct), "0 ");
  ASSERT_EQ(direct.value.vt, VT_ARRAY | VT_VARIANT);
  EXPECT_EQ(TrxSafeArrayExtent(direct.value.parray), 2);
  const TrxString expected = CNVTRXArray(&direct.value).ToText();

  // A VBScript variable holding the array: VT_BYREF | VT_VARIANT.
  TrxVariant odsArg = TrxVariant::FromString(kRoot), methodArg = Str(u"GetProperties");
  TrxVariant retVal, message, code;
  ASSERT_EQ(Call(kSubmit, {odsArg, methodArg, RefVariant(array), RefVariant(retVal), RefVariant(message)}, &code),
            S_OK);
  EXPECT_EQ(Text(code), "I4 0") << Text(message);
  ASSERT_EQ(retVal.vt, VT_ARRAY | VT_VARIANT);
  EXPECT_EQ(CNVTRXArray(&retVal).ToText(), expected);

  // A typed array reference (VT_BYREF | VT_ARRAY | VT_VARIANT), as VB passes an array variable.
  TrxVariant typedResult, typedCode;
  ASSERT_EQ(Call(kSubmit, {odsArg, methodArg, ByRef(VT_ARRAY | VT_VARIANT, &array.parray), RefVariant(typedResult)},
                 &typedCode),
            S_OK);
  EXPECT_EQ(Text(typedCode), "I4 0");
  EXPECT_EQ(CNVTRXArray(&typedResult).ToText(), expected);
  EXPECT_EQ(array.vt, VT_ARRAY | VT_VARIANT) << "the caller's array is left alone";
  EXPECT_EQ(TrxSafeArrayExtent(array.parray), 2);

  // The retVal into a string reference; a string that is no number does not fit a long.
  BSTR name = nullptr;
  TrxVariant nameCode;
  const TrxVariant uiName = Str(u"UIName");
  ASSERT_EQ(Call(kSubmit, {odsArg, Str(u"GetProperty"), uiName, RefBstr(name)}, &nameCode), S_OK);
  EXPECT_EQ(Text(nameCode), "I4 0");
  EXPECT_FALSE(Take(name).empty());
  LONG number = 42;
  TrxVariant untouchedMessage = Str(u"kept");
  UINT argErr = 99;
  EXPECT_EQ(Call(kSubmit, {odsArg, Str(u"GetProperty"), uiName, RefLong(number), RefVariant(untouchedMessage)}, nullptr,
                 nullptr, &argErr),
            DISP_E_TYPEMISMATCH);
  EXPECT_EQ(argErr, 1u) << "retVal is the fourth of five arguments";
  EXPECT_EQ(number, 42);
  EXPECT_EQ(Text(untouchedMessage), "kept") << "nothing is stored when one result does not fit";

  // An argument of a type Submit refuses: its own failure, with its message.
  const TrxVariant real = TrxVariant::FromR8(2.5);
  TrxVariant refusedCode;
  ExceptionInfo info;
  EXPECT_EQ(Call(kSubmit, {odsArg, uiName, real}, &refusedCode, &info), DISP_E_EXCEPTION);
  EXPECT_EQ(info.scode, E_INVALIDARG);
  EXPECT_EQ(info.Description().rfind("Invalid argument type for method name:UIName", 0), 0u) << info.Description();
}

// ---- names ------------------------------------------------------------------------------------

TEST_F(Dispatch, NamesMapToDispatchIdsWithoutRegardToCase) {
  struct Case {
    std::vector<const OLECHAR*> names;
    HRESULT status;
    std::vector<DISPID> ids;
  };
  // clang-format off
  const Case cases[] = {
      {{OLESTR("SUBMIT"), OLESTR("args"), OLESTR("ERRCODE"), OLESTR("trxods"), OLESTR("RetVal")}, S_OK, {11, 2, 5, 0, 3}},
      {{OLESTR("StartLogging"), OLESTR("bAppend"), OLESTR("fileName")}, S_OK, {2, 1, 0}},
      {{OLESTR("Submit"), OLESTR("nMode"), OLESTR("errMsg")}, DISP_E_UNKNOWNNAME, {11, DISPID_UNKNOWN, 4}},
      {{OLESTR("Fly"), OLESTR("errMsg")}, DISP_E_UNKNOWNNAME, {DISPID_UNKNOWN, DISPID_UNKNOWN}},
      {{OLESTR("AttachAppObject")}, DISP_E_UNKNOWNNAME, {DISPID_UNKNOWN}},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(TrxNarrow(TrxView(c.names[0])));
    std::vector<LPOLESTR> names;
    for (const OLECHAR* name : c.names) names.push_back(const_cast<LPOLESTR>(name));
    std::vector<DISPID> ids(names.size(), 1234);
    EXPECT_EQ(m_dispatch->GetIDsOfNames(IID_NULL, names.data(), static_cast<UINT>(names.size()), 0, ids.data()),
              c.status);
    EXPECT_EQ(ids, c.ids);
  }
  LPOLESTR name = const_cast<LPOLESTR>(OLESTR("Submit"));
  DISPID id = 0;
  EXPECT_EQ(m_dispatch->GetIDsOfNames(IID_INVTRXAutomation, &name, 1, 0, &id), DISP_E_UNKNOWNINTERFACE);
  EXPECT_EQ(m_dispatch->GetIDsOfNames(IID_NULL, nullptr, 1, 0, &id), E_INVALIDARG);
}

TEST_F(Dispatch, TypeInformationComesOnlyFromARegisteredTypeLibrary) {
  UINT count = 7;
  ASSERT_EQ(m_dispatch->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 0u) << "no type library is registered on Linux";
  ITypeInfo* info = reinterpret_cast<ITypeInfo*>(static_cast<uintptr_t>(0x1000));
  EXPECT_EQ(m_dispatch->GetTypeInfo(0, 0, &info), TYPE_E_LIBNOTREGISTERED);
  EXPECT_EQ(info, nullptr);
  EXPECT_EQ(m_dispatch->GetTypeInfo(1, 0, &info), DISP_E_BADINDEX);
  EXPECT_EQ(m_dispatch->GetTypeInfoCount(nullptr), E_POINTER);
  EXPECT_EQ(m_dispatch->GetTypeInfo(0, 0, nullptr), E_POINTER);
}

// ---- failures ------------------------------------------------------------------------------------

TEST_F(Dispatch, EveryMalformedCallIsRefusedWithItsStatus) {
  TrxVariant held = Str(u"x");
  TrxVariant real = TrxVariant::FromR8(1.5);
  const VARIANT doubleRef = ByRef(VT_R8, &real.dblVal);
  TrxVariant array = TrxTestArray(VT_VARIANT, {});
  TrxVariant missingHeld = Missing();
  // The values the table points at (its VARIANTs are shallow copies).
  const TrxVariant soon = Str(u"soon"), logName = Str(u"log.txt"), maybe = Str(u"maybe"), text = Str(u"x");

  struct Case {
    const char* what;
    DISPID id;
    std::vector<VARIANT> args;
    WORD flags;
    HRESULT status;
    UINT argErr;  // 99: not set
  };
  // clang-format off
  const Case cases[] = {
      {"unknown dispid", 12, {}, DISPATCH_METHOD, DISP_E_MEMBERNOTFOUND, 99},
      {"dispid 0", 0, {}, DISPATCH_METHOD, DISP_E_MEMBERNOTFOUND, 99},
      {"a property get alone", kGetLastError, {}, DISPATCH_PROPERTYGET, DISP_E_MEMBERNOTFOUND, 99},
      {"a property put", kSetSubmitTimeout, {I4(20)}, DISPATCH_PROPERTYPUT, DISP_E_MEMBERNOTFOUND, 99},
      {"too many arguments", kGetLastError, {RefVariant(held), RefVariant(held), RefVariant(held)}, DISPATCH_METHOD, DISP_E_BADPARAMCOUNT, 99},
      {"no [in] argument", kSetSubmitTimeout, {}, DISPATCH_METHOD, DISP_E_PARAMNOTOPTIONAL, 99},
      {"an [in] argument marked missing", kSetSubmitTimeout, {Missing()}, DISPATCH_METHOD, DISP_E_PARAMNOTOPTIONAL, 99},
      {"a variable holding the missing mark", kSetSubmitTimeout, {RefVariant(missingHeld)}, DISPATCH_METHOD, DISP_E_PARAMNOTOPTIONAL, 99},
      {"the second [in] missing", kStartLogging, {logName}, DISPATCH_METHOD, DISP_E_PARAMNOTOPTIONAL, 99},
      {"text that is no number", kSetSubmitTimeout, {soon}, DISPATCH_METHOD, DISP_E_TYPEMISMATCH, 0},
      {"text that is no boolean", kStartLogging, {logName, maybe}, DISPATCH_METHOD, DISP_E_TYPEMISMATCH, 0},
      {"an array for a string", kStartLogging, {array, TrxVariant::FromBool(true)}, DISPATCH_METHOD, DISP_E_TYPEMISMATCH, 1},
      {"an out-parameter by value", kGetLastError, {text}, DISPATCH_METHOD, DISP_E_TYPEMISMATCH, 0},
      {"an out-parameter as a double reference", kGetLastError, {doubleRef}, DISPATCH_METHOD, DISP_E_TYPEMISMATCH, 0},
      {"the errCode by value", kGetLastError, {RefVariant(held), I4(0)}, DISPATCH_METHOD, DISP_E_TYPEMISMATCH, 0},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TrxVariant result;
    UINT argErr = 99;
    EXPECT_EQ(Call(c.id, c.args, &result, nullptr, &argErr, c.flags), c.status);
    EXPECT_EQ(argErr, c.argErr);
    EXPECT_EQ(result.vt, VT_EMPTY);
  }
  EXPECT_EQ(Text(held), "x") << "a refused call stores nothing";

  // Named arguments, another interface id, no parameters at all.
  VARIANT arg = I4(20);
  DISPID named = 0;
  DISPPARAMS withName = {&arg, &named, 1, 1};
  EXPECT_EQ(m_dispatch->Invoke(kSetSubmitTimeout, IID_NULL, 0, DISPATCH_METHOD, &withName, nullptr, nullptr, nullptr),
            DISP_E_NONAMEDARGS);
  DISPPARAMS plain = {&arg, nullptr, 1, 0};
  EXPECT_EQ(m_dispatch->Invoke(kSetSubmitTimeout, IID_INVTRXAutomation, 0, DISPATCH_METHOD, &plain, nullptr, nullptr,
                               nullptr),
            DISP_E_UNKNOWNINTERFACE);
  EXPECT_EQ(m_dispatch->Invoke(kSetSubmitTimeout, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr),
            E_INVALIDARG);
  DISPPARAMS noArray = {nullptr, nullptr, 1, 0};
  EXPECT_EQ(m_dispatch->Invoke(kSetSubmitTimeout, IID_NULL, 0, DISPATCH_METHOD, &noArray, nullptr, nullptr, nullptr),
            E_INVALIDARG);
  EXPECT_EQ(CNVCoTRX::Instance()->GetApplication()->GetSubmitTimeout(), 60000) << "no refused call ran the method";
}

}  // namespace
