// Wide-string helpers shared by both platforms.
#include "trxplatform.h"

TrxString TrxWiden(std::string_view utf8) {
  TrxString out;
  out.reserve(utf8.size());
  size_t i = 0;
  const size_t n = utf8.size();
  auto byteAt = [&](size_t k) { return static_cast<unsigned char>(utf8[k]); };
  while (i < n) {
    unsigned char c = byteAt(i);
    if (c < 0x80) {  // runs of ASCII, the common case
      out.push_back(static_cast<OLECHAR>(c));
      ++i;
      continue;
    }
    uint32_t cp = 0xFFFD;
    size_t extra = 0;
    if (c < 0x80) {
      cp = c;
    } else if ((c & 0xE0) == 0xC0) {
      cp = c & 0x1F;
      extra = 1;
    } else if ((c & 0xF0) == 0xE0) {
      cp = c & 0x0F;
      extra = 2;
    } else if ((c & 0xF8) == 0xF0) {
      cp = c & 0x07;
      extra = 3;
    } else {
      extra = 0;
      cp = 0xFFFD;
    }
    bool ok = c < 0x80 || extra > 0;
    size_t k = 1;
    for (; ok && k <= extra; ++k) {
      if (i + k >= n || (byteAt(i + k) & 0xC0) != 0x80) {
        ok = false;
        break;
      }
      cp = (cp << 6) | (byteAt(i + k) & 0x3F);
    }
    if (!ok || (extra == 1 && cp < 0x80) || (extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000) ||
        cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      out.push_back(static_cast<OLECHAR>(0xFFFD));
      i += ok ? extra + 1 : k;
      continue;
    }
    i += extra + 1;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<OLECHAR>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<OLECHAR>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<OLECHAR>(cp));
    }
  }
  return out;
}

std::string TrxNarrow(TrxStringView utf16) {
  std::string out(utf16.size(), '\0');
  size_t ascii = 0;  // a leading run of ASCII is copied without growing
  while (ascii < utf16.size() && static_cast<uint16_t>(utf16[ascii]) < 0x80) {
    out[ascii] = static_cast<char>(utf16[ascii]);
    ++ascii;
  }
  out.resize(ascii);
  if (ascii == utf16.size()) return out;
  out.reserve(utf16.size() + 8);
  for (size_t i = ascii; i < utf16.size(); ++i) {
    uint32_t cp = static_cast<uint16_t>(utf16[i]);
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < utf16.size()) {
      uint32_t lo = static_cast<uint16_t>(utf16[i + 1]);
      if (lo >= 0xDC00 && lo <= 0xDFFF) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
        ++i;
      }
    }
    if (cp >= 0xD800 && cp <= 0xDFFF) cp = 0xFFFD;
    TrxAppendUtf8(out, cp);
  }
  return out;
}

TrxString TrxDecimalU(uint64_t value) {
  OLECHAR buffer[24];
  size_t pos = sizeof(buffer) / sizeof(buffer[0]);
  do {
    buffer[--pos] = static_cast<OLECHAR>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  return TrxString(buffer + pos, sizeof(buffer) / sizeof(buffer[0]) - pos);
}

TrxString TrxDecimal(int64_t value) {
  if (value >= 0) return TrxDecimalU(static_cast<uint64_t>(value));
  TrxString text(1, static_cast<OLECHAR>('-'));
  text += TrxDecimalU(0 - static_cast<uint64_t>(value));
  return text;
}

TrxString TrxHex(uint32_t value) {
  static const char digits[] = "0123456789ABCDEF";
  OLECHAR buffer[8];
  size_t pos = 8;
  do {
    buffer[--pos] = static_cast<OLECHAR>(digits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  return TrxString(buffer + pos, 8 - pos);
}

size_t TrxLength(const OLECHAR* text) {
  if (!text) return 0;
  size_t n = 0;
  while (text[n]) ++n;
  return n;
}

bool TrxEqualsNoCase(TrxStringView a, TrxStringView b) {
  if (a.size() != b.size()) return false;
  if (a.empty()) return true;
  return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()), b.data(),
                        static_cast<int>(b.size())) == CSTR_EQUAL;
}

long TrxParseLong(TrxStringView text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= 9 && text[i] <= 13))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > 0x7FFFFFFFLL + 1) value = 0x7FFFFFFFLL + 1;  // saturate like the C runtime
  }
  if (negative) value = -value;
  if (value > 0x7FFFFFFFLL) value = 0x7FFFFFFFLL;
  return static_cast<long>(value);
}

std::vector<unsigned char> TrxUtf16LEBytes(TrxStringView text) {
  std::vector<unsigned char> bytes;
  bytes.reserve(text.size() * 2);
  for (OLECHAR c : text) {
    bytes.push_back(static_cast<unsigned char>(static_cast<uint16_t>(c) & 0xFF));
    bytes.push_back(static_cast<unsigned char>(static_cast<uint16_t>(c) >> 8));
  }
  return bytes;
}

void TrxAppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}
