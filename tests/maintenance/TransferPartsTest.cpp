// The transfer's parts that need no server: the copy text codec, the dates it carries, the
// checksum, and what a target's column takes.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>

#include "QuillData/contract/Text.h"
#include "maintenance/dialect/Dialect.h"
#include "maintenance/transfer/Checksum.h"
#include "maintenance/transfer/CopyText.h"
#include "maintenance/transfer/FileSide.h"
#include "support/TestSupport.h"

namespace QuillData::transfer {
namespace {

Cell Int(int64_t v) {
  return {false, v, 0, {}};
}
Cell Real(double v) {
  return {false, 0, v, {}};
}
Cell Str(std::string v) {
  return {false, 0, 0, std::move(v)};
}
const Cell kNull;

TableSpec EveryKind() {
  TableSpec table{"T", {}, 0};
  for (auto [name, kind] : {std::pair{"I", Kind::Integer},
                            {"B", Kind::Bool},
                            {"R", Kind::Real},
                            {"S", Kind::Text},
                            {"D", Kind::Date},
                            {"X", Kind::Blob}}) {
    ColumnSpec column;
    column.name = name;
    column.kind = kind;
    table.columns.push_back(column);
  }
  return table;
}

bool Same(const Cell& a, const Cell& b) {
  return a.null == b.null && a.i == b.i &&
         std::bit_cast<uint64_t>(a.d) == std::bit_cast<uint64_t>(b.d) && a.s == b.s;
}

TEST(TransferCopyText, EveryKindOfValueComesBackAsItWent) {
  const TableSpec table = EveryKind();
  std::string everyByte;
  for (int b = 0; b < 256; ++b) everyByte += static_cast<char>(b);
  const std::vector<std::vector<Cell>> rows = {
      {Int(std::numeric_limits<int64_t>::min()), Int(1), Real(0.1), Str("tab\there\nnew\rret\\"),
       Str("2024-02-29 23:59:59.25"), Str(everyByte)},
      {Int(0), Int(0), Real(-0.0), Str("\\N"), Str("infinity"), Str("")},
      {kNull, kNull, Real(4.9406564584124654e-324), Str(""), Str("0044-03-15 12:00:00 BC"), kNull},
      {Int(-1), Int(1), Real(std::numeric_limits<double>::infinity()), Str("Grüße 🪚"),
       Str("294276-12-31 23:59:59"), Str("\\x")},
      {Int(7), kNull, Real(-1.7976931348623157e308), kNull, Str("-infinity"), Str("\t")},
  };
  std::string data;
  for (size_t r = 0; r < rows.size(); ++r)
    AppendCopyRow(data, rows[r].data(), table, static_cast<int64_t>(r + 1));
  std::istringstream lines(data);
  std::vector<Cell> back;
  std::string scratch;
  int64_t row = 0;
  for (std::string line; std::getline(lines, line);) ReadCopyRow(line, table, ++row, back, scratch);
  ASSERT_EQ(back.size(), rows.size() * table.columns.size());
  for (size_t r = 0; r < rows.size(); ++r)
    for (size_t c = 0; c < table.columns.size(); ++c)
      EXPECT_TRUE(Same(back[r * table.columns.size() + c], rows[r][c]))
          << "row " << r << " column " << c;

  // NaN and infinities travel as the server spells them.
  std::string nan;
  const std::vector<Cell> special = {Int(1), Int(0), Real(std::nan("")), kNull, kNull, kNull};
  AppendCopyRow(nan, special.data(), table, 1);
  EXPECT_EQ(nan, "1\tf\tNaN\t\\N\t\\N\t\\N\n");
  back.clear();
  ReadCopyRow(nan, table, 1, back, scratch);
  EXPECT_TRUE(std::isnan(back[2].d));
}

TEST(TransferCopyText, RefusesWhatItCannotCarryNamingTheValue) {
  const TableSpec table = EveryKind();
  std::vector<Cell> out;
  std::string scratch;
  auto refused = [&](const std::string& line, const std::wstring& mentions) {
    out.clear();
    auto e = EXPECT_QUILL_ERROR(ReadCopyRow(line, table, 12, out, scratch), ErrNo::StatementError);
    EXPECT_NE(e.Description().find(mentions), std::wstring::npos) << ToUtf8(e.Description());
  };
  refused("1\tt\t0.5\ts\t2024-01-01 00:00:00", L"T (row 12) came back with 5 values of 6");
  refused("1\tt\t0.5\ts\t2024-01-01 00:00:00\t\\\\x00\textra", L"more values");
  refused("12x\tt\t0.5\ts\t\\N\t\\N", L"T.I (row 12)");
  refused("1\tyes\t0.5\ts\t\\N\t\\N", L"T.B (row 12)");
  refused("1\tt\t0.5\ts\t2023-02-29 00:00:00\t\\N", L"T.D (row 12)");
  refused("1\tt\t0.5\ts\t\\N\t\\\\x0", L"T.X (row 12)");

  const std::vector<Cell> zero = {kNull, kNull, kNull, Str(std::string("a\0b", 3)), kNull, kNull};
  std::string data;
  auto e = EXPECT_QUILL_ERROR(AppendCopyRow(data, zero.data(), table, 3), ErrNo::StatementError);
  EXPECT_NE(e.Description().find(L"T.S (row 3) holds a zero character"), std::wstring::npos);
}

TEST(TransferDates, ReadIntoTheServersTextAndToldApartWhereTheFileCannotHoldThem) {
  const std::vector<std::tuple<std::string, std::string, bool>> good = {
      {"2024-02-29T23:59:59.250", "2024-02-29 23:59:59.25", true},
      {"1999-12-31", "1999-12-31 00:00:00", true},
      {"0001-01-01 00:00:00.000000", "0001-01-01 00:00:00", true},
      {"9999-12-31 23:59:59.999999", "9999-12-31 23:59:59.999999", true},
      {"0044-03-15 12:00:00 BC", "0044-03-15 12:00:00 BC", false},
      {"0001-02-29 00:00:00 BC", "0001-02-29 00:00:00 BC", false},  // 1 BC was a leap year
      {"10000-01-01 00:00:00", "10000-01-01 00:00:00", false},
      {"infinity", "infinity", false},
      {"-infinity", "-infinity", false}};
  for (const auto& [text, canonical, fileCanHold] : good) {
    const auto date = ReadDate(text);
    ASSERT_TRUE(date) << text;
    EXPECT_EQ(date->text, canonical);
    EXPECT_EQ(date->fileCanHold, fileCanHold) << text;
  }
  for (const char* bad :
       {"", "2023-02-29", "1900-02-29", "0000-01-01", "2024-13-01", "2024-1-01", "01999-01-01",
        "2024-01-01 24:00:00", "2024-01-01 12:60:00", "2024-01-01 12:00", "2024-01-01 12:00:00.",
        "2024-01-01 12:00:00+02", "Infinity", "2024-01-01 AD"})
    EXPECT_FALSE(ReadDate(bad)) << bad;
}

TEST(TransferChecksum, IsTheDefinedSumOfRowHashesWhateverTheOrder) {
  TableSpec table = EveryKind();
  std::vector<Cell> row = {Int(-7),
                           Int(1),
                           Real(0.1),
                           Str("a\xc3\xa9\tb"),
                           Str("2024-02-29 23:59:59.25"),
                           Str(std::string("\x00\xff", 2))};
  std::string text;
  Checksum::RowText(text, row.data(), table.columns);
  EXPECT_EQ(text, "i-7;b1;r3fb999999999999a;t5:a\xc3\xa9\tb;d2024-02-29 23:59:59.25;x00ff;");
  // With an empty value before the boolean the text is "i-7;N;b1;...", whose MD5 begins
  // with d3b52ab32abbc7b7 (computed apart from the tool).
  table.columns.insert(table.columns.begin() + 1,
                       ColumnSpec{"N", Kind::Text, {}, {}, false, {}, {}});
  row.insert(row.begin() + 1, kNull);
  Checksum one;
  one.Add(row.data(), table.columns);
  EXPECT_EQ(one.Value(), 0xd3b52ab32abbc7b7u);

  // Row order does not count, and -0 counts as 0.
  std::vector<Cell> negativeZero = row, zero = row;
  negativeZero[3] = Real(-0.0);
  zero[3] = Real(0.0);
  Checksum ab, ba, withZero;
  ab.Add(row.data(), table.columns);
  ab.Add(negativeZero.data(), table.columns);
  ba.Add(negativeZero.data(), table.columns);
  ba.Add(row.data(), table.columns);
  withZero.Add(row.data(), table.columns);
  withZero.Add(zero.data(), table.columns);
  EXPECT_EQ(ab.Value(), ba.Value());
  EXPECT_EQ(ab.Value(), withZero.Value());
  EXPECT_EQ(ab.Rows(), 2);
}

TEST(TransferChecksum, TheServerGuidesSqlIsTheDialects) {
  std::ifstream in(std::string(QUILLDATA_SOURCE_DIR) + "/docs/server.md");
  std::stringstream doc;
  doc << in.rdbuf();
  const std::string text = doc.str();
  const size_t from = text.find("```sql\nSELECT count(*)::text");
  ASSERT_NE(from, std::string::npos) << "the server guide shows the checksum's SQL";
  const size_t to = text.find(";\n```", from);
  std::string shown = text.substr(from + 7, to - from - 7);
  // The guide breaks the statement into lines.
  std::string joined;
  for (size_t at = 0; at < shown.size(); ++at) {
    if (shown[at] != '\n') {
      joined += shown[at];
      continue;
    }
    while (at + 1 < shown.size() && shown[at + 1] == ' ') ++at;
    if (!joined.ends_with('(')) joined += ' ';
  }
  const auto tables = SchemaTables(L"");
  auto machining = std::find_if(tables.begin(), tables.end(),
                                [](const TableSpec& t) { return t.name == "Machining"; });
  ASSERT_NE(machining, tables.end());
  EXPECT_EQ(joined, ToUtf8(dialect::Postgres().ChecksumSql(*machining)));
}

TEST(TransferFit, EachLimitRefusesWhatItCannotHoldAndNothingElse) {
  Limit int32;
  int32.minInteger = std::numeric_limits<int32_t>::min();
  int32.maxInteger = std::numeric_limits<int32_t>::max();
  EXPECT_FALSE(Misfit(Int(2147483647), Kind::Integer, int32));
  EXPECT_FALSE(Misfit(kNull, Kind::Integer, int32));
  EXPECT_EQ(*Misfit(Int(3000000000), Kind::Integer, int32),
            L"is outside the column's range, -2147483648 to 2147483647");

  Limit twenty;
  twenty.maxChars = 20;
  twenty.zeroChar = false;
  EXPECT_FALSE(Misfit(Str("ÄÖÜäöüßÄÖÜäöüß🪚🪚🪚🪚🪚🪚"), Kind::Text,
                      twenty));  // 20 characters
  EXPECT_EQ(*Misfit(Str(std::string(21, 'x')), Kind::Text, twenty),
            L"is 21 characters long; the column holds 20");
  EXPECT_TRUE(Misfit(Str(std::string("a\0b", 3)), Kind::Text, twenty));
  EXPECT_FALSE(Misfit(Str(std::string("a\0b", 3)), Kind::Text, Limit{}));

  Limit decimal;
  decimal.precision = 7;
  decimal.scale = 2;
  for (double fits : {12.35, -99999.99, 0.0, -0.0, 1e4, 0.01})
    EXPECT_FALSE(Misfit(Real(fits), Kind::Real, decimal)) << fits;
  for (double not_ :
       {12.345, 100000.0, -100000.0, 1e-7, 0.1 + 0.2, std::numeric_limits<double>::infinity()})
    EXPECT_TRUE(Misfit(Real(not_), Kind::Real, decimal)) << not_;
  EXPECT_EQ(*Misfit(Real(12.345), Kind::Real, decimal), L"has 3 decimals; numeric(7,2) keeps 2");

  Limit fileDates;
  fileDates.fileDates = true;
  EXPECT_FALSE(Misfit(Str("9999-12-31 23:59:59"), Kind::Date, fileDates));
  for (const char* date : {"infinity", "0044-03-15 00:00:00 BC", "10000-01-01 00:00:00"})
    EXPECT_TRUE(Misfit(Str(date), Kind::Date, fileDates)) << date;
  Limit micro;
  micro.secondDigits = 6;
  EXPECT_FALSE(Misfit(Str("2024-01-01 00:00:00.123456 BC"), Kind::Date, micro));
  EXPECT_EQ(*Misfit(Str("2024-01-01 00:00:00.1234567 BC"), Kind::Date, micro),
            L"has 7 digits after the second; the column keeps 6");

  // A column is looked at only where the target takes less than the source holds.
  Limit int16 = int32;
  int16.minInteger = -32768;
  int16.maxInteger = 32767;
  EXPECT_TRUE(Within(int16, int32));
  EXPECT_FALSE(Within(int32, int16));
  EXPECT_FALSE(Within(Limit{}, twenty));
  Limit ten = twenty;
  ten.maxChars = 10;
  EXPECT_TRUE(Within(ten, twenty));
  Limit narrower = decimal;
  narrower.precision = 5;
  EXPECT_TRUE(Within(narrower, decimal));
  narrower.scale = 3;
  EXPECT_FALSE(Within(narrower, decimal));
  EXPECT_FALSE(Within(Limit{}, fileDates));
  EXPECT_TRUE(Within(fileDates, Limit{}));
}

}  // namespace
}  // namespace QuillData::transfer
