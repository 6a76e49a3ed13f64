#include "FlatIds.h"

#include <ctime>
#include <exception>
#include <random>
#include <stdexcept>

// The hash is compiled in where it is called, as its library advises for
// short keys.
#define XXH_INLINE_ALL
#include <xxhash.h>

namespace {

constexpr std::size_t kFirstSlots = 16;

}  // namespace

std::uint64_t FreshSeed() {
  std::uint64_t seed = 0;
  try {
    std::random_device device;
    seed = static_cast<std::uint64_t>(device()) << 32 | device();
  } catch (const std::exception&) {
    // No source of randomness: the clock and where the stack lies.
  }
  int local = 0;
  return seed ^ reinterpret_cast<std::uintptr_t>(&local) ^
         static_cast<std::uint64_t>(std::time(nullptr));
}

FlatIds::FlatIds()
    : slots_(kFirstSlots, Slot{0, kAbsent}),
      mask_(kFirstSlots - 1),
      seed_(FreshSeed()) {}

std::uint32_t FlatIds::Hash(std::string_view bytes) const {
  return static_cast<std::uint32_t>(
      XXH3_64bits_withSeed(bytes.data(), bytes.size(), seed_));
}

std::uint32_t FlatIds::Hash(std::uint64_t key) const {
  return static_cast<std::uint32_t>(
      XXH3_64bits_withSeed(&key, sizeof key, seed_));
}

std::uint32_t FlatIds::Take(std::size_t at, std::uint32_t hash) {
  // The last number stays free to mark an empty slot.
  if (size_ == kAbsent - 1) throw std::length_error("FlatIds: too many keys");
  const std::uint32_t id = size_++;
  slots_[at] = Slot{hash, id};
  if (std::size_t{size_} * 4 > slots_.size() * 3) {
    std::vector<Slot> old(slots_.size() * 2, Slot{0, kAbsent});
    old.swap(slots_);
    mask_ = slots_.size() - 1;
    for (const Slot& slot : old) {
      if (slot.Id == kAbsent) continue;
      std::size_t to = slot.Hash & mask_;
      while (slots_[to].Id != kAbsent) to = (to + 1) & mask_;
      slots_[to] = slot;
    }
  }
  return id;
}
