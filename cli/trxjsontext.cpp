#include "cli/trxjsontext.h"

#include <istream>

namespace {

// The length of the well-formed UTF-8 sequence at text[at] (a byte of 0x80
// or above), or 0 with what is wrong with it. The ranges are those of
// Unicode's table of well-formed byte sequences.
size_t SequenceAt(std::string_view text, size_t at, const char*& fault) {
  const auto byte = [&](size_t k) { return at + k < text.size() ? static_cast<unsigned char>(text[at + k]) : 0u; };
  const unsigned lead = byte(0);
  size_t length = 0;
  unsigned low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead < 0xC0) {
    fault = "a continuation byte without a lead byte";
    return 0;
  }
  if (lead < 0xC2) {
    fault = "an overlong encoding";
    return 0;
  }
  if (lead < 0xE0) {
    length = 2;
  } else if (lead < 0xF0) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // below: overlong
    if (lead == 0xED) high = 0x9F;  // above: a surrogate
  } else if (lead < 0xF5) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // below: overlong
    if (lead == 0xF4) high = 0x8F;  // above: beyond U+10FFFF
  } else {
    fault = lead < 0xF8 ? "a code point above U+10FFFF" : "a byte that never occurs in UTF-8";
    return 0;
  }
  const unsigned second = byte(1);
  if (second >= 0x80 && second <= 0xBF && (second < low || second > high)) {
    fault = second < low   ? "an overlong encoding"
            : lead == 0xED ? "an encoded surrogate"
                           : "a code point above U+10FFFF";
    return 0;
  }
  for (size_t k = 1; k < length; ++k) {
    if (byte(k) < 0x80 || byte(k) > 0xBF) {
      fault = "an incomplete sequence";
      return 0;
    }
  }
  return length;
}

}  // namespace

bool TrxCheckJsonText(std::string_view text, std::string& error) {
  size_t depth = 0;
  bool inString = false, escaped = false;
  for (size_t at = 0; at < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[at]);
    if (c >= 0x80) {
      const char* fault = nullptr;
      const size_t length = SequenceAt(text, at, fault);
      if (!length) {
        error = "invalid UTF-8 at byte offset " + std::to_string(at) + ": " + fault;
        return false;
      }
      at += length;
      escaped = false;
      continue;
    }
    if (inString) {
      if (escaped)
        escaped = false;
      else if (c == '\\')
        escaped = true;
      else if (c == '"')
        inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > kTrxJsonMaxDepth) {
        error = "arrays and objects nested deeper than " + std::to_string(kTrxJsonMaxDepth) +
                " levels (at byte offset " + std::to_string(at) + ")";
        return false;
      }
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    }
    ++at;
  }
  return true;
}

bool TrxParseJson(std::string_view text, TrxJson& value, std::string& error) {
  if (!TrxCheckJsonText(text, error)) return false;
  try {
    value = TrxJson::parse(text);
  } catch (const TrxJson::exception& failure) {
    // The parser quotes what it last read, which may end inside a character.
    error = "invalid JSON: " + TrxValidUtf8(failure.what());
    return false;
  }
  return true;
}

std::string TrxValidUtf8(std::string_view text) {
  std::string valid;
  valid.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    const char* fault = nullptr;
    const size_t length = static_cast<unsigned char>(text[at]) < 0x80 ? 1 : SequenceAt(text, at, fault);
    if (length) {
      valid.append(text.substr(at, length));
      at += length;
    } else {
      valid.append("\xEF\xBF\xBD");
      ++at;
    }
  }
  return valid;
}

std::string TrxJsonLine(const TrxJson& value) { return value.dump(-1, ' ', false, TrxJson::error_handler_t::replace); }

bool TrxReadLine(std::istream& in, std::string& line, size_t limit) {
  line.clear();
  std::streambuf* buffer = in.rdbuf();
  if (!buffer || !in.good()) return false;
  for (bool any = false;; any = true) {
    const int c = buffer->sbumpc();
    if (c == std::char_traits<char>::eof()) {
      in.setstate(std::ios::eofbit);
      return any;
    }
    if (c == '\n') return true;
    if (line.size() <= limit) line.push_back(static_cast<char>(c));
  }
}
