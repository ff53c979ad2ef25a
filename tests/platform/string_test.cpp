// Wide-string functions: lengths, comparison, copying, case mapping, UTF-8.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "linux/pal_types.h"
#include "linux/pal_string.h"
#include "linux/pal_kernel.h"

namespace {

std::string Bytes(const std::string& s) {
  std::string out;
  char buffer[4];
  for (unsigned char c : s) {
    std::snprintf(buffer, sizeof buffer, "%02X ", c);
    out += buffer;
  }
  return out;
}

std::string Units(const std::u16string& s) {
  std::string out;
  char buffer[8];
  for (char16_t c : s) {
    std::snprintf(buffer, sizeof buffer, "%04X ", static_cast<unsigned>(c));
    out += buffer;
  }
  return out;
}

int Sign(int n) { return (n > 0) - (n < 0); }

TEST(PalString, Lengths) {
  EXPECT_EQ(lstrlenW(u"abc"), 3);
  EXPECT_EQ(lstrlenW(u""), 0);
  EXPECT_EQ(lstrlenW(nullptr), 0);
  EXPECT_EQ(lstrlenW(u"ab\0cd"), 2);
}

TEST(PalString, LstrcmpAndLstrcmpi) {
  struct Case {
    const char16_t* a;
    const char16_t* b;
    int cmp;   // sign of lstrcmpW
    int cmpi;  // sign of lstrcmpiW
  };
  static const Case cases[] = {
      {u"abc", u"abc", 0, 0},
      {u"abc", u"abd", -1, -1},
      {u"abd", u"abc", 1, 1},
      {u"ab", u"abc", -1, -1},
      {u"ABC", u"abc", -1, 0},
      {u"B", u"a", -1, 1},  // ordinal; case-insensitively a < B
      {u"\u00C9T\u00C9", u"\u00E9t\u00E9", -1, 0},
      {u"", u"", 0, 0},
      {u"", u"a", -1, -1},
      {nullptr, nullptr, 0, 0},
      {nullptr, u"", -1, -1},
      {u"", nullptr, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.a ? Units(c.a) : "null") << "vs " << (c.b ? Units(c.b) : "null"));
    EXPECT_EQ(Sign(lstrcmpW(c.a, c.b)), c.cmp);
    EXPECT_EQ(Sign(lstrcmpiW(c.a, c.b)), c.cmpi);
  }
}

TEST(PalString, Lstrcpyn) {
  struct Case {
    const char16_t* source;
    int max;
    std::u16string expected;  // buffer content up to and with the terminator
  };
  static const Case cases[] = {
      {u"hello", 10, std::u16string(u"hello\0", 6)},
      {u"hello", 6, std::u16string(u"hello\0", 6)},
      {u"hello", 3, std::u16string(u"he\0", 3)},
      {u"hello", 1, std::u16string(u"\0", 1)},
      {u"", 4, std::u16string(u"\0", 1)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "max " << c.max);
    std::u16string buffer(10, u'#');
    EXPECT_EQ(lstrcpynW(buffer.data(), c.source, c.max), buffer.data());
    EXPECT_EQ(buffer.substr(0, c.expected.size()), c.expected);
    EXPECT_EQ(buffer[c.expected.size()], u'#') << "nothing written past the terminator";
  }
  std::u16string untouched(4, u'#');
  EXPECT_EQ(lstrcpynW(untouched.data(), u"abc", 0), untouched.data());
  EXPECT_EQ(untouched, u"####");
  EXPECT_EQ(lstrcpynW(nullptr, u"abc", 4), nullptr);
  EXPECT_EQ(lstrcpynW(untouched.data(), nullptr, 4), nullptr);
}

