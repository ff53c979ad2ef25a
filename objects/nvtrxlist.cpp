#include "objects/nvtrxlist.h"

#include <algorithm>

#include "log/nvtrxassert.h"
#include "objects/nvtrxapplication.h"
#include "objects/nvtrxclasses.h"

namespace {

// clang-format off
const TrxMethodRow kMethods[] = {
    {OLESTR("NextRowSet"),      VT_EMPTY,               REQID_NEXTROWSET,         VT_EMPTY,               TRXMETHOD_REQUEST,  OLESTR("Navigates to the next row set")},
    {OLESTR("PreviousRowSet"),  VT_EMPTY,               REQID_PREVROWSET,         VT_EMPTY,               TRXMETHOD_REQUEST,  OLESTR("Navigates to the previous row set")},
    {OLESTR("NextRow"),         VT_EMPTY,               REQID_NEXTROW,            VT_EMPTY,               TRXMETHOD_REQUEST,  OLESTR("Navigates to the next row")},
    {OLESTR("PreviousRow"),     VT_EMPTY,               REQID_PREVROW,            VT_EMPTY,               TRXMETHOD_REQUEST,  OLESTR("Navigates to the previous row")},
    {OLESTR("ActivateRow"),     VT_I4,                  REQID_SETROWFOCUS,        VT_I4,                  TRXMETHOD_REQUEST,  OLESTR("Activates the specified row")},
    {OLESTR("DrillDownColumn"), VT_ARRAY | VT_VARIANT,  REQID_DRILLDOWNCOL,       VT_ARRAY | VT_VARIANT,  TRXMETHOD_REQUEST,  OLESTR("Drilldown the specified column name and row number")},
    {OLESTR("GetCellText"),     VT_ARRAY | VT_VARIANT,  0,                        VT_ARRAY | VT_VARIANT,  TRXMETHOD_PROPERTY, OLESTR("Returns the CellText for the specified column and row number"), OLESTR("CellValue")},
    {OLESTR("AscendSort"),      VT_ARRAY | VT_VARIANT,  REQID_SORTCOLUMN,         VT_ARRAY | VT_VARIANT,  TRXMETHOD_REQUEST,  OLESTR("Sorts the specified column in Ascending order")},
    {OLESTR("DescendSort"),     VT_ARRAY | VT_VARIANT,  REQID_SORTCOLUMN,         VT_ARRAY | VT_VARIANT,  TRXMETHOD_REQUEST,  OLESTR("Sorts the specified column in Descending order")},
    {OLESTR("SelectRow"),       VT_ARRAY | VT_VARIANT,  REQID_SELECTROW,          VT_ARRAY | VT_VARIANT,  TRXMETHOD_REQUEST,  OLESTR("Drilldown the specified column name and row number")},
    {OLESTR("ClickHier"),       VT_EMPTY,               REQID_CLICKHIERARCHYNODE, VT_EMPTY,               TRXMETHOD_REQUEST,  OLESTR("Drilldown the active row hierachy node in the list applet")},
    {OLESTR("DoubleClick"),     VT_I4,                  REQID_DOUBLE_CLICK,       VT_I4,                  TRXMETHOD_REQUEST,  OLESTR("")},
};
const TrxPropertyRow kProperties[] = {
    {OLESTR("ClassName"),      VT_BSTR, kTrxOwnClassName,        VT_BSTR, TRXPROP_CONST,    OLESTR("property ClassName")},
    {OLESTR("RepositoryName"), VT_BSTR, OLESTR("NorvList"),      VT_BSTR, TRXPROP_CONST,    OLESTR("property RepositoryName")},
    {OLESTR("UIName"),         VT_BSTR, OLESTR("List"),          VT_BSTR, TRXPROP_CONST,    OLESTR("property UIName")},
    {OLESTR("RowsCount"),      VT_BSTR, OLESTR("NumRecords"),    VT_BSTR, TRXPROP_HOST,     OLESTR("Returns visible rows count")},
    {OLESTR("ColumnsCount"),   VT_BSTR, OLESTR("ListColumnCount"), VT_BSTR, TRXPROP_HOST,   OLESTR("Returns columns count")},
    {OLESTR("ActiveRow"),      VT_BSTR, OLESTR("ActiveRow"),     VT_BSTR, TRXPROP_HOST,     OLESTR("Returns Active row number")},
    {OLESTR("SelectedRows"),   VT_BSTR, OLESTR("SelectedRows"),  VT_BSTR, TRXPROP_OVERLOAD, OLESTR("Returns selected row numbers with pipe delimiter if more than one")},
    {OLESTR("HtmlId"),         VT_BSTR, OLESTR("HtmlID"),        VT_BSTR, TRXPROP_HOST,     OLESTR("Returns HTMLid for the list control")},
};

// A column's UI type (and a cell control's "Type") and the class of its cells.
struct ColumnType {
  const OLECHAR* type;
  const OLECHAR* className;
};
const ColumnType kColumnTypes[] = {
    {OLESTR("text"),        OLESTR("NorvText")},
    {OLESTR("picklist"),    OLESTR("NorvText")},
    {OLESTR("mvg"),         OLESTR("NorvText")},
    {OLESTR("password"),    OLESTR("NorvText")},
    {OLESTR("textarea"),    OLESTR("NorvTextArea")},
    {OLESTR("rtcembedded"), OLESTR("NorvRichText")},
    {OLESTR("checkbox"),    OLESTR("NorvCheckbox")},
    {OLESTR("combo"),       OLESTR("NorvPicklist")},
    {OLESTR("select"),      OLESTR("NorvPicklist")},
    {OLESTR("currency"),    OLESTR("NorvCurrency")},
    {OLESTR("number"),      OLESTR("NorvCalculator")},
    {OLESTR("date"),        OLESTR("NorvCalendar")},
    {OLESTR("datetime"),    OLESTR("NorvCalendar")},
    {OLESTR("utcdatetime"), OLESTR("NorvCalendar")},
};

const TrxChildClass kChildClasses[] = {
    {OLESTR("NorvText"),       OLESTR("NorvText")},
    {OLESTR("NorvTextArea"),   OLESTR("NorvTextArea")},
    {OLESTR("NorvCheckbox"),   OLESTR("NorvCheckbox")},
    {OLESTR("NorvPicklist"),   OLESTR("NorvPicklist")},
    {OLESTR("NorvCalculator"), OLESTR("NorvCalculator")},
    {OLESTR("NorvCalendar"),   OLESTR("NorvCalendar")},
    {OLESTR("NorvCurrency"),   OLESTR("NorvCurrency")},
    {OLESTR("NorvRichText"),   OLESTR("NorvRichText")},
};

// Where a recorded double click landed: the method it replays as, and
// whether the row and the column are its arguments.
struct ClickArea {
  const OLECHAR* area;
  const OLECHAR* method;
  bool row;
  bool column;
};
const ClickArea kClickAreas[] = {
    {OLESTR("H_COLHEAD"), OLESTR("ToggleFrozenColumns"), false, true},
    {OLESTR("H_CHEVRON"), OLESTR("DoubleClick"),         true,  false},
    {OLESTR("GENCTRL"),   OLESTR("DoubleClick"),         true,  true},
};
// clang-format on

const OLECHAR kCellControl[] = OLESTR("ListCellControl");
const OLECHAR kFocusFailed[] = OLESTR("TRX_NOTIFIER_ERROR: Call to NWEInvoke for SetCellFocus on the Ctrl Failed");

// A cell of a two-dimensional host array; empty when the array has no such cell.
TrxVariant HostCell(SAFEARRAY* array, LONG row, LONG column) {
  TrxVariant cell;
  LONG lower[2] = {0, 0}, upper[2] = {-1, -1};
  for (UINT d = 0; d < 2; ++d) {
    if (FAILED(SafeArrayGetLBound(array, d + 1, &lower[d])) || FAILED(SafeArrayGetUBound(array, d + 1, &upper[d])))
      return cell;
  }
  LONG indices[2] = {lower[0] + row, lower[1] + column};
  if (indices[0] > upper[0] || indices[1] > upper[1]) return cell;
  if (FAILED(SafeArrayGetElement(array, indices, &cell))) cell.Clear();
  return cell;
}

}  // namespace

