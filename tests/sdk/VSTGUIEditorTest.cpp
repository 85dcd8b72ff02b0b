// The editor base in a host's window: embedding, the run loop, the host's
// keys and wheel, and the life cycle of attach and remove.
#include "TestEditor.h"
#include "XTestSession.h"

#include "hosting/EditorWindow.h"
#include "sdk/keycodes.h"

#include "public.sdk/source/vst/hosting/hostclasses.h"

#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

using namespace Steinberg;
using namespace Steinberg::Vst;
using velmora::host::EditorWindow;

namespace velmora::test {
namespace {

// A host frame without a run loop, as some hosts are.
class FrameOnly : public IPlugFrame {
public:
    tresult PLUGIN_API resizeView(IPlugView*, ViewRect*) override { return kResultTrue; }
    tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
        QUERY_INTERFACE(iid, obj, FUnknown::iid, IPlugFrame)
        QUERY_INTERFACE(iid, obj, IPlugFrame::iid, IPlugFrame)
        *obj = nullptr;
        return kNoInterface;
    }
    uint32 PLUGIN_API addRef() override { return 1; }
    uint32 PLUGIN_API release() override { return 1; }
};

class EditorBaseTest : public ::testing::Test {
protected:
    void SetUp() override {
        controller = owned(new TestEditController);
        ASSERT_EQ(controller->initialize(&host), kResultOk);
    }
    void TearDown() override {
        if (controller) {
            controller->terminate();
        }
    }
    IPtr<TestEditor> createEditor() {
        return owned(static_cast<TestEditor*>(controller->createView(ViewType::kEditor)));
    }
    IPtr<EditorWindow> openWindow(IPlugView* view) {
        std::string error;
        IPtr<EditorWindow> window = EditorWindow::create("editor test", error);
        EXPECT_TRUE(window) << error;
        if (window && !window->open(view, error)) {
            ADD_FAILURE() << error;
        }
        return window;
    }
    // The windows inside the host's window.
    std::vector<XWindow> children(EditorWindow& window) {
        XWindow root = 0;
        XWindow parent = 0;
        XWindow* list = nullptr;
        unsigned count = 0;
        std::vector<XWindow> out;
        if (XQueryTree(x.display(), window.window(), &root, &parent, &list, &count) != 0) {
            out.assign(list, list + count);
            XFree(list);
        }
        return out;
    }

    HostApplication host;
    IPtr<TestEditController> controller;
    XTestSession x;
};

TEST_F(EditorBaseTest, OffersOnlyX11EmbeddingAndNeedsTheHostsRunLoop) {
    IPtr<TestEditor> editor = createEditor();
    EXPECT_EQ(editor->isPlatformTypeSupported(kPlatformTypeX11EmbedWindowID), kResultTrue);
    EXPECT_EQ(editor->isPlatformTypeSupported(kPlatformTypeHWND), kResultFalse);
    EXPECT_EQ(editor->isPlatformTypeSupported(nullptr), kResultFalse);
    int dummyWindow = 0;
    EXPECT_EQ(editor->attached(&dummyWindow, kPlatformTypeHWND), kResultFalse);

    FrameOnly frame;
    editor->setFrame(&frame);
    EXPECT_EQ(editor->attached(reinterpret_cast<void*>(1), kPlatformTypeX11EmbedWindowID),
              kResultFalse);
    EXPECT_EQ(editor->getFrame(), nullptr);
    EXPECT_TRUE(controller->editors().empty());
    EXPECT_EQ(editor->removed(), kResultFalse);
}

TEST_F(EditorBaseTest, EmbedsARegisteredXEmbedClientAndRemovesEverything) {
    VELMORA_REQUIRE_X(x);
    IPtr<TestEditor> editor = createEditor();
    for (int round = 0; round < 2; ++round) { // attach, remove, attach again
        IPtr<EditorWindow> window = openWindow(editor);
        ASSERT_TRUE(window && window->isOpen());
        EXPECT_EQ(window->eventHandlerCount(), 1u) << "its X connection";
        ASSERT_EQ(window->timerCount(), 1u) << "its idle timer";
        EXPECT_EQ(window->timerIntervals()[0].count(), 50) << "the editor's idle rate";
        EXPECT_EQ(controller->editors().size(), 1u);

        // One child window, with the XEmbed info set by the time attached returned.
        const std::vector<XWindow> inside = children(*window);
        ASSERT_EQ(inside.size(), 1u);
        const Atom info = XInternAtom(x.display(), "_XEMBED_INFO", False);
        Atom type = 0;
        int format = 0;
        unsigned long items = 0;
        unsigned long after = 0;
        unsigned char* data = nullptr;
        ASSERT_EQ(XGetWindowProperty(x.display(), inside[0], info, 0, 2, False, info, &type,
                                     &format, &items, &after, &data),
                  Success);
        ASSERT_EQ(items, 2u);
        EXPECT_EQ(reinterpret_cast<long*>(data)[0], 0) << "XEmbed version";
        EXPECT_EQ(reinterpret_cast<long*>(data)[1], 0) << "XEmbed flags";
        XFree(data);
        XWindowAttributes child{};
        XGetWindowAttributes(x.display(), inside[0], &child);
        EXPECT_EQ(child.width, 200);
        EXPECT_EQ(child.height, 120);
        EXPECT_EQ(child.map_state, IsViewable);

        // The timer's notification draws the meter.
        controller->setParamNormalized(kLevelId, 1.0);
        const int ticks = editor->timerTicks;
        ASSERT_TRUE(XTestSession::pumpUntil([&] { window->runOnce(std::chrono::milliseconds(10)); },
                                            [&] { return editor->timerTicks > ticks; }));
        EXPECT_TRUE(near(x.pixel(inside[0], 128, 100), {0, 200, 0}));
        // A new idle rate reaches the run loop.
        editor->setIdleRate(20);
        ASSERT_EQ(window->timerCount(), 1u);
        EXPECT_EQ(window->timerIntervals()[0].count(), 20);
        editor->setIdleRate(50);

        // The host resizes the view: the frame and its window follow.
        ViewRect bigger(0, 0, 260, 150);
        EXPECT_EQ(editor->onSize(&bigger), kResultTrue);
        EXPECT_EQ(editor->getFrame()->getWidth(), 260);
        XSync(x.display(), False);
        window->runFor(std::chrono::milliseconds(60));
        XGetWindowAttributes(x.display(), inside[0], &child);
        EXPECT_EQ(child.width, 260);

        window->close();
        EXPECT_EQ(window->eventHandlerCount(), 0u);
        EXPECT_EQ(window->timerCount(), 0u);
        EXPECT_TRUE(controller->editors().empty());
        EXPECT_EQ(editor->getFrame(), nullptr);
        EXPECT_FALSE(editor->isAttached());
    }
}

TEST_F(EditorBaseTest, HostKeysAndWheelReachTheFrame) {
    VELMORA_REQUIRE_X(x);
    IPtr<TestEditor> editor = createEditor();
    IPtr<EditorWindow> window = openWindow(editor);
    ASSERT_TRUE(window && window->isOpen());
    const auto pump = [&] { window->runOnce(std::chrono::milliseconds(5)); };

    EXPECT_EQ(editor->onKeyDown(u'7', 0, 0), kResultFalse) << "no field has the focus";
    x.click(window->window(), 50, 70); // the text field
    ASSERT_TRUE(XTestSession::pumpUntil(pump, [&] { return editor->field->isTyping(); }));
    EXPECT_EQ(editor->onKeyDown(0, KEY_END, 0), kResultTrue);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(editor->onKeyDown(0, KEY_BACK, 0), kResultTrue);
    }
    EXPECT_EQ(editor->onKeyDown(u'0', 0, 0), kResultTrue);
    EXPECT_EQ(editor->onKeyDown(u'.', 0, 0), kResultTrue);
    EXPECT_EQ(editor->onKeyDown(u'2', 0, 0), kResultTrue);
    EXPECT_EQ(editor->onKeyDown(0, KEY_UP, 0), kResultFalse) << "left to the host";
    EXPECT_EQ(editor->onKeyDown(u'5', KEY_DELETE + 7, 0), kResultTrue) << "keypad 5";
    EXPECT_EQ(editor->onKeyDown(0, KEY_RETURN, 0), kResultTrue);
    EXPECT_DOUBLE_EQ(controller->getParamNormalized(kGainId), 0.25);
    EXPECT_STREQ(editor->field->getText(), "0.2500");

