// Late binding of INVTRXAutomation: names to dispatch ids and
// IDispatch::Invoke onto the interface's methods, from a table of the methods
// and their parameters. It needs no type library, so scripting tools can call
// the service on every platform; service/nvtrx.idl describes the same
// interface for tools that read type information (a test keeps the two equal).
//
// Invoke follows the OLE conventions for a dual interface:
//  - wFlags must contain DISPATCH_METHOD (VBScript also adds
//    DISPATCH_PROPERTYGET); riid must be IID_NULL; no named arguments.
//  - Arguments come in reverse order (rgvarg[cArgs - 1] is the first).
//  - [in] parameters are converted with VariantChangeType (by-reference
//    arguments are read through); the VARIANT parameter takes the argument as
//    it is, a VT_BYREF | VT_VARIANT or other by-reference one dereferenced.
//    A missing [in] (not passed, or VT_ERROR holding DISP_E_PARAMNOTFOUND)
//    gives DISP_E_PARAMNOTOPTIONAL; a failed conversion DISP_E_TYPEMISMATCH
//    with *puArgErr set to the argument's index in rgvarg.
//  - [out] parameters may be left out (the method's results are then
//    dropped) or passed as VT_BYREF with VT_VARIANT, VT_BSTR or VT_I4, for
//    any of the out-parameters: the results are converted to the reference's
//    type and stored after a successful call, freeing what the reference held.
//  - The [out, retval] parameter goes to pVarResult, and also to a reference
//    passed in its position.
//  - A failing method gives DISP_E_EXCEPTION, and EXCEPINFO (when given) gets
//    the method's status as scode, "trxcom.CNVcoTRX" as source and the errMsg
//    the method produced as description; out-parameters and pVarResult are
//    then left alone.
#pragma once

#include "platform/trxplatform.h"
#include "service/nvtrxinterfaces.h"

enum class TrxParamDirection { In, Out, OutRetval };

struct TrxDispatchParam {
  const OLECHAR* name;
  // VT_I4, VT_BSTR, VT_BOOL or VT_VARIANT: the parameter's type, or for an
  // out-parameter the type it points at.
  VARTYPE type;
  TrxParamDirection direction;
};

constexpr UINT kTrxMaxDispatchParams = 6;

// The arguments of one call while it is made (defined in nvtrxdispatch.cpp).
struct TrxDispatchFrame;

struct TrxDispatchMethod {
  const OLECHAR* name;
  DISPID dispid;
  UINT paramCount;
  TrxDispatchParam params[kTrxMaxDispatchParams];
  // Calls the method with the frame's arguments.
  HRESULT (*call)(INVTRXAutomation* target, TrxDispatchFrame& frame);
};

// The methods of INVTRXAutomation in vtable order; *count gets their number.
const TrxDispatchMethod* TrxAutomationMethods(UINT* count) noexcept;
// The method with that dispatch id, or nullptr.
const TrxDispatchMethod* TrxFindAutomationMethod(DISPID dispid) noexcept;

// IDispatch::GetIDsOfNames of INVTRXAutomation: rgszNames[0] is a method
// name, the names after it that method's parameter names, which map to their
// positions (0 is the first parameter), as OLE does. Names compare without
// regard to case. An unknown name gets DISPID_UNKNOWN in its slot and the
// result DISP_E_UNKNOWNNAME (all slots are unknown when the method is).
// DISP_E_UNKNOWNINTERFACE when riid is not IID_NULL; E_INVALIDARG for null
// arrays or no names.
HRESULT TrxAutomationGetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, DISPID* rgDispId) noexcept;

// IDispatch::Invoke of INVTRXAutomation onto `target` (see the top of the
// file). DISP_E_MEMBERNOTFOUND for an unknown dispid or flags without
// DISPATCH_METHOD, DISP_E_UNKNOWNINTERFACE, DISP_E_NONAMEDARGS,
// DISP_E_BADPARAMCOUNT for more arguments than parameters,
// DISP_E_PARAMNOTOPTIONAL, DISP_E_TYPEMISMATCH (an out-parameter passed by
// value or as another by-reference type counts as a mismatch too),
// DISP_E_EXCEPTION, E_INVALIDARG for null DISPPARAMS or argument array.
HRESULT TrxAutomationInvoke(INVTRXAutomation* target, DISPID dispIdMember, REFIID riid, WORD wFlags,
                            DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                            UINT* puArgErr) noexcept;