TEST(PalString, CompareString) {
  struct Case {
    const char16_t* a;
    int na;
    const char16_t* b;
    int nb;
    DWORD flags;
    int expected;
  };
  static const Case cases[] = {
      {u"abc", -1, u"abc", -1, 0, CSTR_EQUAL},
      {u"abc", -1, u"abd", -1, 0, CSTR_LESS_THAN},
      {u"b", -1, u"a", -1, 0, CSTR_GREATER_THAN},
      {u"abc", -1, u"ab", -1, 0, CSTR_GREATER_THAN},
      {u"abc", 2, u"abd", 2, 0, CSTR_EQUAL},      // counts limit the comparison
      {u"abc", 2, u"ab", -1, 0, CSTR_EQUAL},      // mixed
      {u"abc", -5, u"abc", -1, 0, CSTR_EQUAL},    // any negative count is null-terminated
      {u"a\0b", 3, u"a\0c", 3, 0, CSTR_LESS_THAN},  // embedded nulls are characters
      {u"a\0", 2, u"a", 1, 0, CSTR_GREATER_THAN},
      {u"", 0, u"x", 0, 0, CSTR_EQUAL},
      {u"ABC", -1, u"abc", -1, 0, CSTR_LESS_THAN},
      {u"ABC", -1, u"abc", -1, NORM_IGNORECASE, CSTR_EQUAL},
      {u"ABC", -1, u"abc", -1, LINGUISTIC_IGNORECASE, CSTR_EQUAL},
      {u"abc", -1, u"ABD", -1, NORM_IGNORECASE, CSTR_LESS_THAN},
      {u"\u00E0\u00FE\u00FF", -1, u"\u00C0\u00DE\u0178", -1, NORM_IGNORECASE, CSTR_EQUAL},
      {u"\u03B1\u03C9", -1, u"\u0391\u03A9", -1, NORM_IGNORECASE, CSTR_EQUAL},
      {u"\u0451\u044F", -1, u"\u0401\u042F", -1, NORM_IGNORECASE, CSTR_EQUAL},
      {u"a-b", -1, u"ab", -1, SORT_STRINGSORT, CSTR_LESS_THAN},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << Units(std::u16string(c.a, c.na < 0 ? std::char_traits<char16_t>::length(c.a)
                                                                          : static_cast<size_t>(c.na)))
                                    << "vs " << Units(c.b) << "flags " << c.flags);
    EXPECT_EQ(CompareStringW(LOCALE_USER_DEFAULT, c.flags, c.a, c.na, c.b, c.nb), c.expected);
    EXPECT_EQ(CompareStringW(LOCALE_INVARIANT, c.flags, c.a, c.na, c.b, c.nb), c.expected) << "locale is ignored";
  }
}

TEST(PalString, CompareStringErrors) {
  struct Case {
    const char16_t* a;
    const char16_t* b;
    DWORD flags;
    DWORD error;
  };
  static const Case cases[] = {
      {nullptr, u"a", 0, ERROR_INVALID_PARAMETER},
      {u"a", nullptr, 0, ERROR_INVALID_PARAMETER},
      {u"a", u"a", NORM_IGNORENONSPACE, ERROR_INVALID_FLAGS},
      {u"a", u"a", NORM_IGNOREWIDTH, ERROR_INVALID_FLAGS},
      {u"a", u"a", 0x80000000u, ERROR_INVALID_FLAGS},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "flags " << c.flags);
    SetLastError(0);
    EXPECT_EQ(CompareStringW(LOCALE_USER_DEFAULT, c.flags, c.a, -1, c.b, -1), 0);
    EXPECT_EQ(GetLastError(), c.error);
  }
}

