// A host program's first lines, as the README and the headers write them: narrow text,
// size_t indexes, iterating with keys, creating the schema on every start.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "QuillData/QuillData.h"
#include "sqlite/SqliteFixture.h"
#include "support/TestSupport.h"

namespace QuillData::testing {
namespace {

TEST(Api, NarrowTextIsUtf8AndWideNumbersAreLongs) {
  EXPECT_EQ(Variant("Maße 35"), Variant(L"Maße 35"));
  EXPECT_EQ(Variant(std::string("Maße")), Variant(L"Maße"));
  EXPECT_EQ(Variant(u8"Maße"), Variant(L"Maße"));
  EXPECT_EQ(Variant(size_t{7}), Variant(int32_t{7}));
  EXPECT_EQ(Variant(int64_t{-2147483648LL}).Type(), VarType::Long);
  for (int64_t tooWide : {int64_t{2147483648LL}, int64_t{-2147483649LL}})
    EXPECT_QUILL_ERROR(Variant{tooWide}, ErrNo::Overflow);
  EXPECT_THROW(Variant(size_t{1} << 40), QuillError);
}

TEST(Api, RecordsGiveKeyAndRecordInOrder) {
  Tessera::Collection c;
  auto first = std::make_shared<tblMachining>();
  first->MachName = L"first";
  auto second = std::make_shared<tblMachining>();
  second->MachName = L"second";
  c.Add(first, L"10");
  c.Add(Variant(L"not a record"), L"text");
  c.Add(second);  // no key
  std::vector<std::wstring> seen;
  for (const auto& [key, machining] : c.Records<tblMachining>())
    seen.push_back(std::wstring(key) + L"=" + (machining ? machining->MachName : L"<none>"));
  EXPECT_EQ(seen, (std::vector<std::wstring>{L"10=first", L"text=<none>", L"=second"}));

  // A number is an index (size_t too), text a key, narrow or wide.
  c.Add(first, L"2");
  EXPECT_EQ(c.size(), 4u);
  EXPECT_EQ(c.ItemAs<tblMachining>(size_t{3}), second);
  EXPECT_EQ(c.ItemAs<tblMachining>(2), nullptr);  // the text item
  EXPECT_EQ(c.ItemAs<tblMachining>("2"), first);
  EXPECT_EQ(c.ItemAs<tblMachining>(L"10"), first);
  for (const Variant& missing : {Variant("11"), Variant(size_t{0}), Variant(size_t{5})}) {
    // As the header says: 5 for a key that is not there, 9 for an index outside.
    EXPECT_QUILL_ERROR(c.Item(missing), missing.Get<std::wstring>() ? ErrNo::InvalidProcedureCall
                                                                    : ErrNo::SubscriptOutOfRange);
  }

  // A reader's pointer iterates as it is; an empty one as nothing.
  auto shared = std::make_shared<Tessera::Collection>();
  shared->Add(Variant(1));
  shared->Add(Variant(2));
  int32_t sum = 0;
  for (const Variant& item : shared) sum += *item.Get<int32_t>();
  EXPECT_EQ(sum, 3);
  Tessera::CollectionPtr none;
  for (const Variant& item : none) ADD_FAILURE() << item.IsEmpty();
}

class ApiOnSqlite : public SqliteTest {};

TEST_F(ApiOnSqlite, NarrowConnArgsOpenAndNarrowKeysFind) {
  const auto db = NewDatabase(true);
  auto backend = CreateObjectAs<clsQuillData>(L"QuillData.clsQuillData_SqlLite");
  auto errorsSeen = std::make_shared<PolicyErrorHandler>();
  ASSERT_TRUE(backend->OpenDB(nullptr, errorsSeen, {"", db.string(), "0"}));
  auto machinings = backend->GETTblMachining();
  auto three = machinings->ItemAs<tblMachining>("3");
  ASSERT_NE(three, nullptr);
  EXPECT_EQ(three->MachID, 3);
  EXPECT_EQ(errorsSeen->Reports().size(), 0u);
}

}  // namespace
}  // namespace QuillData::testing
