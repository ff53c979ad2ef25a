// A text with placeholders that a rule fills in when it runs:
// {arg0} .. {argN} (the request's arguments as text; missing ones are
// empty), {args} (all of them, joined with '|'), {object} (name of the
// object the request went to), {request} (REQID_ name of the request),
// {opid} (the operation id the service set), {screen}, {screenDisplayName},
// {view}, {viewDisplayName} (the client's state when the placeholder is
// filled). "{{" and "}}" stand for the braces themselves.
//
// Current values: {value} is the value, as text, that the property an
// action changes has before the change; {@Name} the value of the property
// Name of the object the request went to, {@path/Name} of another object
// (a path, #id or a relative path as an action's target, with '/' in a
// name written "\/"). Any placeholder may end in a part selector [n]: the
// n-th (from 0) run of letters and digits of its text, empty when there are
// fewer ({arg0[2]} of "12/24/2024" is "2024").
#pragma once

#include <functional>
#include <vector>

#include "platform/trxplatform.h"

struct CNVSimTemplateContext {
  const std::vector<TrxString>* arguments = nullptr;
  TrxString objectName;
  LONG request = 0;
  TrxString operationId;
  TrxString screen;
  TrxString screenDisplayName;
  TrxString view;
  TrxString viewDisplayName;
  // {value}: the changed property's text before the change.
  TrxString current;
  // {@path/Name}: the text of a property of the object `path` names (empty:
  // the request's object); false when the path names no object.
  std::function<bool(TrxStringView path, TrxStringView property, TrxString& text)> read;
};

class CNVSimTemplate {
 public:
  CNVSimTemplate() = default;
  // False, with the reason in `error`, for an unknown placeholder or an
  // unbalanced brace.
  bool Parse(TrxStringView text, TrxString* error);
  // The text with its placeholders filled; `error`, when given, names a
  // {@path/Name} whose path named no object (that placeholder is empty).
  TrxString Expand(const CNVSimTemplateContext& context, TrxString* error = nullptr) const;
  // The text as written.
  const TrxString& GetSource() const noexcept { return m_source; }
  bool IsLiteral() const noexcept;

 private:
  enum class Part {
    Literal,
    Argument,
    Arguments,
    Object,
    Request,
    OperationId,
    Screen,
    ScreenDisplayName,
    View,
    ViewDisplayName,
    Current,
    Property
  };
  struct Piece {
    Part part;
    TrxString literal;  // Literal: the text; Property: the property's name
    size_t index = 0;
    TrxString path;            // Property: the object, as written
    size_t selected = kWhole;  // the part selector [n]
  };
  static constexpr size_t kWhole = static_cast<size_t>(-1);
  static TrxString SelectPart(const TrxString& text, size_t part);
  TrxString m_source;
  std::vector<Piece> m_pieces;
};
