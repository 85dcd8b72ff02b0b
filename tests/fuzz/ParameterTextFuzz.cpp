// Display and entry texts for every parameter ID, unknown ones included.
// A display text for any double (NaN, infinities, huge, negative) stays in
// its 128 code units and is terminated; an entry never answers a value that
// is not finite; and for stored values a displayed text typed back in shows
// the same number again.
#include "FuzzCheck.h"

#include "controller/ParameterIds.h"
#include "controller/againcontroller.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

againController& controller() {
    static againController* c = [] {
        auto* made = new againController;
        made->initialize(nullptr);
        return made;
    }();
    return *c;
}

// The display text, checked, as 8-bit text; false when the ID has none.
bool display(ParamID id, double v, std::string& text) {
    // Exactly the 128 units the interface promises, so that AddressSanitizer
    // sees any write past them.
    std::unique_ptr<char16[]> buffer(new char16[128]);
    for (int i = 0; i < 128; ++i) {
        buffer[static_cast<size_t>(i)] = 0xA5A5;
    }
    if (controller().getParamStringByValue(id, v, buffer.get()) != kResultOk) {
        return false;
    }
    text.clear();
    int i = 0;
    for (; i < 128 && buffer[static_cast<size_t>(i)] != 0; ++i) {
        text.push_back(static_cast<char>(buffer[static_cast<size_t>(i)]));
    }
    FUZZ_CHECK(i < 128, "the text for ID %u at %g is not terminated", id, v);
    if (id >= velmora::kFirstContinuous && id <= velmora::kLastContinuous) {
        FUZZ_CHECK(text.size() < 32, "the text '%s' for ID %u at %g is longer than 31",
                   text.c_str(), id, v);
    }
    return true;
}

bool enter(ParamID id, const std::u16string& typed, double& v) {
    // Terminated, and not one unit longer.
    std::unique_ptr<char16[]> text(new char16[typed.size() + 1]);
    for (size_t i = 0; i < typed.size(); ++i) {
        text[i] = typed[i];
    }
    text[typed.size()] = 0;
    v = -12345.0;
    if (controller().getParamValueByString(id, text.get(), v) != kResultOk) {
        return false;
    }
    FUZZ_CHECK(std::isfinite(v), "entry for ID %u answered %g", id, v);
    return true;
}

std::u16string widen(const std::string& s) {
    return std::u16string(s.begin(), s.end());
}

// The first number in a display text and the size of its last digit.
bool numberIn(const std::string& text, double& number, double& step) {
    const char* p = text.c_str();
    while (*p != 0 && !(*p == '-' || (*p >= '0' && *p <= '9'))) {
        ++p;
    }
    char* end = nullptr;
    number = std::strtod(p, &end);
    if (end == p) {
        return false;
    }
    step = 1.0;
    if (const char* dot = std::strchr(p, '.'); dot != nullptr && dot < end) {
        for (const char* d = dot + 1; d < end; ++d) {
            step /= 10.0;
        }
    }
    return true;
}

// Typing a shown text back in shows the same number again, give or take
// its last digit (the value passes through single precision both ways).
void checkRoundTrip(ParamID id, double v) {
    std::string shown;
    if (!display(id, v, shown)) {
        return;
    }
    double typed = 0.0;
    if (!enter(id, widen(shown), typed)) {
        // Only the off text has no number in it.
        FUZZ_CHECK(shown == " off", "the shown text '%s' of ID %u cannot be typed in",
                   shown.c_str(), id);
        return;
    }
    std::string again;
    FUZZ_CHECK(display(id, std::clamp(typed, 0.0, 1.0), again), "no text for ID %u", id);
    double first = 0.0;
    double step = 0.0;
    double second = 0.0;
    double unused = 0.0;
    if (!numberIn(shown, first, step)) {
        // A word (a switch's On and Off) reads back as itself.
        FUZZ_CHECK(again == shown, "ID %u shows '%s', typed in it shows '%s'", id, shown.c_str(),
                   again.c_str());
        return;
    }
    // Some rows jump from their lowest continuous value just above 0 to a
    // bottom position at 0 (levels: -60 to -99 dB, Note Truncate: 10 ms to
    // off), and that lowest value typed in converts to 0 itself.
    std::string lowest;
    double lowestNumber = 0.0;
    if (typed <= 0.0 && display(id, 1e-30, lowest) && numberIn(lowest, lowestNumber, unused) &&
        std::fabs(first - lowestNumber) <= step * 1.0001) {
        return;
    }
    if (again == " off") {
        FUZZ_CHECK(first == 0.0, "'%s' of ID %u typed in shows the off text", shown.c_str(), id);
        return;
    }
    FUZZ_CHECK(numberIn(again, second, unused), "no number in '%s'", again.c_str());
    FUZZ_CHECK(std::fabs(second - first) <= step * 1.0001 + 1e-6 * std::fabs(first),
               "ID %u at %.17g shows '%s', typed in it shows '%s'", id, v, shown.c_str(),
               again.c_str());
}

const char kTypable[] = "0123456789.,-+eE xinfaINFdBHzms%off\t";

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    while (in.remaining_bytes() > 0) {
        const ParamID id = in.ConsumeBool() ? in.ConsumeIntegralInRange<ParamID>(0, 40)
                                            : in.ConsumeIntegral<ParamID>();
        switch (in.ConsumeIntegralInRange(0, 3)) {
        case 0: {
            std::string text;
            display(id, velmora::fuzz::doubleFromBits(in.ConsumeIntegral<uint64_t>()), text);
            break;
        }
        case 1: {
            // Mostly characters that numbers and units are made of.
            std::u16string typed;
            const size_t length = in.ConsumeIntegralInRange<size_t>(0, 160);
            const bool raw = in.ConsumeBool();
            for (size_t i = 0; i < length && in.remaining_bytes() > 0; ++i) {
                typed.push_back(
                    raw ? in.ConsumeIntegral<char16_t>()
                        : static_cast<char16_t>(
                              kTypable[in.ConsumeIntegralInRange<size_t>(0, sizeof kTypable - 2)]));
            }
            double v = 0.0;
            enter(id, typed, v);
            break;
        }
        default:
            checkRoundTrip(id, in.ConsumeProbability<double>());
            break;
        }
    }
    return 0;
}
