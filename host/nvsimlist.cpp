#include "host/nvsimlist.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "model/nvtrxhost.h"

namespace {

const OLECHAR kCellControl[] = OLESTR("ListCellControl");

// The text as a number ("1200", "-3.5"); false for any other text.
bool AsNumber(const VARIANT& cell, double& number) {
  if (cell.vt != VT_BSTR || !cell.bstrVal || !cell.bstrVal[0]) return false;
  std::string text;
  for (const OLECHAR* c = cell.bstrVal; *c; ++c) {
    if (*c > 0x7F) return false;
    text.push_back(static_cast<char>(*c));
  }
  char* end = nullptr;
  number = std::strtod(text.c_str(), &end);
  return end && *end == '\0';
}

// Numbers before text; numbers by value, text by its characters.
int CompareCells(const VARIANT& a, const VARIANT& b) {
  double x = 0, y = 0;
  const bool numberA = AsNumber(a, x), numberB = AsNumber(b, y);
  if (numberA && numberB) return x < y ? -1 : x > y ? 1 : 0;
  if (numberA != numberB) return numberA ? -1 : 1;
  const TrxStringView textA = a.vt == VT_BSTR ? TrxBstrView(a.bstrVal) : TrxStringView();
  const TrxStringView textB = b.vt == VT_BSTR ? TrxBstrView(b.bstrVal) : TrxStringView();
  return textA.compare(textB);
}

TrxString NumberText(double value) {
  char text[64];
  if (std::fabs(value - std::round(value)) < 1e-9)
    std::snprintf(text, sizeof text, "%.0f", value);
  else
    std::snprintf(text, sizeof text, "%.2f", value);
  TrxString wide;
  for (const char* c = text; *c; ++c) wide.push_back(static_cast<OLECHAR>(*c));
  return wide;
}

bool IsNumber(const TrxString& text, LONG& value) {
  if (text.empty()) return false;
  size_t i = text[0] == '-' ? 1 : 0;
  if (i == text.size()) return false;
  for (; i < text.size(); ++i)
    if (text[i] < '0' || text[i] > '9') return false;
  value = TrxParseLong(text);
  return true;
}

const TrxString& Argument(const std::vector<TrxString>& arguments, size_t i) {
  static const TrxString none;
  return i < arguments.size() ? arguments[i] : none;
}

}  // namespace

CNVSimList::CNVSimList(const CNVSimListDef& def) : m_columns(def.columns), m_pageSize(std::max<LONG>(1, def.pageSize)) {
  m_rows.resize(def.rows.size());
  std::vector<LONG> open;  // the last row of each level above the current one
  for (size_t i = 0; i < def.rows.size(); ++i) {
    Row& row = m_rows[i];
    row.cells.reserve(def.rows[i].cells.size());
    for (const TrxString& cell : def.rows[i].cells) row.cells.push_back(TrxVariant::FromString(cell));
    row.expanded = def.rows[i].expanded;
    const size_t level = static_cast<size_t>(std::max<LONG>(0, def.rows[i].level));
    open.resize(std::min(open.size(), level));
    row.parent = open.empty() ? -1 : open.back();
    (row.parent < 0 ? m_roots : m_rows[static_cast<size_t>(row.parent)].children).push_back(static_cast<LONG>(i));
    open.push_back(static_cast<LONG>(i));
  }
  m_selected.assign(m_rows.size(), false);
  Arrange();
  if (!m_shown.empty()) m_selected[static_cast<size_t>(m_shown[0])] = true;
}

LONG CNVSimList::FindColumn(TrxStringView name) const {
  for (size_t i = 0; i < m_columns.size(); ++i)
    if (m_columns[i].name == name) return static_cast<LONG>(i);
  return -1;
}

LONG CNVSimList::RowCount() const {
  return std::max<LONG>(0, std::min<LONG>(m_pageSize, static_cast<LONG>(m_shown.size()) - m_first));
}

LONG CNVSimList::ShownAt(const TrxString& number) const {
  LONG row = 0;
  if (!IsNumber(number, row) || row < 0 || row >= RowCount()) return -1;
  return m_first + row;
}

void CNVSimList::Arrange() {
  const LONG active = m_active < static_cast<LONG>(m_shown.size()) ? m_shown[static_cast<size_t>(m_active)] : -1;
  if (m_sortColumn >= 0) {
    const size_t column = static_cast<size_t>(m_sortColumn);
    const bool descending = m_sortState == 2;
    auto order = [&](LONG a, LONG b) {
      const int c =
          CompareCells(m_rows[static_cast<size_t>(a)].cells[column], m_rows[static_cast<size_t>(b)].cells[column]);
      return descending ? c > 0 : c < 0;
    };
    std::stable_sort(m_roots.begin(), m_roots.end(), order);
    for (Row& row : m_rows) std::stable_sort(row.children.begin(), row.children.end(), order);
  }
  m_shown.clear();
  for (LONG root : m_roots) ShowFrom(root);
  m_active = 0;
  for (size_t i = 0; i < m_shown.size(); ++i)
    if (m_shown[i] == active) m_active = static_cast<LONG>(i);
}

