// The ODBC provider (through psqlODBC) and the libpq provider against a real PostgreSQL server.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <chrono>

#include "QuillData/ado/Ado.h"
#include "QuillData/contract/Error.h"
#include "support/PgServer.h"
#include "support/TestSupport.h"

namespace QuillData::ado {
namespace {

Decimal Dec(__int128 mantissa, uint8_t scale) {
  Decimal d;
  d.mantissa = mantissa;
  d.scale = scale;
  return d;
}

std::wstring Repeat(const std::wstring& piece, int times) {
  std::wstring out;
  for (int i = 0; i < times; ++i) out += piece;
  return out;
}

// Each test runs on both providers; the parameter is true for libpq.
class PostgresTest : public test::PgServerTest, public ::testing::WithParamInterface<bool> {
 protected:
  std::wstring ConnectionString() const { return PgServerTest::ConnectionString(GetParam()); }

  void SetUp() override {
    PgServerTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    conn = std::make_shared<Connection>();
    conn->ConnectionString(ConnectionString());
    conn->Open(L"", L"", L"", adOptionUnspecified);
    ASSERT_EQ(conn->State(), adStateOpen);
    conn->Execute(
        L"CREATE TABLE items (id serial PRIMARY KEY, name varchar(50), price numeric(7,2),"
        L" active boolean, note text, made timestamp);"
        L"CREATE FUNCTION add_item(p_name varchar, p_price numeric, p_active boolean)"
        L" RETURNS integer AS $$ INSERT INTO items (name, price, active)"
        L" VALUES (p_name, p_price, p_active) RETURNING id $$ LANGUAGE sql;",
        adExecuteNoRecords);
  }

  Variant Scalar(const std::wstring& sql) {
    auto rs = conn->Execute(sql);
    EXPECT_EQ(rs->RecordCount(), 1) << ToUtf8(sql);
    return rs->Fields()->Item(0)->Value();
  }

  // A command of the connection.
  CommandPtr NewCommand(const std::wstring& text, int32_t type = adCmdUnknown) {
    auto cmd = std::make_shared<Command>();
    cmd->ActiveConnection(conn);
    cmd->CommandText(text);
    cmd->CommandType(type);
    return cmd;
  }

  // add_item through {? = call add_item(?, ?, ?)}, with the return value seeded as the
  // backend seeds it.
  CommandPtr AddItem(const Variant& name, int32_t nameSize, const Variant& price,
                     const Variant& active) {
    auto cmd = NewCommand(L"add_item", adCmdStoredProc);
    auto params = cmd->Parameters();
    params->Append(
        cmd->CreateParameter(L"@Return_Value", adInteger, adParamReturnValue, 8, int32_t{-1}));
    params->Append(cmd->CreateParameter(L"@Name", adVarChar, adParamInput, nameSize, name));
    params->Append(cmd->CreateParameter(L"@Price", adNumeric, adParamInput, 0, price));
    params->Item(L"@Price")->Precision(7);
    params->Item(L"@Price")->NumericScale(2);
    params->Append(cmd->CreateParameter(L"@Active", adBoolean, adParamInput, 1, active));
    return cmd;
  }

  int32_t ItemCount() { return *Scalar(L"SELECT count(*)::integer FROM items").Get<int32_t>(); }

