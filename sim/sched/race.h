// What ThreadSanitizer (make test TSAN=1) learns from the stand-in, which it does not watch:
// where the stand-in orders the program's memory as Windows would (a set event before the wait
// it ends, a lock's release before its next acquisition), where it reads or writes that memory
// as the hardware would. Nothing in other builds. (Memory handed out again is new to it only
// once mapped again: see the special pool and the program modules.)
#pragma once

#include <cstddef>

#ifdef TABVOLT_TSAN
extern "C" {
void __tsan_acquire(void* addr);
void __tsan_release(void* addr);
void __tsan_read_range(void* addr, unsigned long size);
void __tsan_write_range(void* addr, unsigned long size);
}
#endif

namespace sim::race {

#ifdef TABVOLT_TSAN
// What the calling thread did so far happens before whatever Acquire(object) follows.
[[gnu::always_inline]] inline void Release(const void* object) {
    __tsan_release(const_cast<void*>(object));
}
[[gnu::always_inline]] inline void Acquire(const void* object) {
    __tsan_acquire(const_cast<void*>(object));
}
// The calling thread reads or writes `object` as the program would, through a call of the
// stand-in (a framework collection's items), so that unordered calls meet as a race.
[[gnu::always_inline]] inline void Read(const void* object, size_t size) {
    __tsan_read_range(const_cast<void*>(object), size);
}
[[gnu::always_inline]] inline void Write(const void* object, size_t size) {
    __tsan_write_range(const_cast<void*>(object), size);
}
#else
inline void Release(const void*) {}
inline void Acquire(const void*) {}
inline void Read(const void*, size_t) {}
inline void Write(const void*, size_t) {}
#endif

}  // namespace sim::race
