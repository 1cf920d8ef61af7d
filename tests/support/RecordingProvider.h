#pragma once
// A provider without a data source: it records what it is sent, and answers each command
// with the rows scripted for its text, else with the next scripted row set (no rows once the
// script runs out).
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "QuillData/ado/Provider.h"

namespace QuillData::testing {

class RecordingProvider : public ado::Provider {
 public:
  void Answer(ado::RowSet rows) {
    answers_.push_back(std::make_shared<ado::RowSet>(std::move(rows)));
  }
  void AnswerFor(const std::wstring& commandText, ado::RowSet rows) {
    standing_[commandText] = std::make_shared<ado::RowSet>(std::move(rows));
  }
  // The connection string of every Open, in order.
  const std::vector<std::wstring>& Opened() const { return opened_; }
  const std::vector<ado::CommandData>& Commands() const { return commands_; }

  std::unique_ptr<ado::Session> Open(const std::wstring& connectionString, const std::wstring&,
                                     const std::wstring&) override {
    opened_.push_back(connectionString);
    return std::make_unique<RecordingSession>(*this);
  }

 private:
  class RecordingSession : public ado::Session {
   public:
    explicit RecordingSession(RecordingProvider& provider) : provider_(provider) {}
    ado::ExecuteResult Execute(const ado::CommandData& command) override {
      provider_.commands_.push_back(command);
      ado::ExecuteResult result;
      result.outputs.resize(command.parameters.size());
      if (auto standing = provider_.standing_.find(command.text);
          standing != provider_.standing_.end()) {
        result.rows = standing->second;
      } else if (!provider_.answers_.empty()) {
        result.rows = std::move(provider_.answers_.front());
        provider_.answers_.pop_front();
      }
      return result;
    }
    void Close() noexcept override {}
    bool Lost() const noexcept override { return false; }

   private:
    RecordingProvider& provider_;
  };

  std::vector<std::wstring> opened_;
  std::vector<ado::CommandData> commands_;
  std::deque<std::shared_ptr<ado::RowSet>> answers_;
  std::map<std::wstring, std::shared_ptr<ado::RowSet>> standing_;
};

}  // namespace QuillData::testing
