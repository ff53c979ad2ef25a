// Test support for the facade: COM initialised on the test's thread (which
// becomes the service's apartment thread), a tool's reference on the facade
// and the sample client, loaded but not attached (a test that attaches it
// leaves the unload to TearDown).
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "host/nvsimapplication.h"
#include "service/nvtrx.h"

inline std::string TrxSamplePath() {
  for (const char* candidate : {"samples/crm.xml", "../samples/crm.xml", "../../samples/crm.xml"})
    if (std::filesystem::exists(candidate)) return candidate;
  return std::string(TRX_SOURCE_DIR) + "/samples/crm.xml";
}

// A VARIANT holding a string as that string, a long as "I4 n", anything else
// as its type.
inline std::string Text(const VARIANT& value) {
  if (value.vt == VT_I4) return "I4 " + std::to_string(value.lVal);
  return value.vt == VT_BSTR ? TrxNarrow(TrxBstrView(value.bstrVal)) : "<vt " + std::to_string(value.vt) + ">";
}

class TrxServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ASSERT_EQ(CNVCoTRX::CreateInstance(nullptr, IID_INVTRXAutomation, m_tool.PutVoid()), S_OK);
    CNVSimLoadError error;
    m_client = CNVSimApplication::Load(TrxWiden(TrxSamplePath()), error);
    ASSERT_TRUE(m_client) << TrxNarrow(error.message);
  }
  void TearDown() override {
    if (m_client) m_client->Unload();
    m_client.Reset();
    m_tool.Reset();
    EXPECT_EQ(CNVCoTRX::Instance(), nullptr) << "the last reference ends the facade";
    CoUninitialize();
  }

  struct Reply {
    HRESULT hr;
    LONG code;
    std::string message;
    TrxVariant value;
  };
  Reply Submit(TrxStringView ods, TrxStringView method, const VARIANT& args = TrxVariant()) {
    TrxBstr o(ods), m(method), message;
    Reply reply{};
    reply.hr = m_tool->Submit(o.Get(), m.Get(), args, &reply.value, message.Put(), &reply.code);
    reply.message = TrxNarrow(message.View());
    return reply;
  }
  // A reply as "code message", the status first when the call itself failed.
  static std::string Said(const Reply& reply) {
    return (reply.hr == S_OK ? "" : "hr " + std::to_string(reply.hr) + " ") + std::to_string(reply.code) + " " +
           reply.message;
  }
  // A method of the tool's that only answers errMsg and errCode, as Said.
  std::string Answer(HRESULT (STDMETHODCALLTYPE INVTRXAutomation::*method)(BSTR*, LONG*)) {
    TrxBstr message;
    Reply reply{};
    reply.hr = (m_tool.Get()->*method)(message.Put(), &reply.code);
    reply.message = TrxNarrow(message.View());
    return Said(reply);
  }
  std::string LastError() { return Answer(&INVTRXAutomation::GetLastError); }
  // The root's descriptor as GetRootObject gives it.
  std::string RootDescriptor() {
    TrxBstr ods, message;
    LONG code = -1;
    m_tool->GetRootObject(ods.Put(), message.Put(), &code);
    return TrxNarrow(ods.View());
  }
  TrxComPtr<INVTRX> Host() {
    TrxComPtr<INVTRX> host;
    m_tool->QueryInterface(IID_INVTRX, host.PutVoid());
    return host;
  }
  TrxComPtr<IDispatch> ClientApplication() {
    TrxComPtr<IDispatch> application;
    m_client->QueryInterface(IID_IDispatch, application.PutVoid());
    return application;
  }

  TrxComPtr<INVTRXAutomation> m_tool;
  TrxComPtr<CNVSimApplication> m_client;
};
