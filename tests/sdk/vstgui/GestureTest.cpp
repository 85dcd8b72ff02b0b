// The user's gestures, made with real X input, and what the listener hears.
#include "FrameFixture.h"

#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <thread>

using namespace VSTGUI;

namespace velmora::test {
namespace {

class GestureTest : public FrameFixture {
protected:
    CAnimKnob* addKnob(float value) {
        CBitmap* strip = makeBitmap(pngStrip(40, 40, 10, knobFrameColour));
        auto* knob = add(new CAnimKnob(CRect(10, 250, 50, 290), &listener, 7, 10, 40, strip));
        strip->forget();
        knob->setValue(value);
        return knob;
    }
    void drag(int fromX, int fromY, int toX, int toY, unsigned button = 1) {
        const XWindow w = frame->getWindow();
        x.moveTo(w, fromX, fromY);
        x.press(button);
        settle();
        // In steps, as a hand moves.
        for (int i = 1; i <= 4; ++i) {
            x.moveTo(w, fromX + (toX - fromX) * i / 4, fromY + (toY - fromY) * i / 4);
            settle();
        }
        x.release(button);
        settle();
    }
    void wheel(int px, int py, unsigned button) {
        x.moveTo(frame->getWindow(), px, py);
        x.press(button);
        x.release(button);
        settle();
    }
    void waitForWheelPause() {
        std::this_thread::sleep_for(std::chrono::milliseconds(350));
        settle();
    }
};

TEST_F(GestureTest, KnobTurnsWithDragShiftDragAndWheel) {
    auto* knob = addKnob(0.0f);
    drag(30, 270, 30, 170); // 100 pixels up: half the range
    EXPECT_TRUE(listener.isOneGesture()) << listener.kinds();
    EXPECT_NEAR(knob->getValue(), 0.5f, 0.011f);
    EXPECT_EQ(listener.lastValue(), knob->getValue());

    listener.calls.clear();
    drag(30, 270, 30, 20); // beyond the top: stops at 1
    EXPECT_FLOAT_EQ(knob->getValue(), 1.0f);
    drag(30, 260, 30, 520); // 260 pixels down
    EXPECT_NEAR(knob->getValue(), 0.0f, 0.011f);

    // Shift: ten times finer.
    knob->setValue(0.5f);
    listener.calls.clear();
    x.holdKey(XK_Shift_L, true);
    drag(30, 270, 30, 170);
    x.holdKey(XK_Shift_L, false);
    EXPECT_TRUE(listener.isOneGesture()) << listener.kinds();
    EXPECT_NEAR(knob->getValue(), 0.55f, 0.002f);

    // The wheel: 0.1 per notch, a burst of turns is one edit that ends when
    // the wheel rests.
    knob->setValue(0.5f);
    listener.calls.clear();
    wheel(30, 270, 4);
    wheel(30, 270, 4);
    wheel(30, 270, 5);
    EXPECT_EQ(listener.kinds(), "bvvv");
    EXPECT_NEAR(knob->getValue(), 0.6f, 1e-5f);
    waitForWheelPause();
    EXPECT_EQ(listener.kinds(), "bvvve");

    // Other buttons do not turn it; Ctrl+click has no default to go back to
    // and leaves the value alone.
    listener.calls.clear();
    drag(30, 270, 30, 170, 3);
    EXPECT_TRUE(listener.calls.empty());
    x.holdKey(XK_Control_L, true);
    x.click(frame->getWindow(), 30, 270);
    x.holdKey(XK_Control_L, false);
    settle();
    EXPECT_EQ(listener.kinds(), "be");
    EXPECT_NEAR(knob->getValue(), 0.6f, 1e-5f);
}

TEST_F(GestureTest, SliderHandleDragsTrackClicksJumpAndWheelMoves) {
    CBitmap* handle = makeBitmap(pngSolid(40, 20, {0, 0, 230, 255}));
    CBitmap* back = makeBitmap(pngSolid(16, 100, {0, 0, 0, 0}));
    // Value 0 at the top; the 20-pixel handle travels 219 pixels.
    auto* slider = add(new CVerticalSlider(CRect(200, 40, 240, 279), &listener, 9, CPoint(0, 0),
                                           239, handle, back, CPoint(0, 0), kTop | kVertical));
    handle->forget();
    back->forget();
    EXPECT_TRUE(near(at(220, 50), {0, 0, 230})) << "value 0 puts the handle at the top";

    // A click on the track centres the handle there.
    x.click(frame->getWindow(), 220, 40 + 150);
    settle();
    EXPECT_TRUE(listener.isOneGesture()) << listener.kinds();
    EXPECT_NEAR(slider->getValue(), 140.0f / 219.0f, 1e-4f);
    EXPECT_TRUE(near(at(220, 190), {0, 0, 230}));

    // Dragging the handle moves it by the mouse's travel.
    listener.calls.clear();
    drag(220, 190, 220, 150);
    EXPECT_TRUE(listener.isOneGesture()) << listener.kinds();
    EXPECT_NEAR(slider->getValue(), 100.0f / 219.0f, 1e-4f);
    drag(220, 150, 220, 319);
    EXPECT_FLOAT_EQ(slider->getValue(), 1.0f);
    EXPECT_EQ(slider->handleRect(), CRect(200, 259, 240, 279));

    // The wheel turned away from the user moves the handle up.
    listener.calls.clear();
    wheel(220, 100, 4);
    EXPECT_NEAR(slider->getValue(), 0.9f, 1e-5f);
    waitForWheelPause();
    EXPECT_EQ(listener.kinds(), "bve");
}

TEST_F(GestureTest, MovieButtonClickTogglesAndShowsItsFrame) {
    CBitmap* strip = makeBitmap(pngStrip(40, 20, 2, [](int i) {
        return i == 0 ? Rgba{90, 90, 90} : Rgba{255, 168, 18};
    }));
    auto* button = add(new CMovieButton(CRect(60, 200, 100, 220), &listener, 3, strip));
    strip->forget();
    EXPECT_TRUE(near(at(80, 210), {90, 90, 90}));
    x.click(frame->getWindow(), 80, 210);
    settle();
    EXPECT_EQ(listener.kinds(), "bve");
    EXPECT_EQ(button->getValue(), 1.0f);
    EXPECT_TRUE(near(at(80, 210), {255, 168, 18}));
    x.click(frame->getWindow(), 80, 210);
    settle();
    EXPECT_EQ(button->getValue(), 0.0f);
    // Any value other than 0 shows the lower image; a click then goes to 0.
    button->setValue(0.3f);
    EXPECT_TRUE(near(at(80, 210), {255, 168, 18}));
    x.click(frame->getWindow(), 80, 210);
    settle();
    EXPECT_EQ(button->getValue(), 0.0f);
    // The right button does nothing.
    listener.calls.clear();
    x.click(frame->getWindow(), 80, 210, 3);
    settle();
    EXPECT_TRUE(listener.calls.empty());
}

TEST_F(GestureTest, TextFieldTakesFocusAndTheKeys) {
    auto* field = add(new CTextEdit(CRect(60, 250, 160, 270), &listener, 5, "12.5"));
    CFontRef font = new CFontDesc("Arial", 10);
    field->setFont(font);
    font->forget();
    const XWindow w = frame->getWindow();

    x.click(w, 110, 260);
    settle();
    ASSERT_TRUE(field->isTyping());
    EXPECT_EQ(frame->getFocusView(), field);
    XWindow focus = 0;
    int revert = 0;
    XGetInputFocus(x.display(), &focus, &revert);
    EXPECT_EQ(focus, w) << "a click into the field asks the server for the keyboard";

    x.key(XK_End);
    x.key(XK_BackSpace);
    x.type("75"); // 12.75
    x.key(XK_Home);
    x.key(XK_Delete); // 2.75
    x.key(XK_Right);
    x.type("0"); // 20.75
    x.key(XK_Left);
    x.key(XK_Left);
    x.type("-"); // -20.75
    settle();
    EXPECT_EQ(field->typedText(), "-20.75");
    EXPECT_EQ(field->cursorPosition(), 1u);
    EXPECT_TRUE(listener.calls.empty()) << "nothing is reported before Enter";
    EXPECT_STREQ(field->getText(), "12.5");

    x.key(XK_Return);
    settle();
    EXPECT_FALSE(field->isTyping());
    EXPECT_EQ(frame->getFocusView(), nullptr);
    EXPECT_EQ(listener.kinds(), "v");
    EXPECT_STREQ(field->getText(), "-20.75");

    // Escape goes back to the field's text.
    listener.calls.clear();
    x.click(w, 110, 260);
    x.type("9");
    x.key(XK_Escape);
    settle();
    EXPECT_FALSE(field->isTyping());
    EXPECT_TRUE(listener.calls.empty());
    EXPECT_STREQ(field->getText(), "-20.75");

    // A click elsewhere commits; so does the embedder taking the focus away.
    x.click(w, 110, 260);
    x.key(XK_End);
    x.type("1");
    x.click(w, 300, 10);
    settle();
    EXPECT_EQ(listener.kinds(), "v");
    EXPECT_STREQ(field->getText(), "-20.751");

    listener.calls.clear();
    x.click(w, 110, 260);
    x.key(XK_End);
    x.key(XK_BackSpace);
    settle();
    // The editor may set the text meanwhile; the typed text stays on screen.
    field->setText("3.0");
    EXPECT_EQ(field->typedText(), "-20.75");
    XEvent focusOut{};
    focusOut.xclient.type = ClientMessage;
    focusOut.xclient.window = w;
    focusOut.xclient.message_type = XInternAtom(x.display(), "_XEMBED", False);
    focusOut.xclient.format = 32;
    focusOut.xclient.data.l[1] = 5; // XEMBED_FOCUS_OUT
    XSendEvent(x.display(), w, False, NoEventMask, &focusOut);
    settle();
    EXPECT_FALSE(field->isTyping());
    EXPECT_EQ(listener.kinds(), "v");
    EXPECT_STREQ(field->getText(), "-20.75");

    // Enter with the text unchanged reports nothing.
    listener.calls.clear();
    x.click(w, 110, 260);
    x.key(XK_Return);
    settle();
    EXPECT_TRUE(listener.calls.empty());
}

TEST_F(GestureTest, SplashIsModalAndClosesOnTheLeftButton) {
    auto* knob = addKnob(0.5f);
    CBitmap* image = makeBitmap(pngSolid(kWidth, kHeight, {255, 0, 255, 255}));
    auto* splash = add(new CSplashScreen(CRect(200, 290, 300, 310), &listener, 0x78787878, image,
                                         CRect(0, 0, kWidth, kHeight)));
    image->forget();
    const XWindow w = frame->getWindow();
    EXPECT_TRUE(near(at(250, 300), kBackground)) << "the hot area itself is invisible";

    x.click(w, 250, 300, 3);
    settle();
    EXPECT_FALSE(splash->isShown()) << "only the left button opens it";
    x.click(w, 250, 300);
    settle();
    ASSERT_TRUE(splash->isShown());
    EXPECT_TRUE(near(at(30, 270), {255, 0, 255})) << "the image covers the frame";
    ASSERT_EQ(listener.calls.size(), 1u);
    EXPECT_EQ(listener.calls[0].kind, 'v');
    EXPECT_EQ(listener.calls[0].value, 1.0f);

    // Nothing under the image takes the mouse or the wheel; other buttons
    // leave it open.
    drag(30, 270, 30, 170, 3);
    wheel(30, 270, 4);
    EXPECT_EQ(knob->getValue(), 0.5f);
    EXPECT_TRUE(splash->isShown());
    EXPECT_EQ(listener.calls.size(), 1u);

    // A left press on the image closes it and goes no further.
    drag(30, 270, 30, 170);
    EXPECT_FALSE(splash->isShown());
    ASSERT_EQ(listener.calls.size(), 2u);
    EXPECT_EQ(listener.calls[1].value, 0.0f);
    EXPECT_EQ(knob->getValue(), 0.5f);
    EXPECT_TRUE(near(at(30, 270), rgb(knobFrameColour(5))));
    drag(30, 270, 30, 250);
    EXPECT_GT(knob->getValue(), 0.5f);
}

} // namespace
} // namespace velmora::test
