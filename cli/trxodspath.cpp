#include "cli/trxodspath.h"

#include "descriptors/nvtrxodsutil.h"

namespace {

constexpr char kRootClass[] = "NorvApplication";
constexpr char kRootName[] = "Norvik";

}  // namespace

bool TrxParseObjectPath(const std::string& path, std::vector<std::pair<TrxString, TrxString>>& chain,
                        std::string& error) {
  chain.clear();
  std::vector<std::pair<std::string, std::string>> levels;
  size_t position = path.empty() || path[0] != '/' ? 0 : 1;
  while (position < path.size()) {
    const size_t open = path.find_first_of("[]/", position);
    if (open == std::string::npos || path[open] != '[') {
      const std::string segment = path.substr(position, open == std::string::npos ? std::string::npos : open - position);
      error = "\"" + segment + "\" at position " + std::to_string(position + 1) +
              " needs a repository name in brackets, as in NorvScreen[Accounts]";
      return false;
    }
    const std::string className = path.substr(position, open - position);
    if (className.empty()) {
      error = "a class name is missing before '[' at position " + std::to_string(open + 1);
      return false;
    }
    std::string name;
    size_t at = open + 1;
    bool closed = false;
    while (at < path.size()) {
      const char c = path[at++];
      if (c == '\\' && at < path.size()) {
        name += path[at++];
      } else if (c == ']') {
        closed = true;
        break;
      } else {
        name += c;
      }
    }
    if (!closed) {
      error = "the '[' at position " + std::to_string(open + 1) + " is not closed";
      return false;
    }
    levels.emplace_back(className, name);
    if (at < path.size()) {
      if (path[at] != '/' || at + 1 == path.size()) {
        error = "expected '/' and another level at position " + std::to_string(at + 1);
        return false;
      }
      ++at;
    }
    position = at;
  }
  if (levels.empty() || levels.front().first != kRootClass) chain.emplace_back(TrxWiden(kRootClass), TrxWiden(kRootName));
  for (const auto& level : levels) chain.emplace_back(TrxWiden(level.first), TrxWiden(level.second));
  return true;
}

bool TrxDescriptorFromObject(const std::string& object, TrxString& descriptor, std::string& error) {
  const size_t first = object.find_first_not_of(" \t\r\n");
  if (first != std::string::npos && object[first] == '<') {
    descriptor = TrxWiden(object);
    return true;
  }
  std::vector<std::pair<TrxString, TrxString>> chain;
  if (!TrxParseObjectPath(object, chain, error)) return false;
  descriptor = TrxComposeODS(chain);
  return true;
}

std::string TrxObjectPathText(const std::vector<std::pair<TrxString, TrxString>>& chain) {
  std::string text;
  for (size_t i = 1; i < chain.size(); ++i) {
    if (i > 1) text += '/';
    text += TrxNarrow(chain[i].first) + '[';
    for (char c : TrxNarrow(chain[i].second)) {
      if (c == ']' || c == '\\') text += '\\';
      text += c;
    }
    text += ']';
  }
  return text.empty() ? "/" : text;
}
