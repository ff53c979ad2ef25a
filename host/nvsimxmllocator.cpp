#include "host/nvsimxmllocator.h"

namespace {

bool IsSpace(OLECHAR c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool IsNameChar(OLECHAR c) {
  return !IsSpace(c) && c != '>' && c != '/' && c != '=' && c != '<' && c != '"' && c != '\'';
}

}  // namespace

CNVSimXmlLocator::CNVSimXmlLocator(TrxStringView text) { Scan(text); }

LONG CNVSimXmlLocator::GetElementLine(size_t ordinal) const { return ordinal < m_lines.size() ? m_lines[ordinal] : 0; }

bool CNVSimXmlLocator::GetProblem(LONG& line, TrxString& message) const {
  if (!m_failed) return false;
  line = m_problemLine;
  message = m_problem;
  return true;
}

void CNVSimXmlLocator::Fail(LONG line, TrxString message) {
  if (m_failed) return;
  m_failed = true;
  m_problemLine = line;
  m_problem = std::move(message);
}

void CNVSimXmlLocator::Scan(TrxStringView text) {
  struct Open {
    TrxString name;
    LONG line;
  };
  std::vector<Open> open;
  bool rootClosed = false;
  LONG line = 1;
  size_t pos = 0;
  // Moves to `to`, counting the lines passed.
  auto advance = [&](size_t to) {
    for (; pos < to && pos < text.size(); ++pos)
      if (text[pos] == '\n') ++line;
  };
  auto startsWith = [&](TrxStringView what) { return text.substr(pos, what.size()) == what; };
  // Skips a construct that ends with `end`; false when it never ends.
  auto skipTo = [&](TrxStringView end, const OLECHAR* what) {
    const LONG startLine = line;
    const size_t found = text.find(end, pos);
    if (found == TrxStringView::npos) {
      Fail(startLine, TrxString(OLESTR("unterminated ")) + what);
      return false;
    }
    advance(found + end.size());
    return true;
  };

  while (pos < text.size() && !m_failed) {
    const OLECHAR c = text[pos];
    if (c != '<') {
      if (!IsSpace(c) && open.empty() && !(pos == 0 && c == 0xFEFF)) {
        Fail(line, rootClosed ? OLESTR("text after the document element") : OLESTR("text before the document element"));
        return;
      }
      advance(pos + 1);
      continue;
    }
    if (startsWith(OLESTR("<!--"))) {
      if (!skipTo(OLESTR("-->"), OLESTR("comment"))) return;
      continue;
    }
    if (startsWith(OLESTR("<![CDATA["))) {
      if (!skipTo(OLESTR("]]>"), OLESTR("CDATA section"))) return;
      continue;
    }
    if (startsWith(OLESTR("<?"))) {
      if (!skipTo(OLESTR("?>"), OLESTR("processing instruction"))) return;
      continue;
    }
    if (startsWith(OLESTR("<!"))) {
      // A document type declaration, possibly with an internal subset.
      const LONG startLine = line;
      int depth = 0;
      size_t i = pos + 2;
      for (; i < text.size(); ++i) {
        if (text[i] == '[') ++depth;
        if (text[i] == ']') --depth;
        if (text[i] == '>' && depth <= 0) break;
      }
      if (i >= text.size()) {
        Fail(startLine, OLESTR("unterminated declaration"));
        return;
      }
      advance(i + 1);
      continue;
    }
    const LONG tagLine = line;
    const bool closing = startsWith(OLESTR("</"));
    size_t i = pos + (closing ? 2 : 1);
    const size_t nameStart = i;
    while (i < text.size() && IsNameChar(text[i])) ++i;
    const TrxString name(text.substr(nameStart, i - nameStart));
    if (name.empty()) {
      Fail(tagLine, OLESTR("'<' not followed by an element name"));
      return;
    }
    if (closing) {
      while (i < text.size() && IsSpace(text[i])) ++i;
      if (i >= text.size() || text[i] != '>') {
        Fail(tagLine, OLESTR("end tag </") + name + OLESTR("> is not closed with '>'"));
        return;
      }
      if (open.empty()) {
        Fail(tagLine, OLESTR("end tag </") + name + OLESTR("> without a start tag"));
        return;
      }
      if (open.back().name != name) {
        Fail(tagLine, OLESTR("end tag </") + name + OLESTR("> does not match <") + open.back().name +
                          OLESTR("> of line ") + TrxDecimal(open.back().line));
        return;
      }
      open.pop_back();
      if (open.empty()) rootClosed = true;
      advance(i + 1);
      continue;
    }
    if (open.empty() && rootClosed) {
      Fail(tagLine, OLESTR("a second document element <") + name + OLESTR(">"));
      return;
    }
    m_lines.push_back(tagLine);
    // Attributes up to '>' or '/>'.
    bool empty = false;
    for (;;) {
      while (i < text.size() && IsSpace(text[i])) ++i;
      if (i >= text.size()) {
        advance(i);
        Fail(tagLine, OLESTR("start tag <") + name + OLESTR("> is not closed with '>'"));
        return;
      }
      if (text[i] == '>') break;
      if (text[i] == '/' && i + 1 < text.size() && text[i + 1] == '>') {
        empty = true;
        ++i;
        break;
      }
      const size_t attributeStart = i;
      while (i < text.size() && IsNameChar(text[i])) ++i;
      const TrxString attribute(text.substr(attributeStart, i - attributeStart));
      while (i < text.size() && IsSpace(text[i])) ++i;
      if (attribute.empty() || i >= text.size() || text[i] != '=') {
        advance(i);
        Fail(line, OLESTR("malformed attribute in <") + name + OLESTR(">"));
        return;
      }
      ++i;
      while (i < text.size() && IsSpace(text[i])) ++i;
      if (i >= text.size() || (text[i] != '"' && text[i] != '\'')) {
        advance(i);
        Fail(line, OLESTR("value of attribute ") + attribute + OLESTR(" in <") + name + OLESTR("> is not quoted"));
        return;
      }
      const OLECHAR quote = text[i];
      size_t j = i + 1;
      while (j < text.size() && text[j] != quote && text[j] != '<') ++j;
      if (j >= text.size() || text[j] == '<') {
        advance(i);
        Fail(line, OLESTR("unterminated value of attribute ") + attribute + OLESTR(" in <") + name + OLESTR(">"));
        return;
      }
      i = j + 1;
    }
    advance(i + 1);
    if (empty) {
      if (open.empty()) rootClosed = true;
    } else {
      open.push_back({name, tagLine});
    }
  }
  if (!m_failed && !open.empty()) {
    Fail(open.back().line, OLESTR("element <") + open.back().name + OLESTR("> is not closed"));
  } else if (!m_failed && !rootClosed) {
    Fail(line, OLESTR("no document element"));
  }
}
