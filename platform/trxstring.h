// Wide strings and the few conversions the core needs, on both platforms.
//
// TrxString holds UTF-16 text (std::wstring on Windows, std::u16string on
// Linux). The conversions are plain C++ so that they behave the same
// everywhere; invalid input is replaced by U+FFFD, never rejected.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using TrxString = std::basic_string<OLECHAR>;
using TrxStringView = std::basic_string_view<OLECHAR>;

// UTF-8 (or plain ASCII) to UTF-16.
TrxString TrxWiden(std::string_view utf8);
// UTF-16 to UTF-8.
std::string TrxNarrow(TrxStringView utf16);
// Appends the UTF-8 form of one code point (at most U+10FFFF).
void TrxAppendUtf8(std::string& out, uint32_t codePoint);
// Decimal text of a signed or unsigned integer.
TrxString TrxDecimal(int64_t value);
TrxString TrxDecimalU(uint64_t value);
// Upper-case hexadecimal text without prefix or padding ("8004000C").
TrxString TrxHex(uint32_t value);
// The UTF-16 little-endian bytes of a text, as files hold it.
std::vector<unsigned char> TrxUtf16LEBytes(TrxStringView text);
// Length of a null-terminated wide string; 0 for nullptr.
size_t TrxLength(const OLECHAR* text);
// A view of a null-terminated wide string; empty for nullptr.
inline TrxStringView TrxView(const OLECHAR* text) { return text ? TrxStringView(text, TrxLength(text)) : TrxStringView(); }
// Case-insensitive equality of two wide strings (simple case folding of the
// Basic Multilingual Plane, as the platform's case-insensitive comparison).
bool TrxEqualsNoCase(TrxStringView a, TrxStringView b);
// Parses a decimal integer the way the C runtime's _wtol does: leading white
// space skipped, optional sign, digits up to the first non-digit; 0 when no
// digit is there.
long TrxParseLong(TrxStringView text);
