#pragma once
// The one error trap every operation runs in.
//
//   int32_t result = 0;
//   Trap(L"clsQuillData_SqlLite", L"clsQuillData_DELMachining").Run([&](Trap& t) {
//     t.Step([&] { Exec(first); });
//     t.Step([&] { Exec(second); });
//   });
//   return result;
//
// Run traces entry when tracing is on and the trap is traced, runs the body, and traces exit
// at the normal end. A Step that throws is reported to gE->HandleError, and the answer
// decides: 0 runs the step again, 1 goes on after it, 3 ends the process with exit code 0,
// anything else leaves the operation (the body stops; the result variable is returned as it
// is; no exit trace). A failure outside any Step is handled as a step covering the rest of
// the body. With no error companion stored, the failure reaches the caller as a QuillError.
#include <cstdint>
#include <string_view>
#include <type_traits>
#include <utility>

#include "QuillData/contract/Error.h"

namespace QuillData {

struct TrapOptions {
  bool traced = false;  // call the trace companion when tracing is on
  // The module named to the trace companion, when it is not the one errors are reported with.
  std::wstring_view traceModule = {};
  int32_t flag = 0;  // the flag handed to HandleError (2 in OpenDB)
  // The answer 0 ends the operation as if it had run to its end (clean-up and exit trace)
  // instead of retrying the failing step.
  bool retryFinishes = false;
  // False: a failure is not reported; it leaves Run as the exception it is. For a try that
  // has a fallback of its own (a look-up without a lock, before the one under it).
  bool reportFailures = true;
};

// Exceptions of a type derived from this pass every trap unreported: they are the library's
// own control flow, never a failure.
struct TrapPassThrough {};

class Trap {
 public:
  Trap(std::wstring_view module, std::wstring_view procedure, TrapOptions options = {})
      : module_(module), procedure_(procedure), options_(options) {}
  Trap(const Trap&) = delete;
  Trap& operator=(const Trap&) = delete;

  template <class Body>
  void Run(Body&& body) {
    TraceEnter();
    for (;;) {
      try {
        if constexpr (std::is_invocable_v<Body&, Trap&>) {
          body(*this);
        } else {
          body();
        }
        break;
      } catch (const StopSignal& stop) {
        if (!stop.finish) return;
        break;
      } catch (const TrapPassThrough&) {
        throw;
      } catch (...) {
        if (!options_.reportFailures) throw;
        // A failure outside any step: the body is the failing statement.
        Decision d = Decide();
        if (d == kLeaveNow) return;
        if (d != kRetryNow) break;
      }
    }
    TraceExit();
  }

  template <class Fn>
  void Step(Fn&& fn) {
    for (;;) {
      try {
        fn();
        return;
      } catch (const StopSignal&) {
        throw;
      } catch (const TrapPassThrough&) {
        throw;
      } catch (...) {
        if (!options_.reportFailures) throw;
        Decision d = Decide();
        if (d == kLeaveNow || d == kFinishNow) throw StopSignal{d == kFinishNow};
        if (d == kGoOn) return;
      }
    }
  }

  std::wstring_view Module() const { return module_; }
  std::wstring_view Procedure() const { return procedure_; }

 private:
  // Thrown by a step to stop the body: leaving skips the exit trace, finishing does not.
  struct StopSignal {
    bool finish;
  };
  enum Decision { kRetryNow, kGoOn, kLeaveNow, kFinishNow };
  // Reports the exception in flight and returns what to do; ends the process on answer 3;
  // throws the failure as a QuillError when no error companion is stored.
  Decision Decide();
  void TraceEnter() const;
  void TraceExit() const;

  std::wstring_view module_;
  std::wstring_view procedure_;
  TrapOptions options_;
};

}  // namespace QuillData
