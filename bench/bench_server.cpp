// The server backend against raw client loops doing the same work, on a throwaway PostgreSQL of
// its own (./dev bench-server):
//   - the readers GETTblMachining (100,000 rows x 7 columns) and GETTblMachRouting (20,000 rows
//     x 47 columns) on each provider, against a raw ODBC loop reading every column with
//     SQLGetData, a raw ODBC block cursor (column-wise bound, 1000 rows a fetch) and a raw
//     libpq loop (one query, binary results);
//   - the writer INSERTMachining, for a new row and for a row it finds, on each provider,
//     against the same procedure prepared once by hand (ODBC SQLPrepare + SQLExecute, libpq
//     PQprepare + PQexecPrepared);
//   - 1,000 new rows through INSERTMachining in one transaction (BeginTrans ... CommitTrans),
//     against the same prepared procedure in one transaction by hand (ODBC with autocommit
//     off and SQLEndTran, libpq between BEGIN and COMMIT);
//   - all of it again through PgBouncer in transaction mode in front of the same server, where
//     nothing may be kept in a server session: against raw libpq through the same pooler with
//     unnamed statements (PQexecParams, binary results) and a raw ODBC block cursor through it.
// Every raw loop fills the library's own record classes (text as std::wstring) into a plain
// container: no keys, no shared records, so a ratio is the whole cost of the library on top
// of the wire. The variants run in interleaved rounds, on the same server; the times are wall
// times (the server's work is part of every call) and the medians of the rounds.
#include <libpq-fe.h>
#include <sql.h>
#include <sqlext.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "QuillData/contract/Factory.h"
#include "QuillData/contract/Records.h"
#include "QuillData/contract/Text.h"
#include "QuillData/contract/clsQuillData.h"
#include "Widen.h"
#include "support/PgServer.h"

namespace {

using namespace QuillData;
using Clock = std::chrono::steady_clock;

constexpr int kMachiningRows = 100000;
constexpr int kRoutingRows = 20000;
constexpr int kRounds = 5;
constexpr int kCalls = 500;              // writer calls in one timing
constexpr int kWriterTimings = 3;        // timings of each writer per round: a call is short
constexpr int kTransactionCalls = 1000;  // writer calls in one transaction
constexpr SQLULEN kBlockRows = 1000;     // rows of one block fetch
constexpr size_t kBlockText = 128;       // characters a bound text cell holds
constexpr const char* kInsertCall = "{? = call P_I_Machining(?, ?, ?, ?, ?, ?)}";
constexpr const char* kInsertSelect = "SELECT * FROM P_I_Machining($1, $2, $3, $4, $5, $6)";

// Ends the run; thrown, so that the throwaway server is stopped on the way out.
[[noreturn]] void Die(const std::string& what) {
  throw std::runtime_error(what);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The fields of a record class for the columns of a result, found by name once per query;
// nullptr for a column the class has no field for.
template <class R>
std::vector<const FieldInfo*> Plan(const std::vector<std::string>& columns) {
  const RecordType& type = R::Descriptor();
  std::vector<const FieldInfo*> plan;
  for (const std::string& column : columns) {
    const int i = type.FieldIndex(FromUtf8(column));
    plan.push_back(i < 0 ? nullptr : &type.Fields()[static_cast<size_t>(i)]);
  }
  return plan;
}

// ---- Raw ODBC.

std::string Diagnostic(SQLSMALLINT type, SQLHANDLE handle) {
  SQLCHAR state[6] = {}, message[1024] = {};
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  SQLGetDiagRecA(type, handle, 1, state, &native, message, sizeof message, &length);
  return std::string(reinterpret_cast<char*>(message)) + " (" + reinterpret_cast<char*>(state) +
         ")";
}

void Check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, const char* what) {
  if (!SQL_SUCCEEDED(rc)) Die(std::string(what) + ": " + Diagnostic(type, handle));
}

class Odbc {
 public:
  explicit Odbc(const std::wstring& connectionString) {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
    SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
    std::u16string text = ToUtf16(connectionString);
    Check(SQLDriverConnectW(dbc_, nullptr, reinterpret_cast<SQLWCHAR*>(text.data()),
                            static_cast<SQLSMALLINT>(text.size()), nullptr, 0, nullptr,
                            SQL_DRIVER_NOPROMPT),
          SQL_HANDLE_DBC, dbc_, "SQLDriverConnectW");
  }
  ~Odbc() {
    SQLDisconnect(dbc_);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    SQLFreeHandle(SQL_HANDLE_ENV, env_);
  }
  Odbc(const Odbc&) = delete;
  Odbc& operator=(const Odbc&) = delete;

