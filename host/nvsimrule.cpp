#include "host/nvsimrule.h"

#include <algorithm>
#include <cstdint>

bool CNVSimRule::Glob(TrxStringView pattern, TrxStringView text) {
  size_t p = 0, t = 0;
  size_t star = TrxStringView::npos, resume = 0;
  while (t < text.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == text[t])) {
      ++p;
      ++t;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = t;
    } else if (star != TrxStringView::npos) {
      p = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool CNVSimRule::Matches(LONG request, LONG objectIndex, LONG type, const std::vector<TrxString>& arguments) const {
  if (!requests.empty() && std::find(requests.begin(), requests.end(), request) == requests.end()) return false;
  if (objectType >= 0 && objectType != type) return false;
  if (object >= 0 && object != objectIndex) return false;
  if (argumentCount >= 0 && static_cast<size_t>(argumentCount) != arguments.size()) return false;
  for (const auto& [index, pattern] : argumentPatterns) {
    const TrxStringView argument = index < arguments.size() ? TrxStringView(arguments[index]) : TrxStringView();
    if (index >= arguments.size() && pattern != OLESTR("*") && !pattern.empty()) return false;
    if (!Glob(pattern, argument)) return false;
  }
  return true;
}

CNVSimProperty CNVSimAction::NewProperty() const {
  CNVSimProperty added;
  added.name = property;
  added.keyed = keyed;
  CNVSimValue::Kind valueKind = typed ? type : CNVSimValue::Kind::String;
  if (kind == Kind::Append || kind == Kind::Remove)
    valueKind = typed && CNVSimValue::EmptyOf(type).IsList() ? type : CNVSimValue::Kind::Strings;
  if (kind == Kind::Increment) valueKind = CNVSimValue::Kind::Int;
  added.value = CNVSimValue::EmptyOf(valueKind);
  return added;
}

bool CNVSimAction::ChangeProperty(CNVSimProperty& target, const CNVSimTemplateContext& context,
                                  TrxString& error) const {
  const TrxString slotKey = keyed ? key.Expand(context) : TrxString();
  if (keyed && !target.keyed) {
    error = OLESTR("Property \"") + property + OLESTR("\" is not keyed");
    return false;
  }
  CNVSimValue& slot = target.Slot(slotKey);
  CNVSimTemplateContext withCurrent = context;
  withCurrent.current = slot.ToText();
  TrxString reason;
  const TrxString text = kind == Kind::Increment ? TrxString() : value.Expand(withCurrent, &reason);
  if (!reason.empty()) {
    error = std::move(reason);
    return false;
  }
  if (kind == Kind::Set) {
    CNVSimValue::Kind valueKind = typed ? type : slot.GetKind();
    if (valueKind == CNVSimValue::Kind::Empty || valueKind == CNVSimValue::Kind::Table)
      valueKind = CNVSimValue::Kind::String;
    CNVSimValue changed;
    if (!CNVSimValue::FromText(valueKind, text, changed, &reason)) {
      error = OLESTR("Property \"") + property + OLESTR("\": ") + reason;
      return false;
    }
    slot = std::move(changed);
    return true;
  }
  if (kind == Kind::Increment) {
    TrxVariant number;
    if (slot.GetKind() == CNVSimValue::Kind::Int) number = slot.GetScalar();
    if (number.vt != VT_I4 && slot.GetKind() != CNVSimValue::Kind::Empty) {
      error = OLESTR("Property \"") + property + OLESTR("\" is not an int");
      return false;
    }
    int64_t next = static_cast<int64_t>(number.vt == VT_I4 ? number.lVal : 0) + by;
    if (hasMin) next = std::max<int64_t>(next, min);
    if (hasMax) next = std::min<int64_t>(next, max);
    next = std::clamp<int64_t>(next, -2147483647LL - 1, 2147483647LL);
    slot = CNVSimValue::FromInt(static_cast<LONG>(next));
    return true;
  }
  if (!slot.IsList()) {
    error = OLESTR("Property \"") + property + OLESTR("\" is not a list");
    return false;
  }
  TrxVariant item;
  if (slot.GetKind() == CNVSimValue::Kind::Variants) {
    item = TrxVariant::FromString(text);
  } else if (!CNVSimValue::ItemFromText(slot.GetKind(), text, item, &reason)) {
    error = OLESTR("Property \"") + property + OLESTR("\": ") + reason;
    return false;
  }
  if (kind == Kind::Append) {
    if (!(unique && slot.ContainsItem(item))) slot.AppendItem(item);
    while (limit > 0 && slot.GetItems().size() > static_cast<size_t>(limit)) slot.RemoveFirstItem();
    return true;
  }
  CNVSimValue kept = CNVSimValue::EmptyOf(slot.GetKind());
  for (const TrxVariant& existing : slot.GetItems()) {
    CNVSimValue single = CNVSimValue::EmptyOf(slot.GetKind());
    single.AppendItem(existing);
    if (!single.ContainsItem(item)) kept.AppendItem(existing);
  }
  slot = std::move(kept);
  return true;
}
