// The MSXML backend and COM's threads: documents made on a thread without
// COM, and one document read from threads of other apartments at once (as
// the service reads the object definitions catalogue).
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "descriptors/nvtrxdefinitions.h"
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

TEST(CNVTRXXmlComCatalogue, TheCompiledInCatalogueReadsAndWritesBackUnchanged) {
  CNVTRXXmlDocument catalogue;
  ASSERT_TRUE(catalogue.LoadXml(GetObjectDefinitionsText()));
  const CNVTRXXmlNode root = catalogue.GetDocumentElement();
  ASSERT_FALSE(root.IsNull());
  EXPECT_EQ(N(root.GetName()), "NorvikObjectsConfig");
  TrxString name;
  ASSERT_TRUE(root.GetAttributeName(0, name));
  EXPECT_EQ(N(name), "xmlns:xsi");

  // Every class found by XPath is a child of the root, found again by
  // walking the tree, and its methods lie below it.
  std::vector<CNVTRXXmlNode> infos;
  ASSERT_TRUE(catalogue.SelectNodes(OLESTR("//ObjectInfo"), infos));
  ASSERT_FALSE(infos.empty());
  size_t walked = 0;
  size_t methods = 0;
  for (CNVTRXXmlNode child = root.GetFirstChild(); child; child = child.GetNextSibling()) {
    if (child.GetType() != TRXXML_ELEMENT || child.GetName() != OLESTR("ObjectInfo")) continue;
    ASSERT_LT(walked, infos.size());
    EXPECT_TRUE(infos[walked].IsSameNode(child)) << walked;
    EXPECT_EQ(infos[walked].GetIdentity(), child.GetIdentity()) << walked;
    std::vector<CNVTRXXmlNode> found;
    ASSERT_TRUE(child.SelectNodes(OLESTR("Methods//MethodData"), found));
    for (const CNVTRXXmlNode& method : found) {
      CNVTRXXmlNode up = method;
      while (up && !up.IsSameNode(child)) up = up.GetParent();
      EXPECT_FALSE(up.IsNull()) << "a method outside its class";
    }
    methods += found.size();
    ++walked;
  }
  EXPECT_EQ(walked, infos.size());
  std::vector<CNVTRXXmlNode> allMethods;
  ASSERT_TRUE(catalogue.SelectNodes(OLESTR("//ObjectInfo/Methods//MethodData"), allMethods));
  EXPECT_EQ(methods, allMethods.size());

  const TrxString xml = catalogue.GetXml();
  CNVTRXXmlDocument reloaded;
  ASSERT_TRUE(reloaded.LoadXml(xml));
  EXPECT_EQ(reloaded.GetXml(), xml);
}

}  // namespace
