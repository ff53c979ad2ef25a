// BSTR allocation: length prefix, terminator, embedded nulls, reallocation.
#include <cstdint>
#include <cstring>

#include "oletest.h"

using namespace oletest;

namespace {

// The length prefix as Windows lays it out: 4 bytes just before the text.
uint32_t Prefix(BSTR b) {
  uint32_t value;
  std::memcpy(&value, reinterpret_cast<const unsigned char*>(b) - 4, sizeof value);
  return value;
}

std::u16string Text(BSTR b) { return std::u16string(b, SysStringLen(b)); }

TEST(OleBstr, AllocationKeepsLengthTextAndTerminator) {
  // clang-format off
  const struct { BSTR (*make)(); UINT byteLength; std::u16string text; } cases[] = {
      {[] { return SysAllocString(u"abc"); }, 6, u"abc"},
      {[] { return SysAllocString(u""); }, 0, u""},  // not null
      {[] { return SysAllocStringLen(u"abcdef", 3); }, 6, u"abc"},
      {[] { return SysAllocStringLen(u"a\0b", 3); }, 6, std::u16string(u"a\0b", 3)},
      {[] { return SysAllocStringLen(nullptr, 4); }, 8, std::u16string(4, u'\0')},
      {[] { return SysAllocStringLen(u"abc", 0); }, 0, u""},
      {[] { return SysAllocStringByteLen("abcd", 4); }, 4, std::u16string(reinterpret_cast<const char16_t*>("abcd"), 2)},
      {[] { return SysAllocStringByteLen("abc", 3); }, 3, std::u16string(reinterpret_cast<const char16_t*>("ab"), 1)},
      {[] { return SysAllocStringByteLen(nullptr, 6); }, 6, std::u16string(3, u'\0')},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(Escaped(c.text.data(), c.text.size()));
    BSTR b = c.make();
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(SysStringLen(b), c.text.size());
    EXPECT_EQ(SysStringByteLen(b), c.byteLength);
    EXPECT_EQ(Prefix(b), c.byteLength);
    EXPECT_EQ(Text(b), c.text);
    EXPECT_EQ(b[(c.byteLength + 1) / 2], u'\0') << "terminator after the text";
    SysFreeString(b);
  }
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysAllocStringLen(nullptr, 0x80000000u), nullptr) << "too long for 32 bits";
  EXPECT_EQ(SysAllocStringByteLen(nullptr, 0xFFFFFFFFu), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(SysStringByteLen(nullptr), 0u);
  SysFreeString(nullptr);
  // An odd byte length: every byte is copied and the byte after the data is zero.
  BSTR odd = SysAllocStringByteLen("xyz", 3);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(odd), 4), std::string("xyz\0", 4));
  SysFreeString(odd);
}

// The reallocations: the old string, the source (an offset into the old
// string, or text of its own, or null), the length, the result.
struct ReAllocCase {
  const char16_t* start;  // null: *pbstr starts null
  int offset;             // >= 0: the source points this far into the old string
  const char16_t* source;
  unsigned len;             // for SysReAllocStringLen
  std::u16string expected;  // the text, or its start when the rest is longer
  bool expectNull = false;
  bool sameBlock = false;  // the string stays where it was
};

const OLECHAR* SourceOf(const ReAllocCase& c, BSTR b) { return c.offset >= 0 ? b + c.offset : c.source; }

TEST(OleBstr, SysReAllocStringReplacesTheString) {
  // clang-format off
  const ReAllocCase cases[] = {
      {u"old", -1, u"brand new", 0, u"brand new"},
      {nullptr, -1, u"abc", 0, u"abc"},
      {u"old", -1, u"", 0, u""},
      {u"old", -1, nullptr, 0, u"", true},
      {u"hello world", 6, nullptr, 0, u"world"},
  };
  // clang-format on
  for (const auto& c : cases) {
    BSTR b = c.start ? SysAllocString(c.start) : nullptr;
    EXPECT_EQ(SysReAllocString(&b, SourceOf(c, b)), TRUE);
    EXPECT_EQ(b ? Text(b) : u"null", c.expectNull ? u"null" : c.expected);
    SysFreeString(b);
  }
  EXPECT_EQ(SysReAllocString(nullptr, u"x"), FALSE);
}

TEST(OleBstr, SysReAllocStringLenResizes) {
  // clang-format off
  const ReAllocCase cases[] = {
      {u"old", -1, u"abcdef", 4, u"abcd"},
      {nullptr, -1, u"xyz", 3, u"xyz"},
      {u"abcdef", -1, nullptr, 2, u"ab"},  // a null source keeps the old text
      {u"ab", -1, nullptr, 4, std::u16string(u"ab\0\0", 4)},  // and zero-fills
      {nullptr, -1, nullptr, 2, std::u16string(2, u'\0')},
      {u"hello world", 6, nullptr, 5, u"world"},  // the source inside the old string
      {u"abcd", 0, nullptr, 1000000, u"abcd"},  // grown from itself: what it holds is kept
      {u"abcdefghijklmnopqrstuvwxyz", -1, nullptr, 24, u"abcdefghijklmnopqrstuvwx", false, true},  // shrunk in place
  };
  // clang-format on
  for (const auto& c : cases) {
    BSTR b = c.start ? SysAllocString(c.start) : nullptr;
    const BSTR before = b;
    EXPECT_EQ(SysReAllocStringLen(&b, SourceOf(c, b), c.len), TRUE);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(SysStringLen(b), c.len);
    EXPECT_EQ(Text(b).substr(0, c.expected.size()), c.expected);
    EXPECT_EQ(b[c.len], u'\0');
    EXPECT_TRUE(!c.sameBlock || b == before) << "the same block";
    SysFreeString(b);
  }
  BSTR keep = SysAllocString(u"keep");
  EXPECT_EQ(SysReAllocStringLen(&keep, nullptr, 0x80000000u), FALSE);
  EXPECT_EQ(Text(keep), u"keep") << "a failure keeps the old string";
  SysFreeString(keep);
  EXPECT_EQ(SysReAllocStringLen(nullptr, u"x", 1), FALSE);
}

}  // namespace
