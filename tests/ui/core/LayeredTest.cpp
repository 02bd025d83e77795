// Per-pixel layered windows on the virtual display: the shadow ring and its
// rounded corners, the content inset, the focus scale, the opacities, the
// alpha correction with and without a no-layered padding, the refresh timer,
// and a native edit printed into the layered picture with its drawn caret.
#include "../SkinWindow.h"
#include "../WindowHost.h"

#include "ui/controls/EditUI.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>

using namespace uitest;

namespace {

// Paints raw pixel values where it lies, and counts its paints.
class CRawUI : public CControlUI {
public:
    std::function<void(Canvas&, const Rect&)> draw;
    int paints = 0;
    void drawBackground(Canvas& canvas) override {
        ++paints;
        CControlUI::drawBackground(canvas);
        if (draw) draw(canvas, bounds());
    }
};

constexpr std::uint32_t alphaOf(std::uint32_t p) { return p >> 24; }

class Layered : public WindowTest {
protected:
    // Lets the refresh timer run `ms` milliseconds, a millisecond at a time.
    static void run(unsigned ms) {
        for (unsigned i = 0; i < ms; ++i) {
            vdisplay::advanceTime(1);
            pumpTranslated();
        }
    }
    CHostWindow host;
};

} // namespace

TEST_F(Layered, ShadowRingCornersAndInset) {
    auto* root = new CRawUI;
    root->assignBkColour(0xFF336699);
    host.open(root, {200, 150});
    host.manager.setShadowSize(10);
    host.manager.switchLayered(true);
    ASSERT_TRUE(host.manager.isLayered());
    EXPECT_TRUE(windowExStyle(host.windowHandle()) & WS_EX_LAYERED);
    run(30);
    EXPECT_TRUE(vdisplay::nativeState(host.windowHandle()).layeredContent);

    // The tree lies inside the ring.
    EXPECT_EQ(root->bounds(), Rect(10, 10, 190, 140));
    Snapshot s = host.pixels();
    EXPECT_EQ(s.at(100, 75), 0xFF336699u);
    EXPECT_EQ(s.at(10, 10), 0xFF336699u);
    // The ring: black, fading out towards the edges, the corners cut round.
    for (auto [x, y] : {std::pair{1, 75}, {100, 1}, {198, 75}, {100, 148}, {5, 75}}) {
        const std::uint32_t p = s.at(x, y);
        EXPECT_EQ(p & 0xFFFFFF, 0u) << x << "," << y;
        EXPECT_GT(alphaOf(p), 0u) << x << "," << y;
    }
    EXPECT_LT(alphaOf(s.at(1, 75)), alphaOf(s.at(5, 75)));
    EXPECT_LT(alphaOf(s.at(5, 75)), alphaOf(s.at(9, 75)));
    EXPECT_GT(alphaOf(s.at(9, 75)), 160u);
    EXPECT_EQ(s.at(0, 0), 0u);
    EXPECT_EQ(s.at(2, 2), 0u);
    EXPECT_EQ(s.at(197, 147), 0u);

    // A repaint of everything paints only the content: the ring keeps the shadow.
    root->assignBkColour(0xFF00FF00);
    host.manager.invalidateAll();
    run(20);
    Snapshot after = host.pixels();
    EXPECT_EQ(after.at(100, 75), 0xFF00FF00u);
    EXPECT_EQ(after.at(5, 75), s.at(5, 75));

    // The automatic focus scale of a 20-pixel shadow is 0.8.
    host.manager.setShadowSize(20);
    host.manager.setShadowColour(0xFF800000);
    root->scheduleLayout();
    run(30);
    EXPECT_EQ(root->bounds(), Rect(20, 20, 180, 130));
    Snapshot automatic = host.pixels();
    EXPECT_EQ(automatic.at(15, 75) & 0x00FFFF, 0u);
    EXPECT_GT((automatic.at(15, 75) >> 16) & 0xFF, 0u);
    host.manager.setShadowFocusScale(0.8f);
    run(20);
    Snapshot explicitScale = host.pixels();
    EXPECT_EQ(automatic.pixels, explicitScale.pixels);
    host.manager.setShadowFocusScale(0.2f);
    run(20);
    EXPECT_NE(host.pixels().at(15, 75), automatic.at(15, 75));

    // Off again: a plain window, the tree over the whole client area.
    host.manager.switchLayered(false);
    run(20);
    EXPECT_FALSE(windowExStyle(host.windowHandle()) & WS_EX_LAYERED);
    EXPECT_EQ(root->bounds(), Rect(0, 0, 200, 150));
    EXPECT_EQ(host.pixels().at(1, 1), 0xFF00FF00u);
}

TEST_F(Layered, AlphaCorrectionAndNoLayeredPadding) {
    auto* root = new CRawUI;
    root->draw = [](Canvas& c, const Rect&) {
        c.setPixels({0, 0, 10, 10}, 0x00123456);  // plain drawing: no alpha
        c.setPixels({10, 0, 20, 10}, 0);          // nothing drawn
        c.setPixels({20, 0, 30, 10}, 0x80400000); // half transparent
        c.setPixels({40, 40, 50, 50}, 0x80400000);
    };
    host.open(root, {100, 100});
    host.manager.switchLayered(true);
    run(20);
    Snapshot s = host.pixels();
    EXPECT_EQ(s.at(5, 5), 0xFF123456u);
    EXPECT_EQ(s.at(15, 5), 0u);
    EXPECT_EQ(s.at(25, 5), 0x80400000u);
    EXPECT_EQ(s.at(45, 45), 0x80400000u);

    // Inside the no-layered padding every drawn pixel is opaque.
    host.manager.setNoLayeredPadding({30, 30, 30, 30});
    host.manager.invalidateAll();
    run(20);
    s = host.pixels();
    EXPECT_EQ(s.at(45, 45), 0xFF400000u);
    EXPECT_EQ(s.at(25, 5), 0x80400000u);
    EXPECT_EQ(s.at(15, 5), 0u);
    // The padding is measured from the top: an uneven one is not mirrored.
    host.manager.setNoLayeredPadding({0, 0, 50, 90});
    host.manager.invalidateAll();
    run(20);
    s = host.pixels();
    EXPECT_EQ(s.at(25, 5), 0xFF400000u);
    EXPECT_EQ(s.at(45, 45), 0x80400000u);
}

