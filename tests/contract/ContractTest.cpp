// The contract's parts: the one error trap (what each answer of the error companion does,
// when tracing happens, what a caller sees without a companion), the factory, the record
// classes' field lists, and the keyed, ordered collection the readers return.
#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "QuillData/QuillData.h"
#include "QuillData/contract/Coerce.h"
#include "QuillData/contract/Companions.h"
#include "QuillData/contract/Factory.h"
#include "QuillData/contract/Module.h"
#include "QuillData/contract/Records.h"
#include "QuillData/contract/Tessera.h"
#include "QuillData/contract/Text.h"
#include "QuillData/contract/clsQuillData.h"
#include "contract/Trap.h"
#include "support/TestSupport.h"

using namespace QuillData;
using Tessera::Collection;

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

// What each answer does to three steps whose second fails: the steps that ran, and whether
// the exit was traced (only an operation that ends normally or finishes traces it).
TEST_F(TrapTest, EachAnswerRunsTheStepsItShould) {
  const struct {
    std::vector<int16_t> answers;
    int failures;
    bool retryFinishes;
    std::vector<int> ran;
    size_t traced;
  } cases[] = {
      {{kRetry, kRetry}, 2, false, {1, 2, 2, 2, 3}, 2},
      {{kContinue}, 5, false, {1, 2, 3}, 2},
      {{kLeave}, 1, false, {1, 2}, 1},
      {{7}, 1, false, {1, 2}, 1},
      {{-1}, 1, false, {1, 2}, 1},
      {{kRetry}, 1, true, {1, 2}, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.answers[0]);
    trace->Clear();
    auto handler = Answer(c.answers);
    EXPECT_EQ(RunThreeSteps(c.failures, {.traced = true, .retryFinishes = c.retryFinishes}), c.ran);
    auto events = trace->Events();
    ASSERT_EQ(events.size(), c.traced);
    EXPECT_TRUE(events[0].enter);
    ASSERT_FALSE(handler->seen.empty());
    EXPECT_EQ(handler->seen[0].number, ErrNo::StatementError);
    EXPECT_EQ(handler->seen[0].module, L"modTest");
    EXPECT_EQ(handler->seen[0].procedure, L"Operation");
    EXPECT_TRUE(handler->seen[0].hasApp);
  }
}

// Answer 3 ends the process at once, with exit code 0: nothing after the failed step runs.
TEST_F(TrapTest, EndingTheProcessExitsWithCodeZero) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // the child runs this test again
  EXPECT_EXIT(
      {
        Answer({kEndProcess});
        RunThreeSteps(1);
        std::abort();
      },
      ::testing::ExitedWithCode(0), "");
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

TEST(FactoryTest, KnowsTheInterfaceAndTheRecordsAndRefusesUnknownNames) {
  EXPECT_TRUE(CreateObjectAs<clsQuillData>(L"QuillData.clsQuillData"));
  auto e = EXPECT_QUILL_ERROR(CreateObject(L"QuillData.clsNoSuchThing"), ErrNo::CannotCreateObject);
  EXPECT_NE(e.Description().find(L"clsNoSuchThing"), std::wstring::npos);
  // The refusal lists the names there are, so that a mistyped one can be put right.
  EXPECT_NE(e.Description().find(L"QuillData.clsQuillData,"), std::wstring::npos);
#if QUILLDATA_WITH_MSSQL
  EXPECT_TRUE(
      dynamic_cast<clsQuillData_MSSQL*>(CreateObject(L"QuillData.clsQuillData_PostgreSQL").get()));
#endif
  auto names = CreatableClasses();
  EXPECT_NE(std::find(names.begin(), names.end(), L"QuillData.tblScenario"), names.end());
  // Every backend the command line may open is one the factory creates.
  for (const ConnLayout& layout : Backends()) {
    const std::wstring name = L"QuillData." + std::wstring(layout.backend);
    EXPECT_TRUE(CreateObjectAs<clsQuillData>(name)) << ToUtf8(name);
  }
  auto r = CreateObjectAs<tblMachRouting>(L"QuillData.tblMachRouting");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->strActiveFlag, L"A");
}

