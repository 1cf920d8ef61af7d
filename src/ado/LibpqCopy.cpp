// The libpq session's bulk copy. A statement of its own for each load or unload, apart from
// the session's prepared statements; its failures are the session's.
#include <memory>

#include "ado/Libpq.h"

namespace QuillData::ado::libpq {

namespace {

struct ResultDeleter {
  void operator()(PGresult* result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

// Reads every result left, so that the connection is ready for the next command; the first
// failure, if any.
Result Drain(PGconn* conn) {
  Result failed;
  while (Result result{PQgetResult(conn)}) {
    if (PQresultStatus(result.get()) != PGRES_COMMAND_OK && !failed) failed = std::move(result);
  }
  return failed;
}

}  // namespace

void Copy::BeginLoad(std::string_view table, std::span<const std::string> columns) {
  PGconn* conn = Raw(session_);
  std::string sql = "COPY " + std::string(table) + " (";
  for (size_t c = 0; c < columns.size(); ++c) sql += (c == 0 ? "\"" : ", \"") + columns[c] + "\"";
  sql += ") FROM STDIN";
  Result started(PQexec(conn, sql.c_str()));
  if (PQresultStatus(started.get()) != PGRES_COPY_IN) Fail(session_, started.get());
  loading_ = true;
}

void Copy::Load(std::string_view lines) {
  if (PQputCopyData(Raw(session_), lines.data(), static_cast<int>(lines.size())) != 1)
    Fail(session_, nullptr);
}

void Copy::EndLoad() {
  End(nullptr);
}

void Copy::AbandonLoad(const char* why) noexcept {
  try {
    End(why);
  } catch (...) {
    // The load failed, which is what ends it here.
  }
}

void Copy::End(const char* abandoned) {
  if (!loading_) return;
  loading_ = false;
  PGconn* conn = Raw(session_);
  if (PQputCopyEnd(conn, abandoned) != 1) Fail(session_, nullptr);
  Result failed = Drain(conn);
  if (failed && !abandoned) Fail(session_, failed.get());
}

void Copy::Unload(std::string_view select, const std::function<void(std::string_view line)>& take) {
  PGconn* conn = Raw(session_);
  Result started(PQexec(conn, ("COPY (" + std::string(select) + ") TO STDOUT").c_str()));
  if (PQresultStatus(started.get()) != PGRES_COPY_OUT) Fail(session_, started.get());
  char* line = nullptr;
  int length;
  try {
    while ((length = PQgetCopyData(conn, &line, 0)) > 0) {
      const std::unique_ptr<char, void (*)(void*)> hold(line, PQfreemem);
      take(std::string_view(line, static_cast<size_t>(length)));
    }
  } catch (...) {
    // The rest of the rows still come: read past them, so that the session stays usable.
    while ((length = PQgetCopyData(conn, &line, 0)) > 0) PQfreemem(line);
    Drain(conn);
    throw;
  }
  if (length == -2) Fail(session_, nullptr);
  if (Result failed = Drain(conn)) Fail(session_, failed.get());
}

}  // namespace QuillData::ado::libpq
