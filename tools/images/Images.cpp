#include "Images.h"

#include <array>

namespace velmora::images {

namespace {

// File names are the ones the editor asks for, letter case included.
constexpr std::array kImages{
    Image{"background.png", 630, 330, drawBackground},
    Image{"knobImg1.png", 40, 3200, drawKnobStrip},
    Image{"splashImg.png", 630, 330, drawSplash},
    Image{"VVuSliderHandle.png", 40, 20, drawSliderHandle},
    Image{"vVuSliderBackground.png", 16, 100, drawNothing},
    Image{"VVuSlider1On.png", 16, 219, drawMeterOn},
    Image{"VVuSlider1Off.png", 16, 219, drawMeterOff},
    Image{"VVuSlider2On.png", 16, 219, drawMinMeterOn},
    Image{"VVuSlider2Off.png", 16, 219, drawNothing},
    Image{"VuGateLevOpen.png", 16, 16, drawLampOpen},
    Image{"VuGateLevClosed.png", 16, 16, drawLampClosed},
    Image{"ButtonPeakRms.png", 40, 64, drawPeakRmsButton},
    Image{"Env.png", 40, 64, drawEnvelopeButton},
    Image{"ButtonLinkChInd.png", 40, 64, drawChannelButton},
    Image{"ButtonDuck.png", 40, 64, drawDuckButton},
    Image{"ButtonSingleBypass.png", 40, 40, drawBypassButton},
    Image{"ButtonSingleCtrl.png", 40, 40, drawCtrlOutButton},
};

} // namespace

std::span<const Image> editorImages() {
    return kImages;
}

const Image* findImage(std::string_view fileName) {
    for (const Image& image : kImages) {
        if (fileName == image.fileName) {
            return &image;
        }
    }
    return nullptr;
}

} // namespace velmora::images
