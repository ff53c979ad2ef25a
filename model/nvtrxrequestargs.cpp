#include "model/nvtrxrequestargs.h"

#include "log/nvtrxassert.h"

CNVTRXRequestArgs::CNVTRXRequestArgs(std::initializer_list<TrxVariant> values) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(values.size()));
  TRX_ASSERT(array != nullptr, "the arguments of a host request could not be allocated");
  if (!array) return;
  LONG index = 0;
  for (const TrxVariant& value : values) {
    const HRESULT hr = SafeArrayPutElement(array, &index, const_cast<TrxVariant*>(&value));
    TRX_ASSERT(SUCCEEDED(hr), "an argument of a host request could not be stored");
    if (FAILED(hr)) {
      SafeArrayDestroy(array);
      return;
    }
    ++index;
  }
  m_value = TrxVariant::FromArray(array, VT_VARIANT);
}
