#include "service/nvtrxdispatch.h"

// The arguments of one call: the converted [in] values and the locals the
// method fills for its out-parameters, all owned here, by parameter position.
struct TrxDispatchFrame {
  TrxVariant in[kTrxMaxDispatchParams];
  TrxBstr outBstr[kTrxMaxDispatchParams];
  LONG outLong[kTrxMaxDispatchParams] = {};
  TrxVariant outVariant[kTrxMaxDispatchParams];

  BSTR Bstr(UINT i) const noexcept { return in[i].bstrVal; }
  LONG Long(UINT i) const noexcept { return in[i].lVal; }
  VARIANT_BOOL Bool(UINT i) const noexcept { return in[i].boolVal; }
  // Passed by value: the callee reads it, the frame keeps owning it.
  VARIANT Variant(UINT i) const noexcept { return in[i]; }
  BSTR* OutBstr(UINT i) noexcept { return outBstr[i].Put(); }
  LONG* OutLong(UINT i) noexcept { return &outLong[i]; }
  VARIANT* OutVariant(UINT i) noexcept { return outVariant[i].Put(); }
};

namespace {

using D = TrxParamDirection;
using F = TrxDispatchFrame;
using T = INVTRXAutomation;

constexpr TrxDispatchParam kErrMsg = {OLESTR("errMsg"), VT_BSTR, D::Out};
constexpr TrxDispatchParam kErrCode = {OLESTR("errCode"), VT_I4, D::OutRetval};

// In the order of service/nvtrx.idl, where each method's dispatch id is its position.
const TrxDispatchMethod kMethods[] = {
    {OLESTR("SetSubmitTimeout"),
     1,
     3,
     {{OLESTR("timeOut"), VT_I4, D::In}, kErrMsg, kErrCode},
     [](T* t, F& f) { return t->SetSubmitTimeout(f.Long(0), f.OutBstr(1), f.OutLong(2)); }},
    {OLESTR("StartLogging"),
     2,
     4,
     {{OLESTR("filename"), VT_BSTR, D::In}, {OLESTR("bAppend"), VT_BOOL, D::In}, kErrMsg, kErrCode},
     [](T* t, F& f) { return t->StartLogging(f.Bstr(0), f.Bool(1), f.OutBstr(2), f.OutLong(3)); }},
    {OLESTR("StopLogging"),
     3,
     2,
     {kErrMsg, kErrCode},
     [](T* t, F& f) { return t->StopLogging(f.OutBstr(0), f.OutLong(1)); }},
    {OLESTR("GetLastError"),
     4,
     2,
     {kErrMsg, kErrCode},
     [](T* t, F& f) { return t->GetLastError(f.OutBstr(0), f.OutLong(1)); }},
    {OLESTR("StartRecording"),
     5,
     2,
     {kErrMsg, kErrCode},
     [](T* t, F& f) { return t->StartRecording(f.OutBstr(0), f.OutLong(1)); }},
    {OLESTR("StopRecording"),
     6,
     2,
     {kErrMsg, kErrCode},
     [](T* t, F& f) { return t->StopRecording(f.OutBstr(0), f.OutLong(1)); }},
    {OLESTR("GetObjectFromId"),
     7,
     4,
     {{OLESTR("htmlId"), VT_BSTR, D::In}, {OLESTR("trxODS"), VT_BSTR, D::Out}, kErrMsg, kErrCode},
     [](T* t, F& f) { return t->GetObjectFromId(f.Bstr(0), f.OutBstr(1), f.OutBstr(2), f.OutLong(3)); }},
    {OLESTR("GetRootObject"),
     8,
     3,
     {{OLESTR("trxODS"), VT_BSTR, D::Out}, kErrMsg, kErrCode},
     [](T* t, F& f) { return t->GetRootObject(f.OutBstr(0), f.OutBstr(1), f.OutLong(2)); }},
    {OLESTR("GetObjectContents"),
     9,
     5,
     {{OLESTR("nMode"), VT_I4, D::In},
      {OLESTR("trxODS"), VT_BSTR, D::In},
      {OLESTR("trxContentXML"), VT_BSTR, D::Out},
      kErrMsg,
      kErrCode},
     [](T* t, F& f) { return t->GetObjectContents(f.Long(0), f.Bstr(1), f.OutBstr(2), f.OutBstr(3), f.OutLong(4)); }},
    {OLESTR("GetObjectDefinitions"),
     10,
     4,
     {{OLESTR("ver"), VT_BSTR, D::In}, {OLESTR("trxDefnXML"), VT_BSTR, D::Out}, kErrMsg, kErrCode},
     [](T* t, F& f) { return t->GetObjectDefinitions(f.Bstr(0), f.OutBstr(1), f.OutBstr(2), f.OutLong(3)); }},
    {OLESTR("Submit"),
     11,
     6,
     {{OLESTR("trxODS"), VT_BSTR, D::In},
      {OLESTR("methodName"), VT_BSTR, D::In},
      {OLESTR("Args"), VT_VARIANT, D::In},
      {OLESTR("retVal"), VT_VARIANT, D::Out},
      kErrMsg,
      kErrCode},
     [](T* t, F& f) {
       return t->Submit(f.Bstr(0), f.Bstr(1), f.Variant(2), f.OutVariant(3), f.OutBstr(4), f.OutLong(5));
     }},
};

constexpr UINT kMethodCount = sizeof(kMethods) / sizeof(kMethods[0]);

const OLECHAR kSource[] = OLESTR("trxcom.CNVcoTRX");

// An argument the caller left out: VT_ERROR with DISP_E_PARAMNOTFOUND.
bool IsMissing(const VARIANT& arg) noexcept { return arg.vt == VT_ERROR && arg.scode == DISP_E_PARAMNOTFOUND; }

// The argument a VT_BYREF | VT_VARIANT points at, or the argument itself.
const VARIANT* ReadThrough(const VARIANT* arg) noexcept {
  return arg->vt == (VT_BYREF | VT_VARIANT) ? arg->pvarVal : arg;
}

// An [in] argument as a value of `type` (VT_VARIANT: as it is) in `value`.
HRESULT Convert(const VARIANT* arg, VARTYPE type, TrxVariant& value) noexcept {
  const VARIANT* source = ReadThrough(arg);
  if (!source) return E_INVALIDARG;
  TrxVariant copy;
  HRESULT hr = VariantCopyInd(&copy, const_cast<VARIANT*>(source));
  if (FAILED(hr)) return hr;
  if (type != VT_VARIANT) {
    hr = VariantChangeType(&copy, &copy, 0, type);
    if (FAILED(hr)) return hr;
  }
  value = std::move(copy);
  return S_OK;
}

// A reference an out-parameter can be stored into.
bool IsOutReference(const VARIANT& arg) noexcept {
  return (arg.vt == (VT_BYREF | VT_VARIANT) || arg.vt == (VT_BYREF | VT_BSTR) || arg.vt == (VT_BYREF | VT_I4)) &&
         arg.byref != nullptr;
}

// What the method left in an out-parameter's local, taken from the frame.
TrxVariant TakeResult(const TrxDispatchParam& param, UINT i, TrxDispatchFrame& frame) noexcept {
  TrxVariant result;
  if (param.type == VT_BSTR) {
    result.vt = VT_BSTR;
    result.bstrVal = frame.outBstr[i].Detach();
  } else if (param.type == VT_I4) {
    result = TrxVariant::FromI4(frame.outLong[i]);
  } else {
    result = std::move(frame.outVariant[i]);
  }
  return result;
}

// Converts a result to the type of the caller's reference.
HRESULT ConvertForReference(const VARIANT& ref, TrxVariant& value) noexcept {
  const VARTYPE target = static_cast<VARTYPE>(ref.vt & ~VT_BYREF);
  if (target == VT_VARIANT || value.vt == target) return S_OK;
  return VariantChangeType(&value, &value, 0, target);
}

// Stores a converted result into the caller's reference, freeing its old value.
void Store(VARIANT& ref, TrxVariant& value) noexcept {
  switch (ref.vt & ~VT_BYREF) {
    case VT_VARIANT:
      value.Detach(ref.pvarVal);
      break;
    case VT_BSTR:
      SysFreeString(*ref.pbstrVal);
      *ref.pbstrVal = value.bstrVal;
      VariantInit(&value);
      break;
    default:
      *ref.plVal = value.lVal;
      break;
  }
}

void FillException(EXCEPINFO* info, HRESULT status, BSTR description) noexcept {
  if (!info) return;
  *info = EXCEPINFO{};
  info->scode = status;
  info->bstrSource = SysAllocString(kSource);
  info->bstrDescription = SysAllocStringLen(description ? description : OLESTR(""), SysStringLen(description));
}

}  // namespace

