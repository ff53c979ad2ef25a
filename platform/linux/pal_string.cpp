// Wide-string functions: ordinal comparison, simple case mapping, UTF-8.
#include "pal_string.h"

#include <cstdint>
#include <string>

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

// Whether a CharUpperW/CharLowerW argument is a character rather than a pointer.
bool IsCharacterArgument(LPWSTR p) { return (reinterpret_cast<uintptr_t>(p) >> 16) == 0; }

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

// ---- UTF-8 --------------------------------------------------------------------------------

bool IsUtf8CodePage(UINT codePage) {
  return codePage == CP_UTF8 || codePage == CP_ACP || codePage == CP_OEMCP || codePage == CP_THREAD_ACP;
}

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point at s[i] (i < n) and advances i. A malformed sequence
// gives kReplacement and `bad`; i then stops at the first byte that does not
// belong to it (the maximal valid prefix is consumed).
char32_t DecodeUtf8(const unsigned char* s, size_t n, size_t& i, bool& bad) {
  const unsigned char lead = s[i++];
  bad = false;
  if (lead < 0x80) return lead;
  int more;
  unsigned char low = 0x80, high = 0xBF;
  char32_t value;
  if (lead >= 0xC2 && lead <= 0xDF) {
    more = 1;
    value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    more = 2;
    value = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    more = 3;
    value = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    bad = true;
    return kReplacement;
  }
  for (int k = 0; k < more; ++k) {
    if (i >= n || s[i] < low || s[i] > high) {
      bad = true;
      return kReplacement;
    }
    value = (value << 6) | (s[i++] & 0x3F);
    low = 0x80;
    high = 0xBF;
  }
  return value;
}

}  // namespace

extern "C" {

int WINAPI lstrlenW(LPCWSTR lpString) { return lpString ? static_cast<int>(Length(lpString)) : 0; }

int WINAPI lstrcmpW(LPCWSTR lpString1, LPCWSTR lpString2) {
  if (!lpString1 || !lpString2) return (lpString1 ? 1 : 0) - (lpString2 ? 1 : 0);
  return CompareOrdinal(lpString1, Length(lpString1), lpString2, Length(lpString2), false) - CSTR_EQUAL;
}

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

LPWSTR WINAPI CharUpperW(LPWSTR lpsz) {
  if (IsCharacterArgument(lpsz))
    return reinterpret_cast<LPWSTR>(static_cast<uintptr_t>(ToUpper(static_cast<WCHAR>(reinterpret_cast<uintptr_t>(lpsz)))));
  for (LPWSTR p = lpsz; *p; ++p) *p = ToUpper(*p);
  return lpsz;
}

LPWSTR WINAPI CharLowerW(LPWSTR lpsz) {
  if (IsCharacterArgument(lpsz))
    return reinterpret_cast<LPWSTR>(static_cast<uintptr_t>(ToLower(static_cast<WCHAR>(reinterpret_cast<uintptr_t>(lpsz)))));
  for (LPWSTR p = lpsz; *p; ++p) *p = ToLower(*p);
  return lpsz;
}

int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCCH lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar) {
  if (!IsUtf8CodePage(CodePage) || !lpMultiByteStr || cbMultiByte == 0 || cbMultiByte < -1 || cchWideChar < 0 ||
      (cchWideChar > 0 && !lpWideCharStr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  // CP_UTF8 takes only MB_ERR_INVALID_CHARS; the code pages we map to UTF-8
  // also take MB_PRECOMPOSED, which has no effect here.
  const DWORD allowed = CodePage == CP_UTF8 ? MB_ERR_INVALID_CHARS : MB_ERR_INVALID_CHARS | MB_PRECOMPOSED;
  if (dwFlags & ~allowed) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  const auto* in = reinterpret_cast<const unsigned char*>(lpMultiByteStr);
  const size_t n = cbMultiByte < 0 ? std::char_traits<char>::length(lpMultiByteStr) + 1 : static_cast<size_t>(cbMultiByte);

  size_t written = 0;
  auto put = [&](WCHAR unit) {
    if (cchWideChar > 0) {
      if (written >= static_cast<size_t>(cchWideChar)) return false;
      lpWideCharStr[written] = unit;
    }
    ++written;
    return true;
  };
  for (size_t i = 0; i < n;) {
    bool bad;
    const char32_t cp = DecodeUtf8(in, n, i, bad);
    if (bad && (dwFlags & MB_ERR_INVALID_CHARS)) {
      SetLastError(ERROR_NO_UNICODE_TRANSLATION);
      return 0;
    }
    bool ok;
    if (cp >= 0x10000)
      ok = put(static_cast<WCHAR>(0xD800 + ((cp - 0x10000) >> 10))) && put(static_cast<WCHAR>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    else
      ok = put(static_cast<WCHAR>(cp));
    if (!ok) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return 0;
    }
  }
  if (written > static_cast<size_t>(INT32_MAX)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return static_cast<int>(written);
}

int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWCH lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCCH lpDefaultChar, LPBOOL lpUsedDefaultChar) {
  if (!IsUtf8CodePage(CodePage) || !lpWideCharStr || cchWideChar == 0 || cchWideChar < -1 || cbMultiByte < 0 ||
      (cbMultiByte > 0 && !lpMultiByteStr) || lpDefaultChar || lpUsedDefaultChar) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const DWORD allowed = CodePage == CP_UTF8 ? WC_ERR_INVALID_CHARS : WC_ERR_INVALID_CHARS | WC_NO_BEST_FIT_CHARS;
  if (dwFlags & ~allowed) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  const size_t n = cchWideChar < 0 ? Length(lpWideCharStr) + 1 : static_cast<size_t>(cchWideChar);

  size_t written = 0;
  char bytes[4];
  for (size_t i = 0; i < n; ++i) {
    char32_t cp = lpWideCharStr[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < n && lpWideCharStr[i + 1] >= 0xDC00 && lpWideCharStr[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (lpWideCharStr[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      if (dwFlags & WC_ERR_INVALID_CHARS) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
      }
      cp = kReplacement;
    }
    size_t count;
    if (cp < 0x80) {
      bytes[0] = static_cast<char>(cp);
      count = 1;
    } else if (cp < 0x800) {
      bytes[0] = static_cast<char>(0xC0 | (cp >> 6));
      bytes[1] = static_cast<char>(0x80 | (cp & 0x3F));
      count = 2;
    } else if (cp < 0x10000) {
      bytes[0] = static_cast<char>(0xE0 | (cp >> 12));
      bytes[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      bytes[2] = static_cast<char>(0x80 | (cp & 0x3F));
      count = 3;
    } else {
      bytes[0] = static_cast<char>(0xF0 | (cp >> 18));
      bytes[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      bytes[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      bytes[3] = static_cast<char>(0x80 | (cp & 0x3F));
      count = 4;
    }
    if (cbMultiByte > 0) {
      if (written + count > static_cast<size_t>(cbMultiByte)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
      }
      for (size_t k = 0; k < count; ++k) lpMultiByteStr[written + k] = bytes[k];
    }
    written += count;
  }
  if (written > static_cast<size_t>(INT32_MAX)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return static_cast<int>(written);
}

}  // extern "C"
