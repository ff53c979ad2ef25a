// Wide-string functions: lengths, comparison, case mapping, UTF-8.
#include <string>

#include "oletest.h"
#include "paltest.h"

using oletest::Escaped;

namespace {

std::string Units(const std::u16string& s) { return Escaped(s.data(), s.size()); }

std::string Bytes(const std::string& s) {
  std::string out;
  for (unsigned char c : s) out += oletest::Hex(c).substr(8) + " ";
  return out;
}

int Sign(int n) { return (n > 0) - (n < 0); }

TEST(PalString, LengthsAndComparison) {
  EXPECT_EQ(lstrlenW(u"ab\0cd"), 2);
  EXPECT_EQ(lstrlenW(nullptr), 0);
  // clang-format off
  const struct { const char16_t* a; const char16_t* b; int cmp, cmpi; } cases[] = {
      {u"abc", u"abc", 0, 0}, {u"abc", u"abd", -1, -1}, {u"ab", u"abc", -1, -1}, {u"", nullptr, 1, 1},
      {u"ABC", u"abc", -1, 0}, {u"B", u"a", -1, 1},  // ordinal; without case a < B
      {u"\u00C9T\u00C9", u"\u00E9t\u00E9", -1, 0}, {nullptr, nullptr, 0, 0}, {nullptr, u"", -1, -1},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.a ? Units(c.a) : "null") << " vs " << (c.b ? Units(c.b) : "null"));
    EXPECT_EQ(Sign(lstrcmpW(c.a, c.b)), c.cmp);
    EXPECT_EQ(Sign(lstrcmpiW(c.a, c.b)), c.cmpi);
  }
}

TEST(PalString, CompareString) {
  // clang-format off
  const struct { const char16_t* a; int na; const char16_t* b; int nb; DWORD flags; int expected; } cases[] = {
      {u"abc", -1, u"abc", -1, 0, CSTR_EQUAL},
      {u"abc", -1, u"abd", -1, 0, CSTR_LESS_THAN},
      {u"abc", -1, u"ab", -1, 0, CSTR_GREATER_THAN},
      {u"abc", 2, u"abd", 2, 0, CSTR_EQUAL},  // counts limit the comparison
      {u"abc", -5, u"abc", -1, 0, CSTR_EQUAL},  // any negative count: up to the terminator
      {u"a\0b", 3, u"a\0c", 3, 0, CSTR_LESS_THAN},  // embedded nulls are characters
      {u"a\0", 2, u"a", 1, 0, CSTR_GREATER_THAN},
      {u"ABC", -1, u"abc", -1, 0, CSTR_LESS_THAN},
      {u"ABC", -1, u"abc", -1, NORM_IGNORECASE, CSTR_EQUAL},
      {u"ABC", -1, u"abc", -1, LINGUISTIC_IGNORECASE, CSTR_EQUAL},
      {u"abc", -1, u"ABD", -1, NORM_IGNORECASE, CSTR_LESS_THAN},
      {u"\u00E0\u00FE\u00FF", -1, u"\u00C0\u00DE\u0178", -1, NORM_IGNORECASE, CSTR_EQUAL},
      {u"a-b", -1, u"ab", -1, SORT_STRINGSORT, CSTR_LESS_THAN},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << Units(c.a) << " vs " << Units(c.b) << ", flags " << c.flags);
    EXPECT_EQ(CompareStringW(LOCALE_USER_DEFAULT, c.flags, c.a, c.na, c.b, c.nb), c.expected);
    EXPECT_EQ(CompareStringW(LOCALE_INVARIANT, c.flags, c.a, c.na, c.b, c.nb), c.expected) << "whatever the locale";
  }
  EXPECT_LAST_ERROR(CompareStringW(LOCALE_USER_DEFAULT, 0, nullptr, -1, u"a", -1), 0, ERROR_INVALID_PARAMETER);
  EXPECT_LAST_ERROR(CompareStringW(LOCALE_USER_DEFAULT, 0, u"a", -1, nullptr, -1), 0, ERROR_INVALID_PARAMETER);
  for (DWORD flags : {DWORD{NORM_IGNORENONSPACE}, DWORD{NORM_IGNOREWIDTH}, 0x80000000u})
    EXPECT_LAST_ERROR(CompareStringW(LOCALE_USER_DEFAULT, flags, u"a", -1, u"a", -1), 0, ERROR_INVALID_FLAGS);
}

