// The built-in Edit class on the virtual display: typing, limits, filters,
// selection, clipboard, Return, notifications and colours from the parent.
#include "platform/graphics/Graphics.h"
#include "platform/window/Window.h"
#include "platform/window/builtin/WindowEdit.h"
#include "platform/window/VirtualDisplay.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace platform;

namespace {

constexpr int kEditId = 7;
const Rect kParentRect = Rect::fromSize(100, 100, 320, 120);
const Rect kEditRect = Rect::fromSize(10, 10, 200, 24); // in the parent

struct Notice {
    unsigned code;
    unsigned id;
    WindowHandle from;
};

// What the parent window saw; one parent per test.
struct ParentLog {
    std::vector<Notice> notices;
    std::vector<unsigned> colourRequests;
    const ControlBrush* brush = nullptr; // answered to colour requests when set
    Argb textColour = 0;                 // set on the canvas when non-zero
    std::wstring textAtChange;           // the edit's text when EN_CHANGE arrived
};
ParentLog* g_log = nullptr;

LResult parentProc(WindowHandle w, unsigned message, WParam wParam, LParam lParam) {
    switch (message) {
    case WM_COMMAND:
        g_log->notices.push_back({hiWord(wParam), loWord(wParam), reinterpret_cast<WindowHandle>(lParam)});
        if (hiWord(wParam) == EN_CHANGE) g_log->textAtChange = windowText(reinterpret_cast<WindowHandle>(lParam));
        return 0;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
        g_log->colourRequests.push_back(message);
        if (g_log->textColour) reinterpret_cast<Canvas*>(wParam)->setTextColour(g_log->textColour);
        return reinterpret_cast<LResult>(g_log->brush);
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PaintInfo p;
        if (Canvas* c = beginPaint(w, p)) c->fillRect(clientRect(w), 0xFF808080);
        endPaint(w, p);
        return 0;
    }
    default:
        return defWindowProc(w, message, wParam, lParam);
    }
}

// Stands in for a window that superclasses Edit and takes Return for itself.
WindowProc g_editBase = nullptr;
int g_returns = 0;
LResult returnTakingProc(WindowHandle w, unsigned message, WParam wParam, LParam lParam) {
    if (message == WM_KEYDOWN && wParam == VK_RETURN) {
        ++g_returns;
        return 0;
    }
    return callWindowProc(g_editBase, w, message, wParam, lParam);
}

class EditTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(vdisplay::open());
        vdisplay::reset();
        g_log = &log;
        registerWindowClass({L"EditTestParent", 0, &parentProc, CursorShape::Arrow});
        parent = createWindow(0, L"EditTestParent", L"parent", WS_POPUP | WS_VISIBLE, kParentRect.left, kParentRect.top,
                              kParentRect.width(), kParentRect.height(), nullptr, nullptr);
        ASSERT_NE(parent, nullptr);
    }
    void TearDown() override {
        vdisplay::reset();
        g_log = nullptr;
    }

    WindowHandle makeEdit(unsigned extraStyle = ES_AUTOHSCROLL, std::wstring_view text = L"",
                          const wchar_t* cls = kEditClassName) {
        WindowHandle e = createWindow(0, cls, text, WS_CHILD | WS_VISIBLE | extraStyle, kEditRect.left, kEditRect.top,
                                      kEditRect.width(), kEditRect.height(), parent, nullptr, kEditId);
        EXPECT_NE(e, nullptr);
        return e;
    }
    WindowHandle focusedEdit(unsigned extraStyle = ES_AUTOHSCROLL, std::wstring_view text = L"") {
        WindowHandle e = makeEdit(extraStyle, text);
        setFocus(e);
        vdisplay::pump();
        log.notices.clear();
        return e;
    }
    void type(std::wstring_view text) {
        vdisplay::typeText(text);
        vdisplay::pump();
    }
    void key(unsigned vk) {
        vdisplay::pressKey(vk);
        vdisplay::pump();
    }
    void chord(unsigned modifier, unsigned vk) {
        vdisplay::keyDown(modifier);
        vdisplay::pressKey(vk);
        vdisplay::keyUp(modifier);
        vdisplay::pump();
    }
    static std::pair<unsigned, unsigned> selection(WindowHandle e) {
        std::uint32_t a = 0, b = 0;
        sendMessage(e, EM_GETSEL, reinterpret_cast<WParam>(&a), reinterpret_cast<LParam>(&b));
        return {a, b};
    }
    int count(unsigned code) const {
        int n = 0;
        for (const Notice& x : log.notices) n += x.code == code;
        return n;
    }
    // The edit's pixels as the screen shows them.
    std::vector<std::uint32_t> editPixels() {
        vdisplay::pump();
        vdisplay::Snapshot shot;
        EXPECT_TRUE(vdisplay::windowPixels(parent, shot));
        std::vector<std::uint32_t> out;
        for (int y = kEditRect.top; y < kEditRect.bottom; ++y)
            for (int x = kEditRect.left; x < kEditRect.right; ++x) out.push_back(shot.at(x, y));
        return out;
    }
    // Leftmost column of the edit that holds a pixel darker than the background; -1 if none.
    int firstInkColumn() {
        const std::vector<std::uint32_t> px = editPixels();
        const int w = kEditRect.width();
        for (int x = 0; x < w; ++x)
            for (int y = 0; y < kEditRect.height(); ++y)
                if ((px[static_cast<std::size_t>(y) * w + x] & 0xFF) < 0x80) return x;
        return -1;
    }

    ParentLog log;
    WindowHandle parent = nullptr;
};

