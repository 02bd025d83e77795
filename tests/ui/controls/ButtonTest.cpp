// Buttons on the virtual display: the notices of hover, press and release,
// the keyboard, the state images each state shows, and the fade timer.
#include "ui/controls/ButtonUI.h"

#include "tests/ui/SkinWindow.h"

#include <gtest/gtest.h>

#include <functional>
#include <utility>

using testsupport::SkinWindow;
using Notices = std::vector<std::string>;

namespace {

// Each state image is a plain colour, so the pixels say which one is drawn.
constexpr const wchar_t* kButtons = LR"(<Window size="200,120">
  <VBox><Button name="b" height="40" normalimage="color='#FF0000FF'" hotimage="color='#FF00FF00'"
          pushedimage="color='#FFFF0000'" focusedimage="color='#FFFFFF00'" disabledimage="color='#FF808080'"/>
        <Button name="other" height="40" bkcolor="#FF000000"/><Control/></VBox></Window>)";

constexpr std::uint32_t kNormal = 0xFF0000FF, kHot = 0xFF00FF00, kPushed = 0xFFFF0000, kFocused = 0xFFFFFF00,
                        kDisabled = 0xFF808080;

TEST(Button, MouseStatesAndTheirNotices) {
    SkinWindow w(kButtons);
    ASSERT_TRUE(w.built());
    const platform::Point inside{10, 10}, outside{10, 100};
    // The first paint focuses the first tab stop.
    EXPECT_EQ(w.takeNotices(), (Notices{"windowinit:", "setfocus:b"}));
    EXPECT_EQ(w.pixel(inside), kFocused);

    struct Step {
        const char* what;
        std::function<void()> act;
        Notices notices;
        std::uint32_t pixel;
    } steps[] = {
        {"hover", [&] { w.moveTo(inside); }, {"mouseenter:b"}, kHot},
        {"press", [&] { w.press(inside); }, {}, kPushed},
        // Captured: the hover stays, the pushed look follows the mouse.
        {"drag out while pressed", [&] { w.moveTo(outside); }, {}, kHot},
        {"drag back in", [&] { w.moveTo(inside); }, {}, kPushed},
        {"release inside", [&] { w.release(inside); }, {"click:b"}, kHot},
        {"press, release outside",
         [&] {
             w.press(inside);
             w.moveTo(outside);
             w.release(outside);
         },
         {},
         kHot},
        {"click the other",
         [&] { w.click(L"other"); },
         {"mouseleave:b", "mouseenter:other", "killfocus:b", "setfocus:other", "click:other"},
         kNormal},
    };
    for (Step& s : steps) {
        s.act();
        EXPECT_EQ(w.takeNotices(), s.notices) << s.what;
        EXPECT_EQ(w.pixel(inside), s.pixel) << s.what;
    }

    // Disabled: the disabled image, and no reaction to the mouse.
    w.find(L"b")->assignEnabled(false);
    w.settle();
    EXPECT_EQ(w.pixel(inside), kDisabled);
    w.click(L"b");
    for (const std::string& n : w.takeNotices()) EXPECT_NE(n, "click:b");
}

TEST(Button, SpaceAndReturnTriggerTheFocusedButton) {
    SkinWindow w(kButtons);
    ASSERT_TRUE(w.built());
    w.takeNotices();
    w.key(platform::VK_SPACE);
    w.key(platform::VK_RETURN);
    w.key('A');
    EXPECT_EQ(w.takeNotices(), (Notices{"click:b", "click:b"}));
    // Keyboard disabled: the button is no tab stop and ignores the keys.
    w.find(L"b")->assignKeyboardEnabled(false);
    w.key(platform::VK_SPACE);
    EXPECT_EQ(w.takeNotices(), Notices{});
    EXPECT_EQ(w.find(L"b")->behaviourFlags(), static_cast<unsigned>(ControlFlags::SetCursor));
}

TEST(Button, FadeTakesFiveTicksOfFiftyOneEachWay) {
    SkinWindow w(LR"(<Window size="200,100"><VBox><Button name="f" fadedelta="51" height="50"
        normalimage="color='#FF0000FF'" hotimage="color='#FFFF0000'"/><Control/></VBox></Window>)");
    ASSERT_TRUE(w.built());
    auto* button = w.as<CButtonUI>(L"f", L"Button");
    int fadeTicks = 0;
    button->eventHooks().add(CHookUI<TInputEventUI>::keyed(&fadeTicks, [&](TInputEventUI* e) {
        if (e->kind == UiEventKind::Timer && e->wparam == CButtonUI::kFadeTimer) ++fadeTicks;
        return true;
    }));
    auto ticks = [&] { return std::exchange(fadeTicks, 0); };

    w.moveTo({20, 20});
    w.advance(400);
    EXPECT_EQ(ticks(), 5) << "255 -> 204 -> 153 -> 102 -> 51 -> 0, then the timer stops";
    EXPECT_EQ(button->fadeAlpha(), 0);
    EXPECT_EQ(w.pixel({20, 20}), 0xFFFF0000u) << "only the hot image shows";

    w.moveTo({20, 80});
    w.advance(400);
    EXPECT_EQ(ticks(), 5);
    EXPECT_EQ(button->fadeAlpha(), 255);
    EXPECT_EQ(w.pixel({20, 20}), 0xFF0000FFu);
}

TEST(Button, FiveStatusImageCutsOneImageIntoFiveStates) {
    SkinWindow w(
        LR"(<Window size="200,100"><VBox><Button name="f" float="true" pos="0,0,0,0" fivestatusimage="color='#FF00FF00'"/>
        <Button name="g" height="28" fivestatusimage="gallery-missing.png"/></VBox></Window>)");
    ASSERT_TRUE(w.built());
    auto* button = w.as<CButtonUI>(L"f", L"Button");
    // A 1 x 1 colour image: five columns of width 0, and the floating
    // button takes that size.
    EXPECT_EQ(button->images().hot.source, (platform::Rect{0, 0, 0, 1}));
    EXPECT_EQ(button->fixedHeight(), 1);
    auto* missing = w.as<CButtonUI>(L"g", L"Button");
    EXPECT_EQ(missing->images().normal.source, platform::Rect{}) << "nothing to cut";
}

} // namespace
