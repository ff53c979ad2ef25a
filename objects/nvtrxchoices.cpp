#include "objects/nvtrxchoices.h"

// clang-format off
const TrxOwnMethod<CNVTRXChoices> CNVTRXChoices::kOwnMethods[] = {
    {OLESTR("Select"),         TRXMATCH_EXACT, &CNVTRXChoices::Select},
    {OLESTR("GetItemByIndex"), TRXMATCH_EXACT, &CNVTRXChoices::GetItemByIndex},
    {OLESTR("IsExists"),       TRXMATCH_EXACT, &CNVTRXChoices::IsExists},
};
// clang-format on

CNVTRXChoices::CNVTRXChoices(TrxStringView name, CNVTRXAutomation* parent, const OLECHAR* className,
                             const OLECHAR* choices)
    : CNVTRXControl(name, parent), m_choices(choices) {
  m_strClassName = className;
  if (!AttachToHostControl(name)) return;
  // clang-format off
  const TrxPropertyRow rows[] = {
      {OLESTR("Count"),      VT_I4,   choices,         VT_ARRAY, TRXPROP_COUNT, OLESTR("Returns a Count of the Items in the PickList")},
      {OLESTR("ActiveItem"), VT_BSTR, OLESTR("Value"), VT_BSTR,  TRXPROP_HOST,  OLESTR("Returns the currently selected item in the PickList")},
  };
  const TrxMethodRow methods[] = {
      {OLESTR("Select"), VT_BSTR, REQID_SELECTLOVITEM, VT_BSTR, TRXMETHOD_FOCUS_WRAPPED, OLESTR("Selects the specified LOV value in the control")},
  };
  // clang-format on
  AddStandardRows();
  AddPropertyRows(rows);
  AddMethodRows(methods);
}

TRXRESULT CNVTRXChoices::HandleAutomationRequest(TrxStringView methodName, const VARIANT& arguments,
                                                 VARIANT* result) {
  if (const auto* own = TrxFindRow<TrxOwnMethod<CNVTRXChoices>>(kOwnMethods, methodName))
    return (this->*own->handler)(arguments, result);
  return CNVTRXControl::HandleAutomationRequest(methodName, arguments, result);
}

TRXRESULT CNVTRXChoices::Select(const VARIANT& arguments, VARIANT*) {
  CNVTRXArray args(&arguments);
  const TrxString item = TrxText(args.GetAt(0));
  const TRXRESULT focus = SetFocusFirst();
  std::vector<TrxString> items;
  if (TRXRESULT code = ReadList(m_choices, items, false)) return code;
  // An item not in the list is typed into the field.
  const LONG request = TrxFindItem(items, item) >= 0 ? REQID_SELECTLOVITEM : REQID_SETVALUE;
  const CNVTRXRequestArgs value{TrxVariant::FromString(item)};
  const TRXRESULT set = NWEInvoke(m_spNWEAuto.Get(), request, value, TRXHOSTREF_KEEP, TRXTIMING_SET);
  return ClearFocusAfter(focus, set);
}

TRXRESULT CNVTRXChoices::GetItemByIndex(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  const LONG index = TrxLong(args.GetAt(0));
  const TRXRESULT focus = SetFocusFirst();
  std::vector<TrxString> items;
  if (TRXRESULT code = ReadList(m_choices, items, true)) return code;
  TrxString item;
  if (!TrxListItem(items, index, item))
    return Warn(TRX_E_ARG_VALUE, OLESTR("GetItemByIndex"), OLESTR("Index"), TrxDecimal(index));
  if (result) TrxVariant::FromString(item).Detach(result);
  return focus;
}

TRXRESULT CNVTRXChoices::IsExists(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  const TRXRESULT focus = SetFocusFirst();
  std::vector<TrxString> items;
  if (TRXRESULT code = ReadList(m_choices, items, true)) return code;
  if (result) TrxVariant::FromBool(TrxFindItem(items, TrxText(args.GetAt(0))) >= 0).Detach(result);
  return focus;
}

TRXRESULT CNVTRXChoices::GetData(VARIANT* value) {
  std::vector<TrxString> items;
  if (TRXRESULT code = ReadList(m_choices, items, true)) return code;
  // One column of items; no items is a grid of no rows, not a failure.
  if (value) {
    VariantClear(value);
    TrxGrid({items}).Detach(value);
  }
  return TRX_OK;
}
