// The MSXML backend and COM's threads: documents made on a thread without
// COM, and one document read from threads of other apartments at once (as
// the service reads the object definitions catalogue).
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "descriptors/nvtrxxml.h"

namespace {

enum class Apartment { None, SingleThreaded, MultiThreaded };

struct ThreadCall {
  std::function<void()> body;
  Apartment apartment;
  HRESULT initialised = E_FAIL;
};

DWORD WINAPI RunThreadCall(void* parameter) {
  ThreadCall& call = *static_cast<ThreadCall*>(parameter);
  if (call.apartment != Apartment::None) {
    call.initialised = CoInitializeEx(
        nullptr, call.apartment == Apartment::SingleThreaded ? COINIT_APARTMENTTHREADED : COINIT_MULTITHREADED);
  }
  call.body();
  if (call.apartment != Apartment::None && SUCCEEDED(call.initialised)) CoUninitialize();
  return 0;
}

// Runs each body on a thread of its own, all at once, and waits for them.
void RunOnThreads(std::vector<ThreadCall>& calls) {
  std::vector<HANDLE> threads;
  for (ThreadCall& call : calls) {
    HANDLE thread = CreateThread(nullptr, 0, RunThreadCall, &call, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    threads.push_back(thread);
  }
  for (HANDLE thread : threads) {
    EXPECT_EQ(WaitForSingleObject(thread, 60000), WAIT_OBJECT_0) << "a thread did not finish within a minute";
    CloseHandle(thread);
  }
  for (const ThreadCall& call : calls) {
    if (call.apartment != Apartment::None) {
      EXPECT_TRUE(SUCCEEDED(call.initialised));
    }
  }
}

std::string N(const TrxString& text) { return TrxNarrow(text); }

const char kCatalogue[] =
    "<Defs><ObjectInfo n=\"1\"><Methods><MethodData Name=\"a\"/><MethodData Name=\"b\"/></Methods></ObjectInfo>"
    "<ObjectInfo n=\"2\"><Methods><MethodData Name=\"c\"/></Methods></ObjectInfo></Defs>";

// What a reader finds in the catalogue, as text.
std::string ReadCatalogue(const CNVTRXXmlDocument& document) {
  std::string seen;
  std::vector<CNVTRXXmlNode> infos;
  if (!document.SelectNodes(OLESTR("//ObjectInfo"), infos)) return "selection failed";
  for (const CNVTRXXmlNode& info : infos) {
    TrxString n;
    info.GetAttribute(OLESTR("n"), n);
    seen += N(n) + ":";
    std::vector<CNVTRXXmlNode> methods;
    if (!info.SelectNodes(OLESTR("Methods//MethodData"), methods)) return "selection failed";
    for (const CNVTRXXmlNode& method : methods) {
      TrxString name;
      method.GetAttribute(OLESTR("Name"), name);
      seen += N(name);
      if (!method.GetParent().GetParent().IsSameNode(info)) seen += "(not under its class)";
    }
    seen += ";";
  }
  return seen;
}

TEST(CNVTRXXmlComThreads, ADocumentIsMadeAndUsedOnAThreadWithoutCom) {
  std::string xml;
  std::string seen;
  std::vector<ThreadCall> calls(1);
  calls[0].apartment = Apartment::None;
  calls[0].body = [&] {
    CNVTRXXmlDocument document;
    if (!document.LoadXml(TrxWiden(kCatalogue))) return;
    seen = ReadCatalogue(document);
    CNVTRXXmlNode extra = document.CreateElement(OLESTR("Extra"));
    extra.SetAttribute(OLESTR("x"), OLESTR("1"));
    document.GetDocumentElement().AppendChild(extra);
    xml = N(document.GetDocumentElement().GetLastChild().GetXml());
  };
  RunOnThreads(calls);
  EXPECT_EQ(seen, "1:ab;2:c;");
  EXPECT_EQ(xml, "<Extra x=\"1\"/>");
}

TEST(CNVTRXXmlComThreads, OneDocumentIsReadFromThreadsOfEveryApartmentAtOnce) {
  // Loaded on the test's single-threaded apartment.
  CNVTRXXmlDocument catalogue;
  ASSERT_TRUE(catalogue.LoadXml(TrxWiden(kCatalogue)));
  const CNVTRXXmlNode second = catalogue.GetDocumentElement().GetLastChild();

  const Apartment apartments[] = {Apartment::SingleThreaded, Apartment::MultiThreaded, Apartment::MultiThreaded,
                                  Apartment::None};
  std::vector<ThreadCall> calls;
  std::vector<std::string> seen(std::size(apartments));
  std::vector<int> sameNode(std::size(apartments), 0);
  for (size_t t = 0; t < std::size(apartments); ++t) {
    calls.push_back(ThreadCall{[&, t] {
                                 for (int round = 0; round < 20; ++round) {
                                   seen[t] = ReadCatalogue(catalogue);
                                   CNVTRXXmlNode found;
                                   if (catalogue.SelectSingleNode(OLESTR("//ObjectInfo[@n='2']"), found) &&
                                       found.IsSameNode(second)) {
                                     ++sameNode[t];
                                   }
                                 }
                               },
                               apartments[t]});
  }
  RunOnThreads(calls);
  for (size_t t = 0; t < std::size(apartments); ++t) {
    EXPECT_EQ(seen[t], "1:ab;2:c;") << "thread " << t;
    EXPECT_EQ(sameNode[t], 20) << "thread " << t;
  }
  // The document is still whole for the thread that loaded it.
  EXPECT_EQ(ReadCatalogue(catalogue), "1:ab;2:c;");
}

}  // namespace
