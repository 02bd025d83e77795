// Sliders: the value a thumb position stands for and the thumb a value
// stands for, in both orientations, with steps and limits; dragging, track
// presses, keys and the wheel on the virtual display, with their notices in
// order.
#include "ui/controls/SliderUI.h"

#include "tests/ui/SkinWindow.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using platform::Point;
using platform::Rect;
using testsupport::SkinWindow;
using Notices = std::vector<std::string>;

namespace {

namespace vd = platform::vdisplay;

Notices valueNotices(SkinWindow& w) {
    Notices out;
    for (std::string& n : w.takeNotices())
        if (n.find("valuechanged") != std::string::npos) out.push_back(n);
    return out;
}

} // namespace

TEST(Slider, ValueFromThumbCentre) {
    // A 110 × 20 slider at (10, 10) with a 10 × 10 thumb: the centre runs
    // from x = 15 (min) to x = 115 (max), 100 pixels; vertically from
    // y = 115 (min, the bottom) to y = 15 on a 20 × 110 one.
    const Rect hor{10, 10, 120, 30};
    const Rect ver{10, 10, 30, 120};
    struct Case {
        const char* proves;
        bool horizontal;
        int min, max, step;
        Point at;
        int expected;
    } cases[] = {
        {"left end is min", true, 0, 100, 1, {15, 20}, 0},
        {"right end is max", true, 0, 100, 1, {115, 20}, 100},
        {"one pixel is one unit", true, 0, 100, 1, {52, 20}, 37},
        {"before the track: min", true, 0, 100, 1, {-40, 20}, 0},
        {"past the track: max", true, 0, 100, 1, {400, 20}, 100},
        {"height does not matter", true, 0, 100, 1, {52, 300}, 37},
        {"negative range", true, -50, 50, 1, {65, 20}, 0},
        {"half a unit rounds up", true, 0, 200, 1, {65, 20}, 100},
        {"steps: nearest multiple from min", true, 0, 100, 10, {50, 20}, 40},
        {"steps: half way rounds up", true, 0, 100, 10, {60, 20}, 50},
        {"steps counted from min", true, 3, 103, 10, {48, 20}, 33},
        {"a range not whole in steps still reaches max", true, 0, 10, 3, {115, 20}, 10},
        {"near max but nearer the last step", true, 0, 10, 3, {103, 20}, 9},
        {"bottom is min", false, 0, 100, 1, {20, 115}, 0},
        {"top is max", false, 0, 100, 1, {20, 15}, 100},
        {"upwards one unit a pixel", false, 0, 100, 1, {20, 90}, 25},
        {"vertical steps", false, 0, 100, 25, {20, 70}, 50},
        {"below the track: min", false, 0, 100, 1, {20, 500}, 0},
        {"empty range answers min", true, 5, 5, 1, {80, 20}, 5},
        {"wide range without overflow", true, -2000000000, 2000000000, 1, {115, 20}, 2000000000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.proves);
        EXPECT_EQ(CSliderUI::valueAt(c.horizontal ? hor : ver, {10, 10}, c.min, c.max, c.step, c.horizontal, c.at),
                  c.expected);
    }
    // Every value's thumb answers that value again (no drift either way).
    for (bool horizontal : {true, false})
        for (int v = 0; v <= 100; ++v) {
            const Rect t = CSliderUI::thumbRectFor(horizontal ? hor : ver, {10, 10}, 0, 100, v, horizontal);
            ASSERT_EQ(CSliderUI::valueAt(horizontal ? hor : ver, {10, 10}, 0, 100, 1, horizontal,
                                         {(t.left + t.right) / 2, (t.top + t.bottom) / 2}),
                      v)
                << (horizontal ? "horizontal " : "vertical ") << v;
        }
}

TEST(Slider, ThumbFromValue) {
    struct Case {
        const char* proves;
        Rect pos;
        platform::Size thumb;
        bool horizontal;
        int value;
        Rect expected;
    } cases[] = {
        {"min: flush left, centred across", {0, 0, 110, 20}, {10, 10}, true, 0, {0, 5, 10, 15}},
        {"max: flush right", {0, 0, 110, 20}, {10, 10}, true, 100, {100, 5, 110, 15}},
        {"half way", {0, 0, 110, 20}, {10, 10}, true, 50, {50, 5, 60, 15}},
        {"above max is max", {0, 0, 110, 20}, {10, 10}, true, 900, {100, 5, 110, 15}},
        {"vertical min at the bottom", {0, 0, 20, 110}, {12, 10}, false, 0, {4, 100, 16, 110}},
        {"vertical max at the top", {0, 0, 20, 110}, {12, 10}, false, 100, {4, 0, 16, 10}},
        {"a thumb wider than the slider stays at the start", {0, 0, 8, 20}, {10, 10}, true, 60, {0, 5, 10, 15}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.proves);
        EXPECT_EQ(CSliderUI::thumbRectFor(c.pos, c.thumb, 0, 100, c.value, c.horizontal), c.expected);
    }
}

