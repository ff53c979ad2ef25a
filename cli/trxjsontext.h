// JSON text as the trx program reads and writes it.
//
// Whatever a tool sends, what trx reads is bounded and what it writes is
// valid UTF-8 JSON. A text is checked before it is parsed, in one pass over
// its bytes: it must be UTF-8 throughout (no invalid byte, overlong form,
// encoded surrogate or code point above U+10FFFF, inside strings or out of
// them) and its arrays and objects may nest at most kTrxJsonMaxDepth levels.
// The parser and everything that walks a parsed value recurse once per
// level, so the depth bound is what keeps a line from exhausting the stack
// or taking time that grows with the square of its depth.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <string>
#include <string_view>

#include "cli/trxjsonvariant.h"

// Levels of arrays and objects a text may nest; a request object is the
// first level.
inline constexpr size_t kTrxJsonMaxDepth = 256;
// The longest line the bridge reads unless told otherwise (trx serve
// --max-line): 16 MiB.
inline constexpr size_t kTrxDefaultMaxLineBytes = size_t{16} << 20;

// True when `text` is UTF-8 nested no deeper than kTrxJsonMaxDepth; false,
// with the reason and the offset of the first byte at fault (counted from
// 0), when it is not. Says nothing about the rest of the JSON syntax.
bool TrxCheckJsonText(std::string_view text, std::string& error);

// Checks `text` as above, then parses it. False, with a reason that is
// itself valid UTF-8, when it is not one JSON value.
bool TrxParseJson(std::string_view text, TrxJson& value, std::string& error);

// `text` with every byte that is not part of a well-formed UTF-8 sequence
// replaced by U+FFFD.
std::string TrxValidUtf8(std::string_view text);

// The one-line text of a value; valid UTF-8 whatever its strings hold.
std::string TrxJsonLine(const TrxJson& value);

// Reads one line of `in` (without its '\n') in time linear in its length;
// false when the input has no more lines. A line longer than `limit` bytes
// is read to its end, but only its first limit + 1 bytes are kept: enough
// to tell that it is too long.
bool TrxReadLine(std::istream& in, std::string& line, size_t limit);
