// The short path form of objects on the trx command line.
#include <gtest/gtest.h>

#include "cli/trxodspath.h"

namespace {

#define APP R"(<Obj ClassName="NorvApplication" RepositoryName="Norvik")"

// A path becomes a descriptor below the application, or is refused with a
// message that says where.
TEST(ObjectPathTest, PathsBecomeDescriptorsBelowTheApplicationOrSayWhereNot) {
  struct Case {
    const char* object;
    bool ok;
    const char* result;  // the descriptor, or a part of the message
  };
  // clang-format off
  const Case cases[] = {
      {"", true, APP "/>"},
      {"/", true, APP "/>"},
      {"/NorvScreen[Accounts]", true, APP R"(><Obj ClassName="NorvScreen" RepositoryName="Accounts"/></Obj>)"},
      {"NorvScreen[Accounts Screen]/NorvView[Account List View]", true, APP R"(><Obj ClassName="NorvScreen" RepositoryName="Accounts Screen"><Obj ClassName="NorvView" RepositoryName="Account List View"/></Obj></Obj>)"},
      {"NorvApplication[Norvik Sales]/NorvMenu[NorvMenu]", true, R"(<Obj ClassName="NorvApplication" RepositoryName="Norvik Sales"><Obj ClassName="NorvMenu" RepositoryName="NorvMenu"/></Obj>)"},
      {"NorvApplication[Other]", true, R"(<Obj ClassName="NorvApplication" RepositoryName="Other"/>)"},
      // Escapes, and names that need escaping in XML.
      {R"(NorvText[a\]b\\c/d])", true, APP R"(><Obj ClassName="NorvText" RepositoryName="a]b\c/d"/></Obj>)"},
      {R"(NorvText[<"&'>])", true, APP R"(><Obj ClassName="NorvText" RepositoryName="&lt;&quot;&amp;'&gt;"/></Obj>)"},
      {"NorvText[]", true, APP R"(><Obj ClassName="NorvText" RepositoryName=""/></Obj>)"},
      // A descriptor is taken as it is.
      {R"(  <Obj ClassName="X" RepositoryName="Y"/>)", true, R"(  <Obj ClassName="X" RepositoryName="Y"/>)"},
      {"NorvScreen", false, "position 1"},
      {"NorvScreen[Accounts", false, "not closed"},
      {"[Accounts]", false, "class name is missing"},
      {"NorvScreen[A]NorvView[B]", false, "position 14"},
      {"NorvScreen[A]/", false, "position 14"},
      {"NorvScreen[A]//NorvView[B]", false, "position 15"},
      {"NorvScreen]A[", false, "position 1"},
  };
  // clang-format on
  for (const Case& c : cases) {
    TrxString descriptor;
    std::string error;
    EXPECT_EQ(TrxDescriptorFromObject(c.object, descriptor, error), c.ok) << c.object << ": " << error;
    EXPECT_TRUE(c.ok ? TrxNarrow(descriptor) == c.result : error.find(c.result) != std::string::npos)
        << c.object << ": " << (c.ok ? TrxNarrow(descriptor) : error);
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

#undef APP

}  // namespace
