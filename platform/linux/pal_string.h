// Wide-string functions of kernel32/user32 for the Linux build: comparison,
// copying and case mapping.
//
// Limits shared by everything below:
//  - Locales are ignored. Comparison is ordinal by UTF-16 code unit (as
//    CompareStringOrdinal), not the linguistic order of Windows' CompareStringW:
//    "B" < "a", and ignorable characters are not ignored.
//  - Case mapping is the simple one-to-one Unicode mapping for ASCII,
//    Latin-1, Latin Extended-A, Greek and Coptic, Cyrillic and the Cyrillic
//    Supplement; all other characters are their own upper and lower case.
// Failures set the thread's last error (GetLastError) as Windows does.
#pragma once

#include "pal_types.h"

typedef const WCHAR* PCNZWCH;
typedef const WCHAR* LPCWCH;

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

extern "C" {

// Compares two null-terminated strings case-insensitively, through the
// upper-case mapping: negative, 0 or positive. Ordinal (see the limits above).
// A null string sorts before any other and equals another null.
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

}  // extern "C"
