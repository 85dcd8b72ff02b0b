// Counts the heap allocations made on audio threads: the soak test's threads
// that call markAudioThread. Other threads allocate freely and uncounted.
#pragma once

namespace velmora::test {

void markAudioThread() noexcept;
long audioThreadAllocations() noexcept;

} // namespace velmora::test
