#include "platform/Process.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <thread>

namespace QuillData::platform {

void EndProcess(int code) {
  std::fflush(nullptr);
  ExitProcess(static_cast<UINT>(code));
}

bool ProcessHasEnded(int pid) {
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
  if (!process) return GetLastError() == ERROR_INVALID_PARAMETER;  // no such process
  const bool ended = WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
  CloseHandle(process);
  return ended;
}

namespace {
std::atomic<int> gRequest{0};

// The console's events, taken instead of ending the process: Ctrl+C is the interrupt; the
// others (Ctrl+Break, closing the console, logging off) ask it to end.
BOOL WINAPI TakeRequest(DWORD event) {
  gRequest = event == CTRL_C_EVENT ? kInterrupt : kTerminate;
  return TRUE;
}
}  // namespace

struct StopRequests::State {};

StopRequests::StopRequests() : state_(std::make_unique<State>()) {
  gRequest = 0;
  SetConsoleCtrlHandler(TakeRequest, TRUE);
}

StopRequests::~StopRequests() {
  SetConsoleCtrlHandler(TakeRequest, FALSE);
}

int StopRequests::Wait(std::chrono::milliseconds tick) {
  if (int request = gRequest.exchange(0)) return request;
  std::this_thread::sleep_for(tick);
  return gRequest.exchange(0);
}

void StopRequests::EndAsRequested(int request) {
  std::fflush(nullptr);
  ExitProcess(static_cast<UINT>(128 + request));
}

}  // namespace QuillData::platform
