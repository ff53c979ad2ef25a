// Names of the host's enumerations, as the description file writes them.
#pragma once

#include "model/nvtrxhost.h"
#include "platform/trxplatform.h"

class CNVSimNames {
 public:
  // "VIEW" or "OBJTYPE_VIEW" (case-insensitive) to its value; false when
  // the name is not an object type. OBJTYPE_NUMTYPES is not a type.
  static bool ParseObjectType(TrxStringView name, AUTO_OBJECTTYPE& type);
  // "VIEW"; empty for a value outside the enumeration.
  static TrxString ObjectTypeName(LONG type);
  // "SETVALUE", "REQID_SETVALUE" (case-insensitive) or a decimal number
  // from 0 to 129 to its value; "SETCELREQID_LVALUE" is the one id whose
  // name has no "REQID_" prefix.
  static bool ParseRequest(TrxStringView name, LONG& request);
  // "REQID_SETVALUE"; the decimal number for a value outside the enumeration.
  static TrxString RequestName(LONG request);
  // Number of request ids (130).
  static LONG RequestCount();
};