// clang-format off
const TrxOwnProperty<CNVTRXList> CNVTRXList::kOwnProperties[] = {
    {OLESTR("SelectedRows"), TRXMATCH_NOCASE, &CNVTRXList::GetSelectedRows},
};
const TrxOwnMethod<CNVTRXList> CNVTRXList::kOwnMethods[] = {
    {OLESTR("AscendSort"),                     TRXMATCH_NOCASE, &CNVTRXList::AscendSort},
    {OLESTR("DescendSort"),                    TRXMATCH_NOCASE, &CNVTRXList::DescendSort},
    {OLESTR("SelectRow"),                      TRXMATCH_NOCASE, &CNVTRXList::SelectRow},
    {OLESTR("LastRowSet"),                     TRXMATCH_NOCASE, &CNVTRXList::LastRowSet},
    {OLESTR("FirstRowSet"),                    TRXMATCH_NOCASE, &CNVTRXList::FirstRowSet},
    {OLESTR("GetColumnRepositoryName"),        TRXMATCH_NOCASE, &CNVTRXList::GetColumnRepositoryName},
    {OLESTR("GetColumnUIName"),                TRXMATCH_NOCASE, &CNVTRXList::GetColumnUIName},
    {OLESTR("GetColumnRepositoryNameByIndex"), TRXMATCH_NOCASE, &CNVTRXList::GetColumnRepositoryNameByIndex},
    {OLESTR("IsColumnExists"),                 TRXMATCH_NOCASE, &CNVTRXList::IsColumnExists},
    {OLESTR("IsColumnDrillDown"),              TRXMATCH_NOCASE, &CNVTRXList::IsColumnDrillDown},
    {OLESTR("IsRowExpanded"),                  TRXMATCH_NOCASE, &CNVTRXList::IsRowExpanded},
    {OLESTR("GetCellText"),                    TRXMATCH_NOCASE, &CNVTRXList::GetCellText},
    {OLESTR("GetTotalsValue"),                 TRXMATCH_NOCASE, &CNVTRXList::GetTotalsValue},
    {OLESTR("GetColumnSort"),                  TRXMATCH_NOCASE, &CNVTRXList::GetColumnSort},
    {OLESTR("DrillDownColumn"),                TRXMATCH_NOCASE, &CNVTRXList::DrillDownColumn},
    {OLESTR("DoubleClick"),                    TRXMATCH_NOCASE, &CNVTRXList::DoubleClick},
    {OLESTR("ToggleFrozenColumns"),            TRXMATCH_NOCASE, &CNVTRXList::ToggleFrozenColumns},
    {OLESTR("GetColumnType"),                  TRXMATCH_NOCASE, &CNVTRXList::GetColumnType},
    {OLESTR("SetActiveControl"),               TRXMATCH_NOCASE, &CNVTRXList::SetActiveControl},
    {OLESTR("GetActiveControlName"),           TRXMATCH_NOCASE, &CNVTRXList::GetActiveControlName},
};
// clang-format on

const OLECHAR* CNVTRXList::ColumnClass(TrxStringView uiType, bool noCase) {
  for (const ColumnType& entry : kColumnTypes)
    if (noCase ? TrxEqualsNoCase(uiType, entry.type) : uiType == entry.type) return entry.className;
  return OLESTR("");
}