  // Autocommit off, so that the calls until Commit make one transaction.
  void Begin() {
    Check(SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT,
                            reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0),
          SQL_HANDLE_DBC, dbc_, "SQLSetConnectAttr");
  }
  void Commit() {
    Check(SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_COMMIT), SQL_HANDLE_DBC, dbc_, "SQLEndTran");
    Check(SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT,
                            reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0),
          SQL_HANDLE_DBC, dbc_, "SQLSetConnectAttr");
  }

  SQLHSTMT Statement() {
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    Check(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt), SQL_HANDLE_DBC, dbc_, "SQLAllocHandle");
    return stmt;
  }

 private:
  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
};

std::vector<std::string> OdbcColumns(SQLHSTMT stmt) {
  SQLSMALLINT count = 0;
  SQLNumResultCols(stmt, &count);
  std::vector<std::string> names;
  for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(count); ++c) {
    SQLCHAR name[256] = {};
    SQLSMALLINT length = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    SQLDescribeColA(stmt, c, name, sizeof name, &length, &type, &size, &digits, &nullable);
    names.emplace_back(reinterpret_cast<char*>(name));
  }
  return names;
}

// Every column with SQLGetData, text into one buffer that grows only for a longer value.
template <class R>
size_t OdbcGetData(Odbc& odbc, const std::string& table, std::deque<R>& rows) {
  SQLHSTMT stmt = odbc.Statement();
  const std::string sql = "SELECT * FROM " + table;
  Check(SQLExecDirectA(stmt, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS),
        SQL_HANDLE_STMT, stmt, "SQLExecDirect");
  const auto plan = Plan<R>(OdbcColumns(stmt));
  std::vector<char16_t> text(1024);
  for (;;) {
    const SQLRETURN rc = SQLFetch(stmt);
    if (rc == SQL_NO_DATA) break;
    Check(rc, SQL_HANDLE_STMT, stmt, "SQLFetch");
    R& row = rows.emplace_back();
    for (size_t c = 0; c < plan.size(); ++c) {
      if (!plan[c]) continue;
      void* field = plan[c]->address(row);
      const auto column = static_cast<SQLUSMALLINT>(c + 1);
      SQLLEN indicator = 0;
      switch (plan[c]->type) {
        case FieldType::Long:
          SQLGetData(stmt, column, SQL_C_SLONG, field, 0, &indicator);
          break;
        case FieldType::Double:
          SQLGetData(stmt, column, SQL_C_DOUBLE, field, 0, &indicator);
          break;
        case FieldType::Bool: {
          unsigned char bit = 0;
          SQLGetData(stmt, column, SQL_C_BIT, &bit, 0, &indicator);
          if (indicator != SQL_NULL_DATA) *static_cast<bool*>(field) = bit != 0;
          break;
        }
        case FieldType::String: {
          const auto bytes = static_cast<SQLLEN>(text.size() * sizeof(char16_t));
          SQLGetData(stmt, column, SQL_C_WCHAR, text.data(), bytes, &indicator);
          if (indicator == SQL_NULL_DATA) break;
          if (indicator == SQL_NO_TOTAL || indicator >= bytes) Die("a text longer than 1023");
          bench::Widen16(*static_cast<std::wstring*>(field), text.data(),
                         static_cast<size_t>(indicator) / sizeof(char16_t));
          break;
        }
        default:
          break;
      }
    }
  }
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  return rows.size();
}

