// LoadRegTypeLib on Linux: no type library is registered, whatever is asked.
#include "paltest.h"

TEST(LoadRegTypeLib, ReportsEveryLibraryAsNotRegisteredAndHandsBackNull) {
  const GUID someLibrary = {0x7ff56e4d, 0x5e78, 0x4835, {0x94, 0x02, 0x43, 0x54, 0xbe, 0xa8, 0xea, 0xa5}};
  ITypeLib* typeLibrary = reinterpret_cast<ITypeLib*>(static_cast<uintptr_t>(0x1000));  // overwritten
  EXPECT_EQ(LoadRegTypeLib(someLibrary, 2, 5, 0, &typeLibrary), TYPE_E_LIBNOTREGISTERED);
  EXPECT_EQ(typeLibrary, nullptr);
  EXPECT_EQ(LoadRegTypeLib(someLibrary, 1, 0, 0, nullptr), E_INVALIDARG);
}