TEST(Slider, DragKeysWheelAndTrackWithNotices) {
    SkinWindow w(LR"(<Window><VBox inset="10,10,10,10" childpadding="10">
      <Slider name="s" height="20" width="110" min="0" max="100" value="20" step="5" thumbsize="10,10"
              foreimage="color='#FF3A7BD5'" bkcolor="#FFD0D6E0"/>
      <Slider name="p" height="20" width="110" max="100" value="50" trackclick="page"/>
      <HBox height="110"><Slider name="v" width="20" hor="false" max="10" value="0" thumbsize="20,10"/></HBox>
      <Button name="other" height="20"/></VBox></Window>)",
                 {200, 300});
    ASSERT_TRUE(w.built());
    auto* s = w.as<CSliderUI>(L"s", L"Slider");
    ASSERT_NE(s, nullptr);
    ASSERT_EQ(s->bounds(), (Rect{10, 10, 120, 30}));
    EXPECT_EQ(s->thumbRect(), (Rect{30, 15, 40, 25}));
    // The filled track ends at the thumb's centre (above and below the thumb).
    EXPECT_EQ(w.pixel({34, 12}) & 0xFFFFFFu, 0x3A7BD5u);
    EXPECT_EQ(w.pixel({35, 27}) & 0xFFFFFFu, 0xD0D6E0u);
    w.takeNotices();

    // Dragging the thumb by 23 pixels: the value follows in steps of 5 while
    // moving, one "valuechanged" at the release.
    const Point grab{36, 20}; // off the thumb's centre: the grab point is kept
    w.moveTo(grab);
    w.press(grab);
    EXPECT_TRUE(s->isDragging());
    for (int dx : {6, 12, 18, 23}) w.moveTo({grab.x + dx, grab.y});
    EXPECT_EQ(s->value(), 45);
    EXPECT_EQ(valueNotices(w), (Notices{"movevaluechanged:s:25", "movevaluechanged:s:30", "movevaluechanged:s:40",
                                        "movevaluechanged:s:45"}));
    w.release({grab.x + 23, grab.y});
    EXPECT_FALSE(s->isDragging());
    EXPECT_EQ(valueNotices(w), (Notices{"valuechanged:s:45"}));

    // A drag that comes back where it started changes nothing.
    const Rect t = s->thumbRect();
    const Point centre{(t.left + t.right) / 2, (t.top + t.bottom) / 2};
    w.press(centre);
    w.moveTo({centre.x + 30, centre.y});
    w.moveTo(centre);
    w.release(centre);
    EXPECT_EQ(s->value(), 45);
    EXPECT_EQ(valueNotices(w), (Notices{"movevaluechanged:s:75", "movevaluechanged:s:45"}));

    // A press on the track jumps there, then drags on; far past the end is max.
    w.press({110, 20});
    EXPECT_EQ(s->value(), 95);
    w.moveTo({190, 20});
    w.release({190, 20});
    EXPECT_EQ(s->value(), 100);
    EXPECT_EQ(valueNotices(w), (Notices{"movevaluechanged:s:95", "movevaluechanged:s:100", "valuechanged:s:100"}));

    // Keys (the slider has the focus from the press): a step, a page, the ends.
    ASSERT_TRUE(s->hasFocus());
    for (unsigned vk : {platform::VK_RIGHT, platform::VK_LEFT, platform::VK_DOWN, platform::VK_HOME, platform::VK_UP,
                        platform::VK_PRIOR, platform::VK_END, platform::VK_NEXT})
        w.key(vk);
    EXPECT_EQ(valueNotices(w),
              (Notices{"valuechanged:s:95", "valuechanged:s:90", "valuechanged:s" /* 0 */, "valuechanged:s:5",
                       "valuechanged:s:15", "valuechanged:s:100", "valuechanged:s:90"}))
        << "Right at max changes nothing and says nothing";

    // The wheel: a step per notch, up is more.
    w.wheel(L"s", 1);
    w.wheel(L"s", -1);
    w.wheel(L"s", -1);
    EXPECT_EQ(s->value(), 85);
    EXPECT_EQ(valueNotices(w), (Notices{"valuechanged:s:95", "valuechanged:s:90", "valuechanged:s:85"}));

    // Page mode: a press beside the thumb moves a tenth of the range towards it.
    auto* p = w.as<CSliderUI>(L"p", L"Slider");
    const Rect pr = p->bounds();
    for (int x : {pr.right - 2, pr.left + 2, pr.left + 2}) {
        w.moveTo({x, pr.top + 10});
        w.press({x, pr.top + 10});
        w.release({x, pr.top + 10});
    }
    EXPECT_EQ(p->value(), 40);
    EXPECT_EQ(valueNotices(w), (Notices{"valuechanged:p:60", "valuechanged:p:50", "valuechanged:p:40"}));

    // Vertical: dragging up raises the value.
    auto* v = w.as<CSliderUI>(L"v", L"Slider");
    const Rect vt = v->thumbRect();
    const Point vc{(vt.left + vt.right) / 2, (vt.top + vt.bottom) / 2};
    w.moveTo(vc);
    w.press(vc);
    w.moveTo({vc.x, vc.y - 50});
    w.release({vc.x, vc.y - 50});
    EXPECT_EQ(v->value(), 5);
    EXPECT_EQ(valueNotices(w), (Notices{"movevaluechanged:v:5", "valuechanged:v:5"}));

    // Disabled: nothing moves.
    s->assignEnabled(false);
    w.press({20, 20});
    w.release({20, 20});
    EXPECT_EQ(s->value(), 85);
    EXPECT_EQ(valueNotices(w), Notices{});
}
