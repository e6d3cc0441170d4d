#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <vector>

namespace kelvara {

// Shared objects found by a hash of the fields that identify them: open addressing over one flat
// table, so that a lookup touches a slot or two and then the object itself. `same` tells apart
// objects whose hashes collide. The objects are not owned; they must outlive the index.
template <typename T>
class HashIndex {
  public:
    void reserve(std::size_t count) {
        if (count * 2 > slots_.size()) rehash(std::bit_ceil(count * 2));
    }

    template <typename Same>
    T* find(std::uint64_t hash, Same&& same) const {
        if (slots_.empty()) return nullptr;
        for (std::size_t i = hash & mask_;; i = (i + 1) & mask_) {
            const Slot& slot = slots_[i];
            if (!slot.value) return nullptr;
            if (slot.hash == hash && same(*slot.value)) return slot.value;
        }
    }

    // Starts loading what a find() for `hash` reads first: its slot, or, once that has arrived,
    // the object in it. Lookups are mostly cache misses in a large library.
    void prefetchSlot(std::uint64_t hash) const {
        if (!slots_.empty()) __builtin_prefetch(&slots_[hash & mask_]);
    }
    void prefetchValue(std::uint64_t hash) const {
        if (!slots_.empty() && slots_[hash & mask_].value)
            __builtin_prefetch(slots_[hash & mask_].value);
    }

    // `value` must not be found already.
    void insert(std::uint64_t hash, T* value) {
        if ((count_ + 1) * 2 > slots_.size()) rehash(std::max<std::size_t>(64, slots_.size() * 2));
        place(hash, value);
        ++count_;
    }

  private:
    struct Slot {
        std::uint64_t hash = 0;
        T* value = nullptr;  // null for a free slot
    };

    void place(std::uint64_t hash, T* value) {
        std::size_t i = hash & mask_;
        while (slots_[i].value) i = (i + 1) & mask_;
        slots_[i] = Slot{hash, value};
    }

    void rehash(std::size_t size) {
        std::vector<Slot> old(size);
        old.swap(slots_);
        mask_ = size - 1;
        for (const Slot& slot : old) {
            if (slot.value) place(slot.hash, slot.value);
        }
    }

    std::vector<Slot> slots_;
    std::size_t mask_ = 0, count_ = 0;
};

}  // namespace kelvara