CNVTRXList::CNVTRXList(TrxStringView name, CNVTRXAutomation* parent) : CNVTRXAutomation(name, parent) {
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("CNVTRXList Name=\"%s\""), name);
  m_strClassName = OLESTR("NorvList");
  if (!parent || FAILED(HostChild(parent->GetNWEAuto(), OBJTYPE_LISTCONTROL, OLESTR("NorvList"), m_spNWEAuto))) {
    TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("m_pParent->GetChild failed for class %s."), m_strClassName);
    Fail(TRX_E_CREATE_OBJECT, name, m_strClassName);
    return;
  }
  AddMethodRows(kMethods);
  AddPropertyRows(kProperties);
}

// ---- host reads ----------------------------------------------------------------------

LONG CNVTRXList::GetColumnIndex(TrxStringView column) {
  TrxVariant names;
  if (FAILED(ReadHostProperty(m_spNWEAuto.Get(), OLESTR("ListColNames"), names))) {
    Fail(TRX_HOST_GETPROPERTY, OLESTR("ListColNames"));
    return -1;
  }
  return TrxFindItem(TrxStringList(names), column);
}

HRESULT CNVTRXList::ReadAux(TrxStringView property, const VARIANT& aux, SHORT count, TrxVariant& value) {
  if (!m_spNWEAuto) return E_POINTER;
  TrxBstr name(property);
  TrxVariant parameters;
  if (FAILED(parameters.CopyFrom(&aux))) return E_OUTOFMEMORY;
  SHORT error = 0;
  const HRESULT hr = m_spNWEAuto->GetProperty(name.Get(), &parameters, count, &value);
  if (FAILED(hr)) return hr;
  return SUCCEEDED(m_spNWEAuto->GetLastErrorCode(&error)) && error == 0 ? S_OK : E_FAIL;
}

TRXRESULT CNVTRXList::ReadRowCount(LONG& rows, bool warn) {
  TrxVariant value;
  if (FAILED(ReadHostProperty(m_spNWEAuto.Get(), OLESTR("NumRecords"), value)))
    return warn ? Warn(TRX_HOST_GETPROPERTY, OLESTR("NumRecords")) : Fail(TRX_HOST_GETPROPERTY, OLESTR("NumRecords"));
  rows = TrxLong(value);
  return TRX_OK;
}

TRXRESULT CNVTRXList::ReadParallel(const OLECHAR* other, std::vector<TrxString>& names,
                                   std::vector<TrxString>& values) {
  TrxVariant first, second;
  if (FAILED(ReadHostProperty(m_spNWEAuto.Get(), OLESTR("ListColNames"), first)))
    return Warn(TRX_HOST_GETPROPERTY, OLESTR("ListColNames"));
  if (FAILED(ReadHostProperty(m_spNWEAuto.Get(), other, second))) return Warn(TRX_HOST_GETPROPERTY, other);
  names = TrxStringList(first);
  values = TrxStringList(second);
  return TRX_OK;
}

// ---- properties and data -----------------------------------------------------------------

TRXRESULT CNVTRXList::GetProperty(const VARIANT& name, VARIANT* value) {
  TRX_ASSERT(value != nullptr, "GetProperty called without an out value");
  if (name.vt == VT_BSTR && m_spNWEAuto)
    if (const auto* own = TrxFindRow<TrxOwnProperty<CNVTRXList>>(kOwnProperties, TrxBstrView(name.bstrVal)))
      return (this->*own->handler)(value);
  return CNVTRXAutomation::GetProperty(name, value);
}

TRXRESULT CNVTRXList::GetSelectedRows(VARIANT* value) {
  TrxVariant rows;
  if (FAILED(ReadHostProperty(m_spNWEAuto.Get(), OLESTR("SelectedRows"), rows)))
    return Warn(TRX_HOST_GETPROPERTY, OLESTR("SelectedRows"));
  TrxString text;
  const std::vector<TrxString> selected = TrxStringList(rows);
  for (size_t i = 0; i < selected.size(); ++i) text += (i ? OLESTR("|") : OLESTR("")) + selected[i];
  if (value) TrxVariant::FromString(text).Detach(value);
  return TRX_OK;
}

