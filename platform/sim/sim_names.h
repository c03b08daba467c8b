// The containers the simulated registry and file system keep their names in: a key's subkeys
// and a directory's entries (NameSet), and a key's values (ValueList). Both find a name
// without regard to case in logarithmic time or better and answer Windows' enumeration by
// index without walking the list from its start, so that a machine with a million keys, or
// a key with tens of thousands of values, costs no more per call than a small one.
// Internal to platform/sim.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_text.h"

namespace qx::sim {

// Values (a set's positions, a list's slots) by the hash of their folded names: open
// addressing with linear probing, at most two thirds full (removed entries count until the
// table is made again), so that adding one costs no allocation of its own.
template <typename Value>
class HashIndex {
 public:
  void Reserve(std::size_t count) {
    if (count * 3 > entries_.size() * 2) Rehash(count);
  }
  void Insert(std::size_t hash, Value value) {
    if ((used_ + 1) * 3 > entries_.size() * 2) Rehash(live_ + 1);
    const std::uint64_t key = Key(hash);
    std::size_t i = Home(key);
    while (entries_[i].key != kEmpty) i = (i + 1) & (entries_.size() - 1);
    entries_[i] = Entry{key, value};
    ++used_;
    ++live_;
  }
  // The first value of that hash that matches says is the one, or null.
  template <typename Matches>
  const Value* Find(std::size_t hash, Matches matches) const {
    if (entries_.empty()) return nullptr;
    const std::uint64_t key = Key(hash);
    for (std::size_t i = Home(key);; i = (i + 1) & (entries_.size() - 1)) {
      const Entry& e = entries_[i];
      if (e.key == kEmpty) return nullptr;
      if (e.key == key && matches(e.value)) return &e.value;
    }
  }
  void Erase(std::size_t hash, const Value& value) {
    if (entries_.empty()) return;
    const std::uint64_t key = Key(hash);
    for (std::size_t i = Home(key);; i = (i + 1) & (entries_.size() - 1)) {
      Entry& e = entries_[i];
      if (e.key == kEmpty) return;
      if (e.key == key && e.value == value) {
        e.key = kRemoved;
        --live_;
        return;
      }
    }
  }

 private:
  // Stored hashes are odd: an even key marks an entry empty or removed.
  static constexpr std::uint64_t kEmpty = 0, kRemoved = 2;
  struct Entry {
    std::uint64_t key = kEmpty;
    Value value{};
  };
  static std::uint64_t Key(std::size_t hash) { return static_cast<std::uint64_t>(hash) | 1; }
  std::size_t Home(std::uint64_t key) const {
    return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> shift_);
  }
  // At most half full afterwards, without the removed entries.
  void Rehash(std::size_t count) {
    std::size_t size = 16;
    int bits = 4;
    for (; size < count * 2; size *= 2) ++bits;
    std::vector<Entry> old = std::exchange(entries_, std::vector<Entry>(size));
    shift_ = 64 - bits;
    used_ = live_ = 0;
    for (const Entry& e : old) {
      if (!(e.key & 1)) continue;
      std::size_t i = Home(e.key);
      while (entries_[i].key != kEmpty) i = (i + 1) & (size - 1);
      entries_[i] = e;
      ++used_;
      ++live_;
    }
  }

  std::vector<Entry> entries_;
  std::size_t used_ = 0;  // entries not empty, removed ones among them
  std::size_t live_ = 0;
  int shift_ = 64;
};

// Nodes by folded name, compared in place, with a name alone as well (a transparent order).
template <typename Node>
struct NameOrder {
  using is_transparent = void;
  bool operator()(const std::shared_ptr<Node>& a, const std::shared_ptr<Node>& b) const {
    return cp932::CompareNoCase(a->name, b->name) < 0;
  }
  bool operator()(const std::shared_ptr<Node>& a, std::string_view b) const {
    return cp932::CompareNoCase(a->name, b) < 0;
  }
  bool operator()(std::string_view a, const std::shared_ptr<Node>& b) const {
    return cp932::CompareNoCase(a, b->name) < 0;
  }
};

// Nodes (registry keys, files) in the order of their folded names, the order in which
// Windows enumerates registry subkeys and NTFS directory entries. A node's name is its key
// in the set: it must not change while the node is in one. Each name is kept once, in the
// node; lookups fold in place. An empty set (most keys have no subkeys) holds no more than
// a pointer. A small set (most keys have a few subkeys) is a sorted array of its nodes; a
// large one a tree, so that adding or removing one of a hundred thousand stays cheap.
template <typename Node>
class NameSet {
  using Less = NameOrder<Node>;
  using Set = std::set<std::shared_ptr<Node>, Less>;
  using Array = std::vector<std::shared_ptr<Node>>;

