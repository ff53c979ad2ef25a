// Wide-string functions: ordinal comparison and simple case mapping.
#include "pal_string.h"

#include "pal_kernel.h"

namespace {

// ---- case mapping -------------------------------------------------------------------

bool Even(WCHAR c) { return (c & 1) == 0; }

WCHAR ToLower(WCHAR c) {
  if (c < 0x80) return c >= u'A' && c <= u'Z' ? static_cast<WCHAR>(c + 32) : c;
  if (c < 0x100) return c >= 0xC0 && c <= 0xDE && c != 0xD7 ? static_cast<WCHAR>(c + 32) : c;
  if (c < 0x180) {  // Latin Extended-A
    if (c == 0x130) return u'i';
    if (c == 0x178) return 0xFF;
    if ((c < 0x138 && c != 0x131 && Even(c)) || (c >= 0x139 && c <= 0x148 && !Even(c)) ||
        (c >= 0x14A && c <= 0x177 && Even(c)) || (c >= 0x179 && c <= 0x17E && !Even(c)))
      return static_cast<WCHAR>(c + 1);
    return c;
  }
  if (c >= 0x370 && c < 0x400) {  // Greek and Coptic
    if (c == 0x370 || c == 0x372 || c == 0x376 || c == 0x3F7 || c == 0x3FA) return static_cast<WCHAR>(c + 1);
    if (c >= 0x3D8 && c <= 0x3EF) return Even(c) ? static_cast<WCHAR>(c + 1) : c;
    if ((c >= 0x391 && c <= 0x3A1) || (c >= 0x3A3 && c <= 0x3AB)) return static_cast<WCHAR>(c + 32);
    if (c >= 0x388 && c <= 0x38A) return static_cast<WCHAR>(c + 37);
    if (c == 0x38E || c == 0x38F) return static_cast<WCHAR>(c + 63);
    if (c >= 0x3FD) return static_cast<WCHAR>(c - 130);
    switch (c) {
      case 0x37F: return 0x3F3;
      case 0x386: return 0x3AC;
      case 0x38C: return 0x3CC;
      case 0x3CF: return 0x3D7;
      case 0x3F4: return 0x3B8;
      case 0x3F9: return 0x3F2;
      default: return c;
    }
  }
  if (c >= 0x400 && c < 0x530) {  // Cyrillic and Cyrillic Supplement
    if (c < 0x410) return static_cast<WCHAR>(c + 80);
    if (c < 0x430) return static_cast<WCHAR>(c + 32);
    if (c == 0x4C0) return 0x4CF;
    if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || c >= 0x4D0)
      return Even(c) ? static_cast<WCHAR>(c + 1) : c;
    if (c >= 0x4C1 && c <= 0x4CE) return Even(c) ? c : static_cast<WCHAR>(c + 1);
    return c;
  }
  return c;
}

WCHAR ToUpper(WCHAR c) {
  if (c < 0x80) return c >= u'a' && c <= u'z' ? static_cast<WCHAR>(c - 32) : c;
  if (c < 0x100) {
    if (c == 0xB5) return 0x39C;
    if (c == 0xFF) return 0x178;
    return c >= 0xE0 && c <= 0xFE && c != 0xF7 ? static_cast<WCHAR>(c - 32) : c;
  }
  if (c < 0x180) {  // Latin Extended-A
    if (c == 0x131) return u'I';
    if (c == 0x17F) return u'S';
    if ((c < 0x138 && c != 0x130 && !Even(c)) || (c >= 0x13A && c <= 0x148 && Even(c)) ||
        (c >= 0x14B && c <= 0x177 && !Even(c)) || (c >= 0x17A && c <= 0x17E && Even(c)))
      return static_cast<WCHAR>(c - 1);
    return c;
  }
  if (c >= 0x370 && c < 0x400) {  // Greek and Coptic
    if (c == 0x371 || c == 0x373 || c == 0x377 || c == 0x3F8 || c == 0x3FB) return static_cast<WCHAR>(c - 1);
    if (c >= 0x3D8 && c <= 0x3EF) return Even(c) ? c : static_cast<WCHAR>(c - 1);
    if ((c >= 0x3B1 && c <= 0x3C1) || (c >= 0x3C3 && c <= 0x3CB)) return static_cast<WCHAR>(c - 32);
    if (c >= 0x3AD && c <= 0x3AF) return static_cast<WCHAR>(c - 37);
    if (c == 0x3CD || c == 0x3CE) return static_cast<WCHAR>(c - 63);
    if (c >= 0x37B && c <= 0x37D) return static_cast<WCHAR>(c + 130);
    switch (c) {
      case 0x3AC: return 0x386;
      case 0x3C2: return 0x3A3;
      case 0x3CC: return 0x38C;
      case 0x3D0: return 0x392;
      case 0x3D1: return 0x398;
      case 0x3D5: return 0x3A6;
      case 0x3D6: return 0x3A0;
      case 0x3D7: return 0x3CF;
      case 0x3F0: return 0x39A;
      case 0x3F1: return 0x3A1;
      case 0x3F2: return 0x3F9;
      case 0x3F3: return 0x37F;
      case 0x3F5: return 0x395;
      default: return c;
    }
  }
  if (c >= 0x400 && c < 0x530) {  // Cyrillic and Cyrillic Supplement
    if (c >= 0x430 && c < 0x450) return static_cast<WCHAR>(c - 32);
    if (c >= 0x450 && c < 0x460) return static_cast<WCHAR>(c - 80);
    if (c == 0x4CF) return 0x4C0;
    if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || c >= 0x4D0)
      return Even(c) ? c : static_cast<WCHAR>(c - 1);
    if (c >= 0x4C1 && c <= 0x4CE) return Even(c) ? static_cast<WCHAR>(c - 1) : c;
    return c;
  }
  return c;
}