TEST(PalString, CaseMapping) {
  // Pairs whose upper and lower case map to each other.
  // clang-format off
  const char16_t pairs[][2] = {
      {u'A', u'a'}, {u'Z', u'z'}, {0x00C0, 0x00E0}, {0x00D6, 0x00F6}, {0x00D8, 0x00F8}, {0x00DE, 0x00FE},
      {0x0100, 0x0101}, {0x012E, 0x012F}, {0x0132, 0x0133}, {0x0139, 0x013A}, {0x0141, 0x0142}, {0x0147, 0x0148},
      {0x014A, 0x014B}, {0x0152, 0x0153}, {0x0176, 0x0177}, {0x0178, 0x00FF}, {0x0179, 0x017A}, {0x017D, 0x017E},
      {0x0386, 0x03AC}, {0x0388, 0x03AD}, {0x038C, 0x03CC}, {0x038F, 0x03CE}, {0x0391, 0x03B1}, {0x03A1, 0x03C1},
      {0x03A3, 0x03C3}, {0x03A9, 0x03C9}, {0x03AB, 0x03CB}, {0x03E2, 0x03E3}, {0x03FD, 0x037B}, {0x0400, 0x0450},
      {0x0401, 0x0451}, {0x040F, 0x045F}, {0x0410, 0x0430}, {0x042F, 0x044F}, {0x0462, 0x0463}, {0x0480, 0x0481},
      {0x0490, 0x0491}, {0x04BE, 0x04BF}, {0x04C0, 0x04CF}, {0x04C1, 0x04C2}, {0x04CD, 0x04CE}, {0x04D0, 0x04D1},
      {0x04FE, 0x04FF}, {0x0500, 0x0501}, {0x052E, 0x052F},
  };
  // One-way and caseless characters: the character, its upper case, its lower case.
  const char16_t others[][3] = {
      {0x00DF, 0x00DF, 0x00DF}, {0x00B5, 0x039C, 0x00B5}, {0x00D7, 0x00D7, 0x00D7}, {0x00F7, 0x00F7, 0x00F7},
      {0x0130, 0x0130, u'i'}, {0x0131, u'I', 0x0131}, {0x0138, 0x0138, 0x0138}, {0x0149, 0x0149, 0x0149},
      {0x017F, u'S', 0x017F}, {0x03C2, 0x03A3, 0x03C2}, {0x0390, 0x0390, 0x0390}, {0x03D0, 0x0392, 0x03D0},
      {0x4E00, 0x4E00, 0x4E00}, {0x0530, 0x0530, 0x0530}, {u'@', u'@', u'@'}, {u'[', u'[', u'['}, {u'1', u'1', u'1'},
  };
  // clang-format on
  for (const auto& p : pairs) {
    std::u16string up(p, 2), down(p, 2);
    EXPECT_EQ(CharUpperBuffW(up.data(), 2), 2u);
    EXPECT_EQ(CharLowerBuffW(down.data(), 2), 2u);
    EXPECT_EQ(Units(up + down), Units({p[0], p[0], p[1], p[1]}));
  }
  for (const auto& o : others) {
    char16_t up = o[0], down = o[0];
    CharUpperBuffW(&up, 1);
    CharLowerBuffW(&down, 1);
    EXPECT_EQ(Units({up, down}), Units({o[1], o[2]}));
  }
  std::u16string text = u"Hello, \u0416\u0438\u0437\u043D\u044C!";
  EXPECT_EQ(CharUpperW(text.data()), text.data());
  EXPECT_EQ(text, u"HELLO, \u0416\u0418\u0417\u041D\u042C!");
  EXPECT_EQ(CharLowerW(text.data()), text.data());
  EXPECT_EQ(text, u"hello, \u0436\u0438\u0437\u043D\u044C!");
  // A "pointer" below 0x10000 is one character, returned mapped.
  EXPECT_EQ(reinterpret_cast<uintptr_t>(CharUpperW(reinterpret_cast<LPWSTR>(uintptr_t{u'q'}))), uintptr_t{u'Q'});
  EXPECT_EQ(reinterpret_cast<uintptr_t>(CharLowerW(reinterpret_cast<LPWSTR>(uintptr_t{0x0416}))), uintptr_t{0x0436});
  EXPECT_EQ(CharUpperBuffW(nullptr, 3), 0u);
}