// A block cursor: each column bound to an array of kBlockRows cells, kBlockRows rows a fetch.
template <class R>
size_t OdbcBlock(Odbc& odbc, const std::string& table, std::deque<R>& rows) {
  SQLHSTMT stmt = odbc.Statement();
  SQLULEN fetched = 0;
  SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN), 0);
  SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(kBlockRows), 0);
  SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
  const std::string sql = "SELECT * FROM " + table;
  Check(SQLExecDirectA(stmt, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS),
        SQL_HANDLE_STMT, stmt, "SQLExecDirect");
  const auto plan = Plan<R>(OdbcColumns(stmt));
  struct Bound {
    std::vector<unsigned char> cells;
    std::vector<SQLLEN> indicators;
    SQLLEN width = 0;
  };
  std::vector<Bound> bound(plan.size());
  for (size_t c = 0; c < plan.size(); ++c) {
    if (!plan[c]) continue;
    SQLSMALLINT cType = SQL_C_SLONG;
    Bound& b = bound[c];
    switch (plan[c]->type) {
      case FieldType::Long:
        b.width = sizeof(SQLINTEGER);
        break;
      case FieldType::Double:
        cType = SQL_C_DOUBLE;
        b.width = sizeof(double);
        break;
      case FieldType::Bool:
        cType = SQL_C_BIT;
        b.width = 1;
        break;
      case FieldType::String:
        cType = SQL_C_WCHAR;
        b.width = static_cast<SQLLEN>((kBlockText + 1) * sizeof(char16_t));
        break;
      default:
        continue;
    }
    b.cells.resize(static_cast<size_t>(b.width) * kBlockRows);
    b.indicators.resize(kBlockRows);
    Check(SQLBindCol(stmt, static_cast<SQLUSMALLINT>(c + 1), cType, b.cells.data(), b.width,
                     b.indicators.data()),
          SQL_HANDLE_STMT, stmt, "SQLBindCol");
  }
  for (;;) {
    const SQLRETURN rc = SQLFetch(stmt);
    if (rc == SQL_NO_DATA) break;
    Check(rc, SQL_HANDLE_STMT, stmt, "SQLFetch");
    for (SQLULEN r = 0; r < fetched; ++r) {
      R& row = rows.emplace_back();
      for (size_t c = 0; c < plan.size(); ++c) {
        const Bound& b = bound[c];
        if (b.width == 0 || b.indicators[r] == SQL_NULL_DATA) continue;
        const unsigned char* cell = b.cells.data() + r * static_cast<SQLULEN>(b.width);
        void* field = plan[c]->address(row);
        switch (plan[c]->type) {
          case FieldType::Long:
            std::memcpy(field, cell, sizeof(int32_t));
            break;
          case FieldType::Double:
            std::memcpy(field, cell, sizeof(double));
            break;
          case FieldType::Bool:
            *static_cast<bool*>(field) = *cell != 0;
            break;
          default:
            if (b.indicators[r] >= b.width) Die("a text longer than its block cell");
            bench::Widen16(*static_cast<std::wstring*>(field),
                           reinterpret_cast<const char16_t*>(cell),
                           static_cast<size_t>(b.indicators[r]) / sizeof(char16_t));
        }
      }
    }
  }
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  return rows.size();
}

// INSERTMachining's procedure, prepared once and executed with the values rewritten in the
// bound buffers.
class OdbcInsert {
 public:
  explicit OdbcInsert(Odbc& odbc) : stmt_(odbc.Statement()) {
    Check(SQLPrepareA(stmt_, reinterpret_cast<SQLCHAR*>(const_cast<char*>(kInsertCall)), SQL_NTS),
          SQL_HANDLE_STMT, stmt_, "SQLPrepare");
    Bind(1, SQL_PARAM_OUTPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &id_, 0, &idIndicator_);
    Bind(2, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_VARCHAR, 20, 0, name_, sizeof name_, &nameLength_);
    Bind(3, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_VARCHAR, 1, 0, group_, sizeof group_, &groupLength_);
    for (int i = 0; i < 3; ++i) {
      Bind(static_cast<SQLUSMALLINT>(4 + i), SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_NUMERIC, 7, 2,
           &xyz_[i], 0, nullptr);
    }
    Bind(7, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &library_, 0, nullptr);
  }
  ~OdbcInsert() { SQLFreeHandle(SQL_HANDLE_STMT, stmt_); }
  OdbcInsert(const OdbcInsert&) = delete;
  OdbcInsert& operator=(const OdbcInsert&) = delete;

  int32_t Call(const std::wstring& name, const std::wstring& group, int32_t library, double x,
               double y, double z) {
    nameLength_ = Put(name, name_);
    groupLength_ = Put(group, group_);
    xyz_[0] = x;
    xyz_[1] = y;
    xyz_[2] = z;
    library_ = library;
    SQLRETURN rc = SQLExecute(stmt_);
    while (rc != SQL_NO_DATA) {
      Check(rc, SQL_HANDLE_STMT, stmt_, "SQLExecute");
      rc = SQLMoreResults(stmt_);
    }
    return idIndicator_ == SQL_NULL_DATA ? 0 : id_;
  }

 private:
  void Bind(SQLUSMALLINT marker, SQLSMALLINT io, SQLSMALLINT cType, SQLSMALLINT sqlType,
            SQLULEN size, SQLSMALLINT digits, void* buffer, SQLLEN length, SQLLEN* indicator) {
    Check(SQLBindParameter(stmt_, marker, io, cType, sqlType, size, digits, buffer, length,
                           indicator),
          SQL_HANDLE_STMT, stmt_, "SQLBindParameter");
  }
  template <size_t N>
  static SQLLEN Put(const std::wstring& text, char16_t (&buffer)[N]) {
    const std::u16string units = ToUtf16(text);
    const size_t n = std::min(units.size(), N - 1);
    std::copy_n(units.data(), n, buffer);
    buffer[n] = 0;
    return static_cast<SQLLEN>(n * sizeof(char16_t));
  }

