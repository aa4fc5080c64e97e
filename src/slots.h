// Slot patching: one entry of a method table or of an import table replaced by ours,
// the entry it held before kept for the replacement to forward to.
#pragma once

#include <windows.h>

#include <cstddef>

// What happened to a slot.
struct SlotChange {
  bool alreadyReplaced;  // the slot held the replacement already: nothing was done
  bool madeWritable;     // the protection change succeeded (only then is the slot written)
  bool restored;         // the previous protection was put back
};

// The one routine that writes a slot: protection of [protectStart, +protectSize) made
// read-write, the slot's entry saved into `saved`, the replacement stored with one
// aligned pointer-sized write, the previous protection restored. A slot that already
// holds the replacement is left alone, so a replacement is never saved as the entry it
// forwards to; a slot whose memory cannot be made writable is not written.
template <typename F>
SlotChange ReplaceSlot(F* slot, F replacement, F& saved, void* protectStart, SIZE_T protectSize)
{
  SlotChange change = {};
  if (*slot == replacement) {
    change.alreadyReplaced = true;
    return change;
  }
  DWORD previous = 0;
  change.madeWritable = VirtualProtect(protectStart, protectSize, PAGE_READWRITE, &previous) != FALSE;
  if (!change.madeWritable)
    return change;
  saved = *slot;
  *const_cast<F volatile*>(slot) = replacement;
  DWORD ignored = 0;
  change.restored = VirtualProtect(protectStart, protectSize, previous, &ignored) != FALSE;
  return change;
}

// The entries that method tables held before ours, one per (table, slot): objects of
// different implementations (an IDirect3D9 and an IDirect3D9Ex, a device and a fake)
// have tables of their own, and each replacement must forward to its own table's
// original. Safe to use from any thread.
class OriginalEntries {
 public:
  // Replaces entry `slot` of `table` (protection over its first `protectEntries`
  // entries) and keeps what it held. Returns what ReplaceSlot did.
  SlotChange Replace(void** table, size_t slot, void* replacement, size_t protectEntries);
  // The entry that `table` held at `slot` before ours, or null when we never replaced it.
  void* Find(void* const* table, size_t slot) const;
  // Forgets every table (tests that reuse a table's memory).
  void Clear();

 private:
  struct Entry {
    void* const* table;
    size_t slot;
    void* original;
  };
  static constexpr size_t Capacity = 64;
  Entry entries_[Capacity] = {};
  size_t count_ = 0;
  mutable SRWLOCK lock_ = SRWLOCK_INIT;
};
