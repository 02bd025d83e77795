// Fuzzes the list controls, combo boxes, tree views and child layouts: the
// input is a skin document, a zero byte, then steps (clicks with and
// without Ctrl and Shift, double clicks, header drags, wheel turns, keys,
// selecting and removing rows by code, expanding, checking, hiding, moving,
// removing and adding tree nodes by code). Whatever the document builds is
// driven by the steps and destroyed again without a crash, a leak, a hang,
// a selection that names a row the list does not have, or tree rows out of
// the tree's order.
#include "fuzz/LeakSuppressions.h"
#include "platform/window/VirtualDisplay.h"
#include "platform/window/Window.h"
#include "ui/controls/ListUI.h"
#include "ui/controls/TreeNodeUI.h"
#include "ui/controls/TreeViewUI.h"
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

// Every control of `root`'s tree that answers castTo(`type`).
template <typename T>
std::vector<T*> allOf(CControlUI* root, const wchar_t* type) {
    struct Search {
        const wchar_t* type;
        std::vector<T*> found;
    } search{type, {}};
    root->walkTree(
        [](CControlUI* c, void* data) -> CControlUI* {
            auto* s = static_cast<Search*>(data);
            if (auto* t = static_cast<T*>(c->castTo(s->type))) s->found.push_back(t);
            return nullptr;
        },
        &search, FindAll);
    return search.found;
}

std::vector<CListUI*> listsOf(CControlUI* root) { return allOf<CListUI>(root, L"List"); }

// The rows of a tree view must be its nodes in depth-first order.
void appendSubtree(CTreeNodeUI* node, std::vector<CTreeNodeUI*>& out) {
    out.push_back(node);
    for (int i = 0; i < node->itemCount(); ++i)
        appendSubtree(static_cast<CTreeNodeUI*>(node->itemAt(i)->castTo(L"TreeNode")), out);
}

void checkTree(CTreeViewUI* tree) {
    std::vector<CTreeNodeUI*> expected;
    for (int i = 0; i < tree->itemCount(); ++i) {
        CTreeNodeUI* node = tree->nodeAt(i);
        if (!node || node->treeView() != tree) std::abort();
        if (!node->parentNode()) appendSubtree(node, expected);
    }
    if (static_cast<int>(expected.size()) != tree->itemCount()) std::abort();
    for (int i = 0; i < tree->itemCount(); ++i)
        if (tree->nodeAt(i) != expected[static_cast<std::size_t>(i)]) std::abort();
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

// Moves, removes or adds tree nodes by code.
void reshapeTree(CControlUI* root, Steps& steps) {
    std::vector<CTreeViewUI*> trees = allOf<CTreeViewUI>(root, L"TreeView");
    if (trees.empty()) return;
    CTreeViewUI* tree = trees[static_cast<std::size_t>(steps.next()) % trees.size()];
    CTreeNodeUI* a = tree->nodeAt(steps.next() % 16);
    CTreeNodeUI* b = tree->nodeAt(steps.next() % 16);
    const int what = steps.next() % 4;
    const int index = steps.next() % 5;
    if (!a) return;
    IContainerUI* holder = a->parentNode() ? static_cast<IContainerUI*>(a->parentNode()) : tree;
    switch (what) {
    case 0:
        // Taken out alive and put under another node (refused under its own
        // subtree: then back at the top).
        if (!holder->removeItem(a, /*keepAlive=*/true)) return;
        if ((b && b != a && b->insertItem(a, index)) || tree->insertItem(a, index)) return;
        a->destroySelf();
        return;
    case 1:
        holder->removeItem(a);
        return;
    case 2:
        if (CTreeNodeUI* parent = a->parentNode()) parent->moveItemsTo(a, 1 + index % 2, index);
        return;
    default: {
        auto* fresh = new CTreeNodeUI;
        fresh->assignText(L"new");
        if (!a->insertItem(fresh, index)) fresh->destroySelf();
        return;
    }
    }
}

void drive(FuzzWindow& window, CControlUI* root, Steps steps) {
    namespace vd = platform::vdisplay;
    constexpr unsigned kKeys[] = {platform::VK_UP,    platform::VK_DOWN, platform::VK_HOME,   platform::VK_END,
                                  platform::VK_PRIOR, platform::VK_NEXT, platform::VK_RETURN, platform::VK_ESCAPE,
                                  platform::VK_TAB,   platform::VK_LEFT, platform::VK_RIGHT,  platform::VK_SPACE};
    for (int count = 0; steps.more() && count < 64; ++count) {
        const int op = steps.next();
        switch (op % 11) {
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
            if (op % 11 == 7)
                list->selectItem(index);
            else
                list->removeItemAt(index);
            break;
        }
        case 9: {
            // A node's state by code.
            std::vector<CTreeViewUI*> trees = allOf<CTreeViewUI>(root, L"TreeView");
            if (trees.empty()) break;
            CTreeViewUI* tree = trees[steps.next() % trees.size()];
            CTreeNodeUI* node = tree->nodeAt(steps.next() % 16);
            if (!node) break;
            const int what = steps.next() % 3;
            if (what == 0) node->assignExpanded(!node->expanded());
            if (what == 1) node->assignChecked(!node->checked());
            if (what == 2) node->assignShown(!node->CControlUI::isShown());
            break;
        }
        case 10:
            reshapeTree(root, steps);
            break;
        default:
            break;
        }
        settle();
        for (CListUI* list : listsOf(root)) checkSelection(list);
        for (CTreeViewUI* tree : allOf<CTreeViewUI>(root, L"TreeView")) checkTree(tree);
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
