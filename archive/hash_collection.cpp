#include "archive/hash_collection.h"

#include <stdexcept>

namespace vn {

int THashCollection::HashOf(const DataString& name) {
  // Only the length, the first and the second-to-last byte count; names stored in one folder with
  // numbered suffixes share a chain and are told apart by the comparison.
  const DataString lower = AnsiLowerCase(name);
  uint32_t h = 16u * static_cast<uint32_t>(lower.size());
  if (lower.size() >= 2) h += lower[lower.size() - 2] + lower[0];
  return static_cast<int>(h & 255u);
}

void THashCollection::Link(THashCollectionItem& item) {
  item.bucket_ = HashOf(item.name_);
  THashCollectionItem*& head = buckets_[static_cast<size_t>(item.bucket_)];
  if (head != nullptr) {
    head->prev_ = &item;
    item.next_in_chain_ = head;
  }
  head = &item;
}

void THashCollection::Unlink(THashCollectionItem& item) {
  if (item.prev_ != nullptr) {
    item.prev_->next_in_chain_ = item.next_in_chain_;
    if (item.next_in_chain_ != nullptr) item.next_in_chain_->prev_ = item.prev_;
  } else {
    THashCollectionItem*& head = buckets_[static_cast<size_t>(item.bucket_)];
    head = item.next_in_chain_;
    if (head != nullptr) head->prev_ = nullptr;
  }
  item.prev_ = nullptr;
  item.next_in_chain_ = nullptr;
}

THashCollectionItem& THashCollection::AddItem(std::unique_ptr<THashCollectionItem> item) {
  item->collection_ = this;
  item->cached_index_ = Count();
  items_.push_back(std::move(item));
  THashCollectionItem& added = *items_.back();
  Link(added);
  return added;
}

int THashCollection::IndexOf(const DataString& name) const {
  for (const THashCollectionItem* item = buckets_[static_cast<size_t>(HashOf(name))]; item != nullptr;
       item = item->next_in_chain_) {
    if (AnsiSameText(item->name_, name)) return item->cached_index_;
  }
  return -1;
}

void THashCollection::Delete(int index) {
  if (index < 0 || index >= Count()) throw std::out_of_range("THashCollection::Delete: index out of range");
  for (size_t i = static_cast<size_t>(index) + 1; i < items_.size(); ++i) --items_[i]->cached_index_;
  Unlink(*items_[static_cast<size_t>(index)]);
  items_.erase(items_.begin() + index);
}

void THashCollection::Clear() {
  items_.clear();
  buckets_.fill(nullptr);
}

void THashCollectionItem::SetName(const DataString& name) {
  if (name == name_) return;
  name_ = name;
  if (collection_ != nullptr) {
    collection_->Unlink(*this);
    collection_->Link(*this);
  }
}

std::string THashCollectionItem::DisplayName() const {
  if (!name_.empty()) return Cp932ToUtf8Lossy(name_);
  return "item " + std::to_string(cached_index_);
}

}  // namespace vn
