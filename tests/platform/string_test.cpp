// Wide-string functions: comparison and case mapping.
#include <string>

#include "oletest.h"
#include "paltest.h"

using oletest::Escaped;

namespace {

std::string Units(const std::u16string& s) { return Escaped(s.data(), s.size()); }

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
      {u"abc", -1, u"ABD", -1, NORM_IGNORECASE, CSTR_LESS_THAN},
      {u"\u00E0\u00FE\u00FF", -1, u"\u00C0\u00DE\u0178", -1, NORM_IGNORECASE, CSTR_EQUAL},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << Units(c.a) << " vs " << Units(c.b) << ", flags " << c.flags);
    EXPECT_EQ(CompareStringW(LOCALE_USER_DEFAULT, c.flags, c.a, c.na, c.b, c.nb), c.expected);
    EXPECT_EQ(CompareStringW(LOCALE_INVARIANT, c.flags, c.a, c.na, c.b, c.nb), c.expected) << "whatever the locale";
  }
  EXPECT_LAST_ERROR(CompareStringW(LOCALE_USER_DEFAULT, 0, nullptr, -1, u"a", -1), 0, ERROR_INVALID_PARAMETER);
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
  EXPECT_EQ(CharUpperBuffW(nullptr, 3), 0u);
}

}  // namespace
