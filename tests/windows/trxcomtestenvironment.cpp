// COM for the Windows test programs: the test thread is a single-threaded
// apartment for the whole run, as the service's main thread is.
#include <gtest/gtest.h>

#include "platform/trxplatform.h"

namespace {

class ComEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))); }
  void TearDown() override { CoUninitialize(); }
};

[[maybe_unused]] ::testing::Environment* const kComEnvironment =
    ::testing::AddGlobalTestEnvironment(new ComEnvironment);

}  // namespace
