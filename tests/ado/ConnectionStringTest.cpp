// Connection strings: ODBC strings pass, ADO-style SQL Server strings are rewritten for the
// installed driver.
#include <gtest/gtest.h>

#include "QuillData/ado/ConnectionString.h"
#include "QuillData/ado/Enums.h"
#include "support/TestSupport.h"

namespace QuillData::ado {
namespace {

const std::vector<std::wstring> kBoth = {L"PostgreSQL Unicode", L"ODBC Driver 17 for SQL Server",
                                         L"ODBC Driver 18 for SQL Server"};

TEST(ConnectionStringTest, ParsesQuotesBracesAndBlanks) {
  auto items = ParseConnectionString(
      L" Data Source = srv ;Password=\"a;b\"\"c\";PWD={x;}}y} ;User ID='it''s';;Flag");
  ASSERT_EQ(items.size(), 5u);
  EXPECT_EQ(items[0].key, L"Data Source");
  EXPECT_EQ(items[0].value, L"srv");
  EXPECT_EQ(items[1].value, L"a;b\"c");
  EXPECT_EQ(items[2].value, L"x;}y");
  EXPECT_EQ(items[3].value, L"it's");
  EXPECT_EQ(items[4].key, L"Flag");
  EXPECT_EQ(ConnectionStringValue(items, L"user id"), L"it's");
  EXPECT_EQ(ConnectionStringValue(items, L"Missing"), L"");
  EXPECT_QUILL_ERROR(ParseConnectionString(L"Password=\"open"), adErrInvalidArgument);
  EXPECT_QUILL_ERROR(ParseConnectionString(L"PWD={open"), adErrInvalidArgument);
}

TEST(ConnectionStringTest, AdoStringsBecomeOdbcForThePreferredDriver) {
  const std::wstring ado =
      L"Provider=SQLOLEDB.1;Persist Security Info=False;Data Source=db1,1433;"
      L"Initial Catalog=Quill;User ID=sa;Password=pw;Application Name=Host";
  EXPECT_EQ(TranslateConnectionString(ado, kBoth),
            L"Driver={ODBC Driver 18 for SQL Server};Server=db1,1433;Database=Quill;UID=sa;"
            L"PWD=pw;APP=Host");
}

TEST(ConnectionStringTest, ChoosesDriverAndMapsKeys) {
  // A quoted password with separators is braced, "}" doubled.
  EXPECT_EQ(TranslateConnectionString(
                L"Provider=SQLNCLI11;Data Source=(local)\\SQLEXPRESS;Initial Catalog=Q;"
                L"User ID=sa;Password=\"p;w}d\";Connect Timeout=5;Encrypt=True;Custom=1",
                {L"ODBC Driver 17 for SQL Server"}),
            L"Driver={ODBC Driver 17 for SQL Server};Server=localhost\\SQLEXPRESS;Database=Q;"
            L"UID=sa;PWD={p;w}}d};Encrypt=yes;Custom=1");
  // Integrated security: no user or password is sent.
  EXPECT_EQ(TranslateConnectionString(L"provider=msoledbsql;Server=h;Database=Q;"
                                      L"Integrated Security=SSPI;User ID=ignored",
                                      kBoth),
            L"Driver={ODBC Driver 18 for SQL Server};Server=h;Database=Q;Trusted_Connection=yes");
  // FreeTDS takes the port apart.
  EXPECT_EQ(
      TranslateConnectionString(L"Provider=SQLOLEDB;Data Source=h , 1444;User ID=u", {L"FreeTDS"}),
      L"Driver={FreeTDS};Server=h;Port=1444;UID=u");
}

TEST(ConnectionStringTest, ClearErrorsForWhatCannotBeTranslated) {
  auto noDriver = EXPECT_QUILL_ERROR(
      TranslateConnectionString(L"Provider=SQLOLEDB;Data Source=h", {L"PostgreSQL Unicode"}),
      adErrProviderNotFound);
  EXPECT_NE(noDriver.Description().find(L"ODBC Driver 18 for SQL Server"), std::wstring::npos);
  EXPECT_NE(noDriver.Description().find(L"FreeTDS"), std::wstring::npos);
  auto other = EXPECT_QUILL_ERROR(
      TranslateConnectionString(L"Provider=Some.Other.Provider.4;Data Source=x", kBoth),
      adErrProviderNotFound);
  EXPECT_NE(other.Description().find(L"Some.Other.Provider.4"), std::wstring::npos);
  EXPECT_QUILL_ERROR(TranslateConnectionString(L"Server=h;Database=d", kBoth),
                     adErrProviderNotFound);
  EXPECT_QUILL_ERROR(TranslateConnectionString(L"Provider=SQLOLEDB;Initial Catalog=d", kBoth),
                     adErrInvalidArgument);
}

TEST(ConnectionStringTest, OdbcPairBracesOnlyWhenNeeded) {
  EXPECT_EQ(OdbcPair(L"PWD", L"plain"), L"PWD=plain");
  EXPECT_EQ(OdbcPair(L"PWD", L" lead"), L"PWD={ lead}");
  EXPECT_EQ(OdbcPair(L"PWD", L"a}b"), L"PWD={a}}b}");
  // What OdbcPair writes, ParseConnectionString reads back.
  EXPECT_EQ(ParseConnectionString(OdbcPair(L"PWD", L"x;{y}}"))[0].value, L"x;{y}}");
}

}  // namespace
}  // namespace QuillData::ado