 public:
  // Walks either form. Valid until the set changes.
  class const_iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = std::shared_ptr<Node>;
    using difference_type = std::ptrdiff_t;
    using pointer = const std::shared_ptr<Node>*;
    using reference = const std::shared_ptr<Node>&;
    const_iterator() = default;
    reference operator*() const { return at_ ? *at_ : *it_; }
    pointer operator->() const { return &**this; }
    const_iterator& operator++() {
      if (at_) ++at_;
      else ++it_;
      return *this;
    }
    const_iterator operator++(int) {
      const_iterator old = *this;
      ++*this;
      return old;
    }
    bool operator==(const const_iterator& o) const { return at_ == o.at_ && (at_ || it_ == o.it_); }

   private:
    friend class NameSet;
    explicit const_iterator(pointer at) : at_(at) {}
    explicit const_iterator(typename Set::const_iterator it) : it_(it) {}
    pointer at_ = nullptr;  // in the array; null in the tree
    typename Set::const_iterator it_{};
  };

  const_iterator begin() const {
    if (!impl_) return const_iterator();
    if (impl_->big) return const_iterator(impl_->big->set.begin());
    return const_iterator(impl_->small.data());
  }
  const_iterator end() const {
    if (!impl_) return const_iterator();
    if (impl_->big) return const_iterator(impl_->big->set.end());
    return const_iterator(impl_->small.data() + impl_->small.size());
  }
  std::size_t size() const { return impl_ ? (impl_->big ? impl_->big->set.size() : impl_->small.size()) : 0; }
  bool empty() const { return size() == 0; }

  std::shared_ptr<Node> Find(std::string_view name) const {
    const std::shared_ptr<Node>* found = Lookup(name);
    return found ? *found : nullptr;
  }
  // The same without sharing the node: for a look that ends before the set changes.
  const Node* Peek(std::string_view name) const {
    const std::shared_ptr<Node>* found = Lookup(name);
    return found ? found->get() : nullptr;
  }

  // Adds node unless a node of the same name is there; true when it was added.
  bool Insert(const std::shared_ptr<Node>& node) {
    Impl& m = Made();
    if (m.big) {
      auto [it, added] = m.big->set.insert(node);
      if (!added) return false;
      m.big->Added(it);
      return true;
    }
    auto [pos, found] = Place(m.small, node->name);
    if (found) return false;
    m.small.insert(pos, node);
    m.Grown();
    return true;
  }

  // The node of that name, or a new one from make() put in its place (then created is set).
  // Names often come in order (an image lists a key's subkeys sorted): one after the last
  // costs one comparison.
  template <typename Make>
  std::shared_ptr<Node> FindOrInsert(std::string_view name, Make make, bool& created) {
    created = false;
    Impl& m = Made();
    if (m.big) {
      Big& b = *m.big;
      typename Set::const_iterator pos = b.set.end();
      if (!b.set.empty() && !Less()(*std::prev(b.set.end()), name)) {
        if (auto found = b.Lookup(name); found != b.set.end()) return *found;
        pos = b.set.lower_bound(name);
      }
      std::shared_ptr<Node> node = make();
      b.Added(b.set.insert(pos, node));
      created = true;
      return node;
    }
    auto pos = m.small.end();
    if (!m.small.empty() && !Less()(m.small.back(), name)) {
      bool found = false;
      std::tie(pos, found) = Place(m.small, name);
      if (found) return *pos;
    }
    std::shared_ptr<Node> node = make();
    m.small.insert(pos, node);
    m.Grown();
    created = true;
    return node;
  }

  // Removes the node of that name; false when there is none.
  bool Erase(std::string_view name) {
    if (!impl_) return false;
    Impl& m = *impl_;
    if (!m.big) {
      auto [pos, found] = Place(m.small, name);
      if (!found) return false;
      m.small.erase(pos);
      if (m.small.empty()) impl_.reset();
      return true;
    }
    Big& b = *m.big;
    auto it = b.Lookup(name);
    if (it == b.set.end()) return false;
    b.hash.Erase(cp932::HashNoCase((*it)->name), it);
    if (b.cursorValid) {
      if (it == b.cursor)
        ++b.cursor;  // the next node takes the erased one's index
      else if (b.cursor == b.set.end() || Less()(*it, *b.cursor))
        --b.cursorIndex;
    }
    b.set.erase(it);
    if (b.set.empty()) impl_.reset();
    return true;
  }

  void Clear() { impl_.reset(); }

  // The node at position index (< size()) in the set's order. In a tree, enumeration asks
  // for 0, 1, 2, ...: the walk starts from the position asked for last, so each step costs
  // O(1).
  const std::shared_ptr<Node>& At(std::size_t index) const {
    if (!impl_->big) return impl_->small[index];
    Big& m = *impl_->big;
    const std::size_t n = m.set.size();
    const std::size_t fromBegin = index, fromEnd = n - index;
    std::size_t fromCursor = static_cast<std::size_t>(-1);
    if (m.cursorValid) fromCursor = index > m.cursorIndex ? index - m.cursorIndex : m.cursorIndex - index;
    typename Set::const_iterator it;
    if (fromCursor <= fromBegin && fromCursor <= fromEnd) {
      it = m.cursor;
      std::advance(it, static_cast<std::ptrdiff_t>(index) - static_cast<std::ptrdiff_t>(m.cursorIndex));
    } else if (fromBegin <= fromEnd) {
      it = m.set.begin();
      std::advance(it, static_cast<std::ptrdiff_t>(fromBegin));
    } else {
      it = m.set.end();
      std::advance(it, -static_cast<std::ptrdiff_t>(fromEnd));
    }
    m.cursor = it;
    m.cursorIndex = index;
    m.cursorValid = true;
    return *it;
  }

 private:
  // From this many nodes a set is a tree, which also keeps its nodes by a hash of the
  // folded name (HKEY_USERS of a server with many hives, a vendor's thousands of classes):
  // a lookup then costs one hash and a comparison instead of a comparison per level.
  static constexpr std::size_t kBigFrom = 32;
  using Hash = HashIndex<typename Set::const_iterator>;

  struct Big {
    Set set;
    Hash hash;
    // Where the last enumeration by index stood.
    typename Set::const_iterator cursor{};
    std::size_t cursorIndex = 0;
    bool cursorValid = false;

    typename Set::const_iterator Lookup(std::string_view name) const {
      const typename Set::const_iterator* found = hash.Find(
          cp932::HashNoCase(name), [&](typename Set::const_iterator it) { return cp932::EqualNoCase((*it)->name, name); });
      return found ? *found : set.end();
    }
    // A node just put in the set: the enumeration's position and the hash follow it.
    void Added(typename Set::const_iterator it) {
      if (cursorValid && (cursor == set.end() || Less()(*it, *cursor))) ++cursorIndex;
      hash.Insert(cp932::HashNoCase((*it)->name), it);
    }
  };

  struct Impl {
    Array small;               // sorted, while the set is small
    std::unique_ptr<Big> big;  // from kBigFrom nodes on (small is then empty)

    // A node was added to the array: from kBigFrom on, the nodes move to a tree.
    void Grown() {
      if (small.size() < kBigFrom) return;
      big = std::make_unique<Big>();
      for (auto& node : small) big->set.insert(big->set.end(), std::move(node));
      Array().swap(small);
      big->hash.Reserve(big->set.size());
      for (auto i = big->set.begin(); i != big->set.end(); ++i) big->hash.Insert(cp932::HashNoCase((*i)->name), i);
    }
  };

  const std::shared_ptr<Node>* Lookup(std::string_view name) const {
    if (!impl_) return nullptr;
    if (impl_->big) {
      auto it = impl_->big->Lookup(name);
      return it == impl_->big->set.end() ? nullptr : &*it;
    }
    auto [pos, found] = Place(impl_->small, name);
    return found ? &*pos : nullptr;
  }
  // Where name is in a sorted array, or would go; and whether it is there.
  static std::pair<typename Array::iterator, bool> Place(Array& a, std::string_view name) {
    auto pos = std::lower_bound(a.begin(), a.end(), name, Less());
    return {pos, pos != a.end() && !Less()(name, *pos)};
  }
  Impl& Made() {
    if (!impl_) impl_ = std::make_unique<Impl>();
    return *impl_;
  }

  std::unique_ptr<Impl> impl_;
};

