// The keyed, ordered collection the readers return.
#include <gtest/gtest.h>

#include "QuillData/contract/Error.h"
#include "QuillData/contract/Records.h"
#include "QuillData/contract/Tessera.h"

using namespace QuillData;
using Tessera::Collection;

namespace {

std::vector<std::wstring> Texts(const Collection& c) {
  std::vector<std::wstring> out;
  for (const Variant& v : c) out.push_back(*v.Get<std::wstring>());
  return out;
}

int32_t ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const QuillError& e) {
    return e.Number();
  }
  return 0;
}

TEST(TesseraTest, KeepsInsertionOrderAndFindsByIndexAndKey) {
  Collection c;
  EXPECT_EQ(c.Count(), 0);
  c.Add(L"a", L"k1");
  c.Add(L"b");  // no key
  c.Add(L"c", L"k3");
  EXPECT_EQ(c.Count(), 3);
  EXPECT_EQ(Texts(c), (std::vector<std::wstring>{L"a", L"b", L"c"}));
  EXPECT_EQ(*c.Item(1).Get<std::wstring>(), L"a");
  EXPECT_EQ(*c.Item(3).Get<std::wstring>(), L"c");
  EXPECT_EQ(*c.Item(L"k3").Get<std::wstring>(), L"c");
  EXPECT_EQ(*c.Item(2.0).Get<std::wstring>(), L"b") << "a numeric index of another type";
  EXPECT_EQ(c.KeyAt(1), L"k1");
  EXPECT_EQ(c.KeyAt(2), std::nullopt);
}

TEST(TesseraTest, AddsBeforeAndAfterAnItem) {
  Collection c;
  c.Add(L"a", L"a");
  c.Add(L"c", L"c");
  c.Add(L"b", L"b", {}, L"a");
  c.Add(L"start", L"s", 1);
  c.Add(L"end", L"e", {}, 4);
  EXPECT_EQ(Texts(c), (std::vector<std::wstring>{L"start", L"a", L"b", L"c", L"end"}));
  EXPECT_EQ(*c.Item(L"c").Get<std::wstring>(), L"c") << "keys survive insertions before them";
}

TEST(TesseraTest, RemoveKeepsTheRestInOrder) {
  Collection c;
  for (const wchar_t* k : {L"a", L"b", L"c", L"d"}) c.Add(k, k);
  c.Remove(L"b");
  c.Remove(1);
  EXPECT_EQ(Texts(c), (std::vector<std::wstring>{L"c", L"d"}));
  EXPECT_FALSE(c.Contains(L"b"));
  c.Add(L"b2", L"b");  // the removed key is free again
  EXPECT_EQ(c.Count(), 3);
}

TEST(TesseraTest, RefusesBadKeysAndPositions) {
  Collection c;
  c.Add(L"a", L"k");
  EXPECT_EQ(ErrorOf([&] { c.Add(L"again", L"k"); }), ErrNo::DuplicateKey);
  EXPECT_EQ(c.Count(), 1) << "a refused item is not added";
  EXPECT_EQ(ErrorOf([&] { c.Item(2); }), ErrNo::SubscriptOutOfRange);
  EXPECT_EQ(ErrorOf([&] { c.Item(0); }), ErrNo::SubscriptOutOfRange);
  EXPECT_EQ(ErrorOf([&] { c.Item(L"missing"); }), ErrNo::InvalidProcedureCall);
  EXPECT_EQ(ErrorOf([&] { c.Add(L"x", 5); }), ErrNo::TypeMismatch);
  EXPECT_EQ(ErrorOf([&] { c.Add(L"x", L"x", 1, 1); }), ErrNo::InvalidProcedureCall);
  EXPECT_EQ(ErrorOf([&] { c.Remove(L"missing"); }), ErrNo::InvalidProcedureCall);
  EXPECT_EQ(ErrorOf([&] { c.Item(Variant::Null()); }), ErrNo::TypeMismatch);
}

