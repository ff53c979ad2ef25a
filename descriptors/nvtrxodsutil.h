// Object descriptor strings (TRXODS).
//
// A descriptor names an automation object by the class and repository names
// of the object and of all its ancestors, as nested Obj elements with the
// root application outermost:
//   <Obj ClassName="NorvApplication" RepositoryName="Norvik"><Obj
//   ClassName="NorvScreen" RepositoryName="S"/></Obj>
// (one line, no white space between elements). Every element carries
// exactly the two attributes ClassName and RepositoryName, in that order,
// and has at most one child element.
//
// Results: TRX_OK, TRX_BAD_ODS (-11) for a text that is not a well-formed
// descriptor, TRX_NOT_FOUND (-12) for a missing output, TRX_E_SYSTEM (-1023)
// when the child of a valid element cannot be read. Failures are reported
// once, in category trxerr, so the last error holds the message followed by
// " ErrorCode: <code>"; an attribute-name mismatch is not reported.
#pragma once

#include <utility>
#include <vector>

#include "descriptors/nvtrxxml.h"
#include "platform/trxplatform.h"

// The element and attribute names of a descriptor.
inline constexpr OLECHAR kTRXODSElementName[] = OLESTR("Obj");
inline constexpr OLECHAR kTRXODSClassNameAttribute[] = OLESTR("ClassName");
inline constexpr OLECHAR kTRXODSRepositoryNameAttribute[] = OLESTR("RepositoryName");

// Loads a descriptor into a new document and gives its single top-level
// node. An empty text gives TRX_OK and a null node. A null `node` is
// reported and gives TRX_NOT_FOUND; a text that does not load, or a
// document with anything beside the element (an XML declaration, a comment,
// a processing instruction), gives TRX_BAD_ODS.
LONG ParseODS(TrxStringView text, CNVTRXXmlNode* node);

// Checks a parsed descriptor from `node` down: each level an element named
// "Obj" (any letter case) with exactly two attributes named "ClassName" and
// "RepositoryName" (in this order, any letter case) and at most one child.
// `valid` tells whether the attribute names matched; a mismatch gives
// TRX_BAD_ODS without a report.
LONG ValidateODS(const CNVTRXXmlNode& node, bool& valid);

// ParseODS and ValidateODS, then the innermost element. An empty text gives
// TRX_OK and a null node; otherwise the code of the step that failed.
LONG GetLeafNode(TrxStringView text, CNVTRXXmlNode* node);

// The values of an element's first and second attribute, whatever their
// names (ValidateODS has checked them). An empty text when the element has
// no such attribute. Result TRX_OK.
LONG GetODSClassName(const CNVTRXXmlNode& node, TrxString& text);
LONG GetODSRepositoryName(const CNVTRXXmlNode& node, TrxString& text);

// The descriptor of an object, given the (class name, repository name) of
// the root and of each object down to the named one. Built on a new
// document: the root's element becomes the document element, each further
// element is created through the owner document of the element above it,
// gets ClassName then RepositoryName and is appended to that element. The
// text is the serialisation of the document element; empty for an empty
// chain. Any text in the names loads back unchanged through ParseODS, except
// that U+0000 ends a name and an unpaired surrogate becomes U+FFFD.
TrxString TrxComposeODS(const std::vector<std::pair<TrxString, TrxString>>& chainFromRoot);
