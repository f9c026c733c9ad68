#include "archive/hash_collection.h"

#include <algorithm>
#include <cstddef>
#include <stdexcept>

#include "platform/system.h"

namespace vn {

size_t THashCollection::HomeSlot(uint64_t hash) const {
  // the top bits of the hash multiplied by the golden ratio: every bit of the name counts
  return static_cast<size_t>((hash * 0x9E3779B97F4A7C15ull) >> (64 - slot_bits_));
}

size_t THashCollection::FindSlot(const DataString& name, uint64_t hash) const {
  const size_t mask = slots_.size() - 1;
  for (size_t at = HomeSlot(hash);; at = (at + 1) & mask) {
    const Slot& slot = slots_[at];
    if (slot.item == nullptr || (slot.hash == hash && AnsiSameText(slot.item->name_, name))) return at;
  }
}

void THashCollection::Grow(size_t count) {
  size_t wanted = 16;
  int bits = 4;
  while (wanted < 2 * count) {
    wanted *= 2;
    ++bits;
  }
  if (wanted <= slots_.size()) return;
  std::vector<Slot> old(wanted);
  old.swap(slots_);
  slot_bits_ = bits;
  const size_t mask = slots_.size() - 1;
  for (const Slot& slot : old) {
    if (slot.item == nullptr) continue;
    size_t at = HomeSlot(slot.hash);
    while (slots_[at].item != nullptr) at = (at + 1) & mask;
    slots_[at] = slot;
  }
}

void THashCollection::EraseSlot(size_t at) {
  // Backward shift: the slots after it that would no longer be found across the gap move into it.
  const size_t mask = slots_.size() - 1;
  size_t gap = at;
  for (size_t next = (gap + 1) & mask; slots_[next].item != nullptr; next = (next + 1) & mask) {
    const size_t home = HomeSlot(slots_[next].hash);
    // whether home lies cyclically in (gap, next]: the slot is found without passing the gap
    const bool reachable = gap <= next ? (gap < home && home <= next) : (gap < home || home <= next);
    if (reachable) continue;
    slots_[gap] = slots_[next];
    gap = next;
  }
  slots_[gap] = Slot{};
  --names_;
}

void THashCollection::Link(THashCollectionItem& item) {
  if (2 * (names_ + 1) > slots_.size()) Grow(names_ + 1);
  const uint64_t hash = NameHashOf(item.name_);
  Slot& slot = slots_[FindSlot(item.name_, hash)];
  if (slot.item != nullptr) {
    item.older_same_name_ = slot.item;
    slot.item->newer_same_name_ = &item;
  } else {
    slot.hash = hash;
    ++names_;
  }
  slot.item = &item;
}

void THashCollection::Unlink(THashCollectionItem& item) {
  THashCollectionItem* older = item.older_same_name_;
  THashCollectionItem* newer = item.newer_same_name_;
  if (older != nullptr) older->newer_same_name_ = newer;
  if (newer != nullptr) {
    newer->older_same_name_ = older;
  } else if (!slots_.empty()) {
    // the item is the newest of its name: the next older one takes its place in the index
    const size_t at = FindSlot(item.name_, NameHashOf(item.name_));
    if (slots_[at].item == &item) {
      if (older != nullptr) {
        slots_[at].item = older;
      } else {
        EraseSlot(at);
      }
    }
  }
  item.older_same_name_ = nullptr;
  item.newer_same_name_ = nullptr;
}

void* THashCollection::ItemStorage(size_t size) {
  size = (size + alignof(std::max_align_t) - 1) & ~(alignof(std::max_align_t) - 1);
  if (blocks_.empty() || blocks_.back().size - blocks_.back().used < size) {
    // Room for the items Reserve announced (up to 64 MiB at once), else twice the last block's
    // (64 KiB to 4 MiB).
    constexpr size_t kSmallest = size_t{64} << 10, kLargest = size_t{4} << 20, kAnnounced = size_t{64} << 20;
    size_t bytes = blocks_.empty() ? kSmallest : std::min(2 * blocks_.back().size, kLargest);
    bytes = std::max({bytes, std::min(expected_ * size, kAnnounced), size});
    Block block{std::unique_ptr<char[]>(new char[bytes]), bytes, 0};
    AdviseHugePages(block.data.get(), bytes);
    blocks_.push_back(std::move(block));
  }
  Block& block = blocks_.back();
  void* storage = block.data.get() + block.used;
  block.used += size;
  if (expected_ > 0) --expected_;
  return storage;
}

THashCollectionItem& THashCollection::AddItem(THashCollectionItem* item, const DataString& name) {
  items_.emplace_back(item);
  item->collection_ = this;
  item->name_ = name;
  item->cached_index_ = Count() - 1;
  return *item;
}

void THashCollection::LinkPending() const {
  if (linked_.load(std::memory_order_acquire) == items_.size()) return;
  std::lock_guard lock(link_mutex_);
  size_t at = linked_.load(std::memory_order_relaxed);
  if (at == items_.size()) return;
  auto& self = const_cast<THashCollection&>(*this);
  self.Grow(items_.size());
  for (; at < items_.size(); ++at) self.Link(*items_[at]);
  linked_.store(at, std::memory_order_release);
}

int THashCollection::IndexOf(const DataString& name) const {
  LinkPending();
  if (slots_.empty()) return -1;
  const Slot& slot = slots_[FindSlot(name, NameHashOf(name))];
  return slot.item == nullptr ? -1 : slot.item->cached_index_;
}

void THashCollection::Delete(int index) {
  if (index < 0 || index >= Count()) throw std::out_of_range("THashCollection::Delete: index out of range");
  LinkPending();
  for (size_t i = static_cast<size_t>(index) + 1; i < items_.size(); ++i) --items_[i]->cached_index_;
  Unlink(*items_[static_cast<size_t>(index)]);
  items_.erase(items_.begin() + index);
  linked_.store(items_.size(), std::memory_order_release);
}

void THashCollection::Clear() {
  items_.clear();
  blocks_.clear();
  expected_ = 0;
  renamed_ = false;
  slots_.clear();
  slot_bits_ = 0;
  names_ = 0;
  linked_.store(0, std::memory_order_release);
}

void THashCollection::Reserve(int count) {
  if (count <= Count()) return;
  items_.reserve(static_cast<size_t>(count));
  expected_ = static_cast<size_t>(count - Count());
}

bool THashCollectionItem::IsNewestOfName() const {
  if (collection_ != nullptr) collection_->LinkPending();
  return newer_same_name_ == nullptr;
}

void THashCollectionItem::SetName(const DataString& name) {
  if (name == name_) return;
  // unlinked under the old name, which the name index is keyed by; the renamed item becomes the
  // newest of its new name, so everything added before it is linked first
  if (collection_ != nullptr) {
    collection_->LinkPending();
    collection_->Unlink(*this);
    collection_->renamed_ = true;
  }
  name_ = name;
  if (collection_ != nullptr) collection_->Link(*this);
}

std::string THashCollectionItem::DisplayName() const {
  if (!name_.empty()) return Cp932ToUtf8Lossy(name_);
  return "item " + std::to_string(cached_index_);
}

}  // namespace vn