TEST(PalString, Utf8ToUtf16) {
  // clang-format off
  const struct { std::string input; int count; std::u16string expected; } cases[] = {
      {"abc", -1, std::u16string(u"abc\0", 4)},  // the terminator counts
      {"abcdef", 2, u"ab"},
      {"\xC3\xA9", 2, u"\u00E9"},
      {"\xE2\x82\xAC", 3, u"\u20AC"},
      {"\xF0\x9D\x84\x9E", 4, u"\U0001D11E"},  // a surrogate pair
      {"\xF4\x8F\xBF\xBF", 4, u"\U0010FFFF"},
      {std::string("a\0b", 3), 3, std::u16string(u"a\0b", 3)},
      {"\xFF", 1, u"\uFFFD"},  // a bad lead byte
      {"a\x80z", 3, u"a\uFFFDz"},  // a lone continuation byte
      {"\xE2\x82", 2, u"\uFFFD"},  // a truncated sequence is one bad character
      {"\xE2\x82" "A", 3, u"\uFFFDA"},
      {"\xC0\xAF", 2, u"\uFFFD\uFFFD"},  // overlong
      {"\xED\xA0\x80", 3, u"\uFFFD\uFFFD\uFFFD"},  // an encoded surrogate
      {"\xF4\x90\x80\x80", 4, u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(Bytes(c.input));
    const int size = static_cast<int>(c.expected.size());
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, c.input.c_str(), c.count, nullptr, 0), size) << "the size needed";
    std::u16string out(c.expected.size() + 1, u'#');
    ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0, c.input.c_str(), c.count, out.data(), size + 1), size);
    EXPECT_EQ(Units(out), Units(c.expected + u"#"));
  }
  char16_t buffer[8];
  EXPECT_LAST_ERROR(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "a\xFF", 2, buffer, 8), 0,
                    ERROR_NO_UNICODE_TRANSLATION);
  EXPECT_LAST_ERROR(MultiByteToWideChar(CP_UTF8, 0, "abcd", 4, buffer, 3), 0, ERROR_INSUFFICIENT_BUFFER);
  EXPECT_LAST_ERROR(MultiByteToWideChar(CP_UTF8, 0, "abc", -1, buffer, 3), 0, ERROR_INSUFFICIENT_BUFFER);
  EXPECT_LAST_ERROR(MultiByteToWideChar(CP_UTF8, 0, "abc", 0, buffer, 8), 0, ERROR_INVALID_PARAMETER);
  EXPECT_LAST_ERROR(MultiByteToWideChar(CP_UTF8, 0, "abc", -2, buffer, 8), 0, ERROR_INVALID_PARAMETER);
  EXPECT_LAST_ERROR(MultiByteToWideChar(CP_UTF8, 0, nullptr, 3, buffer, 8), 0, ERROR_INVALID_PARAMETER);
  EXPECT_LAST_ERROR(MultiByteToWideChar(CP_UTF8, 0, "abc", 3, buffer, -1), 0, ERROR_INVALID_PARAMETER);
  EXPECT_LAST_ERROR(MultiByteToWideChar(1252, 0, "abc", 3, buffer, 8), 0, ERROR_INVALID_PARAMETER);
  EXPECT_LAST_ERROR(MultiByteToWideChar(CP_UTF8, MB_PRECOMPOSED, "abc", 3, buffer, 8), 0, ERROR_INVALID_FLAGS);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, "\xC3\xA9", 2, buffer, 4), 1) << "the ANSI code page is UTF-8";
  EXPECT_EQ(buffer[0], 0x00E9);
}

