// The ODBC provider (through psqlODBC) and the libpq provider against a real PostgreSQL server.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <limits>

#include "QuillData/ado/Ado.h"
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

// Each test runs on both providers; the parameter is true for libpq.
class PostgresTest : public test::PgServerTest, public ::testing::WithParamInterface<bool> {
 protected:
  std::wstring ConnectionString() const { return StringFor(Server(), Database()); }
  std::wstring StringFor(const test::PgServer& server, const std::string& database) const {
    return GetParam() ? server.LibpqConnectionString(database) : server.ConnectionString(database);
  }
  std::wstring Source() const {
    return GetParam() ? L"QuillData.ado (libpq)" : L"QuillData.ado (PostgreSQL Unicode)";
  }

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
  EXPECT_TRUE(f->Item(L"price")->Value().IsNull());
  EXPECT_EQ(f->Item(L"active")->Value(), Variant(false));
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
  EXPECT_EQ(empty->State(), adStateOpen);
  EXPECT_TRUE(empty->Eof());
  EXPECT_TRUE(empty->Bof());
  EXPECT_EQ(empty->RecordCount(), 0);

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

  // A procedure that does not exist: the server's diagnostics reach the caller.
  auto missing = NewCommand(L"no_such_function", adCmdStoredProc);
  auto e = EXPECT_QUILL_ERROR(missing->Execute(adExecuteNoRecords), adErrDataSource);
  EXPECT_NE(e.Description().find(L"42883"), std::wstring::npos) << ToUtf8(e.Description());
  EXPECT_EQ(e.Source(), Source());
  // A name that would change the call text is refused before anything is sent.
  missing->CommandText(L"add_item(); DROP TABLE items; --");
  EXPECT_QUILL_ERROR(missing->Execute(adExecuteNoRecords), adErrInvalidArgument);
  EXPECT_EQ(ItemCount(), 2);
}

TEST_P(PostgresTest, BadValuesFailBeforeAnythingIsWritten) {
  auto tooLong = AddItem(std::wstring(L"abcdef"), 5, 1.0, true);
  auto e = EXPECT_QUILL_ERROR(tooLong->Execute(adExecuteNoRecords), adErrDataOverflow);
  EXPECT_NE(e.Description().find(L"@Name"), std::wstring::npos);
  auto nan = AddItem(std::wstring(L"x"), 5, std::numeric_limits<double>::quiet_NaN(), true);
  EXPECT_QUILL_ERROR(nan->Execute(adExecuteNoRecords), adErrDataConversion);
  auto big = AddItem(std::wstring(L"x"), 5, 123456.0, true);
  EXPECT_QUILL_ERROR(big->Execute(adExecuteNoRecords), adErrDataOverflow);
  EXPECT_EQ(ItemCount(), 0);
  // The seed of the return value is untouched by a failed call.
  EXPECT_EQ(tooLong->Parameters()->Item(0)->Value(), Variant(int32_t{-1}));
}

TEST_P(PostgresTest, DecimalsAndBooleansArriveAsSent) {
  AddItem(std::wstring(L"a"), 50, 2.675, int16_t{1})->Execute(adExecuteNoRecords);
  AddItem(std::wstring(L"b"), 50, -1.005, false)->Execute(adExecuteNoRecords);
  AddItem(std::wstring(L"c"), 50, std::wstring(L"99999.99"), Variant())
      ->Execute(adExecuteNoRecords);
  auto rs = conn->Execute(L"SELECT price, active FROM items ORDER BY id");
  EXPECT_EQ(rs->Fields()->Item(L"price")->Value(), Variant(Dec(268, 2)));
  EXPECT_EQ(rs->Fields()->Item(L"active")->Value(), Variant(true));
  rs->MoveNext();
  EXPECT_EQ(rs->Fields()->Item(L"price")->Value(), Variant(Dec(-101, 2)));
  EXPECT_EQ(rs->Fields()->Item(L"active")->Value(), Variant(false));
  rs->MoveNext();
  EXPECT_EQ(rs->Fields()->Item(L"price")->Value(), Variant(Dec(9999999, 2)));
  EXPECT_TRUE(rs->Fields()->Item(L"active")->Value().IsNull());
}

