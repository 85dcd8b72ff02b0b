// The processor's setState with any bytes. A refused state leaves the
// processor exactly as it was, down to the next block's output; an accepted
// one holds switches that are 0 or 1 and values in 0..1, the in-range fields
// exactly as given, gives finite output, and survives getState -> setState ->
// getState unchanged.
#include "StateCheck.h"

#include "ProcessorTestHost.h"

#include <cstdint>
#include <random>
#include <vector>

using namespace velmora;
using namespace velmora::test;

namespace {

constexpr int kBlock = 256;

// One block of the same noise into `p`, returning its output.
std::vector<float> runBlock(Processor& p) {
    Block b(2, 2, kBlock);
    std::mt19937 rng(7);
    b.noiseIn(0.5f, rng);
    p->process(b.data);
    std::vector<float> out = b.out(0);
    out.insert(out.end(), b.out(1).begin(), b.out(1).end());
    return out;
}

void prepare(Processor& p, bool active) {
    if (active) {
        p.start(44100.0, kBlock);
    } else {
        p.initialize();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    const uint8_t flags = data[0];
    const bool active = (flags & 1) != 0;
    const bool errorAtEnd = (flags & 2) != 0;
    const bool errorEarly = (flags & 4) != 0;
    const size_t errorFrom = data[1];
    const std::vector<uint8_t> bytes(data + 2, data + size);

    Processor a;
    Processor twin;
    prepare(a, active);
    prepare(twin, active);
    const std::vector<uint8_t> before = a.stateBytes();

    ByteStream stream(bytes);
    if (errorAtEnd) {
        stream.failReadsFrom = bytes.size();
    }
    if (errorEarly) {
        stream.failReadsFrom = std::min(stream.failReadsFrom, errorFrom);
    }
    const tresult result = a->setState(&stream);

    if (result != kResultOk) {
        FUZZ_CHECK(a.stateBytes() == before, "a refused state changed the saved state");
        if (!active) {
            a.activate();
            twin.activate();
        }
        FUZZ_CHECK(runBlock(a) == runBlock(twin), "a refused state changed the output");
        return 0;
    }

    // Accepted: the processor read 31 whole fields.
    FUZZ_CHECK(bytes.size() >= kNumStateParams * 4u, "accepted a state of %zu bytes", bytes.size());
    const std::vector<uint8_t> saved = a.stateBytes();
    fuzz::checkSavedState(saved);
    const StateFields given = StateFields::from(bytes);
    const StateFields kept = StateFields::from(saved);
    for (int i = 0; i < kNumSwitches; ++i) {
        const bool on = given.switches[static_cast<size_t>(i)] > 0;
        FUZZ_CHECK(kept.switches[static_cast<size_t>(i)] == (on ? 1 : 0),
                   "switch %d given %d kept %d", i, given.switches[static_cast<size_t>(i)],
                   kept.switches[static_cast<size_t>(i)]);
    }
    for (int i = 0; i < kNumContinuous; ++i) {
        const float v = given.values[static_cast<size_t>(i)];
        if (fuzz::inUnitRange(v)) {
            FUZZ_CHECK(kept.values[static_cast<size_t>(i)] == v, "parameter %d given %g kept %g",
                       kFirstContinuous + i, static_cast<double>(v),
                       static_cast<double>(kept.values[static_cast<size_t>(i)]));
        }
    }

    if (!active) {
        a.activate();
    }
    for (float x : runBlock(a)) {
        FUZZ_CHECK(std::isfinite(x), "output %g after an accepted state", static_cast<double>(x));
    }
    FUZZ_CHECK(a.stateBytes() == saved, "processing changed the saved state");

    // What was saved loads again as it was, into this processor and a new one.
    ByteStream again(saved);
    FUZZ_CHECK(a->setState(&again) == kResultOk, "the processor refused its own state");
    FUZZ_CHECK(a.stateBytes() == saved, "a saved state did not load back unchanged");
    Processor fresh;
    fresh.initialize();
    ByteStream copy(saved);
    FUZZ_CHECK(fresh->setState(&copy) == kResultOk, "a new processor refused a saved state");
    FUZZ_CHECK(fresh.stateBytes() == saved, "a saved state loaded differently elsewhere");
    return 0;
}
