// A text with placeholders that a rule fills in when it runs:
// {arg0} .. {argN} (the request's arguments as text; missing ones are
// empty), {args} (all of them, joined with '|'), {object} (name of the
// object the request went to), {request} (REQID_ name of the request),
// {opid} (the operation id the service set), {screen}, {screenDisplayName},
// {view}, {viewDisplayName} (the client's state when the placeholder is
// filled). "{{" and "}}" stand for the braces themselves.
#pragma once

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
};

class CNVSimTemplate {
 public:
  CNVSimTemplate() = default;
  // False, with the reason in `error`, for an unknown placeholder or an
  // unbalanced brace.
  bool Parse(TrxStringView text, TrxString* error);
  TrxString Expand(const CNVSimTemplateContext& context) const;
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
    ViewDisplayName
  };
  struct Piece {
    Part part;
    TrxString literal;
    size_t index = 0;
  };
  TrxString m_source;
  std::vector<Piece> m_pieces;
};
