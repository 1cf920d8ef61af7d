#include "platform/Process.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace QuillData::platform {

void EndProcess(int code) {
  std::fflush(nullptr);
  std::_Exit(code);
}

bool ProcessHasEnded(int pid) {
  return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

namespace {
sigset_t Requests() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}
}  // namespace

struct StopRequests::State {
  sigset_t previousMask;
};

StopRequests::StopRequests() : state_(std::make_unique<State>()) {
  const sigset_t set = Requests();
  // Blocked here, before the waiting thread starts, so that it inherits the mask and the
  // signals go to its sigtimedwait alone.
  pthread_sigmask(SIG_BLOCK, &set, &state_->previousMask);
}

StopRequests::~StopRequests() {
  pthread_sigmask(SIG_SETMASK, &state_->previousMask, nullptr);
}

int StopRequests::Wait(std::chrono::milliseconds tick) {
  const sigset_t set = Requests();
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(tick).count();
  const timespec wait{static_cast<time_t>(ns / 1'000'000'000),
                      static_cast<long>(ns % 1'000'000'000)};
  siginfo_t info;
  const int signal = sigtimedwait(&set, &info, &wait);
  return signal > 0 ? signal : 0;
}

void StopRequests::EndAsRequested(int request) {
  // The signal's own ending, as if it had never been caught.
  std::signal(request, SIG_DFL);
  sigset_t one;
  sigemptyset(&one);
  sigaddset(&one, request);
  pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
  ::raise(request);
  std::_Exit(128 + request);
}

}  // namespace QuillData::platform
