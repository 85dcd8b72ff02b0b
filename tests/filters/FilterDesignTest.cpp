#include "filters/FilterDesign.h"

#include <gtest/gtest.h>

#include <cmath>

namespace velmora {
namespace {

TEST(FilterDesign, LowpassMatchesClosedForm) {
    const ButterworthPoles p = butterworthPoles();
    const double k = prewarp(1000.0, 48000.0);
    const BiquadCoeffs c = designLowpass2(Complex(k, 0.0), p.p1, p.p2);
    const double n = 1.0 + std::sqrt(2.0) * k + k * k;
    EXPECT_NEAR(c.b0, k * k / n, 1e-15);
    EXPECT_NEAR(c.a1, 2.0 * (k * k - 1.0) / n, 1e-15);
    EXPECT_NEAR(c.a2, (1.0 - std::sqrt(2.0) * k + k * k) / n, 1e-15);
}

} // namespace
} // namespace velmora