  ConnectionPtr conn;
};

TEST_P(PostgresTest, TextQueryFillsAStaticRecordset) {
  conn->Execute(
      L"INSERT INTO items (name, price, active, note, made) VALUES"
      L" ('first', 12.50, true, NULL, '2024-02-29 13:45:30'),"
      L" ('second', NULL, false, 'n', '1899-12-30 06:00:00'),"
      L" (NULL, -0.05, NULL, NULL, NULL)",
      adExecuteNoRecords);
  auto cmd = NewCommand(
      L"SELECT id, name, price, active, note, made, 2.5::float8 AS dbl,"
      L" count(*) OVER () AS n, 5000000000::bigint AS big FROM items ORDER BY id;",
      adCmdText);
  auto rs = std::make_shared<Recordset>();
  rs->CursorType(adOpenStatic);
  rs->CursorLocation(adUseClient);
  rs->LockType(adLockReadOnly);
  rs->Open(cmd, nullptr, -1, -1, -1);

  ASSERT_EQ(rs->State(), adStateOpen);
  EXPECT_EQ(rs->RecordCount(), 3);
  EXPECT_FALSE(rs->Bof());
  auto f = rs->Fields();
  EXPECT_EQ(f->Count(), 9);
  EXPECT_EQ(f->Item(L"n")->Value(), Variant(int32_t{3}));  // bigint that fits: Long
  EXPECT_EQ(f->Item(L"big")->Value(), Variant(Dec(5000000000, 0)));
  EXPECT_EQ(f->Item(L"ID")->Value(), Variant(int32_t{1}));
  EXPECT_EQ(f->Item(L"Name")->Value(), Variant(std::wstring(L"first")));
  EXPECT_EQ(f->Item(L"PRICE")->Value(), Variant(Dec(1250, 2)));
  EXPECT_EQ(f->Item(L"active")->Value(), Variant(true));
  EXPECT_TRUE(f->Item(L"note")->Value().IsNull());
  EXPECT_EQ(f->Item(L"made")->Value(), Variant(Date{45351 + (13 * 3600 + 45 * 60 + 30) / 86400.0}));
  EXPECT_EQ(f->Item(L"dbl")->Value(), Variant(2.5));
  EXPECT_EQ(f->Item(L"price")->Type(), adNumeric);

  rs->MoveNext();
  EXPECT_EQ(f->Item(L"made")->Value(), Variant(Date{0.25}));
  rs->MoveNext();
  EXPECT_TRUE(f->Item(L"name")->Value().IsNull());
  EXPECT_EQ(f->Item(L"price")->Value(), Variant(Dec(-5, 2)));
  rs->MoveNext();
  EXPECT_TRUE(rs->Eof());
  rs->MoveFirst();
  EXPECT_EQ(f->Item(L"id")->Value(), Variant(int32_t{1}));
  rs->MovePrevious();
  EXPECT_TRUE(rs->Bof());

  // No rows: open and empty.
  auto empty = std::make_shared<Recordset>();
  empty->Open(L"SELECT id FROM items WHERE id < 0", conn, adOpenStatic, adLockReadOnly);
  EXPECT_TRUE(empty->Eof() && empty->Bof());
  empty->Close();
  EXPECT_EQ(empty->State(), adStateClosed);

  // A static recordset stays readable after its connection closes.
  conn->Close();
  rs->MoveLast();
  EXPECT_EQ(f->Item(L"id")->Value(), Variant(int32_t{3}));
}

TEST_P(PostgresTest, ProcedureReturnValueComesBack) {
  auto cmd = AddItem(std::wstring(L"bolt"), 50, 1.25, true);
  EXPECT_EQ(cmd->Execute(adExecuteNoRecords), nullptr);
  EXPECT_EQ(cmd->Parameters()->Item(L"@Return_Value")->Value(), Variant(int32_t{1}));
  // The same command runs again and the value follows the server.
  cmd->Parameters()->Item(L"@Name")->Value(std::wstring(L"nut"));
  cmd->Execute(adExecuteNoRecords);
  EXPECT_EQ(cmd->Parameters()->Item(0)->Value(), Variant(int32_t{2}));
  EXPECT_EQ(Scalar(L"SELECT name FROM items WHERE id = 2"), Variant(std::wstring(L"nut")));

  // Without a return value the call is {call ...}; a function returning rows fills the
  // recordset.
  conn->Execute(
      L"CREATE FUNCTION items_named(p_name varchar) RETURNS TABLE(id integer,"
      L" name varchar) AS $$ SELECT id, name FROM items WHERE name = p_name $$"
      L" LANGUAGE sql",
      adExecuteNoRecords);
  auto rows = NewCommand(L"items_named", adCmdStoredProc);
  rows->Parameters()->Append(
      rows->CreateParameter(L"@Name", adVarChar, adParamInput, 50, std::wstring(L"bolt")));
  auto rs = rows->Execute();
  ASSERT_EQ(rs->State(), adStateOpen);
  EXPECT_EQ(rs->RecordCount(), 1);
  EXPECT_EQ(rs->Fields()->Item(L"ID")->Value(), Variant(int32_t{1}));

  // No parameters at all: {call name()}.
  conn->Execute(
      L"CREATE FUNCTION touch_items() RETURNS void AS $$ UPDATE items SET note = 't'"
      L" $$ LANGUAGE sql",
      adExecuteNoRecords);
  NewCommand(L"touch_items", adCmdStoredProc)->Execute(adExecuteNoRecords);
  EXPECT_EQ(Scalar(L"SELECT count(*)::int FROM items WHERE note = 't'"), Variant(int32_t{2}));

  // A name that would change the call text is refused before anything is sent.
  auto missing = NewCommand(L"add_item(); DROP TABLE items; --", adCmdStoredProc);
  EXPECT_QUILL_ERROR(missing->Execute(adExecuteNoRecords), adErrInvalidArgument);
  EXPECT_EQ(ItemCount(), 2);
}

// Each parameter type reaches the server as its own type and comes back as the value sent.
TEST_P(PostgresTest, EveryParameterTypeRoundTrips) {
  const struct {
    int32_t type;
    const wchar_t* cast;
    Variant value;
    Variant back = Variant();  // when it differs from the value
  } cases[] = {
      {adSmallInt, L"smallint", int16_t{-12345}, int32_t{-12345}},
      {adInteger, L"integer", int32_t{2000000000}},
      {adSingle, L"real", 2.5},
      {adDouble, L"float8", 0.1 + 0.2},
      {adBoolean, L"boolean", true},
      {adBoolean, L"boolean", int16_t{1}, true},
      {adBoolean, L"boolean", Variant::Null()},
      {adNumeric, L"numeric(9,3)", Dec(-123456, 3)},
      // Doubles round half away from zero at their fifteenth digit, not at their binary value.
      {adNumeric, L"numeric(9,3)", 2.6755, Dec(2676, 3)},
      {adNumeric, L"numeric(9,3)", -1.0005, Dec(-1001, 3)},
      {adNumeric, L"numeric(9,3)", std::wstring(L"999999.999"), Dec(999999999, 3)},
      {adDecimal, L"numeric(9,3)", Dec(5, 3)},
      {adDBTimeStamp, L"timestamp", Date{45351.75}},
      {adDate, L"timestamp", Date{-1.5}},
      {adDBDate, L"date", Date{45351}},
      {adChar, L"char(3)", std::wstring(L"abc")},
      {adWChar, L"char(2)", std::wstring(L"\u00e4\u65e5")},
      {adLongVarChar, L"text", std::wstring(5000, L'x')},
      // Four UTF-16 units a round: the pieces of a long read split a surrogate pair.
      {adLongVarWChar, L"text", Repeat(L"\u65e5\u672c\U0001F600", 5000)},
      {adBinary, L"bytea", Variant::Bytes{0, 1, 0x5c, 0x27, 0xff}},
      {adLongVarBinary, L"bytea", Variant::Bytes(3000, 0xA5)},
  };
  for (const auto& c : cases) {
    auto cmd = NewCommand(std::wstring(L"SELECT CAST(? AS ") + c.cast + L") AS v");
    auto param = cmd->CreateParameter(L"@V", c.type, adParamInput, -1, c.value);
    param->Precision(9);
    param->NumericScale(3);
    cmd->Parameters()->Append(param);
    auto rs = cmd->Execute();
    EXPECT_EQ(rs->Fields()->Item(L"v")->Value(), c.back.IsEmpty() ? c.value : c.back)
        << ToUtf8(c.cast) << " " << c.type;
  }
}

TEST_P(PostgresTest, CommandBlockedByALockTimesOutAndTheConnectionGoesOn) {
  // Another session holds the table until it ends its transaction.
  auto holder = std::make_shared<Connection>();
  holder->Open(ConnectionString());
  holder->Execute(L"BEGIN; LOCK TABLE items IN ACCESS EXCLUSIVE MODE;", adExecuteNoRecords);

  // Directly, and through a pooler, where no timeout lives in the server session: the
  // statement is cancelled from the client.
  test::PgBouncer* pooler = test::PgBouncer::Shared();
  std::vector<std::wstring> strings = {ConnectionString() + L";Command Timeout=1",
                                       ConnectionString() + L";QueryTimeout=1"};
  if (pooler)
    strings.push_back(pooler->ConnectionString(Database(), GetParam()) + L";Command Timeout=1");
  for (const std::wstring& string : strings) {
    auto waiting = std::make_shared<Connection>();
    waiting->Open(string);
    const auto start = std::chrono::steady_clock::now();
    auto e = EXPECT_QUILL_ERROR(waiting->Execute(L"SELECT count(*) FROM items"), adErrDataSource);
    const double waited =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(waited, 0.9);
    EXPECT_LT(waited, 5.0);
    EXPECT_NE(e.Description().find(L"timeout of 1 seconds (Command Timeout)"), std::wstring::npos)
        << ToUtf8(e.Description());
    EXPECT_EQ(e.Kind(), ErrorKind::Timeout);
    // The statement was cancelled, not the connection.
    EXPECT_EQ(waiting->State(), adStateOpen);
    EXPECT_EQ(*waiting->Execute(L"SELECT 7")->Fields()->Item(0)->Value().Get<int32_t>(), 7);
  }
  holder->Execute(L"COMMIT;", adExecuteNoRecords);
}

// Through a pooler that lends server sessions per transaction: calls, readers and a
// transaction leave nothing in the server session.
TEST_P(PostgresTest, ThroughAPoolerNothingStaysInTheServerSession) {
  test::PgBouncer* pooler = test::PgBouncer::Shared();
  if (!pooler) GTEST_SKIP() << test::PgBouncer::SkipReason();
  conn = std::make_shared<Connection>();
  conn->Open(pooler->ConnectionString(Database(), GetParam()));
  AddItem(std::wstring(L"alone"), 50, 1.0, true)->Execute(adExecuteNoRecords);
  conn->BeginTrans();
  AddItem(std::wstring(L"in a transaction"), 50, 1.0, false)->Execute(adExecuteNoRecords);
  EXPECT_EQ(ItemCount(), 2);
  conn->CommitTrans();
  EXPECT_EQ(Scalar(L"SELECT count(*)::integer FROM pg_prepared_statements"), Variant(int32_t{0}));
  const Variant timeout(std::wstring(L"0"));  // not set, not even for a statement
  EXPECT_EQ(Scalar(L"SELECT current_setting('statement_timeout')"), timeout);
  EXPECT_EQ(Scalar(L"SELECT current_setting('statement_timeout'); SELECT 2"), timeout);
}

// What only the libpq provider does: it prepares, and it reads libpq's connection strings.
class LibpqTest : public PostgresTest {};

TEST_P(LibpqTest, AZeroCharacterIsRefusedAndAChangedTableIsPreparedAgain) {
  // A zero character would cut the text short on its way: refused, nothing written.
  auto zero = AddItem(std::wstring(L"a\0b", 3), 50, 1.0, true);
  EXPECT_EQ(
      EXPECT_QUILL_ERROR(zero->Execute(adExecuteNoRecords), ErrNo::InvalidProcedureCall).Kind(),
      ErrorKind::RefusedArgument);
  EXPECT_EQ(ItemCount(), 0);
  conn->Execute(L"INSERT INTO items (name) VALUES ('n')", adExecuteNoRecords);
  // A kept SELECT * whose table changed is prepared again.
  EXPECT_EQ(conn->Execute(L"SELECT * FROM items")->Fields()->Count(), 6);
  conn->Execute(L"ALTER TABLE items ADD COLUMN extra integer DEFAULT 5", adExecuteNoRecords);
  auto wider = conn->Execute(L"SELECT * FROM items");
  EXPECT_EQ(wider->Fields()->Item(L"extra")->Value(), Variant(int32_t{5}));
}

TEST_P(LibpqTest, AUriOpensAndAKeyPostgresDoesNotKnowIsRefused) {
  auto uri = std::make_shared<Connection>();
  uri->Open(L"postgresql://postgres@127.0.0.1:" + std::to_wstring(Server().Port()) + L"/" +
            FromUtf8(Database()) + L"?sslmode=disable");
  EXPECT_EQ(*uri->Execute(L"SELECT 6 * 7")->Fields()->Item(0)->Value().Get<int32_t>(), 42);
  auto odd = std::make_shared<Connection>();
  auto e =
      EXPECT_QUILL_ERROR(odd->Open(ConnectionString() + L";Colour=blue"), adErrInvalidArgument);
  EXPECT_NE(e.Description().find(L"Colour"), std::wstring::npos);
  e = EXPECT_QUILL_ERROR(odd->Open(ConnectionString() + L";UseServerSidePrepare=yes"),
                         adErrInvalidArgument);
  EXPECT_NE(e.Description().find(L"UseServerSidePrepare"), std::wstring::npos);
}

// Statements kept prepared through a pooler that was not seen (the switch forced on): a name
// that the server session lent does not hold, or holds already, fails before the statement
// runs, and the connection goes on unnamed. Switched off, nothing is prepared at all.
TEST_P(LibpqTest, NamedStatementsThatAPoolerMixesUpFallBackToUnnamedOnes) {
  test::PgBouncer* pooler = test::PgBouncer::Shared();
  if (!pooler) GTEST_SKIP() << test::PgBouncer::SkipReason();
  std::vector<ConnectionPtr> clients;
  for (int c = 0; c < 3; ++c) {
    clients.push_back(std::make_shared<Connection>());
    clients.back()->Open(pooler->ConnectionString(Database(), true) + L";UseServerSidePrepare=1");
  }
  for (int i = 1; i <= 30; ++i) {
    conn = clients[static_cast<size_t>(i % 3)];
    auto cmd = AddItem(L"item " + std::to_wstring(i), 50, 1.0, true);
    cmd->Execute(adExecuteNoRecords);
    EXPECT_EQ(cmd->Parameters()->Item(L"@Return_Value")->Value(), Variant(int32_t{i}));
    EXPECT_EQ(ItemCount(), i);
  }
  conn = std::make_shared<Connection>();
  conn->Open(ConnectionString() + L";UseServerSidePrepare=0");
  AddItem(std::wstring(L"unprepared"), 50, 1.0, true)->Execute(adExecuteNoRecords);
  EXPECT_EQ(Scalar(L"SELECT count(*)::integer FROM pg_prepared_statements"), Variant(int32_t{0}));

  // Unnamed, a query's results come in binary once its columns proved readable so; a column
  // whose type changed since is reported once and read as text from then on.
  const std::wstring query = L"SELECT id, name FROM items WHERE id = 2";
  for (int i = 0; i < 2; ++i)
    EXPECT_EQ(conn->Execute(query)->Fields()->Item(L"name")->Value(), Variant(L"item 2"));
  conn->Execute(L"ALTER TABLE items ALTER COLUMN id TYPE numeric", adExecuteNoRecords);
  EXPECT_QUILL_ERROR(conn->Execute(query), ErrNo::TypeMismatch);
  EXPECT_EQ(conn->Execute(query)->Fields()->Item(L"id")->Value(), Variant(Dec(2, 0)));
}

#ifdef QUILLDATA_NOPREPARE_DRIVER
// A driver that will not prepare a call: the call runs directly, with the same results, and
// the driver is asked once per connection, not at every run.
class OdbcTest : public PostgresTest {};

TEST_P(OdbcTest, ACallTheDriverWillNotPrepareRunsDirectly) {
  void* driver = dlopen(QUILLDATA_NOPREPARE_DRIVER, RTLD_NOW);
  ASSERT_NE(driver, nullptr) << dlerror();
  const auto refused = reinterpret_cast<int (*)()>(dlsym(driver, "RefusedPrepares"));
  ASSERT_NE(refused, nullptr);
  std::wstring refusing = ConnectionString();
  refusing.replace(0, refusing.find(L';'), L"Driver=" + FromUtf8(QUILLDATA_NOPREPARE_DRIVER));
  conn = std::make_shared<Connection>();
  conn->Open(refusing);
  const int before = refused();
  for (int i = 1; i <= 5; ++i) {
    auto cmd = AddItem(L"item " + std::to_wstring(i), 50, Dec(150 * i, 2), i % 2 == 0);
    cmd->Execute(adExecuteNoRecords);
    EXPECT_EQ(cmd->Parameters()->Item(L"@Return_Value")->Value(), Variant(int32_t{i}));
  }
  EXPECT_EQ(refused() - before, 1);
  EXPECT_EQ(Scalar(L"SELECT sum(price) FROM items"), Variant(Dec(2250, 2)));
  EXPECT_EQ(Scalar(L"SELECT count(*)::integer FROM items WHERE active"), Variant(int32_t{2}));
  conn->Close();
  dlclose(driver);
}

INSTANTIATE_TEST_SUITE_P(Provider, OdbcTest, ::testing::Values(false));
#endif

INSTANTIATE_TEST_SUITE_P(Providers, PostgresTest, ::testing::Bool(), test::ProviderName);
INSTANTIATE_TEST_SUITE_P(Provider, LibpqTest, ::testing::Values(true));

}  // namespace
}  // namespace QuillData::ado
