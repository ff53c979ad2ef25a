#include "objects/nvtrxaccelerators.h"

#include "log/nvtrxassert.h"
#include "objects/nvtrxapplication.h"

namespace {

// Key names of the accelerator text and their virtual-key codes.
struct KeyName {
  const OLECHAR* name;
  LONG code;
};
// clang-format off
const KeyName kKeys[] = {
    {OLESTR("F9"), 120},     {OLESTR("F8"), 119},       {OLESTR("F2"), 113},   {OLESTR("Enter"), 13},
    {OLESTR("Esc"), 27},     {OLESTR("PageUp"), 33},    {OLESTR("PageDown"), 34}, {OLESTR("End"), 35},
    {OLESTR("Home"), 36},    {OLESTR("Left"), 37},      {OLESTR("Up"), 38},    {OLESTR("Right"), 39},
    {OLESTR("Down"), 40},
};
// clang-format on
constexpr LONG kKeyF2 = 113;
constexpr LONG kKeyTab = 9;
const OLECHAR kMethod[] = OLESTR("ProcessKeyboardAccelerator");
const OLECHAR kTabNotSupported[] = OLESTR("Norvik Automation doesn't support 'Tab' keyboard accelerator.");

// Splits at `separator`; with `dropEmpty`, empty parts are left out.
std::vector<TrxString> Split(TrxStringView text, OLECHAR separator, bool dropEmpty) {
  std::vector<TrxString> parts;
  size_t start = 0;
  for (;;) {
    const size_t end = text.find(separator, start);
    const TrxStringView part = text.substr(start, end == TrxStringView::npos ? TrxStringView::npos : end - start);
    if (!dropEmpty || !part.empty()) parts.emplace_back(part);
    if (end == TrxStringView::npos) return parts;
    start = end + 1;
  }
}

}  // namespace

TRXRESULT CNVTRXAccelerators::Play(const VARIANT& arguments) {
  const bool isArray = (arguments.vt & VT_ARRAY) != 0 || (arguments.vt == (VT_BYREF | VT_VARIANT) &&
                                                          arguments.pvarVal && (arguments.pvarVal->vt & VT_ARRAY));
  TRX_ASSERT(isArray, "ProcessKeyboardAccelerator expects its arguments as an array");
  CNVTRXArray args(&arguments);
  LONG keyCode = 0;
  bool shift = false, ctrl = false, alt = false;
  for (const TrxString& part : Split(TrxText(args.GetAt(0)), '+', true)) {
    if (TrxEqualsNoCase(part, OLESTR("Shift"))) {
      shift = true;
    } else if (TrxEqualsNoCase(part, OLESTR("Ctrl"))) {
      ctrl = true;
    } else if (TrxEqualsNoCase(part, OLESTR("Alt"))) {
      alt = true;
    } else if (TrxEqualsNoCase(part, OLESTR("Tab"))) {
      return TrxWarn(TRX_E_ARG_VALUE, kMethod, OLESTR("AccelKeys"), kTabNotSupported);
    } else {
      const KeyName* named = nullptr;
      for (const KeyName& key : kKeys)
        if (!named && TrxEqualsNoCase(part, key.name)) named = &key;
      keyCode = named ? named->code : VkKeyScanW(static_cast<WCHAR>(part[0])) & 0xFF;
      if (named && keyCode == kKeyF2)
        if (const TRXRESULT code = FocusForF2(args); code != TRX_OK) return code;
    }
  }
  const CNVTRXRequestArgs request{TrxVariant::FromI4(keyCode), TrxVariant::FromBool(shift), TrxVariant::FromBool(ctrl),
                                  TrxVariant::FromBool(alt)};
  return m_app.NWEInvoke(m_app.GetNWEAuto(), REQID_PROCESSACCELERATOR, request, TRXHOSTREF_KEEP, TRXTIMING_SET);
}

TRXRESULT CNVTRXAccelerators::FocusForF2(CNVTRXArray& args) {
  const TrxVariant pathValue = args.GetCount() > 1 ? args.GetAt(1) : TrxVariant();
  const TrxString path = TrxText(pathValue);
  const std::vector<TrxString> parts = Split(path, '.', false);
  if (pathValue.vt == VT_EMPTY || parts.size() < 2 || parts[0].empty() || parts[1].empty())
    return TrxWarn(TRX_E_ARG_VALUE, kMethod, OLESTR("AccelKeys"), path);
  const bool inList = parts.size() > 2 && !parts[2].empty();
  TrxComPtr<INVAutomation> view, applet, control, list, column;
  if (TRXRESULT code = m_app.GetHostChild(m_app.GetNWEAuto(), OBJTYPE_VIEW, OLESTR(""), view, OLESTR("OBJTYPE_VIEW")))
    return code;
  if (TRXRESULT code = m_app.GetHostChild(view.Get(), OBJTYPE_APPLET, parts[0], applet, parts[0])) return code;
  if (!inList) {
    if (TRXRESULT code = m_app.GetHostChild(applet.Get(), OBJTYPE_CONTROL, parts[1], control,
                                            OLESTR("OBJTYPE_CONTROL , ") + parts[1]))
      return code;
    const CNVTRXRequestArgs request{TrxVariant::FromString(parts[1])};
    return m_app.NWEInvoke(control.Get(), REQID_SETFOCUS, request, TRXHOSTREF_KEEP, TRXTIMING_SET);
  }
  if (TRXRESULT code = m_app.GetHostChild(applet.Get(), OBJTYPE_LISTCONTROL, parts[1], list,
                                          OLESTR("OBJTYPE_LISTCONTROL , ") + parts[1]))
    return code;
  TrxVariant activeRow;
  if (TRXRESULT code = m_app.ReadHost(list.Get(), OLESTR("ActiveRow"), activeRow)) return code;
  // A cell is named as the list names it everywhere: row, then column.
  const CNVTRXRequestArgs cell{activeRow, TrxVariant::FromString(parts[2])};
  if (TRXRESULT code = m_app.NWEInvoke(list.Get(), REQID_SETCELLFOCUS, cell, TRXHOSTREF_KEEP, TRXTIMING_SET))
    return code;
  if (TRXRESULT code = m_app.GetHostChild(list.Get(), OBJTYPE_CONTROL, parts[2], column, parts[2])) return code;
  TrxVariant empty;
  return m_app.NWEInvoke(column.Get(), REQID_SETFOCUS, &empty, TRXHOSTREF_KEEP, TRXTIMING_SET);
}

