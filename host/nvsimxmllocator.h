// Line numbers for the description file.
//
// The XML seam parses the file but tells neither where an element was
// written nor where a malformed text goes wrong. This scan of the raw text
// supplies both: the line of each start tag, in document order (the order
// of a pre-order walk of the parsed elements), and the first structural
// problem it can see (an unclosed or mismatched tag, an unterminated
// comment, quote or section, text after the document element).
#pragma once

#include <vector>

#include "platform/trxplatform.h"

class CNVSimXmlLocator {
 public:
  explicit CNVSimXmlLocator(TrxStringView text);

  // Line (from 1) of the n-th start tag; 0 when there is no such tag.
  LONG GetElementLine(size_t ordinal) const;
  size_t GetElementCount() const noexcept { return m_lines.size(); }
  // The first problem found: its line and a message. False when the scan
  // saw none (the parser may still have rejected the text).
  bool GetProblem(LONG& line, TrxString& message) const;

 private:
  void Scan(TrxStringView text);
  void Fail(LONG line, TrxString message);

  std::vector<LONG> m_lines;
  bool m_failed = false;
  LONG m_problemLine = 0;
  TrxString m_problem;
};
