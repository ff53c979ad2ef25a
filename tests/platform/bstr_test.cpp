// BSTR allocation: length prefix, terminator, embedded nulls.
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
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(SysStringByteLen(nullptr), 0u);
  SysFreeString(nullptr);
  // An odd byte length: every byte is copied and the byte after the data is zero.
  BSTR odd = SysAllocStringByteLen("xyz", 3);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(odd), 4), std::string("xyz\0", 4));
  SysFreeString(odd);
}

// SysReAllocStringLen has no caller; these are the faults once found in it.
TEST(OleBstr, SysReAllocStringLenInPlaceAndFromItself) {
  BSTR b = SysAllocString(u"abcdefghijklmnopqrstuvwxyz");
  const BSTR before = b;
  ASSERT_TRUE(SysReAllocStringLen(&b, nullptr, 24));
  EXPECT_EQ(b, before) << "a string that does not grow keeps its block";
  EXPECT_EQ(Text(b), u"abcdefghijklmnopqrstuvwx");
  ASSERT_TRUE(SysReAllocStringLen(&b, b, 1000000));
  EXPECT_EQ(Text(b).substr(0, 24), u"abcdefghijklmnopqrstuvwx") << "grown from itself: what it held is kept";
  EXPECT_EQ(b[1000000], u'\0');
  SysFreeString(b);
}

}  // namespace
