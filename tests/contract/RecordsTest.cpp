// The record classes: construction values, the declarative field lists and generic access.
#include <gtest/gtest.h>

#include <set>

#include "QuillData/contract/Coerce.h"
#include "QuillData/contract/Error.h"
#include "QuillData/contract/Factory.h"
#include "QuillData/contract/Records.h"

using namespace QuillData;

namespace {

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

TEST(RecordsTest, TheFactoryCreatesRecordsByName) {
  auto r = CreateObjectAs<tblMachRouting>(L"QuillData.tblMachRouting");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->strActiveFlag, L"A");
}

}  // namespace
