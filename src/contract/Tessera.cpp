#include "QuillData/contract/Tessera.h"

#include <algorithm>
#include <bit>
#include <functional>
#include <new>

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

// The key's whole number when the text is one written canonically (no sign, no leading zero)
// and below 2^31; else -1.
int64_t CanonicalNumber(std::wstring_view key) {
  if (key.empty() || key.size() > 10 || (key[0] == L'0' && key.size() > 1)) return -1;
  int64_t value = 0;
  for (wchar_t c : key) {
    if (c < L'0' || c > L'9') return -1;
    value = value * 10 + (c - L'0');
  }
  return value <= INT32_MAX ? value : -1;
}

uint32_t HashBytes(std::string_view bytes) {
  const uint64_t hash = std::hash<std::string_view>{}(bytes);
  return static_cast<uint32_t>(hash ^ (hash >> 32));
}

// Any number of slots does. A whole-number key is its own hash: the readers' keys mostly
// count up, and consecutive numbers then take consecutive slots.
size_t SlotOf(uint32_t hash, size_t slots) {
  return hash % static_cast<uint32_t>(slots);
}

void PutGroups(std::string& out, uint32_t value) {
  while (value >= 0x80) {
    out += static_cast<char>((value & 0x7F) | 0x80);
    value >>= 7;
  }
  out += static_cast<char>(value);
}

uint32_t TakeGroups(const char*& p) {
  uint32_t value = 0;
  for (int shift = 0;; shift += 7) {
    const auto b = static_cast<unsigned char>(*p++);
    value |= static_cast<uint32_t>(b & 0x7F) << shift;
    if (b < 0x80) return value;
  }
}

// The packed characters of a text key stored at `offset`: its bytes after the length.
std::string_view PackedAt(const std::string& text, uint32_t offset) {
  const char* p = text.data() + offset;
  const uint32_t n = TakeGroups(p);
  return {p, n};
}

// Slots for `keyed` keys at most half full while the collection grows.
size_t GrowSlots(size_t keyed) {
  return keyed < 8 ? 16 : std::min<size_t>(keyed * 4, UINT32_MAX);
}

}  // namespace

// The records NewRecord makes: blocks of records of one class, each block twice the size of
// the one before up to a cap, then of the cap; a record's number finds its block without a
// table. The records live until the last reference to any of them goes.
class RecordArena {
 public:
  explicit RecordArena(const RecordType& type)
      : type_(type), stride_(type.Size()), maxShift_(MaxShift(type.Size())) {}
  RecordArena(const RecordArena&) = delete;
  RecordArena& operator=(const RecordArena&) = delete;
  ~RecordArena() {
    uint32_t left = made_;
    for (size_t b = 0; b < blocks_.size(); ++b) {
      for (size_t i = 0; i < BlockSize(b) && left > 0; ++i, --left) {
        std::launder(reinterpret_cast<Record*>(blocks_[b] + i * stride_ + base_))->~Record();
      }
      ::operator delete(blocks_[b]);
    }
  }

  const RecordType& Type() const { return type_; }
  uint32_t Made() const { return made_; }

  Record* At(uint32_t n) const {
    auto [block, offset] = Place(n);
    return std::launder(reinterpret_cast<Record*>(blocks_[block] + offset * stride_ + base_));
  }

  // Builds record number Made() and counts it.
  Record& Make() {
    auto [block, offset] = Place(made_);
    if (block == blocks_.size()) {
      blocks_.push_back(nullptr);
      try {
        blocks_.back() = static_cast<std::byte*>(::operator new(BlockSize(block) * stride_));
      } catch (...) {
        blocks_.pop_back();
        throw;
      }
    }
    std::byte* storage = blocks_[block] + offset * stride_;
    Record* r = type_.Construct(storage);
    base_ = reinterpret_cast<std::byte*>(r) - storage;
    ++made_;
    return *r;
  }
  // Builds the last record again from nothing.
  Record& Remake() {
    Record* last = At(made_ - 1);
    last->~Record();
    --made_;
    return Make();
  }

