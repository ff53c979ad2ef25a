// Type-safe filling of printf-style message texts.
//
// The service's messages are printf-style texts ("%s", "%d", "%ld", "%X",
// "%%"). TrxFormat fills them from typed arguments: every argument carries
// its own type, so a placeholder can never read memory that was not passed.
// A placeholder without an argument produces nothing; an argument of
// another kind than the placeholder asks for is written in its natural form
// (a number in decimal for "%s", a text unchanged for "%d").
#pragma once

#include <cstdint>
#include <initializer_list>

#include "platform/trxplatform.h"

class TrxFormatArg {
 public:
  enum class Kind { Signed, Unsigned, Text };

  TrxFormatArg(int value) noexcept : m_kind(Kind::Signed), m_signed(value) {}
  TrxFormatArg(long value) noexcept : m_kind(Kind::Signed), m_signed(value) {}
  TrxFormatArg(long long value) noexcept : m_kind(Kind::Signed), m_signed(value) {}
  TrxFormatArg(short value) noexcept : m_kind(Kind::Signed), m_signed(value) {}
  TrxFormatArg(unsigned int value) noexcept : m_kind(Kind::Unsigned), m_unsigned(value) {}
  TrxFormatArg(unsigned long value) noexcept : m_kind(Kind::Unsigned), m_unsigned(value) {}
  TrxFormatArg(unsigned long long value) noexcept : m_kind(Kind::Unsigned), m_unsigned(value) {}
  TrxFormatArg(unsigned short value) noexcept : m_kind(Kind::Unsigned), m_unsigned(value) {}
  // A null text pointer is written as an empty text.
  TrxFormatArg(const OLECHAR* text) noexcept : m_kind(Kind::Text), m_text(TrxView(text)) {}
  TrxFormatArg(TrxStringView text) noexcept : m_kind(Kind::Text), m_text(text) {}
  TrxFormatArg(const TrxString& text) noexcept : m_kind(Kind::Text), m_text(text) {}
  TrxFormatArg(const TrxBstr& text) noexcept : m_kind(Kind::Text), m_text(text.View()) {}
  // Guard against passing narrow text or a bool by mistake.
  TrxFormatArg(const char*) = delete;
  TrxFormatArg(bool) = delete;

  Kind GetKind() const noexcept { return m_kind; }
  // The argument as text: decimal for numbers.
  TrxString ToText() const;
  void AppendTo(TrxString& out) const;
  // The argument as a signed number; text is read as a decimal number.
  int64_t ToSigned() const noexcept;

 private:
  Kind m_kind;
  int64_t m_signed = 0;
  uint64_t m_unsigned = 0;
  TrxStringView m_text;
};

using TrxFormatArgs = std::initializer_list<TrxFormatArg>;

// Fills `format` with `args` in order. Supported conversions: %s, %d, %i,
// %u, %x, %X and %c, with the length modifiers h, l and ll, an optional
// width with the flags '-' and '0', and %%. An unknown conversion is copied
// as it stands.
TrxString TrxFormat(TrxStringView format, TrxFormatArgs args);
// Appends the filled text to `out`.
void TrxFormatAppend(TrxString& out, TrxStringView format, TrxFormatArgs args);

template <class... Args>
TrxString TrxFormatText(TrxStringView format, const Args&... args) {
  return TrxFormat(format, {TrxFormatArg(args)...});
}