void CNVSimList::ShowFrom(LONG index) {
  m_shown.push_back(index);
  const Row& row = m_rows[static_cast<size_t>(index)];
  if (row.expanded)
    for (LONG child : row.children) ShowFrom(child);
}

void CNVSimList::Activate(LONG position) {
  m_active = position;
  std::fill(m_selected.begin(), m_selected.end(), false);
  if (position < static_cast<LONG>(m_shown.size()))
    m_selected[static_cast<size_t>(m_shown[static_cast<size_t>(position)])] = true;
}

void CNVSimList::MoveTo(LONG first) {
  const LONG count = static_cast<LONG>(m_shown.size());
  m_first = std::max<LONG>(0, std::min(first, count > 0 ? (count - 1) / m_pageSize * m_pageSize : 0));
  Activate(m_first);
}

TrxString CNVSimList::Total(LONG column) const {
  const CNVSimListColumn& def = m_columns[static_cast<size_t>(column)];
  if (def.total != OLESTR("sum")) return def.total;
  double sum = 0, number = 0;
  for (const Row& row : m_rows)
    if (AsNumber(row.cells[static_cast<size_t>(column)], number)) sum += number;
  return NumberText(sum);
}

TrxVariant CNVSimList::Cells() const {
  const LONG rows = RowCount();
  SAFEARRAYBOUND bounds[2] = {{static_cast<ULONG>(rows), 0}, {static_cast<ULONG>(m_columns.size()), 0}};
  SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, 2, bounds);
  if (!array) return TrxVariant();
  for (LONG r = 0; r < rows; ++r) {
    const Row& row = m_rows[static_cast<size_t>(m_shown[static_cast<size_t>(m_first + r)])];
    for (LONG c = 0; c < static_cast<LONG>(m_columns.size()); ++c) {
      LONG indices[2] = {r, c};
      SafeArrayPutElement(array, indices, const_cast<TrxVariant*>(&row.cells[static_cast<size_t>(c)]));
    }
  }
  return TrxVariant::FromArray(array, VT_VARIANT);
}

TrxString CNVSimList::CurrentCell() const {
  return m_columns.empty() ? TrxString() : m_columns[static_cast<size_t>(m_cellColumn)].name;
}

// ---- reads ----------------------------------------------------------------------------------

bool CNVSimList::ListProperty(TrxStringView name, const std::vector<TrxString>& key, VARIANT* value,
                              HRESULT& status) const {
  status = S_OK;
  auto strings = [&](TrxString CNVSimListColumn::*field) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(m_columns.size()));
    for (LONG i = 0; array && i < static_cast<LONG>(m_columns.size()); ++i) {
      TrxVariant item = TrxVariant::FromString(m_columns[static_cast<size_t>(i)].*field);
      SafeArrayPutElement(array, &i, &item);
    }
    TrxVariant::FromArray(array, VT_VARIANT).Detach(value);
  };
  const LONG column = key.empty() ? -1 : FindColumn(key[0]);
  if (name == OLESTR("NumRecords")) {
    TrxVariant::FromI4(RowCount()).Detach(value);
  } else if (name == OLESTR("ListColumnCount")) {
    TrxVariant::FromI4(static_cast<LONG>(m_columns.size())).Detach(value);
  } else if (name == OLESTR("ActiveRow")) {
    TrxVariant::FromI4(m_active - m_first).Detach(value);
  } else if (name == OLESTR("SelectedRows")) {
    std::vector<LONG> rows;
    for (LONG r = 0; r < RowCount(); ++r)
      if (m_selected[static_cast<size_t>(m_shown[static_cast<size_t>(m_first + r)])]) rows.push_back(r);
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(rows.size()));
    for (LONG i = 0; array && i < static_cast<LONG>(rows.size()); ++i) {
      TrxVariant item = TrxVariant::FromI4(rows[static_cast<size_t>(i)]);
      SafeArrayPutElement(array, &i, &item);
    }
    TrxVariant::FromArray(array, VT_VARIANT).Detach(value);
  } else if (name == OLESTR("ListColNames")) {
    strings(&CNVSimListColumn::name);
  } else if (name == OLESTR("ListColDisplayNames")) {
    strings(&CNVSimListColumn::displayName);
  } else if (name == OLESTR("ListColUITypes")) {
    strings(&CNVSimListColumn::type);
  } else if (name == OLESTR("ListColumnSortState")) {
    TrxVariant::FromString(TrxDecimal(m_sortState)).Detach(value);
  } else if (name == OLESTR("AllCellValues")) {
    Cells().Detach(value);
  } else if (name == OLESTR("IsTotalsRow")) {
    const bool totals = std::any_of(m_columns.begin(), m_columns.end(), [](const auto& c) { return !c.total.empty(); });
    TrxVariant::FromBool(totals).Detach(value);
  } else if (name == OLESTR("TotalsValue")) {
    if (column < 0)
      status = E_INVALIDARG;
    else
      TrxVariant::FromString(Total(column)).Detach(value);
  } else if (name == OLESTR("IsLink")) {
    if (column < 0)
      status = E_INVALIDARG;
    else
      TrxVariant::FromBool(!m_columns[static_cast<size_t>(column)].drillDown.empty()).Detach(value);
  } else if (name == OLESTR("CellValue")) {
    const LONG at = key.size() < 2 ? -1 : ShownAt(key[1]);
    if (column < 0 || at < 0)
      status = E_INVALIDARG;
    else
      TrxVariant(m_rows[static_cast<size_t>(m_shown[static_cast<size_t>(at)])].cells[static_cast<size_t>(column)])
          .Detach(value);
  } else if (name == OLESTR("IsHierRowExpanded")) {
    // A row without children cannot be expanded: the client refuses the question.
    const LONG at = key.empty() ? -1 : ShownAt(key[0]);
    const Row* row = at < 0 ? nullptr : &m_rows[static_cast<size_t>(m_shown[static_cast<size_t>(at)])];
    if (!row || row->children.empty())
      status = E_INVALIDARG;
    else
      TrxVariant::FromBool(row->expanded).Detach(value);
  } else if (name == OLESTR("FrozenColumn")) {
    TrxVariant::FromString(m_frozen < 0 ? TrxString() : m_columns[static_cast<size_t>(m_frozen)].name).Detach(value);
  } else {
    return false;
  }
  return true;
}

