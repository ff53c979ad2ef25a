// VariantChangeType / VariantChangeTypeEx.
//
// The rules are those of oleaut32: range checks with DISP_E_OVERFLOW, real
// numbers rounded half to even (after a range check on the unrounded value),
// VARIANT_TRUE as -1, text parsed with the NUMPRS_STD grammar of
// VarParseNumFromStr (text below the smallest real is 0) and reals written with
// 15 (7 for VT_R4) significant digits, exact ties rounded away from zero.
#include "pal_oleauto.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

namespace {

// ---- helpers -------------------------------------------------------------------------

bool IsTypeValid(VARTYPE vt) {
  const VARTYPE extra = vt & ~VT_TYPEMASK;
  const VARTYPE base = vt & VT_TYPEMASK;
  if (extra & (VT_VECTOR | VT_RESERVED)) return false;
  if (base >= VT_VOID && base != VT_RECORD && base != VT_CLSID) return false;
  if ((extra & (VT_BYREF | VT_ARRAY)) && base <= VT_NULL) return false;
  return base != 15;
}

BSTR MakeBstr(const std::u16string& text) { return SysAllocStringLen(text.data(), static_cast<UINT>(text.size())); }

std::u16string Widen(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// Rounds to the nearest integer, halves to the even neighbour.
double RoundHalfEven(double value) {
  const double whole = std::trunc(value);
  const double fraction = value - whole;
  if (fraction > 0.5) return whole + 1;
  if (fraction < -0.5) return whole - 1;
  if (fraction == 0.5 || fraction == -0.5) {
    const bool odd = std::fmod(whole, 2.0) != 0;
    return odd ? whole + (fraction > 0 ? 1 : -1) : whole;
  }
  return whole;
}

// ---- number text ----------------------------------------------------------------------

bool IsSpace(OLECHAR c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

bool IsDigit(OLECHAR c) { return c >= u'0' && c <= u'9'; }

// A number read from text: decimal `digits` * 10^exponent, or a hexadecimal
// or octal bit pattern.
struct ParsedNumber {
  bool negative = false;
  bool radix = false;          // "&H" or "&O" number
  bool radixOverflow = false;  // more than 64 bits
  uint64_t radixValue = 0;
  std::string digits;  // decimal digits without leading zeros; empty for 0
  int64_t exponent = 0;
};

// Parses text with the NUMPRS_STD grammar (every character must be used) and
// the en-US number characters. DISP_E_TYPEMISMATCH when it is not a number.
HRESULT ParseNumber(const OLECHAR* text, ParsedNumber& out) {
  if (!text) return DISP_E_TYPEMISMATCH;
  constexpr int64_t kExponentLimit = 1000000000;
  const OLECHAR* p = text;
  bool leadingPlus = false, leadingMinus = false, currency = false, parens = false;
  bool decimalPoint = false, hex = false, octal = false, haveDigits = false;

  // Signs, white space, currency symbol and parenthesis before the number.
  for (;;) {
    if (*p == u'.') {
      decimalPoint = true;
      ++p;
      break;
    }
    if (IsSpace(*p)) {
      while (IsSpace(*p)) ++p;
    } else if (*p == u',') {
      return DISP_E_TYPEMISMATCH;  // no thousands separator before the first digit
    } else if (*p == u'+' && !leadingPlus) {
      leadingPlus = true;
      ++p;
    } else if (*p == u'-' && !leadingMinus) {
      leadingMinus = true;
      out.negative = true;
      ++p;
    } else if (*p == u'$' && !currency) {
      currency = true;
      ++p;
    } else if (*p == u'(' && !parens) {
      parens = true;
      ++p;
    } else {
      break;
    }
  }
  if (!currency && !decimalPoint && p[0] == u'&') {
    if (p[1] == u'H' || p[1] == u'h') hex = true;
    if (p[1] == u'O' || p[1] == u'o') octal = true;
    if (hex || octal) p += 2;
  }
  out.radix = hex || octal;

  auto addRadixDigit = [&](unsigned digit) {
    const unsigned shift = hex ? 4 : 3;
    if (out.radixValue >> (64 - shift)) out.radixOverflow = true;
    out.radixValue = (out.radixValue << shift) | digit;
    haveDigits = true;
  };

  bool exponentSeen = false, inExponent = false, exponentNegative = false;
  while (*p) {
    const OLECHAR c = *p;
    if (IsDigit(c)) {
      if (inExponent) {
        int64_t value = 0;
        while (IsDigit(*p)) {
          value = std::min<int64_t>(value * 10 + (*p - u'0'), kExponentLimit);
          ++p;
        }
        out.exponent += exponentNegative ? -value : value;
        inExponent = false;
        continue;
      }
      if (out.radix) {
        if (octal && c >= u'8') break;
        addRadixDigit(c - u'0');
      } else {
        if (c != u'0' || !out.digits.empty()) out.digits.push_back(static_cast<char>(c));
        if (decimalPoint) --out.exponent;
        haveDigits = true;
      }
      ++p;
    } else if (c == u',' && !out.radix) {
      ++p;  // thousands separator
    } else if (c == u'.' && !out.radix && !decimalPoint && !exponentSeen) {
      decimalPoint = true;
      ++p;
    } else if (hex && ((c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F'))) {
      addRadixDigit((c | 0x20) - u'a' + 10);
      ++p;
    } else if ((c == u'e' || c == u'E') && !out.radix && !currency && !exponentSeen) {
      exponentSeen = inExponent = true;
      ++p;
    } else if (inExponent && c == u'+') {
      ++p;
    } else if (inExponent && c == u'-') {
      exponentNegative = true;
      ++p;
    } else {
      break;
    }
  }
  if (inExponent) return DISP_E_TYPEMISMATCH;  // "1e" without exponent digits

  // Separators, white space, signs and the closing parenthesis after it.
  for (;;) {
    if (*p == u',' && !out.radix) {
      ++p;
    } else if (IsSpace(*p)) {
      while (IsSpace(*p)) ++p;
    } else if (*p == u'+' && !leadingPlus) {
      ++p;
    } else if (*p == u'-' && !leadingMinus) {
      out.negative = true;
      ++p;
    } else if (*p == u')' && parens) {
      out.negative = true;
      ++p;
    } else {
      break;
    }
  }
  if (parens && !out.negative) return DISP_E_TYPEMISMATCH;
  if (*p || !haveDigits) return DISP_E_TYPEMISMATCH;
  out.exponent = std::clamp<int64_t>(out.exponent, -kExponentLimit, kExponentLimit);
  return S_OK;
}

// The magnitude of a decimal number rounded half to even; false when it does
// not fit in 64 bits.
bool RoundedMagnitude(const ParsedNumber& n, uint64_t& out) {
  out = 0;
  if (n.digits.empty()) return true;
  const int64_t count = static_cast<int64_t>(n.digits.size());
  const int64_t integerDigits = count + n.exponent;
  if (integerDigits > 20) return false;
  for (int64_t i = 0; i < integerDigits; ++i) {
    const unsigned digit = i < count ? static_cast<unsigned>(n.digits[i] - '0') : 0;
    if (out > (std::numeric_limits<uint64_t>::max() - digit) / 10) return false;
    out = out * 10 + digit;
  }
  if (integerDigits < 0 || integerDigits >= count) return true;  // below 0.1, or no fraction
  const char first = n.digits[integerDigits];
  bool up = first > '5';
  if (first == '5') {
    const bool moreThanHalf = n.digits.find_first_not_of('0', integerDigits + 1) != std::string::npos;
    up = moreThanHalf || (out & 1);
  }
  if (up) {
    if (out == std::numeric_limits<uint64_t>::max()) return false;
    ++out;
  }
  return true;
}

// The value of a parsed number as a double; false when it is too large for
// one. A number too small for one is 0, as in oleaut32.
bool ParsedToDouble(const ParsedNumber& n, double& out) {
  if (n.radix) {
    // Up to 0x7FFFFFFF as is, 0x80000000 as the lowest 32-bit value.
    if (n.radixOverflow || n.radixValue > 0x80000000u) return false;
    out = n.radixValue == 0x80000000u ? -2147483648.0 : static_cast<double>(n.radixValue);
    return true;
  }
  if (n.digits.empty()) {
    out = n.negative ? -0.0 : 0.0;
    return true;
  }
  const std::string text = n.digits + "e" + std::to_string(n.exponent);
  double value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  // Out of range with a negative decimal exponent: below the smallest double.
  const bool tiny = n.exponent + static_cast<int64_t>(n.digits.size()) <= 0;
  if (result.ec == std::errc::result_out_of_range && tiny)
    value = 0;
  else if (result.ec != std::errc() || std::isinf(value))
    return false;
  out = n.negative ? -value : value;
  return true;
}

// ---- the conversion targets -------------------------------------------------------------

// A source value after VT_INT/VT_UINT are mapped to VT_I4/VT_UI4.
struct Source {
  VARTYPE vt;
  const VARIANT* v;
};

// VT_I1 is a signed char whatever the signedness of CHAR.
int I1Of(const VARIANT* v) { return static_cast<signed char>(v->cVal); }

template <class T>
constexpr bool kSigned = std::numeric_limits<T>::is_signed;

// Integer value of a source for an integer target type T.
template <class T>
HRESULT ToInteger(const Source& s, T& out) {
  using Limits = std::numeric_limits<T>;
  auto fromSigned = [&](int64_t value) {
    if (value < static_cast<int64_t>(Limits::min()) ||
        (value > 0 && static_cast<uint64_t>(value) > static_cast<uint64_t>(Limits::max())))
      return DISP_E_OVERFLOW;
    out = static_cast<T>(value);
    return S_OK;
  };
  auto fromUnsigned = [&](uint64_t value) {
    if (value > static_cast<uint64_t>(Limits::max())) return DISP_E_OVERFLOW;
    out = static_cast<T>(value);
    return S_OK;
  };
  auto fromReal = [&](double value) {
    // The unrounded value must lie within [min - 0.5, max + 0.5); 64-bit
    // targets use the limits of oleaut32.
    double low, high;
    if constexpr (sizeof(T) == 8) {
      low = kSigned<T> ? -4611686018427387904.0 : -0.5;
      high = kSigned<T> ? 4611686018427387904.0 : 1.844674407370955e19;
    } else {
      low = static_cast<double>(Limits::min()) - 0.5;
      high = static_cast<double>(Limits::max()) + 0.5;
    }
    const bool inRange = sizeof(T) == 8 && !kSigned<T> ? value >= low && value <= high : value >= low && value < high;
    if (!inRange) return DISP_E_OVERFLOW;  // NaN included
    const double rounded = RoundHalfEven(value);
    if constexpr (kSigned<T>) {
      out = static_cast<T>(rounded);
    } else {
      out = rounded <= 0 ? T(0) : static_cast<T>(rounded);
    }
    return S_OK;
  };

  auto bits = [&](auto value) {
    out = static_cast<T>(value);
    return S_OK;
  };
  const VARIANT* v = s.v;
  switch (s.vt) {
    case VT_EMPTY:
      out = 0;
      return S_OK;
    // Same-size integers of the other signedness keep their bits.
    case VT_I1: return sizeof(T) == 1 ? bits(I1Of(v)) : fromSigned(I1Of(v));
    case VT_UI1: return sizeof(T) == 1 ? bits(v->bVal) : fromUnsigned(v->bVal);
    case VT_I2: return sizeof(T) == 2 ? bits(v->iVal) : fromSigned(v->iVal);
    case VT_UI2: return sizeof(T) == 2 ? bits(v->uiVal) : fromUnsigned(v->uiVal);
    case VT_I4: return sizeof(T) == 4 ? bits(v->lVal) : fromSigned(v->lVal);
    case VT_UI4: return sizeof(T) == 4 ? bits(v->ulVal) : fromUnsigned(v->ulVal);
    case VT_I8: return sizeof(T) == 8 ? bits(v->llVal) : fromSigned(v->llVal);
    case VT_UI8: return sizeof(T) == 8 ? bits(v->ullVal) : fromUnsigned(v->ullVal);
    case VT_BOOL:
      // The 16-bit value as it is: VARIANT_TRUE gives -1, or all bits set.
      out = static_cast<T>(static_cast<int64_t>(v->boolVal));
      return S_OK;
    case VT_R4:
      return fromReal(v->fltVal);
    case VT_R8:
      return fromReal(v->dblVal);
    case VT_DATE:
      return fromReal(v->date);
    case VT_BSTR: {
      ParsedNumber n;
      HRESULT hr = ParseNumber(v->bstrVal, n);
      if (FAILED(hr)) return hr;
      if (n.radix) {
        // The bit pattern, when it fits in the size of the target.
        constexpr uint64_t kMask = sizeof(T) == 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * sizeof(T) % 64)) - 1;
        if (n.radixOverflow || (n.radixValue & ~kMask) != 0) return DISP_E_OVERFLOW;
        out = static_cast<T>(n.radixValue);
        return S_OK;
      }
      uint64_t magnitude;
      if (!RoundedMagnitude(n, magnitude)) return DISP_E_OVERFLOW;
      if (n.negative && magnitude != 0) {
        if (!kSigned<T> || magnitude > static_cast<uint64_t>(Limits::max()) + 1) return DISP_E_OVERFLOW;
        out = static_cast<T>(0 - magnitude);
        return S_OK;
      }
      return fromUnsigned(magnitude);
    }
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

// Real value of a source (for VT_R4, VT_R8 and VT_DATE targets).
HRESULT ToReal(const Source& s, double& out, bool& fromText) {
  const VARIANT* v = s.v;
  fromText = false;
  switch (s.vt) {
    case VT_EMPTY: out = 0; return S_OK;
    case VT_I1: out = I1Of(v); return S_OK;
    case VT_UI1: out = v->bVal; return S_OK;
    case VT_I2: out = v->iVal; return S_OK;
    case VT_UI2: out = v->uiVal; return S_OK;
    case VT_I4: out = v->lVal; return S_OK;
    case VT_UI4: out = v->ulVal; return S_OK;
    case VT_I8: out = static_cast<double>(v->llVal); return S_OK;
    case VT_UI8: out = static_cast<double>(v->ullVal); return S_OK;
    case VT_BOOL: out = v->boolVal; return S_OK;
    case VT_R4: out = v->fltVal; return S_OK;
    case VT_R8: out = v->dblVal; return S_OK;
    case VT_DATE: out = v->date; return S_OK;
    case VT_BSTR: {
      fromText = true;
      ParsedNumber n;
      const HRESULT hr = ParseNumber(v->bstrVal, n);
      if (FAILED(hr)) return hr;
      return ParsedToDouble(n, out) ? S_OK : DISP_E_OVERFLOW;
    }
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

HRESULT ToR4(const Source& s, float& out) {
  double value;
  bool fromText;
  const HRESULT hr = ToReal(s, value, fromText);
  if (FAILED(hr)) return hr;
  const double magnitude = std::fabs(value);
  if (magnitude > FLT_MAX) return DISP_E_OVERFLOW;
  out = static_cast<float>(value);  // below the smallest VT_R4: 0
  return S_OK;
}

HRESULT ToDate(const Source& s, DATE& out) {
  if (s.vt == VT_BSTR) return E_NOTIMPL;  // dates as text are not supported
  double value;
  bool fromText;
  const HRESULT hr = ToReal(s, value, fromText);
  if (FAILED(hr)) return hr;
  // 1 January 100 to 31 December 9999; small types cannot leave it and R4 is
  // not checked, as in oleaut32.
  constexpr double kDateMin = -657434.0, kDateMax = 2958465.0;
  const bool checked = s.vt == VT_I4 || s.vt == VT_UI4 || s.vt == VT_I8 || s.vt == VT_UI8 || s.vt == VT_R8;
  if (checked && (value <= kDateMin - 1.0 || value >= kDateMax + 1.0)) return DISP_E_OVERFLOW;
  out = value;
  return S_OK;
}

bool EqualsNoCase(const OLECHAR* text, const char* ascii) {
  for (; *ascii; ++text, ++ascii) {
    OLECHAR c = *text;
    if (c >= u'A' && c <= u'Z') c = static_cast<OLECHAR>(c + 32);
    char a = *ascii;
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a + 32);
    if (c != static_cast<unsigned char>(a)) return false;
  }
  return *text == 0;
}

bool Equals(const OLECHAR* text, const char* ascii) {
  for (; *ascii; ++text, ++ascii)
    if (*text != static_cast<unsigned char>(*ascii)) return false;
  return *text == 0;
}

HRESULT ToBool(const Source& s, VARIANT_BOOL& out) {
  const VARIANT* v = s.v;
  bool value;
  switch (s.vt) {
    case VT_EMPTY: value = false; break;
    case VT_I1: value = v->cVal != 0; break;
    case VT_UI1: value = v->bVal != 0; break;
    case VT_I2: value = v->iVal != 0; break;
    case VT_UI2: value = v->uiVal != 0; break;
    case VT_I4: value = v->lVal != 0; break;
    case VT_UI4: value = v->ulVal != 0; break;
    case VT_I8: value = v->llVal != 0; break;
    case VT_UI8: value = v->ullVal != 0; break;
    case VT_R4: value = v->fltVal != 0; break;
    case VT_R8: value = v->dblVal != 0; break;
    case VT_DATE: value = v->date != 0; break;
    case VT_BSTR: {
      const OLECHAR* text = v->bstrVal;
      if (!text) return DISP_E_TYPEMISMATCH;
      if (EqualsNoCase(text, "true") || Equals(text, "#TRUE#")) {
        value = true;
      } else if (EqualsNoCase(text, "false") || Equals(text, "#FALSE#")) {
        value = false;
      } else {
        double number;
        bool fromText;
        const HRESULT hr = ToReal(s, number, fromText);
        if (FAILED(hr)) return hr;
        value = number != 0;
      }
      break;
    }
    default:
      return DISP_E_TYPEMISMATCH;
  }
  out = value ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

// True when the exact value lies halfway between two numbers of `digits`
// significant digits: its decimal expansion (printed in full) goes on with a
// 5 and nothing after it.
bool IsDecimalTie(double value, int digits) {
  char buffer[1100];
  const char* end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 1000).ptr;
  const auto exponent = std::find<const char*>(buffer, end, 'e');
  const std::string_view mantissa(buffer, static_cast<size_t>(exponent - buffer));
  // "-d.ddd": the digit after the first `digits` is at digits + 1, after the point.
  const size_t next = static_cast<size_t>(digits) + (value < 0 ? 2 : 1);
  return next < mantissa.size() && mantissa[next] == '5' &&
         mantissa.find_first_not_of('0', next + 1) == std::string_view::npos;
}

// A real number with `digits` significant digits, as oleaut32 writes it:
// %G, except that small numbers whose digits fit are written out in full, and
// exact ties are rounded away from zero (not to even).
std::string FormatReal(double value, int digits) {
  if (std::isfinite(value) && value != 0 && IsDecimalTie(value, digits))
    value = std::nextafter(value, value > 0 ? HUGE_VAL : -HUGE_VAL);
  char buffer[512];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, digits);
  std::string text(buffer, result.ptr);
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);  // "E", "INF", "NAN"
  const size_t e = text.find('E');
  if (e != std::string::npos && std::isfinite(value)) {
    const size_t dot = text.find('.');
    const long extraDecimals = dot != std::string::npos ? static_cast<long>(e - dot) - 2 : 0;
    const long exponent = std::labs(std::strtol(text.c_str() + e + 1, nullptr, 10));
    if (exponent + extraDecimals < digits) {
      result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, digits);
      text.assign(buffer, result.ptr);
      while (!text.empty() && text.back() == '0') text.pop_back();
      if (!text.empty() && text.back() == '.') text.pop_back();
    }
  }
  // No negative zero: "-0" or "-0.000" is written "0".
  if (text.size() > 1 && text[0] == '-' && text.find_first_not_of("0.", 1) == std::string::npos) text = "0";
  return text;
}

HRESULT ToBstr(const Source& s, USHORT flags, BSTR& out) {
  const VARIANT* v = s.v;
  std::string text;
  switch (s.vt) {
    case VT_EMPTY: break;
    case VT_I1: text = std::to_string(I1Of(v)); break;
    case VT_UI1: text = std::to_string(v->bVal); break;
    case VT_I2: text = std::to_string(v->iVal); break;
    case VT_UI2: text = std::to_string(v->uiVal); break;
    case VT_I4: text = std::to_string(v->lVal); break;
    case VT_UI4: text = std::to_string(v->ulVal); break;
    case VT_I8: text = std::to_string(v->llVal); break;
    case VT_UI8: text = std::to_string(v->ullVal); break;
    case VT_R4: text = FormatReal(v->fltVal, 7); break;
    case VT_R8: text = FormatReal(v->dblVal, 15); break;
    case VT_BOOL:
      if (flags & (VARIANT_ALPHABOOL | VARIANT_LOCALBOOL))
        text = v->boolVal == VARIANT_FALSE ? "False" : "True";
      else
        text = std::to_string(v->boolVal);
      break;
    case VT_DATE:
      return E_NOTIMPL;  // dates as text are not supported
    default:
      return DISP_E_TYPEMISMATCH;
  }
  out = MakeBstr(Widen(text));
  return out ? S_OK : E_OUTOFMEMORY;
}

// Reads the value property of an object, for converting it.
HRESULT FetchValue(IDispatch* object, LCID lcid, VARIANT& value) {
  VariantInit(&value);
  if (!object) return DISP_E_BADVARTYPE;
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  const HRESULT hr = object->Invoke(DISPID_VALUE, IID_NULL, lcid, DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr);
  if (FAILED(hr)) {
    VariantClear(&value);
    return DISP_E_TYPEMISMATCH;
  }
  return S_OK;
}

// The numeric, boolean, date and text types: the ones an object converts
// to through its value property.
bool IsScalarType(VARTYPE vt) {
  switch (vt) {
    case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4: case VT_UI4: case VT_I8: case VT_UI8:
    case VT_R4: case VT_R8: case VT_DATE: case VT_BOOL: case VT_BSTR: case VT_CY: case VT_DECIMAL:
      return true;
    default:
      return false;
  }
}

// Converts a by-value, non-array source into `out` (zeroed, vt unset).
HRESULT Coerce(const VARIANT& from, LCID lcid, USHORT flags, VARTYPE target, VARIANT& out) {
  VARTYPE source = from.vt;
  if (source == VT_INT) source = VT_I4;
  if (source == VT_UINT) source = VT_UI4;
  if (target == VT_INT) target = VT_I4;
  if (target == VT_UINT) target = VT_UI4;

  if (source == target) return VariantCopy(&out, &from);

  if (source == VT_DISPATCH && target != VT_UNKNOWN) {
    if (flags & VARIANT_NOVALUEPROP) return DISP_E_TYPEMISMATCH;
    if (IsScalarType(target)) {
      VARIANT value;
      HRESULT hr = FetchValue(from.pdispVal, lcid, value);
      if (FAILED(hr)) return hr;
      // One level only: an object whose value is an object is not followed.
      hr = VariantChangeTypeEx(&out, &value, lcid, flags | VARIANT_NOVALUEPROP, target);
      VariantClear(&value);
      return hr;
    }
  }

  const Source s{source, &from};

  switch (target) {
    case VT_EMPTY:
      if (source == VT_NULL) return DISP_E_TYPEMISMATCH;
      [[fallthrough]];
    case VT_NULL:
      if (source > VT_UINT || source == 15 || source == VT_ERROR) return DISP_E_TYPEMISMATCH;
      return S_OK;
    case VT_CY:
    case VT_DECIMAL:
      if (source == VT_EMPTY) return S_OK;  // zero
      return IsScalarType(source) ? E_NOTIMPL : DISP_E_TYPEMISMATCH;
    case VT_UNKNOWN:
      if (source != VT_DISPATCH) return DISP_E_TYPEMISMATCH;
      if (!from.pdispVal) return S_OK;
      return from.pdispVal->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&out.punkVal));
    case VT_DISPATCH:
      if (source != VT_UNKNOWN) return DISP_E_TYPEMISMATCH;
      if (!from.punkVal) return S_OK;
      return from.punkVal->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&out.pdispVal));
    default:
      break;
  }

  // Our subset has no arithmetic for currency and decimal values.
  if (source == VT_CY || source == VT_DECIMAL) return IsScalarType(target) ? E_NOTIMPL : DISP_E_TYPEMISMATCH;

  switch (target) {
    case VT_I1: return ToInteger(s, out.cVal);
    case VT_UI1: return ToInteger(s, out.bVal);
    case VT_I2: return ToInteger(s, out.iVal);
    case VT_UI2: return ToInteger(s, out.uiVal);
    case VT_I4: return ToInteger(s, out.lVal);
    case VT_UI4: return ToInteger(s, out.ulVal);
    case VT_I8: return ToInteger(s, out.llVal);
    case VT_UI8: return ToInteger(s, out.ullVal);
    case VT_R4: return ToR4(s, out.fltVal);
    case VT_R8: {
      bool fromText;
      return ToReal(s, out.dblVal, fromText);
    }
    case VT_DATE: return ToDate(s, out.date);
    case VT_BOOL: return ToBool(s, out.boolVal);
    case VT_BSTR: return ToBstr(s, flags, out.bstrVal);
    default: return DISP_E_TYPEMISMATCH;
  }
}

