// Progress bars (the covered part and its pixels) and text controls (links,
// their hover colour and their "link" notice).
#include "ui/controls/ProgressUI.h"
#include "ui/controls/TextUI.h"

#include "tests/ui/SkinWindow.h"

#include <gtest/gtest.h>

#include <climits>

using platform::Rect;
using testsupport::SkinWindow;

namespace {

TEST(Progress, CoveredPartTable) {
    struct Case {
        int min, max, value;
        bool horizontal;
        Rect expected;
    } cases[] = {
        {0, 100, 50, true, {0, 0, 100, 20}},
        {0, 100, 150, true, {0, 0, 200, 20}}, // held at max
        {0, 100, -5, true, {0, 0, 0, 20}},
        {10, 60, 35, true, {0, 0, 100, 20}},
        {5, 5, 9, true, {0, 0, 200, 20}}, // min >= max: max = min + 1
        {7, 3, 0, true, {0, 0, 0, 20}},
        {0, 100, 25, false, {0, 15, 200, 20}},
        {0, 100, 100, false, {0, 0, 200, 20}},
        {-16777216, 16777216, 16777216, true, {0, 0, 200, 20}}, // no overflow
        {INT_MIN, INT_MAX, INT_MAX, false, {0, 0, 200, 20}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CProgressUI::coveredPart({200, 20}, c.min, c.max, c.value, c.horizontal), c.expected)
            << c.min << ".." << c.max << " value " << c.value << (c.horizontal ? " horizontal" : " vertical");

    CProgressUI progress;
    EXPECT_EQ(progress.fixedHeight(), 12);
    progress.applyAttribute(L"max", L"50");
    progress.applyAttribute(L"value", L"80");
    EXPECT_EQ(progress.value(), 50);
    progress.applyAttribute(L"min", L"60");
    EXPECT_EQ(progress.value(), 50) << "min and max do not clamp by themselves";
    progress.assignValue(10);
    EXPECT_EQ(progress.value(), 60);
}

TEST(Progress, FillsTheCoveredPart) {
    SkinWindow w(LR"(<Window size="200,60"><VBox>
        <Progress name="h" height="20" value="50" bkcolor="#FF000000" foreimage="color='#FF00FF00'"/>
        <Progress name="v" height="40" value="25" hor="false" bkcolor="#FF000000"
                  foreimage="color='#FFFF0000' dest='1,1,1,1'"/></VBox></Window>)");
    ASSERT_TRUE(w.built());
    EXPECT_EQ(w.pixel({99, 10}), 0xFF00FF00u);
    EXPECT_EQ(w.pixel({100, 10}), 0xFF000000u);
    // Vertical: the lowest quarter; the description's own dest is replaced.
    EXPECT_EQ(w.pixel({0, 20 + 29}), 0xFF000000u);
    EXPECT_EQ(w.pixel({0, 20 + 30}), 0xFFFF0000u);
    EXPECT_EQ(w.pixel({199, 59}), 0xFFFF0000u);
    w.as<CProgressUI>(L"h", L"Progress")->assignValue(100);
    w.settle();
    EXPECT_EQ(w.pixel({199, 10}), 0xFF00FF00u);
}

constexpr const wchar_t* kLinks = LR"(<Window size="300,80" linkfontcolor="#FF0000FF" linkhoverfontcolor="#FFFF0000">
  <Font id="0" name="WenQuanYi Micro Hei" size="20" bold="true" default="true"/>
  <VBox><Text name="t" showhtml="true" text="&lt;a first&gt;████&lt;/a&gt; and &lt;a second&gt;████&lt;/a&gt;"/>
  <Text name="plain" text="&lt;a x&gt;no links&lt;/a&gt;"/></VBox></Window>)";

TEST(Text, LinksHoverAndClick) {
    SkinWindow w(kLinks);
    ASSERT_TRUE(w.built());
    auto* text = w.as<CTextUI>(L"t", L"Text");
    ASSERT_EQ(text->linkCount(), 2);
    EXPECT_EQ(text->linkTarget(1), L"second");
    EXPECT_EQ(w.as<CTextUI>(L"plain", L"Text")->linkCount(), 0);
    EXPECT_EQ(text->behaviourFlags(), static_cast<unsigned>(ControlFlags::SetCursor));
    const Rect second = text->linkRect(1);
    const platform::Point inSecond{(second.left + second.right) / 2, (second.top + second.bottom) / 2};
    EXPECT_EQ(w.pixel(inSecond), 0xFF0000FFu);

    w.moveTo(inSecond);
    EXPECT_EQ(text->hoveredLink(), 1);
    EXPECT_EQ(w.pixel(inSecond), 0xFFFF0000u) << "the hovered link in the hover colour";
    w.takeNotices();
    w.press(inSecond);
    w.release(inSecond);
    std::vector<std::string> links;
    for (std::string& n : w.takeNotices())
        if (n.rfind("link", 0) == 0) links.push_back(n);
    EXPECT_EQ(links, std::vector<std::string>{"link:t:1"});

    w.moveTo({299, 79});
    EXPECT_EQ(text->hoveredLink(), -1);
    EXPECT_EQ(w.pixel(inSecond), 0xFF0000FFu);
    text->assignEnabled(false);
    EXPECT_EQ(text->behaviourFlags(), 0u);
}

} // namespace
