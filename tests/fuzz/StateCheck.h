// The saved processor state every harness that drives the processor checks:
// whole, switches 0 or 1, every value finite and in 0..1.
#pragma once

#include "FuzzCheck.h"

#include "ProcessorTestHost.h"

#include <cstdint>
#include <vector>

namespace velmora::fuzz {

inline void checkSavedState(const std::vector<uint8_t>& bytes) {
    FUZZ_CHECK(bytes.size() == kNumStateParams * 4u, "getState wrote %zu bytes", bytes.size());
    const test::StateFields s = test::StateFields::from(bytes);
    for (int i = 0; i < kNumSwitches; ++i) {
        const int32_t v = s.switches[static_cast<size_t>(i)];
        FUZZ_CHECK(v == 0 || v == 1, "switch %d saved as %d", i, v);
    }
    for (int i = 0; i < kNumContinuous; ++i) {
        const float v = s.values[static_cast<size_t>(i)];
        FUZZ_CHECK(inUnitRange(v), "parameter %d saved as %g", kFirstContinuous + i,
                   static_cast<double>(v));
    }
}

} // namespace velmora::fuzz
