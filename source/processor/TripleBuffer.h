// Hands the latest value written on one thread to another without locks or
// allocation: the writer never waits, the reader always gets the newest
// complete value, and a value is never seen half written.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace velmora {

template <typename T>
class TripleBuffer {
public:
    // Writer side: fill the value returned by writeSlot(), then publish().
    T& writeSlot() { return slots_[writeIndex_]; }

    void publish() {
        const uint32_t previous = middle_.exchange(writeIndex_ | kFresh, std::memory_order_acq_rel);
        writeIndex_ = previous & kIndexMask;
    }

    // Reader side: true and the newest value in `out` when something was
    // published since the last take.
    bool take(T& out) {
        if ((middle_.load(std::memory_order_acquire) & kFresh) == 0) {
            return false;
        }
        const uint32_t previous = middle_.exchange(readIndex_, std::memory_order_acq_rel);
        readIndex_ = previous & kIndexMask;
        out = slots_[readIndex_];
        return true;
    }

    // Writer side: a published value the reader has not taken yet.
    bool pending() const { return (middle_.load(std::memory_order_acquire) & kFresh) != 0; }

private:
    static constexpr uint32_t kFresh = 4;
    static constexpr uint32_t kIndexMask = 3;

    std::array<T, 3> slots_{};
    std::atomic<uint32_t> middle_{1};
    uint32_t writeIndex_ = 0;
    uint32_t readIndex_ = 2;
};

} // namespace velmora