  SQLHSTMT stmt_;
  SQLINTEGER id_ = 0;
  SQLLEN idIndicator_ = 0;
  char16_t name_[64] = {};
  SQLLEN nameLength_ = 0;
  char16_t group_[8] = {};
  SQLLEN groupLength_ = 0;
  double xyz_[3] = {};
  SQLINTEGER library_ = 0;
};

// ---- Raw libpq.

class Libpq {
 public:
  explicit Libpq(const std::string& conninfo) : conn_(PQconnectdb(conninfo.c_str())) {
    if (PQstatus(conn_) != CONNECTION_OK) Die(std::string("PQconnectdb: ") + PQerrorMessage(conn_));
  }
  ~Libpq() { PQfinish(conn_); }
  Libpq(const Libpq&) = delete;
  Libpq& operator=(const Libpq&) = delete;
  PGconn* get() const { return conn_; }

 private:
  PGconn* conn_;
};

uint64_t BigEndian(const char* bytes, int length) {
  uint64_t value = 0;
  for (int i = 0; i < length; ++i) value = (value << 8) | static_cast<unsigned char>(bytes[i]);
  return value;
}

// One query, every value in binary.
template <class R>
size_t LibpqRead(Libpq& pq, const std::string& table, std::deque<R>& rows) {
  const std::string sql = "SELECT * FROM " + table;
  PGresult* result = PQexecParams(pq.get(), sql.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 1);
  if (PQresultStatus(result) != PGRES_TUPLES_OK)
    Die(std::string("PQexecParams: ") + PQresultErrorMessage(result));
  const int columns = PQnfields(result);
  std::vector<std::string> names;
  for (int c = 0; c < columns; ++c) names.emplace_back(PQfname(result, c));
  const auto plan = Plan<R>(names);
  const int count = PQntuples(result);
  for (int r = 0; r < count; ++r) {
    R& row = rows.emplace_back();
    for (int c = 0; c < columns; ++c) {
      const FieldInfo* f = plan[static_cast<size_t>(c)];
      if (!f || PQgetisnull(result, r, c)) continue;
      const char* data = PQgetvalue(result, r, c);
      const int length = PQgetlength(result, r, c);
      void* field = f->address(row);
      switch (f->type) {
        case FieldType::Long:  // integer columns
          *static_cast<int32_t*>(field) = static_cast<int32_t>(BigEndian(data, 4));
          break;
        case FieldType::Double:  // double precision columns
          *static_cast<double*>(field) = std::bit_cast<double>(BigEndian(data, 8));
          break;
        case FieldType::Bool:
          *static_cast<bool*>(field) = data[0] != 0;
          break;
        case FieldType::String:
          bench::Widen(*static_cast<std::wstring*>(field),
                       reinterpret_cast<const unsigned char*>(data), length);
          break;
        default:
          break;
      }
    }
  }
  PQclear(result);
  return rows.size();
}

// Prepared once, or (unnamed) sent whole with every call, as through a pooler.
class LibpqInsert {
 public:
  explicit LibpqInsert(Libpq& pq, bool unnamed = false) : pq_(pq), unnamed_(unnamed) {
    if (unnamed_) return;
    PGresult* made = PQprepare(pq_.get(), "insert_machining", kInsertSelect, 6, nullptr);
    if (PQresultStatus(made) != PGRES_COMMAND_OK)
      Die(std::string("PQprepare: ") + PQresultErrorMessage(made));
    PQclear(made);
  }

  int32_t Call(const std::wstring& name, const std::wstring& group, int32_t library, double x,
               double y, double z) {
    std::string text[6] = {ToUtf8(name), ToUtf8(group), Number(x),
                           Number(y),    Number(z),     std::to_string(library)};
    const char* values[6];
    for (int i = 0; i < 6; ++i) values[i] = text[i].c_str();
    PGresult* result =
        unnamed_ ? PQexecParams(pq_.get(), kInsertSelect, 6, nullptr, values, nullptr, nullptr, 1)
                 : PQexecPrepared(pq_.get(), "insert_machining", 6, values, nullptr, nullptr, 1);
    if (PQresultStatus(result) != PGRES_TUPLES_OK)
      Die(std::string("PQexecPrepared: ") + PQresultErrorMessage(result));
    const auto id = static_cast<int32_t>(BigEndian(PQgetvalue(result, 0, 0), 4));
    PQclear(result);
    return id;
  }