TEST(PalString, CompareStringOrdinal) {
  struct Case {
    const char16_t* a;
    int na;
    const char16_t* b;
    int nb;
    BOOL ignoreCase;
    int expected;
  };
  static const Case cases[] = {
      {u"abc", -1, u"abc", -1, FALSE, CSTR_EQUAL},
      {u"ABC", -1, u"abc", -1, FALSE, CSTR_LESS_THAN},
      {u"ABC", -1, u"abc", -1, TRUE, CSTR_EQUAL},
      {u"_", -1, u"a", -1, TRUE, CSTR_GREATER_THAN},  // through upper case: '_' > 'A'
      {u"abcd", 3, u"abc", -1, FALSE, CSTR_EQUAL},
      {u"\U0001F600", -1, u"\uFFFD", -1, FALSE, CSTR_LESS_THAN},  // by code unit, not code point
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << Units(c.a) << "vs " << Units(c.b));
    EXPECT_EQ(CompareStringOrdinal(c.a, c.na, c.b, c.nb, c.ignoreCase), c.expected);
  }
  SetLastError(0);
  EXPECT_EQ(CompareStringOrdinal(nullptr, -1, u"a", -1, FALSE), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(PalString, CasePairs) {
  // Upper and lower case of each pair map to each other.
  struct Pair {
    char16_t upper, lower;
  };
  static const Pair pairs[] = {
      {u'A', u'a'},       {u'Z', u'z'},       {0x00C0, 0x00E0}, {0x00D6, 0x00F6}, {0x00D8, 0x00F8},
      {0x00DE, 0x00FE},   {0x0100, 0x0101},   {0x012E, 0x012F}, {0x0132, 0x0133}, {0x0139, 0x013A},
      {0x0141, 0x0142},   {0x0147, 0x0148},   {0x014A, 0x014B}, {0x0152, 0x0153}, {0x0176, 0x0177},
      {0x0178, 0x00FF},   {0x0179, 0x017A},   {0x017D, 0x017E}, {0x0386, 0x03AC}, {0x0388, 0x03AD},
      {0x038C, 0x03CC},   {0x038F, 0x03CE},   {0x0391, 0x03B1}, {0x03A1, 0x03C1}, {0x03A3, 0x03C3},
      {0x03A9, 0x03C9},   {0x03AB, 0x03CB},   {0x03E2, 0x03E3}, {0x03FD, 0x037B}, {0x0400, 0x0450},
      {0x0401, 0x0451},   {0x040F, 0x045F},   {0x0410, 0x0430}, {0x042F, 0x044F}, {0x0462, 0x0463},
      {0x0480, 0x0481},   {0x0490, 0x0491},   {0x04BE, 0x04BF}, {0x04C0, 0x04CF}, {0x04C1, 0x04C2},
      {0x04CD, 0x04CE},   {0x04D0, 0x04D1},   {0x04FE, 0x04FF}, {0x0500, 0x0501}, {0x052E, 0x052F},
  };
  for (const Pair& p : pairs) {
    SCOPED_TRACE(testing::Message() << std::hex << "U+" << static_cast<unsigned>(p.upper) << " / U+"
                                    << static_cast<unsigned>(p.lower));
    char16_t both[2] = {p.upper, p.lower};
    EXPECT_EQ(CharUpperBuffW(both, 2), 2u);
    EXPECT_EQ(both[0], p.upper);
    EXPECT_EQ(both[1], p.upper);
    both[0] = p.upper;
    both[1] = p.lower;
    EXPECT_EQ(CharLowerBuffW(both, 2), 2u);
    EXPECT_EQ(both[0], p.lower);
    EXPECT_EQ(both[1], p.lower);
  }
}

TEST(PalString, OneWayAndCaselessCharacters) {
  struct Case {
    char16_t c, upper, lower;
  };
  static const Case cases[] = {
      {0x00DF, 0x00DF, 0x00DF},  // sharp s has no one-character upper case
      {0x00B5, 0x039C, 0x00B5},  // micro sign
      {0x00D7, 0x00D7, 0x00D7},  // multiplication sign
      {0x00F7, 0x00F7, 0x00F7},  // division sign
      {0x0130, 0x0130, u'i'},    // dotted capital I
      {0x0131, u'I', 0x0131},    // dotless small i
      {0x0138, 0x0138, 0x0138},  // kra
      {0x0149, 0x0149, 0x0149},  // n preceded by apostrophe
      {0x017F, u'S', 0x017F},    // long s
      {0x03C2, 0x03A3, 0x03C2},  // final sigma
      {0x0390, 0x0390, 0x0390},  // iota with dialytika and tonos
      {0x03D0, 0x0392, 0x03D0},  // beta symbol
      {0x4E00, 0x4E00, 0x4E00},  // outside the mapped blocks
      {u'@', u'@', u'@'},
      {u'[', u'[', u'['},
      {u'1', u'1', u'1'},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << "U+" << static_cast<unsigned>(c.c));
    char16_t up = c.c, down = c.c;
    CharUpperBuffW(&up, 1);
    CharLowerBuffW(&down, 1);
    EXPECT_EQ(up, c.upper);
    EXPECT_EQ(down, c.lower);
  }
}

TEST(PalString, CharUpperAndLowerStringAndCharacterForms) {
  std::u16string text = u"Hello, \u0416\u0438\u0437\u043D\u044C!";
  EXPECT_EQ(CharUpperW(text.data()), text.data());
  EXPECT_EQ(text, u"HELLO, \u0416\u0418\u0417\u041D\u042C!");
  EXPECT_EQ(CharLowerW(text.data()), text.data());
  EXPECT_EQ(text, u"hello, \u0436\u0438\u0437\u043D\u044C!");
  // A "pointer" below 0x10000 is one character, returned mapped the same way.
  EXPECT_EQ(reinterpret_cast<uintptr_t>(CharUpperW(reinterpret_cast<LPWSTR>(uintptr_t{u'q'}))), uintptr_t{u'Q'});
  EXPECT_EQ(reinterpret_cast<uintptr_t>(CharLowerW(reinterpret_cast<LPWSTR>(uintptr_t{0x0416}))), uintptr_t{0x0436});
  EXPECT_EQ(CharUpperBuffW(nullptr, 3), 0u);
}

