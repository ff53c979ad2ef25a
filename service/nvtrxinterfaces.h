// The service's own COM interfaces: INVTRXAutomation for test tools,
// INVTRX for the host client, and the outgoing _INVTRXEvents.
#pragma once

#include "model/nvtrxhost.h"
#include "platform/trxplatform.h"

TRX_DEFINE_GUID(IID_INVTRXAutomation, 0x04940d12, 0xb8ba, 0x437a, 0xad, 0x9e, 0x4b, 0x62, 0x2e, 0x12, 0x26, 0x28);  // {04940D12-B8BA-437A-AD9E-4B622E122628}
TRX_DEFINE_GUID(IID_INVTRX, 0x667f79f8, 0xe27a, 0x4aef, 0x9e, 0xb0, 0xe7, 0x24, 0xc1, 0x7b, 0xa0, 0x4a);  // {667F79F8-E27A-4AEF-9EB0-E724C17BA04A}
TRX_DEFINE_GUID(DIID__INVTRXEvents, 0x971ff224, 0x5c39, 0x4620, 0x96, 0xdf, 0x9c, 0x6c, 0x27, 0xf0, 0x66, 0x72);  // {971FF224-5C39-4620-96DF-9C6C27F06672}
TRX_DEFINE_GUID(CLSID_CNVCoTRX, 0x3a90e90b, 0x4f6b, 0x48cc, 0x88, 0xc9, 0x25, 0x40, 0x09, 0x04, 0x4a, 0xae);  // {3A90E90B-4F6B-48CC-88C9-254009044AAE}
TRX_DEFINE_GUID(LIBID_trxcomLib, 0x7ff56e4d, 0x5e78, 0x4835, 0x94, 0x02, 0x43, 0x54, 0xbe, 0xa8, 0xea, 0xa5);  // {7FF56E4D-5E78-4835-9402-4354BEA8EAA5}

// The test tools' interface (dual; dispatch ids 1 to 11 in this order).
// errCode is the last out-parameter and the scripting return value.
struct INVTRXAutomation : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE SetSubmitTimeout(LONG timeOut, BSTR* errMsg, LONG* errCode) = 0;
  virtual HRESULT STDMETHODCALLTYPE StartLogging(BSTR filename, VARIANT_BOOL bAppend, BSTR* errMsg,
                                                 LONG* errCode) = 0;
  virtual HRESULT STDMETHODCALLTYPE StopLogging(BSTR* errMsg, LONG* errCode) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetLastError(BSTR* errMsg, LONG* errCode) = 0;
  virtual HRESULT STDMETHODCALLTYPE StartRecording(BSTR* errMsg, LONG* errCode) = 0;
  virtual HRESULT STDMETHODCALLTYPE StopRecording(BSTR* errMsg, LONG* errCode) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetObjectFromId(BSTR htmlId, BSTR* trxODS, BSTR* errMsg, LONG* errCode) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetRootObject(BSTR* trxODS, BSTR* errMsg, LONG* errCode) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetObjectContents(LONG nMode, BSTR trxODS, BSTR* trxContentXML, BSTR* errMsg,
                                                      LONG* errCode) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetObjectDefinitions(BSTR ver, BSTR* trxDefnXML, BSTR* errMsg, LONG* errCode) = 0;
  virtual HRESULT STDMETHODCALLTYPE Submit(BSTR trxODS, BSTR methodName, VARIANT Args, VARIANT* retVal, BSTR* errMsg,
                                           LONG* errCode) = 0;

 protected:
  ~INVTRXAutomation() = default;
};

// The host client's interface (dispatch ids 1 to 4 in this order).
struct INVTRX : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE AttachAppObject(IDispatch* pDisp) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnUnload() = 0;
  virtual HRESULT STDMETHODCALLTYPE FireRecorderEvent(LONG eventId, INVAutomation* pEventObj, LONG eventObjType,
                                                      INVPropertySet* pArgs) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnAppReady(IDispatch* pDisp) = 0;

 protected:
  ~INVTRX() = default;
};

// Dispatch ids of the outgoing _INVTRXEvents: Record(trxODS, eventName, pArgs).
enum : DISPID { DISPID_INVTRXEVENTS_RECORD = 1 };

TRX_INTERFACE_IID(INVTRXAutomation, IID_INVTRXAutomation);
TRX_INTERFACE_IID(INVTRX, IID_INVTRX);