// ---- comparison -------------------------------------------------------------------------

size_t Length(const WCHAR* s) {
  size_t n = 0;
  while (s[n]) ++n;
  return n;
}

int CompareOrdinal(const WCHAR* a, size_t na, const WCHAR* b, size_t nb, bool ignoreCase) {
  const size_t n = na < nb ? na : nb;
  for (size_t i = 0; i < n; ++i) {
    WCHAR ca = a[i], cb = b[i];
    if (ignoreCase) {
      ca = ToUpper(ca);
      cb = ToUpper(cb);
    }
    if (ca != cb) return ca < cb ? CSTR_LESS_THAN : CSTR_GREATER_THAN;
  }
  if (na == nb) return CSTR_EQUAL;
  return na < nb ? CSTR_LESS_THAN : CSTR_GREATER_THAN;
}

}  // namespace

extern "C" {

int WINAPI lstrcmpiW(LPCWSTR lpString1, LPCWSTR lpString2) {
  if (!lpString1 || !lpString2) return (lpString1 ? 1 : 0) - (lpString2 ? 1 : 0);
  return CompareOrdinal(lpString1, Length(lpString1), lpString2, Length(lpString2), true) - CSTR_EQUAL;
}

LPWSTR WINAPI lstrcpynW(LPWSTR lpString1, LPCWSTR lpString2, int iMaxLength) {
  if (!lpString1 || !lpString2) return nullptr;
  if (iMaxLength <= 0) return lpString1;
  int i = 0;
  for (; i < iMaxLength - 1 && lpString2[i]; ++i) lpString1[i] = lpString2[i];
  lpString1[i] = 0;
  return lpString1;
}

int WINAPI CompareStringW(LCID, DWORD dwCmpFlags, PCNZWCH lpString1, int cchCount1, PCNZWCH lpString2,
                          int cchCount2) {
  if (!lpString1 || !lpString2) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (dwCmpFlags & ~static_cast<DWORD>(NORM_IGNORECASE | LINGUISTIC_IGNORECASE | SORT_STRINGSORT)) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  const size_t n1 = cchCount1 < 0 ? Length(lpString1) : static_cast<size_t>(cchCount1);
  const size_t n2 = cchCount2 < 0 ? Length(lpString2) : static_cast<size_t>(cchCount2);
  return CompareOrdinal(lpString1, n1, lpString2, n2, (dwCmpFlags & (NORM_IGNORECASE | LINGUISTIC_IGNORECASE)) != 0);
}

int WINAPI CompareStringOrdinal(LPCWCH lpString1, int cchCount1, LPCWCH lpString2, int cchCount2, BOOL bIgnoreCase) {
  if (!lpString1 || !lpString2) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const size_t n1 = cchCount1 < 0 ? Length(lpString1) : static_cast<size_t>(cchCount1);
  const size_t n2 = cchCount2 < 0 ? Length(lpString2) : static_cast<size_t>(cchCount2);
  return CompareOrdinal(lpString1, n1, lpString2, n2, bIgnoreCase != FALSE);
}

DWORD WINAPI CharUpperBuffW(LPWSTR lpsz, DWORD cchLength) {
  if (!lpsz) return 0;
  for (DWORD i = 0; i < cchLength; ++i) lpsz[i] = ToUpper(lpsz[i]);
  return cchLength;
}

DWORD WINAPI CharLowerBuffW(LPWSTR lpsz, DWORD cchLength) {
  if (!lpsz) return 0;
  for (DWORD i = 0; i < cchLength; ++i) lpsz[i] = ToLower(lpsz[i]);
  return cchLength;
}

}  // extern "C"
