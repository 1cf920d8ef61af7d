#include "QuillData/contract/Tessera.h"

#include <functional>

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

size_t HashOf(std::wstring_view key) {
  return std::hash<std::wstring_view>{}(key);
}

}  // namespace

size_t Collection::Find(std::wstring_view key) const {
  return Find(key, HashOf(key));
}

size_t Collection::Find(std::wstring_view key, size_t hash) const {
  if (slots_.empty()) return kNone;
  const size_t mask = slots_.size() - 1;
  for (size_t i = hash & mask;; i = (i + 1) & mask) {
    if (slots_[i] == 0) return kNone;
    const Entry& e = entries_[slots_[i] - 1];
    if (e.hash == hash && e.key == key) return slots_[i] - 1;
  }
}

void Collection::Index(size_t position) {
  // Keep at most half of the slots used, so probes stay short.
  if ((keyed_ + 1) * 2 > slots_.size()) {
    Reindex((keyed_ + 1) * 2);
    return;  // Reindex entered every keyed entry, this one included
  }
  const size_t mask = slots_.size() - 1;
  size_t i = entries_[position].hash & mask;
  while (slots_[i] != 0) i = (i + 1) & mask;
  slots_[i] = static_cast<uint32_t>(position + 1);
  ++keyed_;
}

void Collection::Reindex(size_t minimumSlots) {
  size_t needed = 16;
  size_t keyed = 0;
  for (const Entry& e : entries_) keyed += e.keyed;
  while (needed < minimumSlots || needed < keyed * 2) needed *= 2;
  slots_.assign(needed, 0);
  keyed_ = 0;
  const size_t mask = needed - 1;
  for (size_t pos = 0; pos < entries_.size(); ++pos) {
    if (!entries_[pos].keyed) continue;
    size_t i = entries_[pos].hash & mask;
    while (slots_[i] != 0) i = (i + 1) & mask;
    slots_[i] = static_cast<uint32_t>(pos + 1);
    ++keyed_;
  }
}

void Collection::Reserve(size_t n) {
  entries_.reserve(n);
  if (slots_.size() < n * 2) Reindex(n * 2);
}

size_t Collection::PositionOf(const Variant& indexOrKey) const {
  if (const auto* key = indexOrKey.Get<std::wstring>()) {
    size_t at = Find(*key);
    if (at == kNone) throw QuillError(ErrNo::InvalidProcedureCall, kSource);
    return at;
  }
  if (!IsNumber(indexOrKey)) throw QuillError(ErrNo::TypeMismatch, kSource);
  int32_t index = CLng(indexOrKey);
  if (index < 1 || index > Count()) throw QuillError(ErrNo::SubscriptOutOfRange, kSource);
  return static_cast<size_t>(index - 1);
}

bool Collection::Append(Variant&& item, std::wstring&& key) {
  const size_t hash = HashOf(key);
  if (Find(key, hash) != kNone) {
    entries_.push_back({std::move(item), {}, 0, false});
    return false;
  }
  entries_.push_back({std::move(item), std::move(key), hash, true});
  Index(entries_.size() - 1);
  return true;
}

void Collection::Add(const Variant& item, const Variant& key, const Variant& before,
                     const Variant& after) {
  if (!before.IsEmpty() && !after.IsEmpty()) throw QuillError(ErrNo::InvalidProcedureCall, kSource);
  Entry entry{item, {}, 0, false};
  if (!key.IsEmpty()) {
    const auto* text = key.Get<std::wstring>();
    if (!text) throw QuillError(ErrNo::TypeMismatch, kSource);
    if (Find(*text) != kNone) throw QuillError(ErrNo::DuplicateKey, kSource);
    entry.key = *text;
    entry.hash = HashOf(*text);
    entry.keyed = true;
  }
  size_t at = entries_.size();
  if (!before.IsEmpty()) at = PositionOf(before);
  if (!after.IsEmpty()) at = PositionOf(after) + 1;
  const bool keyed = entry.keyed;
  if (at == entries_.size()) {
    entries_.push_back(std::move(entry));
    if (keyed) Index(at);
  } else {
    // Positions after the insertion move: the index is built again.
    entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(at), std::move(entry));
    Reindex();
  }
}

const Variant& Collection::Item(const Variant& indexOrKey) const {
  return entries_[PositionOf(indexOrKey)].item;
}

void Collection::Remove(const Variant& indexOrKey) {
  const size_t at = PositionOf(indexOrKey);
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(at));
  Reindex();
}

std::optional<std::wstring> Collection::KeyAt(int32_t index) const {
  if (index < 1 || index > Count()) throw QuillError(ErrNo::SubscriptOutOfRange, kSource);
  const Entry& e = entries_[static_cast<size_t>(index - 1)];
  if (!e.keyed) return std::nullopt;
  return e.key;
}

}  // namespace QuillData::Tessera
