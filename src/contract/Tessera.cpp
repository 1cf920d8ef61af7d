#include "QuillData/contract/Tessera.h"

#include <algorithm>
#include <cmath>

#include "QuillData/contract/Coerce.h"
#include "QuillData/contract/Error.h"

namespace QuillData::Tessera {

namespace {

constexpr const wchar_t* kSource = L"Tessera.Collection";

bool IsNumber(const Variant& v) {
  switch (v.Type()) {
    case VarType::Integer:
    case VarType::Long:
    case VarType::Double:
    case VarType::Decimal:
    case VarType::Boolean:
      return true;
    default:
      return false;
  }
}

}  // namespace

size_t Collection::PositionOf(const Variant& indexOrKey) const {
  if (const auto* key = indexOrKey.Get<std::wstring>()) {
    auto found = byKey_.find(*key);
    if (found == byKey_.end()) throw QuillError(ErrNo::InvalidProcedureCall, kSource);
    auto at = std::find(order_.begin(), order_.end(), found->second);
    return static_cast<size_t>(at - order_.begin());
  }
  if (!IsNumber(indexOrKey)) throw QuillError(ErrNo::TypeMismatch, kSource);
  int32_t index = CLng(indexOrKey);
  if (index < 1 || index > Count()) throw QuillError(ErrNo::SubscriptOutOfRange, kSource);
  return static_cast<size_t>(index - 1);
}

void Collection::Add(const Variant& item, const Variant& key, const Variant& before,
                     const Variant& after) {
  if (!before.IsEmpty() && !after.IsEmpty()) throw QuillError(ErrNo::InvalidProcedureCall, kSource);
  auto entry = std::make_shared<Entry>();
  if (!key.IsEmpty()) {
    const auto* text = key.Get<std::wstring>();
    if (!text) throw QuillError(ErrNo::TypeMismatch, kSource);
    if (byKey_.count(*text)) throw QuillError(ErrNo::DuplicateKey, kSource);
    entry->key = *text;
  }
  size_t at = order_.size();
  if (!before.IsEmpty()) at = PositionOf(before);
  if (!after.IsEmpty()) at = PositionOf(after) + 1;
  entry->item = item;
  order_.insert(order_.begin() + static_cast<std::ptrdiff_t>(at), entry);
  if (entry->key) byKey_.emplace(*entry->key, entry);
}

const Variant& Collection::Item(const Variant& indexOrKey) const {
  if (const auto* key = indexOrKey.Get<std::wstring>()) {
    // Key lookups are the hot path: no scan of the order.
    auto found = byKey_.find(*key);
    if (found == byKey_.end()) throw QuillError(ErrNo::InvalidProcedureCall, kSource);
    return found->second->item;
  }
  return order_[PositionOf(indexOrKey)]->item;
}

void Collection::Remove(const Variant& indexOrKey) {
  size_t at = PositionOf(indexOrKey);
  if (order_[at]->key) byKey_.erase(*order_[at]->key);
  order_.erase(order_.begin() + static_cast<std::ptrdiff_t>(at));
}

std::optional<std::wstring> Collection::KeyAt(int32_t index) const {
  if (index < 1 || index > Count()) throw QuillError(ErrNo::SubscriptOutOfRange, kSource);
  return order_[static_cast<size_t>(index - 1)]->key;
}

}  // namespace QuillData::Tessera
