#include "objects/nvtrxclasses.h"

#include <map>

namespace {

template <class Class>
CNVTRXAutomation* Make(TrxStringView repositoryName, CNVTRXAutomation* parent) {
  return new Class(repositoryName, parent);
}

struct ClassEntry {
  const OLECHAR* className;
  CNVTRXAutomation* (*factory)(TrxStringView repositoryName, CNVTRXAutomation* parent);
};

// Every automation class below the application, by catalogue class name.
// clang-format off
const ClassEntry kClasses[] = {
    {OLESTR(""), nullptr},  // no class is listed yet
};
// clang-format on

std::map<TrxString, TrxClassFactory>& Substitutes() {
  static std::map<TrxString, TrxClassFactory> substitutes;
  return substitutes;
}

}  // namespace

TrxClassFactory TrxFindClass(TrxStringView className) {
  const auto substitute = Substitutes().find(TrxString(className));
  if (substitute != Substitutes().end()) return substitute->second;
  for (const ClassEntry& entry : kClasses)
    if (entry.factory && className == entry.className) return entry.factory;
  return nullptr;
}

void TrxSubstituteClass(TrxStringView className, TrxClassFactory factory) {
  Substitutes()[TrxString(className)] = std::move(factory);
}

void TrxRestoreClasses() { Substitutes().clear(); }
