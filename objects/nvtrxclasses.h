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

// Replaces the factory of a class (adds it when it is not listed); an empty
// factory takes the class away. Undone by TrxRestoreClasses.
void TrxSubstituteClass(TrxStringView className, TrxClassFactory factory);
void TrxRestoreClasses();