TEST_F(EditTest, TypingInsertsTextAndNotifiesTheParentInOrder) {
    WindowHandle e = focusedEdit();
    type(L"ab中");
    EXPECT_EQ(windowText(e), L"ab中");
    ASSERT_EQ(log.notices.size(), 6u);
    for (std::size_t i = 0; i < log.notices.size(); ++i) {
        EXPECT_EQ(log.notices[i].code, i % 2 == 0 ? EN_UPDATE : EN_CHANGE) << i;
        EXPECT_EQ(log.notices[i].id, static_cast<unsigned>(kEditId));
        EXPECT_EQ(log.notices[i].from, e);
    }
    EXPECT_EQ(log.textAtChange, L"ab中"); // the parent reads the new text when told
    EXPECT_EQ(sendMessage(e, EM_GETMODIFY, 0, 0), 1);
    sendMessage(e, EM_SETMODIFY, 0, 0);
    EXPECT_EQ(sendMessage(e, EM_GETMODIFY, 0, 0), 0);
}

TEST_F(EditTest, SettingTextReportsAChangeAndKeepsOnlyTheFirstLine) {
    WindowHandle e = focusedEdit();
    sendMessage(e, EM_LIMITTEXT, 3, 0);
    EXPECT_TRUE(setWindowText(e, L"first line is long\r\nsecond"));
    EXPECT_EQ(windowText(e), L"first line is long"); // the limit binds the user, not the program
    EXPECT_EQ(count(EN_CHANGE), 1);
    wchar_t small[6];
    EXPECT_EQ(sendMessage(e, WM_GETTEXT, 6, reinterpret_cast<LParam>(small)), 5);
    EXPECT_EQ(std::wstring(small), L"first");
    EXPECT_EQ(sendMessage(e, WM_GETTEXTLENGTH, 0, 0), 18);
}

TEST_F(EditTest, LimitStopsTypingAndCanBeRaisedWhileEditing) {
    WindowHandle e = focusedEdit();
    sendMessage(e, EM_LIMITTEXT, 5, 0);
    type(L"abcdefg");
    EXPECT_EQ(windowText(e), L"abcde");
    EXPECT_GE(count(EN_MAXTEXT), 1);
    EXPECT_EQ(count(EN_CHANGE), 5);
    sendMessage(e, EM_LIMITTEXT, 6, 0);
    type(L"xy");
    EXPECT_EQ(windowText(e), L"abcdex");
    // Replacing a selection needs no extra room.
    sendMessage(e, EM_SETSEL, 0, 2);
    type(L"Z");
    EXPECT_EQ(windowText(e), L"Zcdex");
    EXPECT_EQ(sendMessage(e, EM_GETLIMITTEXT, 0, 0), 6);
}

TEST_F(EditTest, NumberOnlyRefusesOtherCharactersTypedOrPasted) {
    WindowHandle e = focusedEdit(ES_AUTOHSCROLL | ES_NUMBER);
    type(L"1a2-3");
    EXPECT_EQ(windowText(e), L"123");
    ASSERT_TRUE(setClipboardText(L"45x"));
    sendMessage(e, WM_PASTE, 0, 0);
    EXPECT_EQ(windowText(e), L"123");
    ASSERT_TRUE(setClipboardText(L"45"));
    sendMessage(e, WM_PASTE, 0, 0);
    EXPECT_EQ(windowText(e), L"12345");
}

