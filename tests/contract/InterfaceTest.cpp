// The factory: the interface class by name, and a clear refusal of names it does not know.
#include <gtest/gtest.h>

#include "QuillData/contract/Error.h"
#include "QuillData/contract/Factory.h"
#include "QuillData/contract/clsQuillData.h"

using namespace QuillData;

namespace {

TEST(InterfaceTest, TheFactoryKnowsTheInterfaceAndRefusesUnknownNames) {
  EXPECT_TRUE(CreateObjectAs<clsQuillData>(L"QuillData.clsQuillData"));
  try {
    CreateObject(L"QuillData.clsNoSuchThing");
    FAIL();
  } catch (const QuillError& e) {
    EXPECT_EQ(e.Number(), ErrNo::CannotCreateObject);
    EXPECT_NE(e.Description().find(L"clsNoSuchThing"), std::wstring::npos);
  }
  auto names = CreatableClasses();
  EXPECT_NE(std::find(names.begin(), names.end(), L"QuillData.tblScenario"), names.end());
}

}  // namespace