TRXRESULT CNVTRXList::GetData(VARIANT* value) {
  CNVTRXLogFunction scope(__FILE__, __LINE__, "CNVTRXList::GetData");
  TRX_ASSERT(value != nullptr, "GetData called without an out value");
  TrxVariant rowCount, columnCount, totals, names, cells;
  if (TRXRESULT code = ReadHost(m_spNWEAuto.Get(), OLESTR("NumRecords"), rowCount)) return code;
  if (TRXRESULT code = ReadHost(m_spNWEAuto.Get(), OLESTR("ListColumnCount"), columnCount)) return code;
  if (TRXRESULT code = ReadHost(m_spNWEAuto.Get(), OLESTR("IsTotalsRow"), totals)) return code;
  const LONG rows = TrxLong(rowCount, -1), columns = TrxLong(columnCount, -1);
  // A count the client cannot have shown is its mistake, not a grid: below
  // zero, or more cells than any page of a list holds.
  constexpr LONGLONG kMostCells = 1 << 24;
  if (rows < 0 || (static_cast<LONGLONG>(rows) + 2) * std::max<LONG>(columns, 1) > kMostCells)
    return Warn(TRX_HOST_GETPROPERTY, OLESTR("NumRecords"));
  if (columns < 0 || columns > kMostCells) return Warn(TRX_HOST_GETPROPERTY, OLESTR("ListColumnCount"));
  const bool hasTotals = TrxBool(totals);
  if (TRXRESULT code = ReadHost(m_spNWEAuto.Get(), OLESTR("ListColNames"), names)) return code;
  if (TRXRESULT code = ReadHost(m_spNWEAuto.Get(), OLESTR("AllCellValues"), cells)) return code;
  const std::vector<TrxString> columnNames = TrxStringList(names);
  SAFEARRAYBOUND bounds[2] = {{static_cast<ULONG>(rows) + (hasTotals ? 2 : 1), 0}, {static_cast<ULONG>(columns), 0}};
  SAFEARRAY* grid = SafeArrayCreate(VT_VARIANT, 2, bounds);
  if (!grid) return Fail(TRX_E_SYSTEM, OLESTR("SafeArrayCreate"));
  auto put = [grid](LONG row, LONG column, const VARIANT& cell) {
    LONG indices[2] = {row, column};
    SafeArrayPutElement(grid, indices, const_cast<VARIANT*>(&cell));
  };
  for (LONG j = 0; j < columns; ++j) {
    TrxString name;
    if (TrxListItem(columnNames, j, name)) put(0, j, TrxVariant::FromString(name));
  }
  // Only the cells the client gave: a grid of another shape leaves the rest empty.
  const bool table = cells.vt == (VT_ARRAY | VT_VARIANT) && cells.parray && SafeArrayGetDim(cells.parray) == 2;
  for (LONG i = 0; table && i < rows; ++i)
    for (LONG j = 0; j < columns; ++j) {
      const TrxVariant cell = HostCell(cells.parray, i, j);
      if (cell.vt != VT_EMPTY) put(i + 1, j, cell);
    }
  for (LONG j = 0; hasTotals && j < columns; ++j) {
    TrxString name;
    TrxVariant total;
    if (TrxListItem(columnNames, j, name) &&
        SUCCEEDED(ReadAux(OLESTR("TotalsValue"), TrxVariant::FromString(name), 1, total)))
      put(rows + 1, j, total);
  }
  if (value)
    TrxVariant::FromArray(grid, VT_VARIANT).Detach(value);
  else
    SafeArrayDestroy(grid);
  return TRX_OK;
}

// ---- methods ------------------------------------------------------------------------------

TRXRESULT CNVTRXList::HandleAutomationRequest(TrxStringView methodName, const VARIANT& arguments, VARIANT* result) {
  CNVTRXLogFunction scope(__FILE__, __LINE__, "CNVTRXList::HandleAutomationRequest");
  TRX_LOG(TRXLOG_TRXTRACE)
      .ReportTrace(OLESTR("MethodName : \"%s\", Arguments : \"%s\""), methodName, CNVTRXArray(&arguments).ToText());
  if (m_spNWEAuto)
    if (const auto* own = TrxFindRow<TrxOwnMethod<CNVTRXList>>(kOwnMethods, methodName))
      return (this->*own->handler)(arguments, result);
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("Sending back to Base method HandleAutomationRequest"));
  return CNVTRXAutomation::HandleAutomationRequest(methodName, arguments, result);
}

TRXRESULT CNVTRXList::SortState(const OLECHAR* method, const VARIANT& arguments, TrxString& column, TrxString& state) {
  CNVTRXArray args(&arguments);
  column = TrxText(args.GetAt(0));
  if (GetColumnIndex(column) < 0) return Fail(TRX_E_ARG_VALUE, method, OLESTR("ColumnName"), column);
  TrxVariant sort;
  if (TRXRESULT code = ReadHost(m_spNWEAuto.Get(), OLESTR("ListColumnSortState"), sort)) return code;
  state = TrxText(sort);
  return TRX_OK;
}

TRXRESULT CNVTRXList::AscendSort(const VARIANT& arguments, VARIANT*) {
  TrxString column, state;
  if (TRXRESULT code = SortState(OLESTR("AscendSort"), arguments, column, state)) return code;
  if (state == OLESTR("1")) return TRX_OK;
  return NWEInvoke(m_spNWEAuto.Get(), REQID_SORTCOLUMN,
                   CNVTRXRequestArgs{TrxVariant::FromString(column), TrxVariant::FromI4(-1)}, TRXHOSTREF_DROP,
                   TRXTIMING_DOUBLE_CLICK);
}

TRXRESULT CNVTRXList::DescendSort(const VARIANT& arguments, VARIANT*) {
  TrxString column, state;
  if (TRXRESULT code = SortState(OLESTR("DescendSort"), arguments, column, state)) return code;
  if (state == OLESTR("2")) return TRX_OK;
  const CNVTRXRequestArgs descending{TrxVariant::FromString(column), TrxVariant::FromI4(0)};
  // An unsorted column sorts ascending on its first click: click twice.
  if (state != OLESTR("1")) {
    NWEInvoke(m_spNWEAuto.Get(), REQID_SORTCOLUMN, descending, TRXHOSTREF_KEEP, TRXTIMING_SET);
    Sleep(GetDoubleClickTime() + 10);
    if (CNVTRXApplication* application = CNVTRXApplication::Current()) application->State().WaitForHostIdle();
  }
  return NWEInvoke(m_spNWEAuto.Get(), REQID_SORTCOLUMN, descending, TRXHOSTREF_DROP, TRXTIMING_DOUBLE_CLICK);
}

TRXRESULT CNVTRXList::SelectRow(const VARIANT& arguments, VARIANT*) {
  CNVTRXArray args(&arguments);
  const TrxVariant type = args.GetAt(1);
  const bool shift = type.vt == VT_BSTR && TrxBstrView(type.bstrVal) == OLESTR("Shift");
  return NWEInvoke(m_spNWEAuto.Get(), REQID_SELECTROW,
                   CNVTRXRequestArgs{args.GetAt(0), TrxVariant::FromI4(shift ? 2 : 1)}, TRXHOSTREF_DROP, TRXTIMING_SET);
}

