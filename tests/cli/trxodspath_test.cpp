// The short path form of objects on the trx command line.
#include <gtest/gtest.h>

#include "cli/trxodspath.h"

namespace {

TEST(ObjectPathTest, PathsBecomeDescriptorsBelowTheApplication) {
  struct Case {
    const char* object;
    const char* descriptor;
  };
  const Case cases[] = {
      {"", R"(<Obj ClassName="NorvApplication" RepositoryName="Norvik"/>)"},
      {"/", R"(<Obj ClassName="NorvApplication" RepositoryName="Norvik"/>)"},
      {"NorvScreen[Accounts]",
       R"(<Obj ClassName="NorvApplication" RepositoryName="Norvik"><Obj ClassName="NorvScreen" RepositoryName="Accounts"/></Obj>)"},
      {"/NorvScreen[Accounts]",
       R"(<Obj ClassName="NorvApplication" RepositoryName="Norvik"><Obj ClassName="NorvScreen" RepositoryName="Accounts"/></Obj>)"},
      {"NorvScreen[Accounts Screen]/NorvView[Account List View]",
       R"(<Obj ClassName="NorvApplication" RepositoryName="Norvik"><Obj ClassName="NorvScreen" RepositoryName="Accounts Screen"><Obj ClassName="NorvView" RepositoryName="Account List View"/></Obj></Obj>)"},
      {"NorvApplication[Norvik Sales]/NorvMenu[NorvMenu]",
       R"(<Obj ClassName="NorvApplication" RepositoryName="Norvik Sales"><Obj ClassName="NorvMenu" RepositoryName="NorvMenu"/></Obj>)"},
      {"NorvApplication[Other]", R"(<Obj ClassName="NorvApplication" RepositoryName="Other"/>)"},
      // Escapes, and names that need escaping in XML.
      {R"(NorvText[a\]b\\c/d])",
       R"(<Obj ClassName="NorvApplication" RepositoryName="Norvik"><Obj ClassName="NorvText" RepositoryName="a]b\c/d"/></Obj>)"},
      {R"(NorvText[<"&'>])",
       R"(<Obj ClassName="NorvApplication" RepositoryName="Norvik"><Obj ClassName="NorvText" RepositoryName="&lt;&quot;&amp;'&gt;"/></Obj>)"},
      {"NorvText[]",
       R"(<Obj ClassName="NorvApplication" RepositoryName="Norvik"><Obj ClassName="NorvText" RepositoryName=""/></Obj>)"},
      // A descriptor is taken as it is.
      {R"(  <Obj ClassName="X" RepositoryName="Y"/>)", R"(  <Obj ClassName="X" RepositoryName="Y"/>)"},
  };
  for (const Case& c : cases) {
    TrxString descriptor;
    std::string error;
    ASSERT_TRUE(TrxDescriptorFromObject(c.object, descriptor, error)) << c.object << ": " << error;
    EXPECT_EQ(TrxNarrow(descriptor), c.descriptor) << c.object;
  }
}

TEST(ObjectPathTest, MalformedPathsSayWhere) {
  struct Case {
    const char* object;
    const char* says;
  };
  const Case cases[] = {
      {"NorvScreen", "position 1"},
      {"NorvScreen[Accounts", "not closed"},
      {"[Accounts]", "class name is missing"},
      {"NorvScreen[A]NorvView[B]", "position 14"},
      {"NorvScreen[A]/", "position 14"},
      {"NorvScreen[A]//NorvView[B]", "position 15"},
      {"NorvScreen]A[", "position 1"},
  };
  for (const Case& c : cases) {
    TrxString descriptor;
    std::string error;
    EXPECT_FALSE(TrxDescriptorFromObject(c.object, descriptor, error)) << c.object;
    EXPECT_NE(error.find(c.says), std::string::npos) << c.object << ": " << error;
  }
}

TEST(ObjectPathTest, PathTextsReadBackAsTheSameChain) {
  for (const char* path : {"/", R"(NorvScreen[A]/NorvText[x\]y\\z])", "NorvView[a/b]"}) {
    std::vector<std::pair<TrxString, TrxString>> chain, again;
    std::string error;
    ASSERT_TRUE(TrxParseObjectPath(path, chain, error)) << error;
    ASSERT_TRUE(TrxParseObjectPath(TrxObjectPathText(chain), again, error)) << error;
    EXPECT_EQ(chain, again) << path;
  }
}

}  // namespace