TEST_F(EditTest, ReadOnlyKeepsTextButAllowsSelectionAndCopy) {
    WindowHandle e = focusedEdit(ES_AUTOHSCROLL, L"fixed");
    EXPECT_EQ(sendMessage(e, EM_SETREADONLY, 1, 0), 1);
    EXPECT_TRUE(windowStyle(e) & ES_READONLY);
    type(L"x");
    key(VK_BACK);
    key(VK_DELETE);
    EXPECT_EQ(windowText(e), L"fixed");
    EXPECT_EQ(count(EN_CHANGE), 0);
    chord(VK_CONTROL, 'A');
    chord(VK_CONTROL, 'C');
    EXPECT_EQ(clipboardText(), L"fixed");
    chord(VK_CONTROL, 'X');
    EXPECT_EQ(windowText(e), L"fixed");
    log.colourRequests.clear();
    invalidateRect(e, nullptr, true);
    vdisplay::pump();
    ASSERT_FALSE(log.colourRequests.empty());
    EXPECT_EQ(log.colourRequests.back(), WM_CTLCOLORSTATIC);
    sendMessage(e, EM_SETREADONLY, 0, 0);
    key(VK_END);
    type(L"!");
    EXPECT_EQ(windowText(e), L"fixed!");
}

TEST_F(EditTest, PasswordShowsMaskCharactersAndNeverCopies) {
    WindowHandle masked = focusedEdit(ES_AUTOHSCROLL | ES_PASSWORD);
    EXPECT_EQ(sendMessage(masked, EM_GETPASSWORDCHAR, 0, 0), L'*');
    type(L"abc");
    EXPECT_EQ(windowText(masked), L"abc");
    ASSERT_TRUE(setClipboardText(L"before"));
    chord(VK_CONTROL, 'A');
    chord(VK_CONTROL, 'C');
    chord(VK_CONTROL, 'X');
    EXPECT_EQ(clipboardText(), L"before");
    EXPECT_EQ(windowText(masked), L"abc");

    // The masked edit looks exactly like a plain edit holding "***".
    setFocus(parent);
    const std::vector<std::uint32_t> maskedPixels = editPixels();
    destroyWindow(masked);
    makeEdit(ES_AUTOHSCROLL, L"***");
    EXPECT_EQ(editPixels(), maskedPixels);
}

TEST_F(EditTest, ChangingThePasswordCharacterRedrawsTheText) {
    WindowHandle e = makeEdit(ES_AUTOHSCROLL, L"abc");
    const std::vector<std::uint32_t> plain = editPixels();
    sendMessage(e, EM_SETPASSWORDCHAR, L'#', 0);
    EXPECT_TRUE(windowStyle(e) & ES_PASSWORD);
    const std::vector<std::uint32_t> hashed = editPixels();
    EXPECT_NE(plain, hashed);
    sendMessage(e, EM_SETPASSWORDCHAR, 0, 0);
    EXPECT_EQ(editPixels(), plain);
}

TEST_F(EditTest, KeyboardSelectionAndDeletion) {
    WindowHandle e = focusedEdit();
    type(L"hello world");
    key(VK_HOME);
    vdisplay::keyDown(VK_SHIFT);
    key(VK_RIGHT);
    key(VK_RIGHT);
    vdisplay::keyUp(VK_SHIFT);
    EXPECT_EQ(selection(e), std::make_pair(0u, 2u));
    type(L"J");
    EXPECT_EQ(windowText(e), L"Jllo world");
    chord(VK_CONTROL, VK_RIGHT); // after the word and its space
    EXPECT_EQ(selection(e), std::make_pair(5u, 5u));
    vdisplay::keyDown(VK_SHIFT);
    key(VK_END);
    vdisplay::keyUp(VK_SHIFT);
    key(VK_DELETE);
    EXPECT_EQ(windowText(e), L"Jllo ");
    key(VK_BACK);
    key(VK_HOME);
    key(VK_DELETE);
    EXPECT_EQ(windowText(e), L"llo");
    // A plain Left on a selection goes to its start without deleting.
    sendMessage(e, EM_SETSEL, 1, 3);
    key(VK_LEFT);
    EXPECT_EQ(selection(e), std::make_pair(1u, 1u));
}

