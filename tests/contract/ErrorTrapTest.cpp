// The one error trap: what each answer of the error companion does, when tracing happens,
// and what a caller sees without a companion.
#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "QuillData/contract/Companions.h"
#include "QuillData/contract/Module.h"
#include "contract/Trap.h"

using namespace QuillData;

namespace {

// Answers from a script, one per report, then "leave".
class ScriptedHandler : public cE {
 public:
  explicit ScriptedHandler(std::vector<int16_t> answers) : answers_(std::move(answers)) {}
  int16_t HandleError(QuillError& err, ObjectPtr& app, std::wstring& module,
                      std::wstring& procedure, std::shared_ptr<cSP>&, int32_t& flag) override {
    seen.push_back({err.Number(), module, procedure, flag, app != nullptr});
    return calls_ < answers_.size() ? answers_[calls_++] : int16_t{kLeave};
  }
  struct Seen {
    int32_t number;
    std::wstring module, procedure;
    int32_t flag;
    bool hasApp;
  };
  std::vector<Seen> seen;

 private:
  std::vector<int16_t> answers_;
  size_t calls_ = 0;
};

class TrapTest : public ::testing::Test {
 protected:
  void SetUp() override {
    trace = std::make_shared<StreamTrace>();
    gSP = trace;
    gTraceFlag = L"1";
  }
  void TearDown() override {
    gSP.reset();
    gE.reset();
    gTraceFlag.clear();
  }
  std::shared_ptr<ScriptedHandler> Answer(std::vector<int16_t> answers) {
    auto handler = std::make_shared<ScriptedHandler>(std::move(answers));
    gE = handler;
    return handler;
  }
  // Three steps; the second fails `failures` times before it succeeds.
  std::vector<int> RunThreeSteps(int failures, TrapOptions options = {.traced = true}) {
    std::vector<int> ran;
    int left = failures;
    Trap(L"modTest", L"Operation", options).Run([&](Trap& t) {
      t.Step([&] { ran.push_back(1); });
      t.Step([&] {
        ran.push_back(2);
        if (left-- > 0) throw QuillError(ErrNo::StatementError, L"src", L"boom");
      });
      t.Step([&] { ran.push_back(3); });
    });
    return ran;
  }
  std::shared_ptr<StreamTrace> trace;
};

TEST_F(TrapTest, RetryRunsTheFailingStepAgain) {
  auto handler = Answer({kRetry, kRetry});
  EXPECT_EQ(RunThreeSteps(2), (std::vector<int>{1, 2, 2, 2, 3}));
  ASSERT_EQ(handler->seen.size(), 2u);
  EXPECT_EQ(handler->seen[0].number, ErrNo::StatementError);
  EXPECT_EQ(handler->seen[0].module, L"modTest");
  EXPECT_EQ(handler->seen[0].procedure, L"Operation");
  EXPECT_TRUE(handler->seen[0].hasApp);
}

TEST_F(TrapTest, ContinueGoesOnWithTheNextStep) {
  Answer({kContinue});
  EXPECT_EQ(RunThreeSteps(5), (std::vector<int>{1, 2, 3}));
  ASSERT_EQ(trace->Events().size(), 2u);  // a normal end traces exit
}

TEST_F(TrapTest, LeaveStopsTheOperationWithoutExitTrace) {
  for (int16_t answer : {int16_t{kLeave}, int16_t{7}, int16_t{-1}}) {
    trace->Clear();
    Answer({answer});
    EXPECT_EQ(RunThreeSteps(1), (std::vector<int>{1, 2})) << answer;
    auto events = trace->Events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_TRUE(events[0].enter);
  }
}

TEST_F(TrapTest, RetryCanFinishTheOperationInstead) {
  Answer({kRetry});
  EXPECT_EQ(RunThreeSteps(1, {.traced = true, .retryFinishes = true}), (std::vector<int>{1, 2}));
  EXPECT_EQ(trace->Events().size(), 2u);  // finishing traces exit
}

TEST_F(TrapTest, FlagAndFailuresOutsideStepsReachTheCompanion) {
  auto handler = Answer({kLeave});
  bool after = false;
  Trap(L"m", L"OpenDB", {.flag = 2}).Run([&] {
    throw std::runtime_error("plain failure");
    after = true;
  });
  EXPECT_FALSE(after);
  ASSERT_EQ(handler->seen.size(), 1u);
  EXPECT_EQ(handler->seen[0].flag, 2);
  EXPECT_EQ(handler->seen[0].number, ErrNo::InternalError);
}

TEST_F(TrapTest, WithoutACompanionTheCallerGetsTheError) {
  gE.reset();
  try {
    RunThreeSteps(1);
    FAIL() << "no error reached the caller";
  } catch (const QuillError& e) {
    EXPECT_EQ(e.Number(), ErrNo::StatementError);
    EXPECT_EQ(e.Description(), L"boom");
  }
}

TEST_F(TrapTest, NestedOperationsLeaveOnlyThemselves) {
  Answer({kLeave});
  std::vector<int> ran;
  Trap(L"m", L"Outer").Run([&](Trap& outer) {
    outer.Step([&] {
      Trap(L"m", L"Inner").Run([&](Trap& inner) {
        inner.Step([&] { throw QuillError(ErrNo::Overflow); });
        ran.push_back(1);
      });
      ran.push_back(2);
    });
    outer.Step([&] { ran.push_back(3); });
  });
  EXPECT_EQ(ran, (std::vector<int>{2, 3}));
}

TEST(PolicyErrorHandlerTest, AnswersByPolicyAndRecords) {
  std::shared_ptr<cSP> sp;
  ObjectPtr app;
  int32_t flag = 0;
  auto ask = [&](PolicyErrorHandler& h, const wchar_t* proc) {
    QuillError err(ErrNo::Overflow, L"src");
    std::wstring module = L"m", procedure = proc;
    return h.HandleError(err, app, module, procedure, sp, flag);
  };
  PolicyErrorHandler retry(PolicyErrorHandler::Policy::Retry, 2);
  EXPECT_EQ(ask(retry, L"A"), kRetry);
  EXPECT_EQ(ask(retry, L"A"), kRetry);
  EXPECT_EQ(ask(retry, L"A"), kLeave);
  EXPECT_EQ(ask(retry, L"B"), kRetry) << "another operation starts a fresh count";
  ASSERT_EQ(retry.Reports().size(), 4u);
  EXPECT_EQ(retry.Reports()[0].description, L"Overflow");
  EXPECT_EQ(retry.Reports()[2].action, kLeave);

  PolicyErrorHandler cont(PolicyErrorHandler::Policy::Continue);
  EXPECT_EQ(ask(cont, L"A"), kContinue);
}

}  // namespace