TEST(PalString, Utf8ToUtf16) {
  struct Case {
    const char* what;
    std::string input;
    int count;  // cbMultiByte; -1 uses the terminator
    DWORD flags;
    std::u16string expected;
  };
  static const Case cases[] = {
      {"ASCII with terminator", "abc", -1, 0, std::u16string(u"abc\0", 4)},
      {"ASCII by count", "abc", 3, 0, u"abc"},
      {"count shorter than text", "abcdef", 2, 0, u"ab"},
      {"two bytes", "\xC3\xA9", 2, 0, u"\u00E9"},
      {"three bytes", "\xE2\x82\xAC", 3, 0, u"\u20AC"},
      {"four bytes: surrogate pair", "\xF0\x9D\x84\x9E", 4, 0, u"\U0001D11E"},
      {"highest code point", "\xF4\x8F\xBF\xBF", 4, 0, u"\U0010FFFF"},
      {"embedded null by count", std::string("a\0b", 3), 3, 0, std::u16string(u"a\0b", 3)},
      {"bad lead byte", "\xFF", 1, 0, u"\uFFFD"},
      {"lone continuation byte", "a\x80z", 3, 0, u"a\uFFFDz"},
      {"truncated two bytes", "\xC3", 1, 0, u"\uFFFD"},
      {"truncated three bytes is one bad sequence", "\xE2\x82", 2, 0, u"\uFFFD"},
      {"truncated sequence before a letter", "\xE2\x82" "A", 3, 0, u"\uFFFDA"},
      {"overlong form", "\xC0\xAF", 2, 0, u"\uFFFD\uFFFD"},
      {"encoded surrogate", "\xED\xA0\x80", 3, 0, u"\uFFFD\uFFFD\uFFFD"},
      {"above U+10FFFF", "\xF4\x90\x80\x80", 4, 0, u"\uFFFD\uFFFD\uFFFD\uFFFD"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.what) + ": " + Bytes(c.input));
    const int needed = MultiByteToWideChar(CP_UTF8, c.flags, c.input.c_str(), c.count, nullptr, 0);
    EXPECT_EQ(needed, static_cast<int>(c.expected.size())) << "size query";
    std::u16string out(c.expected.size() + 4, u'#');
    const int written = MultiByteToWideChar(CP_UTF8, c.flags, c.input.c_str(), c.count, out.data(),
                                            static_cast<int>(out.size()));
    ASSERT_EQ(written, static_cast<int>(c.expected.size()));
    EXPECT_EQ(Units(out.substr(0, written)), Units(c.expected));
    EXPECT_EQ(out[written], u'#');
  }
}

TEST(PalString, Utf8ToUtf16Errors) {
  struct Case {
    const char* what;
    UINT codePage;
    DWORD flags;
    const char* input;
    int count;
    int bufferSize;
    DWORD error;
  };
  static const Case cases[] = {
      {"invalid byte with MB_ERR_INVALID_CHARS", CP_UTF8, MB_ERR_INVALID_CHARS, "a\xFF", 2, 8,
       ERROR_NO_UNICODE_TRANSLATION},
      {"buffer too small", CP_UTF8, 0, "abcd", 4, 3, ERROR_INSUFFICIENT_BUFFER},
      {"no room for the terminator", CP_UTF8, 0, "abc", -1, 3, ERROR_INSUFFICIENT_BUFFER},
      {"zero input length", CP_UTF8, 0, "abc", 0, 8, ERROR_INVALID_PARAMETER},
      {"negative input length", CP_UTF8, 0, "abc", -2, 8, ERROR_INVALID_PARAMETER},
      {"null input", CP_UTF8, 0, nullptr, 3, 8, ERROR_INVALID_PARAMETER},
      {"negative output size", CP_UTF8, 0, "abc", 3, -1, ERROR_INVALID_PARAMETER},
      {"other code page", 1252, 0, "abc", 3, 8, ERROR_INVALID_PARAMETER},
      {"MB_PRECOMPOSED with CP_UTF8", CP_UTF8, MB_PRECOMPOSED, "abc", 3, 8, ERROR_INVALID_FLAGS},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    char16_t buffer[8];
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(c.codePage, c.flags, c.input, c.count, buffer, c.bufferSize), 0);
    EXPECT_EQ(GetLastError(), c.error);
  }
  // The ANSI code pages are UTF-8 here, and take MB_PRECOMPOSED.
  char16_t buffer[4];
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, "\xC3\xA9", 2, buffer, 4), 1);
  EXPECT_EQ(buffer[0], 0x00E9);
}

