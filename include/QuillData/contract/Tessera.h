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

#include "QuillData/contract/Object.h"
#include "QuillData/contract/Variant.h"

namespace QuillData::Tessera {

class Collection : public Object {
 public:
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
  int32_t Count() const noexcept { return static_cast<int32_t>(entries_.size()); }
  // Count as a size_t, for loops with a size_t index (1 to size()).
  size_t size() const noexcept { return entries_.size(); }
  bool empty() const noexcept { return entries_.empty(); }
  // A number is a 1-based index, text is a key: Item(3) is the third item, Item(L"3") (or
  // Item("3")) the item under the key "3". Errors: 9 for an index outside 1..Count(), 5 for a
  // key that is not there, 13 for a value that is neither number nor text.
  const Variant& Item(const Variant& indexOrKey) const;
  void Remove(const Variant& indexOrKey);  // by index or key as Item; the same errors
  bool Contains(const std::wstring& key) const { return Find(key) != kNone; }
  // The key an item was added with, by 1-based index (nullopt when it has none).
  std::optional<std::wstring> KeyAt(int32_t index) const;

  // The item as a record or other object of class T (empty when it is something else), by
  // 1-based index or key as Item; the same errors.
  template <class T>
  std::shared_ptr<T> ItemAs(const Variant& indexOrKey) const {
    static_assert(std::is_base_of_v<Object, T>,
                  "ItemAs<T>: T is a record class such as tblMachining (use Item for a Variant).");
    return Item(indexOrKey).template ObjectAs<T>();
  }

  // The items in order, as Variants.
  class const_iterator;
  const_iterator begin() const;
  const_iterator end() const;

  // The items in order with their keys, each as a record of class T:
  //   for (const auto& [key, machining] : machinings->Records<tblMachining>())
  // key is empty for an item added without one; the record is empty for an item that is not
  // a T.
  template <class T>
  struct KeyedRecord {
    std::wstring_view key;
    std::shared_ptr<T> record;
  };
  template <class T>
  class RecordRange;
  template <class T>
  RecordRange<T> Records() const {
    static_assert(std::is_base_of_v<Object, T>,
                  "Records<T>: T is a record class such as tblMachining (iterate the collection "
                  "itself for its Variants).");
    return RecordRange<T>(entries_);
  }

  void Reserve(size_t n);

 private:
  // Items live in order in one vector; keys are found through an open-addressing index of
  // positions, so an item costs no allocation of its own and a lookup hashes once.
  struct Entry {
    Variant item;
    std::wstring key;
    size_t hash = 0;
    bool keyed = false;
  };
  static constexpr size_t kNone = static_cast<size_t>(-1);
  size_t Find(std::wstring_view key) const;  // position, or kNone
  size_t Find(std::wstring_view key, size_t hash) const;
  size_t PositionOf(const Variant& indexOrKey) const;
  void Index(size_t position);  // enters a keyed entry into the index
  void Reindex(size_t minimumSlots = 0);

  std::vector<Entry> entries_;
  std::vector<uint32_t> slots_;  // position + 1; 0 = free
  size_t keyed_ = 0;
};

class Collection::const_iterator {
 public:
  using iterator_category = std::forward_iterator_tag;
  using value_type = Variant;
  using difference_type = std::ptrdiff_t;
  using pointer = const Variant*;
  using reference = const Variant&;
  const_iterator() = default;
  reference operator*() const { return it_->item; }
  pointer operator->() const { return &it_->item; }
  const_iterator& operator++() {
    ++it_;
    return *this;
  }
  const_iterator operator++(int) {
    auto copy = *this;
    ++it_;
    return copy;
  }
  bool operator==(const const_iterator&) const = default;

 private:
  friend class Collection;
  explicit const_iterator(std::vector<Entry>::const_iterator it) : it_(it) {}
  std::vector<Entry>::const_iterator it_;
};

template <class T>
class Collection::RecordRange {
 public:
  class iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = KeyedRecord<T>;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = KeyedRecord<T>;
    iterator() = default;
    KeyedRecord<T> operator*() const {
      return {it_->keyed ? std::wstring_view(it_->key) : std::wstring_view(),
              it_->item.template ObjectAs<T>()};
    }
    iterator& operator++() {
      ++it_;
      return *this;
    }
    iterator operator++(int) {
      auto copy = *this;
      ++it_;
      return copy;
    }
    bool operator==(const iterator&) const = default;

   private:
    friend class RecordRange;
    explicit iterator(std::vector<Entry>::const_iterator it) : it_(it) {}
    std::vector<Entry>::const_iterator it_;
  };
  iterator begin() const { return iterator(entries_->begin()); }
  iterator end() const { return iterator(entries_->end()); }

 private:
  friend class Collection;
  explicit RecordRange(const std::vector<Entry>& entries) : entries_(&entries) {}
  const std::vector<Entry>* entries_;
};

inline Collection::const_iterator Collection::begin() const {
  return const_iterator(entries_.begin());
}
inline Collection::const_iterator Collection::end() const {
  return const_iterator(entries_.end());
}

using CollectionPtr = std::shared_ptr<Collection>;

// A reader's result iterates as it is (`for (const Variant& item : machinings)`); an empty
// pointer as no items.
inline Collection::const_iterator begin(const CollectionPtr& c) {
  return c ? c->begin() : Collection::const_iterator();
}
inline Collection::const_iterator end(const CollectionPtr& c) {
  return c ? c->end() : Collection::const_iterator();
}

}  // namespace QuillData::Tessera
