// A VST 2 host shows the plug-in's editor: the editor opcodes open the real
// editor in the host's window and drive it from effEditIdle.
#include "Vst2TestHost.h"
#include "XTestSession.h"

#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include <chrono>
#include <thread>

namespace vst2test {
namespace {

using velmora::test::near;
using velmora::test::XTestSession;

unsigned childCount(Display* display, unsigned long window) {
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (XQueryTree(display, window, &root, &parent, &children, &count) != 0 && children) {
        XFree(children);
    }
    return count;
}

TEST(Vst2Editor, EditorOpcodesOpenTheRealEditor) {
    XTestSession x;
    VELMORA_REQUIRE_X(x);
    std::string error;
    auto host = Host::open(VELMORA_VST2_LIBRARY, error);
    ASSERT_NE(host, nullptr) << error;
    ASSERT_NE(host->effect()->flags & 1, 0);
    std::int16_t* rect = nullptr;
    ASSERT_EQ(host->dispatch(EditGetRect, 0, 0, &rect), 1);
    ASSERT_EQ(rect[2], 330);
    ASSERT_EQ(rect[3], 630);

    const auto parent = x.createWindow(rect[3], rect[2]);
    for (int round = 0; round < 2; ++round) { // open, close, open again
        ASSERT_EQ(host->dispatch(EditOpen, 0, 0, reinterpret_cast<void*>(parent)), 1);
        EXPECT_EQ(childCount(x.display(), parent), 1u);
        const auto idle = [&] {
            host->dispatch(EditIdle);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        };
        // Both gate lamps drawn unlit in their places once the editor painted.
        const auto lampsGrey = [&] {
            return near(x.pixel(parent, 265, 204), {90, 90, 90}) &&
                   near(x.pixel(parent, 365, 204), {90, 90, 90});
        };
        EXPECT_TRUE(XTestSession::pumpUntil(idle, lampsGrey));
        host->dispatch(EditClose);
        XSync(x.display(), False);
        EXPECT_EQ(childCount(x.display(), parent), 0u);
    }
}

} // namespace
} // namespace vst2test
