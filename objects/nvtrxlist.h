// The list of a list applet (catalogue class NorvList): rows and row sets,
// row selection, sorting, drill-down, double clicks, frozen columns,
// hierarchical rows, the columns' names and types, cells and totals, and the
// whole grid as tabular data. The cells of the active row are edited through
// field controls the list creates on demand, after moving the client's cell
// focus to the column.
#pragma once

#include "model/nvtrxautomation.h"

class CNVTRXList : public CNVTRXAutomation {
 public:
  CNVTRXList(TrxStringView name, CNVTRXAutomation* parent);

  TRXRESULT CreateChild(TrxStringView className, TrxStringView repositoryName, CNVTRXAutomation** ppChild) override;
  TRXRESULT OnBuildHierarchy(INVAutomation* pNWEAuto, LONG eventId, LONG objectType, INVPropertySet* pEventArgs,
                             CNVTRXAutomation** ppChild) override;
  bool GetSpecializedObjectFromId(TrxString htmlId, CNVTRXAutomation*& object) override;
  TRXRESULT GetProperty(const VARIANT& name, VARIANT* value) override;
  // The column names, then one row per shown row, then the totals when the
  // list shows them.
  TRXRESULT GetData(VARIANT* value) override;
  TRXRESULT HandleAutomationRequest(TrxStringView methodName, const VARIANT& arguments, VARIANT* result) override;
  TRXRESULT ConvertNWEMethod(const VARIANT& first, LONG requestId, CNVTRXArray& hostArguments, TrxString& methodName,
                             CNVTRXArray& arguments) override;

  // The catalogue class of a column's UI type ("text", "combo" ...), compared
  // in any letter case or exactly; empty when no class stands for it.
  static const OLECHAR* ColumnClass(TrxStringView uiType, bool noCase);

 private:
  // Position of the column among "ListColNames" (exact letter case), or -1;
  // -1 with -103 reported when the names cannot be read.
  LONG GetColumnIndex(TrxStringView column);
  // A host property read with auxiliary parameters: the host's status.
  HRESULT ReadAux(TrxStringView property, const VARIANT& aux, SHORT count, TrxVariant& value);
  // The host's "NumRecords" into `rows`; -103 (or +103 with `warn`) when it cannot be read.
  TRXRESULT ReadRowCount(LONG& rows, bool warn);
  // The column names and the parallel host list `other` (display names ...).
  TRXRESULT ReadParallel(const OLECHAR* other, std::vector<TrxString>& names, std::vector<TrxString>& values);

  TRXRESULT GetSelectedRows(VARIANT* value);
  TRXRESULT AscendSort(const VARIANT& arguments, VARIANT* result);
  TRXRESULT DescendSort(const VARIANT& arguments, VARIANT* result);
  TRXRESULT SelectRow(const VARIANT& arguments, VARIANT* result);
  TRXRESULT LastRowSet(const VARIANT& arguments, VARIANT* result);
  TRXRESULT FirstRowSet(const VARIANT& arguments, VARIANT* result);
  TRXRESULT GetColumnRepositoryName(const VARIANT& arguments, VARIANT* result);
  TRXRESULT GetColumnUIName(const VARIANT& arguments, VARIANT* result);
  TRXRESULT GetColumnRepositoryNameByIndex(const VARIANT& arguments, VARIANT* result);
  TRXRESULT IsColumnExists(const VARIANT& arguments, VARIANT* result);
  TRXRESULT IsColumnDrillDown(const VARIANT& arguments, VARIANT* result);
  TRXRESULT IsRowExpanded(const VARIANT& arguments, VARIANT* result);
  TRXRESULT GetCellText(const VARIANT& arguments, VARIANT* result);
  TRXRESULT GetTotalsValue(const VARIANT& arguments, VARIANT* result);
  TRXRESULT GetColumnSort(const VARIANT& arguments, VARIANT* result);
  TRXRESULT DrillDownColumn(const VARIANT& arguments, VARIANT* result);
  TRXRESULT DoubleClick(const VARIANT& arguments, VARIANT* result);
  TRXRESULT ToggleFrozenColumns(const VARIANT& arguments, VARIANT* result);
  TRXRESULT GetColumnType(const VARIANT& arguments, VARIANT* result);
  TRXRESULT SetActiveControl(const VARIANT& arguments, VARIANT* result);
  TRXRESULT GetActiveControlName(const VARIANT& arguments, VARIANT* result);

  // The shared steps of the two sorts: the column checked and the sort state read.
  TRXRESULT SortState(const OLECHAR* method, const VARIANT& arguments, TrxString& column, TrxString& state);
  // Moves the client's cell focus to `column` of the active row before a
  // cell control is created.
  TRXRESULT FocusCell(TrxStringView className, TrxStringView column);
  // Whether the client's current cell is `column` (any letter case).
  bool IsCurrentCell(TrxStringView column);

  static const TrxOwnProperty<CNVTRXList> kOwnProperties[];
  static const TrxOwnMethod<CNVTRXList> kOwnMethods[];
};
