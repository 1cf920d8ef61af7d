#pragma once
// A provider without a data source, for tests: it records every call it is sent and
// answers with scripted results.
//
//   auto rec = std::make_shared<ado::RecordingProvider>();
//   auto conn = ado::Connection::WithProvider(rec);      // or RegisterProvider(L"Recording",
//   conn->Open(L"Provider=Recording");                    // rec) and any Connection
//   rec->Answer(ado::RecordingProvider::Returns(42));
//   ... run a command ...
//   rec->LastCommand().parameters[0].name == L"@Return_Value"
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "QuillData/Export.h"
#include "QuillData/ado/Provider.h"
#include "QuillData/contract/Error.h"
#include "QuillData/contract/Variant.h"

QUILLDATA_API_BEGIN

namespace QuillData::ado {

struct RecordedCall {
  enum class Kind { Open, Execute, Close };
  Kind kind = Kind::Execute;
  std::wstring connectionString;  // Open: the string and credentials as given
  std::wstring userId;
  std::wstring password;
  CommandData command;  // Execute: everything the command sent
};

struct ScriptedAnswer {
  // Given to the return-value parameter.
  Variant returnValue = Variant::Null();
  // Values of output and input-output parameters by name (case-insensitive); the ones not
  // named come back Null.
  std::vector<std::pair<std::wstring, Variant>> outputs;
  // The result set; none for a command without rows.
  std::shared_ptr<RowSet> rows;
  int32_t recordsAffected = -1;
  // Thrown instead of answering (after the call is recorded).
  std::optional<QuillError> error;
  // With error: the session is lost from then on, as when the server goes away mid-call.
  bool losesConnection = false;
};

class RecordingProvider : public Provider {
 public:
  static ScriptedAnswer Returns(const Variant& returnValue);
  static ScriptedAnswer Rows(RowSet rows);
  static ScriptedAnswer Fails(const QuillError& error);
  // Fails with error and loses the session.
  static ScriptedAnswer LosesConnection(const QuillError& error);

  // Answers the next Execute; answers queue up in order.
  void Answer(ScriptedAnswer answer);
  // Answers every Execute of this command text (case-insensitive) that finds the queue
  // empty. Without either, an Execute answers no rows and a Null return value.
  void AnswerFor(const std::wstring& commandText, ScriptedAnswer answer);
  // Every Open fails with this error until called with nullopt.
  void FailOpen(std::optional<QuillError> error) { openError_ = std::move(error); }

  const std::vector<RecordedCall>& Calls() const { return calls_; }
  // The Execute calls only.
  std::vector<CommandData> Commands() const;
  // The last Execute; error 9 when there was none.
  const CommandData& LastCommand() const;
  // Forgets the recorded calls and the scripted answers.
  void Clear();

  std::unique_ptr<Session> Open(const std::wstring& connectionString, const std::wstring& userId,
                                const std::wstring& password) override;

 private:
  class RecordingSession;
  // lost is set when the answer loses the session.
  ExecuteResult Respond(const CommandData& command, bool& lost);

  std::vector<RecordedCall> calls_;
  std::deque<ScriptedAnswer> queue_;
  std::vector<std::pair<std::wstring, ScriptedAnswer>> standing_;
  std::optional<QuillError> openError_;
};

}  // namespace QuillData::ado

QUILLDATA_API_END
