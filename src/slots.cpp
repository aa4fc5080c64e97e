#include "slots.h"

#include "srw_lock.h"


SlotChange OriginalEntries::Replace(void** table, size_t slot, void* replacement, size_t protectEntries)
{
  ExclusiveHold hold(lock_);
  SlotChange change = {};
  if (table[slot] == replacement) {
    change.alreadyReplaced = true;
    return change;
  }
  // A table we replaced once already, whose entry another patcher has since taken: its
  // replacement forwards to ours, so saving it as our original would loop. Left alone.
  for (size_t i = 0; i < count_; ++i) {
    if (entries_[i].table == table && entries_[i].slot == slot) {
      change.alreadyReplaced = true;
      return change;
    }
  }
  if (count_ == Capacity)
    return change;  // not written: nowhere to keep the original (reported as not writable)
  void* original = nullptr;
  change = ReplaceSlot(&table[slot], replacement, original, table, protectEntries * sizeof(void*));
  if (change.madeWritable)
    entries_[count_++] = {table, slot, original};
  return change;
}

void* OriginalEntries::Find(void* const* table, size_t slot) const
{
  SharedHold hold(lock_);
  for (size_t i = 0; i < count_; ++i)
    if (entries_[i].table == table && entries_[i].slot == slot)
      return entries_[i].original;
  return nullptr;
}

void OriginalEntries::Clear()
{
  ExclusiveHold hold(lock_);
  count_ = 0;
}
