// What every harness shares: a failed invariant stops the process with a
// message, so that libFuzzer keeps the input that broke it as a reproducer.
#pragma once

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#define FUZZ_CHECK(cond, ...)                                                                      \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n  ", __FILE__, __LINE__, #cond);    \
            std::fprintf(stderr, __VA_ARGS__);                                                     \
            std::fprintf(stderr, "\n");                                                            \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

namespace velmora::fuzz {

// A float from four raw bytes, so that NaN payloads, infinities and
// subnormals are as likely as any other pattern.
inline float floatFromBits(unsigned bits) {
    float f;
    static_assert(sizeof f == sizeof bits);
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

inline double doubleFromBits(unsigned long long bits) {
    double d;
    static_assert(sizeof d == sizeof bits);
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

inline bool inUnitRange(double v) {
    return std::isfinite(v) && v >= 0.0 && v <= 1.0;
}

} // namespace velmora::fuzz
