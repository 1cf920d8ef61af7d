#include "cli/Json.h"

#include <cxxabi.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <typeinfo>
#include <vector>

#include "QuillData/contract/Text.h"
#include "QuillData/locale/Locale.h"

namespace QuillData::cli {
namespace {

// The objects being encoded on the current path: a collection that (through a record)
// holds itself would otherwise recurse until the stack runs out.
class Path {
 public:
  bool Contains(const Object* o) const {
    for (const Object* p : open_)
      if (p == o) return true;
    return false;
  }
  void Push(const Object* o) { open_.push_back(o); }
  void Pop() { open_.pop_back(); }

 private:
  std::vector<const Object*> open_;
};

Json Encode(const Variant& value, Path& path);

Json EncodeRecord(const Record& record, Path& path) {
  Json out = Json::object();
  const RecordType& type = record.Type();
  auto fields = type.Fields();
  for (size_t i = 0; i < fields.size(); ++i) {
    out[ToUtf8(fields[i].name)] = Encode(type.Get(record, i), path);
  }
  return out;
}

Json EncodeCollection(const Tessera::Collection& c, bool withItems, Path& path) {
  Json out = Json::object();
  out["count"] = c.Count();
  if (!withItems) return out;
  Json items = Json::array();
  int32_t index = 1;
  for (const Variant& item : c) {
    Json entry = Json::object();
    auto key = c.KeyAt(index++);
    entry["key"] = key ? Json(ToUtf8(*key)) : Json(nullptr);
    bool isRecord = item.ObjectAs<Record>() != nullptr;
    entry[isRecord ? "record" : "item"] = Encode(item, path);
    items.push_back(std::move(entry));
  }
  out["items"] = std::move(items);
  return out;
}

Json EncodeObject(const ObjectPtr& object, Path& path) {
  if (!object) return nullptr;
  if (path.Contains(object.get())) {
    return Json{{"object", ClassName(*object)}, {"cycle", true}};
  }
  path.Push(object.get());
  Json out;
  if (auto* record = dynamic_cast<const Record*>(object.get())) {
    out = EncodeRecord(*record, path);
  } else if (auto* c = dynamic_cast<const Tessera::Collection*>(object.get())) {
    out = EncodeCollection(*c, true, path);
  } else {
    out = Json{{"object", ClassName(*object)}};
  }
  path.Pop();
  return out;
}

Json EncodeDouble(double d) {
  if (std::isnan(d)) return "NaN";
  if (std::isinf(d)) return d > 0 ? "Infinity" : "-Infinity";
  return d;
}

Json Encode(const Variant& value, Path& path) {
  switch (value.Type()) {
    case VarType::Empty:
    case VarType::Null:
      return nullptr;
    case VarType::Boolean:
      return *value.Get<bool>();
    case VarType::Integer:
      return *value.Get<int16_t>();
    case VarType::Long:
      return *value.Get<int32_t>();
    case VarType::Double:
      return EncodeDouble(*value.Get<double>());
    case VarType::String:
      return ToUtf8(*value.Get<std::wstring>());
    case VarType::Date:
      return ToUtf8(IsoText(value.Get<Date>()->value));
    case VarType::Decimal:
      return value.Get<Decimal>()->ToString();
    case VarType::Bytes:
      return Base64(*value.Get<Variant::Bytes>());
    case VarType::Array: {
      Json out = Json::array();
      for (const Variant& v : *value.Get<Variant::Array>()) out.push_back(Encode(v, path));
      return out;
    }
    case VarType::Object:
      return EncodeObject(*value.Get<ObjectPtr>(), path);
  }
  return nullptr;
}

}  // namespace

Json ToJson(const Variant& value) {
  Path path;
  return Encode(value, path);
}

Json RecordToJson(const Record& record) {
  Path path;
  path.Push(&record);
  return EncodeRecord(record, path);
}

Json CollectionToJson(const Tessera::Collection& collection, bool withItems) {
  Path path;
  path.Push(&collection);
  return EncodeCollection(collection, withItems, path);
}

std::string ClassName(const Object& object) {
  const char* mangled = typeid(object).name();
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> demangled(
      abi::__cxa_demangle(mangled, nullptr, nullptr, &status), std::free);
  std::string name = status == 0 && demangled ? demangled.get() : mangled;
  // Only the class's own name: namespaces are an implementation detail.
  auto colon = name.rfind("::");
  if (colon != std::string::npos) name.erase(0, colon + 2);
  return name;
}

std::string Base64(const Variant::Bytes& bytes) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    uint32_t n = (uint32_t(bytes[i]) << 16) | (uint32_t(bytes[i + 1]) << 8) | bytes[i + 2];
    out += kAlphabet[(n >> 18) & 63];
    out += kAlphabet[(n >> 12) & 63];
    out += kAlphabet[(n >> 6) & 63];
    out += kAlphabet[n & 63];
  }
  if (size_t rest = bytes.size() - i; rest > 0) {
    uint32_t n = uint32_t(bytes[i]) << 16;
    if (rest == 2) n |= uint32_t(bytes[i + 1]) << 8;
    out += kAlphabet[(n >> 18) & 63];
    out += kAlphabet[(n >> 12) & 63];
    out += rest == 2 ? kAlphabet[(n >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

std::string Dump(const Json& json, int indent) {
  return json.dump(indent, ' ', false, Json::error_handler_t::replace);
}

}  // namespace QuillData::cli
