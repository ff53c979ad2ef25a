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
  };
  m_source = TrxString(text);
  m_pieces.clear();
  TrxString literal;
  auto flush = [&] {
    if (!literal.empty()) m_pieces.push_back({Part::Literal, std::move(literal), 0});
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
    const TrxStringView name = text.substr(i + 1, close - i - 1);
    Piece piece{Part::Literal, TrxString(), 0};
    bool known = false;
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

TrxString CNVSimTemplate::Expand(const CNVSimTemplateContext& context) const {
  TrxString text;
  for (const Piece& piece : m_pieces) {
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
    }
  }
  return text;
}
