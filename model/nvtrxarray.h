// Value tables: the service's one container for VARIANT data.
//
// A CNVTRXArray is a table of VARIANT cells indexed by row and column that
// is built from, and turned back into, the COM shapes that cross the
// interfaces: a single VARIANT, a one- or two-dimensional SAFEARRAY of
// VARIANTs, strings or 32-bit integers, and a host property set. It renders
// itself as text for traces and messages. With a string key per row it also
// serves as the property and method mapping table of automation objects.
//
// COM form of a table of n rows and m columns (m = longest row): nothing
// when n or m is 0; a one-dimensional array of n VARIANTs when m is 1;
// otherwise a two-dimensional n x m array of VARIANTs, indexed [row][column]
// when the table is row-first and [column][row] when it is not. Lower
// bounds are 0. The COM form is rebuilt from the rows on the first read
// after a change.
#pragma once

#include <vector>

#include "model/nvtrxhost.h"
#include "platform/trxplatform.h"

class CNVTRXArray {
 public:
  // Index value that addresses nothing ("not found" of Find).
  static constexpr LONG kNoIndex = -2;
  // Row index of SetAt that appends a row.
  static constexpr LONG kAppend = -1;

  explicit CNVTRXArray(bool rowFirst = true);
  // From a VARIANT (a reference to a VARIANT is followed once): a 32-bit
  // integer, a string or a boolean gives the single cell (0, 0); an array of
  // VARIANTs, strings or 32-bit integers is loaded into the rows; anything
  // else gives an empty table. With `copy` clear an array is wrapped in
  // place instead of copied: the caller's array must outlive the table.
  explicit CNVTRXArray(const VARIANT* value, bool copy = true, bool rowFirst = true);
  // The same for a bare array.
  explicit CNVTRXArray(SAFEARRAY* array, bool copy = true, bool rowFirst = true);
  // One row per property of the set, in its order: name, value.
  explicit CNVTRXArray(INVPropertySet* propertySet, bool rowFirst = true);
  // Asks a COM object for INVPropertySet first; empty table when it has none.
  static CNVTRXArray FromObject(IUnknown* object, bool rowFirst = true);

  CNVTRXArray(CNVTRXArray&& other) noexcept;
  CNVTRXArray& operator=(CNVTRXArray&& other) noexcept;
  CNVTRXArray(const CNVTRXArray&) = delete;
  CNVTRXArray& operator=(const CNVTRXArray&) = delete;
  ~CNVTRXArray();

  // Rows of the COM form (0 without one; the element count of a
  // one-dimensional form).
  LONG GetCount();
  // 1 for a one-dimensional COM form, the column count of a two-dimensional
  // one, 0 without one.
  LONG GetColumnCount();
  // A copy of a cell of the COM form; the column is ignored for a
  // one-dimensional form. Out of range (or kNoIndex) gives an empty VARIANT.
  TrxVariant GetAt(LONG row, LONG column = 0);
  // Stores a copy of the value. Row kAppend appends a row; kNoIndex is
  // refused. Rows and cells grow as needed, new cells are empty. Writes to a
  // wrapped array go to that array and must stay within its bounds.
  // Returns false when the write was refused.
  bool SetAt(const VARIANT& value, LONG row, LONG column = 0);
  bool SetAt(TrxStringView text, LONG row, LONG column = 0);
  // First row whose cell (row, 0) compares equal to the value (two nulls
  // are equal), or kNoIndex.
  LONG Find(const VARIANT& value) const;
  // The COM form as an array of VARIANTs in `out` (which is cleared first);
  // VT_ARRAY|VT_VARIANT with no array when the table is empty.
  void ToVariant(VARIANT* out);
  // "(a,b,c)" for one column, "(a,b)(c,d)" for rows of several columns,
  // "()" for an empty table. Strings are written as they are, 32-bit
  // integers in decimal, booleans as TRUE/FALSE, anything else as
  // <ValueNotSet>.
  TrxString ToText();

  // ---- mapping tables ----
  // A row for `key` (matched without regard to case; an existing key is
  // overwritten, value and columns) whose value is the host property name,
  // or for kind 2 the constant itself.
  void AddPropertyMapping(TrxStringView key, LONG type0, TrxStringView hostProperty, LONG type1, LONG kind,
                          TrxStringView description);
  void AddPropertyMapping(TrxStringView key, LONG type0, const VARIANT& constant, LONG type1, LONG kind,
                          TrxStringView description);
  // A row for `key` whose value is the host request id.
  void AddMethodMapping(TrxStringView key, LONG type0, LONG requestId, LONG type1, LONG kind,
                        TrxStringView description);
  // Row index of the key, or -1; `value` (optional) receives a copy of its value.
  LONG LookupKey(TrxStringView key, VARIANT* value = nullptr) const;
  // Row index of the first key whose value compares equal, or -1; `key`
  // (optional) receives that key.
  LONG LookupValue(const VARIANT& value, TrxString* key = nullptr) const;
  LONG GetKeyCount() const noexcept { return static_cast<LONG>(m_keys.size()); }
  // The key at an index; empty when out of range.
  TrxString GetKeyAt(LONG index) const;
  // The cell of the working rows, without going through the COM form;
  // nullptr when it does not exist.
  const VARIANT* GetCell(LONG row, LONG column) const noexcept;
  // Number of working rows.
  LONG GetRowCount() const noexcept { return static_cast<LONG>(m_rows.size()); }

 private:
  void LoadArray(SAFEARRAY* array, VARTYPE elementType);
  void SetFromArray(SAFEARRAY* array, VARTYPE elementType, bool copy);
  void Sync();
  void FreeArray() noexcept;
  void AddMapping(TrxStringView key, const VARIANT& value, LONG type0, LONG type1, LONG kind,
                  TrxStringView description);
  // Cell (row, column) of the COM form into `out`; false when out of range.
  bool ReadComCell(LONG row, LONG column, VARIANT* out) const;
  void StoreCell(LONG row, LONG column, const VARIANT& value);

  SAFEARRAY* m_array = nullptr;
  VARTYPE m_arrayType = VT_VARIANT;  // element type of m_array
  bool m_rowFirst = true;
  bool m_owned = true;
  bool m_changed = false;
  std::vector<std::vector<TrxVariant>> m_rows;
  std::vector<TrxString> m_keys;
  std::vector<TrxVariant> m_values;
};
