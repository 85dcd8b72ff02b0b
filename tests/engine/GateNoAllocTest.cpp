// Blocks must not allocate. This executable replaces the global allocation
// functions with counting ones (forwarding to malloc, so sanitizer builds
// still see every allocation), which is why it is separate from the other
// engine tests.
#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <new>
#include <vector>

namespace {

bool g_counting = false;
long g_allocations = 0;
long g_frees = 0;

void* countedAlloc(std::size_t n) {
    if (g_counting) {
        ++g_allocations;
    }
    return std::malloc(n == 0 ? 1 : n);
}

void* countedAlignedAlloc(std::size_t n, std::align_val_t al) {
    if (g_counting) {
        ++g_allocations;
    }
    const std::size_t a = static_cast<std::size_t>(al);
    const std::size_t size = ((n == 0 ? 1 : n) + a - 1) / a * a;
    return std::aligned_alloc(a, size);
}

void countedFree(void* p) {
    if (g_counting && p != nullptr) {
        ++g_frees;
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

namespace velmora {
namespace {

using test::Buffers;
using test::configureDefaults;

class Counting {
public:
    Counting() {
        g_allocations = 0;
        g_frees = 0;
        g_counting = true;
    }
    ~Counting() { g_counting = false; }
};

std::vector<float>* volatile g_sink = nullptr;

TEST(GateNoAlloc, CounterSeesAllocations) {
    long seen = 0;
    {
        Counting counting;
        g_sink = new std::vector<float>(100);
        delete g_sink;
        seen = g_allocations;
    }
    EXPECT_EQ(seen, 2);
    EXPECT_EQ(g_frees, 2);
}

// Every mode, both entries, with parameter changes between blocks the way a
// host delivers them: band edges (edge fades), levels, times, Beat Skip, and
// Bypass and Ctrl Out values (switching ramps).
TEST(GateNoAlloc, BlocksAllocateNothing) {
    constexpr int kBlock = 64;
    constexpr int kBlocks = 220;
    GateEngine e;
    configureDefaults(e, 48000.0f, 2, 4, 2);
    Buffers in(2, kBlock);
    Buffers side(2, kBlock);
    Buffers out(4, kBlock);
    in.sine(0, 0.5f, 300.0, 48000.0);
    in.sine(1, 0.05f, 3000.0, 48000.0);
    side.sine(0, 0.2f, 100.0, 48000.0);
    side.sine(1, 0.9f, 8000.0, 48000.0);
    in[0][5] = 0.0f;
    in[1][6] = std::numeric_limits<float>::quiet_NaN();

    long blocks = 0;
    {
        Counting counting;
        for (int mode = 0; mode < 16; ++mode) {
            e.setDetectionMethod((mode & 1) != 0);
            e.setChannelMode((mode & 2) != 0);
            e.setGateMode((mode & 4) != 0);
            e.setAttEnvelope((mode & 8) != 0);
            e.setCtrlOut((mode & 1) != 0 && (mode & 4) != 0);
            e.setBypass(mode == 5 || mode == 10);
            for (int b = 0; b < kBlocks; ++b) {
                switch (b % 40) {
                case 3:
                    e.setDetFreq1(200.0f + 10.0f * static_cast<float>(b));
                    e.setSigFreq2(900.0f + 5.0f * static_cast<float>(b));
                    break;
                case 11:
                    e.setDetFreq2(6000.0f);
                    e.setSigFreq1(150.0f);
                    break;
                case 17:
                    e.setThreshold(-30.0f);
                    e.setInputLev(6.0f);
                    e.setOutputLev(-3.0f);
                    e.setDetLevMid(-12.0f);
                    e.setCeilLevHi(-6.0f);
                    e.setFloorLevLo(-40.0f);
                    break;
                case 23:
                    e.setTimeRel(50.0f);
                    e.setTimeAtt1(3.0f);
                    e.setTimeAtt2(8.0f);
                    e.setTimeRms(10.0f);
                    e.setHoldOpenTime(5.0f);
                    e.setHoldClosedTime(20.0f);
                    e.setHoldClosedProb(0.3f);
                    e.setAttDelayTime(2.0f);
                    e.setAttIsoTime(15.0f);
                    break;
                case 31:
                    e.setBypass((mode & 1) != 0 && b > 100);
                    e.setCtrlOut(false);
                    break;
                default:
                    break;
                }
                if (b % 2 == 0) {
                    e.processBlock(in.in(), out.out(), kBlock);
                } else {
                    e.processBlockSidechain(side.in(), in.in(), out.out(), 2, kBlock);
                }
                (void)e.maxVu();
                ++blocks;
            }
        }
    }
    EXPECT_EQ(blocks, 16 * kBlocks);
    EXPECT_EQ(g_allocations, 0);
    EXPECT_EQ(g_frees, 0);
}

} // namespace
} // namespace velmora
