// Fuzzes the list controls, combo boxes and child layouts: the input is a skin document,
// a zero byte, then steps (clicks with and without Ctrl and Shift, double
// clicks, header drags, wheel turns, keys, selecting and removing rows by
// code). Whatever the document builds is driven by the steps and destroyed
// again without a crash, a leak, a hang or a selection that names a row
// the list does not have.
#include "fuzz/LeakSuppressions.h"
#include "platform/window/VirtualDisplay.h"
#include "platform/window/Window.h"
#include "ui/controls/ListUI.h"
#include "ui/core/ControlUI.h"
#include "ui/core/FormManagerUI.h"
#include "ui/core/WindowWnd.h"
#include "ui/markup/SkinBuilder.h"
#include "ui/render/SkinSource.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

class FuzzWindow final : public CWindowWnd {
public:
    const wchar_t* wndClassName() const override { return L"QuellanFuzzLists"; }
    unsigned wndClassStyle() const override { return platform::CS_DBLCLKS; }
    platform::LResult onWindowMessage(unsigned message, platform::WParam wParam, platform::LParam lParam) override {
        if (message == platform::WM_CREATE) manager.attachWindow(m_window, L"fuzz");
        platform::LResult result = 0;
        if (manager.handleMessage(message, wParam, lParam, result)) return result;
        return CWindowWnd::onWindowMessage(message, wParam, lParam);
    }
    CFormManagerUI manager;
};

void settle() {
    for (int i = 0; i < 200 && platform::vdisplay::pump() > 0; ++i) {}
}

std::vector<CListUI*> listsOf(CControlUI* root) {
    std::vector<CListUI*> lists;
    root->walkTree(
        [](CControlUI* c, void* out) -> CControlUI* {
            if (auto* list = static_cast<CListUI*>(c->castTo(L"List")))
                static_cast<std::vector<CListUI*>*>(out)->push_back(list);
            return nullptr;
        },
        &lists, FindAll);
    return lists;
}

// A broken invariant is a finding: abort so the fuzzer keeps the input.
void checkSelection(CListUI* list) {
    int previous = -1;
    for (int i : list->selectedIndexes()) {
        if (i <= previous || i >= list->itemCount()) std::abort();
        previous = i;
    }
    if (list->currentIndex() >= list->itemCount()) std::abort();
}

class Steps {
public:
    Steps(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    bool more() const { return m_at < m_size; }
    int next() { return m_at < m_size ? m_data[m_at++] : 0; }
    platform::Point point() {
        const int x = next() * 320 / 256;
        return {x, next() * 240 / 256};
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_at = 0;
};

void drive(FuzzWindow& window, CControlUI* root, Steps steps) {
    namespace vd = platform::vdisplay;
    constexpr unsigned kKeys[] = {platform::VK_UP,    platform::VK_DOWN, platform::VK_HOME,   platform::VK_END,
                                  platform::VK_PRIOR, platform::VK_NEXT, platform::VK_RETURN, platform::VK_ESCAPE,
                                  platform::VK_TAB,   platform::VK_LEFT, platform::VK_RIGHT,  platform::VK_SPACE};
    for (int count = 0; steps.more() && count < 64; ++count) {
        const int op = steps.next();
        switch (op % 9) {
        case 0:
            vd::click(platform::clientToScreen(window.windowHandle(), steps.point()));
            break;
        case 1:
        case 2: {
            const unsigned mod = op % 9 == 1 ? platform::VK_CONTROL : platform::VK_SHIFT;
            vd::keyDown(mod);
            vd::click(platform::clientToScreen(window.windowHandle(), steps.point()));
            vd::keyUp(mod);
            break;
        }
        case 3:
            vd::doubleClick(platform::clientToScreen(window.windowHandle(), steps.point()));
            break;
        case 4: {
            const platform::Point from = platform::clientToScreen(window.windowHandle(), steps.point());
            const int dx = steps.next() - 128;
            vd::drag(from, {from.x + dx, from.y}, 3);
            break;
        }
        case 5:
            vd::wheel(platform::clientToScreen(window.windowHandle(), steps.point()),
                      (steps.next() % 5 - 2) * platform::WHEEL_DELTA);
            break;
        case 6: {
            const bool shift = (op / 9) % 2 == 1;
            if (shift) vd::keyDown(platform::VK_SHIFT);
            vd::pressKey(kKeys[steps.next() % (sizeof kKeys / sizeof kKeys[0])]);
            if (shift) vd::keyUp(platform::VK_SHIFT);
            break;
        }
        case 7:
        case 8: {
            std::vector<CListUI*> lists = listsOf(root);
            if (lists.empty()) break;
            CListUI* list = lists[steps.next() % lists.size()];
            const int index = steps.next() % 12 - 1;
            if (op % 9 == 7)
                list->selectItem(index);
            else
                list->removeItemAt(index);
            break;
        }
        default:
            break;
        }
        settle();
        for (CListUI* list : listsOf(root)) checkSelection(list);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool ready = [] {
        skinsource::setResourcePath(L"/nonexistent-quellan-fuzz/");
        return platform::vdisplay::open({1024, 768});
    }();
    if (!ready) return 0;
    const auto* split = static_cast<const std::uint8_t*>(std::memchr(data, 0, size));
    const std::size_t markupSize = split ? static_cast<std::size_t>(split - data) : size;

    FuzzWindow window;
    if (!window.createHostWindow(nullptr, L"fuzz", platform::WS_POPUP, 0, 0, 0, 320, 240)) return 0;
    CSkinBuilder builder;
    if (builder.document().loadFromMemory(data, markupSize, XmlEncoding::Utf8)) {
        if (CControlUI* root = builder.buildLoaded(nullptr, &window.manager, nullptr)) {
            platform::setWindowPos(window.windowHandle(), nullptr, 0, 0, 320, 240,
                                   platform::SWP_NOMOVE | platform::SWP_NOZORDER | platform::SWP_NOACTIVATE);
            window.manager.setRoot(root);
            window.setShown(true, true);
            settle();
            if (split) drive(window, root, Steps(split + 1, size - markupSize - 1));
        }
    }
    platform::destroyWindow(window.windowHandle());
    settle();
    CFormManagerUI::removeAllLanguageTexts();
    CFormManagerUI::sharedResources().fonts.clear();
    CFormManagerUI::sharedResources().images.clear();
    CFormManagerUI::sharedResources().defaultAttributes.clear();
    return 0;
}
