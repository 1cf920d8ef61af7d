// The JSON form of values, records and collections.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <utility>

#include "QuillData/contract/Records.h"
#include "QuillData/contract/clsQuillData.h"
#include "QuillData/locale/Locale.h"
#include "cli/Json.h"

namespace QuillData::cli {
namespace {

TEST(JsonValues, NumbersIgnoreACommaLocale) {
  std::string restore = std::setlocale(LC_ALL, nullptr);
  std::setlocale(LC_ALL, "de_DE.UTF-8");
  EXPECT_EQ(Dump(ToJson(Variant(1.5)), -1), "1.5");
  std::setlocale(LC_ALL, restore.c_str());
}

TEST(JsonValues, EveryKindOfValueHasItsForm) {
  const std::pair<Variant, Json> cases[] = {
      {Variant(), nullptr},
      {Variant::Null(), nullptr},
      {true, true},
      {int16_t{-7}, -7},
      {int32_t{2147483647}, 2147483647},
      {std::numeric_limits<double>::quiet_NaN(), "NaN"},
      {-std::numeric_limits<double>::infinity(), "-Infinity"},
      {Decimal{-1250, 2}, "-12.50"},
      {Date{45351.5}, "2024-02-29 12:00:00"},
      {Variant::Bytes{}, ""},
      {Variant::Bytes{'M'}, "TQ=="},
      {Variant::Bytes{'M', 'a'}, "TWE="},
      {Variant::Bytes{'M', 'a', 0xff, 0}, "TWH/AA=="},
      {Variant::Array{int32_t{1}, L"a", Variant()}, Json::array({1, "a", nullptr})},
      {Variant(std::make_shared<clsQuillData>()), Json{{"object", "clsQuillData"}}},
  };
  for (const auto& [in, expected] : cases) EXPECT_EQ(ToJson(in), expected) << Dump(expected, -1);
}

TEST(JsonValues, TextIsUtf8AndEscaped) {
  Json j = ToJson(Variant(std::wstring(L"O'Brien \"q\" \u00e4\u00f8 \u65e5\u672c \U0001F600\n")));
  EXPECT_EQ(j.get<std::string>(),
            "O'Brien \"q\" \xC3\xA4\xC3\xB8 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80\n");
  EXPECT_EQ(Dump(j, -1),
            "\"O'Brien \\\"q\\\" \xC3\xA4\xC3\xB8 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80\\n\"");
}

TEST(JsonCollections, ItemsInOrderWithTheirKeysOrCountAlone) {
  Tessera::Collection c;
  for (int id : {3, 1, 2}) {
    auto v = std::make_shared<tblMachVariable>();
    v->MachVarID = id;
    v->Name = L"v" + std::to_wstring(id);
    c.Add(Variant(v), Variant(std::to_wstring(id)));
  }
  c.Add(Variant(std::make_shared<tblMachVariable>()));  // no key
  Json j = CollectionToJson(c);
  EXPECT_EQ(j["count"], 4);
  ASSERT_EQ(j["items"].size(), 4u);
  EXPECT_EQ(j["items"][0]["key"], "3");
  EXPECT_EQ(j["items"][0]["record"]["Name"], "v3");
  EXPECT_EQ(j["items"][2]["key"], "2");
  EXPECT_EQ(j["items"][3]["key"], Json(nullptr));
  EXPECT_EQ(j.begin().key(), "count");

  EXPECT_EQ(CollectionToJson(c, false), Json::parse(R"({"count": 4})"));
  EXPECT_EQ(CollectionToJson(Tessera::Collection()), Json::parse(R"({"count": 0, "items": []})"));
}

TEST(JsonCollections, ACollectionHoldingItselfEndsInsteadOfRecursing) {
  auto c = std::make_shared<Tessera::Collection>();
  auto link = std::make_shared<tblMachLink>();
  link->VarList = c;
  c->Add(Variant(link), Variant(L"self"));
  Json j = ToJson(Variant(c));
  EXPECT_EQ(j["items"][0]["record"]["VarList"],
            Json::parse(R"({"object": "Collection", "cycle": true})"));
  link->VarList.reset();  // break the cycle so both are freed
}

}  // namespace
}  // namespace QuillData::cli
