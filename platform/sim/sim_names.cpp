#include "platform/sim/sim_names.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>
#include <utility>

namespace qx::sim {

std::size_t ValueList::Index::Prefix(std::size_t j) const {
  std::size_t sum = 0;
  for (; j > 0; j -= j & (~j + 1)) sum += tree[j - 1];
  return sum;
}

void ValueList::Index::Append(bool alive) {
  std::size_t j = tree.size() + 1;
  std::size_t low = j & (~j + 1);
  tree.push_back(static_cast<std::uint32_t>((alive ? 1 : 0) + Prefix(j - 1) - Prefix(j - low)));
  dead.push_back(alive ? 0 : 1);
  if (alive) ++live;
}

void ValueList::Index::Kill(std::size_t slot) {
  dead[slot] = 1;
  --live;
  for (std::size_t j = slot + 1; j <= tree.size(); j += j & (~j + 1)) --tree[j - 1];
}

std::size_t ValueList::Index::Kth(std::size_t k) const {
  std::size_t pos = 0;
  std::size_t step = 1;
  while (step * 2 <= tree.size()) step *= 2;
  for (; step > 0; step /= 2) {
    if (pos + step <= tree.size() && tree[pos + step - 1] < k) {
      pos += step;
      k -= tree[pos - 1];
    }
  }
  return pos;
}

ValueList::Block* ValueList::NewBlock(std::size_t slotRoom, std::size_t byteRoom) {
  if (slotRoom > UINT32_MAX || byteRoom > UINT32_MAX) throw std::length_error("a key's values are too large");
  void* memory = ::operator new(sizeof(Block) + slotRoom * sizeof(Slot) + byteRoom);
  return new (memory) Block{0, static_cast<std::uint32_t>(slotRoom), 0, static_cast<std::uint32_t>(byteRoom), 0};
}

void ValueList::Free(Block* block) {
  if (block) ::operator delete(block);
}

ValueList::Block* ValueList::Room(std::size_t moreSlots, std::size_t moreBytes) {
  const std::size_t slots = Slots();
  const std::size_t slotRoom = block_ ? block_->slotRoom : 0;
  const std::size_t byteRoom = block_ ? block_->byteRoom : 0;
  const std::size_t used = block_ ? block_->bytes : 0;
  const std::size_t live = block_ ? block_->bytes - block_->dropped : 0;
  if (block_ && slots + moreSlots <= slotRoom && used + moreBytes <= byteRoom) return nullptr;
  // Growing doubles; packing alone keeps the room when at least half of it is then free, so
  // that data changed to another size again and again does not pack the list each time.
  const std::size_t newSlots = slots + moreSlots > slotRoom ? std::max(slots + moreSlots, 2 * slotRoom) : slotRoom;
  const std::size_t newBytes = live + moreBytes > byteRoom ? std::max(live + moreBytes, 2 * byteRoom)
                                                           : std::max(byteRoom, 2 * (live + moreBytes));
  return std::exchange(block_, Packed(newSlots, newBytes, false));
}

ValueList::Block* ValueList::Packed(std::size_t slotRoom, std::size_t byteRoom, bool dropRemoved) const {
  Block* made = NewBlock(slotRoom, byteRoom);
  for (std::size_t i = 0; i < Slots(); ++i) {
    if (dropRemoved && index_->dead[i]) continue;
    const RegValueView v = View(i);
    Slot s = block_->slot()[i];
    s.at = Append(made, v.name, v.data);
    made->slot()[made->slots++] = s;
  }
  return made;
}

std::uint32_t ValueList::Append(Block* block, std::string_view name, std::string_view data) {
  const std::uint32_t at = block->bytes;
  char* to = block->byte() + at;
  if (!name.empty()) std::memcpy(to, name.data(), name.size());
  if (!data.empty()) std::memcpy(to + name.size(), data.data(), data.size());
  block->bytes += static_cast<std::uint32_t>(name.size() + data.size());
  return at;
}

ValueList::ValueList(ValueList&& other) noexcept
    : block_(std::exchange(other.block_, nullptr)), index_(std::move(other.index_)) {}

ValueList& ValueList::operator=(ValueList&& other) noexcept {
  if (this != &other) {
    Clear();
    block_ = std::exchange(other.block_, nullptr);
    index_ = std::move(other.index_);
  }
  return *this;
}

ValueList::~ValueList() { Free(block_); }

std::size_t ValueList::size() const { return index_ ? index_->live : Slots(); }

RegValueView ValueList::View(std::size_t slot) const {
  const Slot& s = block_->slot()[slot];
  const char* p = block_->byte() + s.at;
  return RegValueView(std::string_view(p, s.nameSize), s.type, std::string_view(p + s.nameSize, s.dataSize));
}

std::string_view ValueList::NameAt(std::size_t slot) const {
  const Slot& s = block_->slot()[slot];
  return std::string_view(block_->byte() + s.at, s.nameSize);
}

RegValueView ValueList::At(std::size_t index) const { return View(index_ ? index_->Kth(index + 1) : index); }

std::size_t ValueList::FindSlot(std::string_view name) const {
  if (index_) {
    const std::uint32_t* slot = index_->byName.Find(
        cp932::HashNoCase(name), [&](std::uint32_t at) { return cp932::EqualNoCase(NameAt(at), name); });
    return slot ? *slot : Slots();
  }
  // Names of another length, or whose first bytes differ even without case (bit 0x20 set in
  // both makes a letter lower case and leaves the rest as they were), are not the name.
  if (!block_) return 0;
  const Slot* slots = block_->slot();
  const char* bytes = block_->byte();
  const unsigned char first = name.empty() ? 0 : static_cast<unsigned char>(name.front()) | 0x20;
  for (std::size_t i = 0; i < Slots(); ++i) {
    if (slots[i].nameSize != name.size()) continue;
    if (!name.empty() && (static_cast<unsigned char>(bytes[slots[i].at]) | 0x20) != first) continue;
    if (cp932::EqualNoCase(NameAt(i), name)) return i;
  }
  return Slots();
}

std::optional<RegValueView> ValueList::Find(std::string_view name) const {
  const std::size_t slot = FindSlot(name);
  if (slot == Slots()) return std::nullopt;
  return View(slot);
}

void ValueList::Set(std::string_view name, DWORD type, std::string_view data) {
  const std::size_t slot = FindSlot(name);
  if (slot < Slots()) {
    Slot& s = block_->slot()[slot];
    s.type = type;
    if (s.dataSize == data.size()) {
      if (!data.empty()) std::memmove(block_->byte() + s.at + s.nameSize, data.data(), data.size());
      return;
    }
    const std::size_t nameSize = s.nameSize;
    // The old block stays until the new bytes are in: data may lie in it.
    Block* old = Room(0, nameSize + data.size());
    Slot& moved = block_->slot()[slot];
    block_->dropped += moved.nameSize + moved.dataSize;
    moved.at = Append(block_, NameAt(slot), data);
    moved.dataSize = static_cast<std::uint32_t>(data.size());
    Free(old);
    return;
  }
  Block* old = Room(1, name.size() + data.size());
  const std::uint32_t at = Append(block_, name, data);
  block_->slot()[block_->slots++] =
      Slot{at, static_cast<std::uint32_t>(name.size()), static_cast<std::uint32_t>(data.size()), type};
  Free(old);
  if (index_) {
    index_->byName.Insert(cp932::HashNoCase(name), static_cast<std::uint32_t>(Slots() - 1));
    index_->Append(true);
  } else if (Slots() >= kIndexFrom) {
    BuildIndex();
  }
}

bool ValueList::Erase(std::string_view name) {
  const std::size_t slot = FindSlot(name);
  if (slot == Slots()) return false;
  Slot* slots = block_->slot();
  block_->dropped += slots[slot].nameSize + slots[slot].dataSize;
  if (!index_) {
    std::memmove(slots + slot, slots + slot + 1, (Slots() - slot - 1) * sizeof(Slot));
    if (--block_->slots == 0) Clear();
    return true;
  }
  index_->byName.Erase(cp932::HashNoCase(name), static_cast<std::uint32_t>(slot));
  index_->Kill(slot);
  slots[slot].nameSize = slots[slot].dataSize = 0;
  if (Slots() - index_->live > index_->live) Compact();
  return true;
}

void ValueList::Clear() {
  Free(std::exchange(block_, nullptr));
  index_.reset();
}

void ValueList::Reserve(std::size_t count, std::size_t bytes) { Free(Room(count, bytes)); }

std::vector<RegValue> ValueList::ToVector() const {
  std::vector<RegValue> out;
  out.reserve(size());
  for (RegValueView v : *this) out.push_back(v.Copy());
  return out;
}

void ValueList::BuildIndex() {
  index_ = std::make_unique<Index>();
  index_->byName.Reserve(Slots());
  for (std::size_t i = 0; i < Slots(); ++i) {
    index_->byName.Insert(cp932::HashNoCase(NameAt(i)), static_cast<std::uint32_t>(i));
    index_->Append(true);
  }
}

void ValueList::Compact() {
  const std::size_t live = index_->live;
  Free(std::exchange(block_, Packed(live, block_->bytes - block_->dropped, true)));
  index_.reset();
  if (live >= kIndexFrom / 2) BuildIndex();
}

}  // namespace qx::sim
