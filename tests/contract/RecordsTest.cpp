// The record classes: construction values, the declarative field lists and generic access.
#include <gtest/gtest.h>

#include <set>

#include "QuillData/contract/Coerce.h"
#include "QuillData/contract/Error.h"
#include "QuillData/contract/Factory.h"
#include "QuillData/contract/Records.h"

using namespace QuillData;

namespace {

TEST(RecordsTest, MachRoutingStartsWithItsMachineDefaults) {
  tblMachRouting r;
  EXPECT_EQ(r.strActiveFlag, L"A");
  EXPECT_EQ(r.lngToolRotationSpeed, L"18000");
  EXPECT_EQ(r.strOffsetDirection, L"cont_offset_right");
  EXPECT_EQ(r.strLeadOutType, L"lead_out_no");
  EXPECT_EQ(r.NormalZ, L"0");
  EXPECT_EQ(r.lngGrain, L"");
  EXPECT_EQ(r.strName, L"");
  EXPECT_EQ(r.MachDescription, L"");
  EXPECT_EQ(r.MachID, 0);
  EXPECT_EQ(r.lngMachRoutingID, 0);
}

TEST(RecordsTest, EveryOtherRecordStartsEmpty) {
  for (const RecordType* type : RecordType::All()) {
    if (type->Name() == L"tblMachRouting") continue;
    auto record = type->Create();
    for (size_t i = 0; i < type->Fields().size(); ++i) {
      Variant v = type->Get(*record, i);
      switch (type->Fields()[i].type) {
        case FieldType::Long:
          EXPECT_EQ(v, Variant(0)) << std::wstring(type->Fields()[i].name);
          break;
        case FieldType::Double:
          EXPECT_EQ(v, Variant(0.0));
          break;
        case FieldType::String:
          EXPECT_EQ(v, Variant(L""));
          break;
        case FieldType::Bool:
          EXPECT_EQ(v, Variant(false));
          break;
        case FieldType::Date:
          EXPECT_EQ(v, Variant(Date{0}));
          break;
        case FieldType::Variant:
        case FieldType::Collection:
          EXPECT_TRUE(v.IsEmpty());
          break;
      }
    }
  }
}

TEST(RecordsTest, FieldListsMatchTheTables) {
  ASSERT_EQ(RecordType::All().size(), 25u);
  const std::pair<const wchar_t*, size_t> counts[] = {
      {L"tblConstruction_Scenario_Types", 3}, {L"tblFilter_Scenarios", 5},
      {L"tblGlobal_Contr_Featr_Lists", 7},    {L"tblGlobal_Contr_Featr_Patterns", 4},
      {L"tblGlobal_Face_Contour_Links", 7},   {L"tblGlobal_Imprint_Assignments", 14},
      {L"tblGlobal_Imprint_Definitions", 24}, {L"tblGlobal_Machining_Links", 10},
      {L"tblGlobal_Relation_Assignments", 10}, {L"tblGlobal_Relationship_Patterns", 5},
      {L"tblLocal_Contr_Featr_Lists", 10},    {L"tblLocal_Designs", 6},
      {L"tblLocal_Face_Contour_Links", 10},   {L"tblLocal_Machining_Links", 12},
      {L"tblLocal_Relation_Assignments", 14}, {L"tblLocal_Relationship_Patterns", 7},
      {L"tblMachining", 7},                   {L"tblMachLink", 8},
      {L"tblMachRouting", 47},                {L"tblMachVariable", 5},
      {L"tblMachVertical", 17},               {L"tblMFG_Part_Types", 7},
      {L"tblMFG_Scenario", 12},               {L"tblMaterial_Board_Assignments", 14},
      {L"tblScenario", 3}};
  for (auto [name, count] : counts) {
    const RecordType* type = RecordType::Find(name);
    ASSERT_NE(type, nullptr) << name;
    EXPECT_EQ(type->Fields().size(), count) << name;
    std::set<std::wstring_view> unique;
    for (const auto& f : type->Fields()) unique.insert(f.name);
    EXPECT_EQ(unique.size(), count) << name << " has a field twice";
  }
  // Declared types where the name's prefix says otherwise.
  const RecordType& imprint = tblGlobal_Imprint_Assignments::Descriptor();
  EXPECT_EQ(imprint.Fields()[3].type, FieldType::Long);  // fldstrPartType1
  EXPECT_EQ(imprint.Fields()[9].type, FieldType::Long);  // fldSubType1
  EXPECT_EQ(tblMachRouting::Descriptor().Fields()[5].type, FieldType::String);  // dblDepthValue
  EXPECT_EQ(tblMachRouting::Descriptor().Fields()[36].name, L"MachID");
  EXPECT_EQ(tblGlobal_Machining_Links::Descriptor().Fields()[4].type, FieldType::Long);
}

TEST(RecordsTest, GenericAccessFindsFieldsWithoutRegardToCase) {
  const RecordType& type = tblMachining::Descriptor();
  EXPECT_EQ(type.FieldIndex(L"machname"), 1);
  EXPECT_EQ(type.FieldIndex(L"MACHLIBID"), 6);
  EXPECT_EQ(type.FieldIndex(L"nope"), -1);
  auto rec = type.Create();
  type.Set(*rec, 0, Variant(L"42"));  // text into an int32 field converts
  type.Set(*rec, 3, Variant(2));
  type.Set(*rec, 1, Variant(7));
  auto& m = static_cast<tblMachining&>(*rec);
  EXPECT_EQ(m.MachID, 42);
  EXPECT_EQ(m.X, 2.0);
  EXPECT_EQ(m.MachName, L"7");
  EXPECT_EQ(type.Get(*rec, 1), Variant(L"7"));
  EXPECT_THROW(type.Set(*rec, 0, Variant(L"forty")), QuillError);
}

TEST(RecordsTest, MachLinkReleasesItsVariableListOnce) {
  std::weak_ptr<Tessera::Collection> watch;
  {
    auto list = std::make_shared<Tessera::Collection>();
    watch = list;
    auto link = std::make_shared<tblMachLink>();
    tblMachLink::Descriptor().Set(*link, 7, Variant(list));
    list.reset();
    EXPECT_FALSE(watch.expired()) << "the record holds the list";
    EXPECT_THROW(tblMachLink::Descriptor().Set(*link, 7, Variant(L"text")), QuillError);
  }
  EXPECT_TRUE(watch.expired()) << "destroying the record released the list";
}

TEST(RecordsTest, LocalDesignDataTakesValuesAndObjects) {
  tblLocal_Designs d;
  tblLocal_Designs::Descriptor().Set(d, 5, Variant(Variant::Bytes{1, 2, 3}));
  EXPECT_EQ(d.fldData.Type(), VarType::Bytes);
  auto obj = std::make_shared<tblScenario>();
  tblLocal_Designs::Descriptor().Set(d, 5, Variant(obj));
  EXPECT_EQ(d.fldData.ObjectAs<tblScenario>(), obj);
}

TEST(RecordsTest, TheFactoryCreatesRecordsByName) {
  auto r = CreateObjectAs<tblMachRouting>(L"QuillData.tblMachRouting");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->strActiveFlag, L"A");
}

}  // namespace
