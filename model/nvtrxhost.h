// The host client's automation interfaces and enumerations.
//
// The host exposes every live UI object through INVAutomation and passes the
// arguments of recorder events as INVPropertySet trees. Both are implemented
// by the host; the service only calls them. The host's application object
// also offers the private control interface INVAppControl, through which the
// service registers itself, switches the recorder and sets the operation id.
#pragma once

#include "platform/trxplatform.h"

// Type of a host object.
typedef enum AUTO_OBJECTTYPE {
  OBJTYPE_NULL = 0,
  OBJTYPE_APPLICATION = 1,
  OBJTYPE_MENU = 2,
  OBJTYPE_TOOLBAR = 3,
  OBJTYPE_NAVCONTROL = 4,
  OBJTYPE_VIEW = 5,
  OBJTYPE_APPLET = 6,
  OBJTYPE_CONTROL = 7,
  OBJTYPE_LISTCONTROL = 8,
  OBJTYPE_TREECONTROL = 9,
  OBJTYPE_CHARTCONTROL = 10,
  OBJTYPE_SUBCONTROL = 11,
  OBJTYPE_THREADBAR = 12,
  OBJTYPE_EXTOBJECT = 13,
  OBJTYPE_PLAYBARCONTROL = 14,
  OBJTYPE_ALPHATABCONTROL = 15,
  OBJTYPE_NUMTYPES = 16,
} AUTO_OBJECTTYPE;

