// The binding over the SQLite library: loading, calling exports by name, text in and out.
#include <functional>

#include "sqlite/SqliteFixture.h"

namespace QuillData::testing {
namespace {

constexpr int kRow = 100;

// A binding with the library loaded from the system and an in-memory database open.
class BindingTest : public SqliteTest {
 protected:
  void SetUp() override {
    SqliteTest::SetUp();
    ASSERT_EQ(sqlite.sqlite3_initialize(), 0);
    ASSERT_TRUE(sqlite.Initialized());
    ASSERT_EQ(sqlite.OpenDB(L":memory:", db), 0);
  }
  void TearDown() override {
    if (sqlite.Initialized()) {
      sqlite.sqlite3_finalize(stmt);
      sqlite.sqlite3_close(db);
      sqlite.sqlite3_shutdown();
    }
    SqliteTest::TearDown();
  }
  // The first column of the query's first row, as text.
  std::wstring QueryText(const std::wstring& sql) {
    intptr_t tail = 0;
    EXPECT_EQ(sqlite.sqlite3_prepare_v2(db, sql, 0, stmt, tail), 0) << ToUtf8(sql);
    EXPECT_EQ(sqlite.sqlite3_step(stmt), kRow);
    std::wstring text = sqlite.sqlite3_column_text(stmt, 0);
    sqlite.sqlite3_finalize(stmt);
    stmt = 0;
    return text;
  }

  clsSqlLite sqlite;
  intptr_t db = 0;
  intptr_t stmt = 0;
};

void ExpectCdeclError(int32_t number, const std::wstring& description,
                      const std::function<void()>& call) {
  try {
    call();
    ADD_FAILURE() << "no error, expected " << ToUtf8(description);
  } catch (const QuillError& e) {
    EXPECT_EQ(e.Number(), number);
    EXPECT_EQ(e.Source(), L"cCDECL");
    EXPECT_EQ(e.Description(), description);
  }
}

TEST_F(BindingTest, CallFuncPassesArgumentsInOrderAndAddressesExactly) {
  const intptr_t block = sqlite.CallFunc(L"sqlite3_malloc", {int32_t{16}});
  ASSERT_NE(block, 0);
  const Variant address = Decimal{block, 0};
  sqlite.CallFunc(L"memset", {address, int32_t{'Q'}, int32_t{3}});
  sqlite.CallFunc(L"memset", {Decimal{block + 3, 0}, int32_t{'D'}, int32_t{2}});
  auto bytes = sqlite.BytesFromPtr(block, 5);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "QQQDD");
  EXPECT_EQ(sqlite.CallFunc(L"sqlite3_free", {address}), sqlite.CallFunc(L"sqlite3_free", {0}))
      << "freeing works with the address as passed";
}

TEST_F(BindingTest, DllLoadMakesTheNextCallResolveAgain) {
  EXPECT_GT(sqlite.CallFunc(L"sqlite3_libversion_number", {}), 0);
  // The database goes before its library is replaced; TearDown cannot close it after.
  ASSERT_EQ(sqlite.sqlite3_close(db), 0);
  // The same name in a library without that export: a cached address would be called.
  ASSERT_TRUE(sqlite.DllLoad(L"libm.so.6"));
  ExpectCdeclError(ErrNo::FunctionNotFound, L"Failed to locate function: sqlite3_libversion_number",
                   [&] { sqlite.CallFunc(L"sqlite3_libversion_number", {}); });
  ASSERT_TRUE(sqlite.DllLoad(L"libsqlite3.so.0"));
  EXPECT_GT(sqlite.CallFunc(L"sqlite3_libversion_number", {}), 0);
  EXPECT_FALSE(sqlite.Initialized()) << "a replaced library is no longer initialized";
  EXPECT_TRUE(sqlite.DllUnload());
  EXPECT_FALSE(sqlite.DllUnload());
}

TEST_F(BindingTest, StatementTextLengthCountsUtf8Bytes) {
  // 'ä' takes two bytes: a length counted in characters would cut the closing quote.
  EXPECT_EQ(QueryText(L"SELECT 'ä'"), L"ä");
  EXPECT_EQ(QueryText(L"SELECT 'ø日本😀'"), L"ø日本😀");

  intptr_t tail = 0;
  ASSERT_EQ(sqlite.sqlite3_prepare_v2(db, L"SELECT 1; SELECT 2", 0, stmt, tail), 0);
  EXPECT_EQ(tail, 9) << "the rest of the text starts after the first statement";
  sqlite.sqlite3_finalize(stmt);
  ASSERT_EQ(sqlite.sqlite3_prepare_v2(db, L"SELECT 'ä', garbage", 11, stmt, tail), 0)
      << "an explicit length ends the statement";
  EXPECT_EQ(sqlite.sqlite3_column_count(stmt), 1);
  sqlite.sqlite3_finalize(stmt);
  stmt = 0;

  ASSERT_EQ(sqlite.sqlite3_prepare16_v2(db, L"SELECT 'ü日'", 0, stmt, tail), 0);
  ASSERT_EQ(sqlite.sqlite3_step(stmt), kRow);
  EXPECT_EQ(sqlite.sqlite3_column_text(stmt, 0), L"ü日");
}

TEST_F(BindingTest, TextComesBackWithZeroBytesAndNamesAndMessages) {
  EXPECT_EQ(QueryText(L"SELECT CAST(X'610062' AS TEXT)"), std::wstring(L"a\0b", 3));
  intptr_t tail = 0;
  ASSERT_EQ(sqlite.sqlite3_prepare_v2(db, L"SELECT 2.5 AS Größe", 0, stmt, tail), 0);
  ASSERT_EQ(sqlite.sqlite3_step(stmt), kRow);
  EXPECT_EQ(sqlite.sqlite3_column_name(stmt, 0), L"Größe");
  EXPECT_EQ(sqlite.sqlite3_column_type(stmt, 0), 2);
  EXPECT_EQ(sqlite.sqlite3_column_double(stmt, 0), 2.5);
  sqlite.sqlite3_finalize(stmt);
  stmt = 0;

  EXPECT_NE(sqlite.sqlite3_exec(db, L"SELECT * FROM nowhere"), 0);
  EXPECT_EQ(sqlite.sqlite3_errmsg(db), L"no such table: nowhere");
  EXPECT_EQ(sqlite.sqlite3_libversion().substr(0, 2), L"3.");
}

TEST_F(BindingTest, ShutdownOfOneBindingLeavesAnotherWorking) {
  {
    clsSqlLite second;
    ASSERT_EQ(second.sqlite3_initialize(), 0);
    EXPECT_EQ(second.sqlite3_shutdown(), 0);
  }
  // The library is still initialized for the first binding: configuring it is refused
  // (SQLITE_MISUSE), as it is only while the library is shut down.
  constexpr int32_t kConfigSingleThread = 1, kMisuse = 21;
  EXPECT_EQ(static_cast<int32_t>(sqlite.CallFunc(L"sqlite3_config", {kConfigSingleThread})),
            kMisuse);
  EXPECT_EQ(sqlite.sqlite3_exec(db, L"CREATE TABLE t (a); INSERT INTO t VALUES ('still here')"), 0);
  EXPECT_EQ(QueryText(L"SELECT a FROM t"), L"still here");
}

}  // namespace
}  // namespace QuillData::testing
