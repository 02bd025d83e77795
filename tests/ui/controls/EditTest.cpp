// Edits on the virtual display: the native window's life with the focus,
// typing (keys and input-method text), "return", the limits and filters,
// the password mask, the clipboard, selection on focus and click, and the
// native background.
#include "ui/controls/EditUI.h"

#include "tests/ui/SkinWindow.h"
#include "ui/layout/ContainerUI.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

using testsupport::SkinWindow;
using Notices = std::vector<std::string>;
using namespace platform;

namespace {

// A button first, so that the first paint focuses it and not an edit.
constexpr const wchar_t* kForm = LR"(<Window size="300,200">
  <VBox bkcolor="#FFFFFFFF"><Button name="b" height="30" text="ok"/>
    <Edit name="e" height="30" text="abc"/>
    <Edit name="num" height="30" numberonly="true" maxchar="5"/>
    <Edit name="pw" height="30" password="true" text="abc"/>
    <Edit name="all" height="30" autoselall="true" text="hello"/>
    <Edit name="off" height="30" enabled="false" text="x"/></VBox></Window>)";

CEditUI* edit(SkinWindow& w, const wchar_t* name) { return w.as<CEditUI>(name, L"Edit"); }

std::pair<int, int> selection(CEditUI* e) {
    std::uint32_t start = 0, end = 0;
    sendMessage(e->nativeHandle(), EM_GETSEL, reinterpret_cast<WParam>(&start), reinterpret_cast<LParam>(&end));
    return {static_cast<int>(start), static_cast<int>(end)};
}

void ctrlKey(unsigned letter) {
    vdisplay::keyDown(VK_CONTROL);
    vdisplay::pressKey(letter);
    vdisplay::keyUp(VK_CONTROL);
    SkinWindow::settle();
}

void type(std::wstring_view text) {
    vdisplay::typeText(text);
    SkinWindow::settle();
}

} // namespace

TEST(Edit, NativeWindowLivesWhileFocusedAndCarriesTheText) {
    SkinWindow w(kForm);
    ASSERT_TRUE(w.built());
    CEditUI* e = edit(w, L"e");
    EXPECT_EQ(e->nativeHandle(), nullptr);
    w.takeNotices();

    w.click(L"e");
    const WindowHandle native = e->nativeHandle();
    ASSERT_NE(native, nullptr);
    EXPECT_EQ(windowClassName(native), L"EditWnd");
    EXPECT_EQ(focusWindow(), native);
    EXPECT_TRUE(vdisplay::textInputActive());
    EXPECT_EQ(windowText(native), L"abc");
    // Over the text area: the position minus the text padding (4, 3, 4, 3).
    const Rect r = e->bounds();
    EXPECT_EQ(windowRect(native), Rect(r.left + 4, r.top + 3, r.right - 4, r.bottom - 3)
                                      .offset(windowRect(w.handle()).left, windowRect(w.handle()).top));
    EXPECT_EQ(w.takeNotices(), (Notices{"killfocus:b", "setfocus:e"}));

    type(L"de");
    EXPECT_EQ(e->textValue().toStd(), L"abcde");
    EXPECT_EQ(w.takeNotices(), (Notices{"textchanged:e", "textchanged:e"}));

    // Return raises "return" and inserts nothing.
    w.key(VK_RETURN);
    EXPECT_EQ(w.takeNotices(), (Notices{"return:e"}));
    EXPECT_EQ(e->textValue().toStd(), L"abcde");

    // Focus leaves: the native window closes, the edit keeps the text.
    w.click(L"b");
    EXPECT_EQ(e->nativeHandle(), nullptr);
    EXPECT_FALSE(isWindow(native));
    EXPECT_EQ(e->textValue().toStd(), L"abcde");
    const Notices n = w.takeNotices();
    EXPECT_NE(std::find(n.begin(), n.end(), "killfocus:e"), n.end());

    // Back again: a new window with the typed text, caret at the end.
    w.click(L"e");
    ASSERT_NE(e->nativeHandle(), nullptr);
    EXPECT_EQ(windowText(e->nativeHandle()), L"abcde");

    // Text set by code goes into the native window; the change report of
    // the native window is the one notice.
    w.takeNotices();
    e->assignText(L"xyz");
    EXPECT_EQ(windowText(e->nativeHandle()), L"xyz");
    EXPECT_EQ(w.takeNotices(), (Notices{"textchanged:e"}));

    // Tab moves on from the native window like from any control.
    w.key(VK_TAB);
    EXPECT_EQ(e->nativeHandle(), nullptr);
    EXPECT_NE(edit(w, L"num")->nativeHandle(), nullptr);
}

