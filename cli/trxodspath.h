// Object names for the command line: a short path form of descriptors.
//
//   ""  or "/"                                  the application itself
//   NorvScreen[Accounts]/NorvView[Account List View]
//                                               Class[repository name] per
//                                               level below the application
//   <Obj ClassName="NorvApplication" ...>       a descriptor, used as it is
//
// Inside the brackets a backslash takes the next character as it is, so
// "\]" and "\\" stand for "]" and "\". A first level of class
// NorvApplication names the root explicitly; otherwise the root
// NorvApplication "Norvik" is implied.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/trxplatform.h"

// The (class name, repository name) pairs of a path, root first. False,
// with the reason, when the path is not well formed.
bool TrxParseObjectPath(const std::string& path, std::vector<std::pair<TrxString, TrxString>>& chain,
                        std::string& error);

// The descriptor an OBJECT argument stands for (see above).
bool TrxDescriptorFromObject(const std::string& object, TrxString& descriptor, std::string& error);

// The short path of a chain (the root left out), for messages.
std::string TrxObjectPathText(const std::vector<std::pair<TrxString, TrxString>>& chain);
