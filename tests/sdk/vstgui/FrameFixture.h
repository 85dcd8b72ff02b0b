// A frame in a real X11 window for the widget tests, with a listener that
// records what the controls report, and solid-colour bitmaps.
#pragma once

#include "TestImages.h"
#include "XTestSession.h"

#include "vstgui/vstgui.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velmora::test {

struct Call {
    char kind; // 'b' begin, 'v' value changed, 'e' end
    std::int32_t tag;
    float value;
};

class RecordingListener : public VSTGUI::CControlListener {
public:
    void valueChanged(VSTGUI::CControl* c) override {
        calls.push_back({'v', c->getTag(), c->getValue()});
    }
    void controlBeginEdit(VSTGUI::CControl* c) override {
        calls.push_back({'b', c->getTag(), c->getValue()});
    }
    void controlEndEdit(VSTGUI::CControl* c) override {
        calls.push_back({'e', c->getTag(), c->getValue()});
    }

    // The kinds in order, one letter each: "bvvve".
    std::string kinds() const {
        std::string s;
        for (const Call& c : calls) {
            s += c.kind;
        }
        return s;
    }
    // "b", then one or more "v", then "e".
    bool isOneGesture() const {
        const std::string k = kinds();
        return k.size() >= 3 && k.front() == 'b' && k.back() == 'e' &&
               k.find_first_not_of('v', 1) == k.size() - 1;
    }
    float lastValue() const { return calls.empty() ? -1.0f : calls.back().value; }
    std::vector<Call> calls;
};

inline VSTGUI::CBitmap* makeBitmap(const std::vector<unsigned char>& png) {
    return new VSTGUI::CBitmap(png.data(), png.size());
}

inline const Rgb kBackground{40, 40, 40};

class FrameFixture : public ::testing::Test {
protected:
    static constexpr int kWidth = 320;
    static constexpr int kHeight = 320;

    void SetUp() override {
        VELMORA_REQUIRE_X(x);
        parent.display = x.display();
        parent.window = x.createWindow(kWidth, kHeight);
        frame = new VSTGUI::CFrame(VSTGUI::CRect(0, 0, kWidth, kHeight), &parent, nullptr);
        VSTGUI::CBitmap* background = makeBitmap(pngSolid(kWidth, kHeight, {40, 40, 40, 255}));
        frame->setBackground(background);
        background->forget();
    }
    void TearDown() override {
        if (frame != nullptr) {
            frame->forget();
        }
    }
    // Lets the frame handle what the server sent it and redraw.
    void settle() {
        x.sync();
        frame->handleEvents();
        frame->idle();
    }
    Rgb at(int px, int py) {
        settle();
        return x.pixel(frame->getWindow(), px, py);
    }
    template <typename V> V* add(V* view) {
        frame->addView(view);
        return view;
    }

    XTestSession x;
    VSTGUI::X11::ParentWindow parent;
    VSTGUI::CFrame* frame = nullptr;
    RecordingListener listener;
};

inline Rgb rgb(const Rgba& c) {
    return {c.r, c.g, c.b};
}

} // namespace velmora::test
