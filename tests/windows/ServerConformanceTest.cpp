// The conformance suite on the server backend of the Windows build, through the system's
// ODBC (under Wine: the host's unixODBC and psqlODBC) against a PostgreSQL that the test
// script starts (scripts/windows.sh full). It names the server in QUILLDATA_TEST_SERVER (an
// ODBC connection string without a database) and a database with the schema loaded in
// QUILLDATA_TEST_TEMPLATE; each test gets a copy of that database.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>

#include "QuillData/ado/Provider.h"
#include "QuillData/contract/Coerce.h"
#include "QuillData/contract/Factory.h"
#include "QuillData/contract/Text.h"
#include "conformance/ConformanceSuite.h"

namespace QuillData::test {
namespace {

std::string Setting(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::wstring Connection(const std::string& database) {
  return FromUtf8(Setting("QUILLDATA_TEST_SERVER") + ";Database=" + database);
}

std::string gLastDatabase;

ado::ExecuteResult Run(const std::string& database, const std::string& sql) {
  const std::wstring connection = Connection(database);
  auto session = ado::ProviderFor(connection)->Open(connection, L"", L"");
  ado::CommandData command;
  command.text = FromUtf8(sql);
  return session->Execute(command);
}

std::shared_ptr<clsQuillData> OpenOnNewDatabase(const std::shared_ptr<cE>& errors) {
  if (Setting("QUILLDATA_TEST_SERVER").empty()) return nullptr;
  static int databases = 0;
  gLastDatabase = "test_" + std::to_string(++databases);
  Run("postgres",
      "CREATE DATABASE " + gLastDatabase + " TEMPLATE " + Setting("QUILLDATA_TEST_TEMPLATE"));
  auto db = CreateObjectAs<clsQuillData>(L"QuillData.clsQuillData_MSSQL");
  if (!db->OpenDB(nullptr, errors, {Connection(gLastDatabase), L"0"}))
    throw std::runtime_error("OpenDB failed on " + gLastDatabase);
  return db;
}

// A statement, or the first value of a query as text.
std::string RunSql(const std::string& sql) {
  const ado::ExecuteResult result = Run(gLastDatabase, sql);
  if (!result.rows || result.rows->rows.empty() || result.rows->rows[0].empty()) return {};
  const Variant& value = result.rows->rows[0][0];
  return value.IsNull() ? std::string() : ToUtf8(CStr(value));
}

std::string SkipReason() {
  return "no server named in QUILLDATA_TEST_SERVER: scripts/windows.sh full starts one";
}

}  // namespace
}  // namespace QuillData::test

namespace QuillData::conformance {
INSTANTIATE_TEST_SUITE_P(Postgres, ConformanceTest,
                         ::testing::Values(Backend{"Postgres", test::OpenOnNewDatabase,
                                                   test::RunSql, test::SkipReason}),
                         BackendName);
}  // namespace QuillData::conformance
