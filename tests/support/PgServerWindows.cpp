// The throwaway server on Windows: a test program cannot start PostgreSQL's programs there,
// so the test script (scripts/windows.sh full) starts the server and names it in
// QUILLDATA_TEST_SERVER, an ODBC connection string without a database. Everything else goes
// through the library's ODBC provider: new databases, SQL text, the schema.
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <stdexcept>

#include "QuillData/ado/Provider.h"
#include "QuillData/contract/Coerce.h"
#include "QuillData/contract/Text.h"
#include "QuillData/maintenance/ServerSchema.h"
#include "support/PgServer.h"

namespace QuillData::test {

namespace {

std::string ServerSetting() {
  const char* value = std::getenv("QUILLDATA_TEST_SERVER");
  return value ? value : "";
}

std::mutex gSharedMutex;
std::unique_ptr<PgServer> gShared;

}  // namespace

// Only the script's server: this program starts none of its own.
std::string PgServer::Binaries() {
  return {};
}

PgServer::PgServer(std::string binaries) : binaries_(std::move(binaries)), running_(true) {
  const std::string server = ServerSetting();
  const size_t at = server.find("Port=");
  if (server.empty() || at == std::string::npos)
    throw std::runtime_error("QUILLDATA_TEST_SERVER names no server with its port");
  port_ = std::atoi(server.c_str() + at + 5);
}

PgServer::~PgServer() = default;

void PgServer::Stop() {
  throw std::runtime_error("the script's server is not stopped by a test");
}

void PgServer::Start() {}

std::wstring PgServer::ConnectionString(const std::string& database) const {
  return FromUtf8(ServerSetting() + ";Database=" + database);
}

std::wstring PgServer::LibpqConnectionString(const std::string& database) const {
  return FromUtf8("Provider=libpq;Host=127.0.0.1;Port=" + std::to_string(port_) +
                  ";Database=" + database + ";User=postgres;SSLMode=disable");
}

std::string PgServer::Psql(const std::string& sql, const std::string& database,
                           const char* option) const {
  std::string text = sql;
  if (std::string(option) == "-f") {
    std::ostringstream file;
    file << std::ifstream(sql, std::ios::binary).rdbuf();
    text = file.str();
  }
  const std::wstring connection = ConnectionString(database);
  auto session = ado::ProviderFor(connection)->Open(connection, L"", L"");
  ado::CommandData command;
  command.text = FromUtf8(text);
  const ado::ExecuteResult result = session->Execute(command);
  // The first value of a query, as psql's COPY ... TO STDOUT would print it.
  if (!result.rows || result.rows->rows.empty() || result.rows->rows[0].empty()) return {};
  const Variant& value = result.rows->rows[0][0];
  return value.IsNull() ? std::string("\\N") : ToUtf8(CStr(value));
}

PgServer* PgServer::Shared() {
  std::lock_guard lock(gSharedMutex);
  if (!gShared && !ServerSetting().empty()) gShared = std::make_unique<PgServer>("");
  return gShared.get();
}

std::string PgServer::SkipReason() {
  if (ServerSetting().empty())
    return "no server named in QUILLDATA_TEST_SERVER: scripts/windows.sh full starts one";
  return "starts and stops a server of its own, which a Windows program cannot (pg_ctl)";
}

}  // namespace QuillData::test
