// Wide-string functions of kernel32/user32 for the Linux build: lengths,
// comparison, copying, case mapping and UTF-8 conversion.
//
// Limits shared by everything below:
//  - Locales are ignored. Comparison is ordinal by UTF-16 code unit (as
//    CompareStringOrdinal), not the linguistic order of Windows' CompareStringW:
//    "B" < "a", and ignorable characters are not ignored.
//  - Case mapping is the simple one-to-one Unicode mapping for ASCII,
//    Latin-1, Latin Extended-A, Greek and Coptic, Cyrillic and the Cyrillic
//    Supplement; all other characters are their own upper and lower case.
//  - The only code pages are UTF-8: CP_UTF8, and CP_ACP, CP_OEMCP and
//    CP_THREAD_ACP which are treated as UTF-8.
// Failures set the thread's last error (GetLastError) as Windows does.
#pragma once

#include "pal_types.h"

typedef const WCHAR* PCNZWCH;
typedef const WCHAR* LPCWCH;
typedef WCHAR* LPWCH;
typedef const CHAR* LPCCH;
typedef CHAR* LPCH;
typedef BOOL* LPBOOL;

#ifndef CP_ACP
#define CP_ACP 0
#define CP_OEMCP 1
#define CP_MACCP 2
#define CP_THREAD_ACP 3
#define CP_SYMBOL 42
#define CP_UTF7 65000
#define CP_UTF8 65001
#endif

#define MB_PRECOMPOSED 0x00000001
#define MB_COMPOSITE 0x00000002
#define MB_USEGLYPHCHARS 0x00000004
#define MB_ERR_INVALID_CHARS 0x00000008

#define WC_DISCARDNS 0x00000010
#define WC_SEPCHARS 0x00000020
#define WC_DEFAULTCHAR 0x00000040
#define WC_ERR_INVALID_CHARS 0x00000080
#define WC_COMPOSITECHECK 0x00000200
#define WC_NO_BEST_FIT_CHARS 0x00000400

#define NORM_IGNORECASE 0x00000001
#define NORM_IGNORENONSPACE 0x00000002
#define NORM_IGNORESYMBOLS 0x00000004
#define LINGUISTIC_IGNORECASE 0x00000010
#define LINGUISTIC_IGNOREDIACRITIC 0x00000020
#define SORT_STRINGSORT 0x00001000
#define NORM_IGNOREKANATYPE 0x00010000
#define NORM_IGNOREWIDTH 0x00020000
#define NORM_LINGUISTIC_CASING 0x08000000

#define CSTR_LESS_THAN 1
#define CSTR_EQUAL 2
#define CSTR_GREATER_THAN 3

#ifndef ERROR_INVALID_FLAGS
#define ERROR_INVALID_FLAGS 1004L
#endif
#ifndef ERROR_NO_UNICODE_TRANSLATION
#define ERROR_NO_UNICODE_TRANSLATION 1113L
#endif

extern "C" {

// Length of a null-terminated string in WCHARs; 0 for null.
int WINAPI lstrlenW(LPCWSTR lpString);

// Compares two null-terminated strings: negative, 0 or positive. Ordinal (see
// the limits above), lstrcmpiW through the upper-case mapping. A null string
// sorts before any other and equals another null.
int WINAPI lstrcmpW(LPCWSTR lpString1, LPCWSTR lpString2);
int WINAPI lstrcmpiW(LPCWSTR lpString1, LPCWSTR lpString2);

// Copies at most iMaxLength - 1 characters of lpString2 and a terminator into
// lpString1 (nothing when iMaxLength is 0 or less). Returns lpString1, or null
// when either pointer is null.
LPWSTR WINAPI lstrcpynW(LPWSTR lpString1, LPCWSTR lpString2, int iMaxLength);

// Compares two strings; a negative length means null-terminated, otherwise
// the given number of WCHARs (embedded nulls compare as U+0000). Returns
// CSTR_LESS_THAN, CSTR_EQUAL or CSTR_GREATER_THAN; 0 with
// ERROR_INVALID_PARAMETER for a null string, or ERROR_INVALID_FLAGS for flags
// other than NORM_IGNORECASE, LINGUISTIC_IGNORECASE (same as NORM_IGNORECASE
// here) and SORT_STRINGSORT (no effect on an ordinal comparison). Locale is
// ignored and the order is ordinal (see the limits above).
int WINAPI CompareStringW(LCID Locale, DWORD dwCmpFlags, PCNZWCH lpString1, int cchCount1, PCNZWCH lpString2,
                          int cchCount2);

// Ordinal comparison of two strings (negative length: null-terminated),
// bIgnoreCase through the upper-case mapping. Returns CSTR_* or 0 with
// ERROR_INVALID_PARAMETER for a null string.
int WINAPI CompareStringOrdinal(LPCWCH lpString1, int cchCount1, LPCWCH lpString2, int cchCount2, BOOL bIgnoreCase);

// Maps cchLength characters in place; returns cchLength (0 for a null buffer).
DWORD WINAPI CharUpperBuffW(LPWSTR lpsz, DWORD cchLength);
DWORD WINAPI CharLowerBuffW(LPWSTR lpsz, DWORD cchLength);

// Maps a null-terminated string in place and returns it. As on Windows, a
// "pointer" whose high bits are zero is a single character: the mapped
// character is returned the same way.
LPWSTR WINAPI CharUpperW(LPWSTR lpsz);
LPWSTR WINAPI CharLowerW(LPWSTR lpsz);

// UTF-8 to UTF-16. cbMultiByte -1 means null-terminated (the terminator is
// converted and counted). With cchWideChar 0 returns the size needed.
// Invalid UTF-8 becomes U+FFFD per maximal bad sequence, or fails with
// ERROR_NO_UNICODE_TRANSLATION under MB_ERR_INVALID_CHARS. Returns the WCHARs
// written, or 0 with ERROR_INSUFFICIENT_BUFFER (too small), ERROR_INVALID_PARAMETER
// (null input, cbMultiByte 0 or below -1, unsupported code page, negative
// cchWideChar) or ERROR_INVALID_FLAGS (CP_UTF8 takes only MB_ERR_INVALID_CHARS,
// as on Windows; the code pages treated as UTF-8 also take MB_PRECOMPOSED).
int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCCH lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar);

// UTF-16 to UTF-8. cchWideChar -1 means null-terminated (terminator counted).
// With cbMultiByte 0 returns the size needed. Lone surrogates become U+FFFD
// (EF BF BD), or fail with ERROR_NO_UNICODE_TRANSLATION under
// WC_ERR_INVALID_CHARS. lpDefaultChar and lpUsedDefaultChar must be null, as
// Windows requires for UTF-8 (ERROR_INVALID_PARAMETER otherwise), for every
// code page. Other errors as MultiByteToWideChar; CP_UTF8 takes only
// WC_ERR_INVALID_CHARS, the code pages treated as UTF-8 also
// WC_NO_BEST_FIT_CHARS (no effect).
int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWCH lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCCH lpDefaultChar, LPBOOL lpUsedDefaultChar);

}  // extern "C"