 private:
  static std::string Number(double value) {
    char text[32];
    return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
  }
  Libpq& pq_;
  bool unnamed_;
};

// ---- The rounds.

struct Timings {
  std::map<std::string, std::vector<double>> seconds;
  void Add(const std::string& name, double value) { seconds[name].push_back(value); }
  double MedianOf(const std::string& name) const { return Median(seconds.at(name)); }
};

template <class F>
double Time(F&& work) {
  const auto start = Clock::now();
  work();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string LibpqConninfo(int port, const std::string& database) {
  return "host=127.0.0.1 port=" + std::to_string(port) + " dbname=" + database +
         " user=postgres sslmode=disable";
}

std::shared_ptr<clsQuillData> OpenBackend(const std::wstring& connectionString) {
  auto db = CreateObjectAs<clsQuillData>(L"QuillData.clsQuillData_MSSQL");
  if (!db->OpenDB(nullptr, nullptr, {connectionString, L"0"})) Die("OpenDB failed");
  return db;
}

// Rows as a shop's: names, groups and coordinates; routing rows of the machine defaults with
// a name and a description of their own.
void Fill(test::PgServer& server, const std::string& database) {
  server.LoadSchema(database);
  const std::string m = std::to_string(kMachiningRows);
  const std::string r = std::to_string(kRoutingRows);
  server.Psql(
      "INSERT INTO Machining (\"MachID\", \"MachName\", \"MachGroup\", \"X\", \"Y\", \"Z\", "
      "\"MachLibID\") SELECT i, 'Machining ' || i, (ARRAY['Hinges', 'Shelves', 'Grooves', "
      "'Connectors', 'Handles'])[i % 5 + 1], 22.5 + i % 100, 96.25 + i % 7, 13 + i % 3 * 0.5, "
      "1 + i % 4 FROM generate_series(1, " +
          m +
          ") i;"
          "SELECT setval(pg_get_serial_sequence('machining', 'MachID'), " +
          m +
          ");"
          "INSERT INTO MachRouting (\"lngMachRoutingID\", \"strName\", \"MachDescription\", "
          "\"MachID\") SELECT i, 'Routing ' || i, 'Contour routing of part ' || i % 500, "
          "1 + i % " +
          m + " FROM generate_series(1, " + r +
          ") i;"
          "SELECT setval(pg_get_serial_sequence('machrouting', 'lngMachRoutingID'), " +
          r + ");",
      database);
  server.Psql("VACUUM ANALYZE", database);
}

int Run() {
  using test::PgServer;
  const std::string binaries = PgServer::Binaries();
  if (binaries.empty()) {
    std::printf("bench_server: skipped: %s\n", PgServer::SkipReason().c_str());
    return 0;
  }
  PgServer server(binaries);
  const std::string reads = server.NewDatabase();
  Fill(server, reads);
  // The writers write into a copy, so that every round reads the same rows.
  const std::string writes = server.NewDatabase(reads);
  std::unique_ptr<test::PgBouncer> pooler;
  if (!test::PgBouncer::Program().empty()) pooler = std::make_unique<test::PgBouncer>(server);
  if (!pooler) std::fprintf(stderr, "bench_server: %s\n", test::PgBouncer::SkipReason().c_str());

  struct Provider {
    const char* name;
    std::shared_ptr<clsQuillData> reader, writer;
  };
  std::vector<Provider> providers = {{"ODBC", OpenBackend(server.ConnectionString(reads)),
                                      OpenBackend(server.ConnectionString(writes))},
                                     {"libpq", OpenBackend(server.LibpqConnectionString(reads)),
                                      OpenBackend(server.LibpqConnectionString(writes))}};
  Odbc odbcReads(server.ConnectionString(reads)), odbcWrites(server.ConnectionString(writes));
  Libpq pqReads(LibpqConninfo(server.Port(), reads)),
      pqWrites(LibpqConninfo(server.Port(), writes));
  OdbcInsert odbcInsert(odbcWrites);
  LibpqInsert pqInsert(pqWrites);
  // The same through the pooler.
  std::unique_ptr<Odbc> pooledOdbcReads;
  std::unique_ptr<Libpq> pooledPqReads, pooledPqWrites;
  std::unique_ptr<LibpqInsert> pooledPqInsert;
  if (pooler) {
    providers.push_back({"ODBC via pooler", OpenBackend(pooler->ConnectionString(reads)),
                         OpenBackend(pooler->ConnectionString(writes))});
    providers.push_back({"libpq via pooler", OpenBackend(pooler->LibpqConnectionString(reads)),
                         OpenBackend(pooler->LibpqConnectionString(writes))});
    pooledOdbcReads = std::make_unique<Odbc>(pooler->ConnectionString(reads));
    pooledPqReads = std::make_unique<Libpq>(LibpqConninfo(pooler->Port(), reads));
    pooledPqWrites = std::make_unique<Libpq>(LibpqConninfo(pooler->Port(), writes));
    pooledPqInsert = std::make_unique<LibpqInsert>(*pooledPqWrites, true);
  }

  // One timed piece of work: its name, and a run that returns its time in seconds (a
  // writer's per call) and checks what it read or wrote.
  struct Work {
    std::string name;
    std::function<double(int round)> run;
  };
  std::vector<Work> works;

  // Readers.
  auto addReaders = [&]<class R>(const std::string& label, const std::string& table, int expected,
                                 CollectionPtr (*library)(clsQuillData&)) {
    auto check = [expected, label](size_t n, const std::string& how) {
      if (n != static_cast<size_t>(expected))
        Die(label + " via " + how + " read " + std::to_string(n) + " rows");
    };
    for (Provider& p : providers) {
      works.push_back({label + " | library via " + p.name, [&p, library, check](int) {
                         return Time([&] {
                           auto rows = library(*p.reader);
                           check(static_cast<size_t>(rows->Count()), p.name);
                         });
                       }});
    }
    works.push_back({label + " | raw ODBC, SQLGetData", [&, table, check](int) {
                       return Time([&] {
                         std::deque<R> rows;
                         check(OdbcGetData<R>(odbcReads, table, rows), "SQLGetData");
                       });
                     }});
    works.push_back({label + " | raw ODBC, block cursor", [&, table, check](int) {
                       return Time([&] {
                         std::deque<R> rows;
                         check(OdbcBlock<R>(odbcReads, table, rows), "block cursor");
                       });
                     }});
    works.push_back({label + " | raw libpq, binary", [&, table, check](int) {
                       return Time([&] {
                         std::deque<R> rows;
                         check(LibpqRead<R>(pqReads, table, rows), "libpq");
                       });
                     }});
    if (!pooler) return;
    works.push_back({label + " | raw ODBC via pooler, block cursor", [&, table, check](int) {
                       return Time([&] {
                         std::deque<R> rows;
                         check(OdbcBlock<R>(*pooledOdbcReads, table, rows), "pooled block cursor");
                       });
                     }});
    works.push_back({label + " | raw libpq via pooler, PQexecParams", [&, table, check](int) {
                       return Time([&] {
                         std::deque<R> rows;
                         check(LibpqRead<R>(*pooledPqReads, table, rows), "pooled libpq");
                       });
                     }});
  };
  addReaders.operator()<tblMachining>("GETTblMachining", "Machining", kMachiningRows,
                                      [](clsQuillData& db) { return db.GETTblMachining(); });
  addReaders.operator()<tblMachRouting>("GETTblMachRouting", "MachRouting", kRoutingRows,
                                        [](clsQuillData& db) { return db.GETTblMachRouting(); });

  // Writers: kCalls calls, each a new row (a name never written) or a row found by its name.
  using Insert = std::function<int32_t(const std::wstring&, const std::wstring&, int32_t, double,
                                       double, double)>;
  std::vector<Work> writers;
  auto addWriter = [&](const std::string& label, Insert insert) {
    for (const bool fresh : {true, false}) {
      const std::string work =
          std::string("INSERTMachining, ") + (fresh ? "new row" : "existing row") + " | " + label;
      writers.push_back({work, [insert, fresh, label](int round) {
                           static int written = 0;
                           int32_t last = 0;
                           const double seconds = Time([&] {
                             for (int i = 0; i < kCalls; ++i) {
                               const int k = 1 + (round * kCalls + i) * 7 % kMachiningRows;
                               const std::wstring name = fresh
                                                             ? L"New " + std::to_wstring(++written)
                                                             : L"Machining " + std::to_wstring(k);
                               last = insert(name, L"H", 1 + k % 4, 12.5, 7.25, 3);
                               if (!fresh && last != k)
                                 Die(label + " found " + std::to_string(last));
                             }
                           });
                           if (fresh && last <= kMachiningRows) Die(label + " wrote no new row");
                           return seconds / kCalls;
                         }});
    }
  };
  for (Provider& p : providers) {
    addWriter(std::string("library via ") + p.name,
              [&p](const std::wstring& name, const std::wstring& group, int32_t library, double x,
                   double y,
                   double z) { return p.writer->INSERTMachining(name, group, library, x, y, z); });
  }
  addWriter("raw ODBC, prepared",
            [&](const std::wstring& name, const std::wstring& group, int32_t library, double x,
                double y, double z) { return odbcInsert.Call(name, group, library, x, y, z); });
  addWriter("raw libpq, PQexecPrepared",
            [&](const std::wstring& name, const std::wstring& group, int32_t library, double x,
                double y, double z) { return pqInsert.Call(name, group, library, x, y, z); });
  if (pooler) {
    addWriter(
        "raw libpq via pooler, PQexecParams",
        [&](const std::wstring& name, const std::wstring& group, int32_t library, double x,
            double y, double z) { return pooledPqInsert->Call(name, group, library, x, y, z); });
  }

  for (int i = 0; i < kWriterTimings; ++i)
    works.insert(works.end(), writers.begin(), writers.end());

  // Many new rows in one transaction: begin, kTransactionCalls calls, commit.
  struct Transactional {
    std::string label;
    std::function<void()> begin, commit;
    Insert insert;
  };
  const std::string bulk = "INSERTMachining, new rows, one transaction";
  std::vector<Transactional> transactional;
  for (Provider& p : providers) {
    transactional.push_back({std::string("library via ") + p.name, [&p] { p.writer->BeginTrans(); },
                             [&p] {
                               if (!p.writer->CommitTrans()) Die("CommitTrans failed");
                             },
                             [&p](const std::wstring& name, const std::wstring& group,
                                  int32_t library, double x, double y, double z) {
                               return p.writer->INSERTMachining(name, group, library, x, y, z);
                             }});
  }
  transactional.push_back(
      {"raw ODBC, prepared", [&] { odbcWrites.Begin(); }, [&] { odbcWrites.Commit(); },
       [&](const std::wstring& name, const std::wstring& group, int32_t library, double x, double y,
           double z) { return odbcInsert.Call(name, group, library, x, y, z); }});
  auto pqExec = [&](const char* sql) {
    PGresult* done = PQexec(pqWrites.get(), sql);
    if (PQresultStatus(done) != PGRES_COMMAND_OK) Die(std::string(sql) + " failed");
    PQclear(done);
  };
  transactional.push_back(
      {"raw libpq, PQexecPrepared", [&] { pqExec("BEGIN"); }, [&] { pqExec("COMMIT"); },
       [&](const std::wstring& name, const std::wstring& group, int32_t library, double x, double y,
           double z) { return pqInsert.Call(name, group, library, x, y, z); }});
  auto pooledExec = [&](const char* sql) {
    PGresult* done = PQexec(pooledPqWrites->get(), sql);
    if (PQresultStatus(done) != PGRES_COMMAND_OK) Die(std::string(sql) + " failed");
    PQclear(done);
  };
  if (pooler) {
    transactional.push_back(
        {"raw libpq via pooler, PQexecParams", [&] { pooledExec("BEGIN"); },
         [&] { pooledExec("COMMIT"); },
         [&](const std::wstring& name, const std::wstring& group, int32_t library, double x,
             double y, double z) { return pooledPqInsert->Call(name, group, library, x, y, z); }});
  }
  for (const Transactional& t : transactional) {
    works.push_back({bulk + " | " + t.label, [t](int) {
                       static int written = 0;
                       int32_t last = 0;
                       const double seconds = Time([&] {
                         t.begin();
                         for (int i = 0; i < kTransactionCalls; ++i) {
                           last = t.insert(L"Bulk " + std::to_wstring(++written), L"H", 1, 12.5,
                                           7.25, 3);
                         }
                         t.commit();
                       });
                       if (last <= kMachiningRows) Die(t.label + " wrote no new row");
                       return seconds / kTransactionCalls;
                     }});
  }

  // Interleaved rounds, each starting one piece of work further on.
  Timings timings;
  for (int round = 0; round < kRounds; ++round) {
    for (size_t k = 0; k < works.size(); ++k) {
      const Work& work = works[(k + static_cast<size_t>(round)) % works.size()];
      timings.Add(work.name, work.run(round));
    }
    std::fprintf(stderr, "round %d of %d done\n", round + 1, kRounds);
  }

  const auto at = [&](const std::string& work, const std::string& how) {
    return timings.MedianOf(work + " | " + how);
  };
  std::printf(
      "\nPostgreSQL on this machine, medians of %d interleaved rounds (a writer: %d timings of %d "
      "calls a round; in one transaction, one timing of %d calls a round); every variant fills "
      "the library's record classes (text as std::wstring).\n\n",
      kRounds, kWriterTimings, kCalls, kTransactionCalls);
  std::printf(
      "| reader | library via ODBC | library via libpq | raw ODBC, SQLGetData | raw ODBC, block "
      "cursor | raw libpq, binary |\n|---|---|---|---|---|---|\n");
  const std::pair<const char*, const char*> readerRows[] = {
      {"GETTblMachining", "100k rows x 7 columns"}, {"GETTblMachRouting", "20k rows x 47 columns"}};
  for (const auto& [name, shape] : readerRows) {
    std::printf("| %s, %s |", name, shape);
    for (const char* how : {"library via ODBC", "library via libpq", "raw ODBC, SQLGetData",
                            "raw ODBC, block cursor", "raw libpq, binary"})
      std::printf(" %.0f ms |", at(name, how) * 1000);
    std::printf("\n");
  }
  std::printf(
      "\n| reader: library / raw | ODBC / SQLGetData | ODBC / block cursor | libpq / libpq "
      "|\n|---|---|---|---|\n");
  for (const auto& [name, shape] : readerRows) {
    const double odbc = at(name, "library via ODBC"), pq = at(name, "library via libpq");
    std::printf("| %s | %.2fx | %.2fx | %.2fx |\n", name, odbc / at(name, "raw ODBC, SQLGetData"),
                odbc / at(name, "raw ODBC, block cursor"), pq / at(name, "raw libpq, binary"));
  }
  std::printf(
      "\n| writer, per call | library via ODBC | raw ODBC, prepared | ratio | library via libpq "
      "| raw libpq, PQexecPrepared | ratio |\n|---|---|---|---|---|---|---|\n");
  for (const char* kind : {"INSERTMachining, new row", "INSERTMachining, existing row",
                           "INSERTMachining, new rows, one transaction"}) {
    const double odbc = at(kind, "library via ODBC"), rawOdbc = at(kind, "raw ODBC, prepared");
    const double pq = at(kind, "library via libpq"), rawPq = at(kind, "raw libpq, PQexecPrepared");
    std::printf("| %s | %.0f us | %.0f us | %.2fx | %.0f us | %.0f us | %.2fx |\n", kind,
                odbc * 1e6, rawOdbc * 1e6, odbc / rawOdbc, pq * 1e6, rawPq * 1e6, pq / rawPq);
  }
  if (!pooler) return 0;

  std::printf(
      "\nThrough PgBouncer (transaction mode, pool size 4) in front of the same server.\n\n"
      "| reader, via pooler | library via ODBC | library via libpq | raw ODBC, block cursor | "
      "raw libpq, PQexecParams | ODBC / raw ODBC | ODBC / raw libpq | libpq / raw libpq "
      "|\n|---|---|---|---|---|---|---|---|\n");
  for (const auto& [name, shape] : readerRows) {
    const double odbc = at(name, "library via ODBC via pooler");
    const double pq = at(name, "library via libpq via pooler");
    const double rawOdbc = at(name, "raw ODBC via pooler, block cursor");
    const double rawPq = at(name, "raw libpq via pooler, PQexecParams");
    std::printf("| %s, %s | %.0f ms | %.0f ms | %.0f ms | %.0f ms | %.2fx | %.2fx | %.2fx |\n",
                name, shape, odbc * 1000, pq * 1000, rawOdbc * 1000, rawPq * 1000, odbc / rawOdbc,
                odbc / rawPq, pq / rawPq);
  }
  std::printf(
      "\n| writer per call, via pooler | library via ODBC | library via libpq | raw libpq, "
      "PQexecParams | ODBC / raw | libpq / raw |\n|---|---|---|---|---|---|\n");
  for (const char* kind : {"INSERTMachining, new row", "INSERTMachining, existing row",
                           "INSERTMachining, new rows, one transaction"}) {
    const double odbc = at(kind, "library via ODBC via pooler");
    const double pq = at(kind, "library via libpq via pooler");
    const double raw = at(kind, "raw libpq via pooler, PQexecParams");
    std::printf("| %s | %.0f us | %.0f us | %.0f us | %.2fx | %.2fx |\n", kind, odbc * 1e6,
                pq * 1e6, raw * 1e6, odbc / raw, pq / raw);
  }
  return 0;
}

}  // namespace

int main() {
  std::string failure;
  try {
    return Run();
  } catch (const QuillData::QuillError& e) {
    failure = QuillData::ToUtf8(e.Description());
  } catch (const std::exception& e) {
    failure = e.what();
  }
  std::fprintf(stderr, "bench_server: %s\n", failure.c_str());
  return 1;
}
