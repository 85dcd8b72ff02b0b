#include "AllocationCounter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

// Constant-initialised, so allocations made before main are safe to count.
std::atomic<bool> gCounting{false};
std::atomic<long> gAllocations{0};
std::atomic<long> gFrees{0};

void noteAllocation() noexcept {
    if (gCounting.load(std::memory_order_relaxed)) {
        gAllocations.fetch_add(1, std::memory_order_relaxed);
    }
}

void* countedAlloc(std::size_t n) noexcept {
    noteAllocation();
    return std::malloc(n == 0 ? 1 : n);
}

void* countedAlignedAlloc(std::size_t n, std::align_val_t al) noexcept {
    noteAllocation();
    // aligned_alloc wants the size to be a multiple of the alignment.
    const auto a = static_cast<std::size_t>(al);
    return std::aligned_alloc(a, ((n == 0 ? 1 : n) + a - 1) / a * a);
}

void countedFree(void* p) noexcept {
    if (p != nullptr && gCounting.load(std::memory_order_relaxed)) {
        gFrees.fetch_add(1, std::memory_order_relaxed);
    }
    std::free(p);
}

void* orThrow(void* p) {
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    return p;
}

} // namespace

namespace velmora::test {

AllocationCounter::AllocationCounter() noexcept {
    gAllocations.store(0, std::memory_order_relaxed);
    gFrees.store(0, std::memory_order_relaxed);
    gCounting.store(true, std::memory_order_relaxed);
}

AllocationCounter::~AllocationCounter() {
    gCounting.store(false, std::memory_order_relaxed);
}

long AllocationCounter::allocations() const noexcept {
    return gAllocations.load(std::memory_order_relaxed);
}

long AllocationCounter::frees() const noexcept {
    return gFrees.load(std::memory_order_relaxed);
}

} // namespace velmora::test

void* operator new(std::size_t n) {
    return orThrow(countedAlloc(n));
}
void* operator new[](std::size_t n) {
    return orThrow(countedAlloc(n));
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    return countedAlloc(n);
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
    return countedAlloc(n);
}
void* operator new(std::size_t n, std::align_val_t al) {
    return orThrow(countedAlignedAlloc(n, al));
}
void* operator new[](std::size_t n, std::align_val_t al) {
    return orThrow(countedAlignedAlloc(n, al));
}
void* operator new(std::size_t n, std::align_val_t al, const std::nothrow_t&) noexcept {
    return countedAlignedAlloc(n, al);
}
void* operator new[](std::size_t n, std::align_val_t al, const std::nothrow_t&) noexcept {
    return countedAlignedAlloc(n, al);
}
void operator delete(void* p) noexcept {
    countedFree(p);
}
void operator delete[](void* p) noexcept {
    countedFree(p);
}
void operator delete(void* p, std::size_t) noexcept {
    countedFree(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    countedFree(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    countedFree(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    countedFree(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    countedFree(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    countedFree(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    countedFree(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
    countedFree(p);
}
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept {
    countedFree(p);
}
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept {
    countedFree(p);
}
