// The list of automation classes: one factory per catalogue class name.
//
// A parent's CreateChild names the classes it may create and asks this list
// for the factory; a class that is not listed (yet) cannot be created
// (-1016). Tests may substitute a class for their lifetime.
#pragma once

#include <functional>

#include "model/nvtrxautomation.h"

using TrxClassFactory = std::function<CNVTRXAutomation*(TrxStringView repositoryName, CNVTRXAutomation* parent)>;

// The factory of a catalogue class, or an empty one.
TrxClassFactory TrxFindClass(TrxStringView className);

// A class a parent may create: the catalogue name a descriptor or rule
// gives, and the listed class that stands for it (the same name, or the
// class of which it is a kind, as NorvTaskStep is a kind of NorvView).
struct TrxChildClass {
  const OLECHAR* className;
  const OLECHAR* listedAs;
};

// A parent's CreateChild: the child of one of `allowed` (compared exactly)
// with that repository name, made by the listed factory with `parent` as its
// parent. Anything else, or a class not listed yet, is -1016. The result is
// the service's last error, through which a constructor's failure shows.
TRXRESULT TrxCreateChild(CNVTRXAutomation* parent, std::span<const TrxChildClass> allowed, TrxStringView className,
                         TrxStringView repositoryName, CNVTRXAutomation** ppChild,
                         std::source_location where = std::source_location::current());

// Replaces the factory of a class (adds it when it is not listed); an empty
// factory takes the class away. Undone by TrxRestoreClasses.
void TrxSubstituteClass(TrxStringView className, TrxClassFactory factory);
void TrxRestoreClasses();