 private:
  static constexpr uint32_t kFirstShift = 3;  // the first block holds 8 records
  // Blocks stop growing at about 16 KiB: a larger last block would leave more room unused.
  static uint32_t MaxShift(size_t stride) {
    uint32_t shift = kFirstShift;
    while (shift < 16 && (size_t{2} << shift) * stride <= 16384) ++shift;
    return shift;
  }
  size_t BlockSize(size_t block) const {
    return size_t{1} << (kFirstShift + std::min<size_t>(block, maxShift_ - kFirstShift));
  }
  // The block and place in it of record `n`.
  std::pair<size_t, size_t> Place(uint32_t n) const {
    const uint32_t growing = maxShift_ - kFirstShift;  // blocks before the capped ones
    const uint64_t inGrowing = ((uint64_t{1} << growing) - 1) << kFirstShift;
    if (n < inGrowing) {
      const uint32_t b = std::bit_width((n >> kFirstShift) + 1) - 1;
      return {b, n - (((uint64_t{1} << b) - 1) << kFirstShift)};
    }
    const uint64_t rest = n - inGrowing;
    return {growing + (rest >> maxShift_), rest & ((uint64_t{1} << maxShift_) - 1)};
  }

  const RecordType& type_;
  size_t stride_;
  uint32_t maxShift_;
  uint32_t made_ = 0;
  std::ptrdiff_t base_ = 0;  // where the Record part of a record starts
  std::vector<std::byte*> blocks_;
};

// A key as the collection stores it: a canonical whole number, or the packed text. The text is
// packed into a buffer of the caller's, so that a reader appending row after row reuses one.
class Collection::KeyForm {
 public:
  KeyForm(std::wstring_view key, std::string& buffer) {
    number_ = CanonicalNumber(key);
    if (number_ >= 0) {
      hash_ = static_cast<uint32_t>(number_);
      return;
    }
    // ASCII, the usual key, is a byte a character: copied in a plain loop into a buffer that
    // only ever grows, so that a reader's keys after the first need no resizing.
    if (buffer.size() < key.size()) buffer.resize(key.size());
    char* out = buffer.data();
    size_t ascii = 0;
    while (ascii < key.size() && static_cast<uint32_t>(key[ascii]) < 0x80) {
      out[ascii] = static_cast<char>(key[ascii]);
      ++ascii;
    }
    if (ascii == key.size()) {
      packed_ = std::string_view(out, ascii);
    } else {
      buffer.resize(ascii);
      for (size_t i = ascii; i < key.size(); ++i) PutGroups(buffer, static_cast<uint32_t>(key[i]));
      packed_ = buffer;
    }
    hash_ = HashBytes(packed_);
  }
  bool IsNumber() const { return number_ >= 0; }
  uint32_t Number() const { return static_cast<uint32_t>(number_); }
  std::string_view Packed() const { return packed_; }
  uint32_t Hash() const { return hash_; }

 private:
  int64_t number_ = -1;
  std::string_view packed_;
  uint32_t hash_ = 0;
};

uint32_t Collection::HashAt(size_t position) const {
  const uint32_t key = keys_[position];
  if ((key & kTextKey) == 0) return key;
  return HashBytes(PackedAt(keyText_, key & ~kTextKey));
}

std::wstring Collection::KeyText(size_t position) const {
  const uint32_t key = keys_[position];
  if (key == kNoKey) return {};
  if ((key & kTextKey) == 0) return std::to_wstring(key);
  const std::string_view packed = PackedAt(keyText_, key & ~kTextKey);
  std::wstring text;
  text.reserve(packed.size());
  for (const char* p = packed.data(); p != packed.data() + packed.size();) {
    text += static_cast<wchar_t>(TakeGroups(p));
  }
  return text;
}

size_t Collection::Find(std::wstring_view key) const {
  std::string buffer;  // not the collection's own: readers of a collection may share it
  return Find(KeyForm(key, buffer));
}

size_t Collection::Find(const KeyForm& key) const {
  size_t free = 0;
  return Probe(key, free);
}