// Array conversions: an array to the same array type, or bytes between
// VT_ARRAY|VT_UI1 and VT_BSTR.
HRESULT CoerceArray(const VARIANT& from, VARTYPE target, VARIANT& out) {
  if (target == VT_BSTR && from.vt == (VT_ARRAY | VT_UI1)) {
    SAFEARRAY* bytes = from.parray;
    if (!bytes || bytes->cbElements != 1 || bytes->cDims != 1) return E_INVALIDARG;
    out.bstrVal = SysAllocStringByteLen(static_cast<LPCSTR>(bytes->pvData), bytes->rgsabound[0].cElements);
    return out.bstrVal ? S_OK : E_OUTOFMEMORY;
  }
  if (from.vt == VT_BSTR && target == (VT_ARRAY | VT_UI1)) {
    SAFEARRAYBOUND bound = {SysStringByteLen(from.bstrVal), 0};
    out.parray = SafeArrayCreate(VT_UI1, 1, &bound);
    if (!out.parray) return E_OUTOFMEMORY;
    if (bound.cElements) std::memcpy(out.parray->pvData, from.bstrVal, bound.cElements);
    return S_OK;
  }
  if (from.vt == target) return SafeArrayCopy(from.parray, &out.parray);
  return DISP_E_TYPEMISMATCH;
}

}  // namespace

