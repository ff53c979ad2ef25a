// The rules of the simulated client's application: which rule a request or
// a user action meets, and how its actions change the client's state.
// Everything here runs with the client's lock held.
#include <utility>

#include "host/nvsimapplication.h"
#include "host/nvsimstatus.h"

const CNVSimRule* CNVSimApplication::FindRuleLocked(const CNVSimObject& object, LONG request,
                                                    const std::vector<TrxString>& arguments) const {
  const LONG index = object.GetIndex();
  const LONG type = Def(index).type;
  for (const CNVSimRule& rule : Def(index).rules)
    if (rule.Matches(request, index, type, arguments)) return &rule;
  for (const CNVSimRule& rule : m_description->GetGeneralRules())
    if (rule.Matches(request, index, type, arguments)) return &rule;
  return nullptr;
}

LONG CNVSimApplication::ResolveTargetLocked(const CNVSimObject& object, const CNVSimTarget& target,
                                            TrxString& error) const {
  if (target.index >= 0) return target.index;
  LONG current = object.GetIndex();
  if (target.index == CNVSimTarget::kSelf) return current;
  std::vector<TrxString> segments;
  CNVSimDescription::SplitPath(target.relative, segments);
  for (const TrxString& segment : segments) {
    if (segment == OLESTR(".")) continue;
    if (segment == OLESTR("..")) {
      current = Def(current).parent;
      if (current < 0) break;
      continue;
    }
    LONG found = -1;
    for (LONG child : Def(current).children) {
      if (Def(child).name != segment) continue;
      if (found < 0 || (IsVisibleLocked(child) && !IsVisibleLocked(found))) found = child;
    }
    current = found;
    if (current < 0) break;
  }
  if (current < 0)
    error = OLESTR("the target ") + target.source + OLESTR(" names no object from ") + Def(object.GetIndex()).name;
  return current;
}

CNVSimTemplateContext CNVSimApplication::TemplateContextLocked(const CNVSimObject& object, LONG request,
                                                               const std::vector<TrxString>& arguments) const {
  CNVSimTemplateContext context;
  context.arguments = &arguments;
  context.objectName = Def(object.GetIndex()).name;
  context.request = request;
  context.operationId = m_operationId;
  if (m_activeScreen >= 0) {
    const CNVSimScreenDef& screen = m_description->GetScreens()[static_cast<size_t>(m_activeScreen)];
    context.screen = screen.name;
    context.screenDisplayName = screen.displayName;
  }
  if (m_currentView >= 0) {
    context.view = Def(m_currentView).name;
    context.viewDisplayName = DisplayNameLocked(m_currentView);
  }
  // {@path/Name}: read when the placeholder is filled, so that an action
  // sees what the actions before it in the rule changed.
  context.read = [this, &object](TrxStringView path, TrxStringView property, TrxString& text) {
    LONG index = object.GetIndex();
    if (!path.empty()) {
      CNVSimTarget target;
      target.source = TrxString(path);
      const bool relative =
          path == OLESTR(".") || path.substr(0, 2) == OLESTR("./") || path.substr(0, 2) == OLESTR("..");
      if (relative) {
        target.index = CNVSimTarget::kRelative;
        target.relative = TrxString(path);
      } else {
        target.index = m_description->FindObject(path);
        if (target.index < 0) return false;
      }
      TrxString error;
      index = ResolveTargetLocked(object, target, error);
      if (index < 0) return false;
    }
    CNVSimValue live;
    if (const CNVSimProperty* declared = FindPropertyLocked(Object(index), property))
      text = declared->value.ToText();
    else if (LivePropertyLocked(Object(index), property, live))
      text = live.ToText();
    return true;
  };
  return context;
}

CNVSimFailure CNVSimApplication::ApplyRuleLocked(CNVSimObject& object, const CNVSimRule& rule, LONG request,
                                                 const std::vector<TrxString>& arguments, bool userAction) {
  for (const CNVSimAction& action : rule.actions) {
    CNVSimFailure failure;
    if (!ApplyActionLocked(object, action, request, arguments, failure) && !userAction) return failure;
  }
  return CNVSimFailure();
}

bool CNVSimApplication::ApplyActionLocked(CNVSimObject& object, const CNVSimAction& action, LONG request,
                                          const std::vector<TrxString>& arguments, CNVSimFailure& failure) {
  using Kind = CNVSimAction::Kind;
  auto ruleError = [&](TrxString text) {
    failure = CNVSimFailure{NVSIM_E_BAD_PARAMETER, NVSIM_ERROR_RULE,
                            std::move(text) + OLESTR(" (rule of line ") + TrxDecimal(action.line) + OLESTR(")")};
    return false;
  };
  switch (action.kind) {
    case Kind::Delay:
    case Kind::Busy:
    case Kind::Hang:
    case Kind::EndEnter:
      return true;
    case Kind::Fail:
      failure = CNVSimFailure{action.status, action.code,
                              action.value.Expand(TemplateContextLocked(object, request, arguments))};
      return false;
    case Kind::GotoScreen: {
      const TrxString name = action.value.Expand(TemplateContextLocked(object, request, arguments));
      const LONG screen = m_description->FindScreen(name);
      if (screen < 0) return ruleError(OLESTR("No screen named \"") + name + OLESTR("\""));
      SwitchToViewLocked(m_description->GetScreens()[static_cast<size_t>(screen)].defaultView);
      return true;
    }
    case Kind::GotoView: {
      const TrxString name = action.value.Expand(TemplateContextLocked(object, request, arguments));
      if (!GotoView(name)) return ruleError(OLESTR("No view named \"") + name + OLESTR("\""));
      return true;
    }
    case Kind::Show:
    case Kind::Hide:
    case Kind::Set:
    case Kind::Append:
    case Kind::Remove:
    case Kind::Increment:
      break;
  }
  TrxString error;
  const LONG index = ResolveTargetLocked(object, action.target, error);
  if (index < 0) return ruleError(error);
  CNVSimObject& target = Object(index);
  if (action.kind == Kind::Show || action.kind == Kind::Hide) {
    target.m_visible = action.kind == Kind::Show;
    return true;
  }
  CNVSimProperty* property = FindPropertyLocked(target, action.property);
  if (!property) {
    target.m_properties.push_back(action.NewProperty());
    property = &target.m_properties.back();
  }
  if (!action.ChangeProperty(*property, TemplateContextLocked(object, request, arguments), error))
    return ruleError(error);
  return true;
}
