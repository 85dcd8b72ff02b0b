// The two band edges of a three-band splitter, the Butterworth designs at
// them, and the fade that makes an edge change click-free: the splitter's
// signal falls to a floor, its filters are cleared and redesigned at the
// bottom, and the signal rises again.
#pragma once

#include "filters/FilterDesign.h"
#include "filters/FilterLanes.h"

namespace velmora {

class BandEdges {
public:
    // fadeFloor: the bottom of the fade, as a linear gain.
    explicit BandEdges(double fadeFloor);

    // The fade falls from 1 to the floor in 10 ms at this rate. The edges'
    // prewarped values stay those of the rate they were set at.
    void setSampleRate(double fs);

    // Both arm the fade, also with an unchanged value. Edge 1 never passes
    // edge 2: setting one past the other moves the other along.
    void setEdge1(float hz);
    void setEdge2(float hz);

    void redesign();

    // One frame of the fade. Returns true in the frame that reaches the
    // floor, after redesigning; the owner then clears its band state.
    bool fadeStep();

    // The designs as the frame kernels read them; each band runs its section
    // twice in cascade with separate state.
    const BandCoeffs& bandCoeffs() const { return bandCoeffs_; }

    double sampleRate() const { return sampleRate_; }
    double edge1Hz() const { return edge1Hz_; }
    double edge2Hz() const { return edge2Hz_; }
    const BiquadCoeffs& lowCoeffs() const { return lowCoeffs_; }
    const BandpassSections& midSections() const { return midSections_; }
    const BiquadCoeffs& highCoeffs() const { return highCoeffs_; }
    bool fading() const { return fading_; }
    bool fadingOut() const { return fadingOut_; }
    double fadeValue() const { return fadeValue_; }
    // The fade level last applied, 1 before the first fade.
    double fadeGain() const { return fadeGain_; }
    double fadeCoef() const { return fadeCoef_; }

private:
    void updateBandCoeffs();

    double sampleRate_ = 0.0;
    double edge1Hz_ = 0.0;
    double edge2Hz_ = 0.0;
    Complex pole1_;
    Complex pole2_;
    Complex k1_;
    Complex k2_;
    BiquadCoeffs lowCoeffs_;
    BandpassSections midSections_;
    BiquadCoeffs highCoeffs_;
    BandCoeffs bandCoeffs_;
    bool fading_ = false;
    bool fadingOut_ = false;
    double fadeFloor_;
    double fadeCoef_ = 0.0;
    double fadeValue_ = 0.0;
    double fadeGain_ = 1.0;
};

} // namespace velmora