const TrxDispatchMethod* TrxAutomationMethods(UINT* count) noexcept {
  if (count) *count = kMethodCount;
  return kMethods;
}

const TrxDispatchMethod* TrxFindAutomationMethod(DISPID dispid) noexcept {
  for (const TrxDispatchMethod& method : kMethods)
    if (method.dispid == dispid) return &method;
  return nullptr;
}

HRESULT TrxAutomationGetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, DISPID* rgDispId) noexcept {
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (!rgszNames || !rgDispId || cNames == 0) return E_INVALIDARG;
  for (UINT i = 0; i < cNames; ++i) rgDispId[i] = DISPID_UNKNOWN;
  const TrxDispatchMethod* method = nullptr;
  for (const TrxDispatchMethod& candidate : kMethods)
    if (rgszNames[0] && TrxEqualsNoCase(TrxView(rgszNames[0]), TrxView(candidate.name))) method = &candidate;
  if (!method) return DISP_E_UNKNOWNNAME;
  rgDispId[0] = method->dispid;
  HRESULT hr = S_OK;
  for (UINT i = 1; i < cNames; ++i) {
    for (UINT p = 0; p < method->paramCount; ++p)
      if (rgszNames[i] && TrxEqualsNoCase(TrxView(rgszNames[i]), TrxView(method->params[p].name)))
        rgDispId[i] = static_cast<DISPID>(p);
    if (rgDispId[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

HRESULT TrxAutomationInvoke(INVTRXAutomation* target, DISPID dispIdMember, REFIID riid, WORD wFlags,
                            DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                            UINT* puArgErr) noexcept {
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  const TrxDispatchMethod* method = TrxFindAutomationMethod(dispIdMember);
  if (!method || !(wFlags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
  if (!pDispParams || !target) return E_INVALIDARG;
  if (pDispParams->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
  const UINT cArgs = pDispParams->cArgs;
  if (cArgs > 0 && !pDispParams->rgvarg) return E_INVALIDARG;
  if (cArgs > method->paramCount) return DISP_E_BADPARAMCOUNT;

  auto mismatch = [puArgErr](UINT index) {
    if (puArgErr) *puArgErr = index;
    return DISP_E_TYPEMISMATCH;
  };

  TrxDispatchFrame frame;
  VARIANT* refs[kTrxMaxDispatchParams] = {};
  for (UINT i = 0; i < method->paramCount; ++i) {
    const TrxDispatchParam& param = method->params[i];
    const UINT index = cArgs - 1 - i;
    VARIANT* arg = i < cArgs ? &pDispParams->rgvarg[index] : nullptr;
    if (param.direction == D::In) {
      if (!arg || IsMissing(*arg) || (ReadThrough(arg) && IsMissing(*ReadThrough(arg)))) return DISP_E_PARAMNOTOPTIONAL;
      if (FAILED(Convert(arg, param.type, frame.in[i]))) return mismatch(index);
    } else if (arg && !IsMissing(*arg)) {
      if (!IsOutReference(*arg)) return mismatch(index);
      refs[i] = arg;
    }
  }

  const HRESULT hr = method->call(target, frame);
  if (FAILED(hr)) {
    BSTR message = nullptr;
    for (UINT i = 0; i < method->paramCount; ++i)
      if (method->params[i].direction == D::Out && TrxEqualsNoCase(TrxView(method->params[i].name), OLESTR("errMsg")))
        message = frame.outBstr[i].Get();
    FillException(pExcepInfo, hr, message);
    return DISP_E_EXCEPTION;
  }

  // Every result is converted before any is stored, so that a reference of
  // the wrong kind leaves all of the caller's variables as they were.
  TrxVariant results[kTrxMaxDispatchParams];
  TrxVariant* retval = nullptr;
  for (UINT i = 0; i < method->paramCount; ++i) {
    const TrxDispatchParam& param = method->params[i];
    if (param.direction == D::In) continue;
    results[i] = TakeResult(param, i, frame);
    if (param.direction == D::OutRetval) retval = &results[i];
  }
  TrxVariant staged[kTrxMaxDispatchParams];
  for (UINT i = 0; i < method->paramCount; ++i) {
    if (!refs[i]) continue;
    staged[i] = results[i];
    if (FAILED(ConvertForReference(*refs[i], staged[i]))) return mismatch(cArgs - 1 - i);
  }
  for (UINT i = 0; i < method->paramCount; ++i)
    if (refs[i]) Store(*refs[i], staged[i]);
  if (pVarResult) {
    VariantClear(pVarResult);
    if (retval) retval->Detach(pVarResult);
  }
  return S_OK;
}
