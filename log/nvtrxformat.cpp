#include "log/nvtrxformat.h"

namespace {

// Printable form of a number with the given base and letter case.
TrxString NumberText(uint64_t magnitude, bool negative, unsigned base, bool upper) {
  if (base == 10) {
    TrxString text = TrxDecimalU(magnitude);
    if (negative) text.insert(text.begin(), static_cast<OLECHAR>('-'));
    return text;
  }
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  OLECHAR buffer[24];
  size_t pos = 24;
  do {
    buffer[--pos] = static_cast<OLECHAR>(digits[magnitude % base]);
    magnitude /= base;
  } while (magnitude != 0);
  return TrxString(buffer + pos, 24 - pos);
}

// Renders one argument for a conversion letter. `lengthBits` is the width
// the length modifier asks for (16, 32 or 64): hexadecimal and unsigned
// conversions show a negative number as the two's complement of that width,
// as printf does.
TrxString Render(const TrxFormatArg& arg, OLECHAR conversion, unsigned lengthBits) {
  if (arg.GetKind() == TrxFormatArg::Kind::Text && conversion != 'c') return arg.ToText();
  if (arg.GetKind() == TrxFormatArg::Kind::Text) return arg.ToText().substr(0, 1);
  const int64_t value = arg.ToSigned();
  const uint64_t mask = lengthBits >= 64 ? ~0ULL : ((1ULL << lengthBits) - 1);
  switch (conversion) {
    case 'd':
    case 'i':
      if (arg.GetKind() == TrxFormatArg::Kind::Unsigned) return arg.ToText();
      return NumberText(value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value), value < 0, 10,
                        false);
    case 'u':
      return NumberText(static_cast<uint64_t>(value) & mask, false, 10, false);
    case 'x':
      return NumberText(static_cast<uint64_t>(value) & mask, false, 16, false);
    case 'X':
      return NumberText(static_cast<uint64_t>(value) & mask, false, 16, true);
    case 'c':
      return TrxString(1, static_cast<OLECHAR>(value));
    default:  // 's' and anything else: the natural form
      return arg.ToText();
  }
}

}  // namespace

TrxString TrxFormatArg::ToText() const {
  TrxString text;
  AppendTo(text);
  return text;
}

void TrxFormatArg::AppendTo(TrxString& out) const {
  switch (m_kind) {
    case Kind::Signed:
      out += TrxDecimal(m_signed);
      break;
    case Kind::Unsigned:
      out += TrxDecimalU(m_unsigned);
      break;
    case Kind::Text:
      out.append(m_text.data() ? m_text.data() : OLESTR(""), m_text.size());
      break;
  }
}

int64_t TrxFormatArg::ToSigned() const noexcept {
  switch (m_kind) {
    case Kind::Signed:
      return m_signed;
    case Kind::Unsigned:
      return static_cast<int64_t>(m_unsigned);
    case Kind::Text:
      return TrxParseLong(m_text);
  }
  return 0;
}

void TrxFormatAppend(TrxString& out, TrxStringView format, TrxFormatArgs args) {
  auto next = args.begin();
  const size_t n = format.size();
  size_t i = 0;
  while (i < n) {
    const OLECHAR c = format[i];
    if (c != '%') {
      size_t run = i;
      while (run < n && format[run] != '%') ++run;
      out.append(format.data() + i, run - i);
      i = run;
      continue;
    }
    if (i + 1 < n && format[i + 1] == '%') {
      out.push_back('%');
      i += 2;
      continue;
    }
    // % [flags] [width] [.precision] [length] conversion
    size_t j = i + 1;
    bool leftAlign = false, zeroPad = false;
    while (j < n && (format[j] == '-' || format[j] == '0' || format[j] == '+' || format[j] == ' ' || format[j] == '#')) {
      if (format[j] == '-') leftAlign = true;
      if (format[j] == '0') zeroPad = true;
      ++j;
    }
    size_t width = 0;
    while (j < n && format[j] >= '0' && format[j] <= '9') width = width * 10 + static_cast<size_t>(format[j++] - '0');
    if (j < n && format[j] == '.') {
      ++j;
      while (j < n && format[j] >= '0' && format[j] <= '9') ++j;
    }
    unsigned lengthBits = 32;
    while (j < n && (format[j] == 'h' || format[j] == 'l' || format[j] == 'I' || format[j] == 'w')) {
      if (format[j] == 'h') lengthBits = 16;
      if (format[j] == 'l' && j + 1 < n && format[j + 1] == 'l') {
        lengthBits = 64;
        ++j;
      }
      ++j;
    }
    if (j >= n) {  // a lone '%' at the end
      out.append(format.data() + i, n - i);
      break;
    }
    const OLECHAR conversion = format[j];
    const bool known = conversion == 's' || conversion == 'S' || conversion == 'd' || conversion == 'i' ||
                       conversion == 'u' || conversion == 'x' || conversion == 'X' || conversion == 'c';
    if (!known) {
      out.append(format.data() + i, j + 1 - i);
      i = j + 1;
      continue;
    }
    TrxString text;
    if (next != args.end()) text = Render(*next++, conversion == 'S' ? OLECHAR('s') : conversion, lengthBits);
    if (text.size() < width) {
      const size_t pad = width - text.size();
      if (leftAlign) {
        text.append(pad, ' ');
      } else if (zeroPad && conversion != 's' && conversion != 'S') {
        const size_t signAt = (!text.empty() && text[0] == '-') ? 1 : 0;
        text.insert(signAt, pad, '0');
      } else {
        text.insert(0, pad, ' ');
      }
    }
    out += text;
    i = j + 1;
  }
}

TrxString TrxFormat(TrxStringView format, TrxFormatArgs args) {
  TrxString out;
  out.reserve(format.size() + 32);
  TrxFormatAppend(out, format, args);
  return out;
}
