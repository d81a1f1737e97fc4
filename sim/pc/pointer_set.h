// A set of pointers in one flat open-addressed array: finding, adding and removing one touches
// a cache line or two and allocates nothing once the array has grown. For the tables asked on
// every request (framework handles, IRPs in flight), where a node per entry cost more than
// the work they check.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

template <typename T>
class PointerSet {
  public:
    PointerSet() : slots_(kInitialSlots, nullptr) {}

    // The member equal to `pointer`, or nullptr.
    T* Find(const void* pointer) const {
        for (size_t at = Home(pointer);; at = Next(at)) {
            if (slots_[at] == nullptr || slots_[at] == pointer) {
                return slots_[at];
            }
        }
    }

    void Insert(T* member) {
        // At most half full, so that a probe ends soon on an empty slot.
        if (2 * (size_ + 1) > slots_.size()) {
            Grow();
        }
        size_t at = Home(member);
        while (slots_[at] != nullptr) {
            at = Next(at);
        }
        slots_[at] = member;
        ++size_;
    }

    // False when `pointer` is not a member. Later entries of the same run move back into the
    // gap, so that no probe stops early.
    bool Erase(const void* pointer) {
        size_t gap = Home(pointer);
        while (slots_[gap] != pointer) {
            if (slots_[gap] == nullptr) {
                return false;
            }
            gap = Next(gap);
        }
        for (size_t at = Next(gap); slots_[at] != nullptr; at = Next(at)) {
            // Movable when its home does not lie cyclically in (gap, at].
            if (((at - Home(slots_[at])) & Mask()) >= ((at - gap) & Mask())) {
                slots_[gap] = slots_[at];
                gap = at;
            }
        }
        slots_[gap] = nullptr;
        --size_;
        return true;
    }

    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    // Every slot, members and nullptr between them, in no particular order.
    const std::vector<T*>& slots() const { return slots_; }

  private:
    static constexpr size_t kInitialSlots = 64;

    size_t Mask() const { return slots_.size() - 1; }
    size_t Next(size_t at) const { return (at + 1) & Mask(); }
    // Fibonacci hashing: heap blocks are 16-byte aligned, so the low bits alone would crowd.
    size_t Home(const void* pointer) const {
        uint64_t key = reinterpret_cast<uintptr_t>(pointer) * 0x9E3779B97F4A7C15ULL;
        return static_cast<size_t>(key >> 32) & Mask();
    }
    void Grow() {
        std::vector<T*> old(slots_.size() * 2, nullptr);
        old.swap(slots_);
        size_ = 0;
        for (T* member : old) {
            if (member != nullptr) {
                Insert(member);
            }
        }
    }

    std::vector<T*> slots_;
    size_t size_ = 0;
};

}  // namespace sim