bool CNVSimList::ControlProperty(TrxStringView control, TrxStringView name, VARIANT* value) const {
  const LONG column = control == kCellControl ? m_cellColumn : FindColumn(control);
  if (column < 0 || column >= static_cast<LONG>(m_columns.size())) return false;
  const CNVSimListColumn& def = m_columns[static_cast<size_t>(column)];
  if (name == OLESTR("HasFocus")) {
    TrxVariant::FromBool(m_cellFocus && column == m_cellColumn).Detach(value);
  } else if (control == kCellControl && name == OLESTR("Name")) {
    TrxVariant::FromString(def.name).Detach(value);
  } else if (name == OLESTR("Value")) {
    const bool any = m_active < static_cast<LONG>(m_shown.size());
    const Row* row = any ? &m_rows[static_cast<size_t>(m_shown[static_cast<size_t>(m_active)])] : nullptr;
    (row ? TrxVariant(row->cells[static_cast<size_t>(column)]) : TrxVariant::FromString(OLESTR(""))).Detach(value);
  } else if (name == OLESTR("Type")) {
    TrxVariant::FromString(def.type).Detach(value);
  } else if (name == OLESTR("DisplayName")) {
    TrxVariant::FromString(def.displayName).Detach(value);
  } else {
    return false;
  }
  return true;
}

// ---- requests ---------------------------------------------------------------------------------

CNVSimList::Outcome CNVSimList::Refused(TrxString text) {
  Outcome outcome;
  outcome.handled = true;
  outcome.failure.code = 1;
  outcome.failure.text = std::move(text);
  return outcome;
}