TEST_P(PostgresTest, NonAsciiTextRoundTrips) {
  const std::wstring text = L"Kante ä 日本 \U0001F600 end";
  auto cmd = AddItem(text, 50, 1.0, true);
  cmd->Execute(adExecuteNoRecords);
  EXPECT_EQ(Scalar(L"SELECT name FROM items"), Variant(text));
  EXPECT_EQ(Scalar(L"SELECT length(name) FROM items"),
            Variant(int32_t{static_cast<int32_t>(text.size())}));
  // The same text written into the SQL itself.
  EXPECT_EQ(Scalar(L"SELECT count(*)::int FROM items WHERE name = '" + text + L"'"),
            Variant(int32_t{1}));
  // Long text through an unlimited parameter, read back in pieces.
  std::wstring longText;
  // Four UTF-16 units a round: the pieces of the read split a surrogate pair.
  for (int i = 0; i < 5000; ++i) longText += L"日本\U0001F600";
  auto note = NewCommand(L"UPDATE items SET note = ?");
  note->Parameters()->Append(
      note->CreateParameter(L"@Note", adLongVarWChar, adParamInput, -1, longText));
  note->Execute(adExecuteNoRecords);
  EXPECT_EQ(Scalar(L"SELECT note FROM items"), Variant(longText));
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
      {adNumeric, L"numeric(9,3)", Dec(-123456, 3)},
      {adDecimal, L"numeric(9,3)", Dec(5, 3)},
      {adDBTimeStamp, L"timestamp", Date{45351.75}},
      {adDate, L"timestamp", Date{-1.5}},
      {adDBDate, L"date", Date{45351}},
      {adChar, L"char(3)", std::wstring(L"abc")},
      {adWChar, L"char(2)", std::wstring(L"\u00e4\u65e5")},
      {adLongVarChar, L"text", std::wstring(5000, L'x')},
      {adBinary, L"bytea", Variant::Bytes{0, 1, 2}},
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

TEST_P(PostgresTest, AdoStyleStringNeedsAnInstalledSqlServerDriver) {
  if (GetParam()) GTEST_SKIP() << "the ODBC provider's translation";
  // The private driver list names only the PostgreSQL driver.
  const auto drivers = InstalledOdbcDrivers();
  EXPECT_NE(std::find(drivers.begin(), drivers.end(), L"PostgreSQL Unicode"), drivers.end());
  auto other = std::make_shared<Connection>();
  auto e = EXPECT_QUILL_ERROR(
      other->Open(L"Provider=SQLOLEDB;Data Source=h;Initial Catalog=d;User ID=u;Password=p"),
      adErrProviderNotFound);
  EXPECT_NE(e.Description().find(L"ODBC Driver 17 for SQL Server"), std::wstring::npos);
  EXPECT_EQ(other->State(), adStateClosed);
}

TEST_P(PostgresTest, ServerThatIsDownFailsOpenWithTheDriversMessage) {
  // The server of this test stops; others keep the shared one.
  test::PgServer own(test::PgServer::Binaries());
  const std::wstring connectionString = StringFor(own, "postgres");
  auto first = std::make_shared<Connection>();
  first->Open(connectionString);
  own.Stop();

  // An open connection whose server went away reports it at the next command, and is lost.
  EXPECT_EQ(first->State(), adStateOpen);
  auto gone = EXPECT_QUILL_ERROR(first->Execute(L"SELECT 1"), adErrDataSource);
  EXPECT_TRUE(first->Lost()) << ToUtf8(gone.Description());
  EXPECT_EQ(first->State(), adStateClosed);

  auto down = std::make_shared<Connection>();
  auto e = EXPECT_QUILL_ERROR(down->Open(connectionString), adErrDataSource);
  EXPECT_NE(e.Description().find(L"08001"), std::wstring::npos) << ToUtf8(e.Description());
  EXPECT_NE(e.Description().find(L"refused"), std::wstring::npos) << ToUtf8(e.Description());
  EXPECT_EQ(down->State(), adStateClosed);

  own.Start();
  down->Open(connectionString);
  EXPECT_EQ(*down->Execute(L"SELECT 41 + 1")->Fields()->Item(0)->Value().Get<int32_t>(), 42);
  first->Reconnect();
  EXPECT_FALSE(first->Lost());
  EXPECT_EQ(*first->Execute(L"SELECT 2")->Fields()->Item(0)->Value().Get<int32_t>(), 2);
}

TEST_P(PostgresTest, CommandBlockedByALockTimesOutAndTheConnectionGoesOn) {
  // Another session holds the table until it ends its transaction.
  auto holder = std::make_shared<Connection>();
  holder->Open(ConnectionString());
  holder->Execute(L"BEGIN; LOCK TABLE items IN ACCESS EXCLUSIVE MODE;", adExecuteNoRecords);

  for (const wchar_t* key : {L"Command Timeout", L"QueryTimeout"}) {
    auto waiting = std::make_shared<Connection>();
    waiting->Open(ConnectionString() + L";" + key + L"=1");
    const auto start = std::chrono::steady_clock::now();
    auto e = EXPECT_QUILL_ERROR(waiting->Execute(L"SELECT count(*) FROM items"), adErrDataSource);
    const double waited =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(waited, 0.9);
    EXPECT_LT(waited, 5.0);
    EXPECT_NE(e.Description().find(L"timeout of 1 seconds (Command Timeout)"), std::wstring::npos)
        << ToUtf8(e.Description());
    // The statement was cancelled, not the connection.
    EXPECT_EQ(waiting->State(), adStateOpen);
    EXPECT_EQ(*waiting->Execute(L"SELECT 7")->Fields()->Item(0)->Value().Get<int32_t>(), 7);
  }
  holder->Execute(L"COMMIT;", adExecuteNoRecords);
}

// What only the libpq provider does: it prepares, and it reads libpq's connection strings.
class LibpqTest : public PostgresTest {};

TEST_P(LibpqTest, EachCallIsPreparedOnceAndItsValuesArriveWhole) {
  for (int i = 0; i < 3; ++i) AddItem(std::wstring(L"n"), 50, i, true)->Execute(adExecuteNoRecords);
  EXPECT_EQ(Scalar(L"SELECT count(*)::int FROM pg_prepared_statements WHERE statement = "
                   L"'SELECT * FROM add_item($1, $2, $3)'"),
            Variant(int32_t{1}));
  // A zero character would cut the text short on its way: refused, nothing written.
  auto zero = AddItem(std::wstring(L"a\0b", 3), 50, 1.0, true);
  EXPECT_QUILL_ERROR(zero->Execute(adExecuteNoRecords), adErrDataConversion);
  EXPECT_EQ(ItemCount(), 3);
  // Bytes go in binary and come back whole, as do doubles.
  auto bytes = std::make_shared<Command>();
  bytes->ActiveConnection(conn);
  bytes->CommandText(L"SELECT ?::bytea AS b, ?::float8 AS d");
  const Variant::Bytes sent = {0, 1, 0x5c, 0x27, 0xff};
  bytes->Parameters()->Append(bytes->CreateParameter(L"@B", adVarBinary, adParamInput, 10, sent));
  bytes->Parameters()->Append(bytes->CreateParameter(L"@D", adDouble, adParamInput, 8, 0.1 + 0.2));
  auto rs = bytes->Execute();
  EXPECT_EQ(rs->Fields()->Item(L"b")->Value(), Variant(sent));
  EXPECT_EQ(rs->Fields()->Item(L"d")->Value(), Variant(0.1 + 0.2));
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

INSTANTIATE_TEST_SUITE_P(Providers, PostgresTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return std::string(info.param ? "Libpq" : "Odbc");
                         });
INSTANTIATE_TEST_SUITE_P(Provider, LibpqTest, ::testing::Values(true));

}  // namespace
}  // namespace QuillData::ado
