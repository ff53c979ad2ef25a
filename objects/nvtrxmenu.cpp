#include "objects/nvtrxmenu.h"

#include <mutex>

namespace {

// clang-format off
const TrxPropertyRow kProperties[] = {
    {OLESTR("ClassName"),      VT_BSTR, kTrxOwnClassName,      VT_BSTR, TRXPROP_CONST, OLESTR("property ClassName")},
    {OLESTR("RepositoryName"), VT_BSTR, kTrxOwnRepositoryName, VT_BSTR, TRXPROP_CONST, OLESTR("property RepositoryName")},
    {OLESTR("UIName"),         VT_BSTR, OLESTR("Menu"),        VT_BSTR, TRXPROP_CONST, OLESTR("property UIName")},
    {OLESTR("Count"),          VT_I4,   OLESTR("Count"),       VT_I4,   TRXPROP_HOST,  OLESTR("Returns menuitem count")},
    {OLESTR("HtmlId"),         VT_BSTR, OLESTR("HtmlID"),      VT_BSTR, TRXPROP_HOST,  OLESTR("Returns HTMLid for the Menu object")},
};
// clang-format on

// The path of the menu the user opened, waiting for the item they select.
std::mutex g_pendingLock;
TrxString g_pendingPath;

TrxString Replace(TrxStringView text, TrxStringView from, TrxStringView to) {
  TrxString out;
  for (size_t i = 0; i < text.size();) {
    if (text.substr(i, from.size()) == from) {
      out += to;
      i += from.size();
    } else {
      out.push_back(text[i++]);
    }
  }
  return out;
}

TrxString Trimmed(TrxStringView text) {
  const size_t first = text.find_first_not_of(OLESTR(" \t"));
  if (first == TrxStringView::npos) return TrxString();
  return TrxString(text.substr(first, text.find_last_not_of(OLESTR(" \t")) - first + 1));
}

}  // namespace

// clang-format off
const TrxOwnProperty<CNVTRXMenu> CNVTRXMenu::kOwnProperties[] = {
    {OLESTR("Count"), TRXMATCH_NOCASE, &CNVTRXMenu::GetCount},
};
const TrxOwnMethod<CNVTRXMenu> CNVTRXMenu::kOwnMethods[] = {
    {OLESTR("Select"),                   TRXMATCH_EXACT, &CNVTRXMenu::Select},
    {OLESTR("IsEnabled"),                TRXMATCH_EXACT, &CNVTRXMenu::IsEnabled},
    {OLESTR("GetRepositoryName"),        TRXMATCH_EXACT, &CNVTRXMenu::GetRepositoryName},
    {OLESTR("GetUIName"),                TRXMATCH_EXACT, &CNVTRXMenu::GetUIName},
    {OLESTR("GetRepositoryNameByIndex"), TRXMATCH_EXACT, &CNVTRXMenu::GetRepositoryNameByIndex},
    {OLESTR("IsExists"),                 TRXMATCH_EXACT, &CNVTRXMenu::IsExists},
};
// clang-format on

CNVTRXMenu::CNVTRXMenu(TrxStringView name, CNVTRXAutomation* parent) : CNVTRXAutomation(name, parent) {
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("CNVTRXMenu Name=\"%s\""), name);
  m_strClassName = OLESTR("NorvMenu");
  if (!parent || FAILED(HostChild(parent->GetNWEAuto(), OBJTYPE_MENU, name, m_spNWEAuto))) {
    TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("m_pParent->GetChild failed for class %s."), m_strClassName);
    Fail(TRX_E_CREATE_OBJECT, name, m_strClassName);
    return;
  }
  AddPropertyRows(kProperties);
}

TRXRESULT CNVTRXMenu::Items(const OLECHAR* property, std::vector<TrxString>& items) {
  TrxVariant value;
  if (FAILED(ReadHostProperty(m_spNWEAuto.Get(), property, value))) return Warn(TRX_HOST_GETPROPERTY, property);
  items = TrxStringList(value);
  return TRX_OK;
}

TRXRESULT CNVTRXMenu::GetProperty(const VARIANT& name, VARIANT* value) {
  if (name.vt == VT_BSTR)
    if (const auto* own = TrxFindRow<TrxOwnProperty<CNVTRXMenu>>(kOwnProperties, TrxBstrView(name.bstrVal)))
      return (this->*own->handler)(value);
  return CNVTRXAutomation::GetProperty(name, value);
}

