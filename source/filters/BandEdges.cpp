#include "filters/BandEdges.h"

#include <cmath>

namespace velmora {

BandEdges::BandEdges(double fadeFloor) : fadeFloor_(fadeFloor) {
    const ButterworthPoles poles = butterworthPoles();
    pole1_ = poles.p1;
    pole2_ = poles.p2;
    updateBandCoeffs();
}

void BandEdges::setSampleRate(double fs) {
    sampleRate_ = fs;
    fadeCoef_ = std::pow(fadeFloor_, 1.0 / (fs * 10.0 * 0.001));
}

void BandEdges::setEdge1(float hz) {
    edge1Hz_ = hz;
    fading_ = true;
    fadingOut_ = true;
    k1_ = Complex(prewarpLimited(hz, sampleRate_), 0.0);
    if (hz > edge2Hz_) {
        edge2Hz_ = hz;
        k2_ = k1_;
    }
}

void BandEdges::setEdge2(float hz) {
    edge2Hz_ = hz;
    fading_ = true;
    fadingOut_ = true;
    k2_ = Complex(prewarpLimited(hz, sampleRate_), 0.0);
    if (hz < edge1Hz_) {
        edge1Hz_ = hz;
        k1_ = k2_;
    }
}

void BandEdges::redesign() {
    lowCoeffs_ = designLowpass2(k1_, pole1_, pole2_);
    midSections_ = designBandpass4Sections(k1_, k2_, pole1_, pole2_);
    highCoeffs_ = designHighpass2(k2_, pole1_, pole2_);
    updateBandCoeffs();
}

void BandEdges::updateBandCoeffs() {
    for (int lane = 0; lane < 4; ++lane) {
        const BiquadCoeffs& c = lane % 2 == 0 ? lowCoeffs_ : highCoeffs_;
        bandCoeffs_.lowHigh.b0[lane] = c.b0;
        bandCoeffs_.lowHigh.b1[lane] = c.b1;
        bandCoeffs_.lowHigh.b2[lane] = c.b2;
        bandCoeffs_.lowHigh.a1[lane] = c.a1;
        bandCoeffs_.lowHigh.a2[lane] = c.a2;
    }
    bandCoeffs_.midFirst = midSections_.first;
    bandCoeffs_.midSecond = midSections_.second;
}

bool BandEdges::fadeStep() {
    if (fadingOut_) {
        fadeValue_ = fadeValue_ * fadeCoef_;
        if (fadeValue_ <= fadeFloor_) {
            fadeValue_ = fadeFloor_;
            redesign();
            fadingOut_ = false;
            fadeGain_ = fadeValue_;
            return true;
        }
        fadeGain_ = fadeValue_;
        return false;
    }
    fadeValue_ = fadeValue_ * fadeCoef_ + (1.0 - fadeCoef_);
    if (fadeValue_ >= 1.0 - fadeFloor_) {
        fadeValue_ = 1.0;
        fading_ = false;
    }
    fadeGain_ = fadeValue_;
    return false;
}

} // namespace velmora
