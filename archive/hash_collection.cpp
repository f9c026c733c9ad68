#include "archive/hash_collection.h"

#include <stdexcept>

namespace vn {

void THashCollection::ReplaceNewest(NewestByName::iterator current, THashCollectionItem* replacement) {
  // the same key, so the node is reused rather than freed and allocated again
  auto node = newest_.extract(current);
  node.value() = replacement;
  newest_.insert(std::move(node));
}

void THashCollection::Link(THashCollectionItem& item) {
  // one lookup: the insert finds the newest of an equal name when there is one
  const auto [found, inserted] = newest_.insert(&item);
  if (!inserted) {
    item.older_same_name_ = *found;
    (*found)->newer_same_name_ = &item;
    ReplaceNewest(found, &item);
  }
}

void THashCollection::Unlink(THashCollectionItem& item) {
  THashCollectionItem* older = item.older_same_name_;
  THashCollectionItem* newer = item.newer_same_name_;
  if (older != nullptr) older->newer_same_name_ = newer;
  if (newer != nullptr) {
    newer->older_same_name_ = older;
  } else {
    // the item is the newest of its name: the next older one takes its place in the index
    const auto found = newest_.find(&item);
    if (found != newest_.end()) {
      if (older != nullptr) {
        ReplaceNewest(found, older);
      } else {
        newest_.erase(found);
      }
    }
  }
  item.older_same_name_ = nullptr;
  item.newer_same_name_ = nullptr;
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
  const auto found = newest_.find(name);
  return found == newest_.end() ? -1 : (*found)->cached_index_;
}

void THashCollection::Delete(int index) {
  if (index < 0 || index >= Count()) throw std::out_of_range("THashCollection::Delete: index out of range");
  for (size_t i = static_cast<size_t>(index) + 1; i < items_.size(); ++i) --items_[i]->cached_index_;
  Unlink(*items_[static_cast<size_t>(index)]);
  items_.erase(items_.begin() + index);
}

void THashCollection::Clear() {
  items_.clear();
  newest_.clear();
}

void THashCollectionItem::SetName(const DataString& name) {
  if (name == name_) return;
  // unlinked under the old name, which the name index is keyed by
  if (collection_ != nullptr) collection_->Unlink(*this);
  name_ = name;
  if (collection_ != nullptr) collection_->Link(*this);
}

std::string THashCollectionItem::DisplayName() const {
  if (!name_.empty()) return Cp932ToUtf8Lossy(name_);
  return "item " + std::to_string(cached_index_);
}

}  // namespace vn