CNVSimList::Outcome CNVSimList::ListRequest(LONG request, const std::vector<TrxString>& arguments, bool userAction) {
  Outcome done;
  done.handled = true;
  const LONG count = static_cast<LONG>(m_shown.size());
  const TrxString& first = Argument(arguments, 0);
  const TrxString& second = Argument(arguments, 1);
  switch (request) {
    case REQID_NEXTROWSET:
      if (m_first + m_pageSize < count) MoveTo(m_first + m_pageSize);
      return done;
    case REQID_PREVROWSET:
      if (m_first > 0) MoveTo(m_first - m_pageSize);
      return done;
    case REQID_SCROLLUP:
      MoveTo(first == OLESTR("0") ? m_first - m_pageSize : 0);
      return done;
    case REQID_SCROLLDOWN:
      if (first != OLESTR("0"))
        MoveTo(count);
      else if (m_first + m_pageSize < count)
        MoveTo(m_first + m_pageSize);
      return done;
    case REQID_NEXTROW:
    case REQID_PREVROW: {
      const LONG next = m_active + (request == REQID_NEXTROW ? 1 : -1);
      if (next < 0 || next >= count) return done;
      if (next < m_first) m_first = std::max<LONG>(0, m_first - m_pageSize);
      if (next >= m_first + m_pageSize) m_first += m_pageSize;
      Activate(next);
      return done;
    }
    case REQID_SETROWFOCUS: {
      const LONG at = ShownAt(first);
      if (at < 0) return Refused(OLESTR("There is no row ") + first + OLESTR("."));
      Activate(at);
      return done;
    }
    case REQID_SELECTROW: {
      // The service names the row, then the mode (2: Shift, else Ctrl); the
      // client reports its user's select type ("Shift", "Control" ...), then the row.
      const TrxString& type = userAction ? first : second;
      const LONG at = ShownAt(userAction ? second : first);
      if (at < 0) return Refused(OLESTR("There is no row ") + (userAction ? second : first) + OLESTR("."));
      const bool shift = userAction ? type == OLESTR("Shift") : type == OLESTR("2");
      const bool control = userAction ? TrxEqualsNoCase(type, OLESTR("Control")) : !shift;
      if (shift) {
        const LONG from = std::min(m_active, at), to = std::max(m_active, at);
        std::fill(m_selected.begin(), m_selected.end(), false);
        for (LONG p = from; p <= to; ++p) m_selected[static_cast<size_t>(m_shown[static_cast<size_t>(p)])] = true;
        m_active = at;
      } else if (control) {
        const size_t row = static_cast<size_t>(m_shown[static_cast<size_t>(at)]);
        m_selected[row] = !m_selected[row];
        m_active = at;
      } else {
        Activate(at);
      }
      return done;
    }
    case REQID_SORTCOLUMN: {
      const LONG column = FindColumn(first);
      if (column < 0) return Refused(OLESTR("The list has no column \"") + first + OLESTR("\"."));
      m_sortColumn = column;
      m_sortState = second == OLESTR("0") || second == OLESTR("FALSE") ? 2 : 1;
      Arrange();
      MoveTo(0);
      return done;
    }
    case REQID_SETCELLFOCUS: {
      const LONG column = FindColumn(second);
      const LONG at = ShownAt(first);
      if (column < 0) return Refused(OLESTR("The list has no column \"") + second + OLESTR("\"."));
      if (at < 0) return Refused(OLESTR("There is no row ") + first + OLESTR("."));
      m_active = at;
      m_cellColumn = column;
      m_cellFocus = true;
      return done;
    }
    case REQID_DRILLDOWNCOL: {
      const LONG column = FindColumn(first);
      const LONG at = ShownAt(second);
      if (column < 0 || m_columns[static_cast<size_t>(column)].drillDown.empty())
        return Refused(OLESTR("The column \"") + first + OLESTR("\" is no link."));
      if (at < 0) return Refused(OLESTR("There is no row ") + second + OLESTR("."));
      m_active = at;
      m_cellFocus = false;
      done.view = m_columns[static_cast<size_t>(column)].drillDown;
      return done;
    }
    case REQID_DOUBLE_CLICK: {
      // A user reports (row, column, area); the service clicks a row, or a
      // column's head as row -1.
      const bool head = userAction ? Argument(arguments, 2) == OLESTR("H_COLHEAD") : first == OLESTR("-1");
      if (head) {
        const LONG column = FindColumn(second);
        m_frozen = m_frozen == column ? -1 : column;
        return done;
      }
      // A double click makes its row the active one and leaves the selection.
      const LONG at = first == OLESTR("-1") ? m_active : ShownAt(first);
      if (at < 0) return Refused(OLESTR("There is no row ") + first + OLESTR("."));
      m_active = at;
      return done;
    }
    case REQID_CLICKHIERARCHYNODE: {
      if (m_active >= count) return done;
      Row& row = m_rows[static_cast<size_t>(m_shown[static_cast<size_t>(m_active)])];
      if (row.children.empty()) return done;
      row.expanded = !row.expanded;
      Arrange();
      return done;
    }
    default:
      return Outcome();
  }
}

CNVSimList::Outcome CNVSimList::ControlRequest(TrxStringView control, LONG request,
                                               const std::vector<TrxString>& arguments) {
  Outcome done;
  done.handled = true;
  const LONG column = FindColumn(control);
  if (column < 0) return Outcome();
  switch (request) {
    case REQID_SETFOCUS:
      m_cellColumn = column;
      m_cellFocus = true;
      return done;
    case REQID_CLEARFOCUS:
      m_cellFocus = false;
      return done;
    case REQID_SETVALUE:
      if (m_active >= static_cast<LONG>(m_shown.size())) return Refused(OLESTR("The list has no active row."));
      m_rows[static_cast<size_t>(m_shown[static_cast<size_t>(m_active)])].cells[static_cast<size_t>(column)] =
          TrxVariant::FromString(Argument(arguments, 0));
      return done;
    case REQID_DOUBLE_CLICK:
      return done;
    default:
      return Outcome();
  }
}
