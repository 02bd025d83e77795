// The window host: registration and routing (plain and superclassed),
// modal loops with result codes, owners and WM_QUIT, centring and icons.
#include "../WindowHost.h"

#include "platform/system/Resources.h"
#include "platform/window/builtin/WindowEdit.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

using namespace uitest;

namespace {

// A plain window that counts what it sees and can run a step on a message.
class CPlainWnd : public CWindowWnd {
public:
    ~CPlainWnd() override {
        if (m_window) destroyWindow(m_window);
    }
    const wchar_t* wndClassName() const override { return L"QuellanTestPlainWnd"; }
    LResult onWindowMessage(unsigned message, WParam wParam, LParam lParam) override {
        ++seen;
        if (message == WM_NCCREATE) sawNcCreate = true;
        if (onMessage) {
            std::optional<LResult> r = onMessage(message, wParam, lParam);
            if (r) return *r;
        }
        return CWindowWnd::onWindowMessage(message, wParam, lParam);
    }
    void afterDestroyed(WindowHandle window) override {
        destroyedHandle = window;
        ++afterDestroyedCalls;
    }
    WindowHandle make(WindowHandle owner = nullptr, Rect rect = {200, 200, 400, 300}) {
        return createHostWindow(owner, L"plain", WS_POPUP, 0, rect);
    }

