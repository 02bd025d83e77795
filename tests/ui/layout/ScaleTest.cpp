// Windows at the desktop's scale: a document laid out at 2× puts every
// fixed rectangle at exactly twice its 1× place, neighbours touch at
// fractional scales, clicks at a control's edges land on it, popups take
// their owner's scale, and skin images pick their density variant.
#include "../SkinWindow.h"
#include "../TestSupport.h"

#include "ui/controls/ComboUI.h"
#include "ui/controls/ComboWnd.h"
#include "ui/controls/DateTimeUI.h"
#include "ui/controls/DateTimeWnd.h"
#include "ui/controls/ListHeaderItemUI.h"
#include "ui/controls/RichEditUI.h"
#include "ui/controls/SliderUI.h"
#include "ui/controls/TreeNodeUI.h"
#include "ui/render/SkinResources.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <vector>

using platform::Point;
using platform::Rect;
using platform::Size;

namespace {

// Sets QUELLAN_SCALE (the virtual display's only scale source) for one scope.
class ScaleScope {
public:
    explicit ScaleScope(const char* value) {
        if (const char* old = std::getenv("QUELLAN_SCALE")) m_old = old;
        if (value)
            ::setenv("QUELLAN_SCALE", value, 1);
        else
            ::unsetenv("QUELLAN_SCALE");
    }
    ~ScaleScope() {
        if (m_old)
            ::setenv("QUELLAN_SCALE", m_old->c_str(), 1);
        else
            ::unsetenv("QUELLAN_SCALE");
    }

private:
    std::optional<std::string> m_old;
};

Rect times(const Rect& r, int k) { return {r.left * k, r.top * k, r.right * k, r.bottom * k}; }

// Every measure a skin writes, in one document: window size, inset, gap,
// padding, fixed and min sizes, a floating control with anchors, a tile
// grid, text padding and borders; and labels sized by their text.
const wchar_t* const kDocument =
    L"<Window size=\"320,240\" caption=\"0,0,0,30\" roundcorner=\"6,6\" mininfo=\"200,100\">"
    L"<VerticalLayout name=\"root\" inset=\"5,6,7,8\" childpadding=\"3\">"
    L"  <HorizontalLayout name=\"row\" height=\"30\" childpadding=\"2\" inset=\"1,1,1,1\">"
    L"    <Button name=\"a\" width=\"40\" padding=\"2,0,0,0\" bordersize=\"1\" bordercolor=\"#FF000000\"/>"
    L"    <Button name=\"b\" width=\"25\"/>"
    L"    <Control name=\"fill\"/>"
    L"    <Button name=\"c\" width=\"33\" padding=\"0,3,4,0\"/>"
    L"  </HorizontalLayout>"
    L"  <Control name=\"band\" height=\"17\" padding=\"4,0,4,0\"/>"
    L"  <TileLayout name=\"tiles\" height=\"60\" itemsize=\"30,20\" childpadding=\"4\">"
    L"    <Control name=\"t0\"/><Control name=\"t1\"/><Control name=\"t2\"/>"
    L"  </TileLayout>"
    L"  <Control name=\"stretch\"/>"
    L"  <Label name=\"text\" text=\"Measured text\" textpadding=\"3,2,3,2\"/>"
    L"  <Button name=\"float\" float=\"true\" pos=\"100,50,160,70\"/>"
    L"</VerticalLayout></Window>";

const wchar_t* const kFixedNames[] = {L"root", L"row",   L"a",  L"b",  L"fill", L"c",
                                      L"band", L"tiles", L"t0", L"t1", L"t2",   L"float"};

std::map<std::wstring, Rect> layoutAt(const char* scale, Size* client = nullptr, int* textHeight = nullptr) {
    ScaleScope s(scale);
    platform::vdisplay::reset();
    testsupport::SkinWindow w(kDocument);
    std::map<std::wstring, Rect> out;
    if (!w.built()) return out;
    for (const wchar_t* name : kFixedNames) out[name] = w.find(name)->bounds();
    if (client) *client = platform::clientRect(w.handle()).size();
    if (textHeight) *textHeight = w.find(L"text")->height();
    // Stretches over what the text leaves: its size follows the text's.
    out[L"stretch"] = w.find(L"stretch")->bounds();
    return out;
}

TEST(Scale, AtTwiceEveryFixedRectangleIsTwiceItsPlace) {
    Size client1, client2;
    int text1 = 0, text2 = 0;
    const auto one = layoutAt(nullptr, &client1, &text1);
    const auto two = layoutAt("2", &client2, &text2);
    ASSERT_EQ(one.size(), std::size(kFixedNames) + 1);
    ASSERT_EQ(two.size(), std::size(kFixedNames) + 1);
    EXPECT_EQ(client1, (Size{320, 240}));
    EXPECT_EQ(client2, (Size{640, 480}));
    for (const wchar_t* name : kFixedNames) EXPECT_EQ(two.at(name), times(one.at(name), 2)) << name;
    // Text is laid out at the doubled font size: its height doubles within rounding.
    EXPECT_NEAR(text2, 2 * text1, 3);
    EXPECT_EQ(two.at(L"stretch").top, 2 * one.at(L"stretch").top);
    EXPECT_NEAR(two.at(L"stretch").height(), 2 * one.at(L"stretch").height(), 3);
}

// The window element's lengths come back in device pixels.
TEST(Scale, WindowAttributesScale) {
    ScaleScope s("1.5");
    testsupport::SkinWindow w(kDocument);
    ASSERT_TRUE(w.built());
    EXPECT_DOUBLE_EQ(w.manager().scale(), 1.5);
    EXPECT_EQ(w.manager().caption(), (Rect{0, 0, 0, 45}));
    EXPECT_EQ(w.manager().roundCorner(), (Size{9, 9}));
    EXPECT_EQ(w.manager().minTrackSize(), (Size{300, 150}));
    EXPECT_EQ(platform::clientRect(w.handle()).size(), (Size{480, 360}));
}

// Odd lengths at fractional scales: each child begins where the one before
// it ends (after the scaled gap), and floating neighbours that share an
// edge in the skin share it on screen.
TEST(Scale, NeighboursTouchAtFractionalScales) {
    const char* scales[] = {"1.25", "1.5", "1.75"};
    const int widths[] = {7, 13, 5, 9, 11, 3};
    for (const char* scale : scales) {
        SCOPED_TRACE(scale);
        ScaleScope s(scale);
        platform::vdisplay::reset();
        std::wstring markup = L"<Window><VerticalLayout>"
                              L"<HorizontalLayout name=\"row\" height=\"21\" inset=\"3,1,3,1\">";
        for (int i = 0; i < 6; ++i)
            markup += L"<Control name=\"h" + std::to_wstring(i) + L"\" width=\"" + std::to_wstring(widths[i]) + L"\"/>";
        markup += L"<Control name=\"hs\"/></HorizontalLayout>"
                  L"<VerticalLayout name=\"col\" inset=\"0,3,0,0\">";
        for (int i = 0; i < 6; ++i)
            markup +=
                L"<Control name=\"v" + std::to_wstring(i) + L"\" height=\"" + std::to_wstring(widths[i]) + L"\"/>";
        markup += L"</VerticalLayout><Container name=\"floats\" height=\"40\">";
        int x = 0;
        for (int i = 0; i < 6; ++i) {
            markup += L"<Control name=\"f" + std::to_wstring(i) + L"\" float=\"true\" pos=\"" + std::to_wstring(x) +
                      L",3," + std::to_wstring(x + widths[i]) + L",13\"/>";
            x += widths[i];
        }
        markup += L"</Container></VerticalLayout>";
        markup += L"</Window>";
        testsupport::SkinWindow w(markup, {400, 300});
        ASSERT_TRUE(w.built());
        const double k = std::strtod(scale, nullptr);
        const Rect row = w.find(L"row")->bounds();
        EXPECT_EQ(w.find(L"h0")->x(), row.left + static_cast<int>(std::lround(3 * k)));
        for (int i = 0; i < 6; ++i) {
            const std::wstring n = std::to_wstring(i), next = i == 5 ? L"hs" : L"h" + std::to_wstring(i + 1);
            const Rect h = w.find(L"h" + n)->bounds();
            EXPECT_EQ(h.width(), static_cast<int>(std::lround(widths[i] * k))) << "h" << i;
            EXPECT_EQ(h.right, w.find(next)->x()) << "h" << i;
            if (i < 5) {
                const Rect v = w.find(L"v" + n)->bounds(), below = w.find(L"v" + std::to_wstring(i + 1))->bounds();
                EXPECT_EQ(v.bottom, below.top) << "v" << i;
                EXPECT_EQ(w.find(L"f" + n)->bounds().right, w.find(L"f" + std::to_wstring(i + 1))->x()) << "f" << i;
            }
        }
        // The stretching child takes the rest exactly up to the inset.
        EXPECT_EQ(w.find(L"hs")->bounds().right, row.right - static_cast<int>(std::lround(3 * k)));
        // The floating run ends where its skin edge (48) lands.
        const Rect floats = w.find(L"floats")->bounds();
        EXPECT_EQ(w.find(L"f0")->x(), floats.left);
        EXPECT_EQ(w.find(L"f5")->bounds().right, floats.left + static_cast<int>(std::lround(48 * k)));
    }
}

// A click on the first and the last device pixel of a button reaches it; one
// pixel further it reaches the neighbour.
TEST(Scale, ClicksAtEdgesLandOnTheControl) {
    for (const char* scale : {"1.5", "2"}) {
        SCOPED_TRACE(scale);
        ScaleScope s(scale);
        platform::vdisplay::reset();
        testsupport::SkinWindow w(L"<Window size=\"200,100\"><HorizontalLayout>"
                                  L"<Button name=\"left\" width=\"33\" height=\"21\"/>"
                                  L"<Button name=\"right\" width=\"33\" height=\"21\"/>"
                                  L"</HorizontalLayout></Window>");
        ASSERT_TRUE(w.built());
        const Rect l = w.find(L"left")->bounds(), r = w.find(L"right")->bounds();
        ASSERT_EQ(l.right, r.left);
        w.takeNotices();
        const struct {
            Point at;
            const char* notice; // null: nothing clicked
        } hits[] = {
            {{l.left, l.top}, "click:left"},  {{l.right - 1, l.bottom - 1}, "click:left"},
            {{r.left, r.top}, "click:right"}, {{r.right - 1, r.bottom - 1}, "click:right"},
            {{r.right, r.top}, nullptr},      {{l.left, l.bottom}, nullptr},
        };
        for (const auto& h : hits) {
            w.press(h.at);
            w.release(h.at);
            std::vector<std::string> clicks;
            for (const std::string& n : w.takeNotices())
                if (n.rfind("click:", 0) == 0) clicks.push_back(n);
            if (h.notice)
                EXPECT_EQ(clicks, std::vector<std::string>{h.notice}) << h.at.x << "," << h.at.y;
            else
                EXPECT_TRUE(clicks.empty()) << h.at.x << "," << h.at.y;
        }
    }
}

// A window owned by a scaled window takes that window's scale whatever the
// desktop says now; a window without owner takes the desktop's.
TEST(Scale, OwnedWindowsTakeTheOwnersScale) {
    std::optional<testsupport::SkinWindow> owner;
    {
        ScaleScope s("2");
        owner.emplace(L"<Window size=\"100,100\"><Control/></Window>");
    }
    ASSERT_TRUE(owner->built());
    ScaleScope s("1.25");
    platform::WindowHandle popup = platform::createWindow(0, L"QuellanTestSkinWindow", L"", platform::WS_POPUP, 0, 0,
                                                          10, 10, owner->handle(), nullptr);
    platform::WindowHandle lone =
        platform::createWindow(0, L"QuellanTestSkinWindow", L"", platform::WS_POPUP, 0, 0, 10, 10, nullptr, nullptr);
    ASSERT_TRUE(popup && lone);
    CFormManagerUI popupManager, loneManager;
    popupManager.attachWindow(popup, L"popup");
    loneManager.attachWindow(lone, L"lone");
    EXPECT_DOUBLE_EQ(popupManager.scale(), 2.0);
    EXPECT_DOUBLE_EQ(loneManager.scale(), 1.25);
    platform::destroyWindow(popup);
    platform::destroyWindow(lone);
}

// A list's columns and a combo's drop box follow the window: columns twice
// as wide, a dragged column stored in skin units and held at its skin
// maximum, the popup twice as tall, its rows measured at the owner's scale.
TEST(Scale, ListColumnsAndComboDropBoxAtTwice) {
    ScaleScope s("2");
    platform::vdisplay::reset();
    testsupport::SkinWindow w(LR"(<Window size="150,150"><VerticalLayout><List name="l" height="60">
        <ListHeader name="h"><ListHeaderItem name="c0" text="One" width="100" minwidth="40" maxwidth="130"/>
        <ListHeaderItem name="c1" text="Two" width="30"/></ListHeader><ListTextElement name="r0" text="a|b"/></List>
        <Combo name="c" height="24" dropboxsize="0,60"><ListLabelElement name="i0" text="zero" height="20"/>
        <ListLabelElement name="i1" text="one" height="20"/></Combo><Control/></VerticalLayout></Window>)");
    ASSERT_TRUE(w.built());
    auto* c0 = w.as<CListHeaderItemUI>(L"c0", L"ListHeaderItem");
    ASSERT_NE(c0, nullptr);
    EXPECT_EQ(c0->width(), 200);
    EXPECT_EQ(w.find(L"c1")->bounds().left, 200);
    EXPECT_EQ(w.find(L"c1")->width(), 60);
    const struct {
        int dragDevice;
        int skinWidth; // what the header item keeps
        int deviceWidth;
    } drags[] = {{30, 115, 230}, {100, 130, 260}, {-400, 40, 80}};
    for (const auto& d : drags) {
        const Rect sep = c0->separatorRect();
        EXPECT_EQ(sep.width(), 8); // a 4-unit strip
        const Point from{sep.left + 1, (sep.top + sep.bottom) / 2};
        w.press(from);
        w.moveTo({from.x + d.dragDevice / 2, from.y});
        w.moveTo({from.x + d.dragDevice, from.y});
        w.release({from.x + d.dragDevice, from.y});
        EXPECT_EQ(c0->skinFixedWidth(), d.skinWidth) << d.dragDevice;
        EXPECT_EQ(c0->width(), d.deviceWidth) << d.dragDevice;
        EXPECT_EQ(w.find(L"c1")->bounds().left, d.deviceWidth) << d.dragDevice;
    }

    auto* combo = w.as<CComboUI>(L"c", L"Combo");
    ASSERT_NE(combo, nullptr);
    w.click(L"c");
    ASSERT_TRUE(combo->isOpen());
    const Rect popup = platform::windowRect(combo->popup()->windowHandle());
    EXPECT_EQ(popup.width(), combo->width());
    EXPECT_EQ(popup.height(), 120);
    EXPECT_DOUBLE_EQ(combo->popup()->manager().scale(), 2.0);
    EXPECT_EQ(w.find(L"i0")->height(), 40);
    w.key(platform::VK_ESCAPE);
}

// The value, text and tree controls follow the window too: indent and part
// squares, the slider's thumb, the rich edit's text padding and the date
// popup's size are skin units.
TEST(Scale, TreeSliderRichEditAndDatePopupAtTwice) {
    ScaleScope s("2");
    platform::vdisplay::reset();
    testsupport::SkinWindow w(LR"(<Window size="200,220"><VerticalLayout>
        <TreeView name="t" height="60" indent="10" folderwidth="12" checkwidth="14" showcheck="true">
        <TreeNode name="a" text="a" height="20"><TreeNode name="b" text="b" height="20"/></TreeNode></TreeView>
        <Slider name="s" height="20" thumbsize="10,16" min="0" max="100" value="50"/>
        <RichEdit name="r" height="40" textpadding="3,4,5,6"/>
        <DateTime name="d" height="24" dropboxsize="100,90"/><Control/></VerticalLayout></Window>)");
    ASSERT_TRUE(w.built());
    auto* a = w.as<CTreeNodeUI>(L"a", L"TreeNode");
    auto* b = w.as<CTreeNodeUI>(L"b", L"TreeNode");
    ASSERT_TRUE(a && b);
    EXPECT_EQ(b->folderRect().left - a->folderRect().left, 20);
    EXPECT_EQ(b->folderRect().width(), 24);
    EXPECT_EQ(b->checkRect().width(), 28);
    EXPECT_EQ(b->checkRect().left, b->folderRect().right);

    auto* slider = w.as<CSliderUI>(L"s", L"Slider");
    ASSERT_NE(slider, nullptr);
    EXPECT_EQ(slider->thumbRect().width(), 20);
    EXPECT_EQ(slider->thumbRect().height(), 32);

    auto* edit = w.as<CRichEditUI>(L"r", L"RichEdit");
    ASSERT_NE(edit, nullptr);
    const Rect box = edit->bounds();
    EXPECT_EQ(edit->textArea(), (Rect{box.left + 6, box.top + 8, box.right - 10, box.bottom - 12}));

    auto* date = w.as<CDateTimeUI>(L"d", L"DateTime");
    ASSERT_NE(date, nullptr);
    w.click(L"d");
    ASSERT_NE(date->popup(), nullptr);
    const Rect popup = platform::windowRect(date->popup()->windowHandle());
    EXPECT_EQ(popup.width(), 200);
    EXPECT_EQ(popup.height(), 180);
    EXPECT_DOUBLE_EQ(date->popup()->manager().scale(), 2.0);
    w.key(platform::VK_ESCAPE);
}

TEST(Scale, VariantNames) {
    const struct {
        const wchar_t* name;
        double density;
        const wchar_t* expected;
    } cases[] = {
        {L"bg.png", 2, L"bg@2x.png"},
        {L"skin/bg.png", 1.5, L"skin/bg@1.5x.png"},
        {L"a.b/c", 2, L"a.b/c@2x"},
        {L"dir\\btn.v2.png", 1.25, L"dir\\btn.v2@1.25x.png"},
    };
    for (const auto& c : cases) EXPECT_EQ(CSkinResourcesUI::variantName(c.name, c.density), c.expected);
}

// A 1× image is red, its 2× variant blue, its 1.5× variant green: the
// nearest density at or above the scale is drawn, else the largest; the
// description's source rectangle is in 1× units whatever the variant, and
// tiles of a 1× image are enlarged with the window.
TEST(Scale, ImagesPickTheirDensityVariant) {
    testsupport::SkinSourceGuard guard;
    testsupport::ScratchFolder dir;
    const auto solid = [](platform::Argb c) { return [c](int, int) { return c; }; };
    testsupport::writePng(dir / "img.png", 10, 10, solid(0xFFFF0000));
    testsupport::writePng(dir / "img@2x.png", 20, 20, solid(0xFF0000FF));
    testsupport::writePng(dir / "half.png", 10, 10, solid(0xFFFF0000));
    testsupport::writePng(dir / "half@1.5x.png", 15, 15, solid(0xFF00FF00));
    // Left half black, right half white at every density: source='5,0,10,10'
    // picks the white half only when it is read in 1× units.
    testsupport::writePng(dir / "split.png", 10, 10, [](int x, int) { return x < 5 ? 0xFF000000 : 0xFFFFFFFF; });
    testsupport::writePng(dir / "split@2x.png", 20, 20, [](int x, int) { return x < 10 ? 0xFF000000 : 0xFFFFFFFF; });
    // Two red and two blue columns, tiled across: a tile at 2x is 8 pixels wide.
    testsupport::writePng(dir / "stripe.png", 4, 4, [](int x, int) { return x < 2 ? 0xFF0000FF : 0xFFFF0000; });
    std::filesystem::current_path(dir.path());
    const struct {
        const char* scale;
        platform::Argb img, half;
    } cases[] = {
        {nullptr, 0xFFFF0000, 0xFFFF0000}, {"1.25", 0xFF0000FF, 0xFF00FF00}, {"1.5", 0xFF0000FF, 0xFF00FF00},
        {"2", 0xFF0000FF, 0xFF00FF00},     {"3", 0xFF0000FF, 0xFF00FF00},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scale ? c.scale : "1");
        ScaleScope s(c.scale);
        platform::vdisplay::reset();
        testsupport::SkinWindow w(
            L"<Window size=\"100,40\"><HorizontalLayout>"
            L"<Control name=\"img\" width=\"20\" bkimage=\"img.png\"/>"
            L"<Control name=\"half\" width=\"20\" bkimage=\"half.png\"/>"
            L"<Control name=\"split\" width=\"20\" bkimage=\"file='split.png' source='5,0,10,10'\"/>"
            L"<Control name=\"tiled\" width=\"20\" bkimage=\"file='stripe.png' xtiled='true'\"/>"
            L"</HorizontalLayout></Window>");
        ASSERT_TRUE(w.built());
        const auto middle = [&](const wchar_t* name) {
            const Rect r = w.find(name)->bounds();
            return w.pixel({(r.left + r.right) / 2, (r.top + r.bottom) / 2});
        };
        EXPECT_EQ(middle(L"img"), c.img);
        EXPECT_EQ(middle(L"half"), c.half);
        const Rect sr = w.find(L"split")->bounds();
        EXPECT_EQ(w.pixel({sr.left + 1, sr.top + 1}), 0xFFFFFFFFu);
        EXPECT_EQ(w.pixel({sr.right - 2, sr.bottom - 2}), 0xFFFFFFFFu);
        if (c.scale == nullptr || std::string(c.scale) == "2") {
            const int k = c.scale ? 2 : 1;
            const Rect tr = w.find(L"tiled")->bounds();
            for (int x : {0, 1, 2, 3, 4, 5, 6, 9}) {
                const int device = x * k + k / 2; // the middle of skin column x
                EXPECT_EQ(w.pixel({tr.left + device, tr.top + 2}), (x % 4) < 2 ? 0xFF0000FFu : 0xFFFF0000u)
                    << "skin column " << x;
            }
        }
    }
}

} // namespace
