#pragma once
// The keyed, ordered collection every reader returns. Items keep the order in which they
// were added (or the place before/after asked for); keys are unique, compared exactly, and
// found in O(1).
//
//   auto machinings = db->GETTblMachining();
//   auto hinge = machinings->ItemAs<tblMachining>(L"3");   // text: the key "3"
//   auto first = machinings->ItemAs<tblMachining>(1);      // a number: the 1st item
//   for (const auto& [key, machining] : machinings->Records<tblMachining>()) ...
//   for (const Variant& item : machinings) ...             // the items alone
#include <cstdint>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "QuillData/Export.h"
#include "QuillData/contract/Object.h"
#include "QuillData/contract/RecordType.h"
#include "QuillData/contract/Variant.h"

QUILLDATA_API_BEGIN

namespace QuillData::Tessera {

class RecordArena;

class QUILLDATA_API Collection : public Object {
 public:
  Collection() = default;
  // Records made by NewRecord belong to one collection: a collection is not copied.
  Collection(const Collection&) = delete;
  Collection& operator=(const Collection&) = delete;

  // Adds `item` under `key` (Empty = no key) at the end, or before / after the item that
  // `before` / `after` designate (a 1-based index or a key; at most one of them).
  // Errors: 457 for a key already present, 5 for both positions given or a position key that
  // is not there, 9 for a position index outside 1..Count(), 13 for a key or position that
  // is neither number nor text.
  void Add(const Variant& item, const Variant& key = {}, const Variant& before = {},
           const Variant& after = {});
  // The readers' path: adds at the end under `key`, taking both. When another item holds the
  // key already, this one goes in without a key (reached in order and by index; the first
  // keeps the key) and the result is false: a table whose rows share a key loses no row.
  bool Append(Variant&& item, std::wstring&& key);
  // The readers' fastest path: a new record of `type`, made in the collection's own storage
  // (one block of records after another, so a row costs no allocation of its own), to be
  // filled and then added at the end by AppendNew. A record made here stays alive while the
  // collection or any reference to one of its records does. A second NewRecord before
  // AppendNew starts the record over. Error 51 for a type other than that of the records
  // made before.
  Record& NewRecord(const RecordType& type);
  // Adds the record NewRecord made under `key`, as Append does (false: it went in without
  // the key). Error 5 when there is no new record.
  bool AppendNew(std::wstring_view key);
  // The readers' last step: gives back the room that growing left spare.
  void ShrinkToFit();

  int32_t Count() const noexcept { return static_cast<int32_t>(keys_.size()); }
  // Count as a size_t, for loops with a size_t index (1 to size()).
  size_t size() const noexcept { return keys_.size(); }
  bool empty() const noexcept { return keys_.empty(); }
  // A number is a 1-based index, text is a key: Item(3) is the third item, Item(L"3") (or
  // Item("3")) the item under the key "3". Errors: 9 for an index outside 1..Count(), 5 for a
  // key that is not there, 13 for a value that is neither number nor text. The result is a
  // copy of the item: an object (a record) in it is shared, not copied.
  Variant Item(const Variant& indexOrKey) const;
  void Remove(const Variant& indexOrKey);  // by index or key as Item; the same errors
  bool Contains(const std::wstring& key) const { return Find(key) != kNone; }
  // The key an item was added with, by 1-based index (nullopt when it has none).
  std::optional<std::wstring> KeyAt(int32_t index) const;

  // The item as a record or other object of class T (empty when it is something else), by
  // 1-based index or key as Item; the same errors. The record outlives the collection.
  template <class T>
  std::shared_ptr<T> ItemAs(const Variant& indexOrKey) const {
    static_assert(std::is_base_of_v<Object, T>,
                  "ItemAs<T>: T is a record class such as tblMachining (use Item for a Variant).");
    return std::dynamic_pointer_cast<T>(ObjectAt(PositionOf(indexOrKey)));
  }

  // The items in order, as Variants (copies, as Item gives them).
  class const_iterator;
  const_iterator begin() const;
  const_iterator end() const;

  // The items in order with their keys, each as a record of class T:
  //   for (const auto& [key, machining] : machinings->Records<tblMachining>())
  // key is empty for an item added without one; the record is empty for an item that is not
  // a T.
  template <class T>
  struct KeyedRecord {
    std::wstring key;
    std::shared_ptr<T> record;
  };
  template <class T>
  class RecordRange;
  template <class T>
  RecordRange<T> Records() const {
    static_assert(std::is_base_of_v<Object, T>,
                  "Records<T>: T is a record class such as tblMachining (iterate the collection "
                  "itself for its Variants).");
    return RecordRange<T>(*this);
  }

  void Reserve(size_t n);

