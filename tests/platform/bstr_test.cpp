// BSTR allocation: length prefix, terminator, embedded nulls, reallocation.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "linux/pal_types.h"
#include "linux/pal_oleauto.h"

namespace {

// The length prefix as Windows lays it out: 4 bytes just before the text.
uint32_t Prefix(BSTR b) {
  uint32_t value;
  std::memcpy(&value, reinterpret_cast<const unsigned char*>(b) - 4, sizeof value);
  return value;
}

std::u16string Text(BSTR b) { return std::u16string(b, SysStringLen(b)); }

struct AllocCase {
  const char* what;
  BSTR (*make)();
  bool null;
  UINT length;      // SysStringLen
  UINT byteLength;  // SysStringByteLen
  std::u16string text;
};

TEST(OleBstr, AllocationKeepsLengthTextAndTerminator) {
  static const AllocCase cases[] = {
      {"SysAllocString text", [] { return SysAllocString(u"abc"); }, false, 3, 6, u"abc"},
      {"SysAllocString empty is not null", [] { return SysAllocString(u""); }, false, 0, 0, u""},
      {"SysAllocString null", [] { return SysAllocString(nullptr); }, true, 0, 0, u""},
      {"SysAllocStringLen prefix only", [] { return SysAllocStringLen(u"abcdef", 3); }, false, 3, 6, u"abc"},
      {"SysAllocStringLen keeps embedded null", [] { return SysAllocStringLen(u"a\0b", 3); }, false, 3, 6,
       std::u16string(u"a\0b", 3)},
      {"SysAllocStringLen null source is zeroed", [] { return SysAllocStringLen(nullptr, 4); }, false, 4, 8,
       std::u16string(4, u'\0')},
      {"SysAllocStringLen zero length", [] { return SysAllocStringLen(u"abc", 0); }, false, 0, 0, u""},
      {"SysAllocStringByteLen even", [] { return SysAllocStringByteLen("abcd", 4); }, false, 2, 4,
       std::u16string(reinterpret_cast<const char16_t*>("abcd"), 2)},
      {"SysAllocStringByteLen odd rounds length down", [] { return SysAllocStringByteLen("abc", 3); }, false, 1, 3,
       std::u16string(reinterpret_cast<const char16_t*>("ab"), 1)},
      {"SysAllocStringByteLen null source is zeroed", [] { return SysAllocStringByteLen(nullptr, 6); }, false, 3, 6,
       std::u16string(3, u'\0')},
      {"SysAllocStringLen too long for 32 bits", [] { return SysAllocStringLen(nullptr, 0x80000000u); }, true, 0, 0,
       u""},
      {"SysAllocStringByteLen too long for 32 bits", [] { return SysAllocStringByteLen(nullptr, 0xFFFFFFFFu); }, true,
       0, 0, u""},
  };
  for (const AllocCase& c : cases) {
    SCOPED_TRACE(c.what);
    BSTR b = c.make();
    if (c.null) {
      EXPECT_EQ(b, nullptr);
      continue;
    }
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(SysStringLen(b), c.length);
    EXPECT_EQ(SysStringByteLen(b), c.byteLength);
    EXPECT_EQ(Prefix(b), c.byteLength);
    EXPECT_EQ(Text(b), c.text);
    EXPECT_EQ(b[(c.byteLength + 1) / 2], u'\0') << "terminator after the text";
    SysFreeString(b);
  }
}

TEST(OleBstr, OddByteLengthIsStillTerminated) {
  // Whatever the byte length, the byte after the data and the OLECHAR
  // containing it are zero, so the string can be read as text.
  BSTR b = SysAllocStringByteLen("xyz", 3);
  ASSERT_NE(b, nullptr);
  const auto* bytes = reinterpret_cast<const unsigned char*>(b);
  EXPECT_EQ(std::memcmp(bytes, "xyz", 3), 0);
  EXPECT_EQ(bytes[3], 0);
  EXPECT_EQ(b[2] & 0xFF00, 0);
  SysFreeString(b);
}

TEST(OleBstr, NullIsAcceptedEverywhere) {
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(SysStringByteLen(nullptr), 0u);
  SysFreeString(nullptr);
}

struct ReAllocCase {
  const char* what;
  const char16_t* start;  // null: *pbstr starts null
  // psz as an offset into the old string (-1: use `source`, -2: null psz)
  int offset;
  const char16_t* source;
  INT result;
  std::u16string expected;
  bool expectNull;
};

TEST(OleBstr, SysReAllocStringReplacesTheString) {
  static const ReAllocCase cases[] = {
      {"new text", u"old", -1, u"brand new", TRUE, u"brand new", false},
      {"from a null string", nullptr, -1, u"abc", TRUE, u"abc", false},
      {"to empty", u"old", -1, u"", TRUE, u"", false},
      {"null source gives null", u"old", -2, nullptr, TRUE, u"", true},
      {"source inside the old string", u"hello world", 6, nullptr, TRUE, u"world", false},
  };
  for (const ReAllocCase& c : cases) {
    SCOPED_TRACE(c.what);
    BSTR b = c.start ? SysAllocString(c.start) : nullptr;
    const OLECHAR* source = c.offset >= 0 ? b + c.offset : c.offset == -1 ? c.source : nullptr;
    EXPECT_EQ(SysReAllocString(&b, source), c.result);
    if (c.expectNull) {
      EXPECT_EQ(b, nullptr);
    } else {
      ASSERT_NE(b, nullptr);
      EXPECT_EQ(Text(b), c.expected);
    }
    SysFreeString(b);
  }
  EXPECT_EQ(SysReAllocString(nullptr, u"x"), FALSE);
}

struct ReAllocLenCase {
  const char* what;
  const char16_t* start;
  int offset;  // as above
  const char16_t* source;
  unsigned int len;
  std::u16string expected;
};

TEST(OleBstr, SysReAllocStringLenResizes) {
  static const ReAllocLenCase cases[] = {
      {"copies len characters", u"old", -1, u"abcdef", 4, u"abcd"},
      {"from a null string", nullptr, -1, u"xyz", 3, u"xyz"},
      {"null source keeps the old text when shrinking", u"abcdef", -2, nullptr, 2, u"ab"},
      {"null source keeps the old text and zero-fills when growing", u"ab", -2, nullptr, 4,
       std::u16string(u"ab\0\0", 4)},
      {"null source on a null string gives zeros", nullptr, -2, nullptr, 2, std::u16string(2, u'\0')},
      {"source inside the old string", u"hello world", 6, nullptr, 5, u"world"},
      {"source is the old string itself", u"abc", 0, nullptr, 3, u"abc"},
  };
  for (const ReAllocLenCase& c : cases) {
    SCOPED_TRACE(c.what);
    BSTR b = c.start ? SysAllocString(c.start) : nullptr;
    const OLECHAR* source = c.offset >= 0 ? b + c.offset : c.offset == -1 ? c.source : nullptr;
    EXPECT_EQ(SysReAllocStringLen(&b, source, c.len), TRUE);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(Text(b), c.expected);
    EXPECT_EQ(b[c.len], u'\0');
    SysFreeString(b);
  }
}

TEST(OleBstr, SysReAllocStringLenFailureKeepsTheOldString) {
  BSTR b = SysAllocString(u"keep");
  EXPECT_EQ(SysReAllocStringLen(&b, nullptr, 0x80000000u), FALSE);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(Text(b), u"keep");
  SysFreeString(b);
  EXPECT_EQ(SysReAllocStringLen(nullptr, u"x", 1), FALSE);
}

}  // namespace
