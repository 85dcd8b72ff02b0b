// The controller's setComponentState and setState with any bytes, and
// setParamNormalized with any value. Afterwards every parameter holds a
// finite value in 0..1; a component state is accepted exactly when the
// processor accepts it and shows the values the processor keeps; the
// controller's own state reads back as it was written.
#include "FuzzCheck.h"

#include "ProcessorTestHost.h"

#include "controller/againcontroller.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <vector>

using namespace velmora;
using namespace velmora::test;

namespace {

struct Controller {
    Controller() : c(new againController) { c->initialize(nullptr); }
    ~Controller() {
        c->terminate();
        c->release();
    }
    againController* operator->() { return c; }
    againController* c;
};

void checkAllInRange(Controller& c, const char* after) {
    for (int id = 0; id < kNumParams; ++id) {
        const double v = c->getParamNormalized(static_cast<ParamID>(id));
        FUZZ_CHECK(fuzz::inUnitRange(v), "parameter %d holds %g after %s", id, v, after);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const uint8_t flags = in.ConsumeIntegral<uint8_t>();
    const std::vector<uint8_t> component =
        in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 160));
    const std::vector<uint8_t> own = in.ConsumeBytes<uint8_t>(
        in.ConsumeIntegralInRange<size_t>(0, againController::kStateBytes + 8));

    Controller c;

    ByteStream componentStream(component);
    if (flags & 1) {
        componentStream.failReadsFrom = component.size();
    }
    const tresult accepted = c->setComponentState(&componentStream);
    checkAllInRange(c, "setComponentState");

    // The processor reads the same block the same way.
    {
        Processor p;
        p.initialize();
        ByteStream processorStream(component);
        processorStream.failReadsFrom = componentStream.failReadsFrom;
        const tresult processorAccepted = p->setState(&processorStream);
        FUZZ_CHECK((accepted == kResultOk) == (processorAccepted == kResultOk),
                   "controller %d and processor %d disagree on a %zu-byte state", accepted,
                   processorAccepted, component.size());
        if (accepted == kResultOk) {
            const StateFields given = StateFields::from(component);
            const StateFields kept = p.getState();
            for (int i = 0; i < kNumSwitches; ++i) {
                // A negative field is on here and off in the processor.
                if (given.switches[static_cast<size_t>(i)] >= 0) {
                    const double shown = c->getParamNormalized(static_cast<ParamID>(i));
                    FUZZ_CHECK(shown == kept.switches[static_cast<size_t>(i)],
                               "switch %d shows %g, the processor keeps %d", i, shown,
                               kept.switches[static_cast<size_t>(i)]);
                }
            }
            for (int i = 0; i < kNumContinuous; ++i) {
                const ParamID id = static_cast<ParamID>(kFirstContinuous + i);
                const double shown = c->getParamNormalized(id);
                const double held = kept.values[static_cast<size_t>(i)];
                FUZZ_CHECK(shown == held, "parameter %u shows %g, the processor keeps %g", id,
                           shown, held);
            }
        }
    }

    ByteStream ownStream(own);
    if (flags & 2) {
        ownStream.failReadsFrom = own.size();
    }
    const tresult ownResult = c->setState(&ownStream);
    checkAllInRange(c, "setState");
    ByteStream saved;
    const tresult savedResult = c->getState(&saved);
    FUZZ_CHECK(savedResult == kResultOk && saved.data.size() == againController::kStateBytes,
               "getState gave %d with %zu bytes", savedResult, saved.data.size());
    FUZZ_CHECK(saved.data[0] == 0, "getState wrote marker %d", saved.data[0]);
    if (ownResult == kResultOk && own.size() >= againController::kStateBytes) {
        for (int i = 0; i < againController::kMessageUnits; ++i) {
            const size_t at = 1 + 2 * static_cast<size_t>(i);
            const bool swap = own[0] != 0;
            const uint8_t lo = swap ? own[at + 1] : own[at];
            const uint8_t hi = swap ? own[at] : own[at + 1];
            FUZZ_CHECK(saved.data[at] == lo && saved.data[at + 1] == hi,
                       "code unit %d did not survive setState -> getState", i);
        }
    }

    // Then values as a host may set them, any ID and any double.
    while (in.remaining_bytes() >= 12) {
        const ParamID id = in.ConsumeBool() ? in.ConsumeIntegralInRange<ParamID>(0, kNumParams + 2)
                                            : in.ConsumeIntegral<ParamID>();
        const double v = fuzz::doubleFromBits(in.ConsumeIntegral<uint64_t>());
        c->setParamNormalized(id, v);
    }
    checkAllInRange(c, "setParamNormalized");
    return 0;
}
