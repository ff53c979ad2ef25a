// Class objects a process registers itself (the local server's side of
// COM): registration, lookup by CoGetClassObject / CoCreateInstance,
// suspension, single use and revocation.
#include <gtest/gtest.h>

#include <atomic>

#include "platform/trxplatform.h"

namespace {

// {6E1D2C3B-4A59-4867-9A8B-7C6D5E4F3A21}
const CLSID kClsid = {0x6E1D2C3B, 0x4A59, 0x4867, {0x9A, 0x8B, 0x7C, 0x6D, 0x5E, 0x4F, 0x3A, 0x21}};

// A class object whose objects are the factory itself (enough to see which
// factory served a request); counts its references.
class Factory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *ppv = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    if (outer) return CLASS_E_NOAGGREGATION;
    ++created;
    return QueryInterface(riid, ppv);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
  std::atomic<ULONG> refs{1};
  int created = 0;
};

class ClassObjects : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))); }
  void TearDown() override { CoUninitialize(); }

  // The factory that serves kClsid for the context now, or null with the
  // status in *status.
  IClassFactory* served(DWORD context, HRESULT* status = nullptr) {
    void* object = nullptr;
    HRESULT hr = CoGetClassObject(kClsid, context, nullptr, IID_IClassFactory, &object);
    if (status) *status = hr;
    auto* factory = static_cast<IClassFactory*>(object);
    if (factory) factory->Release();
    return factory;
  }
};

}  // namespace

TEST_F(ClassObjects, RegisteredSuspendedResumedAndRevoked) {
  Factory factory;
  DWORD cookie = 0;
  ASSERT_EQ(
      CoRegisterClassObject(kClsid, &factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE | REGCLS_SUSPENDED, &cookie),
      S_OK);
  EXPECT_NE(cookie, 0u);
  EXPECT_EQ(factory.refs, 2u) << "held while registered";
  HRESULT hr = S_OK;
  EXPECT_EQ(served(CLSCTX_LOCAL_SERVER, &hr), nullptr) << "registered suspended";
  EXPECT_EQ(hr, REGDB_E_CLASSNOTREG);

  EXPECT_EQ(CoResumeClassObjects(), S_OK);
  EXPECT_EQ(served(CLSCTX_LOCAL_SERVER), &factory);
  EXPECT_EQ(served(CLSCTX_INPROC_SERVER), &factory) << "multiple use of a local server serves in-process too";
  void* object = nullptr;
  EXPECT_EQ(CoCreateInstance(kClsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, &object), S_OK);
  EXPECT_EQ(object, static_cast<IUnknown*>(&factory));
  EXPECT_EQ(factory.created, 1);
  static_cast<IUnknown*>(object)->Release();

  EXPECT_EQ(CoSuspendClassObjects(), S_OK);
  EXPECT_EQ(served(CLSCTX_LOCAL_SERVER), nullptr);
  EXPECT_EQ(CoResumeClassObjects(), S_OK);
  EXPECT_EQ(served(CLSCTX_LOCAL_SERVER), &factory);

  EXPECT_EQ(CoRevokeClassObject(cookie), S_OK);
  EXPECT_EQ(factory.refs, 1u) << "released on revocation";
  EXPECT_EQ(served(CLSCTX_LOCAL_SERVER, &hr), nullptr);
  EXPECT_EQ(hr, REGDB_E_CLASSNOTREG);
  EXPECT_EQ(CoRevokeClassObject(cookie), CO_E_OBJNOTREG) << "revoked twice";
}

TEST_F(ClassObjects, ContextsSingleUseAndArguments) {
  Factory separate, single;
  DWORD first = 0, second = 0;
  ASSERT_EQ(CoRegisterClassObject(kClsid, &separate, CLSCTX_LOCAL_SERVER, REGCLS_MULTI_SEPARATE, &first), S_OK);
  EXPECT_EQ(served(CLSCTX_INPROC_SERVER), nullptr) << "separate: only the contexts given";
  EXPECT_EQ(served(CLSCTX_LOCAL_SERVER), &separate);

  ASSERT_EQ(CoRegisterClassObject(kClsid, &single, CLSCTX_LOCAL_SERVER, REGCLS_SINGLEUSE, &second), S_OK);
  EXPECT_EQ(served(CLSCTX_LOCAL_SERVER), &single) << "the latest registration wins";
  EXPECT_EQ(served(CLSCTX_LOCAL_SERVER), &separate) << "single use: served once";
  EXPECT_EQ(CoRevokeClassObject(second), S_OK);
  EXPECT_EQ(CoRevokeClassObject(first), S_OK);

  DWORD cookie = 7;
  EXPECT_EQ(CoRegisterClassObject(kClsid, nullptr, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie), E_INVALIDARG);
  EXPECT_EQ(cookie, 0u);
  EXPECT_EQ(CoRegisterClassObject(kClsid, &single, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, nullptr), E_INVALIDARG);
  EXPECT_EQ(CoRegisterClassObject(kClsid, &single, CLSCTX_LOCAL_SERVER, REGCLS_SURROGATE, &cookie), E_INVALIDARG);
  EXPECT_EQ(single.refs, 1u);
}

TEST(ClassObjectsWithoutCom, RegistrationNeedsCom) {
  Factory factory;
  DWORD cookie = 0;
  EXPECT_EQ(CoRegisterClassObject(kClsid, &factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie),
            CO_E_NOTINITIALIZED);
  EXPECT_EQ(factory.refs, 1u);
}
