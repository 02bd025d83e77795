// The animated controls: a turning image and the loading spinner advance
// on their timer while shown and stop when hidden (themselves or through a
// parent), stopped or deleted; and what they draw at a given angle/frame.
#include "ui/controls/ChrysanthemumLoadingUI.h"
#include "ui/controls/RotateImageUI.h"

#include "tests/ui/SkinWindow.h"
#include "tests/ui/TestSupport.h"
#include "ui/layout/ContainerUI.h"

#include <gtest/gtest.h>

#include <filesystem>

using testsupport::SkinWindow;

namespace {

const std::filesystem::path kGallery = std::filesystem::path(QUELLAN_SOURCE_DIR) / "tests" / "gallery";

constexpr const wchar_t* kMarkup = LR"(<Window><VBox name="box" bkcolor="#FFFFFFFF">
  <RotateImage name="rot" width="40" height="40" bkimage="img/rotor.png" speed="90" interval="100"/>
  <ChrysanthemumLoading name="spin" width="40" height="40" spokes="8" spokecolor="#FF000000" interval="50"/>
  <RotateImage name="still" width="40" height="40" bkimage="img/rotor.png" autoplay="false" angle="-90"/>
  </VBox></Window>)";

std::uint32_t rgb(std::uint32_t pixel) { return pixel & 0xFFFFFFu; }

} // namespace

TEST(TickingControl, TimersRunOnlyWhileShown) {
    testsupport::SkinSourceGuard guard;
    std::filesystem::current_path(kGallery);
    SkinWindow w(kMarkup, {100, 200});
    ASSERT_TRUE(w.built());
    auto* rot = w.as<CRotateImageUI>(L"rot", L"RotateImage");
    auto* spin = w.as<CChrysanthemumLoadingUI>(L"spin", L"ChrysanthemumLoading");
    auto* still = w.as<CRotateImageUI>(L"still", L"RotateImage");
    ASSERT_TRUE(rot && spin && still);
    EXPECT_TRUE(rot->isTicking());
    EXPECT_TRUE(spin->isTicking());
    EXPECT_FALSE(still->isTicking()) << "autoplay=false";
    EXPECT_EQ(still->angle(), 270);

    // The display clock also follows the real one, so a slow run may see
    // more ticks than the advance alone makes: at least that many, and
    // always whole ticks (9 degrees for 100 ms; a spoke for 50 ms).
    const auto turns = [&](unsigned ms) {
        const int before = rot->angle();
        w.advance(ms);
        const int moved = (rot->angle() - before + 360) % 360;
        EXPECT_EQ(moved % 9, 0) << moved;
        return moved;
    };
    EXPECT_GE(turns(300), 27);
    const int lead = spin->leadSpoke();
    w.advance(100);
    EXPECT_NE(spin->leadSpoke(), lead);

    // Hidden itself: both stop and stay put; shown again: both go on.
    rot->assignShown(false);
    spin->assignShown(false);
    EXPECT_FALSE(rot->isTicking());
    EXPECT_FALSE(spin->isTicking());
    const int hiddenLead = spin->leadSpoke();
    EXPECT_EQ(turns(300), 0);
    EXPECT_EQ(spin->leadSpoke(), hiddenLead);
    rot->assignShown(true);
    spin->assignShown(true);
    EXPECT_GE(turns(100), 9);
    EXPECT_NE(spin->leadSpoke(), hiddenLead);

    // Hidden through the parent, and stopped by code.
    w.find(L"box")->assignShown(false);
    EXPECT_FALSE(rot->isTicking());
    EXPECT_FALSE(spin->isTicking());
    EXPECT_EQ(turns(200), 0);
    w.find(L"box")->assignShown(true);
    EXPECT_TRUE(rot->isTicking());
    rot->stop();
    EXPECT_EQ(turns(200), 0);
    rot->play();
    EXPECT_GE(turns(100), 9);

    // Deleted while ticking: its timer goes with it.
    auto* box = static_cast<IContainerUI*>(w.find(L"box")->castTo(L"IContainer"));
    ASSERT_NE(box, nullptr);
    ASSERT_TRUE(box->removeItem(spin));
    EXPECT_GE(turns(200), 18);
}

TEST(TickingControl, WhatTheyDraw) {
    testsupport::SkinSourceGuard guard;
    std::filesystem::current_path(kGallery);
    SkinWindow w(kMarkup, {100, 200});
    ASSERT_TRUE(w.built());
    // The rotor's red arm points right at 0 degrees and down at 90.
    auto* rot = w.as<CRotateImageUI>(L"rot", L"RotateImage");
    rot->stop();
    rot->assignAngle(0);
    SkinWindow::settle();
    EXPECT_EQ(rgb(w.pixel({34, 20})), 0xC0392Bu);
    EXPECT_NE(rgb(w.pixel({20, 34})), 0xC0392Bu);
    rot->assignAngle(90);
    SkinWindow::settle();
    EXPECT_EQ(rgb(w.pixel({20, 34})), 0xC0392Bu);
    EXPECT_NE(rgb(w.pixel({34, 20})), 0xC0392Bu);
    // "still" starts at -90: the arm points up.
    EXPECT_EQ(rgb(w.pixel({20, 80 + 6})), 0xC0392Bu);

    // The spinner: the lead spoke black, the one after it (the faintest) pale.
    auto* spin = w.as<CChrysanthemumLoadingUI>(L"spin", L"ChrysanthemumLoading");
    spin->stop();
    spin->assignLeadSpoke(0);
    SkinWindow::settle();
    const auto g = spin->geometry();
    const int tipY = 40 + 20 - static_cast<int>((g.inner + g.outer) / 2);
    EXPECT_EQ(rgb(w.pixel({20, tipY})), 0x000000u) << "spoke 0, the lead, points up";
    // Spoke 1 (up and to the right) is the one furthest behind: 1/8 opaque.
    const double r = (g.inner + g.outer) / 2;
    const int x1 = 20 + static_cast<int>(r * 0.7071), y1 = 60 - static_cast<int>(r * 0.7071);
    EXPECT_NEAR(static_cast<int>(w.pixel({x1, y1}) & 0xFF), 255 - 32, 12);
    // Spoke 7 (up and to the left) is one behind: 7/8 opaque.
    EXPECT_NEAR(static_cast<int>(w.pixel({40 - x1, y1}) & 0xFF), 255 - 223, 12);

    struct Case {
        int behind, count;
        std::uint8_t alpha, expected;
    } cases[] = {{0, 12, 255, 255}, {1, 12, 255, 234}, {11, 12, 255, 21}, {12, 12, 255, 255},
                 {-1, 12, 255, 21}, {4, 8, 128, 64},   {2, 3, 255, 85}};
    for (const Case& c : cases)
        EXPECT_EQ(CChrysanthemumLoadingUI::spokeAlpha(c.behind, c.count, c.alpha), c.expected)
            << c.behind << " of " << c.count;
}