TEST(PalString, Utf16ToUtf8) {
  // clang-format off
  const struct { std::u16string input; int count; std::string expected; } cases[] = {
      {u"abc", -1, std::string("abc\0", 4)},
      {u"abc", 3, "abc"},
      {u"\u00E9", 1, "\xC3\xA9"},
      {u"\u20AC", 1, "\xE2\x82\xAC"},
      {u"\U0001D11E", 2, "\xF0\x9D\x84\x9E"},
      {u"a\xD800z", 3, "a\xEF\xBF\xBDz"},  // a lone high surrogate
      {u"\U0001D11E", 1, "\xEF\xBF\xBD"},  // a pair cut by the count
      {u"\xDC00\xD800", 2, "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {std::u16string(u"a\0b", 3), 3, std::string("a\0b", 3)},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(Units(c.input));
    const int size = static_cast<int>(c.expected.size());
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, c.input.c_str(), c.count, nullptr, 0, nullptr, nullptr), size);
    std::string out(c.expected.size() + 1, '#');
    ASSERT_EQ(WideCharToMultiByte(CP_UTF8, 0, c.input.c_str(), c.count, out.data(), size + 1, nullptr, nullptr), size);
    EXPECT_EQ(Bytes(out), Bytes(c.expected + "#"));
  }
  BOOL used = FALSE;
  char buffer[8];
  const auto toUtf8 = [&](UINT codePage, DWORD flags, const char16_t* text, int count, int size) {
    return WideCharToMultiByte(codePage, flags, text, count, buffer, size, nullptr, nullptr);
  };
  EXPECT_LAST_ERROR(toUtf8(CP_UTF8, WC_ERR_INVALID_CHARS, u"a\xD800", 2, 8), 0, ERROR_NO_UNICODE_TRANSLATION);
  EXPECT_LAST_ERROR(toUtf8(CP_UTF8, 0, u"a\u20AC", 2, 3), 0, ERROR_INSUFFICIENT_BUFFER);
  EXPECT_LAST_ERROR(WideCharToMultiByte(CP_UTF8, 0, u"a", 1, buffer, 8, "?", nullptr), 0, ERROR_INVALID_PARAMETER);
  EXPECT_LAST_ERROR(WideCharToMultiByte(CP_UTF8, 0, u"a", 1, buffer, 8, nullptr, &used), 0, ERROR_INVALID_PARAMETER);
  EXPECT_LAST_ERROR(toUtf8(CP_UTF8, 0, u"a", 0, 8), 0, ERROR_INVALID_PARAMETER);
  EXPECT_LAST_ERROR(toUtf8(CP_UTF8, 0, nullptr, 1, 8), 0, ERROR_INVALID_PARAMETER);
  EXPECT_LAST_ERROR(toUtf8(437, 0, u"a", 1, 8), 0, ERROR_INVALID_PARAMETER);
  EXPECT_LAST_ERROR(toUtf8(CP_UTF8, WC_NO_BEST_FIT_CHARS, u"a", 1, 8), 0, ERROR_INVALID_FLAGS);
  EXPECT_EQ(toUtf8(CP_ACP, WC_NO_BEST_FIT_CHARS, u"\u00E9", 1, 8), 2);
}

}  // namespace
