// LoadRegTypeLib on Linux: no type library is registered, whatever is asked.
#include <gtest/gtest.h>

#include "linux/pal_types.h"
#include "linux/pal_oleauto.h"

namespace {

constexpr GUID kSomeLibrary = {0x7ff56e4d, 0x5e78, 0x4835, {0x94, 0x02, 0x43, 0x54, 0xbe, 0xa8, 0xea, 0xa5}};

TEST(LoadRegTypeLib, ReportsEveryLibraryAsNotRegisteredAndHandsBackNull) {
  struct Case {
    const GUID* library;
    WORD major, minor;
  };
  const Case cases[] = {{&kSomeLibrary, 1, 0}, {&kSomeLibrary, 2, 5}, {&GUID_NULL, 0, 0}};
  for (const Case& c : cases) {
    ITypeLib* library = reinterpret_cast<ITypeLib*>(static_cast<uintptr_t>(0x1000));  // overwritten
    EXPECT_EQ(LoadRegTypeLib(*c.library, c.major, c.minor, 0, &library), TYPE_E_LIBNOTREGISTERED);
    EXPECT_EQ(library, nullptr);
  }
  EXPECT_EQ(LoadRegTypeLib(kSomeLibrary, 1, 0, 0, nullptr), E_INVALIDARG);
}

}  // namespace
