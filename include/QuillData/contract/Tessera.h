#pragma once
// The keyed, ordered collection every reader returns. Items keep the order in which they
// were added (or the place before/after asked for); keys are unique, compared exactly, and
// found in O(1).
#include <cstdint>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "QuillData/contract/Object.h"
#include "QuillData/contract/Variant.h"

namespace QuillData::Tessera {

class Collection : public Object {
 public:
  // Adds `item` under `key` (Empty = no key) at the end, or before / after the item that
  // `before` / `after` designate (a 1-based index or a key; at most one of them).
  // Errors: 457 for a key already present, 5 for both positions given, 9 for a position that
  // designates no item, 13 for a key or position that is neither number nor text.
  void Add(const Variant& item, const Variant& key = {}, const Variant& before = {},
           const Variant& after = {});
  // The readers' path: adds at the end under `key`, taking both. When another item holds the
  // key already, this one goes in without a key (reached in order and by index; the first
  // keeps the key) and the result is false: a table whose rows share a key loses no row.
  bool Append(Variant&& item, std::wstring&& key);
  int32_t Count() const noexcept { return static_cast<int32_t>(entries_.size()); }
  // The item at a 1-based index or under a key; error 9 when there is none, 5 for an index
  // that is not a whole number or a key that is not text.
  const Variant& Item(const Variant& indexOrKey) const;
  void Remove(const Variant& indexOrKey);
  bool Contains(const std::wstring& key) const { return Find(key) != kNone; }
  // The key an item was added with, by 1-based index (nullopt when it has none).
  std::optional<std::wstring> KeyAt(int32_t index) const;

  // The item as a record or other object of class T (empty when it is something else).
  template <class T>
  std::shared_ptr<T> ItemAs(const Variant& indexOrKey) const {
    return Item(indexOrKey).template ObjectAs<T>();
  }

  class const_iterator;
  const_iterator begin() const;
  const_iterator end() const;

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

inline Collection::const_iterator Collection::begin() const {
  return const_iterator(entries_.begin());
}
inline Collection::const_iterator Collection::end() const {
  return const_iterator(entries_.end());
}

using CollectionPtr = std::shared_ptr<Collection>;

}  // namespace QuillData::Tessera
