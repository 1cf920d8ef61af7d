// The JSON form of values, records and collections.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>

#include "QuillData/contract/Records.h"
#include "QuillData/contract/clsQuillData.h"
#include "QuillData/locale/Locale.h"
#include "tool/Json.h"

namespace QuillData::tool {
namespace {

TEST(JsonValues, ScalarsKeepTheirKind) {
  EXPECT_EQ(ToJson(Variant()), Json(nullptr));
  EXPECT_EQ(ToJson(Variant::Null()), Json(nullptr));
  EXPECT_EQ(ToJson(Variant(true)), Json(true));
  EXPECT_EQ(ToJson(Variant(false)), Json(false));
  EXPECT_EQ(ToJson(Variant(int16_t(-32768))), Json(-32768));
  EXPECT_EQ(ToJson(Variant(int32_t(INT32_MIN))), Json(INT32_MIN));
  EXPECT_EQ(Dump(ToJson(Variant(0.1 + 0.2)), -1), "0.30000000000000004");
  EXPECT_EQ(ToJson(Variant(std::nan(""))), Json("NaN"));
  EXPECT_EQ(ToJson(Variant(std::numeric_limits<double>::infinity())), Json("Infinity"));
  EXPECT_EQ(ToJson(Variant(-std::numeric_limits<double>::infinity())), Json("-Infinity"));
}

TEST(JsonValues, NumbersIgnoreACommaLocale) {
  std::string restore = std::setlocale(LC_ALL, nullptr);
  std::setlocale(LC_ALL, "de_DE.UTF-8");
  EXPECT_EQ(Dump(ToJson(Variant(1.5)), -1), "1.5");
  std::setlocale(LC_ALL, restore.c_str());
}

TEST(JsonValues, TextIsUtf8AndEscaped) {
  Json j = ToJson(Variant(std::wstring(L"O'Brien \"q\" \u00e4\u00f8 \u65e5\u672c \U0001F600\n")));
  EXPECT_EQ(j.get<std::string>(),
            "O'Brien \"q\" \xC3\xA4\xC3\xB8 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80\n");
  EXPECT_EQ(Dump(j, -1),
            "\"O'Brien \\\"q\\\" \xC3\xA4\xC3\xB8 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80\\n\"");
}

TEST(JsonValues, DatesDecimalsBytesAndArrays) {
  EXPECT_EQ(ToJson(Variant(Date{*DaysFromCivil(2024, 2, 29, 13, 5, 7)})),
            Json("2024-02-29 13:05:07"));
  EXPECT_EQ(ToJson(Variant(Date{*DaysFromCivil(1999, 12, 31)})), Json("1999-12-31"));
  EXPECT_EQ(ToJson(Variant(Decimal{-1250, 2})), Json("-12.50"));
  // Base64 with every padding length.
  const char* expected[] = {"", "Zg==", "Zm8=", "Zm9v", "Zm9vYg=="};
  Variant::Bytes bytes;
  for (int n = 0; n <= 4; ++n) {
    EXPECT_EQ(ToJson(Variant(bytes)), Json(expected[n])) << n;
    bytes.push_back("foob"[n]);
  }
  EXPECT_EQ(Base64({0xFF, 0xEE, 0x00}), "/+4A");
  Variant nested(Variant::Array{int32_t(1), Variant(L"x"), Variant(Variant::Array{Variant()})});
  EXPECT_EQ(ToJson(nested), Json::parse(R"([1, "x", [null]])"));
}

TEST(JsonRecords, FieldsInDeclarationOrderWithTheirValues) {
  auto r = std::make_shared<tblMachRouting>();
  r->lngMachRoutingID = 7;
  r->strName = L"Groove";
  Json j = ToJson(Variant(r));
  const RecordType& type = tblMachRouting::Descriptor();
  ASSERT_EQ(j.size(), type.Fields().size());
  size_t i = 0;
  for (auto it = j.begin(); it != j.end(); ++it, ++i)
    EXPECT_EQ(it.key(), std::string(type.Fields()[i].name.begin(), type.Fields()[i].name.end()));
  EXPECT_EQ(j["lngMachRoutingID"], 7);
  EXPECT_EQ(j["strName"], "Groove");
  EXPECT_EQ(j["lngToolRotationSpeed"], "18000");
  EXPECT_EQ(j["lngGrain"], "");
}

TEST(JsonRecords, ANestedCollectionFieldAndOtherObjects) {
  auto link = std::make_shared<tblMachLink>();
  link->MirrorX = true;
  EXPECT_EQ(RecordToJson(*link)["VarList"], Json(nullptr));
  link->VarList = std::make_shared<Tessera::Collection>();
  link->VarList->Add(Variant(int32_t(3)), Variant(L"k"));
  Json j = RecordToJson(*link);
  EXPECT_EQ(j["MirrorX"], true);
  EXPECT_EQ(j["VarList"], Json::parse(R"({"count": 1, "items": [{"key": "k", "item": 3}]})"));

  EXPECT_EQ(ToJson(Variant(std::make_shared<clsQuillData>())),
            Json::parse(R"({"object": "clsQuillData"})"));
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
}  // namespace QuillData::tool