size_t Collection::Probe(const KeyForm& key, size_t& free) const {
  if (slots_.empty()) return kNone;
  const size_t n = slots_.size();
  for (size_t i = SlotOf(key.Hash(), n);; i = i + 1 == n ? 0 : i + 1) {
    const Slot& slot = slots_[i];
    if (slot.position == 0) {
      free = i;
      return kNone;
    }
    if (slot.hash != key.Hash()) continue;
    const size_t at = slot.position - 1;
    const uint32_t stored = keys_[at];
    if (key.IsNumber()) {
      if (stored == key.Number()) return at;
    } else if ((stored & kTextKey) != 0 && PackedAt(keyText_, stored & ~kTextKey) == key.Packed()) {
      return at;
    }
  }
}

uint32_t Collection::StoreKey(const KeyForm& key) {
  if (key.IsNumber()) return key.Number();
  const size_t offset = keyText_.size();
  // The offset must leave kNoKey free.
  if (offset + key.Packed().size() + 5 >= kNoKey - kTextKey) {
    throw QuillError(ErrNo::OutOfMemory, kSource);
  }
  PutGroups(keyText_, static_cast<uint32_t>(key.Packed().size()));
  keyText_ += key.Packed();
  return static_cast<uint32_t>(offset) | kTextKey;
}

void Collection::IndexLast(uint32_t hash) {
  if ((keyed_ + 1) * 2 > slots_.size()) Resize(GrowSlots(keyed_ + 1));
  const size_t n = slots_.size();
  size_t i = SlotOf(hash, n);
  while (slots_[i].position != 0) i = i + 1 == n ? 0 : i + 1;
  slots_[i] = {static_cast<uint32_t>(keys_.size()), hash};
  ++keyed_;
}

void Collection::Reindex(size_t slots) {
  size_t keyed = 0;
  for (uint32_t key : keys_) keyed += key != kNoKey;
  // At most four keys in five slots: a probe always ends at a free one.
  const size_t n = std::max(slots, keyed + keyed / 4 + 1);
  slots_.assign(n, Slot{});
  keyed_ = 0;
  for (size_t pos = 0; pos < keys_.size(); ++pos) {
    if (keys_[pos] == kNoKey) continue;
    const uint32_t hash = HashAt(pos);
    size_t i = SlotOf(hash, n);
    while (slots_[i].position != 0) i = i + 1 == n ? 0 : i + 1;
    slots_[i] = {static_cast<uint32_t>(pos + 1), hash};
    ++keyed_;
  }
}

void Collection::Resize(size_t slots) {
  const size_t n = std::max(slots, keyed_ + keyed_ / 4 + 1);  // as in Reindex
  std::vector<Slot> old(n);
  old.swap(slots_);
  for (const Slot& slot : old) {
    if (slot.position == 0) continue;
    size_t i = SlotOf(slot.hash, n);
    while (slots_[i].position != 0) i = i + 1 == n ? 0 : i + 1;
    slots_[i] = slot;
  }
}

void Collection::Reserve(size_t n) {
  if (n <= keys_.size()) return;
  keys_.reserve(n);
  if (!dense_) items_.reserve(n);
  // Half full at most once all n are in: the index then does not grow on the way.
  if (slots_.size() < 2 * n + 2) Resize(2 * n + 2);
}

void Collection::ShrinkToFit() {
  keys_.shrink_to_fit();
  items_.shrink_to_fit();
  others_.shrink_to_fit();
  keyText_.shrink_to_fit();
  // The index at its fullest (see Reindex): a search still ends after a few probes.
  if (keyed_ > 0) Resize(0);
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

ObjectPtr Collection::ObjectAt(size_t position) const {
  const uint32_t item = dense_ ? static_cast<uint32_t>(position) : items_[position];
  if ((item & kOther) != 0) {
    const ObjectPtr* object = others_[item & ~kOther].Get<ObjectPtr>();
    return object ? *object : nullptr;
  }
  // Shares the arena: the record lives as long as this reference does.
  return ObjectPtr(arena_, arena_->At(item));
}

Variant Collection::ItemAt(size_t position) const {
  const uint32_t item = dense_ ? static_cast<uint32_t>(position) : items_[position];
  if ((item & kOther) != 0) return others_[item & ~kOther];
  return Variant(ObjectAt(position));
}

void Collection::Undense() {
  if (!dense_) return;
  items_.resize(keys_.size());
  for (size_t i = 0; i < items_.size(); ++i) items_[i] = static_cast<uint32_t>(i);
  dense_ = false;
}

void Collection::Insert(size_t position, uint32_t item, uint32_t key) {
  if (keys_.size() >= INT32_MAX) throw QuillError(ErrNo::OutOfMemory, kSource);
  if (!dense_ || item != position || position != keys_.size()) Undense();
  if (!dense_) items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(position), item);
  keys_.insert(keys_.begin() + static_cast<std::ptrdiff_t>(position), key);
}