TEST(Edit, ChineseFromAnInputMethodArrivesAsText) {
    SkinWindow w(kForm);
    ASSERT_TRUE(w.built());
    w.click(L"e");
    type(L"中文输入");
    EXPECT_EQ(edit(w, L"e")->textValue().toStd(), L"abc中文输入");
}

TEST(Edit, MaxCharAndNumberOnlyApplyWhileTyping) {
    SkinWindow w(kForm);
    ASSERT_TRUE(w.built());
    CEditUI* num = edit(w, L"num");
    w.click(L"num");
    ASSERT_NE(num->nativeHandle(), nullptr);
    type(L"1a2b3");
    EXPECT_EQ(num->textValue().toStd(), L"123");
    type(L"456789");
    EXPECT_EQ(num->textValue().toStd(), L"12345");

    // A new limit reaches the open native window at once.
    w.key(VK_BACK);
    w.key(VK_BACK);
    num->assignMaxChars(4);
    type(L"99");
    EXPECT_EQ(num->textValue().toStd(), L"1239");

    // Read-only likewise.
    num->applyAttribute(L"readonly", L"true");
    type(L"1");
    EXPECT_EQ(num->textValue().toStd(), L"1239");
}

TEST(Edit, PasswordIsMaskedOnScreenAndNeverCopied) {
    SkinWindow w(LR"(<Window size="300,120"><VBox bkcolor="#FFFFFFFF"><Button name="b" height="30"/>
        <Edit name="pw" height="30" password="true" text="abc"/>
        <Edit name="stars" height="30" text="***"/>
        <Edit name="plain" height="30" text="abc"/></VBox></Window>)");
    ASSERT_TRUE(w.built());
    auto row = [&](const wchar_t* name) {
        const Rect r = w.find(name)->bounds();
        const Surface shown = w.surface();
        std::vector<std::uint32_t> px;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) px.push_back(shown.pixel(x, y));
        return px;
    };
    EXPECT_EQ(row(L"pw"), row(L"stars"));
    EXPECT_NE(row(L"pw"), row(L"plain"));

    // Focused, the native window masks as well, and keeps the text secret.
    w.click(L"pw");
    CEditUI* pw = edit(w, L"pw");
    ASSERT_NE(pw->nativeHandle(), nullptr);
    EXPECT_EQ(sendMessage(pw->nativeHandle(), EM_GETPASSWORDCHAR, 0, 0), L'*');
    setClipboardText(L"keep");
    ctrlKey('A');
    ctrlKey('C');
    EXPECT_EQ(clipboardText(), L"keep");
    ctrlKey('X');
    EXPECT_EQ(clipboardText(), L"keep");
    EXPECT_EQ(pw->textValue().toStd(), L"abc");

    // A plain edit copies.
    w.click(L"plain");
    ctrlKey('A');
    ctrlKey('C');
    EXPECT_EQ(clipboardText(), L"abc");
}

TEST(Edit, SelectionOnFocusAndOnClick) {
    SkinWindow w(kForm);
    ASSERT_TRUE(w.built());
    CEditUI* e = edit(w, L"e");
    CEditUI* all = edit(w, L"all");

    // Focus from code (no click): the caret at the end, or everything selected.
    w.manager().focusControl(e);
    SkinWindow::settle();
    ASSERT_NE(e->nativeHandle(), nullptr);
    EXPECT_EQ(selection(e), std::make_pair(3, 3));
    w.manager().focusControl(all);
    SkinWindow::settle();
    ASSERT_NE(all->nativeHandle(), nullptr);
    EXPECT_EQ(selection(all), std::make_pair(0, 5));

    // A click before the text of an unfocused edit puts the caret there; with
    // "autoselall" the click keeps the whole text selected.
    auto clickLeft = [&](CEditUI* target) {
        w.click(L"b");
        const Rect r = target->bounds();
        const Point at{r.left + 5, (r.top + r.bottom) / 2};
        w.press(at);
        w.release(at);
        EXPECT_NE(target->nativeHandle(), nullptr);
    };
    clickLeft(e);
    EXPECT_EQ(selection(e), std::make_pair(0, 0));
    clickLeft(all);
    EXPECT_EQ(selection(all), std::make_pair(0, 5));

    // Focused already: a click on the padding beside the native window takes
    // the OS focus to the window, which closes the native edit; the edit,
    // still focused, opens a new one with the caret at the end.
    w.manager().focusControl(e);
    SkinWindow::settle();
    sendMessage(e->nativeHandle(), EM_SETSEL, 1, 1);
    const WindowHandle first = e->nativeHandle();
    const Rect r = e->bounds();
    w.press({r.left + 1, (r.top + r.bottom) / 2});
    w.release({r.left + 1, (r.top + r.bottom) / 2});
    EXPECT_FALSE(isWindow(first));
    ASSERT_NE(e->nativeHandle(), nullptr);
    EXPECT_EQ(selection(e), std::make_pair(3, 3));
}