TRXRESULT CNVTRXAccelerators::F2FocusPath(TrxString& path) {
  TrxComPtr<INVAutomation> view, applet, list;
  TrxVariant appletName, columns, listName, controlNames, control;
  if (TRXRESULT code = m_app.GetHostChild(m_app.GetNWEAuto(), OBJTYPE_VIEW, OLESTR(""), view, OLESTR("OBJTYPE_VIEW")))
    return code;
  if (TRXRESULT code = m_app.ReadHost(view.Get(), OLESTR("ActiveAppletName"), appletName)) return code;
  const TrxString appletText = TrxText(appletName);
  if (TRXRESULT code = m_app.GetHostChild(view.Get(), OBJTYPE_APPLET, appletText, applet, OLESTR("OBJTYPE_APPLET")))
    return code;
  path = appletText + OLESTR(".");
  if (SUCCEEDED(CNVTRXApplication::HostChild(applet.Get(), OBJTYPE_LISTCONTROL, OLESTR("NorvList"), list)) &&
      SUCCEEDED(CNVTRXAutomation::ReadHostProperty(list.Get(), OLESTR("ListColumnCount"), columns)) &&
      columns.vt != VT_EMPTY && TrxParseLong(TrxText(columns)) != 0) {
    if (TRXRESULT code = m_app.ReadHost(list.Get(), OLESTR("Name"), listName)) return code;
    path += TrxText(listName) + OLESTR(".");
    if (FAILED(list->GetChildNames(OBJTYPE_CONTROL, &controlNames)))
      return m_app.Fail(TRX_HOST_GETCHILDNAMES, OLESTR("OBJTYPE_CONTROL"));
    path += (controlNames.vt & VT_ARRAY) ? TrxText(CNVTRXArray(&controlNames).GetAt(0)) : TrxText(controlNames);
    return TRX_OK;
  }
  if (TRXRESULT code = m_app.ReadHost(applet.Get(), OLESTR("ActiveControlName"), control)) return code;
  path += TrxText(control);
  return TRX_OK;
}

TRXRESULT CNVTRXAccelerators::Convert(CNVTRXArray& hostArguments, TrxString& methodName, CNVTRXArray& arguments) {
  CNVTRXLogFunction scope(__FILE__, __LINE__, "CNVTRXApplication::ConvertNWEMethod");
  methodName = kMethod;
  const LONG keyCode = TrxLong(hostArguments.GetAt(0, 1));
  TrxString keys;
  if (TrxBool(hostArguments.GetAt(1, 1))) keys += OLESTR("Shift+");
  if (TrxBool(hostArguments.GetAt(2, 1))) keys += OLESTR("Ctrl+");
  if (TrxBool(hostArguments.GetAt(3, 1))) keys += OLESTR("Alt+");
  if (keyCode == kKeyTab) {
    methodName.clear();
    return TrxFail(TRX_E_ARG_VALUE, kMethod, OLESTR("AccelKeys"), kTabNotSupported);
  }
  const OLECHAR* keyName = nullptr;
  for (const KeyName& key : kKeys)
    if (key.code == keyCode) keyName = key.name;
  if (keyName) {
    keys += keyName;
  } else {
    const UINT character = MapVirtualKeyW(static_cast<UINT>(keyCode), MAPVK_VK_TO_CHAR);
    if (character == 0) {
      // A key with neither a name here nor a character (F5, Insert ...)
      // cannot be written as accelerator text; a NUL in the text would
      // record something that cannot be played back.
      methodName.clear();
      return TrxFail(TRX_E_ARG_VALUE, kMethod, OLESTR("AccelKeys"), TrxDecimal(keyCode));
    }
    keys.push_back(static_cast<OLECHAR>(character));
  }
  TrxString focusPath;
  if (keyCode == kKeyF2)
    if (const TRXRESULT code = F2FocusPath(focusPath); code != TRX_OK) return code;
  arguments.SetAt(keys, 0);
  if (!focusPath.empty()) arguments.SetAt(focusPath, 1);
  return TRX_OK;
}
