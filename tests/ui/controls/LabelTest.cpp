// Labels: the attribute rules, measuring (padding, fixed sizes, effects,
// multi-line), auto width in a layout, and the text colours.
#include "ui/controls/LabelUI.h"

#include "platform/graphics/Graphics.h"
#include "tests/ui/SkinWindow.h"
#include "ui/core/FormManagerUI.h"

#include <gtest/gtest.h>

using platform::DT_BOTTOM;
using platform::DT_CENTER;
using platform::DT_END_ELLIPSIS;
using platform::DT_RIGHT;
using platform::DT_SINGLELINE;
using platform::DT_VCENTER;
using platform::DT_WORDBREAK;
using testsupport::SkinWindow;

namespace {

constexpr const wchar_t* kFace = L"WenQuanYi Micro Hei";

TEST(Label, AttributeTable) {
    struct Case {
        const wchar_t* name;
        const wchar_t* value;
        unsigned style;
        platform::Argb colour;
    } cases[] = {
        {L"align", L"center", DT_CENTER | DT_VCENTER | DT_SINGLELINE, 0},
        {L"align", L"center right", DT_RIGHT | DT_VCENTER | DT_SINGLELINE, 0},
        {L"align", L"right left", DT_RIGHT | DT_VCENTER | DT_SINGLELINE, 0},
        {L"align", L"nowhere", DT_VCENTER | DT_SINGLELINE, 0},
        {L"valign", L"bottom", DT_BOTTOM | DT_SINGLELINE, 0},
        {L"valign", L"top", DT_SINGLELINE, 0},
        {L"valign", L"vcenter bottom", DT_BOTTOM | DT_SINGLELINE, 0},
        {L"endellipsis", L"true", DT_END_ELLIPSIS | DT_VCENTER | DT_SINGLELINE, 0},
        {L"multiline", L"true", DT_VCENTER | DT_WORDBREAK, 0},
        {L"multiline", L"True", DT_VCENTER | DT_SINGLELINE, 0},
        {L"textcolor", L"00FF0000", DT_VCENTER | DT_SINGLELINE, 0xFFFF0000},
        {L"textcolor", L"#80FF0000", DT_VCENTER | DT_SINGLELINE, 0x80FF0000},
        {L"textcolor", L"#00000000", DT_VCENTER | DT_SINGLELINE, 0},
    };
    for (const Case& c : cases) {
        CLabelUI label;
        label.applyAttribute(c.name, c.value);
        EXPECT_EQ(label.textStyle(), c.style) << platform::toUtf8(c.name) << "=" << platform::toUtf8(c.value);
        EXPECT_EQ(label.textColour(), c.colour) << platform::toUtf8(c.name) << "=" << platform::toUtf8(c.value);
    }
    CLabelUI label;
    label.applyAttribute(L"disabledtextcolor", L"00123456");
    EXPECT_EQ(label.disabledTextColour(), 0x00123456u) << "only the text colour is made opaque";
    label.applyAttribute(L"shadowoffset", L"10,90");
    EXPECT_EQ(label.shadowOffset(), (platform::Point{0, 10}));
    label.applyAttribute(L"luminousfuzzy", L"0.00001");
    EXPECT_FLOAT_EQ(label.effects().luminousFuzzy, 3.0f) << "tiny blur factors are ignored";
    label.applyAttribute(L"AutoCalWidth", L"TRUE");
    EXPECT_TRUE(label.autoWidth()) << "the two auto attributes ignore case";
}

// measure() against the font's own extents.
TEST(Label, MeasuresTextPlusPadding) {
    SkinWindow window(L"<Window><Font id=\"0\" name=\"WenQuanYi Micro Hei\" size=\"16\" default=\"true\"/>"
                      L"<VBox><Label name=\"l\"/></VBox></Window>");
    ASSERT_TRUE(window.built());
    auto* label = window.as<CLabelUI>(L"l", L"Label");
    auto font = platform::Font::create(kFace, 16);
    const int textWidth = font->measure(L"Quellan 安装").cx;
    const int lineHeight = font->metrics().height;

    struct Case {
        const wchar_t* attributes;
        platform::Size available;
        platform::Size expected;
    } cases[] = {
        {L"", {500, 500}, {textWidth, lineHeight}},
        {L"textpadding=\"3,4,5,6\"", {500, 500}, {textWidth + 8, lineHeight + 10}},
        {L"enabledeffect=\"true\"", {500, 500}, {static_cast<int>(textWidth * 1.03), lineHeight}},
        {L"width=\"70\"", {500, 500}, {70, 0}},
        {L"width=\"70\" height=\"9\"", {500, 500}, {70, 9}},
        {L"height=\"9\"", {500, 500}, {textWidth, 9}},
        // Wrapped at the fixed width: at least two lines (-1 below).
        {L"multiline=\"true\" width=\"40\"", {500, 500}, {40, -1}},
    };
    for (const Case& c : cases) {
        CLabelUI fresh;
        fresh.bindManager(&window.manager(), nullptr, false);
        fresh.applyAttributeText(std::wstring(L"text=\"Quellan 安装\" ") + c.attributes);
        platform::Size got = fresh.measure(c.available);
        fresh.bindManager(nullptr, nullptr, false);
        if (c.expected.cy < 0) {
            EXPECT_EQ(got.cx, c.expected.cx);
            EXPECT_GE(got.cy, 2 * lineHeight);
        } else {
            EXPECT_EQ(got, c.expected) << platform::toUtf8(c.attributes);
        }
    }

    // A measurement made before the label had a window is not kept.
    CLabelUI early;
    early.assignText(L"Quellan 安装");
    early.measure({500, 500});
    early.bindManager(&window.manager(), nullptr, false);
    EXPECT_EQ(early.measure({500, 500}).cx, textWidth);
    early.bindManager(nullptr, nullptr, false);

    // The cache follows the text and the available size.
    label->assignText(L"ab");
    platform::Size small = label->measure({500, 500});
    label->assignText(L"abcdef");
    EXPECT_GT(label->measure({500, 500}).cx, small.cx);
}

TEST(Label, AutoWidthInAHorizontalLayoutFollowsTheText) {
    SkinWindow window(LR"(<Window size="500,60"><Font id="0" name="WenQuanYi Micro Hei" size="16" default="true"/>
        <HBox><Label name="a" text="hello" autocalwidth="true" textpadding="3,0,5,0"/>
        <Label name="e" text="hello" autocalwidth="true" enabledeffect="true"/>
        <Label name="s" text="stretches"/></HBox></Window>)");
    ASSERT_TRUE(window.built());
    const int hello = platform::Font::create(kFace, 16)->measure(L"hello").cx;
    EXPECT_EQ(window.find(L"a")->bounds().width(), hello + 8);
    EXPECT_EQ(window.find(L"e")->bounds().width(), static_cast<int>(hello * 1.03));
    EXPECT_EQ(window.find(L"s")->bounds().width(), 500 - (hello + 8) - static_cast<int>(hello * 1.03));

    // A new text is laid out again, not cut to the old width.
    window.find(L"a")->assignText(L"hello, world");
    window.settle();
    EXPECT_EQ(window.find(L"a")->bounds().width(), platform::Font::create(kFace, 16)->measure(L"hello, world").cx + 8);
}

TEST(Label, PaintsTheDisabledColoursAndTheDefaultTextColour) {
    SkinWindow window(LR"(<Window size="200,60" defaultfontcolor="#FF00FF00" disabledfontcolor="#FF0000FF">
        <Font id="0" name="WenQuanYi Micro Hei" size="30" bold="true" default="true"/>
        <HBox><Label name="on" text="██" align="center" bkcolor="#FFFFFFFF"/>
        <Label name="off" text="██" align="center" enabled="false" bkcolor="#FFFFFFFF" disabledbkcolor="#FF808080"/>
        </HBox></Window>)");
    ASSERT_TRUE(window.built());
    auto centreOf = [&](const wchar_t* name) {
        const platform::Rect& r = window.find(name)->bounds();
        return window.pixel({(r.left + r.right) / 2, (r.top + r.bottom) / 2});
    };
    EXPECT_EQ(centreOf(L"on"), 0xFF00FF00u);
    EXPECT_EQ(centreOf(L"off"), 0xFF0000FFu);
    const platform::Rect& off = window.find(L"off")->bounds();
    EXPECT_EQ(window.pixel({off.left + 1, off.top + 1}), 0xFF808080u);
    EXPECT_EQ(window.as<CLabelUI>(L"on", L"Label")->textColour(), 0xFF00FF00u) << "taken at the first paint";
}

} // namespace
