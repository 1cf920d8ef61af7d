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

}  // namespace