// A ConnArgs of the wrong length is refused by OpenDB, before anything is loaded or
// connected, with the layout in the companion's report.
TEST(FactoryTest, OpenDBRefusesConnArgsOfAnotherLayoutNamingIt) {
  struct Case {
    const wchar_t* backend;
    std::vector<Variant> args;
    const wchar_t* layout;
  };
  const Case cases[] = {
#if QUILLDATA_WITH_SQLITE
    {L"QuillData.clsQuillData_SqlLite", {L"shop.db"}, L"takes 3: {folder of libsqlite3.so.0"},
    {L"QuillData.clsQuillData_SqlLite", {L"", L"a.db", L"0", L"1"}, L"database file"},
#endif
#if QUILLDATA_WITH_MSSQL
    {L"QuillData.clsQuillData_MSSQL", {L"", L"shop.db", L"0"}, L"takes 2: {connection string"},
#endif
  };
  for (const Case& c : cases) {
    auto db = CreateObjectAs<clsQuillData>(c.backend);
    auto errors = std::make_shared<PolicyErrorHandler>();
    EXPECT_FALSE(db->OpenDB(std::make_shared<StreamTrace>(), errors, c.args));
    const auto reports = errors->Reports();
    ASSERT_EQ(reports.size(), 1u) << ToUtf8(c.backend);
    EXPECT_EQ(reports[0].kind, ErrorKind::RefusedArgument);
    EXPECT_EQ(reports[0].procedure, L"OpenDB");
    EXPECT_NE(reports[0].description.find(c.layout), std::wstring::npos)
        << ToUtf8(reports[0].description);
  }
}

TEST(RecordsTest, GenericAccessFindsFieldsWithoutRegardToCase) {
  const RecordType& type = tblMachining::Descriptor();
  EXPECT_EQ(type.FieldIndex(L"machname"), 1);
  EXPECT_EQ(type.FieldIndex(L"MACHLIBID"), 6);
  EXPECT_EQ(type.FieldIndex(L"nope"), -1);
  auto rec = type.Create();
  type.Set(*rec, 0, Variant(L"42"));  // text into an int32 field converts
  type.Set(*rec, 3, Variant(2));
  type.Set(*rec, 1, Variant(7));
  auto& m = static_cast<tblMachining&>(*rec);
  EXPECT_EQ(m.MachID, 42);
  EXPECT_EQ(m.X, 2.0);
  EXPECT_EQ(m.MachName, L"7");
  EXPECT_EQ(type.Get(*rec, 1), Variant(L"7"));
  EXPECT_THROW(type.Set(*rec, 0, Variant(L"forty")), QuillError);
}

TEST(RecordsTest, MachLinkReleasesItsVariableListOnce) {
  std::weak_ptr<Collection> watch;
  {
    auto list = std::make_shared<Collection>();
    watch = list;
    auto link = std::make_shared<tblMachLink>();
    tblMachLink::Descriptor().Set(*link, 7, Variant(list));
    list.reset();
    EXPECT_FALSE(watch.expired()) << "the record holds the list";
    EXPECT_THROW(tblMachLink::Descriptor().Set(*link, 7, Variant(L"text")), QuillError);
  }
  EXPECT_TRUE(watch.expired()) << "destroying the record released the list";
}

std::vector<std::wstring> Texts(const Collection& c) {
  std::vector<std::wstring> out;
  for (const Variant& v : c) out.push_back(*v.Get<std::wstring>());
  return out;
}

TEST(TesseraTest, AddsBeforeAndAfterAnItemAndRemoveKeepsTheRestInOrder) {
  Collection c;
  c.Add(L"a", L"a");
  c.Add(L"c", L"c");
  c.Add(L"b", L"b", {}, L"a");
  c.Add(L"start", L"s", 1);
  c.Add(L"end", L"e", {}, 4);
  EXPECT_EQ(Texts(c), (std::vector<std::wstring>{L"start", L"a", L"b", L"c", L"end"}));
  EXPECT_EQ(*c.Item(L"c").Get<std::wstring>(), L"c") << "keys survive insertions before them";
  c.Remove(L"b");
  c.Remove(1);
  EXPECT_EQ(Texts(c), (std::vector<std::wstring>{L"a", L"c", L"end"}));
  EXPECT_FALSE(c.Contains(L"b"));
  c.Add(L"b2", L"b");  // the removed key is free again
  EXPECT_EQ(c.Count(), 4);
}

