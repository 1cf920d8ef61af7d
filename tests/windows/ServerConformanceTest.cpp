// The conformance suite on the server backend of the Windows build: through the system's
// ODBC (under Wine, the host's unixODBC and psqlODBC) against the server that the test script
// starts (support/PgServerWindows.cpp). On Linux tests/mssql/PostgresTest.cpp runs it, on
// libpq as well.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "QuillData/contract/Factory.h"
#include "QuillData/contract/Text.h"
#include "conformance/ConformanceSuite.h"
#include "support/PgServer.h"

namespace QuillData::test {
namespace {

std::string gLastDatabase;

// A database with the schema loaded, made once: each test copies it.
std::shared_ptr<clsQuillData> OpenOnNewDatabase(const std::shared_ptr<cE>& errors) {
  PgServer* server = PgServer::Shared();
  if (!server) return nullptr;
  static const std::string schema = [&] {
    std::string db = server->NewDatabase();
    server->LoadSchema(db);
    return db;
  }();
  gLastDatabase = server->NewDatabase(schema);
  auto db = CreateObjectAs<clsQuillData>(L"QuillData.clsQuillData_MSSQL");
  if (!db->OpenDB(nullptr, errors, {server->ConnectionString(gLastDatabase), L"0"}))
    throw std::runtime_error("OpenDB failed on " + gLastDatabase);
  return db;
}

// A statement, or the first value of a query as text ("" for none or NULL).
std::string RunSql(const std::string& sql) {
  const std::string value = PgServer::Shared()->Psql(sql, gLastDatabase);
  return value == "\\N" ? std::string() : value;
}

}  // namespace
}  // namespace QuillData::test

namespace QuillData::conformance {
INSTANTIATE_TEST_SUITE_P(Postgres, ConformanceTest,
                         ::testing::Values(Backend{"Postgres", test::OpenOnNewDatabase,
                                                   test::RunSql, test::PgServer::SkipReason}),
                         BackendName);
}  // namespace QuillData::conformance