TRXRESULT CNVTRXMenu::GetCount(VARIANT* value) {
  std::vector<TrxString> names;
  if (TRXRESULT code = Items(OLESTR("MenuItemNames"), names)) return code;
  if (value) TrxVariant::FromI4(static_cast<LONG>(names.size())).Detach(value);
  return TRX_OK;
}

TRXRESULT CNVTRXMenu::GetData(VARIANT* value) {
  TrxVariant names;
  if (TRXRESULT code = ReadHost(m_spNWEAuto.Get(), OLESTR("MenuItemNames"), names)) return code;
  if (value) {
    VariantClear(value);
    TrxGrid({TrxStringList(names)}).Detach(value);
  }
  return TRX_OK;
}

TRXRESULT CNVTRXMenu::HandleAutomationRequest(TrxStringView methodName, const VARIANT& arguments, VARIANT* result) {
  if (const auto* own = TrxFindRow<TrxOwnMethod<CNVTRXMenu>>(kOwnMethods, methodName))
    return (this->*own->handler)(arguments, result);
  return CNVTRXAutomation::HandleAutomationRequest(methodName, arguments, result);
}

TRXRESULT CNVTRXMenu::Select(const VARIANT& arguments, VARIANT*) {
  CNVTRXArray args(&arguments);
  const TrxString given = TrxText(args.GetAt(0));
  const TrxString path = Replace(Replace(given, OLESTR("("), OLESTR("")), OLESTR(")"), OLESTR(""));
  if (path.find('\\', 1) == TrxString::npos) {
    const CNVTRXRequestArgs open{TrxVariant::FromString(OLESTR("Menu")), TrxVariant::FromString(OLESTR("Applet"))};
    NWEInvoke(m_spNWEAuto.Get(), REQID_OPENMENU, open, TRXHOSTREF_KEEP, TRXTIMING_SET);
    const CNVTRXRequestArgs item{TrxVariant::FromString(given)};
    return NWEInvoke(m_spNWEAuto.Get(), REQID_SELECTMENUITEM, item, TRXHOSTREF_DROP, TRXTIMING_SET);
  }
  std::vector<TrxString> levels;
  const TrxString single = Replace(path, OLESTR("\\\\"), OLESTR("\\"));
  for (size_t start = 0;;) {
    const size_t end = single.find('\\', start);
    levels.emplace_back(single.substr(start, end == TrxString::npos ? TrxString::npos : end - start));
    if (end == TrxString::npos) break;
    start = end + 1;
  }
  const OLECHAR* bar = TrxEqualsNoCase(levels[0], OLESTR("Reports")) ? OLESTR("Reports") : OLESTR("Application");
  TrxString opened;
  for (size_t k = 0; k + 1 < levels.size(); ++k) {
    opened += (k ? OLESTR("\\") : OLESTR("")) + levels[k];
    const CNVTRXRequestArgs open{TrxVariant::FromString(opened), TrxVariant::FromString(bar)};
    NWEInvoke(m_spNWEAuto.Get(), REQID_OPENMENU, open, TRXHOSTREF_KEEP, TRXTIMING_SET);
  }
  const CNVTRXRequestArgs item{TrxVariant::FromString(levels.back())};
  return NWEInvoke(m_spNWEAuto.Get(), REQID_SELECTMENUITEM, item, TRXHOSTREF_DROP, TRXTIMING_SET);
}

TRXRESULT CNVTRXMenu::IsEnabled(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  const TrxString item = Replace(Trimmed(TrxText(args.GetAt(0))), OLESTR("\\\\"), OLESTR("\\"));
  std::vector<TrxString> names, states;
  if (TRXRESULT code = Items(OLESTR("MenuItemNames"), names)) return code;
  if (TRXRESULT code = Items(OLESTR("MenuItemStates"), states)) return code;
  LONG at = -1;
  for (size_t i = 0; i < names.size() && at < 0; ++i)
    if (Trimmed(names[i]) == item) at = static_cast<LONG>(i);
  TrxString state;
  if (!TrxListItem(states, at, state)) return Warn(TRX_E_ARG_VALUE, OLESTR("IsEnabled"), OLESTR("MenuItem"), item);
  if (result) TrxVariant::FromString(state).Detach(result);
  return TRX_OK;
}