TEST_F(EditTest, SetSelClampsAndMinusOneMeansTheEnd) {
    WindowHandle e = focusedEdit(ES_AUTOHSCROLL, L"abcdef");
    sendMessage(e, EM_SETSEL, 0, -1);
    EXPECT_EQ(selection(e), std::make_pair(0u, 6u));
    sendMessage(e, EM_SETSEL, 4, 100);
    EXPECT_EQ(selection(e), std::make_pair(4u, 6u));
    sendMessage(e, EM_SETSEL, 5, 2); // backwards: the caret ends at 2
    EXPECT_EQ(selection(e), std::make_pair(2u, 5u));
    type(L"-");
    EXPECT_EQ(windowText(e), L"ab-f");
    sendMessage(e, EM_SETSEL, static_cast<WParam>(-1), 0);
    EXPECT_EQ(selection(e), std::make_pair(3u, 3u));
}

TEST_F(EditTest, ClipboardCutCopyPasteWithKeys) {
    WindowHandle e = focusedEdit();
    type(L"one two");
    chord(VK_CONTROL, 'A');
    chord(VK_CONTROL, 'X');
    EXPECT_EQ(windowText(e), L"");
    EXPECT_EQ(clipboardText(), L"one two");
    chord(VK_CONTROL, 'V');
    chord(VK_CONTROL, 'V');
    EXPECT_EQ(windowText(e), L"one twoone two");
    ASSERT_TRUE(setClipboardText(L"line1\nline2"));
    chord(VK_SHIFT, VK_INSERT);
    EXPECT_EQ(windowText(e), L"one twoone twoline1");
    sendMessage(e, EM_SETSEL, 0, 3);
    chord(VK_CONTROL, VK_INSERT);
    EXPECT_EQ(clipboardText(), L"one");
    sendMessage(e, EM_SETSEL, 0, 4);
    chord(VK_SHIFT, VK_DELETE);
    EXPECT_EQ(clipboardText(), L"one ");
    EXPECT_EQ(windowText(e), L"twoone twoline1");
}

TEST_F(EditTest, ReturnInsertsNothingAndASuperclassCanTakeIt) {
    WindowHandle plain = focusedEdit(ES_AUTOHSCROLL, L"x");
    key(VK_RETURN);
    key(VK_TAB);
    key(VK_ESCAPE);
    EXPECT_EQ(windowText(plain), L"x");
    EXPECT_EQ(count(EN_CHANGE), 0);
    destroyWindow(plain);

    WindowClass base;
    ASSERT_TRUE(windowClassInfo(kEditClassName, &base));
    g_editBase = base.proc;
    g_returns = 0;
    WindowClass super = base;
    super.name = L"ReturnTakingEdit";
    super.proc = &returnTakingProc;
    ASSERT_TRUE(registerWindowClass(super));
    WindowHandle e = makeEdit(ES_AUTOHSCROLL, L"", L"ReturnTakingEdit");
    setFocus(e);
    type(L"ok");
    key(VK_RETURN);
    EXPECT_EQ(g_returns, 1);
    EXPECT_EQ(windowText(e), L"ok");
}

TEST_F(EditTest, MouseClickPlacesTheCaretAndDragSelects) {
    WindowHandle e = focusedEdit(ES_AUTOHSCROLL, L"");
    type(L"abcdefgh");
    const Point origin = clientToScreen(e, {0, 0});
    vdisplay::click({origin.x + 1, origin.y + 12}); // left of the first character
    vdisplay::pump();
    EXPECT_EQ(selection(e), std::make_pair(0u, 0u));
    vdisplay::mouseDown({origin.x + 1, origin.y + 12});
    vdisplay::moveMouse({origin.x + 190, origin.y + 12}); // past the end
    vdisplay::mouseUp({origin.x + 190, origin.y + 12});
    vdisplay::pump();
    EXPECT_EQ(selection(e), std::make_pair(0u, 8u));
    EXPECT_EQ(captureWindow(), nullptr);
    // A click into the middle lands between characters, and a click on an
    // unfocused edit focuses it.
    setFocus(parent);
    vdisplay::click({origin.x + 40, origin.y + 12});
    vdisplay::pump();
    EXPECT_EQ(focusWindow(), e);
    const auto [a, b] = selection(e);
    EXPECT_EQ(a, b);
    EXPECT_GT(a, 0u);
    EXPECT_LT(a, 8u);
}