TEST(PalString, Utf16ToUtf8) {
  struct Case {
    const char* what;
    std::u16string input;
    int count;
    std::string expected;
  };
  static const Case cases[] = {
      {"ASCII with terminator", u"abc", -1, std::string("abc\0", 4)},
      {"ASCII by count", u"abc", 3, "abc"},
      {"two bytes", u"\u00E9", 1, "\xC3\xA9"},
      {"three bytes", u"\u20AC", 1, "\xE2\x82\xAC"},
      {"surrogate pair", u"\U0001D11E", 2, "\xF0\x9D\x84\x9E"},
      {"lone high surrogate", u"a\xD800z", 3, "a\xEF\xBF\xBDz"},
      {"lone low surrogate", u"\xDC00", 1, "\xEF\xBF\xBD"},
      {"pair cut by the count", u"\U0001D11E", 1, "\xEF\xBF\xBD"},
      {"reversed pair", u"\xDC00\xD800", 2, "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"embedded null by count", std::u16string(u"a\0b", 3), 3, std::string("a\0b", 3)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const int needed = WideCharToMultiByte(CP_UTF8, 0, c.input.c_str(), c.count, nullptr, 0, nullptr, nullptr);
    EXPECT_EQ(needed, static_cast<int>(c.expected.size())) << "size query";
    std::string out(c.expected.size() + 4, '#');
    const int written = WideCharToMultiByte(CP_UTF8, 0, c.input.c_str(), c.count, out.data(),
                                            static_cast<int>(out.size()), nullptr, nullptr);
    ASSERT_EQ(written, static_cast<int>(c.expected.size()));
    EXPECT_EQ(Bytes(out.substr(0, written)), Bytes(c.expected));
    EXPECT_EQ(out[written], '#');
  }
}

TEST(PalString, Utf16ToUtf8Errors) {
  BOOL used = FALSE;
  char buffer[8];
  struct Case {
    const char* what;
    UINT codePage;
    DWORD flags;
    const char16_t* input;
    int count;
    int bufferSize;
    LPCCH defaultChar;
    LPBOOL usedDefault;
    DWORD error;
  };
  const Case cases[] = {
      {"lone surrogate with WC_ERR_INVALID_CHARS", CP_UTF8, WC_ERR_INVALID_CHARS, u"a\xD800", 2, 8, nullptr, nullptr,
       ERROR_NO_UNICODE_TRANSLATION},
      {"buffer too small for a whole character", CP_UTF8, 0, u"a\u20AC", 2, 3, nullptr, nullptr,
       ERROR_INSUFFICIENT_BUFFER},
      {"default character given", CP_UTF8, 0, u"a", 1, 8, "?", nullptr, ERROR_INVALID_PARAMETER},
      {"used-default flag given", CP_UTF8, 0, u"a", 1, 8, nullptr, &used, ERROR_INVALID_PARAMETER},
      {"zero input length", CP_UTF8, 0, u"a", 0, 8, nullptr, nullptr, ERROR_INVALID_PARAMETER},
      {"null input", CP_UTF8, 0, nullptr, 1, 8, nullptr, nullptr, ERROR_INVALID_PARAMETER},
      {"other code page", 437, 0, u"a", 1, 8, nullptr, nullptr, ERROR_INVALID_PARAMETER},
      {"WC_NO_BEST_FIT_CHARS with CP_UTF8", CP_UTF8, WC_NO_BEST_FIT_CHARS, u"a", 1, 8, nullptr, nullptr,
       ERROR_INVALID_FLAGS},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(c.codePage, c.flags, c.input, c.count, buffer, c.bufferSize, c.defaultChar,
                                  c.usedDefault),
              0);
    EXPECT_EQ(GetLastError(), c.error);
  }
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, u"\u00E9", 1, buffer, 8, nullptr, nullptr), 2);
}

TEST(PalString, RoundTripThroughUtf8) {
  const std::u16string text = u"Tr\u00E4ger \u03A9 \u0416 \u20AC \U0001F600 end";
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                        nullptr, nullptr);
  std::string utf8(static_cast<size_t>(bytes), '\0');
  ASSERT_EQ(WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), utf8.data(), bytes, nullptr,
                                nullptr),
            bytes);
  std::u16string back(text.size(), u'\0');
  ASSERT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.c_str(), bytes, back.data(),
                                static_cast<int>(back.size())),
            static_cast<int>(text.size()));
  EXPECT_EQ(back, text);
}

}  // namespace