TRXRESULT CNVTRXList::LastRowSet(const VARIANT&, VARIANT*) {
  return NWEInvoke(m_spNWEAuto.Get(), REQID_SCROLLDOWN, CNVTRXRequestArgs{TrxVariant::FromI4(1)}, TRXHOSTREF_DROP,
                   TRXTIMING_SET);
}

TRXRESULT CNVTRXList::FirstRowSet(const VARIANT&, VARIANT*) {
  return NWEInvoke(m_spNWEAuto.Get(), REQID_SCROLLUP, CNVTRXRequestArgs{TrxVariant::FromI4(1)}, TRXHOSTREF_DROP,
                   TRXTIMING_SET);
}

TRXRESULT CNVTRXList::GetColumnRepositoryName(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  const TrxString displayName = TrxText(args.GetAt(0));
  std::vector<TrxString> names, displayNames;
  if (TRXRESULT code = ReadParallel(OLESTR("ListColDisplayNames"), names, displayNames)) return code;
  TrxString name;
  if (!TrxListItem(names, TrxFindItem(displayNames, displayName), name))
    return Warn(TRX_E_ARG_VALUE, OLESTR("GetColumnRepositoryName"), OLESTR("ColumnName"), displayName);
  if (result) TrxVariant::FromString(name).Detach(result);
  return TRX_OK;
}

TRXRESULT CNVTRXList::GetColumnUIName(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  const TrxString name = TrxText(args.GetAt(0));
  std::vector<TrxString> names, displayNames;
  if (TRXRESULT code = ReadParallel(OLESTR("ListColDisplayNames"), names, displayNames)) return code;
  TrxString displayName;
  if (!TrxListItem(displayNames, TrxFindItem(names, name), displayName))
    return Warn(TRX_E_ARG_VALUE, OLESTR("GetColumnUIName"), OLESTR("ColumnName"), name);
  if (result) TrxVariant::FromString(displayName).Detach(result);
  return TRX_OK;
}

TRXRESULT CNVTRXList::GetColumnRepositoryNameByIndex(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  const LONG index = TrxLong(args.GetAt(0), -1);
  TrxVariant names;
  if (FAILED(ReadHostProperty(m_spNWEAuto.Get(), OLESTR("ListColNames"), names)))
    return Warn(TRX_HOST_GETPROPERTY, OLESTR("ListColNames"));
  TrxString name;
  if (!TrxListItem(TrxStringList(names), index, name))
    return Warn(TRX_E_ARG_VALUE, OLESTR("GetColumnRepositoryNameByIndex"), OLESTR("ColumnIndex"), TrxDecimal(index));
  if (result) TrxVariant::FromString(name).Detach(result);
  return TRX_OK;
}

TRXRESULT CNVTRXList::IsColumnExists(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  const bool exists = GetColumnIndex(TrxText(args.GetAt(0))) >= 0;
  if (result) TrxVariant::FromBool(exists).Detach(result);
  return TRX_OK;
}

TRXRESULT CNVTRXList::IsColumnDrillDown(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  const TrxString column = TrxText(args.GetAt(0));
  if (GetColumnIndex(column) < 0)
    return Warn(TRX_E_ARG_VALUE, OLESTR("IsColumnDrillDown"), OLESTR("ColumnName"), column);
  TrxVariant link;
  if (FAILED(ReadAux(OLESTR("IsLink"), arguments, 1, link))) return Warn(TRX_HOST_GETPROPERTY, OLESTR("IsLink"));
  if (result) TrxVariant::FromBool(TrxLong(link) != 0 || TrxBool(link)).Detach(result);
  return TRX_OK;
}

TRXRESULT CNVTRXList::IsRowExpanded(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  const LONG row = TrxLong(args.GetAt(0));
  LONG rows = 0;
  if (TRXRESULT code = ReadRowCount(rows, true)) return code;
  if (row >= rows) return Warn(TRX_E_ARG_VALUE, OLESTR("IsRowExpanded"), OLESTR("RowId"), TrxDecimal(row));
  TrxVariant expanded;
  const HRESULT hr = ReadAux(OLESTR("IsHierRowExpanded"), arguments, 1, expanded);
  // A row the client cannot expand (a leaf) has nothing hidden.
  if (hr == E_INVALIDARG)
    expanded = TrxVariant::FromBool(true);
  else if (FAILED(hr))
    return Warn(TRX_HOST_GETPROPERTY, OLESTR("IsHierRowExpanded"));
  if (result) expanded.Detach(result);
  return TRX_OK;
}

TRXRESULT CNVTRXList::GetCellText(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  const TrxString column = TrxText(args.GetAt(0));
  if (GetColumnIndex(column) < 0) return Warn(TRX_E_ARG_VALUE, OLESTR("GetCellText"), OLESTR("ColumnName"), column);
  TrxVariant text;
  if (FAILED(ReadAux(OLESTR("CellValue"), arguments, 2, text))) return Warn(TRX_HOST_GETPROPERTY, OLESTR("CellValue"));
  if (result) text.Detach(result);
  return TRX_OK;
}

TRXRESULT CNVTRXList::GetTotalsValue(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  TrxVariant totals, total;
  if (FAILED(ReadHostProperty(m_spNWEAuto.Get(), OLESTR("IsTotalsRow"), totals)))
    return Warn(TRX_HOST_GETPROPERTY, OLESTR("IsTotalsRow"));
  if (!TrxBool(totals)) return TRX_OK;
  if (FAILED(ReadAux(OLESTR("TotalsValue"), args.GetAt(0), 1, total)))
    return Warn(TRX_HOST_GETPROPERTY, OLESTR("TotalsValue"));
  if (result) total.Detach(result);
  return TRX_OK;
}

