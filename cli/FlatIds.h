#ifndef ANNOTATOR_FLATIDS_H_
#define ANNOTATOR_FLATIDS_H_

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// Numbers 0, 1, 2, ... for distinct keys, in the order they come, where
// the caller keeps the keys: a key's number is its place in the caller's
// arrays. The numbers lie in one array of slots, each beside 32 bits of
// its key's hash, probed in turn from where the hash points; a look-up
// reads the caller's key only where those bits agree. A node-based map
// makes each look-up wait on a bucket, a node and the key in turn, each
// allocated apart: on the real trees that waiting took score_patterns 43%
// more CPU.
class FlatIds {
 public:
  static constexpr std::uint32_t kAbsent = ~std::uint32_t{0};

  FlatIds();

  // The hash of `bytes` every look-up of the table's keys must use:
  // seeded afresh for each table, so that no input can know in advance
  // which keys share slots.
  std::uint32_t Hash(std::string_view bytes) const;
  std::uint32_t Hash(std::uint64_t key) const;

  // The number of the key of `hash` for which `same(number)` holds, or
  // kAbsent.
  template <class Same>
  std::uint32_t Find(std::uint32_t hash, const Same& same) const {
    for (std::size_t at = hash & mask_;; at = (at + 1) & mask_) {
      const Slot slot = slots_[at];
      if (slot.Id == kAbsent) return kAbsent;
      if (slot.Hash == hash && same(slot.Id)) return slot.Id;
    }
  }

  // As Find; a key not found takes the next number, Size() before the
  // call, and sets `added`: the caller then keeps it under that number.
  template <class Same>
  std::uint32_t Insert(std::uint32_t hash, const Same& same, bool& added) {
    std::size_t at = hash & mask_;
    for (;; at = (at + 1) & mask_) {
      const Slot slot = slots_[at];
      if (slot.Id == kAbsent) break;
      if (slot.Hash == hash && same(slot.Id)) {
        added = false;
        return slot.Id;
      }
    }
    added = true;
    return Take(at, hash);
  }

  std::size_t Size() const { return size_; }
  std::size_t Bytes() const { return slots_.size() * sizeof(Slot); }

 private:
  struct Slot {
    std::uint32_t Hash;
    std::uint32_t Id;  // kAbsent in an empty slot
  };
  // Gives the next number to the empty slot `at`, growing the slots when
  // they are three quarters full.
  std::uint32_t Take(std::size_t at, std::uint32_t hash);

  std::vector<Slot> slots_;
  std::size_t mask_;
  std::uint32_t size_ = 0;
  std::uint64_t seed_;
};

// A seed no input can know in advance, for the hash of a table: what the
// table holds and its order do not depend on it, only where its keys fall
// among the slots.
std::uint64_t FreshSeed();

#endif  // ANNOTATOR_FLATIDS_H_
