#include "host/nvsimtemplate.h"

#include "host/nvsimnames.h"

bool CNVSimTemplate::Parse(TrxStringView text, TrxString* error) {
  static const struct {
    const OLECHAR* name;
    Part part;
  } kNames[] = {
      {OLESTR("args"), Part::Arguments},  {OLESTR("object"), Part::Object},
      {OLESTR("request"), Part::Request}, {OLESTR("opid"), Part::OperationId},
      {OLESTR("screen"), Part::Screen},   {OLESTR("screenDisplayName"), Part::ScreenDisplayName},
      {OLESTR("view"), Part::View},       {OLESTR("viewDisplayName"), Part::ViewDisplayName},
      {OLESTR("value"), Part::Current},
  };
  m_source = TrxString(text);
  m_pieces.clear();
  TrxString literal;
  auto flush = [&] {
    if (!literal.empty()) m_pieces.push_back({Part::Literal, std::move(literal), 0, TrxString(), kWhole});
    literal.clear();
  };
  for (size_t i = 0; i < text.size(); ++i) {
    const OLECHAR c = text[i];
    if (c == '}') {
      if (i + 1 < text.size() && text[i + 1] == '}') {
        literal += '}';
        ++i;
        continue;
      }
      if (error) *error = OLESTR("unbalanced '}' in \"") + m_source + OLESTR("\" (write }} for a brace)");
      return false;
    }
    if (c != '{') {
      literal += c;
      continue;
    }
    if (i + 1 < text.size() && text[i + 1] == '{') {
      literal += '{';
      ++i;
      continue;
    }
    const size_t close = text.find('}', i + 1);
    if (close == TrxStringView::npos) {
      if (error) *error = OLESTR("unbalanced '{' in \"") + m_source + OLESTR("\" (write {{ for a brace)");
      return false;
    }
    TrxStringView name = text.substr(i + 1, close - i - 1);
    Piece piece{Part::Literal, TrxString(), 0, TrxString(), kWhole};
    bool known = false;
    // A part selector [n] at the end.
    if (const size_t open = name.rfind('['); open != TrxStringView::npos && name.back() == ']') {
      const TrxStringView digits = name.substr(open + 1, name.size() - open - 2);
      size_t part = 0;
      bool number = !digits.empty() && digits.size() <= 4;
      for (OLECHAR d : digits) {
        number = number && d >= '0' && d <= '9';
        part = part * 10 + static_cast<size_t>(d - '0');
      }
      if (number) {
        piece.selected = part;
        name = name.substr(0, open);
      }
    }
    if (!name.empty() && name[0] == '@') {
      // {@Name} or {@path/Name}: the last '/' that is not escaped ends the path.
      size_t slash = TrxStringView::npos;
      for (size_t k = 1; k < name.size(); ++k) {
        if (name[k] == '\\')
          ++k;
        else if (name[k] == '/')
          slash = k;
      }
      piece.path = slash == TrxStringView::npos ? TrxString() : TrxString(name.substr(1, slash - 1));
      piece.literal = TrxString(name.substr(slash == TrxStringView::npos ? 1 : slash + 1));
      piece.part = Part::Property;
      known = !piece.literal.empty();
    }
    if (name.size() > 3 && name.substr(0, 3) == OLESTR("arg") && name.size() <= 6) {
      size_t index = 0;
      bool digits = true;
      for (OLECHAR d : name.substr(3)) {
        if (d < '0' || d > '9') digits = false;
        index = index * 10 + static_cast<size_t>(d - '0');
      }
      if (digits) {
        piece.part = Part::Argument;
        piece.index = index;
        known = true;
      }
    }
    for (const auto& entry : kNames) {
      if (!known && name == entry.name) {
        piece.part = entry.part;
        known = true;
      }
    }
    if (!known) {
      if (error)
        *error = OLESTR("unknown placeholder {") + TrxString(name) + OLESTR("} in \"") + m_source + OLESTR("\"");
      return false;
    }
    flush();
    m_pieces.push_back(std::move(piece));
    i = close;
  }
  flush();
  return true;
}

bool CNVSimTemplate::IsLiteral() const noexcept {
  for (const Piece& piece : m_pieces)
    if (piece.part != Part::Literal) return false;
  return true;
}

TrxString CNVSimTemplate::SelectPart(const TrxString& text, size_t part) {
  auto word = [](OLECHAR c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c > 127;
  };
  size_t count = 0;
  for (size_t i = 0; i < text.size();) {
    if (!word(text[i])) {
      ++i;
      continue;
    }
    size_t end = i;
    while (end < text.size() && word(text[end])) ++end;
    if (count++ == part) return text.substr(i, end - i);
    i = end;
  }
  return TrxString();
}

TrxString CNVSimTemplate::Expand(const CNVSimTemplateContext& context, TrxString* error) const {
  TrxString text;
  for (const Piece& piece : m_pieces) {
    const size_t start = text.size();
    switch (piece.part) {
      case Part::Literal:
        text += piece.literal;
        break;
      case Part::Argument:
        if (context.arguments && piece.index < context.arguments->size()) text += (*context.arguments)[piece.index];
        break;
      case Part::Arguments:
        if (context.arguments) {
          for (size_t i = 0; i < context.arguments->size(); ++i) {
            if (i) text += '|';
            text += (*context.arguments)[i];
          }
        }
        break;
      case Part::Object:
        text += context.objectName;
        break;
      case Part::Request:
        text += CNVSimNames::RequestName(context.request);
        break;
      case Part::OperationId:
        text += context.operationId;
        break;
      case Part::Screen:
        text += context.screen;
        break;
      case Part::ScreenDisplayName:
        text += context.screenDisplayName;
        break;
      case Part::View:
        text += context.view;
        break;
      case Part::ViewDisplayName:
        text += context.viewDisplayName;
        break;
      case Part::Current:
        text += context.current;
        break;
      case Part::Property: {
        TrxString value;
        if (context.read && !context.read(piece.path, piece.literal, value) && error && error->empty())
          *error = OLESTR("{@") + piece.path + OLESTR("/") + piece.literal + OLESTR("} names no object");
        text += value;
        break;
      }
    }
    if (piece.selected != kWhole) text = text.substr(0, start) + SelectPart(text.substr(start), piece.selected);
  }
  return text;
}