TRXRESULT CNVTRXList::GetColumnSort(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  const TrxString column = TrxText(args.GetAt(0));
  if (GetColumnIndex(column) < 0) return Warn(TRX_E_ARG_VALUE, OLESTR("GetColumnSort"), OLESTR("ColumnName"), column);
  TrxVariant sort;
  if (FAILED(ReadHostProperty(m_spNWEAuto.Get(), OLESTR("ListColumnSortState"), sort)))
    return Warn(TRX_HOST_GETPROPERTY, OLESTR("ListColumnSortState"));
  const TrxString state = TrxText(sort);
  const OLECHAR* answer = state == OLESTR("1")   ? OLESTR("Ascend")
                          : state == OLESTR("2") ? OLESTR("Descend")
                                                 : OLESTR("None");
  if (result) TrxVariant::FromString(answer).Detach(result);
  return TRX_OK;
}

bool CNVTRXList::IsCurrentCell(TrxStringView column) {
  TrxVariant current;
  if (FAILED(m_spNWEAuto->GetChildNames(OBJTYPE_CONTROL, &current))) return false;
  const std::vector<TrxString> names = TrxStringList(current);
  return !names.empty() && TrxEqualsNoCase(names.front(), column);
}

TRXRESULT CNVTRXList::DrillDownColumn(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  const LONG count = args.GetCount();
  if (count < 2) return Fail(TRX_E_ARG_COUNT, count, OLESTR("DrillDownColumn"), 2);
  const TrxString column = TrxText(args.GetAt(0));
  const LONG row = TrxLong(args.GetAt(1));
  LONG rows = 0;
  if (TRXRESULT code = ReadRowCount(rows, false)) return code;
  if (row >= rows) return Fail(TRX_E_ARG_VALUE, OLESTR("DrillDownColumn"), OLESTR("RowId"), TrxDecimal(row));
  if (GetColumnIndex(column) < 0) return Fail(TRX_E_ARG_VALUE, OLESTR("DrillDownColumn"), OLESTR("ColumnName"), column);
  // A cell being edited gives up its focus before the link is followed.
  TrxComPtr<INVAutomation> control;
  TrxVariant focus, none;
  if (IsCurrentCell(column) && SUCCEEDED(HostChild(m_spNWEAuto.Get(), OBJTYPE_CONTROL, column, control)) &&
      SUCCEEDED(ReadHostProperty(control.Get(), OLESTR("HasFocus"), focus)) && TrxBool(focus))
    NWEInvoke(control.Get(), REQID_CLEARFOCUS, &none, TRXHOSTREF_KEEP, TRXTIMING_SET);
  return CNVTRXAutomation::HandleAutomationRequest(OLESTR("DrillDownColumn"), arguments, result);
}

TRXRESULT CNVTRXList::DoubleClick(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  const TrxVariant rowValue = args.GetAt(0);
  const LONG row = TrxLong(rowValue);
  LONG rows = 0;
  if (TRXRESULT code = ReadRowCount(rows, false)) return code;
  if (row >= rows) return Fail(TRX_E_ARG_VALUE, OLESTR("DoubleClick"), OLESTR("DoubleClick"), TrxDecimal(row));
  const TrxString column = TrxText(args.GetAt(1));
  if (column.empty()) return CNVTRXAutomation::HandleAutomationRequest(OLESTR("DoubleClick"), arguments, result);
  if (GetColumnIndex(column) < 0) return Fail(TRX_E_ARG_VALUE, OLESTR("DoubleClick"), OLESTR("ColumnName"), column);
  if (TRXRESULT code =
          NWEInvoke(m_spNWEAuto.Get(), REQID_SETCELLFOCUS, CNVTRXRequestArgs{rowValue, TrxVariant::FromString(column)},
                    TRXHOSTREF_KEEP, TRXTIMING_SET)) {
    TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(kFocusFailed);
    return code;
  }
  TrxVariant names, none;
  if (FAILED(m_spNWEAuto->GetChildNames(OBJTYPE_CONTROL, &names)))
    return Fail(TRX_HOST_GETCHILDNAMES, OLESTR("OBJTYPE_CONTROL"));
  TrxComPtr<INVAutomation> control;
  if (TRXRESULT code = GetHostChild(m_spNWEAuto.Get(), OBJTYPE_CONTROL, column, control, OLESTR("OBJTYPE_CONTROL")))
    return code;
  NWEInvoke(control.Get(), REQID_SETFOCUS, &none, TRXHOSTREF_KEEP, TRXTIMING_SET);
  return NWEInvoke(control.Get(), REQID_DOUBLE_CLICK, &none, TRXHOSTREF_DROP, TRXTIMING_SET);
}

TRXRESULT CNVTRXList::ToggleFrozenColumns(const VARIANT& arguments, VARIANT*) {
  CNVTRXArray args(&arguments);
  const TrxString column = TrxText(args.GetAt(0));
  if (!column.empty() && GetColumnIndex(column) < 0)
    return Fail(TRX_E_ARG_VALUE, OLESTR("ToggleFrozenColumns"), OLESTR("ColumnName"), column);
  // A double click on the column's head.
  return NWEInvoke(m_spNWEAuto.Get(), REQID_DOUBLE_CLICK,
                   CNVTRXRequestArgs{TrxVariant::FromI4(-1), TrxVariant::FromString(column)}, TRXHOSTREF_DROP,
                   TRXTIMING_SET);
}