// Id of a host request; the value of each is its position.
typedef enum AUTO_REQID {
  REQID_NULL = 0,
  REQID_PROCESSACCELERATOR = 1,
  REQID_TOOLBAR = 2,
  REQID_NAVCONTROL_GOTOSCREEN = 3,
  REQID_NAVCONTROL_GOTODETAILVIEW = 4,
  REQID_NAVCONTROL_GOTOVIEW = 5,
  REQID_ALPHATAB_CLICK = 6,
  REQID_SETFOCUS = 7,
  REQID_BUTTONCLICK = 8,
  REQID_OPENMENU = 9,
  REQID_CLOSEMENU = 10,
  REQID_SELECTMENUITEM = 11,
  REQID_GOTOITEM = 12,
  REQID_CHARTDRILLDOWN = 13,
  REQID_EXECUTETHREADBARLINK = 14,
  REQID_CLEARFOCUS = 15,
  REQID_SETVALUE = 16,
  REQID_SHOWPOPUPAPPLET = 17,
  REQID_SHOWPOPUP = 18,
  REQID_CANCELPOPUP = 19,
  REQID_CLOSEPOPUP = 20,
  REQID_SELECTLOVITEM = 21,
  REQID_SHOWLOVS = 22,
  REQID_SELECTRBITEM = 23,
  REQID_SETROWFOCUS = 24,
  REQID_SELECTROW = 25,
  REQID_SORTCOLUMN = 26,
  REQID_SETCELLFOCUS = 27,
  SETCELREQID_LVALUE = 28,
  REQID_CLICKHIERARCHYNODE = 29,
  REQID_SCROLLUP = 30,
  REQID_SCROLLDOWN = 31,
  REQID_SCROLLLEFT = 32,
  REQID_SCROLLRIGHT = 33,
  REQID_DRILLDOWNCOL = 34,
  REQID_NEXTROWSET = 35,
  REQID_PREVROWSET = 36,
  REQID_NEXTROW = 37,
  REQID_PREVROW = 38,
  REQID_EXPANDITEM = 39,
  REQID_COLLAPSEITEM = 40,
  REQID_SELECTITEM = 41,
  REQID_GOTONEXTPAGE = 42,
  REQID_GOTOPREVPAGE = 43,
  REQID_SELECTCALCKEY = 44,
  REQID_SETCURRENCYCODE = 45,
  REQID_SETEXCHANGEDATE = 46,
  REQID_SETAMOUNT = 47,
  REQID_SHOWCODEPOPUP = 48,
  REQID_SHOWDATEPOPUP = 49,
  REQID_SHOWCALCULATORPOPUP = 50,
  REQID_CLOSECURRENCYPOPUP = 51,
  REQID_SCROLLMONTHNEXT = 52,
  REQID_SCROLLMONTHPREV = 53,
  REQID_SELECTDAY = 54,
  REQID_SELECTMONTH = 55,
  REQID_SELECTYEAR = 56,
  REQID_SETTIME = 57,
  REQID_SELECTTIMEZONE = 58,
  REQID_CLOSECALPOPUP = 59,
  REQID_CANCELCALPOPUP = 60,
  REQID_TASKCLOSE = 61,
  REQID_TASKDONE = 62,
  REQID_TASKNEXT = 63,
  REQID_TASKSTART = 64,
  REQID_TASKSTEP = 65,
  REQID_TASKSTEPVIEW = 66,
  REQID_TASKSUBSTEPTOGGLE = 67,
  REQID_TASKGOTOINBOX = 68,
  REQID_CTB_RETRIEVEBUTTONTOOLTIP = 69,
  REQID_CTB_SETWORKEDIT = 70,
  REQID_CTB_SELECTWORKITEM = 71,
  REQID_FLO_ADD_CONNECTOR = 72,
  REQID_FLO_SELECTION_CHANGED = 73,
  REQID_FLO_ADD_SHAPE = 74,
  REQID_FLO_DELETE_OBJECT = 75,
  REQID_FLO_DOUBLE_CLICK = 76,
  REQID_FLO_GRID_TOGGLE = 77,
  REQID_FLO_MOVE_OBJECT = 78,
  REQID_FLO_SELECT_OBJECT = 79,
  REQID_FLO_CONNECT_SHAPE = 80,
  REQID_FLO_PRINT = 81,
  REQID_FLO_SNAPTOGRID = 82,
  REQID_FLO_ZOOM = 83,
  REQID_FLO_HOTSPOTS = 84,
  REQID_FLO_AUTOSIZE = 85,
  REQID_FLO_SIZEDEFAULT = 86,
  REQID_FLO_MOVERIGHT1 = 87,
  REQID_FLO_MOVELEFT1 = 88,
  REQID_FLO_MOVEUP1 = 89,
  REQID_FLO_MOVEDOWN1 = 90,
  REQID_FLO_MOVERIGHT = 91,
  REQID_FLO_MOVELEFT = 92,
  REQID_FLO_MOVEUP = 93,
  REQID_FLO_MOVEDOWN = 94,
  REQID_FLO_EXPANDRIGHT1 = 95,
  REQID_FLO_EXPANDLEFT1 = 96,
  REQID_FLO_EXPANDUP1 = 97,
  REQID_FLO_EXPANDDOWN1 = 98,
  REQID_FLO_EXPANDRIGHT = 99,
  REQID_FLO_EXPANDLEFT = 100,
  REQID_FLO_EXPANDUP = 101,
  REQID_FLO_EXPANDDOWN = 102,
  REQID_FLO_UNDO = 103,
  REQID_FLO_REDO = 104,
  REQID_FLO_RESIZE = 105,
  REQID_FLO_ALIGNLEFTS = 106,
  REQID_FLO_ALIGNRIGHTS = 107,
  REQID_FLO_ALIGNCENTERS = 108,
  REQID_FLO_ALIGNTOPS = 109,
  REQID_FLO_ALIGNMIDDLES = 110,
  REQID_FLO_ALIGNBOTTOMS = 111,
  REQID_FLO_SAMESIZEWIDTH = 112,
  REQID_FLO_SAMESIZEHEIGHT = 113,
  REQID_FLO_SAMESIZEBOTH = 114,
  REQID_FLO_ADD_INFLUENCE = 115,
  REQID_FLO_ADD_REPORT_TO = 116,
  REQID_FUN_PRINT = 117,
  REQID_RUL_CLICK_BUTTON = 118,
  REQID_RUL_SELECT_ITEM = 119,
  REQID_RUL_SET_EXPRESSION = 120,
  REQID_RUL_CLEAR_EXPRESSION = 121,
  REQID_RUL_IS_BUTTON_ENABLED = 122,
  REQID_RUL_ITEM_COUNT = 123,
  REQID_RUL_ENUMERATE_ITEM = 124,
  REQID_ENTER_KEY = 125,
  REQID_ENTER_KEY_END = 126,
  REQID_DOUBLE_CLICK = 127,
  REQID_ARROW_KEY = 128,
  REQID_SHOWMESSAGEBOX = 129,
} AUTO_REQID;

TRX_DEFINE_GUID(IID_INVAutomation, 0x1095bd72, 0xb560, 0x4ff6, 0x9f, 0x96, 0xa6, 0x57, 0xf5, 0xd3, 0xed, 0x00);  // {1095BD72-B560-4FF6-9F96-A657F5D3ED00}
TRX_DEFINE_GUID(IID_INVPropertySet, 0xdc5da4bc, 0x56ac, 0x46b5, 0x9d, 0x39, 0x4f, 0xe9, 0xb6, 0x67, 0xba, 0xf3);  // {DC5DA4BC-56AC-46B5-9D39-4FE9B667BAF3}
TRX_DEFINE_GUID(IID_INVAppControl, 0x3d676ad2, 0x7f0a, 0x4451, 0x84, 0x25, 0x48, 0xcf, 0x25, 0x6f, 0x96, 0x5b);  // {3D676AD2-7F0A-4451-8425-48CF256F965B}