TEST_F(Layered, OpacityAndTheRefreshTimer) {
    auto* root = new CRawUI;
    root->assignBkColour(0xFFFFFFFF);
    host.open(root, {100, 100});
    host.manager.switchLayered(true);
    run(20);
    host.manager.setLayeredOpacity(128);
    run(20);
    const std::uint32_t p = host.pixels().at(50, 50);
    EXPECT_NEAR(static_cast<int>(alphaOf(p)), 128, 1);
    EXPECT_NEAR(static_cast<int>(p & 0xFF), 128, 1);

    // The timer paints only what was invalidated.
    const int before = root->paints;
    run(100);
    EXPECT_EQ(root->paints, before);
    root->markDirty();
    run(10);
    EXPECT_EQ(root->paints, before + 1);

    // Whole-window opacity ends per-pixel mode.
    host.manager.applyOpacity(200);
    EXPECT_FALSE(host.manager.isLayered());
    EXPECT_EQ(vdisplay::nativeState(host.windowHandle()).opacity, 200);

    // A child window never turns layered.
    CHostWindow child;
    child.createHostWindow(host.windowHandle(), L"child", WS_CHILD | WS_VISIBLE, 0, 0, 0, 50, 50);
    child.manager.switchLayered(true);
    EXPECT_FALSE(child.manager.isLayered());
    EXPECT_FALSE(windowExStyle(child.windowHandle()) & WS_EX_LAYERED);
}

TEST_F(Layered, NativeEditIsPrintedWithItsCaret) {
    testsupport::SkinWindow w(LR"(<Window size="200,100"><VBox bkcolor="#FFFFFFFF" inset="10,10,10,10">
        <Button name="b" height="20"/><Edit name="e" height="30" text="abc" textcolor="#FF000000" nativebkcolor="#FF00FF00"/></VBox></Window>)");
    ASSERT_TRUE(w.built());
    w.manager().switchLayered(true);
    run(20);
    auto* e = w.as<CEditUI>(L"e", L"Edit");
    e->takeFocus();
    run(20);
    ASSERT_NE(e->nativeWindow(), nullptr);
    const Rect native = e->nativeRect();
    // The native edit's own background reaches the layered picture.
    EXPECT_EQ(w.pixel({native.right - 3, native.top + 2}), 0xFF00FF00u);

    // Typing shows up in the printed copy.
    auto column = [&](int x) {
        std::vector<std::uint32_t> px;
        for (int y = native.top; y < native.bottom; ++y) px.push_back(w.pixel({x, y}));
        return px;
    };
    Rect caret;
    ASSERT_TRUE(editCaretRect(e->nativeHandle(), &caret));
    const int typedAt = native.left + caret.left + 3;
    const auto beforeTyping = column(typedAt);
    vdisplay::typeText(L"W");
    run(20);
    EXPECT_EQ(e->textValue().toStd(), L"abcW");
    EXPECT_NE(column(typedAt), beforeTyping);

    // The caret line blinks in the layered copy.
    ASSERT_TRUE(editCaretRect(e->nativeHandle(), &caret));
    const Point at{native.left + caret.left, native.top + caret.top + 2};
    auto waitCaret = [&](bool shown) {
        for (int i = 0; i < 2000 && e->nativeWindow()->caretShown() != shown; ++i) run(1);
        run(15);
        return e->nativeWindow()->caretShown() == shown;
    };
    ASSERT_TRUE(waitCaret(true));
    EXPECT_EQ(w.pixel(at), 0xFF000000u);
    ASSERT_TRUE(waitCaret(false));
    EXPECT_NE(w.pixel(at), 0xFF000000u);
    // Before the text, where nothing else is drawn.
    sendMessage(e->nativeHandle(), EM_SETSEL, 0, 0);
    ASSERT_TRUE(editCaretRect(e->nativeHandle(), &caret));
    const Point start{native.left + caret.left, native.top + caret.top + 2};
    ASSERT_TRUE(waitCaret(true));
    EXPECT_EQ(w.pixel(start), 0xFF000000u);
    ASSERT_TRUE(waitCaret(false));
    EXPECT_EQ(w.pixel(start), 0xFF00FF00u);
}

TEST_F(Layered, LayeredImageLiesUnderTheTree) {
    testsupport::SkinWindow w(LR"(<Window size="100,80" layeredimage="color='#80FF0000'">
        <HorizontalLayout><Control width="50"/><Control bkcolor="#FF0000FF"/></HorizontalLayout></Window>)");
    ASSERT_TRUE(w.built());
    EXPECT_TRUE(w.manager().isLayered());
    run(20);
    // Half-transparent red where the tree draws nothing, the tree over it elsewhere.
    EXPECT_EQ(w.pixel({10, 40}), 0x80800000u);
    EXPECT_EQ(w.pixel({70, 40}), 0xFF0000FFu);
    // A new image is drawn again.
    w.manager().setLayeredImage(L"color='#FF00FF00'");
    run(20);
    EXPECT_EQ(w.pixel({10, 40}), 0xFF00FF00u);
}
