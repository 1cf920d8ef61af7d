#include "QuillData/contract/Records.h"

#include <algorithm>
#include <array>
#include <cwctype>
#include <new>
#include <utility>
#include <variant>

#include "QuillData/contract/Coerce.h"
#include "QuillData/contract/Error.h"
#include "QuillData/contract/Tessera.h"

namespace QuillData {

namespace {

std::wstring Lower(std::wstring_view text) {
  std::wstring out(text);
  for (auto& c : out) c = static_cast<wchar_t>(std::towlower(c));
  return out;
}

template <class M>
struct MemberClass;
template <class C, class T>
struct MemberClass<T C::*> {
  using type = C;
};

// One field of record class R: its declared type and its member.
template <class R>
using MemberOf = std::variant<int32_t R::*, std::wstring R::*, double R::*, bool R::*, Date R::*,
                              Variant R::*, std::shared_ptr<Tessera::Collection> R::*>;

template <auto member>
void* AddressOf(Record& record) {
  return &(static_cast<typename MemberClass<decltype(member)>::type&>(record).*member);
}

template <class R>
struct FieldOf {
  FieldInfo info;
  MemberOf<R> member;
};

template <class R>
class RecordTypeOf final : public RecordType {
 public:
  RecordTypeOf(std::wstring_view name, std::vector<FieldOf<R>> fields)
      : RecordType(name, Infos(fields)), members_(Members(fields)) {}

  std::shared_ptr<Record> Create() const override { return std::make_shared<R>(); }
  Record* Construct(void* storage) const override { return new (storage) R(); }
  size_t Size() const override {
    static_assert(alignof(R) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__);
    return sizeof(R);
  }

  Variant Get(const Record& record, size_t field) const override {
    const R& r = static_cast<const R&>(record);
    return std::visit(
        [&](auto member) -> Variant {
          const auto& value = r.*member;
          using T = std::decay_t<decltype(value)>;
          if constexpr (std::is_same_v<T, std::shared_ptr<Tessera::Collection>>) {
            return value ? Variant(value) : Variant();
          } else {
            return Variant(value);
          }
        },
        members_.at(field));
  }

  void Set(Record& record, size_t field, Variant value) const override {
    R& r = static_cast<R&>(record);
    std::visit(
        [&](auto member) {
          auto& target = r.*member;
          using T = std::decay_t<decltype(target)>;
          if constexpr (std::is_same_v<T, int32_t>) {
            const auto* exact = value.Get<int32_t>();
            target = exact ? *exact : CLng(value);
          } else if constexpr (std::is_same_v<T, std::wstring>) {
            if (auto* text = value.Get<std::wstring>()) {
              target = std::move(*text);
            } else {
              target = CStr(value);
            }
          } else if constexpr (std::is_same_v<T, double>) {
            target = CDbl(value);
          } else if constexpr (std::is_same_v<T, bool>) {
            target = CBool(value);
          } else if constexpr (std::is_same_v<T, Date>) {
            target = CDate(value);
          } else if constexpr (std::is_same_v<T, Variant>) {
            target = std::move(value);
          } else {
            // A collection field takes a collection object or nothing.
            if (value.IsEmpty()) {
              target.reset();
            } else {
              auto collection = value.ObjectAs<Tessera::Collection>();
              if (!collection) throw QuillError(ErrNo::TypeMismatch);
              target = std::move(collection);
            }
          }
        },
        members_.at(field));
  }

 private:
  static std::vector<FieldInfo> Infos(const std::vector<FieldOf<R>>& fields) {
    std::vector<FieldInfo> out;
    for (const auto& f : fields) out.push_back(f.info);
    return out;
  }
  static std::vector<MemberOf<R>> Members(const std::vector<FieldOf<R>>& fields) {
    std::vector<MemberOf<R>> out;
    for (const auto& f : fields) out.push_back(f.member);
    return out;
  }
  std::vector<MemberOf<R>> members_;
};

}  // namespace

const wchar_t* FieldTypeName(FieldType type) {
  switch (type) {
    case FieldType::Long:
      return L"int32";
    case FieldType::String:
      return L"string";
    case FieldType::Double:
      return L"double";
    case FieldType::Bool:
      return L"bool";
    case FieldType::Date:
      return L"date";
    case FieldType::Variant:
      return L"variant";
    case FieldType::Collection:
      return L"Tessera collection";
  }
  return L"";
}

RecordType::RecordType(std::wstring_view name, std::vector<FieldInfo> fields)
    : name_(name), fields_(std::move(fields)) {
  for (const auto& f : fields_) lowerNames_.push_back(Lower(f.name));
}

int RecordType::FieldIndex(std::wstring_view name) const {
  std::wstring lower = Lower(name);
  auto at = std::find(lowerNames_.begin(), lowerNames_.end(), lower);
  return at == lowerNames_.end() ? -1 : static_cast<int>(at - lowerNames_.begin());
}

// Each record class's descriptor, from its field list in Records.h.
#define QUILLDATA_FIELD_(kind, name, ...) \
  {{L## #name, FieldType::kind, &AddressOf<&Self::name>}, &Self::name},
#define QUILLDATA_DEFINE_RECORD_(cls, FIELDS)                                  \
  const RecordType& cls::Descriptor() {                                        \
    using Self = cls;                                                          \
    static const RecordTypeOf<cls> type(L## #cls, {FIELDS(QUILLDATA_FIELD_)}); \
    return type;                                                               \
  }
QUILLDATA_RECORDS(QUILLDATA_DEFINE_RECORD_)
#undef QUILLDATA_DEFINE_RECORD_
#undef QUILLDATA_FIELD_

std::span<const RecordType* const> RecordType::All() {
#define QUILLDATA_DESCRIPTOR_(cls, FIELDS) &cls::Descriptor(),
  static const std::vector<const RecordType*> all{QUILLDATA_RECORDS(QUILLDATA_DESCRIPTOR_)};
#undef QUILLDATA_DESCRIPTOR_
  return all;
}

const RecordType* RecordType::Find(std::wstring_view name) {
  for (const RecordType* type : All()) {
    if (type->Name() == name) return type;
  }
  return nullptr;
}

}  // namespace QuillData