TRXRESULT CNVTRXList::GetColumnType(const VARIANT& arguments, VARIANT* result) {
  CNVTRXArray args(&arguments);
  const TrxString column = TrxText(args.GetAt(0));
  const LONG index = GetColumnIndex(column);
  if (index < 0) return Fail(TRX_E_ARG_VALUE, OLESTR("GetColumnType"), OLESTR("ColumnName"), column);
  TrxVariant types;
  if (FAILED(ReadHostProperty(m_spNWEAuto.Get(), OLESTR("ListColUITypes"), types)))
    return Warn(TRX_HOST_GETPROPERTY, OLESTR("ListColUITypes"));
  TrxString type;
  TrxListItem(TrxStringList(types), index, type);
  if (result) TrxVariant::FromString(ColumnClass(type, true)).Detach(result);
  return TRX_OK;
}

TRXRESULT CNVTRXList::SetActiveControl(const VARIANT& arguments, VARIANT*) {
  CNVTRXArray args(&arguments);
  const TrxString column = TrxText(args.GetAt(0));
  TrxVariant active;
  if (TRXRESULT code = ReadHost(m_spNWEAuto.Get(), OLESTR("ActiveRow"), active)) return code;
  if (GetColumnIndex(column) < 0)
    return Warn(TRX_E_ARG_VALUE, OLESTR("SetActiveControl"), OLESTR("Control Name"), column);
  return NWEInvoke(m_spNWEAuto.Get(), REQID_SETCELLFOCUS, CNVTRXRequestArgs{active, TrxVariant::FromString(column)},
                   TRXHOSTREF_DROP, TRXTIMING_SET);
}

TRXRESULT CNVTRXList::GetActiveControlName(const VARIANT&, VARIANT* result) {
  TrxComPtr<INVAutomation> cell;
  if (TRXRESULT code = GetHostChild(m_spNWEAuto.Get(), OBJTYPE_CONTROL, kCellControl, cell, OLESTR("OBJTYPE_CONTROL")))
    return code;
  TrxVariant focus, name;
  if (TRXRESULT code = ReadHost(cell.Get(), OLESTR("HasFocus"), focus)) return code;
  if (!TrxBool(focus)) return TRX_OK;
  if (TRXRESULT code = ReadHost(cell.Get(), OLESTR("Name"), name)) return code;
  if (result) name.Detach(result);
  return TRX_OK;
}

// ---- children -------------------------------------------------------------------------------

TRXRESULT CNVTRXList::FocusCell(TrxStringView className, TrxStringView column) {
  const bool popup = className == OLESTR("NorvCalculator") || className == OLESTR("NorvCalendar") ||
                     className == OLESTR("NorvCurrency");
  if (popup && IsCurrentCell(column)) {
    TrxComPtr<INVAutomation> control;
    TrxVariant open;
    if (TRXRESULT code = GetHostChild(m_spNWEAuto.Get(), OBJTYPE_CONTROL, column, control, OLESTR("OBJTYPE_CONTROL")))
      return code;
    // With its popup open the cell keeps the focus it has.
    if (SUCCEEDED(ReadHostProperty(control.Get(), OLESTR("IsPopupOpen"), open)) && TrxBool(open)) return TRX_OK;
  }
  TrxComPtr<INVAutomation> applet;
  TrxVariant popupApplet, active;
  m_spNWEAuto->GetParent(applet.Put());
  if (TRXRESULT code = ReadHost(applet.Get(), OLESTR("IsPopupApplet"), popupApplet)) return code;
  if (TRXRESULT code = ReadHost(m_spNWEAuto.Get(), OLESTR("ActiveRow"), active)) return code;
  if (GetColumnIndex(column) < 0) return Fail(TRX_E_ARG_VALUE, OLESTR("CreateChild"), OLESTR("ColumnName"), column);
  if (TRXRESULT code =
          NWEInvoke(m_spNWEAuto.Get(), REQID_SETCELLFOCUS, CNVTRXRequestArgs{active, TrxVariant::FromString(column)},
                    TRXHOSTREF_KEEP, TRXTIMING_SET)) {
    TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(kFocusFailed);
    return code;
  }
  Sleep(TrxBool(popupApplet) ? GetDoubleClickTime() + 5 : 100);
  return TRX_OK;
}

TRXRESULT CNVTRXList::CreateChild(TrxStringView className, TrxStringView repositoryName, CNVTRXAutomation** ppChild) {
  CNVTRXLogFunction scope(__FILE__, __LINE__, "CNVTRXList::CreateChild");
  TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("Class Name: \"%s\", RepositoryName: \"%s\""), className, repositoryName);
  if (ppChild) *ppChild = nullptr;
  CNVTRXApplication* application = CNVTRXApplication::Current();
  const bool recording =
      (application && application->State().IsRecording()) || CNVTRXServiceState::IsRecordingSuspended();
  // The client answers a cell control for the cell that has the focus.
  if (!recording && m_spNWEAuto)
    if (TRXRESULT code = FocusCell(className, repositoryName)) return code;
  return TrxCreateChild(this, kChildClasses, className, repositoryName, ppChild);
}

TRXRESULT CNVTRXList::OnBuildHierarchy(INVAutomation* pNWEAuto, LONG eventId, LONG objectType, INVPropertySet*,
                                       CNVTRXAutomation** ppChild) {
  CNVTRXLogFunction scope(__FILE__, __LINE__, "CNVTRXList::OnBuildHierarchy");
  if (ppChild) *ppChild = nullptr;
  TrxVariant name, type;
  if (TRXRESULT code = ReadHost(pNWEAuto, OLESTR("Name"), name)) return code;
  if (objectType != OBJTYPE_CONTROL) {
    TRX_LOG(TRXLOG_TRXTRACE)
        .ReportTrace(OLESTR("I don't know how to build this object type %d under this class %s"), objectType,
                     m_strClassName);
    const TRXRESULT code = Fail(TRX_E_INVALID_EVENT, eventId, objectType);
    TrxAssertFailed(__FILE__, __LINE__, OLESTR("Invalid object type from NWE during recording"));
    return code;
  }
  if (TRXRESULT code = ReadHost(pNWEAuto, OLESTR("Type"), type)) return code;
  const OLECHAR* className = ColumnClass(TrxText(type), false);
  // A cell of a type no class stands for is left out.
  if (!*className) return TRX_OK;
  return CreateChild(className, TrxText(name), ppChild);
}

