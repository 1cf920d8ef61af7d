// The interface class itself: a connection holder whose operations do nothing.
#include <gtest/gtest.h>

#include "QuillData/ado/Connection.h"
#include "QuillData/contract/ByRef.h"
#include "QuillData/contract/Error.h"
#include "QuillData/contract/Factory.h"
#include "QuillData/contract/clsQuillData.h"

using namespace QuillData;

namespace {

TEST(InterfaceTest, OperationsReturnZeroValuesAndLeaveArgumentsAlone) {
  clsQuillData q;
  int32_t affected = 7;
  EXPECT_FALSE(q.OpenDB(nullptr, nullptr, {L"a", L"b"}));
  EXPECT_EQ(q.DELMachining(5, affected), 0);
  EXPECT_EQ(q.GETTblMachining(affected), nullptr);
  EXPECT_EQ(q.GETFilterScenariosCol(true, affected), nullptr);
  EXPECT_TRUE(q.INSERTGlobalContrFeatrLists(1, L"a", L"b", L"c", L"d", L"e").IsEmpty());
  EXPECT_EQ(q.INSERTMachining(L"n", L"g", 1, 1.5, 2, 3, affected), 0);
  EXPECT_EQ(q.INSERTMachRouting(L"r", 1), 0);
  q.INSERTMFGPartTypes(1, 2, L"A", L"d", L"k", L"g", L"s");
  q.UPDATEVariableMachining(1, L"X", 2.5, affected);
  EXPECT_EQ(affected, 7);
}

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