bool Collection::AppendItem(uint32_t item, const KeyForm& key) {
  if ((keyed_ + 1) * 2 > slots_.size()) Resize(GrowSlots(keyed_ + 1));
  size_t free = 0;
  if (Probe(key, free) != kNone) {
    Insert(keys_.size(), item, kNoKey);
    return false;
  }
  Insert(keys_.size(), item, StoreKey(key));
  slots_[free] = {static_cast<uint32_t>(keys_.size()), key.Hash()};
  ++keyed_;
  return true;
}

bool Collection::Append(Variant&& item, std::wstring&& key) {
  const KeyForm form(key, packing_);
  const auto other = static_cast<uint32_t>(others_.size()) | kOther;
  others_.push_back(std::move(item));
  try {
    return AppendItem(other, form);
  } catch (...) {
    others_.pop_back();
    throw;
  }
}

Record& Collection::NewRecord(const RecordType& type) {
  if (!arena_) arena_ = std::make_shared<RecordArena>(type);
  if (&arena_->Type() != &type) {
    throw QuillError(ErrNo::InternalError, kSource,
                     L"A collection's records are of one class: " + std::wstring(type.Name()));
  }
  // A record made but not added is the last one of the arena: start it over.
  return arena_->Made() > made_ ? arena_->Remake() : arena_->Make();
}

bool Collection::AppendNew(std::wstring_view key) {
  if (!arena_ || arena_->Made() == made_) throw QuillError(ErrNo::InvalidProcedureCall, kSource);
  const bool appended = AppendItem(arena_->Made() - 1, KeyForm(key, packing_));
  made_ = arena_->Made();
  return appended;
}

void Collection::Add(const Variant& item, const Variant& key, const Variant& before,
                     const Variant& after) {
  if (!before.IsEmpty() && !after.IsEmpty()) throw QuillError(ErrNo::InvalidProcedureCall, kSource);
  std::optional<KeyForm> form;
  if (!key.IsEmpty()) {
    const auto* text = key.Get<std::wstring>();
    if (!text) throw QuillError(ErrNo::TypeMismatch, kSource);
    form.emplace(*text, packing_);
    if (Find(*form) != kNone) throw QuillError(ErrNo::DuplicateKey, kSource);
  }
  size_t at = keys_.size();
  if (!before.IsEmpty()) at = PositionOf(before);
  if (!after.IsEmpty()) at = PositionOf(after) + 1;
  const auto other = static_cast<uint32_t>(others_.size()) | kOther;
  others_.push_back(item);
  try {
    const uint32_t stored = form ? StoreKey(*form) : kNoKey;
    Insert(at, other, stored);
  } catch (...) {
    others_.pop_back();
    throw;
  }
  if (at + 1 == keys_.size()) {
    if (form) IndexLast(form->Hash());
  } else {
    // Positions after the insertion move: the index is built again.
    Reindex(slots_.size());
  }
}

Variant Collection::Item(const Variant& indexOrKey) const {
  return ItemAt(PositionOf(indexOrKey));
}

void Collection::Remove(const Variant& indexOrKey) {
  const size_t at = PositionOf(indexOrKey);
  Undense();
  const uint32_t item = items_[at];
  // A record of the arena stays there (references to it may be held); another item goes.
  if ((item & kOther) != 0) others_[item & ~kOther] = Variant();
  items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(at));
  keys_.erase(keys_.begin() + static_cast<std::ptrdiff_t>(at));
  Reindex(slots_.size());
}

std::optional<std::wstring> Collection::KeyAt(int32_t index) const {
  if (index < 1 || index > Count()) throw QuillError(ErrNo::SubscriptOutOfRange, kSource);
  const auto at = static_cast<size_t>(index - 1);
  if (keys_[at] == kNoKey) return std::nullopt;
  return KeyText(at);
}

}  // namespace QuillData::Tessera
