// The operation table against the interface header it is built from, the value parsers,
// and dispatch of every operation to its own member.
#include <gtest/gtest.h>

#include <clocale>
#include <fstream>
#include <regex>
#include <sstream>

#include "FakeBackend.h"
#include "QuillData/contract/Text.h"
#include "tool/Operations.h"

namespace QuillData::tool {
namespace {

struct DeclaredArg {
  std::string name, type, defaultText;
  bool optional;
};
struct Declared {
  std::string name, result;
  std::vector<DeclaredArg> args;
};

std::string Trim(const std::string& s) {
  auto b = s.find_first_not_of(' ');
  auto e = s.find_last_not_of(' ');
  return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}

// The virtual members of clsQuillData as the header declares them, in order.
std::vector<Declared> ReadInterfaceHeader() {
  std::ifstream in(QUILLDATA_SOURCE_DIR "/include/QuillData/contract/clsQuillData.h");
  std::stringstream buffer;
  buffer << in.rdbuf();
  std::string text = std::regex_replace(buffer.str(), std::regex(R"(//[^\n]*)"), "");
  text = std::regex_replace(text, std::regex(R"(\s+)"), " ");
  std::vector<Declared> out;
  std::regex member(R"(virtual ([\w:<>]+) (\w+)\(([^)]*)\))");
  for (std::sregex_iterator it(text.begin(), text.end(), member), end; it != end; ++it) {
    Declared d{(*it)[2], (*it)[1], {}};
    std::stringstream params((*it)[3].str());
    for (std::string p; std::getline(params, p, ',');) {
      DeclaredArg a{"", "", "", false};
      if (auto eq = p.find('='); eq != std::string::npos) {
        a.optional = true;
        a.defaultText = Trim(p.substr(eq + 1));
        p = p.substr(0, eq);
      }
      p = Trim(p);
      auto space = p.rfind(' ');
      a.name = p.substr(space + 1);
      a.type = Trim(p.substr(0, space));
      d.args.push_back(a);
    }
    out.push_back(d);
  }
  return out;
}

TEST(OperationTable, MatchesTheInterfaceHeaderMemberByMember) {
  std::vector<Declared> declared = ReadInterfaceHeader();
  // Conn (get), Conn (set) and OpenDB come first and are not table operations.
  ASSERT_EQ(declared.size(), 68u);
  EXPECT_EQ(declared[0].name, "Conn");
  EXPECT_EQ(declared[2].name, "OpenDB");
  declared.erase(declared.begin(), declared.begin() + 3);

  const std::map<std::string, std::string> argTypes = {{"const int32_t&", "int32"},
                                                       {"const double&", "double"},
                                                       {"const bool&", "bool"},
                                                       {"const std::wstring&", "string"},
                                                       {"RecordsAffected", "int32"}};
  const std::map<std::string, std::string> resultTypes = {{"void", "none"},
                                                          {"int32_t", "int32"},
                                                          {"Variant", "variant"},
                                                          {"CollectionPtr", "collection"}};

  auto table = Operations();
  ASSERT_EQ(table.size(), 65u);
  for (size_t i = 0; i < table.size(); ++i) {
    const Operation& op = table[i];
    const Declared& d = declared[i];
    SCOPED_TRACE(d.name);
    EXPECT_EQ(op.NameUtf8(), d.name);
    EXPECT_EQ(op.Slot(), static_cast<int>(i) + 4);
    EXPECT_EQ(ResultTypeName(op.Result()), resultTypes.at(d.result));
    ASSERT_EQ(op.Args().size(), d.args.size());
    for (size_t a = 0; a < d.args.size(); ++a) {
      const ArgSpec& argument = op.Args()[a];
      EXPECT_EQ(argument.name, d.args[a].name);
      EXPECT_EQ(ArgTypeName(argument.type), argTypes.at(d.args[a].type));
      EXPECT_EQ(argument.optional, d.args[a].optional) << argument.name;
      EXPECT_EQ(argument.byRef, d.args[a].type == "RecordsAffected") << argument.name;
      if (d.args[a].optional) {
        EXPECT_EQ(argument.defaultText, argument.byRef ? "-1" : d.args[a].defaultText)
            << argument.name;
      }
    }
  }
}

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
  for (const Operation& op : Operations()) {
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
}  // namespace QuillData::tool