// A key's values in creation order, each name (folded) at most once. A list is one block of
// memory: a header, a slot per value (where its name and data lie, and its type), then the
// names and data themselves, packed (a server's keys hold a few short values each, and a
// value of its own strings took three allocations). Data changed to another size goes to
// the end and the old bytes are dropped when the block is next made again. A long list (a
// user's Devices list holds a value per printer) also gets an index by folded name and a
// count of live slots per position (a Fenwick tree), so that finding, removing and
// enumerating by index all take O(log n). Values are handed out as views, valid until the
// list changes.
class ValueList {
 public:
  class const_iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = RegValueView;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = RegValueView;
    const_iterator() = default;
    const_iterator(const ValueList* list, std::size_t slot) : list_(list), slot_(slot) { Skip(); }
    RegValueView operator*() const { return list_->View(slot_); }
    const_iterator& operator++() {
      ++slot_;
      Skip();
      return *this;
    }
    const_iterator operator++(int) {
      const_iterator old = *this;
      ++*this;
      return old;
    }
    bool operator==(const const_iterator& o) const { return slot_ == o.slot_; }

   private:
    void Skip() {
      if (list_ && list_->index_)
        while (slot_ < list_->Slots() && list_->index_->dead[slot_]) ++slot_;
    }
    const ValueList* list_ = nullptr;
    std::size_t slot_ = 0;
  };

  ValueList() = default;
  ValueList(const ValueList& other) = delete;
  ValueList& operator=(const ValueList& other) = delete;
  ValueList(ValueList&& other) noexcept;
  ValueList& operator=(ValueList&& other) noexcept;
  ~ValueList();

  const_iterator begin() const { return const_iterator(this, 0); }
  const_iterator end() const { return const_iterator(this, Slots()); }
  std::size_t size() const;
  bool empty() const { return size() == 0; }

  // The value at position index (< size()) in creation order.
  RegValueView At(std::size_t index) const;
  // The value of that name (compared as Windows compares names), if there is one.
  std::optional<RegValueView> Find(std::string_view name) const;
  // Changes the value of that name (its name keeps the spelling it was made with), or adds
  // it at the end. data may be a view of this list's own bytes.
  void Set(std::string_view name, DWORD type, std::string_view data);
  // Removes the value of that name; false when there is none.
  bool Erase(std::string_view name);
  void Clear();
  // Room for count more values of bytes bytes of names and data in all, so that a list made
  // in one go takes no more than it holds. A list that outgrows its room still doubles it:
  // a key named again and again, a few values each time, must not copy its whole list each
  // time.
  void Reserve(std::size_t count, std::size_t bytes);
  std::vector<RegValue> ToVector() const;

 private:
  struct Slot {
    std::uint32_t at;  // where the name lies among the bytes; the data follows it
    std::uint32_t nameSize;
    std::uint32_t dataSize;
    DWORD type;
  };
  // The block's header; the slots follow it, then the bytes.
  struct Block {
    std::uint32_t slots;     // in use, removed ones of an indexed list among them
    std::uint32_t slotRoom;  // slots the block has room for
    std::uint32_t bytes;     // in use, dropped ones among them
    std::uint32_t byteRoom;
    std::uint32_t dropped;   // bytes of values changed or removed
    Slot* slot() { return reinterpret_cast<Slot*>(this + 1); }
    const Slot* slot() const { return reinterpret_cast<const Slot*>(this + 1); }
    char* byte() { return reinterpret_cast<char*>(slot() + slotRoom); }
    const char* byte() const { return reinterpret_cast<const char*>(slot() + slotRoom); }
  };
  // The index of a long list (names found by their hash, then compared). dead marks the
  // slots of removed values (they are compacted away once they outnumber the live ones);
  // tree counts the live slots, tree[j - 1] covering the slots (j - lowbit(j), j].
  struct Index {
    HashIndex<std::uint32_t> byName;  // slots by HashNoCase of their names
    std::vector<std::uint8_t> dead;
    std::vector<std::uint32_t> tree;
    std::size_t live = 0;
    std::size_t Prefix(std::size_t j) const;  // live slots among the first j
    void Append(bool alive);
    void Kill(std::size_t slot);
    std::size_t Kth(std::size_t k) const;  // the slot of the k-th live value, k from 1
  };
  static constexpr std::size_t kIndexFrom = 24;  // values in a list that gets an index

  std::size_t Slots() const { return block_ ? block_->slots : 0; }
  RegValueView View(std::size_t slot) const;
  std::string_view NameAt(std::size_t slot) const;
  std::size_t FindSlot(std::string_view name) const;  // Slots() when missing
  // Makes room for more slots and bytes: the block is made again, the bytes of its values
  // packed, when they do not fit. The block it replaced is handed back for the caller to
  // free once it no longer reads from it (null when the block stayed).
  Block* Room(std::size_t moreSlots, std::size_t moreBytes);
  // A new block with this one's values, their bytes packed (without the removed slots of an
  // indexed list when dropRemoved is set).
  Block* Packed(std::size_t slotRoom, std::size_t byteRoom, bool dropRemoved) const;
  static Block* NewBlock(std::size_t slotRoom, std::size_t byteRoom);
  static void Free(Block* block);
  // Puts name and data at the end of the block's bytes (room made for them); where they went.
  static std::uint32_t Append(Block* block, std::string_view name, std::string_view data);
  void BuildIndex();
  void Compact();  // drops the removed slots of an indexed list

  Block* block_ = nullptr;
  std::unique_ptr<Index> index_;
};

}  // namespace qx::sim
