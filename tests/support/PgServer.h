#pragma once
// A throwaway PostgreSQL server for tests: a fresh cluster in a temporary folder, on a free
// loopback port, reached through unixODBC and the "PostgreSQL Unicode" driver named in a
// private driver list (ODBCSYSINI), so nothing of the machine's ODBC set-up is used and the
// driver writes no logs. Works as root (the server runs as the postgres user).
//
// Most suites share one server per test process:
//
//   class MyTest : public QuillData::test::PgServerTest {};
//   TEST_F(MyTest, Reads) { auto cs = Server().ConnectionString(Database()); ... }
//
// A test that stops or restarts a server makes its own: PgServer server(PgServer::Binaries());
// Add tests/support/PgServer.cpp to the test executable's sources. On Windows,
// PgServerWindows.cpp serves the server that scripts/windows.sh starts instead, and starts or
// stops none.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>

namespace QuillData::test {

// How a test reaches a server: through ODBC (psqlODBC) or libpq, straight or through a pooler.
enum class Via { Odbc, Libpq, PooledOdbc, PooledLibpq };
inline bool IsLibpq(Via via) {
  return via == Via::Libpq || via == Via::PooledLibpq;
}
inline bool IsPooled(Via via) {
  return via == Via::PooledOdbc || via == Via::PooledLibpq;
}
inline std::string ViaName(const ::testing::TestParamInfo<Via>& info) {
  static const char* const kNames[] = {"Odbc", "Libpq", "PooledOdbc", "PooledLibpq"};
  return kNames[static_cast<int>(info.param)];
}
// The name of a parameter that says libpq (true) or ODBC (false).
inline std::string ProviderName(const ::testing::TestParamInfo<bool>& info) {
  return info.param ? "Libpq" : "Odbc";
}

class PgServer {
 public:
  // The folder of the PostgreSQL server binaries ($QUILLDATA_PG_BIN, else the newest
  // /usr/lib/postgresql/<version>/bin); empty when there are none.
  static std::string Binaries();

  // Creates the cluster and starts the server; throws std::runtime_error (with the server's
  // log) when it cannot.
  explicit PgServer(std::string binaries);
  // Stops the server and removes its folder.
  ~PgServer();
  PgServer(const PgServer&) = delete;
  PgServer& operator=(const PgServer&) = delete;

  // The server shared by the tests of this process, started on first use and stopped when
  // the tests end; nullptr when the binaries are missing (SkipReason() says why). A failed
  // start throws on every call.
  static PgServer* Shared();
  static std::string SkipReason();

  int Port() const { return port_; }
  // Stop keeps the cluster; Start brings it up again on the same port.
  void Stop();
  void Start();

  // An ODBC connection string for the database, through the private driver list; the same
  // database through the libpq provider; and either of them.
  std::wstring ConnectionString(const std::string& database = "postgres") const;
  std::wstring LibpqConnectionString(const std::string& database = "postgres") const;
  std::wstring ConnectionString(const std::string& database, bool libpq) const {
    return libpq ? LibpqConnectionString(database) : ConnectionString(database);
  }
  // Runs SQL (or, with option "-f", a file of it) with psql, stopping at the first error;
  // returns psql's output and throws std::runtime_error with it on failure.
  std::string Psql(const std::string& sql, const std::string& database = "postgres",
                   const char* option = "-c") const;
  // Loads schema/postgresql.sql into the database.
  void LoadSchema(const std::string& database) const {
    Psql(QUILLDATA_SOURCE_DIR "/schema/postgresql.sql", database, "-f");
  }
  // A new database with a name unique in this server ("test_1", "test_2", ...): empty, or a
  // copy of templateDatabase (a quick way to give each test a loaded schema).
  std::string NewDatabase(const std::string& templateDatabase = "") {
    const std::string name = "test_" + std::to_string(++databases_);
    Psql("CREATE DATABASE " + name +
         (templateDatabase.empty() ? "" : " TEMPLATE \"" + templateDatabase + "\""));
    return name;
  }

 private:
  std::string binaries_;
  std::string folder_;
  int port_ = 0;
  bool running_ = false;
  int databases_ = 0;
};

// The same connection string with its Port=from made Port=to (a pooler or proxy in between).
inline std::wstring ViaPort(std::wstring connectionString, int from, int to) {
  const std::wstring port = L"Port=" + std::to_wstring(from);
  return connectionString.replace(connectionString.find(port), port.size(),
                                  L"Port=" + std::to_wstring(to));
}

// A connection pooler (PgBouncer, Debian package pgbouncer) on a free loopback port in front of
// a server, for every database of it, trusting the server's own users; four server
// connections per database, so that clients share them. The pool mode is "transaction" (a
// server connection lent per transaction) or "statement".
class PgBouncer {
 public:
  // The pgbouncer program ($QUILLDATA_PGBOUNCER, else the Debian one); empty when missing.
  static std::string Program();
  static std::string SkipReason();
  // Starts the pooler; throws std::runtime_error (with its log) when it cannot.
  explicit PgBouncer(const PgServer& server, const std::string& poolMode = "transaction");
  ~PgBouncer();
  PgBouncer(const PgBouncer&) = delete;
  PgBouncer& operator=(const PgBouncer&) = delete;

  // The pooler in transaction mode in front of PgServer::Shared(), started on first use;
  // nullptr when the server or the pooler is missing. A failed start throws on every call.
  static PgBouncer* Shared();

  int Port() const { return port_; }
  int Pid() const { return pid_; }
  // The server's connection strings for the database, through the pooler.
  std::wstring ConnectionString(const std::string& database, bool libpq = false) const {
    return ViaPort(server_.ConnectionString(database, libpq), server_.Port(), port_);
  }
  std::wstring LibpqConnectionString(const std::string& database) const {
    return ConnectionString(database, true);
  }

 private:
  const PgServer& server_;
  std::string folder_;
  int port_ = 0;
  int pid_ = 0;
};

// The database's connection string for `via`: a pooled one through `pooler`, else through
// the shared pooler.
std::wstring ConnectionStringVia(const PgServer& server, const std::string& database, Via via,
                                 const PgBouncer* pooler = nullptr);

// A fixture on the shared server: each test gets a fresh database of its own, or is
// skipped when PostgreSQL is not installed.
class PgServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    try {
      server_ = PgServer::Shared();
    } catch (const std::exception& e) {
      FAIL() << e.what();
    }
    if (!server_) GTEST_SKIP() << PgServer::SkipReason();
    database_ = server_->NewDatabase();
  }
  PgServer& Server() const { return *server_; }
  const std::string& Database() const { return database_; }
  std::wstring ConnectionString(bool libpq = false) const {
    return server_->ConnectionString(database_, libpq);
  }

 private:
  PgServer* server_ = nullptr;
  std::string database_;
};

}  // namespace QuillData::test
