// Builds CNVTRXArray tables from arbitrary VARIANT shapes (scalars, 1-D and
// 2-D arrays of any element type and bounds, references) and drives every
// operation on them.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "model/nvtrxarray.h"

namespace {

class Input {
 public:
  Input(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
  uint8_t Byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
  int32_t Int() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = (v << 8) | Byte();
    return static_cast<int32_t>(v);
  }
  TrxString Text() {
    TrxString s;
    const size_t n = Byte() % 12;
    for (size_t i = 0; i < n; ++i) s.push_back(static_cast<OLECHAR>(Byte() | (Byte() << 8)));
    return s;
  }

 private:
  const uint8_t* m_data;
  size_t m_size;
  size_t m_pos = 0;
};

const VARTYPE kTypes[] = {VT_EMPTY, VT_NULL, VT_I2, VT_I4, VT_R8, VT_BSTR, VT_BOOL, VT_VARIANT, VT_UI4, VT_UI1, VT_R4};

TrxVariant Scalar(Input& in) {
  switch (in.Byte() % 8) {
    case 0:
      return TrxVariant();
    case 1:
      return TrxVariant::Null();
    case 2:
      return TrxVariant::FromI4(in.Int());
    case 3:
      return TrxVariant::FromString(in.Text());
    case 4:
      return TrxVariant::FromBool(in.Byte() & 1);
    case 5:
      return TrxVariant::FromR8(in.Int() / 7.0);
    case 6:
      return TrxVariant::FromI2(static_cast<SHORT>(in.Int()));
    default:
      return TrxVariant::NullString();
  }
}

SAFEARRAY* Array(Input& in, VARTYPE& elementType) {
  elementType = kTypes[in.Byte() % (sizeof(kTypes) / sizeof(kTypes[0]))];
  if (elementType == VT_EMPTY || elementType == VT_NULL) elementType = VT_VARIANT;
  const UINT dims = 1 + in.Byte() % 3;
  SAFEARRAYBOUND bounds[3];
  for (UINT d = 0; d < dims; ++d) {
    bounds[d].cElements = in.Byte() % 5;
    bounds[d].lLbound = static_cast<int8_t>(in.Byte());
  }
  SAFEARRAY* array = SafeArrayCreate(elementType, dims, bounds);
  if (!array) return nullptr;
  const int fills = in.Byte() % 16;
  for (int f = 0; f < fills; ++f) {
    LONG indices[3];
    for (UINT d = 0; d < dims; ++d)
      indices[d] = bounds[d].lLbound + (bounds[d].cElements ? static_cast<LONG>(in.Byte() % bounds[d].cElements) : 0);
    TrxVariant value = Scalar(in);
    if (elementType == VT_VARIANT) {
      SafeArrayPutElement(array, indices, &value);
    } else if (SUCCEEDED(value.ChangeType(elementType))) {
      void* element = elementType == VT_BSTR ? static_cast<void*>(value.bstrVal) : static_cast<void*>(&value.lVal);
      SafeArrayPutElement(array, indices, element);
    }
  }
  return array;
}

void Drive(CNVTRXArray& table, Input& in) {
  table.ToText();
  table.GetCount();
  table.GetColumnCount();
  const int steps = in.Byte() % 8;
  for (int s = 0; s < steps; ++s) {
    const LONG row = static_cast<int8_t>(in.Byte()) % 6;
    const LONG column = static_cast<int8_t>(in.Byte()) % 4;
    switch (in.Byte() % 4) {
      case 0:
        table.SetAt(Scalar(in), row, column);
        break;
      case 1:
        table.GetAt(row, column);
        break;
      case 2:
        table.Find(Scalar(in));
        break;
      default: {
        TrxVariant out;
        table.ToVariant(&out);
        CNVTRXArray again(&out);
        again.ToText();
        break;
      }
    }
  }
  table.ToText();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  const bool rowFirst = in.Byte() & 1;
  const bool copy = in.Byte() & 1;
  switch (in.Byte() % 4) {
    case 0: {
      TrxVariant value = Scalar(in);
      CNVTRXArray table(&value, true, rowFirst);
      Drive(table, in);
      break;
    }
    case 1: {
      VARTYPE type;
      TrxSafeArray array(Array(in, type));
      TrxVariant value;
      if (array) {
        value.vt = static_cast<VARTYPE>(VT_ARRAY | type);
        value.parray = array.Detach();
      }
      CNVTRXArray table(&value, copy, rowFirst);
      Drive(table, in);
      break;
    }
    case 2: {
      VARTYPE type;
      TrxSafeArray array(Array(in, type));
      TrxVariant inner;
      if (array) {
        inner.vt = static_cast<VARTYPE>(VT_ARRAY | type);
        inner.parray = array.Detach();
      }
      TrxVariant reference;
      reference.vt = VT_BYREF | VT_VARIANT;
      reference.pvarVal = &inner;
      CNVTRXArray table(&reference, copy, rowFirst);
      Drive(table, in);
      break;
    }
    default: {
      VARTYPE type;
      TrxSafeArray array(Array(in, type));
      CNVTRXArray table(array.Get(), copy, rowFirst);
      Drive(table, in);
      break;
    }
  }
  return 0;
}
