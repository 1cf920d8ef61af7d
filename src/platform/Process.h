#pragma once
// Ending the process at once, as an error companion may ask; other processes; and the two
// requests to stop (an interrupt from the terminal, a termination) that a long command takes
// itself instead of being ended half-way.
#include <chrono>
#include <memory>

namespace QuillData::platform {

// Flushes the C streams and ends the process with `code`, running no destructors and no
// exit handlers of the host's.
[[noreturn]] void EndProcess(int code);

// True when no process of this id runs (any more).
bool ProcessHasEnded(int pid);

// The requests to stop, numbered as POSIX numbers their signals (an exit code of 128 + the
// number tells a shell which one ended a process).
constexpr int kInterrupt = 2;   // SIGINT; Ctrl+C
constexpr int kTerminate = 15;  // SIGTERM; Ctrl+Break, closing the console

// While it lives, the two requests come to Wait instead of ending the process. Make it before
// any thread that must not see them starts: they come to one waiter.
class StopRequests {
 public:
  StopRequests();
  ~StopRequests();
  StopRequests(const StopRequests&) = delete;
  StopRequests& operator=(const StopRequests&) = delete;
  // The request that came within `tick` (kInterrupt or kTerminate), else 0.
  int Wait(std::chrono::milliseconds tick);
  // Ends the process as the request would have if nobody had taken it.
  [[noreturn]] static void EndAsRequested(int request);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace QuillData::platform
