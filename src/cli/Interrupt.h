#pragma once
// SIGINT and SIGTERM during the commands that write (transfer, copy, batch): nothing is left
// half-written and no temporary file stays behind, and the files an earlier interrupted run
// left are named and removed.
//
//   Interruption interruption(std::chrono::seconds(10));
//   interruption.RemoveOnForcedEnd(WorkFiles::Transfer(target));
//   for (...) { if (Interruption::Requested()) { roll back; return interruption.ExitCode(); } }
//
// While an Interruption lives, the two signals (on Windows: Ctrl+C, Ctrl+Break and closing the
// console) are taken by a watcher thread instead of
// ending the process. The first one raises the flag the command polls, and the command has
// `grace` to roll back, remove its files and return ExitCode() (128 + the signal, as a shell
// reports a process the signal ended). A second signal, or a command that has not ended when
// the grace is over, ends the process at once: the watcher removes the registered files and
// lets the signal take its default course. The store undoes what was not committed by
// itself then: SQLite rolls an interrupted transaction back when the file is next opened, a
// server rolls back the transaction of a connection that is gone.
#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <ostream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/Process.h"

namespace QuillData::cli {

// The temporary files a command's work goes through, by the name the library gives them:
// a prefix in a folder, then a process id, then nothing or "-" and more
// ("parts.db.transfer-4242", "parts.db.transfer-4242-journal").
struct WorkFiles {
  std::filesystem::path folder;
  std::string prefix;
  // A new file target of a transfer is built as NAME.transfer-PID beside NAME.
  static WorkFiles Transfer(const std::filesystem::path& target);
  // A copy is written as .NAME.partial-PID-... beside NAME.
  static WorkFiles Copy(const std::filesystem::path& destination);
};

// Removes the work files that processes which no longer run left behind, naming each on
// `err` ("quilldata transfer: removed ..."); files of a process that still runs are left to
// it.
void RemoveLeftovers(const WorkFiles& files, std::ostream& err, std::string_view command);

class Interruption {
 public:
  explicit Interruption(std::chrono::milliseconds grace);
  ~Interruption();
  Interruption(const Interruption&) = delete;
  Interruption& operator=(const Interruption&) = delete;

  // True once a signal came while an Interruption lives.
  static bool Requested();
  // 128 + the signal that came (130 for SIGINT, 143 for SIGTERM).
  int ExitCode() const;
  // "SIGINT" or "SIGTERM".
  std::string SignalName() const;
  // This process's work files, removed should the process be ended before the command has
  // cleaned up itself.
  void RemoveOnForcedEnd(const WorkFiles& files);

 private:
  void Watch();
  [[noreturn]] void End(int signal);

  std::chrono::milliseconds grace_;
  platform::StopRequests requests_;  // made before the watcher starts, which takes them
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<WorkFiles> files_;
  std::thread watcher_;
};

}  // namespace QuillData::cli
