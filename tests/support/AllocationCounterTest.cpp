// The counter behind the no-allocation tests: if it missed a form of operator
// new or delete, those tests would pass without proving anything.
#include "AllocationCounter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <new>
#include <vector>

namespace velmora::test {
namespace {

// Kept out of the optimiser's reach, so new-expression pairs are not elided.
std::vector<float>* volatile g_sink = nullptr;
void* volatile g_raw = nullptr;

bool alignedTo(const void* p, std::size_t a) {
    return reinterpret_cast<std::uintptr_t>(p) % a == 0;
}

TEST(AllocationCounter, CountsEveryFormOnlyWhileAlive) {
    // A new-expression: the vector object and its buffer, both released.
    long seen = 0;
    long freed = 0;
    {
        AllocationCounter counter;
        g_sink = new std::vector<float>(100);
        delete g_sink;
        seen = counter.allocations();
        freed = counter.frees();
    }
    EXPECT_EQ(seen, 2);
    EXPECT_EQ(freed, 2);

    // Each replaceable allocation form, each released by a different
    // deallocation form (plain, array, sized, nothrow, aligned and the mixes).
    constexpr auto kAlign = std::align_val_t{64};
    constexpr std::size_t kSize = 24;
    void* p[12] = {};
    long allocations = 0;
    long frees = 0;
    long freesBefore = 0;
    {
        AllocationCounter counter;
        p[0] = ::operator new(kSize);
        p[1] = ::operator new[](kSize);
        p[2] = ::operator new(kSize);
        p[3] = ::operator new[](kSize);
        p[4] = ::operator new(kSize, std::nothrow);
        p[5] = ::operator new[](kSize, std::nothrow);
        p[6] = ::operator new(kSize, kAlign);
        p[7] = ::operator new[](kSize, kAlign);
        p[8] = ::operator new(kSize, kAlign);
        p[9] = ::operator new[](kSize, kAlign);
        p[10] = ::operator new(kSize, kAlign, std::nothrow);
        p[11] = ::operator new[](kSize, kAlign, std::nothrow);
        g_raw = ::operator new(0); // zero bytes still give a distinct block
        freesBefore = counter.frees();
        ::operator delete(p[0]);
        ::operator delete[](p[1]);
        ::operator delete(p[2], kSize);
        ::operator delete[](p[3], kSize);
        ::operator delete(p[4], std::nothrow);
        ::operator delete[](p[5], std::nothrow);
        ::operator delete(p[6], kAlign);
        ::operator delete[](p[7], kAlign);
        ::operator delete(p[8], kSize, kAlign);
        ::operator delete[](p[9], kSize, kAlign);
        ::operator delete(p[10], kAlign, std::nothrow);
        ::operator delete[](p[11], kAlign, std::nothrow);
        ::operator delete(g_raw);
        ::operator delete(nullptr); // nothing released, nothing counted
        allocations = counter.allocations();
        frees = counter.frees();
    }
    EXPECT_EQ(allocations, 13);
    EXPECT_EQ(freesBefore, 0);
    EXPECT_EQ(frees, 13);
    for (int i = 0; i < 12; ++i) {
        EXPECT_NE(p[i], nullptr) << i;
    }
    for (int i = 6; i < 12; ++i) {
        EXPECT_TRUE(alignedTo(p[i], static_cast<std::size_t>(kAlign))) << i;
    }

    // A new counter starts from zero and sees older blocks released.
    g_sink = new std::vector<float>(10);
    {
        AllocationCounter counter;
        delete g_sink;
        allocations = counter.allocations();
        frees = counter.frees();
    }
    EXPECT_EQ(allocations, 0);
    EXPECT_EQ(frees, 2);
}

} // namespace
} // namespace velmora::test
