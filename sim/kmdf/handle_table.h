// The framework's handle table: every object alive or remembered as a tombstone, found by
// its handle (its address). Open addressing in one flat array, so that checking a handle
// touches one or two cache lines and adding or forgetting an object allocates nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

struct WdfObject;

class HandleTable {
  public:
    HandleTable() : slots_(kInitialSlots, nullptr) {}

    WdfObject* Find(const void* handle) const {
        for (size_t at = Home(handle);; at = (at + 1) & Mask()) {
            if (slots_[at] == nullptr || Same(slots_[at], handle)) {
                return slots_[at];
            }
        }
    }

    void Insert(WdfObject* object) {
        // At most half full, so that a probe ends soon on an empty slot.
        if (2 * (size_ + 1) > slots_.size()) {
            Grow();
        }
        size_t at = Home(object);
        while (slots_[at] != nullptr) {
            at = (at + 1) & Mask();
        }
        slots_[at] = object;
        ++size_;
    }

    // Moves later entries of the same run back into the gap, so that no probe stops early.
    void Erase(const void* handle) {
        size_t gap = Home(handle);
        while (!Same(slots_[gap], handle)) {
            gap = (gap + 1) & Mask();
        }
        for (size_t at = (gap + 1) & Mask(); slots_[at] != nullptr; at = (at + 1) & Mask()) {
            size_t home = Home(slots_[at]);
            // Movable when its home does not lie cyclically in (gap, at].
            if (((at - home) & Mask()) >= ((at - gap) & Mask())) {
                slots_[gap] = slots_[at];
                gap = at;
            }
        }
        slots_[gap] = nullptr;
        --size_;
    }

    size_t size() const { return size_; }
    const std::vector<WdfObject*>& slots() const { return slots_; }

  private:
    static constexpr size_t kInitialSlots = 256;

    static bool Same(const WdfObject* object, const void* handle) {
        return static_cast<const void*>(object) == handle;
    }
    size_t Mask() const { return slots_.size() - 1; }
    // Fibonacci hashing: objects are 16-byte aligned, so the low bits alone would crowd.
    size_t Home(const void* handle) const {
        uint64_t key = reinterpret_cast<uintptr_t>(handle) * 0x9E3779B97F4A7C15ULL;
        return static_cast<size_t>(key >> 32) & Mask();
    }
    void Grow() {
        std::vector<WdfObject*> old(slots_.size() * 2, nullptr);
        old.swap(slots_);
        size_ = 0;
        for (WdfObject* object : old) {
            if (object != nullptr) {
                Insert(object);
            }
        }
    }

    std::vector<WdfObject*> slots_;
    size_t size_ = 0;
};

}  // namespace sim
