#include "objects/nvtrxcalendar.h"

namespace {

// clang-format off
const TrxMethodRow kMethods[] = {
    {OLESTR("SetText"),        VT_BSTR,  REQID_SETVALUE,        VT_BSTR,  TRXMETHOD_FOCUS_WRAPPED, OLESTR("Sets the specified text value in the control")},
    {OLESTR("OpenPopup"),      VT_EMPTY, REQID_SHOWPOPUP,       VT_EMPTY, TRXMETHOD_FOCUS_WRAPPED, OLESTR("Opens the popup applet for the text control")},
    {OLESTR("CancelPopup"),    VT_EMPTY, REQID_CANCELPOPUP,     VT_EMPTY, TRXMETHOD_REQUEST,       OLESTR("Closes the popup applet without saving the changes")},
    {OLESTR("ClosePopup"),     VT_EMPTY, REQID_CLOSEPOPUP,      VT_EMPTY, TRXMETHOD_REQUEST,       OLESTR("Closes the popup applet and saves the changes made")},
    {OLESTR("SetDay"),         VT_I4,    REQID_SELECTDAY,       VT_I4,    TRXMETHOD_REQUEST,       OLESTR("Selects the day")},
    {OLESTR("SetMonth"),       VT_I4,    REQID_SELECTMONTH,     VT_I4,    TRXMETHOD_REQUEST,       OLESTR("Selects the month")},
    {OLESTR("SetYear"),        VT_I4,    REQID_SELECTYEAR,      VT_I4,    TRXMETHOD_REQUEST,       OLESTR("Selects the year")},
    {OLESTR("NextMonth"),      VT_I4,    REQID_SCROLLMONTHNEXT, VT_I4,    TRXMETHOD_REQUEST,       OLESTR("Selects the day")},
    {OLESTR("PrevMonth"),      VT_I4,    REQID_SCROLLMONTHPREV, VT_I4,    TRXMETHOD_REQUEST,       OLESTR("Selects the day")},
    {OLESTR("SetTime"),        VT_I4,    REQID_SETTIME,         VT_I4,    TRXMETHOD_REQUEST,       OLESTR("Selects the day")},
    {OLESTR("SelectTimeZone"), VT_BSTR,  REQID_SELECTTIMEZONE,  VT_BSTR,  TRXMETHOD_REQUEST,       OLESTR("Selects the TimeZone")},
    {OLESTR("ProcessKey"),     VT_BSTR,  REQID_ARROW_KEY,       VT_BSTR,  TRXMETHOD_REQUEST,       OLESTR("Selects the Key")},
};
const TrxPropertyRow kProperties[] = {
    {OLESTR("ClassName"),     VT_BSTR, kTrxOwnClassName,        VT_BSTR,  TRXPROP_CONST,   OLESTR("property ClassName")},
    {OLESTR("UIName"),        VT_BSTR, OLESTR("DisplayName"),   VT_BSTR,  TRXPROP_HOST,    OLESTR("property UIName")},
    {OLESTR("IsRequired"),    VT_BOOL, OLESTR("IsRequired"),    VT_BOOL,  TRXPROP_HOST,    OLESTR("Returns TRUE if the control is a required field or FALSE if it is not")},
    {OLESTR("IsEnabled"),     VT_BOOL, OLESTR("IsReadOnly"),    VT_BOOL,  TRXPROP_NEGATED, OLESTR("Returns TRUE if the control is enabled or FALSE if it is grayed")},
    {OLESTR("Text"),          VT_BSTR, OLESTR("Value"),         VT_BSTR,  TRXPROP_HOST,    OLESTR("Returns the Data Value of the Control")},
    {OLESTR("Day"),           VT_I4,   OLESTR("Day"),           VT_I4,    TRXPROP_HOST,    OLESTR("Returns the Date")},
    {OLESTR("Month"),         VT_I4,   OLESTR("Month"),         VT_I4,    TRXPROP_HOST,    OLESTR("Returns the Month")},
    {OLESTR("Year"),          VT_I4,   OLESTR("Year"),          VT_I4,    TRXPROP_HOST,    OLESTR("Returns the Year")},
    {OLESTR("Time"),          VT_BSTR, OLESTR("Time"),          VT_BSTR,  TRXPROP_HOST,    OLESTR("Returns the Time")},
    {OLESTR("TimeZone"),      VT_BSTR, OLESTR("TimeZone"),      VT_BSTR,  TRXPROP_HOST,    OLESTR("Returns the TimeZoneCount")},
    {OLESTR("TimeZoneCount"), VT_I4,   OLESTR("TimeZoneNames"), VT_ARRAY, TRXPROP_COUNT,   OLESTR("Returns a Count of the Items in the TimeZone Field")},
    {OLESTR("IsOpen"),        VT_BOOL, OLESTR("IsPopupOpen"),   VT_BOOL,  TRXPROP_HOST,    OLESTR("Returns TRUE if the control is open or FALSE if it is not")},
    {OLESTR("CalendarType"),  VT_BSTR, OLESTR("CalendarType"),  VT_BSTR,  TRXPROP_HOST,    OLESTR("Returns TRUE if the control is open or FALSE if it is not")},
};

// The arrow keys by name and by the virtual-key code the client takes.
struct ArrowKey {
  const OLECHAR* name;
  LONG code;
};
const ArrowKey kArrowKeys[] = {
    {OLESTR("LeftArrow"),  37},
    {OLESTR("UpArrow"),    38},
    {OLESTR("RightArrow"), 39},
    {OLESTR("DownArrow"),  40},
};

// The client's "Type" of a calendar and the kind of calendar it is.
const struct {
  const OLECHAR* type;
  const OLECHAR* calendar;
} kCalendarTypes[] = {
    {OLESTR("date"),        OLESTR("Date")},
    {OLESTR("datetime"),    OLESTR("DateTime")},
    {OLESTR("utcdatetime"), OLESTR("DateTimeZone")},
};

// The selections whose recorded argument is a number, by request.
const struct {
  LONG requestId;
  const OLECHAR* name;
} kSelections[] = {
    {REQID_SELECTDAY,   OLESTR("REQID_SELECTDAY")},
    {REQID_SELECTMONTH, OLESTR("REQID_SELECTMONTH")},
    {REQID_SELECTYEAR,  OLESTR("REQID_SELECTYEAR")},
};
// clang-format on

}  // namespace

