// PNG images made with cairo for GUI tests: strips of solid frames whose
// colours tell the tests which frame, segment or view they see.
#pragma once

#include <functional>
#include <vector>

namespace velmora::test {

struct Rgba {
    int r = 0;
    int g = 0;
    int b = 0;
    int a = 255;
};

// A `width` x `height` * frames image, frame i filled with colour(i), as PNG.
std::vector<unsigned char> pngStrip(int width, int height, int frames,
                                    const std::function<Rgba(int)>& colour);
std::vector<unsigned char> pngSolid(int width, int height, Rgba colour);

// The colour of frame i of the test knob strip: one distinct colour per frame.
Rgba knobFrameColour(int frame);

} // namespace velmora::test
