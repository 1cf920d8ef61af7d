#pragma once
// What the libpq provider's parts share beyond the object model: the connection of a
// session, its failures as the provider reports them, and its bulk copy.
#include <libpq-fe.h>

#include <string>

#include "QuillData/ado/Provider.h"

namespace QuillData::ado::libpq {

// The connection of a session of the libpq provider; nullptr for another provider's session.
PGconn* Raw(Session& session);

// Throws the QuillError of a failure on the session's connection: the result's message and
// SQLSTATE when there is a result, else the connection's message. A failure that shows the
// connection gone marks the session lost.
[[noreturn]] void Fail(Session& session, const PGresult* result);

// A libpq session's bulk copy: COPY ... FROM STDIN and COPY (...) TO STDOUT, in text format.
class Copy final : public BulkCopy {
 public:
  explicit Copy(Session& session) : session_(session) {}
  Copy(const Copy&) = delete;
  Copy& operator=(const Copy&) = delete;
  ~Copy() { AbandonLoad("the session is closing"); }

  void BeginLoad(std::string_view table, std::span<const std::string> columns) override;
  bool Loading() const noexcept override { return loading_; }
  void Load(std::string_view lines) override;
  void EndLoad() override;
  void AbandonLoad(const char* why) noexcept override;
  void Unload(std::string_view select,
              const std::function<void(std::string_view line)>& take) override;

 private:
  // Ends the load under way: complete, or abandoned with the reason given.
  void End(const char* abandoned);

  Session& session_;
  bool loading_ = false;
};

}  // namespace QuillData::ado::libpq