TRXRESULT CNVTRXMenu::GetRepositoryName(const VARIANT& arguments, VARIANT* result) {
  return TranslateName(arguments, result, true);
}

TRXRESULT CNVTRXMenu::GetUIName(const VARIANT& arguments, VARIANT* result) {
  return TranslateName(arguments, result, false);
}

// A display name to its item name (`toRepository`) or the other way, by
// position in the two parallel host lists.
TRXRESULT CNVTRXMenu::TranslateName(const VARIANT& arguments, VARIANT* result, bool toRepository) {
  CNVTRXArray args(&arguments);
  const TrxString given = TrxText(args.GetAt(0));
  std::vector<TrxString> names, displayNames;
  if (TRXRESULT code = Items(OLESTR("MenuItemNames"), names)) return code;
  if (TRXRESULT code = Items(OLESTR("MenuItemDisplayNames"), displayNames)) return code;
  const std::vector<TrxString>& from = toRepository ? displayNames : names;
  const std::vector<TrxString>& to = toRepository ? names : displayNames;
  TrxString found;
  if (!TrxListItem(to, TrxFindItem(from, given), found))
    return Warn(TRX_E_ARG_VALUE, toRepository ? OLESTR("GetRepositoryName") : OLESTR("GetUIName"),
                toRepository ? OLESTR("MenuItemUIName") : OLESTR("MenuItemRepName"), given);
  if (result) TrxVariant::FromString(found).Detach(result);
  return TRX_OK;
}

TRXRESULT CNVTRXMenu::GetRepositoryNameByIndex(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  const LONG index = TrxLong(args.GetAt(0));
  std::vector<TrxString> names;
  if (TRXRESULT code = Items(OLESTR("MenuItemNames"), names)) return code;
  TrxString name;
  if (!TrxListItem(names, index, name))
    return Warn(TRX_E_ARG_VALUE, OLESTR("GetRepositoryNameByIndex"), OLESTR("MenuIndex"), TrxDecimal(index));
  if (result) TrxVariant::FromString(Replace(name, OLESTR("\\"), OLESTR("\\\\"))).Detach(result);
  return TRX_OK;
}

TRXRESULT CNVTRXMenu::IsExists(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  const TrxString item = Replace(TrxText(args.GetAt(0)), OLESTR("\\\\"), OLESTR("\\"));
  std::vector<TrxString> names;
  if (TRXRESULT code = Items(OLESTR("MenuItemNames"), names)) return code;
  if (result) TrxVariant::FromBool(TrxFindItem(names, item) >= 0).Detach(result);
  return TRX_OK;
}

TRXRESULT CNVTRXMenu::ConvertNWEMethod(const VARIANT& first, LONG requestId, CNVTRXArray& hostArguments,
                                       TrxString& methodName, CNVTRXArray& arguments) {
  std::lock_guard<std::mutex> hold(g_pendingLock);
  if (requestId == REQID_OPENMENU) {
    // The user opened a menu: the item they pick next completes the path.
    g_pendingPath = TrxText(hostArguments.GetAt(0, 1)) == OLESTR("Applet") ? TrxString()
                                                                            : TrxText(hostArguments.GetAt(1, 1));
    methodName.clear();
    return TRX_OK;
  }
  if (requestId != REQID_SELECTMENUITEM) {
    TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("Sending back to Base method ConvertNWEMethod"));
    return CNVTRXAutomation::ConvertNWEMethod(first, requestId, hostArguments, methodName, arguments);
  }
  const LONG count = hostArguments.GetCount();
  if (count < 1) return Fail(TRX_E_ARG_COUNT, count, OLESTR("REQID_SELECTMENUITEM"), 1);
  methodName = OLESTR("Select");
  const TrxString item = TrxText(hostArguments.GetAt(0, 1));
  arguments.SetAt(g_pendingPath.empty()
                      ? item
                      : Replace(g_pendingPath, OLESTR("\\"), OLESTR("\\\\")) + OLESTR("\\\\") + item,
                  0);
  return TRX_OK;
}