TEST(TesseraTest, RefusesBadKeysAndPositions) {
  Collection c;
  c.Add(L"a", L"k");
  EXPECT_QUILL_ERROR(c.Add(L"again", L"k"), ErrNo::DuplicateKey);
  EXPECT_EQ(c.Count(), 1) << "a refused item is not added";
  EXPECT_QUILL_ERROR(c.Add(L"x", 5), ErrNo::TypeMismatch);
  EXPECT_QUILL_ERROR(c.Add(L"x", L"x", 1, 1), ErrNo::InvalidProcedureCall);
  EXPECT_QUILL_ERROR(c.Remove(L"missing"), ErrNo::InvalidProcedureCall);
  EXPECT_QUILL_ERROR(c.Item(Variant::Null()), ErrNo::TypeMismatch);
}

TEST(TesseraTest, RecordsMadeInTheCollectionKeepKeysOrderAndLife) {
  // Whole-number keys are stored as numbers, other text packed: every kind must read back as
  // it went in and be found, including texts that only look like numbers.
  const std::vector<std::wstring> keys = {L"1",   L"0",          L"007",         L"-1",
                                          L"",    L"2147483647", L"2147483648",  L"99999999999",
                                          L"a|b", L"Ma\u00dfe",  L"\U0001F600x", L"12 "};
  auto c = std::make_shared<Collection>();
  for (size_t i = 0; i < keys.size(); ++i) {
    auto& rec = static_cast<tblMachining&>(c->NewRecord(tblMachining::Descriptor()));
    rec.MachID = static_cast<int32_t>(i);
    rec.MachName = L"name " + std::to_wstring(i);
    EXPECT_TRUE(c->AppendNew(keys[i])) << "key " << i;
  }
  c->NewRecord(tblMachining::Descriptor());  // made, then started over by the next one
  static_cast<tblMachining&>(c->NewRecord(tblMachining::Descriptor())).MachID = 99;
  EXPECT_FALSE(c->AppendNew(L"1")) << "a key that is there: the row goes in without it";
  c->ShrinkToFit();
  ASSERT_EQ(c->size(), keys.size() + 1);
  for (size_t i = 0; i < keys.size(); ++i) {
    EXPECT_EQ(c->KeyAt(static_cast<int32_t>(i + 1)), keys[i]);
    ASSERT_TRUE(c->Contains(keys[i])) << "key " << i;
    EXPECT_EQ(c->ItemAs<tblMachining>(keys[i])->MachID, static_cast<int32_t>(i));
  }
  EXPECT_FALSE(c->Contains(L"01"));
  EXPECT_FALSE(c->Contains(L"12"));
  EXPECT_EQ(c->KeyAt(c->Count()), std::nullopt);
  EXPECT_EQ(c->ItemAs<tblMachining>(c->Count())->MachID, 99);
  EXPECT_FALSE(c->ItemAs<tblMachLink>(1)) << "a record of another class";

  // Removal and an item of another kind: the rest keep their places and keys.
  c->Remove(L"007");
  c->Add(L"text", L"t", 1);
  EXPECT_EQ(*c->Item(1).Get<std::wstring>(), L"text");
  EXPECT_EQ(c->ItemAs<tblMachining>(2)->MachID, 0);
  EXPECT_EQ(c->ItemAs<tblMachining>(L"-1")->MachID, 3);
  EXPECT_FALSE(c->Contains(L"007"));

  // A record outlives its collection, and the collection's other references.
  auto kept = c->ItemAs<tblMachining>(L"a|b");
  c.reset();
  EXPECT_EQ(kept->MachName, L"name 8");
}

}  // namespace