TEST(Edit, DisabledHiddenAndMovedEdits) {
    SkinWindow w(kForm);
    ASSERT_TRUE(w.built());
    CEditUI* off = edit(w, L"off");
    w.click(L"off");
    EXPECT_EQ(off->nativeHandle(), nullptr);
    EXPECT_EQ(off->behaviourFlags(), 0u);

    CEditUI* e = edit(w, L"e");
    w.click(L"e");
    WindowHandle native = e->nativeHandle();
    ASSERT_NE(native, nullptr);
    // Moved: the native window follows.
    const Rect r = e->bounds();
    e->place(r.offset(3, 0), false);
    const Rect host = windowRect(w.handle());
    EXPECT_EQ(windowRect(native), Rect(r.left + 7, r.top + 3, r.right - 1, r.bottom - 3).offset(host.left, host.top));
    EXPECT_EQ(e->nativeRect(), Rect(r.left + 7, r.top + 3, r.right - 1, r.bottom - 3));
    e->place(r, false);
    // Placed outside its container's client area: the native window hides
    // (and, having lost the focus with it, closes).
    e->place(r.offset(0, 1000), false);
    EXPECT_TRUE(e->nativeRect().isEmpty());
    EXPECT_FALSE(isWindowVisible(native));
    e->place(r, false);
    SkinWindow::settle();
    EXPECT_EQ(e->textValue().toStd(), L"abc");

    // Hidden: the focus and the native window go.
    w.click(L"e");
    native = e->nativeHandle();
    ASSERT_NE(native, nullptr);
    e->assignShown(false);
    SkinWindow::settle();
    EXPECT_EQ(e->nativeHandle(), nullptr);
    EXPECT_FALSE(isWindow(native));
    EXPECT_EQ(w.manager().focusedControl(), nullptr);
    e->assignShown(true);
    SkinWindow::settle();

    // Deleted while focused: the native window goes with it.
    w.click(L"e");
    native = e->nativeHandle();
    ASSERT_NE(native, nullptr);
    auto* parent = static_cast<IContainerUI*>(e->parentControl()->castTo(L"IContainer"));
    ASSERT_TRUE(parent->removeItem(e));
    SkinWindow::settle();
    EXPECT_FALSE(isWindow(native));
}

TEST(Edit, NativeBackgroundColour) {
    SkinWindow w(LR"(<Window size="200,100"><VBox bkcolor="#FFFF0000"><Button name="b" height="30"/>
        <Edit name="solid" height="30" text="" nativebkcolor="#FF00FF00"/>
        <Edit name="glass" height="30" text="" nativebkcolor="#800000FF"/></VBox></Window>)");
    ASSERT_TRUE(w.built());
    auto inside = [&](const wchar_t* name) {
        const Rect r = w.find(name)->bounds();
        return w.pixel({r.right - 8, r.top + 5});
    };
    w.click(L"solid");
    ASSERT_NE(edit(w, L"solid")->nativeHandle(), nullptr);
    EXPECT_EQ(inside(L"solid"), 0xFF00FF00u);
    // Translucent: the window under the edit shows through the colour.
    w.click(L"glass");
    ASSERT_NE(edit(w, L"glass")->nativeHandle(), nullptr);
    const std::uint32_t p = inside(L"glass");
    EXPECT_EQ(p >> 24, 0xFFu);
    EXPECT_NEAR(static_cast<int>((p >> 16) & 0xFF), 127, 2);
    EXPECT_NEAR(static_cast<int>(p & 0xFF), 128, 2);
    EXPECT_EQ((p >> 8) & 0xFF, 0u);
}

TEST(Edit, AListenerMayDeleteTheEditOnTextChanged) {
    SkinWindow w(kForm);
    ASSERT_TRUE(w.built());
    struct Deleter : INotifyUI {
        CControlUI* target = nullptr;
        void onNotice(TNoticeUI& n) override {
            if (n.kind != L"textchanged" || n.sender != target) return;
            auto* parent = static_cast<IContainerUI*>(target->parentControl()->castTo(L"IContainer"));
            target = nullptr;
            parent->removeItem(n.sender);
        }
    } deleter;
    deleter.target = w.find(L"e");
    w.manager().addListener(&deleter);
    w.click(L"e");
    const WindowHandle native = w.find(L"e")->nativeHandle();
    ASSERT_NE(native, nullptr);
    type(L"x");
    EXPECT_EQ(deleter.target, nullptr);
    EXPECT_EQ(w.find(L"e"), nullptr);
    EXPECT_FALSE(isWindow(native));
    type(L"y");
    w.manager().removeListener(&deleter);
}