TEST(TesseraTest, HoldsRecordsAsObjects) {
  Collection c;
  auto rec = std::make_shared<tblMachining>();
  rec->MachID = 7;
  c.Add(rec, L"7");
  auto back = c.ItemAs<tblMachining>(L"7");
  ASSERT_TRUE(back);
  EXPECT_EQ(back.get(), rec.get()) << "the collection shares the record, it does not copy it";
  EXPECT_FALSE(c.ItemAs<tblMachLink>(L"7"));
}

TEST(TesseraTest, KeyLookupStaysFastOnLargeCollections) {
  // Not a timing test: 200,000 look-ups on 100,000 items finish at once only when a lookup
  // does not scan the order.
  Collection c;
  c.Reserve(100000);
  for (int i = 0; i < 100000; ++i) c.Add(i, std::to_wstring(i));
  int64_t sum = 0;
  for (int round = 0; round < 2; ++round)
    for (int i = 0; i < 100000; ++i) sum += *c.Item(std::to_wstring(i)).Get<int32_t>();
  EXPECT_EQ(sum, 2 * (99999LL * 100000 / 2));
}

TEST(TesseraTest, RecordsMadeInTheCollectionKeepKeysOrderAndLife) {
  // Whole-number keys are stored as numbers, other text packed: every kind must read back as
  // it went in and be found, including texts that only look like numbers.
  const std::vector<std::wstring> keys = {L"1",   L"0",          L"007",         L"-1",
                                          L"",    L"2147483647", L"2147483648",  L"99999999999",
                                          L"a|b", L"Ma\u00dfe",  L"\U0001F600x", L"12 "};
  auto c = std::make_shared<Collection>();
  for (size_t i = 0; i < keys.size(); ++i) {
    auto& rec = static_cast<tblMachining&>(c->NewRecord(tblMachining::Descriptor()));
    rec.MachID = static_cast<int32_t>(i);
    rec.MachName = L"name " + std::to_wstring(i);
    EXPECT_TRUE(c->AppendNew(keys[i])) << "key " << i;
  }
  c->NewRecord(tblMachining::Descriptor());  // made, then started over by the next one
  static_cast<tblMachining&>(c->NewRecord(tblMachining::Descriptor())).MachID = 99;
  EXPECT_FALSE(c->AppendNew(L"1")) << "a key that is there: the row goes in without it";
  c->ShrinkToFit();
  ASSERT_EQ(c->size(), keys.size() + 1);
  for (size_t i = 0; i < keys.size(); ++i) {
    EXPECT_EQ(c->KeyAt(static_cast<int32_t>(i + 1)), keys[i]);
    ASSERT_TRUE(c->Contains(keys[i])) << "key " << i;
    EXPECT_EQ(c->ItemAs<tblMachining>(keys[i])->MachID, static_cast<int32_t>(i));
  }
  EXPECT_FALSE(c->Contains(L"01"));
  EXPECT_FALSE(c->Contains(L"12"));
  EXPECT_EQ(c->KeyAt(c->Count()), std::nullopt);
  EXPECT_EQ(c->ItemAs<tblMachining>(c->Count())->MachID, 99);

  size_t seen = 0;
  for (const auto& [key, rec] : c->Records<tblMachining>()) {
    EXPECT_EQ(key, seen < keys.size() ? keys[seen] : L"");
    EXPECT_EQ(rec->MachID, seen < keys.size() ? static_cast<int32_t>(seen) : 99);
    ++seen;
  }
  EXPECT_EQ(seen, c->size());

  // Removal and an item of another kind: the rest keep their places and keys.
  c->Remove(L"007");
  c->Add(L"text", L"t", 1);
  EXPECT_EQ(*c->Item(1).Get<std::wstring>(), L"text");
  EXPECT_EQ(c->ItemAs<tblMachining>(2)->MachID, 0);
  EXPECT_EQ(c->ItemAs<tblMachining>(L"-1")->MachID, 3);
  EXPECT_FALSE(c->Contains(L"007"));

  // A record outlives its collection, and the collection's other references.
  auto kept = c->ItemAs<tblMachining>(L"a|b");
  c.reset();
  EXPECT_EQ(kept->MachName, L"name 8");
}

}  // namespace