TEST_F(EditTest, DoubleClickSelectsAWord) {
    WindowHandle e = focusedEdit(ES_AUTOHSCROLL, L"");
    type(L"alpha beta");
    const Point origin = clientToScreen(e, {0, 0});
    vdisplay::doubleClick({origin.x + 4, origin.y + 12});
    vdisplay::pump();
    EXPECT_EQ(selection(e), std::make_pair(0u, 5u));
}

TEST_F(EditTest, ParentColoursAndPrintMatchTheScreen) {
    ControlBrush red{0xFFFF0000, nullptr};
    log.brush = &red;
    log.textColour = 0xFF0000FF;
    WindowHandle e = makeEdit(ES_AUTOHSCROLL, L"WWW");
    const std::vector<std::uint32_t> shown = editPixels();
    EXPECT_EQ(shown.front(), 0xFFFF0000u); // the parent's background
    bool blueInk = false;
    for (std::uint32_t p : shown) blueInk |= (p & 0xFF) > 0x80 && ((p >> 16) & 0xFF) < 0x80;
    EXPECT_TRUE(blueInk) << "the text colour set by the parent is used";
    ASSERT_FALSE(log.colourRequests.empty());
    EXPECT_EQ(log.colourRequests.back(), WM_CTLCOLOREDIT);

    Surface printed(kEditRect.width(), kEditRect.height());
    Canvas canvas(printed);
    sendMessage(e, WM_PRINT, reinterpret_cast<WParam>(&canvas), PRF_CLIENT);
    std::vector<std::uint32_t> px;
    for (int y = 0; y < printed.height(); ++y)
        for (int x = 0; x < printed.width(); ++x) px.push_back(printed.pixel(x, y));
    EXPECT_EQ(px, shown);
}

TEST_F(EditTest, CaretBlinksWhileFocusedOnly) {
    WindowHandle e = focusedEdit(ES_AUTOHSCROLL, L"");
    const std::vector<std::uint32_t> on = editPixels();
    vdisplay::advanceTime(caretBlinkTime());
    const std::vector<std::uint32_t> off = editPixels();
    EXPECT_NE(on, off);
    vdisplay::advanceTime(caretBlinkTime());
    EXPECT_EQ(editPixels(), on);
    setFocus(parent);
    const std::vector<std::uint32_t> unfocused = editPixels();
    EXPECT_EQ(unfocused, off);
    vdisplay::advanceTime(caretBlinkTime());
    EXPECT_EQ(editPixels(), unfocused);
    (void)e;
}

// The reported caret is where the edit draws it: the pixels that blink are
// exactly the reported column, for carets at the start, inside, at the end,
// scrolled, right-aligned and in a window of a class made from Edit.
TEST_F(EditTest, CaretRectIsWhereTheCaretBlinks) {
    WindowClass edit;
    ASSERT_TRUE(windowClassInfo(kEditClassName, &edit));
    g_editBase = edit.proc;
    edit.name = L"EditTestCaretSuper";
    edit.proc = &returnTakingProc;
    ASSERT_TRUE(registerWindowClass(edit));

    struct Case {
        const char* name;
        unsigned style;
        const wchar_t* cls;
        std::wstring text;
        int caret; // -1: the end
    };
    const std::vector<Case> cases = {
        {"start", ES_AUTOHSCROLL, kEditClassName, L"ab中W", 0},
        {"inside", ES_AUTOHSCROLL, kEditClassName, L"ab中W", 3},
        {"end", ES_AUTOHSCROLL, kEditClassName, L"ab中W", -1},
        {"scrolled to the end", ES_AUTOHSCROLL, kEditClassName, std::wstring(60, L'W'), -1},
        {"right aligned", ES_AUTOHSCROLL | ES_RIGHT, kEditClassName, L"xyz", 1},
        {"superclass", ES_AUTOHSCROLL, L"EditTestCaretSuper", L"ab中W", 2},
    };
    const int lineHeight = Font::defaultGui()->metrics().height;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WindowHandle e = makeEdit(c.style, c.text, c.cls);
        setFocus(e);
        sendMessage(e, EM_SETSEL, c.caret, c.caret);
        Rect caret;
        ASSERT_TRUE(editCaretRect(e, &caret));
        EXPECT_EQ(caret.width(), 1);
        EXPECT_EQ(caret.height(), lineHeight);
        EXPECT_GE(caret.left, 0);
        EXPECT_LT(caret.right, kEditRect.width());
        const std::vector<std::uint32_t> on = editPixels();
        vdisplay::advanceTime(caretBlinkTime());
        const std::vector<std::uint32_t> off = editPixels();
        Rect blinking;
        for (int y = 0; y < kEditRect.height(); ++y)
            for (int x = 0; x < kEditRect.width(); ++x) {
                const std::size_t i = static_cast<std::size_t>(y) * kEditRect.width() + x;
                if (on[i] != off[i])
                    blinking = blinking.isEmpty() ? Rect{x, y, x + 1, y + 1} : blinking.unite(Rect{x, y, x + 1, y + 1});
            }
        EXPECT_EQ(blinking, caret);
        // Reported while it blinks off and without the focus too.
        Rect again;
        ASSERT_TRUE(editCaretRect(e, &again));
        EXPECT_EQ(again, caret);
        destroyWindow(e);
    }
    EXPECT_FALSE(editCaretRect(parent, nullptr)) << "a window of another class has no edit caret";
}