    // Keys typed on the keyboard reach the field that asked for the focus.
    x.click(window->window(), 50, 70);
    ASSERT_TRUE(XTestSession::pumpUntil(pump, [&] { return editor->field->isTyping(); }));
    x.key(0xFF57); // End
    x.key(0xFF08); // BackSpace
    x.type("9");
    x.key(0xFF0D); // Return
    ASSERT_TRUE(XTestSession::pumpUntil(pump, [&] { return !editor->field->isTyping(); }));
    EXPECT_NEAR(controller->getParamNormalized(kGainId), 0.2509, 1e-9);

    // The host's wheel turns the control under the mouse.
    x.moveTo(window->window(), 30, 30);
    window->runFor(std::chrono::milliseconds(30));
    EXPECT_EQ(editor->onWheel(1.0f), kResultTrue);
    EXPECT_NEAR(controller->getParamNormalized(kGainId), 0.3509, 1e-6);
    window->close();
}

TEST_F(EditorBaseTest, SurvivesBadParentsAndHostsThatDestroyTheirWindowFirst) {
    VELMORA_REQUIRE_X(x);
    {
        // A parent that is no window: refused, with nothing left registered.
        IPtr<TestEditor> editor = createEditor();
        std::string error;
        IPtr<EditorWindow> loop = EditorWindow::create("no window", error);
        ASSERT_TRUE(loop) << error;
        editor->setFrame(loop);
        EXPECT_EQ(
            editor->attached(reinterpret_cast<void*>(0x7ABCDEF), kPlatformTypeX11EmbedWindowID),
            kResultFalse);
        EXPECT_EQ(loop->eventHandlerCount(), 0u);
        EXPECT_EQ(loop->timerCount(), 0u);
        EXPECT_TRUE(controller->editors().empty());
        editor->setFrame(nullptr);
    }
    for (int i = 0; i < 12; ++i) {
        IPtr<TestEditor> editor = createEditor();
        IPtr<EditorWindow> window = openWindow(editor);
        ASSERT_TRUE(window && window->isOpen());
        window->runFor(std::chrono::milliseconds(20));
        if (i % 3 == 0) {
            // The plug-in's child window goes with the host's; removing the
            // view afterwards must neither crash nor end the process.
            XDestroyWindow(window->display(), window->window());
            XSync(window->display(), False);
            window->runFor(std::chrono::milliseconds(20));
        }
        window->close();
        EXPECT_EQ(window->eventHandlerCount(), 0u);
    }
    EXPECT_TRUE(controller->editors().empty());
}

} // namespace
} // namespace velmora::test