extern "C" {

HRESULT WINAPI VariantChangeTypeEx(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, LCID lcid, USHORT wFlags,
                                   VARTYPE vt) {
  if (vt == VT_CLSID || !IsTypeValid(pvarSrc->vt) || !IsTypeValid(vt)) return DISP_E_BADVARTYPE;
  if ((pvarSrc->vt & VT_BYREF) && !pvarSrc->byref) return DISP_E_TYPEMISMATCH;

  VARIANT source;
  VariantInit(&source);
  HRESULT hr = VariantCopyInd(&source, pvarSrc);
  if (FAILED(hr)) return hr;

  VARIANT result;
  VariantInit(&result);
  if ((source.vt & VT_ARRAY) || (vt & VT_ARRAY))
    hr = CoerceArray(source, vt, result);
  else
    hr = Coerce(source, lcid, wFlags, vt, result);
  VariantClear(&source);
  if (FAILED(hr)) return hr;  // a failed conversion leaves nothing allocated in result
  result.vt = vt;

  // Move the result into the destination (which may be the source).
  hr = VariantClear(pvargDest);
  if (FAILED(hr)) {
    VariantClear(&result);
    return hr;
  }
  *pvargDest = result;
  return S_OK;
}

HRESULT WINAPI VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags, VARTYPE vt) {
  return VariantChangeTypeEx(pvargDest, pvarSrc, LOCALE_USER_DEFAULT, wFlags, vt);
}

}  // extern "C"