bool CNVTRXList::GetSpecializedObjectFromId(TrxString, CNVTRXAutomation*& object) {
  TrxVariant type, focus;
  TrxComPtr<INVAutomation> cell;
  if (FAILED(ReadHostProperty(m_spNWEAuto.Get(), OLESTR("ObjType"), type)) || TrxLong(type) != OBJTYPE_LISTCONTROL ||
      FAILED(HostChild(m_spNWEAuto.Get(), OBJTYPE_CONTROL, kCellControl, cell)))
    return false;
  if (FAILED(ReadHostProperty(cell.Get(), OLESTR("HasFocus"), focus))) {
    TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("GetProperty failed. Property name: HasFocus"));
    return false;
  }
  if (!TrxBool(focus)) return false;
  CNVTRXAutomation* child = nullptr;
  if (CreateChildFromNWE(cell.Get(), &child) != TRX_OK || !child) return false;
  object = child;
  return true;
}

// ---- recording ------------------------------------------------------------------------------

TRXRESULT CNVTRXList::ConvertNWEMethod(const VARIANT& first, LONG requestId, CNVTRXArray& hostArguments,
                                       TrxString& methodName, CNVTRXArray& arguments) {
  CNVTRXLogFunction scope(__FILE__, __LINE__, "CNVTRXList::ConvertNWEMethod");
  const LONG count = hostArguments.GetCount();
  auto value = [&](LONG i) { return hostArguments.GetAt(i, 1); };
  auto needs = [&](LONG expected, const OLECHAR* request) {
    return count < expected ? Fail(TRX_E_ARG_COUNT, count, request, expected) : TRX_OK;
  };
  switch (requestId) {
    case REQID_SORTCOLUMN:
      if (TRXRESULT code = needs(1, OLESTR("REQID_SORTCOLUMN"))) return code;
      methodName = TrxText(value(1)) == OLESTR("FALSE") ? OLESTR("DescendSort") : OLESTR("AscendSort");
      arguments.SetAt(value(0), 0);
      return TRX_OK;
    case REQID_DRILLDOWNCOL:
      if (TRXRESULT code = needs(2, OLESTR("REQID_DRILLDOWNCOL"))) return code;
      methodName = OLESTR("DrillDownColumn");
      arguments.SetAt(value(0), 0);
      arguments.SetAt(TrxVariant::FromI4(TrxLong(value(1))), 1);
      return TRX_OK;
    case REQID_SELECTROW: {
      if (TRXRESULT code = needs(2, OLESTR("REQID_SELECTROW"))) return code;
      const TrxString type = TrxText(value(0));
      methodName = OLESTR("SelectRow");
      arguments.SetAt(TrxVariant::FromI4(TrxLong(value(1))), 0);
      arguments.SetAt(TrxEqualsNoCase(type, OLESTR("Control")) ? TrxString(OLESTR("Ctrl")) : type, 1);
      return TRX_OK;
    }
    case REQID_SETROWFOCUS:
      if (TRXRESULT code = needs(1, OLESTR("REQID_SETROWFOCUS"))) return code;
      methodName = OLESTR("ActivateRow");
      arguments.SetAt(TrxVariant::FromI4(TrxLong(value(0))), 0);
      return TRX_OK;
    case REQID_SCROLLUP:
      methodName = TrxText(value(0)) == OLESTR("0") ? OLESTR("PreviousRowSet") : OLESTR("FirstRowSet");
      return TRX_OK;
    case REQID_SCROLLDOWN:
      methodName = TrxText(value(0)) == OLESTR("0") ? OLESTR("NextRowSet") : OLESTR("LastRowSet");
      return TRX_OK;
    case REQID_DOUBLE_CLICK:
      break;
    default:
      TRX_LOG(TRXLOG_TRXTRACE).ReportTrace(OLESTR("Sending back to Base method ConvertNWEMethod"));
      return CNVTRXAutomation::ConvertNWEMethod(first, requestId, hostArguments, methodName, arguments);
  }
  if (count != 3) return Fail(TRX_E_ARG_COUNT, count, OLESTR("REQID_DOUBLE_CLICK"), 3);
  TrxVariant row, column, area;
  for (LONG i = 0; i < count; ++i) {
    const TrxString name = TrxText(hostArguments.GetAt(i, 0));
    if (name == OLESTR("Row")) row = value(i);
    if (name == OLESTR("ColumnName")) column = value(i);
    if (name == OLESTR("Area")) area = value(i);
  }
  LONG rowNumber = TrxLong(row);
  if (rowNumber == -1) {
    TrxVariant active;
    if (TRXRESULT code = ReadHost(m_spNWEAuto.Get(), OLESTR("ActiveRow"), active)) return code;
    rowNumber = TrxLong(active);
  }
  const TrxString areaName = TrxText(area);
  for (const ClickArea& entry : kClickAreas) {
    if (areaName != entry.area) continue;
    methodName = entry.method;
    LONG at = 0;
    if (entry.row) arguments.SetAt(TrxVariant::FromI4(rowNumber), at++);
    if (entry.column) arguments.SetAt(column, at);
    return TRX_OK;
  }
  TrxAssertFailed(__FILE__, __LINE__, OLESTR("Unknown double-click area from NWE during recording"));
  return Fail(TRX_E_INVALID_EVENT, REQID_DOUBLE_CLICK, areaName);
}
