// Filter state and coefficients laid out so that identical recursions of
// neighbouring channels sit side by side in memory, where one vector
// register can run them together. Channels go in pairs; within a pair each
// quantity is an array of lanes. Every path (scalar, SSE2, AVX2) works on the
// same layout, so the path can change between any two frames.
#pragma once

#include "filters/FilterDesign.h"

namespace velmora {

// One second-order section state across four lanes.
struct alignas(32) SectionLanes4 {
    double s0[4] = {0.0, 0.0, 0.0, 0.0};
    double s1[4] = {0.0, 0.0, 0.0, 0.0};
};

// One second-order section state across two lanes.
struct alignas(16) SectionLanes2 {
    double s0[2] = {0.0, 0.0};
    double s1[2] = {0.0, 0.0};
};

// Per-lane coefficients of a second-order section (unaligned: it lives inside
// the engine, which a host may place anywhere).
struct LaneCoeffs4 {
    double b0[4] = {}, b1[4] = {}, b2[4] = {}, a1[4] = {}, a2[4] = {};
};

// The crossover gain stage of two channels: 20 sections (crossover k owns
// 4k low a, 4k+1 low b, 4k+2 high a, 4k+3 high b), lanes [gained 0,
// complement 0, gained 1, complement 1]. Both copies of a channel and both
// channels share every coefficient.
struct CrossoverPair {
    static constexpr int kSections = 20;
    SectionLanes4 section[kSections];
};

// The band filters of two channels. Low and high share the lanes [low 0,
// high 0, low 1, high 1] (two stages in cascade); the band-pass runs its four
// sections (first, second, first, second) in the lanes [0, 1].
struct BandPair {
    SectionLanes4 lowHigh[2];
    SectionLanes2 mid[4];
};

struct CrossoverCoeffs {
    BiquadCoeffs low[5];
    BiquadCoeffs high[5];
};

// The band designs as the kernels read them.
struct BandCoeffs {
    LaneCoeffs4 lowHigh; // lanes [low, high, low, high]
    BiquadCoeffs midFirst;
    BiquadCoeffs midSecond;
};

// The instruction sets a frame can run on. The scalar path is the reference
// the others must match bit for bit.
enum class SimdPath { Scalar, Sse2, Avx2 };

bool simdPathSupported(SimdPath path);
// The widest supported path; decided once per process.
SimdPath bestSimdPath();

// One frame of the output splitter past its fade: u the faded input per
// channel, w the weights per channel (gain, complement).
struct OutputFrame {
    const CrossoverCoeffs* crossover;
    const BandCoeffs* bands;
    // open low, closed low, open mid, closed mid, open high, closed high
    const double* levels;
    CrossoverPair* crossoverState;
    BandPair* bandState;
    const double* u;
    const double* w;
    float* y;
    int channels;
};

// One frame of the control splitter outside a fade.
struct ControlFrame {
    const BandCoeffs* bands;
    // low, mid, high
    const double* weights;
    // Two passes per pair: first, second.
    BandPair* state;
    const float* x;
    float* y;
    int channels;
};

struct FrameKernels {
    void (*output)(const OutputFrame&);
    void (*control)(const ControlFrame&);
};

const FrameKernels& frameKernels(SimdPath path);

// The scalar reference for one channel; the per-sample entries of the filter
// classes run these.
float outputChannelScalar(const OutputFrame& f, int channel);
// Returns the second pass's output before it is narrowed to float; x is the
// channel's input (f.x and f.y are not read).
double controlChannelScalar(const ControlFrame& f, int channel, double x);
void crossoverChannelScalar(const CrossoverCoeffs& k, CrossoverPair& p, int channel, double x,
                            double g, double& gained, double& complement);

} // namespace velmora