// A live UI object of the host. Every operation returns a COM status,
// negative on failure.
struct INVAutomation : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetParent(INVAutomation** ppParent) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetChild(AUTO_OBJECTTYPE eType, BSTR name, INVAutomation** ppChild) = 0;
  // A VARIANT holding an array of the names of the children of that type.
  virtual HRESULT STDMETHODCALLTYPE GetChildNames(AUTO_OBJECTTYPE type, VARIANT* pNames) = 0;
  // pAuxParams may be null; it holds one auxiliary parameter, or an array of
  // them, and auxArrSize is their number.
  virtual HRESULT STDMETHODCALLTYPE GetProperty(BSTR name, VARIANT* pAuxParams, SHORT auxArrSize,
                                                VARIANT* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetAllProperties(VARIANT* pProperties) = 0;
  virtual HRESULT STDMETHODCALLTYPE HandleAutoRequest(AUTO_REQID eReqId, VARIANT vParam, VARIANT* pResult) = 0;
  // Error id of the last failed request (0 when the last one succeeded).
  virtual HRESULT STDMETHODCALLTYPE GetLastErrorCode(SHORT* pCode) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetLastErrorText(BSTR* pText) = 0;

 protected:
  ~INVAutomation() = default;
};

// A tree of typed property sets; properties and values are strings.
// Operations that change the set report success through a boolean.
struct INVPropertySet : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE AddChild(INVPropertySet* pChild, VARIANT_BOOL* pOk) = 0;
  virtual HRESULT STDMETHODCALLTYPE Copy(INVPropertySet** ppCopy) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetChild(LONG nIndex, INVPropertySet** ppChild) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetChildByType(BSTR type, INVPropertySet** ppChild) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetChildCount(LONG* pCount) = 0;
  // Iteration over the property names in the set's order.
  virtual HRESULT STDMETHODCALLTYPE GetFirstProperty(BSTR* pName) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetNextProperty(BSTR* pName) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetProperty(BSTR property, BSTR* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetPropertyCount(LONG* pCount) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetQueryString(BSTR* pText) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetType(BSTR* pType) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetValue(BSTR* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE DecodeFromString(BSTR str, VARIANT_BOOL* pOk) = 0;
  virtual HRESULT STDMETHODCALLTYPE EncodeAsString(BSTR* pText) = 0;
  virtual HRESULT STDMETHODCALLTYPE InsertChildAt(INVPropertySet* pIPropSet, LONG nIndex, VARIANT_BOOL* pOk) = 0;
  virtual HRESULT STDMETHODCALLTYPE PropertyExists(BSTR property, VARIANT_BOOL* pExists) = 0;
  virtual HRESULT STDMETHODCALLTYPE RemoveChild(LONG nIndex, VARIANT_BOOL* pOk) = 0;
  virtual HRESULT STDMETHODCALLTYPE RemoveProperty(BSTR property, VARIANT_BOOL* pOk) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reset(VARIANT_BOOL* pOk) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetProperty(BSTR property, BSTR value, VARIANT_BOOL* pOk) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetValue(BSTR value, VARIANT_BOOL* pOk) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetType(BSTR value, VARIANT_BOOL* pOk) = 0;
  virtual HRESULT STDMETHODCALLTYPE IsConst(VARIANT_BOOL* pConst) = 0;

 protected:
  ~INVPropertySet() = default;
};

// The host application's private control interface, obtained from its
// application object by QueryInterface.
struct INVAppControl : public IUnknown {
  // Registers the service's callback object (it answers INVTRX) with the host.
  virtual HRESULT STDMETHODCALLTYPE RegisterTRX(IUnknown* pTRX) = 0;
  // Switches the host's recorder on or off (a VARIANT boolean).
  virtual HRESULT STDMETHODCALLTYPE EnableRecorder(VARIANT vEnable) = 0;
  // Sets the operation id attached to the requests that follow; empty clears it.
  virtual HRESULT STDMETHODCALLTYPE SetOperationId(BSTR operationId) = 0;

 protected:
  ~INVAppControl() = default;
};

TRX_INTERFACE_IID(INVAutomation, IID_INVAutomation);
TRX_INTERFACE_IID(INVPropertySet, IID_INVPropertySet);
TRX_INTERFACE_IID(INVAppControl, IID_INVAppControl);
