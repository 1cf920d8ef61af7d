// Ad-hoc SQL on an embedded database file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "QuillData/ado/Enums.h"
#include "QuillData/contract/Error.h"
#include "QuillData/maintenance/SqliteQuery.h"

namespace QuillData {
namespace {

namespace fs = std::filesystem;

class SqliteQueryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir);
    std::ofstream(db).close();  // an empty file is an empty database
  }
  void TearDown() override { fs::remove_all(dir); }

  int32_t ErrorOf(const fs::path& file, const std::wstring& sql, std::wstring* text = nullptr) {
    try {
      QuerySqliteDatabase(file, sql);
    } catch (const QuillError& e) {
      if (text) *text = e.Description();
      return e.Number();
    }
    ADD_FAILURE() << "no error";
    return 0;
  }

  fs::path dir = fs::temp_directory_path() / ("quilldata-query-" + std::to_string(::getpid()));
  fs::path db = dir / "q.db";
};

TEST_F(SqliteQueryTest, ReturnsTheFirstResultWithColumnsAfterRunningEveryStatement) {
  auto rows = QuerySqliteDatabase(
      db,
      L"CREATE TABLE t (i, big, r, s, b, n);"
      L"INSERT INTO t VALUES (7, 5000000000, 2.5, 'Küche ✓', x'00ff10', NULL), (-8, 3, 0.5, "
      L"'', x'', NULL);"
      L"SELECT * FROM t ORDER BY i DESC; SELECT 'not this one';"
      L"UPDATE t SET n = 1;  -- and a comment at the end");
  ASSERT_EQ(rows->RecordCount(), 2);
  auto f = rows->Fields();
  ASSERT_EQ(f->Count(), 6);
  const int32_t types[] = {ado::adInteger,  ado::adBigInt,        ado::adDouble,
                           ado::adVarWChar, ado::adLongVarBinary, ado::adVariant};
  for (int32_t c = 0; c < 6; ++c) EXPECT_EQ(f->Item(c)->Type(), types[c]) << c;
  Decimal big;
  big.mantissa = 5000000000;
  EXPECT_EQ(f->Item(L"big")->Value(), Variant(big));
  EXPECT_EQ(f->Item(L"s")->Value(), Variant(L"Küche ✓"));
  EXPECT_EQ(f->Item(L"b")->Value(), Variant(Variant::Bytes{0x00, 0xff, 0x10}));
  EXPECT_TRUE(f->Item(L"n")->Value().IsNull());
  rows->MoveNext();
  EXPECT_EQ(f->Item(L"i")->Value(), Variant(int32_t{-8}));
  EXPECT_EQ(f->Item(L"big")->Value(), Variant(int32_t{3}));

  auto after = QuerySqliteDatabase(db, L"SELECT count(*) FROM t WHERE n = 1");
  EXPECT_EQ(after->Fields()->Item(0)->Value(), Variant(int32_t{2}));
  // A statement without rows: open and empty.
  auto none = QuerySqliteDatabase(db, L"DELETE FROM t WHERE i = 0");
  EXPECT_EQ(none->State(), ado::adStateOpen);
  EXPECT_EQ(none->RecordCount(), 0);
}

TEST_F(SqliteQueryTest, FailuresCarryTheLibrarysMessageAndNothingIsCreated) {
  std::wstring text;
  EXPECT_EQ(ErrorOf(db, L"CREATE TABLE t (x); SELECT * FROM nowhere", &text),
            ErrNo::StatementError);
  EXPECT_EQ(text, L"no such table: nowhere");
  EXPECT_EQ(QuerySqliteDatabase(db, L"SELECT * FROM t")->Fields()->Count(), 1);  // ran before
  EXPECT_EQ(ErrorOf(db, L"  -- nothing\n"), ErrNo::InvalidProcedureCall);

  EXPECT_EQ(ErrorOf(dir / "missing.db", L"SELECT 1"), ErrNo::FileNotFound);
  EXPECT_FALSE(fs::exists(dir / "missing.db"));
}

}  // namespace
}  // namespace QuillData
