// A typed property value of the simulated client: a scalar, a list or a
// table, handed out as the VARIANT shape its kind stands for.
#pragma once

#include <vector>

#include "platform/trxplatform.h"

class CNVSimValue {
 public:
  enum class Kind {
    Empty,        // VT_EMPTY
    String,       // VT_BSTR
    Int,          // VT_I4
    Bool,         // VT_BOOL
    Strings,      // VT_ARRAY|VT_VARIANT, each element a VT_BSTR
    Ints,         // VT_ARRAY|VT_VARIANT, each element a VT_I4
    Variants,     // VT_ARRAY|VT_VARIANT, elements of their own types
    StringArray,  // VT_ARRAY|VT_BSTR
    IntArray,     // VT_ARRAY|VT_I4
    Table,        // two-dimensional VT_ARRAY|VT_VARIANT, [row][column]
  };

  CNVSimValue() = default;
  static CNVSimValue FromString(TrxStringView text);
  static CNVSimValue FromInt(LONG value);
  static CNVSimValue FromBool(bool value);
  // An empty list, or table, of that kind.
  static CNVSimValue EmptyOf(Kind kind);

  // "string", "int", "bool", "empty", "strings", "ints", "variants",
  // "string-array", "int-array", "table".
  static bool ParseKind(TrxStringView name, Kind& kind);
  static TrxString KindName(Kind kind);
  // Scalar text: a string as it is, an int in decimal (optional sign), a
  // bool as true/false, yes/no or 1/0 (any letter case); an empty kind
  // takes no text. A list kind splits the text at '|' (an empty text is an
  // empty list); a Variants list then holds strings. Tables have no text
  // form. False, with the reason in `error`, when the text does not fit.
  static bool FromText(Kind kind, TrxStringView text, CNVSimValue& value, TrxString* error);
  // The value of a VARIANT: a string, a 32-bit integer, a boolean or
  // nothing; a one-dimensional array of VARIANTs, strings or 32-bit
  // integers; a two-dimensional array of VARIANTs. False for other shapes.
  static bool FromVariant(const VARIANT& variant, CNVSimValue& value);
  // Parses one scalar into a VARIANT (String, Int, Bool or Empty kinds).
  static bool ScalarFromText(Kind kind, TrxStringView text, TrxVariant& value, TrxString* error);

  Kind GetKind() const noexcept { return m_kind; }
  bool IsList() const noexcept;
  bool IsScalar() const noexcept { return !IsList() && m_kind != Kind::Table; }
  // Items of a list; the scalar of a scalar kind.
  const std::vector<TrxVariant>& GetItems() const noexcept { return m_items; }
  const TrxVariant& GetScalar() const noexcept { return m_scalar; }
  const std::vector<std::vector<TrxVariant>>& GetRows() const noexcept { return m_rows; }

  // List operations (ignored for other kinds). An appended item takes the
  // list's element type (Variants keep the item's own type).
  void AppendItem(const VARIANT& item);
  void RemoveFirstItem();
  bool ContainsItem(const VARIANT& item) const;
  void AppendRow(std::vector<TrxVariant> row);

  // The value in its VARIANT shape; `out` is cleared first.
  void ToVariant(VARIANT* out) const;
  // Text of a scalar; the items' texts joined with '|' for a list; rows
  // joined with ';' for a table.
  TrxString ToText() const;

  // Text of a single VARIANT: a string as it is, a bool as TRUE or FALSE,
  // a number in decimal, empty for anything without a text form.
  static TrxString VariantText(const VARIANT& value);
  // A VARIANT of the element type of a list kind, from an item's text.
  static bool ItemFromText(Kind kind, TrxStringView text, TrxVariant& item, TrxString* error);

 private:
  Kind m_kind = Kind::Empty;
  TrxVariant m_scalar;
  std::vector<TrxVariant> m_items;
  std::vector<std::vector<TrxVariant>> m_rows;
};
