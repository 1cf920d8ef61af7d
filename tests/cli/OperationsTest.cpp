// The value parsers, and dispatch of every operation to its own member.
#include <gtest/gtest.h>

#include <clocale>

#include "FakeBackend.h"
#include "QuillData/contract/Text.h"
#include "cli/Operations.h"

namespace QuillData::cli {
namespace {

// A distinct, valid command-line value for argument `a` of every operation.
std::string ValueFor(ArgType type, size_t a) {
  switch (type) {
    case ArgType::Int32:
      return std::to_string(-100 - static_cast<int>(a));
    case ArgType::Double:
      return std::to_string(a) + ".25";
    case ArgType::Bool:
      return a % 2 ? "true" : "0";
    case ArgType::String:
      return "s" + std::to_string(a) + " O'Brien \xC3\xA4\xE6\x97\xA5";
  }
  return "";
}

Variant Expected(ArgType type, size_t a) {
  switch (type) {
    case ArgType::Int32:
      return int32_t(-100 - static_cast<int>(a));
    case ArgType::Double:
      return a + 0.25;
    case ArgType::Bool:
      return a % 2 == 1;
    case ArgType::String:
      return FromUtf8(ValueFor(type, a));
  }
  return {};
}

TEST(OperationDispatch, EveryOperationReachesItsOwnMemberWithItsArgumentsInOrder) {
  for (const OperationEntry& op : Operations()) {
    SCOPED_TRACE(op.NameUtf8());
    std::vector<std::string> values;
    std::vector<Variant> expected;
    for (size_t a = 0; a < op.Args().size(); ++a) {
      values.push_back(ValueFor(op.Args()[a].type, a));
      expected.push_back(Expected(op.Args()[a].type, a));
    }
    testing::FakeBackend fake;
    CallResult r = op.Bind(values)(fake);
    EXPECT_EQ(fake.called, op.NameUtf8());
    EXPECT_EQ(fake.received, expected);
    switch (op.Result()) {
      case ResultType::None:
        EXPECT_TRUE(r.result.IsEmpty());
        break;
      case ResultType::Int32:
        EXPECT_EQ(r.result, Variant(testing::FakeBackend::kInt));
        break;
      case ResultType::Variant:
        EXPECT_EQ(r.result, Variant(L"variant answer"));
        break;
      case ResultType::Collection:
        ASSERT_NE(r.result.ObjectAs<Tessera::Collection>(), nullptr);
        EXPECT_EQ(r.result.ObjectAs<Tessera::Collection>()->Count(), 1);
        break;
    }
    bool hasByRef = !op.Args().empty() && op.Args().back().byRef;
    EXPECT_EQ(r.recordsAffected.has_value(), hasByRef);
    if (hasByRef) {
      EXPECT_EQ(*r.recordsAffected, testing::FakeBackend::kWrittenCount);
    }
  }
}

TEST(OperationDispatch, OmittedOptionalArgumentsArriveWithTheirDefaults) {
  testing::FakeBackend fake;
  FindOperation("INSERTMachRouting")->Bind({"Pocket", "3"})(fake);
  EXPECT_EQ(fake.received, (std::vector<Variant>{L"Pocket", int32_t(3), int32_t(0), int32_t(-1)}));

  FindOperation("INSERTMFGPartTypes")->Bind({"1", "2", "a", "b", "c", "d", "e"})(fake);
  EXPECT_EQ(fake.received.at(7), Variant(false));
  EXPECT_EQ(fake.received.at(8), Variant(int32_t(-1)));

  // A bound call starts from the parsed values every time, not from what the last call wrote.
  auto bound = FindOperation("GETTblMachining")->Bind({"12"});
  bound(fake);
  EXPECT_EQ(fake.received, std::vector<Variant>{int32_t(12)});
  bound(fake);
  EXPECT_EQ(fake.received, std::vector<Variant>{int32_t(12)});
}

TEST(OperationArguments, WholeNumbersAreStrictDecimalWithinInt32) {
  EXPECT_EQ(ParseInt32("0"), 0);
  EXPECT_EQ(ParseInt32("-2147483648"), INT32_MIN);
  EXPECT_EQ(ParseInt32("+2147483647"), INT32_MAX);
  EXPECT_EQ(ParseInt32("007"), 7);
  for (const char* bad : {"", "-", "+", "2147483648", "-2147483649", "99999999999999999999", " 1",
                          "1 ", "1.0", "1e3", "0x10", "--1", "+-1", "1_000"})
    EXPECT_EQ(ParseInt32(bad), std::nullopt) << bad;
}

TEST(OperationArguments, RealNumbersUseADotUnderEveryLocale) {
  // Even with a comma locale in the environment and as the global C locale.
  std::string restore = std::setlocale(LC_ALL, nullptr);
  setenv("LC_ALL", "de_DE.UTF-8", 1);
  std::setlocale(LC_ALL, "de_DE.UTF-8");
  EXPECT_EQ(ParseDouble("1.5"), 1.5);
  EXPECT_EQ(ParseDouble("-0.125"), -0.125);
  EXPECT_EQ(ParseDouble("+2.5e3"), 2500.0);
  EXPECT_EQ(ParseDouble("42"), 42.0);
  for (const char* bad : {"", "1,5", "1.5 ", " 1.5", "1.2.3", "++1", "abc", "0x1p3"})
    EXPECT_EQ(ParseDouble(bad), std::nullopt) << bad;
  std::setlocale(LC_ALL, restore.c_str());
  unsetenv("LC_ALL");
}

}  // namespace
}  // namespace QuillData::cli
