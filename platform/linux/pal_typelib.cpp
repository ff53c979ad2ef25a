// LoadRegTypeLib: no type library is ever registered on Linux.
#include "pal_oleauto.h"

extern "C" HRESULT WINAPI LoadRegTypeLib(REFGUID, WORD, WORD, LCID, ITypeLib** pptlib) {
  if (!pptlib) return E_INVALIDARG;
  *pptlib = nullptr;
  return TYPE_E_LIBNOTREGISTERED;
}
