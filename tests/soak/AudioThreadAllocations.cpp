#include "AudioThreadAllocations.h"

#include <atomic>
#include <cstdlib>
#include <new>

// The global allocation functions of the soak executable: every allocation
// made on a thread that has called markAudioThread is counted. Blocks come
// from malloc, so the sanitizers still see them.

namespace {

thread_local bool tAudio = false;
std::atomic<long> gAudioAllocations{0};

void* allocate(std::size_t n) {
    if (tAudio) {
        gAudioAllocations.fetch_add(1, std::memory_order_relaxed);
    }
    if (void* p = std::malloc(n == 0 ? 1 : n)) {
        return p;
    }
    throw std::bad_alloc();
}

void* allocateAligned(std::size_t n, std::align_val_t al) {
    if (tAudio) {
        gAudioAllocations.fetch_add(1, std::memory_order_relaxed);
    }
    const auto a = static_cast<std::size_t>(al);
    if (void* p = std::aligned_alloc(a, ((n == 0 ? 1 : n) + a - 1) / a * a)) {
        return p;
    }
    throw std::bad_alloc();
}

} // namespace

namespace velmora::test {

void markAudioThread() noexcept {
    tAudio = true;
}

long audioThreadAllocations() noexcept {
    return gAudioAllocations.load(std::memory_order_relaxed);
}

} // namespace velmora::test

void* operator new(std::size_t n) {
    return allocate(n);
}
void* operator new[](std::size_t n) {
    return allocate(n);
}
void* operator new(std::size_t n, std::align_val_t al) {
    return allocateAligned(n, al);
}
void* operator new[](std::size_t n, std::align_val_t al) {
    return allocateAligned(n, al);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}
