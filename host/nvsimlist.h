// The list of a list applet in the simulated Norvik client: columns and rows
// declared in the description (<list> inside a LISTCONTROL object), from
// which every list property is derived when it is read, and which every list
// request changes.
//
// Rows are shown in row sets of `pageSize` rows. Row numbers the client
// answers and accepts ("ActiveRow", "SelectedRows", "CellValue", the row of
// SETROWFOCUS ...) count from the first row of the current set. Rows may form
// a hierarchy (a row's `level` is one more than its parent's); the children
// of a collapsed row are not shown. Sorting orders the rows of each level
// among their siblings, numbers as numbers and other text as text.
//
// The list's cell controls are the CONTROL children named by the columns
// (added by the description when it does not declare them) and the control
// "ListCellControl", which stands for the cell that has the focus; their
// "Value" is the active row's cell of their column.
#pragma once

#include <vector>

#include "host/nvsimfaults.h"
#include "platform/trxplatform.h"

struct CNVSimListColumn {
  TrxString name;
  TrxString displayName;
  TrxString type;       // UI type: text, combo, currency ...
  TrxString drillDown;  // the view a drill-down on the column goes to; empty: no link
  TrxString total;      // the totals row's value; "sum": the sum of the column's numbers
};

struct CNVSimListRowDef {
  std::vector<TrxString> cells;  // one per column
  LONG level = 0;
  bool expanded = false;
};

struct CNVSimListDef {
  std::vector<CNVSimListColumn> columns;
  std::vector<CNVSimListRowDef> rows;
  LONG pageSize = 10;
  LONG line = 0;
};

class CNVSimList {
 public:
  explicit CNVSimList(const CNVSimListDef& def);

  // What a request did: its failure (code 0 when none), and the view a
  // drill-down goes to.
  struct Outcome {
    bool handled = false;
    CNVSimFailure failure;
    TrxString view;
  };

  // A property of the list, with the auxiliary parameters' texts; false for
  // a name the list does not answer. `status` is the read's status.
  bool ListProperty(TrxStringView name, const std::vector<TrxString>& key, VARIANT* value, HRESULT& status) const;
  // A property of the cell control `control` (a column's name or
  // "ListCellControl"); false for a name it does not answer.
  bool ControlProperty(TrxStringView control, TrxStringView name, VARIANT* value) const;
  // A request to the list; `userAction` for a user's own action, whose
  // arguments are those the client reports (SELECTROW: select type, row).
  Outcome ListRequest(LONG request, const std::vector<TrxString>& arguments, bool userAction);
  // A request to a cell control.
  Outcome ControlRequest(TrxStringView control, LONG request, const std::vector<TrxString>& arguments);
  // The name of the column whose cell is the current one.
  TrxString CurrentCell() const;

 private:
  struct Row {
    std::vector<TrxVariant> cells;
    LONG parent = -1;
    std::vector<LONG> children;
    bool expanded = false;
  };

  LONG FindColumn(TrxStringView name) const;
  LONG RowCount() const;
  // The shown row at a row number of the current set; -1 when there is none.
  LONG ShownAt(const TrxString& number) const;
  // Orders the siblings by the sort column and lists the rows shown.
  void Arrange();
  void ShowFrom(LONG row);
  void Activate(LONG position);
  void MoveTo(LONG first);
  TrxString Total(LONG column) const;
  TrxVariant Cells() const;
  static Outcome Refused(TrxString text);

  std::vector<CNVSimListColumn> m_columns;
  std::vector<Row> m_rows;
  std::vector<LONG> m_roots;
  std::vector<LONG> m_shown;  // row indexes, in the order shown
  std::vector<bool> m_selected;
  LONG m_pageSize = 10;
  LONG m_first = 0;   // position in m_shown of the current set's first row
  LONG m_active = 0;  // position in m_shown of the active row
  LONG m_sortColumn = -1;
  LONG m_sortState = 0;  // 1 ascending, 2 descending
  LONG m_cellColumn = 0;
  bool m_cellFocus = false;
  LONG m_frozen = -1;  // the column up to which columns are frozen
};