    int seen = 0;
    bool sawNcCreate = false;
    WindowHandle destroyedHandle = nullptr;
    int afterDestroyedCalls = 0;
    std::function<std::optional<LResult>(unsigned, WParam, LParam)> onMessage;
};

// The built-in edit, extended: everything it does not handle goes to the edit.
class CEditSuper : public CWindowWnd {
public:
    ~CEditSuper() override {
        if (m_window) destroyWindow(m_window);
    }
    const wchar_t* wndClassName() const override { return L"QuellanTestEditSuper"; }
    const wchar_t* baseClassName() const override { return kEditClassName; }
    LResult onWindowMessage(unsigned message, WParam wParam, LParam lParam) override {
        if (message == WM_CHAR && wParam == L'#') return 0; // swallowed here
        return CWindowWnd::onWindowMessage(message, wParam, lParam);
    }
};

class WindowWndTest : public WindowTest {};

TEST_F(WindowWndTest, PlainWindowsRouteThroughUserDataAndEndWithAfterDestroyed) {
    CPlainWnd w;
    WindowHandle h = w.make();
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(w.windowHandle(), h);
    EXPECT_TRUE(w.sawNcCreate);
    EXPECT_EQ(windowUserData(h), reinterpret_cast<std::intptr_t>(&w));
    // Registering the same class again succeeds.
    CPlainWnd second;
    ASSERT_NE(second.make(), nullptr);

    w.setShown(true, /*takeFocus=*/false);
    EXPECT_TRUE(isWindowVisible(h));
    w.setShown(false);
    EXPECT_FALSE(isWindowVisible(h));
    EXPECT_EQ(w.sendToWindow(WM_USER + 5), 0);
    destroyWindow(h);
    EXPECT_EQ(w.windowHandle(), nullptr);
    EXPECT_EQ(w.destroyedHandle, h);
    EXPECT_EQ(w.afterDestroyedCalls, 1);
    // Without a window these do nothing.
    w.setShown(true);
    w.requestClose(3);
    EXPECT_EQ(w.runModal(), 0);
}

TEST_F(WindowWndTest, SuperclassedEditBehavesAsTheEditForWhatItPasses) {
    CPlainWnd parent;
    parent.make();
    parent.setShown(true);
    CEditSuper edit;
    WindowHandle h = edit.createHostWindow(parent.windowHandle(), L"", WS_CHILD | WS_VISIBLE, 0, {5, 5, 150, 30});
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(windowProp(h, L"WndX"), &edit);
    EXPECT_EQ(windowUserData(h), 0); // the user data stays the edit's
    setFocus(h);
    vdisplay::typeText(L"a#b");
    pumpTranslated();
    EXPECT_EQ(windowText(h), L"ab");
    sendMessage(h, EM_LIMITTEXT, 3, 0);
    vdisplay::typeText(L"cd");
    pumpTranslated();
    EXPECT_EQ(windowText(h), L"abc");
    destroyWindow(h);
    EXPECT_EQ(edit.windowHandle(), nullptr);
}

TEST_F(WindowWndTest, ModalLoopsReturnTheCloseCodeAndDisableTheOwner) {
    CPlainWnd owner;
    owner.make();
    owner.setShown(true);
    CPlainWnd dialog;
    dialog.make(owner.windowHandle());
    bool ownerDisabledInside = false;
    dialog.onMessage = [&](unsigned m, WParam, LParam) -> std::optional<LResult> {
        if (m == WM_USER + 1) {
            ownerDisabledInside = !isWindowEnabled(owner.windowHandle());
            dialog.requestClose(7);
            return 0;
        }
        return std::nullopt;
    };
    dialog.postToWindow(WM_USER + 1);
    EXPECT_EQ(dialog.runModal(), 7);
    EXPECT_TRUE(ownerDisabledInside);
    EXPECT_TRUE(isWindowEnabled(owner.windowHandle()));
    EXPECT_EQ(dialog.windowHandle(), nullptr); // WM_CLOSE destroyed it, which ended the loop
}

TEST_F(WindowWndTest, QuitInANestedLoopEndsEveryLoop) {
    CPlainWnd outer, inner;
    outer.make();
    int innerResult = -1;
    outer.onMessage = [&](unsigned m, WParam, LParam) -> std::optional<LResult> {
        if (m != WM_USER + 1) return std::nullopt;
        inner.make(outer.windowHandle(), {250, 250, 300, 300});
        inner.postToWindow(WM_USER + 2);
        innerResult = inner.runModal();
        return 0;
    };
    inner.onMessage = [&](unsigned m, WParam, LParam) -> std::optional<LResult> {
        if (m != WM_USER + 2) return std::nullopt;
        postQuitMessage(9);
        return 0;
    };
    outer.postToWindow(WM_USER + 1);
    EXPECT_EQ(outer.runModal(false, false), 0);
    // The inner loop ended on the quit, not because its window went away.
    EXPECT_EQ(innerResult, 0);
    EXPECT_TRUE(isWindow(inner.windowHandle()));
    EXPECT_TRUE(isWindow(outer.windowHandle()));
    EXPECT_TRUE(isWindowEnabled(outer.windowHandle())); // the inner loop's owner is enabled again
    // The quit is posted again for whoever runs the next loop.
    Message msg;
    EXPECT_FALSE(getMessage(msg));
    EXPECT_EQ(msg.wParam, 9u);
}

TEST_F(WindowWndTest, CentringHonoursOwnerAndWorkArea) {
    const Rect work = workAreaNear(nullptr);
    struct Case {
        const char* proves;
        Rect ownerRect; // empty: no owner
        Size size;
        Point expected;
    };
    const std::vector<Case> cases = {
        {"over the owner's centre", {100, 100, 500, 400}, {200, 100}, {200, 200}},
        {"without an owner, the work area's centre",
         {},
         {200, 100},
         {(work.left + work.right) / 2 - 100, (work.top + work.bottom) / 2 - 50}},
        {"pulled back inside the right and bottom edges",
         {work.right - 100, work.bottom - 50, work.right, work.bottom},
         {300, 200},
         {work.right - 300, work.bottom - 200}},
        {"larger than the work area: left and top on its edges",
         {},
         {work.width() + 100, work.height() + 60},
         {work.left, work.top}},
    };
    for (const Case& tc : cases) {
        SCOPED_TRACE(tc.proves);
        CPlainWnd owner;
        if (!tc.ownerRect.isEmpty()) {
            owner.make(nullptr, tc.ownerRect);
            owner.setShown(true);
        }
        CPlainWnd w;
        w.make(owner.windowHandle(), Rect::fromSize(0, 0, tc.size.cx, tc.size.cy));
        w.centreOnOwner();
        const Rect r = windowRect(w.windowHandle());
        EXPECT_EQ((Point{r.left, r.top}), tc.expected);
        EXPECT_EQ(r.size(), tc.size);
    }
}

TEST_F(WindowWndTest, IconsComeFromTheEmbeddedResource) {
    std::ifstream in(std::string(QUELLAN_SOURCE_DIR) + "/app/skin/icon.png", std::ios::binary);
    static const std::vector<unsigned char> png{std::istreambuf_iterator<char>(in), {}};
    ASSERT_FALSE(png.empty());
    static platform::ResourceRegistrar registrar(L"ICON", L"913", png.data(), png.data() + png.size());
    CPlainWnd w;
    w.make();
    w.setShown(true);
    EXPECT_FALSE(vdisplay::nativeState(w.windowHandle()).hasIcon);
    EXPECT_FALSE(w.applyIcon(914)); // no such resource
    EXPECT_TRUE(w.applyIcon(913));
    EXPECT_TRUE(vdisplay::nativeState(w.windowHandle()).hasIcon);
}

TEST_F(WindowWndTest, PlainChainsHaveNoBehaviourFlagsUpToTheRoot) {
    CProbeUI parent;
    auto* child = new CProbeUI;
    parent.assignCover(child);
    EXPECT_FALSE(CWindowWnd::isPlainChain(nullptr));
    EXPECT_TRUE(CWindowWnd::isPlainChain(child));
    parent.m_flags = ControlFlags::SetCursor;
    EXPECT_FALSE(CWindowWnd::isPlainChain(child));
}

} // namespace
