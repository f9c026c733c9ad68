// A collection of owned, named items found by name without regard to letter case in about constant
// time; among equal names the one added (or renamed) last is found.
//
// An index hashes the whole case-folded name and holds, for each name, the item linked last; items
// of equal names form their own list, newest first, so that unlinking one gives the index back to
// the next older one. Items are linked into the index when it is first asked, in the order they
// were added: a collection read in whole and only gone through (a directory listed, copied into
// another data file, checked) never builds it.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
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
  // Renaming makes the item the newest of its new name; the same bytes again do nothing.
  void SetName(const DataString& name);
  // Position in the owning collection.
  int Index() const { return cached_index_; }
  // Whether the collection finds this item under its name: no item of an equal name came after it.
  bool IsNewestOfName() const;
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
  int cached_index_ = -1;
  DataString name_;
  // The items of the same name (without regard to case) linked before and after this one.
  THashCollectionItem* older_same_name_ = nullptr;
  THashCollectionItem* newer_same_name_ = nullptr;
};

class THashCollection {
 public:
  THashCollection() = default;
  virtual ~THashCollection() = default;
  THashCollection(const THashCollection&) = delete;
  THashCollection& operator=(const THashCollection&) = delete;

  int Count() const { return static_cast<int>(items_.size()); }
  // Position of the item named `name` (case-insensitive; the latest among equals), or -1.
  virtual int IndexOf(const DataString& name) const;
  // Frees the item at `index`; the items behind it move up one place.
  void Delete(int index);
  void Clear();
  // Makes room for `count` items in all, so that adding them moves nothing.
  void Reserve(int count);
  // Whether, of the items of equal names, the one found is the last in position: true until an
  // item is renamed (a renamed item becomes the newest of its name wherever it stands).
  bool LastOfNameIsFound() const { return !renamed_; }

 protected:
  // Room for an item of `size` bytes, which lasts until the collection is cleared: a collection of
  // many thousand entries makes them in a few large blocks instead of an allocation each.
  void* ItemStorage(size_t size);
  // Appends an item made in ItemStorage under `name`; the collection destroys it.
  THashCollectionItem& AddItem(THashCollectionItem* item, const DataString& name);
  THashCollectionItem& ItemAt(int index) const { return *items_.at(static_cast<size_t>(index)); }

 private:
  friend class THashCollectionItem;
  // Links the items added since the index was last asked. Lookups may come from several threads at
  // once (the items themselves are not changed then): the first one links, under the lock.
  void LinkPending() const;
  void Link(THashCollectionItem& item);
  void Unlink(THashCollectionItem& item);

  // The newest item of each name, in an open-addressing table (linear probing, at most half full)
  // that keeps each name's hash beside its item: a lookup reads one slot, and adding an item
  // allocates nothing but the table's growth. A free slot holds no item.
  struct Slot {
    uint64_t hash = 0;
    THashCollectionItem* item = nullptr;
  };
  static uint64_t NameHashOf(const DataString& name) { return AnsiTextHash(name); }
  size_t HomeSlot(uint64_t hash) const;
  // The slot of the newest item named `name`, or the free slot where it would go.
  size_t FindSlot(const DataString& name, uint64_t hash) const;
  // Makes the table large enough for `count` names.
  void Grow(size_t count);
  void EraseSlot(size_t at);

  // Destroys an item but leaves its storage to the block it lies in.
  struct DestroyItem {
    void operator()(THashCollectionItem* item) const { item->~THashCollectionItem(); }
  };
  struct Block {
    std::unique_ptr<char[]> data;
    size_t size = 0, used = 0;
  };
  // Declared before the items, which are destroyed first.
  std::vector<Block> blocks_;
  size_t expected_ = 0;   // items still to come, as Reserve was told
  bool renamed_ = false;  // an item was renamed since the collection was last empty
  std::vector<std::unique_ptr<THashCollectionItem, DestroyItem>> items_;
  std::vector<Slot> slots_;  // a power of two in number, or none
  int slot_bits_ = 0;
  size_t names_ = 0;                       // slots in use
  mutable std::atomic<size_t> linked_{0};  // the items before this position are in the index
  mutable std::mutex link_mutex_;
};

}  // namespace vn
