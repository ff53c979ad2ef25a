// Typed readers of VARIANT values as the automation classes use them: the
// host answers in whatever type it likes, and a class wants text, a number,
// a flag or a list of names.
#pragma once

#include <vector>

#include "platform/trxplatform.h"

// The value as text (VariantChangeType to VT_BSTR); empty when it has none.
TrxString TrxText(const VARIANT& value);
// The value as a 32-bit integer; `fallback` when it is not one.
LONG TrxLong(const VARIANT& value, LONG fallback = 0);
// The value as a boolean (VariantChangeType to VT_BOOL); false when it is not one.
bool TrxBool(const VARIANT& value);
// The texts of a host list: each element of an array of VARIANT or BSTR
// (along its first dimension), one element for a single string, none for
// anything else.
std::vector<TrxString> TrxStringList(const VARIANT& value);
// Element `index` of a host list as text, or false when the list is shorter
// (or the index negative): parallel host lists are read through this, so a
// position found in one list is never read past the end of another.
bool TrxListItem(const std::vector<TrxString>& list, LONG index, TrxString& item);
// Position of `text` in a host list, compared exactly or in any letter
// case; -1 when it is not there.
LONG TrxFindItem(const std::vector<TrxString>& list, TrxStringView text, bool noCase = false);
// A two-dimensional array of VARIANT (lower bounds 0, indexed [row][column]
// as the value tables' two-dimensional form) with as many rows as the longest
// column and one column per entry of `columns`, filled with string cells;
// cells past the end of a shorter column stay empty.
TrxVariant TrxGrid(const std::vector<std::vector<TrxString>>& columns);
// An empty one-dimensional array of VARIANT.
TrxVariant TrxEmptyArray();
