// The object definitions catalogue and the validation of method calls.
//
// The catalogue (nvtrxobjectdefinitions.xml, compiled in) lists every class
// a test tool may address with its methods, their parameters and its
// properties. The root application object holds one loaded catalogue
// (CNVTRXObjectDefinitions) for the life of the process; Submit checks each
// class-specific call against it before the call reaches the object.
#pragma once

#include <memory>

#include "descriptors/nvtrxxml.h"
#include "platform/trxplatform.h"

// The whole catalogue document, as compiled in from its XML source.
const TrxString& GetObjectDefinitionsText();

// The name of a VARIANT type code as messages show it: "Integer" (2, 3, 17,
// 18, 19, 22, 23), "Float" (4), "Double" (5), "Currency" (6), "Date" (7),
// "String" (8), "Boolean" (11), "Char" (16). Result TRX_OK; any other code
// gives "Unknown Type" and TRX_E_SYSTEM (-1023).
LONG GetVariantTypeName(LONG type, TrxString& name);

class CNVTRXObjectDefinitions {
 public:
  // How a call finds its class, method and parameters. Queries runs the
  // selection expressions on the document for every call; Indexed answers
  // from tables built once at load, with the very same results, and falls
  // back to the expressions for names the tables cannot answer for: a name
  // holding an apostrophe ends the expression's literal early (the rest is
  // read as part of the expression, which then often does not parse, and a
  // failed selection passes the call), and U+0000 cannot stand in an
  // expression at all.
  enum class Lookup { Indexed, Queries };

  // No document until Load.
  explicit CNVTRXObjectDefinitions(Lookup lookup = Lookup::Indexed);
  ~CNVTRXObjectDefinitions();
  CNVTRXObjectDefinitions(const CNVTRXObjectDefinitions&) = delete;
  CNVTRXObjectDefinitions& operator=(const CNVTRXObjectDefinitions&) = delete;

  // Loads the compiled-in catalogue (LoadFromText of
  // GetObjectDefinitionsText()).
  LONG Load();
  // Loads a catalogue text into a new document, replacing any earlier one.
  // When the text does not load, user error -1023 "Load TRX XML Object
  // Definitions failed!" is reported, no document is kept and the result is
  // TRX_E_SYSTEM.
  LONG LoadFromText(TrxStringView text);
  bool IsLoaded() const noexcept { return m_document != nullptr; }
  // The loaded document; nullptr when there is none.
  const CNVTRXXmlDocument* GetDocument() const noexcept { return m_document.get(); }

  // Checks a call of `methodName` on an object of class `className` with
  // `args` (a single value or an array, as Submit receives it; nullptr for
  // none):
  // - no document, or a selection that fails: TRX_OK (not validated);
  // - class not in the catalogue: "Invalid class name %s", trxerr,
  //   TRX_NOT_FOUND (-12);
  // - method not in the class (names match exactly, letter case included):
  //   "Invalid method %s in class %s", trxerr, TRX_NOT_FOUND;
  // - the first argument whose VARIANT type differs from its parameter's:
  //   user error -1013 (usererr) with the method, the parameter and the
  //   expected type's name, TRX_E_ARG_TYPE.
  // Only as many positions as both the parameters and the arguments have
  // are checked; missing and surplus arguments are not an error here.
  LONG ValidateMethodCall(TrxStringView className, TrxStringView methodName, const VARIANT* args) const;

  // A catalogue loaded once per process on first use, for tools and tests
  // that need one without a root application object.
  static const CNVTRXObjectDefinitions& Shared();

 private:
  struct Index;

  Lookup m_lookup;
  std::unique_ptr<CNVTRXXmlDocument> m_document;
  std::unique_ptr<Index> m_index;
};
