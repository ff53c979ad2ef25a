#include "host/nvsimrule.h"

#include <algorithm>

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