// clang-format off
const TrxOwnMethod<CNVTRXCalendar> CNVTRXCalendar::kOwnMethods[] = {
    {OLESTR("ProcessKey"), TRXMATCH_NOCASE, &CNVTRXCalendar::ProcessKey},
};
const TrxOwnProperty<CNVTRXCalendar> CNVTRXCalendar::kOwnProperties[] = {
    {OLESTR("CalendarType"), TRXMATCH_NOCASE, &CNVTRXCalendar::GetCalendarType},
};
// clang-format on

CNVTRXCalendar::CNVTRXCalendar(TrxStringView name, CNVTRXAutomation* parent) : CNVTRXControl(name, parent) {
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("CNVTRXCalendar Name=\"%s\""), name);
  m_strClassName = OLESTR("NorvCalendar");
  // The exchange date inside a currency's popup is a sub-control.
  if (!AttachToHostControl(name, OBJTYPE_SUBCONTROL, OLESTR("Exchange Date"))) return;
  AddPropertyRows(kProperties);
  AddMethodRows(kMethods);
}

TRXRESULT CNVTRXCalendar::HandleAutomationRequest(TrxStringView methodName, const VARIANT& arguments, VARIANT* result) {
  if (const auto* own = TrxFindRow<TrxOwnMethod<CNVTRXCalendar>>(kOwnMethods, methodName))
    return (this->*own->handler)(arguments, result);
  return CNVTRXControl::HandleAutomationRequest(methodName, arguments, result);
}

TRXRESULT CNVTRXCalendar::ProcessKey(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  const TrxVariant key = args.GetAt(0);
  if (key.vt == VT_BSTR)
    for (const ArrowKey& arrow : kArrowKeys)
      if (TrxBstrView(key.bstrVal) == arrow.name) {
        const CNVTRXRequestArgs code{TrxVariant::FromI4(arrow.code)};
        return NWEInvoke(m_spNWEAuto.Get(), REQID_ARROW_KEY, code, TRXHOSTREF_DROP, TRXTIMING_SET);
      }
  // "EnterKey" is the field's; any other key goes to the client as written.
  return CNVTRXControl::HandleAutomationRequest(OLESTR("ProcessKey"), arguments, result);
}

TRXRESULT CNVTRXCalendar::GetProperty(const VARIANT& name, VARIANT* value) {
  if (name.vt == VT_BSTR)
    if (const auto* own = TrxFindRow<TrxOwnProperty<CNVTRXCalendar>>(kOwnProperties, TrxBstrView(name.bstrVal)))
      return (this->*own->handler)(value);
  return CNVTRXControl::GetProperty(name, value);
}

TRXRESULT CNVTRXCalendar::GetCalendarType(VARIANT* value) {
  TrxVariant type;
  if (FAILED(ReadHostProperty(m_spNWEAuto.Get(), OLESTR("Type"), type)))
    return Warn(TRX_HOST_GETPROPERTY, OLESTR("Type"));
  TrxString calendar;
  for (const auto& entry : kCalendarTypes)
    if (TrxEqualsNoCase(TrxText(type), entry.type)) calendar = entry.calendar;
  if (value) TrxVariant::FromString(calendar).Detach(value);
  return TRX_OK;
}

TRXRESULT CNVTRXCalendar::ConvertNWEMethod(const VARIANT& first, LONG requestId, CNVTRXArray& hostArguments,
                                           TrxString& methodName, CNVTRXArray& arguments) {
  const LONG count = hostArguments.GetCount();
  for (const auto& selection : kSelections) {
    if (requestId != selection.requestId) continue;
    if (count < 1) return Fail(TRX_E_ARG_COUNT, count, selection.name, 1);
    if (TRXRESULT code = CNVTRXControl::ConvertNWEMethod(first, requestId, hostArguments, methodName, arguments))
      return code;
    arguments.SetAt(TrxVariant::FromI4(TrxLong(hostArguments.GetAt(0, 1))), 0, 0);
    return TRX_OK;
  }
  if (requestId == REQID_ARROW_KEY) {
    // A key the client reports that is no arrow would record a ProcessKey
    // nobody can play back: the conversion is refused instead.
    const TrxVariant reported = hostArguments.GetAt(0, 1);
    const LONG code = TrxLong(reported, -1);
    for (const ArrowKey& arrow : kArrowKeys)
      if (code == arrow.code) {
        methodName = OLESTR("ProcessKey");
        arguments.SetAt(arrow.name, 0, 0);
        return TRX_OK;
      }
    methodName.clear();
    return Fail(TRX_E_ARG_VALUE, OLESTR("ProcessKey"), OLESTR("Key"), TrxText(reported));
  }
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("Sending back to Base method ConvertNWEMethod"));
  return CNVTRXControl::ConvertNWEMethod(first, requestId, hostArguments, methodName, arguments);
}