 private:
  // An item is a record of the collection's arena (its number there) or, with kOther set,
  // a Variant of others_. While dense_, the item at position p is arena record p and items_
  // stays empty: a reader's collection stores no item references at all.
  //
  // A key is stored in 32 bits: a whole number 0..2^31-1 written in canonical decimal (the
  // readers' usual key) as the number itself; any other text, with kTextKey set, as the offset
  // of its packed form in keyText_ (a length, then each character in 7-bit groups: ASCII
  // takes a byte); kNoKey for an item without a key. Keys are found through an
  // open-addressing index of positions, each slot with its key's hash: a search compares
  // stored keys only where the hashes agree, and the index grows without hashing again.
  static constexpr size_t kNone = static_cast<size_t>(-1);
  static constexpr uint32_t kOther = 0x80000000u;
  static constexpr uint32_t kTextKey = 0x80000000u;
  static constexpr uint32_t kNoKey = 0xFFFFFFFFu;
  class KeyForm;

  size_t Find(std::wstring_view key) const;  // position, or kNone
  size_t Find(const KeyForm& key) const;
  // Find, also telling the free slot where the search ended (when the key is not there).
  size_t Probe(const KeyForm& key, size_t& free) const;
  size_t PositionOf(const Variant& indexOrKey) const;
  uint32_t StoreKey(const KeyForm& key);
  uint32_t HashAt(size_t position) const;
  std::wstring KeyText(size_t position) const;  // empty without a key
  ObjectPtr ObjectAt(size_t position) const;
  Variant ItemAt(size_t position) const;
  // Enters the keyed item at the last position into the index, growing it when needed.
  void IndexLast(uint32_t hash);
  // Builds the index again with `slots` slots, or more when its keys need them.
  void Reindex(size_t slots);
  // Reindex when no position has moved: the slots move as they are.
  void Resize(size_t slots);
  void Undense();
  void Insert(size_t position, uint32_t item, uint32_t key);
  bool AppendItem(uint32_t item, const KeyForm& key);

  std::shared_ptr<RecordArena> arena_;
  std::vector<Variant> others_;
  std::vector<uint32_t> items_;
  std::vector<uint32_t> keys_;
  std::string keyText_;
  std::string packing_;  // where Append, AppendNew and Add pack a key before storing it
  struct Slot {
    uint32_t position = 0;  // position + 1; 0 = free
    uint32_t hash = 0;
  };
  std::vector<Slot> slots_;
  size_t keyed_ = 0;
  uint32_t made_ = 0;  // the arena's records that are items (or were, before a removal)
  bool dense_ = true;
};

class QUILLDATA_API Collection::const_iterator {
 public:
  using iterator_category = std::input_iterator_tag;
  using iterator_concept = std::forward_iterator_tag;
  using value_type = Variant;
  using difference_type = std::ptrdiff_t;
  using reference = Variant;
  struct pointer {
    Variant value;
    const Variant* operator->() const { return &value; }
  };
  const_iterator() = default;
  Variant operator*() const { return c_->ItemAt(at_); }
  pointer operator->() const { return {**this}; }
  const_iterator& operator++() {
    ++at_;
    return *this;
  }
  const_iterator operator++(int) {
    auto copy = *this;
    ++at_;
    return copy;
  }
  bool operator==(const const_iterator&) const = default;

 private:
  friend class Collection;
  const_iterator(const Collection* c, size_t at) : c_(c), at_(at) {}
  const Collection* c_ = nullptr;
  size_t at_ = 0;
};

template <class T>
class Collection::RecordRange {
 public:
  class iterator {
   public:
    using iterator_category = std::input_iterator_tag;
    using iterator_concept = std::forward_iterator_tag;
    using value_type = KeyedRecord<T>;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = KeyedRecord<T>;
    iterator() = default;
    KeyedRecord<T> operator*() const {
      return {c_->KeyText(at_), std::dynamic_pointer_cast<T>(c_->ObjectAt(at_))};
    }
    iterator& operator++() {
      ++at_;
      return *this;
    }
    iterator operator++(int) {
      auto copy = *this;
      ++at_;
      return copy;
    }
    bool operator==(const iterator&) const = default;

   private:
    friend class RecordRange;
    iterator(const Collection* c, size_t at) : c_(c), at_(at) {}
    const Collection* c_ = nullptr;
    size_t at_ = 0;
  };
  iterator begin() const { return iterator(c_, 0); }
  iterator end() const { return iterator(c_, c_->size()); }

 private:
  friend class Collection;
  explicit RecordRange(const Collection& c) : c_(&c) {}
  const Collection* c_;
};

inline Collection::const_iterator Collection::begin() const {
  return const_iterator(this, 0);
}
inline Collection::const_iterator Collection::end() const {
  return const_iterator(this, size());
}

using CollectionPtr = std::shared_ptr<Collection>;

// A reader's result iterates as it is (`for (const Variant& item : machinings)`); an empty
// pointer as an empty collection.
inline const Collection& ItemsOf(const CollectionPtr& c) {
  static const Collection none;
  return c ? *c : none;
}
inline Collection::const_iterator begin(const CollectionPtr& c) {
  return ItemsOf(c).begin();
}
inline Collection::const_iterator end(const CollectionPtr& c) {
  return ItemsOf(c).end();
}

}  // namespace QuillData::Tessera

QUILLDATA_API_END
