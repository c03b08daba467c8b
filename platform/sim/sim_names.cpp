#include "platform/sim/sim_names.h"

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

ValueList::ValueList(const ValueList& other) : slots_(other.slots_) {
  if (other.index_) index_ = std::make_unique<Index>(*other.index_);
}

ValueList& ValueList::operator=(const ValueList& other) {
  if (this != &other) {
    slots_ = other.slots_;
    index_ = other.index_ ? std::make_unique<Index>(*other.index_) : nullptr;
  }
  return *this;
}

ValueList::~ValueList() = default;

std::size_t ValueList::size() const { return index_ ? index_->live : slots_.size(); }

const RegValue& ValueList::At(std::size_t index) const {
  return index_ ? slots_[index_->Kth(index + 1)] : slots_[index];
}

std::size_t ValueList::FindSlot(std::string_view name) const {
  if (index_) {
    auto [first, last] = index_->byName.equal_range(cp932::HashNoCase(name));
    for (auto it = first; it != last; ++it)
      if (cp932::EqualNoCase(slots_[it->second].name, name)) return it->second;
    return slots_.size();
  }
  for (std::size_t i = 0; i < slots_.size(); ++i)
    if (slots_[i].name.size() == name.size() && cp932::EqualNoCase(slots_[i].name, name)) return i;
  return slots_.size();
}

const RegValue* ValueList::Find(std::string_view name) const {
  std::size_t slot = FindSlot(name);
  return slot == slots_.size() ? nullptr : &slots_[slot];
}

RegValue* ValueList::Find(std::string_view name) {
  std::size_t slot = FindSlot(name);
  return slot == slots_.size() ? nullptr : &slots_[slot];
}

void ValueList::Set(std::string_view name, DWORD type, std::string data) {
  if (RegValue* v = Find(name)) {
    v->type = type;
    v->data = std::move(data);
    return;
  }
  slots_.push_back(RegValue{std::string(name), type, std::move(data)});
  if (index_) {
    index_->byName.emplace(cp932::HashNoCase(name), static_cast<std::uint32_t>(slots_.size() - 1));
    index_->Append(true);
  } else if (slots_.size() >= kIndexFrom) {
    BuildIndex();
  }
}

bool ValueList::Erase(std::string_view name) {
  std::size_t slot = FindSlot(name);
  if (slot == slots_.size()) return false;
  if (!index_) {
    slots_.erase(slots_.begin() + static_cast<std::ptrdiff_t>(slot));
    return true;
  }
  auto [first, last] = index_->byName.equal_range(cp932::HashNoCase(name));
  for (auto it = first; it != last; ++it) {
    if (it->second == slot) {
      index_->byName.erase(it);
      break;
    }
  }
  index_->Kill(slot);
  slots_[slot] = RegValue{};
  if (slots_.size() - index_->live > index_->live) Compact();
  return true;
}

void ValueList::Clear() {
  slots_.clear();
  index_.reset();
}

std::vector<RegValue> ValueList::ToVector() const { return std::vector<RegValue>(begin(), end()); }

void ValueList::BuildIndex() {
  index_ = std::make_unique<Index>();
  index_->byName.reserve(slots_.size() * 2);
  for (std::size_t i = 0; i < slots_.size(); ++i) {
    index_->byName.emplace(cp932::HashNoCase(slots_[i].name), static_cast<std::uint32_t>(i));
    index_->Append(true);
  }
}

void ValueList::Compact() {
  std::vector<RegValue> live;
  live.reserve(index_->live);
  for (std::size_t i = 0; i < slots_.size(); ++i)
    if (!index_->dead[i]) live.push_back(std::move(slots_[i]));
  slots_ = std::move(live);
  index_.reset();
  if (slots_.size() >= kIndexFrom / 2) BuildIndex();
}

}  // namespace qx::sim
