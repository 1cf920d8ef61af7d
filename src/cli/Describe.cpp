#include "cli/Describe.h"

#include "QuillData/contract/Text.h"

namespace QuillData::cli {

Json RecordTypeToJson(const RecordType& type) {
  auto fresh = type.Create();
  Json fields = Json::array();
  auto list = type.Fields();
  for (size_t i = 0; i < list.size(); ++i) {
    fields.push_back({{"name", ToUtf8(list[i].name)},
                      {"type", ToUtf8(FieldTypeName(list[i].type))},
                      {"default", ToJson(type.Get(*fresh, i))}});
  }
  return {{"name", ToUtf8(type.Name())}, {"fields", std::move(fields)}};
}

Json RecordTypesToJson() {
  Json out = Json::array();
  for (const RecordType* type : RecordType::All()) out.push_back(RecordTypeToJson(*type));
  return out;
}

Json OperationToJson(const OperationEntry& op) {
  Json args = Json::array();
  for (const ArgSpec& a : op.Args()) {
    Json j = {{"name", a.name}, {"type", ArgTypeName(a.type)}, {"optional", a.optional}};
    if (a.optional) {
      // The default in its own type, as the operation receives it.
      if (a.type == ArgType::Bool)
        j["default"] = *ParseBool(a.defaultText);
      else if (a.type == ArgType::Int32)
        j["default"] = *ParseInt32(a.defaultText);
      else
        j["default"] = a.defaultText;
    }
    if (a.byRef) j["byRef"] = true;
    args.push_back(std::move(j));
  }
  return {{"name", op.NameUtf8()},
          {"slot", op.Slot()},
          {"arguments", std::move(args)},
          {"result", ResultTypeName(op.Result())},
          {"signature", op.Signature()}};
}

Json OperationsToJson() {
  Json out = Json::array();
  for (const OperationEntry& op : Operations()) out.push_back(OperationToJson(op));
  return out;
}

}  // namespace QuillData::cli