TEST_F(EditTest, AlignmentAndMarginsMoveTheText) {
    WindowHandle left = makeEdit(ES_AUTOHSCROLL, L"abc");
    const int leftInk = firstInkColumn();
    destroyWindow(left);
    WindowHandle centre = makeEdit(ES_AUTOHSCROLL | ES_CENTER, L"abc");
    const int centreInk = firstInkColumn();
    destroyWindow(centre);
    WindowHandle right = makeEdit(ES_AUTOHSCROLL | ES_RIGHT, L"abc");
    const int rightInk = firstInkColumn();
    ASSERT_GE(leftInk, 0);
    EXPECT_LT(leftInk, 10);
    EXPECT_GT(centreInk, 70);
    EXPECT_LT(centreInk, 110);
    EXPECT_GT(rightInk, 150);
    destroyWindow(right);
    WindowHandle margin = makeEdit(ES_AUTOHSCROLL, L"abc");
    sendMessage(margin, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, makeLParam(30, 0));
    EXPECT_EQ(loWord(static_cast<std::uintptr_t>(sendMessage(margin, EM_GETMARGINS, 0, 0))), 30u);
    EXPECT_GE(firstInkColumn(), 30);
}

TEST_F(EditTest, WithoutAutoScrollTextMustFitTheWidth) {
    WindowHandle fixed = focusedEdit(0);
    type(std::wstring(80, L'W'));
    const std::size_t kept = windowText(fixed).size();
    EXPECT_GT(kept, 3u);
    EXPECT_LT(kept, 80u);
    destroyWindow(fixed);

    // With auto-scroll everything is taken and the end stays in view.
    WindowHandle scrolling = focusedEdit(ES_AUTOHSCROLL);
    type(std::wstring(80, L'W'));
    EXPECT_EQ(windowText(scrolling).size(), 80u);
    const std::vector<std::uint32_t> px = editPixels();
    bool inkNearRight = false;
    for (int y = 0; y < kEditRect.height(); ++y)
        for (int x = kEditRect.width() - 20; x < kEditRect.width(); ++x)
            inkNearRight |= (px[static_cast<std::size_t>(y) * kEditRect.width() + x] & 0xFF) < 0x80;
    EXPECT_TRUE(inkNearRight);
}

TEST_F(EditTest, FocusNotificationsAndTextInputFollowTheFocus) {
    WindowHandle e = makeEdit();
    setFocus(e);
    vdisplay::pump();
    EXPECT_EQ(count(EN_SETFOCUS), 1);
    EXPECT_TRUE(vdisplay::textInputActive());
    setFocus(parent);
    vdisplay::pump();
    EXPECT_EQ(count(EN_KILLFOCUS), 1);
    EXPECT_FALSE(vdisplay::textInputActive());
}

TEST_F(EditTest, ReplaceSelWorksOnReadOnlyButHonoursTheLimit) {
    WindowHandle e = focusedEdit(ES_AUTOHSCROLL | ES_READONLY, L"ab");
    sendMessage(e, EM_LIMITTEXT, 4, 0);
    sendMessage(e, EM_SETSEL, 2, 2);
    sendMessage(e, EM_REPLACESEL, 0, reinterpret_cast<LParam>(L"cdef"));
    EXPECT_EQ(windowText(e), L"abcd");
    EXPECT_EQ(count(EN_CHANGE), 1);
}

} // namespace
