#pragma once
// The JSON form of the interface's values, as the command line prints them:
//   Empty and Null -> null; Boolean -> true/false; Integer, Long, Double -> number (a NaN or
//   infinite double -> "NaN", "Infinity", "-Infinity"); String -> text; Date -> ISO text;
//   Decimal -> its exact text; Bytes -> base64 text; Array -> array;
//   a record -> an object of its fields in declaration order;
//   a collection -> {"count": n, "items": [{"key": "...", "record": {...}}, ...]} (an item
//   that is not a record is written under "item" instead of "record");
//   any other object -> {"object": "<class name>"}.
// Objects keep their keys in insertion order, so fields print in declaration order.
#include <cstdint>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "QuillData/contract/RecordType.h"
#include "QuillData/contract/Tessera.h"
#include "QuillData/contract/Variant.h"

namespace QuillData::cli {

using Json = nlohmann::ordered_json;

Json ToJson(const Variant& value);
Json RecordToJson(const Record& record);
// withItems = false gives {"count": n} alone.
Json CollectionToJson(const Tessera::Collection& collection, bool withItems = true);

// The class name of an object without its namespace ("clsQuillData", "tblMachining").
std::string ClassName(const Object& object);
std::string Base64(const Variant::Bytes& bytes);

// Compact or indented text; text that is not valid UTF-8 is never produced by the encoders,
// but a stray byte is replaced rather than thrown on.
std::string Dump(const Json& json, int indent = 2);

}  // namespace QuillData::cli
