// A collection of owned, named items found by name without regard to letter case in about constant
// time: 256 buckets keyed by a cheap hash of the name, each a chain with the newest item first, so
// that among equal names the one added (or renamed) last is found.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/text.h"

namespace vn {

class THashCollection;

class THashCollectionItem {
 public:
  virtual ~THashCollectionItem() = default;
  THashCollectionItem(const THashCollectionItem&) = delete;
  THashCollectionItem& operator=(const THashCollectionItem&) = delete;

  const DataString& Name() const { return name_; }
  // Renaming moves the item to the head of its new name's chain; the same bytes again do nothing.
  void SetName(const DataString& name);
  // Position in the owning collection.
  int Index() const { return cached_index_; }
  int Bucket() const { return bucket_; }
  THashCollection& Collection() const { return *collection_; }
  // Takes over the name of another item.
  virtual void Assign(const THashCollectionItem& source) { SetName(source.Name()); }
  // The name for messages, or the item's class and position when it has none.
  std::string DisplayName() const;

 protected:
  THashCollectionItem() = default;

 private:
  friend class THashCollection;
  THashCollection* collection_ = nullptr;
  int bucket_ = 0;
  int cached_index_ = -1;
  DataString name_;
  THashCollectionItem* prev_ = nullptr;
  THashCollectionItem* next_in_chain_ = nullptr;
};

class THashCollection {
 public:
  static constexpr int kBucketCount = 256;

  THashCollection() = default;
  virtual ~THashCollection() = default;
  THashCollection(const THashCollection&) = delete;
  THashCollection& operator=(const THashCollection&) = delete;

  // The bucket of a name: 16 x length + first byte + second-to-last byte of the lower-cased name.
  static int HashOf(const DataString& name);

  int Count() const { return static_cast<int>(items_.size()); }
  // Position of the item named `name` (case-insensitive; the latest among equals), or -1.
  virtual int IndexOf(const DataString& name) const;
  // Frees the item at `index`; the items behind it move up one place.
  void Delete(int index);
  void Clear();

 protected:
  // Appends an item (under the empty name) and takes ownership.
  THashCollectionItem& AddItem(std::unique_ptr<THashCollectionItem> item);
  THashCollectionItem& ItemAt(int index) const { return *items_.at(static_cast<size_t>(index)); }

 private:
  friend class THashCollectionItem;
  void Link(THashCollectionItem& item);
  void Unlink(THashCollectionItem& item);

  std::vector<std::unique_ptr<THashCollectionItem>> items_;
  std::array<THashCollectionItem*, kBucketCount> buckets_{};
};

}  // namespace vn
