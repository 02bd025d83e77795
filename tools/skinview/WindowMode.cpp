// quellan-skinview --window: builds, lays out and paints a skin document on
// the virtual display, replays input steps and reports what happened.
#include "tools/skinview/WindowMode.h"

#include "platform/system/Text.h"
#include "platform/window/DisplayScale.h"
#include "platform/window/VirtualDisplay.h"
#include "platform/window/Window.h"
#include "ui/controls/ComboUI.h"
#include "ui/controls/ComboWnd.h"
#include "ui/controls/DateTimeUI.h"
#include "ui/controls/EditUI.h"
#include "ui/controls/RichEditUI.h"
#include "ui/controls/GifAnimUI.h"
#include "ui/controls/GifButtonUI.h"
#include "ui/controls/ListHeaderUI.h"
#include "ui/controls/ListUI.h"
#include "ui/controls/OptionUI.h"
#include "ui/controls/TreeNodeUI.h"
#include "ui/controls/TreeViewUI.h"
#include "ui/controls/RotateImageUI.h"
#include "ui/controls/SliderUI.h"
#include "ui/core/ControlUI.h"
#include "ui/core/FormManagerUI.h"
#include "ui/core/WindowWnd.h"
#include "ui/layout/ContainerUI.h"
#include "ui/layout/HorizontalLayoutUI.h"
#include "ui/layout/ScrollBarUI.h"
#include "ui/layout/TabLayoutUI.h"
#include "ui/layout/VerticalLayoutUI.h"
#include "ui/markup/SkinBuilder.h"
#include "ui/render/SkinSource.h"

#include <cstdio>
#include <cwctype>
#include <filesystem>
#include <optional>
#include <system_error>

namespace fs = std::filesystem;
using platform::Point;

namespace skinview {
namespace {

// The largest picture side the viewer paints (a 16384² picture is 1 GiB).
constexpr int kMaxPictureSide = 16384;

std::string utf8(std::wstring_view text) { return platform::toUtf8(std::wstring(text)); }

// The previewed window: forwards every message to its manager and prints
// the notices the steps cause.
class ViewWindow final : public CWindowWnd, public INotifyUI {
public:
    const wchar_t* wndClassName() const override { return L"QuellanSkinView"; }
    unsigned wndClassStyle() const override { return platform::CS_DBLCLKS; }

    platform::LResult onWindowMessage(unsigned message, platform::WParam wParam, platform::LParam lParam) override {
        if (message == platform::WM_CREATE) manager.attachWindow(m_window, L"quellan-skinview");
        platform::LResult result = 0;
        if (manager.handleMessage(message, wParam, lParam, result)) return result;
        return CWindowWnd::onWindowMessage(message, wParam, lParam);
    }

    void onNotice(TNoticeUI& notice) override {
        if (!printing) return;
        std::printf("notice %s \"%s\"\n", utf8(notice.kind.view()).c_str(),
                    notice.sender ? utf8(notice.sender->controlName().view()).c_str() : "");
        std::fflush(stdout);
    }

    CFormManagerUI manager;
    bool printing = false;
};

// Runs everything that is due now (input, posted work, paints, timers) the
// way the application's message loop does: the framework sees each queued
// message first, for Tab navigation and Alt shortcuts.
void settle() {
    platform::Message msg;
    for (int i = 0; i < 100000 && platform::peekMessage(msg, platform::PeekMode::Keep); ++i) {
        if (msg.message == platform::WM_QUIT || !platform::peekMessage(msg, platform::PeekMode::Remove)) break;
        if (!CFormManagerUI::translateQueued(&msg)) {
            platform::translateMessage(msg);
            platform::dispatchMessage(msg);
        }
    }
}

void printTree(const CFormManagerUI& manager, CControlUI* control, int depth) {
    const platform::Rect& r = control->bounds();
    std::string line(static_cast<std::size_t>(depth) * 2, ' ');
    line += utf8(control->typeName());
    line += " \"" + utf8(control->controlName().view()) + "\" ";
    line += std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
            std::to_string(r.bottom);
    if (!control->isShown()) line += " hidden";
    if (!control->enabledState()) line += " disabled";
    if (auto* option = static_cast<COptionUI*>(control->castTo(L"Option")); option && option->selectedState())
        line += " selected";
    if (auto* edit = static_cast<CEditUI*>(control->castTo(L"Edit"))) {
        line += " text \"" + utf8(edit->textValue().view()) + "\"";
        if (edit->nativeHandle()) line += " editing";
    }
    if (auto* rich = static_cast<CRichEditUI*>(control->castTo(L"RichEdit"))) {
        // One line per control: line breaks of the text are shown as "\n".
        std::string text = utf8(rich->textValue().view());
        for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 2))
            text.replace(at, 1, "\\n");
        line += " text \"" + text + "\"";
    }
    if (auto* tab = static_cast<CTabLayoutUI*>(control->castTo(L"TabLayout")))
        line += " page " + std::to_string(tab->selectedIndex());
    if (manager.focusedControl() == control) line += " focused";
    // State words, after the flags.
    if (auto* list = static_cast<CListUI*>(control->castTo(L"List"))) {
        std::string indexes;
        for (int i : list->selectedIndexes()) indexes += (indexes.empty() ? "" : ",") + std::to_string(i);
        line += " selected=" + (indexes.empty() ? std::string("-1") : indexes);
    }
    auto* node = static_cast<CTreeNodeUI*>(control->castTo(L"TreeNode"));
    if (node)
        line +=
            std::string(" expanded=") + (node->expanded() ? "1" : "0") + " checked=" + (node->checked() ? "1" : "0");
    auto* combo = static_cast<CComboUI*>(control->castTo(L"Combo"));
    if (combo) line += " selected=" + std::to_string(combo->selectedIndex()) + " open=" + (combo->isOpen() ? "1" : "0");
    if (auto* slider = static_cast<CSliderUI*>(control->castTo(L"Slider")))
        line += " value=" + std::to_string(slider->value());
    if (auto* date = static_cast<CDateTimeUI*>(control->castTo(L"DateTime")))
        line += " date=" + utf8(calendar::toIso(date->date()));
    if (auto* rotate = static_cast<CRotateImageUI*>(control->castTo(L"RotateImage")))
        line += " angle=" + std::to_string(rotate->angle());
    if (auto* gif = static_cast<CGifAnimUI*>(control->castTo(L"GifAnim")))
        line += " frames=" + std::to_string(gif->frameCount()) + " frame=" + std::to_string(gif->currentFrame());
    if (auto* gifButton = static_cast<CGifButtonUI*>(control->castTo(L"GifButton")))
        line += " frames=" + std::to_string(gifButton->frameCount()) +
                " frame=" + std::to_string(gifButton->currentFrame());
    std::printf("%s\n", line.c_str());
    // An open combo's rows are in its popup window (screen coordinates).
    if (combo && combo->isOpen()) {
        const platform::Rect p = platform::windowRect(combo->popup()->windowHandle());
        std::printf("%s\n", (std::string(static_cast<std::size_t>(depth + 1) * 2, ' ') + "Popup \"\" " +
                             std::to_string(p.left) + "," + std::to_string(p.top) + "," + std::to_string(p.right) +
                             "," + std::to_string(p.bottom))
                                .c_str());
        for (int i = 0; i < combo->itemCount(); ++i) printTree(manager, combo->itemAt(i), depth + 2);
        return;
    }

    // The order the framework walks a control: cover, scroll bars, children.
    if (CControlUI* cover = control->coverControl()) printTree(manager, cover, depth + 1);
    if (auto* container = static_cast<CContainerUI*>(control->castTo(L"Container"))) {
        if (CScrollBarUI* bar = container->verticalScrollBar()) printTree(manager, bar, depth + 1);
        if (CScrollBarUI* bar = container->horizontalScrollBar()) printTree(manager, bar, depth + 1);
    }
    // A list's container interface answers its rows; its header comes first.
    if (auto* list = static_cast<CListUI*>(control->castTo(L"List")); list && list->header())
        printTree(manager, list->header(), depth + 1);
    // A tree node's row parts come before its child nodes; a tree view
    // prints its top-level nodes, and each node those below it.
    if (node) printTree(manager, node->content(), depth + 1);
    auto* tree = static_cast<CTreeViewUI*>(control->castTo(L"TreeView"));
    if (auto* items = static_cast<IContainerUI*>(control->castTo(L"IContainer")))
        for (int i = 0; i < items->itemCount(); ++i)
            if (!tree || !tree->nodeAt(i)->parentNode()) printTree(manager, items->itemAt(i), depth + 1);
}

// One step of --act, applied to the window.
class Stepper {
public:
    Stepper(ViewWindow& window) : m_window(window) {}

    // 0 on success, else the exit status (the message is printed).
    int run(const std::string& step) {
        std::size_t colon = step.find(':');
        if (colon == std::string::npos) return bad(step);
        const std::string verb = step.substr(0, colon);
        const std::string arg = step.substr(colon + 1);
        namespace vd = platform::vdisplay;
        if (verb == "click" || verb == "dblclick" || verb == "hover") {
            Point p;
            if (int status = centreOf(arg, p)) return status;
            if (verb == "click")
                vd::click(p);
            else if (verb == "dblclick")
                vd::doubleClick(p);
            else
                vd::moveMouse(p);
        } else if (verb == "key") {
            if (!pressKey(arg)) return bad(step);
        } else if (verb == "type") {
            vd::typeText(platform::fromUtf8(arg));
        } else if (verb == "wheel") {
            std::size_t sep = arg.rfind(':');
            if (sep == std::string::npos) return bad(step);
            const std::string amount = arg.substr(sep + 1);
            int notches = 0;
            if (amount.size() < 2 || (amount[0] != '+' && amount[0] != '-') ||
                std::sscanf(amount.c_str() + 1, "%d", &notches) != 1)
                return bad(step);
            Point p;
            if (int status = centreOf(arg.substr(0, sep), p)) return status;
            vd::moveMouse(p);
            settle();
            vd::wheel(p, (amount[0] == '-' ? -notches : notches) * platform::WHEEL_DELTA);
        } else if (verb == "drag") {
            std::size_t sep = arg.rfind(':');
            int dx = 0, dy = 0;
            if (sep == std::string::npos || std::sscanf(arg.c_str() + sep + 1, "%d,%d", &dx, &dy) != 2)
                return bad(step);
            // Steps are in skin units, like the document.
            dx = m_window.manager.toDevice(dx);
            dy = m_window.manager.toDevice(dy);
            Point p;
            if (int status = centreOf(arg.substr(0, sep), p, /*dragged=*/true)) return status;
            vd::moveMouse(p);
            settle();
            vd::mouseDown(p);
            settle();
            // In a few moves, as a hand would, so that every move is seen.
            constexpr int kMoves = 4;
            for (int i = 1; i <= kMoves; ++i) {
                vd::moveMouse({p.x + dx * i / kMoves, p.y + dy * i / kMoves});
                settle();
            }
            vd::mouseUp({p.x + dx, p.y + dy});
        } else if (verb == "select") {
            std::size_t sep = arg.rfind(':');
            int index = -1;
            if (sep == std::string::npos || std::sscanf(arg.c_str() + sep + 1, "%d", &index) != 1) return bad(step);
            const std::string name = arg.substr(0, sep);
            CControlUI* control = m_window.manager.findControlByName(platform::fromUtf8(name));
            auto* tab = control ? static_cast<CTabLayoutUI*>(control->castTo(L"TabLayout")) : nullptr;
            auto* list = control ? static_cast<CListUI*>(control->castTo(L"List")) : nullptr;
            auto* combo = control ? static_cast<CComboUI*>(control->castTo(L"Combo")) : nullptr;
            if (!tab && !list && !combo) {
                std::fprintf(stderr, "error: no tab layout, list or combo named \"%s\"\n", name.c_str());
                return 1;
            }
            const bool done = tab ? tab->selectPage(index) : list ? list->selectItem(index) : combo->selectItem(index);
            if (!done) {
                std::fprintf(stderr, "error: \"%s\" has no %s %d\n", name.c_str(), tab ? "page" : "item", index);
                return 1;
            }
        } else if (verb == "wait") {
            int ms = 0;
            if (std::sscanf(arg.c_str(), "%d", &ms) != 1 || ms < 0) return bad(step);
            // A millisecond at a time, so that a timer fires as often as its
            // interval says rather than once per jump.
            for (int i = 0; i < ms; ++i) {
                vd::advanceTime(1);
                settle();
            }
        } else {
            return bad(step);
        }
        settle();
        return 0;
    }

private:
    int bad(const std::string& step) {
        std::fprintf(stderr, "error: cannot read the step \"%s\"\n", step.c_str());
        return 2;
    }

    // The centre of the named control; with `dragged`, a layout with a
    // splitter is taken by the centre of its splitter strip and a slider by
    // its thumb's centre instead (the parts that a drag moves).
    int centreOf(const std::string& name, Point& out, bool dragged = false) {
        CControlUI* control = m_window.manager.findControlByName(platform::fromUtf8(name));
        if (!control) {
            std::fprintf(stderr, "error: no control named \"%s\"\n", name.c_str());
            return 1;
        }
        platform::Rect r = control->bounds();
        if (dragged) {
            if (auto* slider = static_cast<CSliderUI*>(control->castTo(L"Slider")))
                r = slider->thumbRect();
            else if (auto* v = static_cast<CVerticalLayoutUI*>(control->castTo(L"VerticalLayout"));
                     v && v->splitterSize())
                r = v->splitterRect(r);
            else if (auto* h = static_cast<CHorizontalLayoutUI*>(control->castTo(L"HorizontalLayout"));
                     h && h->splitterSize())
                r = h->splitterRect(r);
        }
        out = platform::clientToScreen(m_window.windowHandle(), {(r.left + r.right) / 2, (r.top + r.bottom) / 2});
        return 0;
    }

    // The keys that move and delete in an edit and move in a list; 0 for
    // other names.
    static unsigned editingKey(const std::string& key) {
        static const struct {
            const char* name;
            unsigned vk;
        } kKeys[] = {{"backspace", platform::VK_BACK}, {"delete", platform::VK_DELETE}, {"left", platform::VK_LEFT},
                     {"right", platform::VK_RIGHT},    {"home", platform::VK_HOME},     {"end", platform::VK_END},
                     {"up", platform::VK_UP},          {"down", platform::VK_DOWN},     {"pageup", platform::VK_PRIOR},
                     {"pagedown", platform::VK_NEXT},  {"space", platform::VK_SPACE}};
        for (const auto& k : kKeys)
            if (key == k.name) return k.vk;
        return 0;
    }

    bool pressKey(const std::string& key) {
        namespace vd = platform::vdisplay;
        if (key == "tab") {
            vd::pressKey(platform::VK_TAB);
        } else if (key == "shift+tab") {
            vd::keyDown(platform::VK_SHIFT);
            vd::pressKey(platform::VK_TAB);
            vd::keyUp(platform::VK_SHIFT);
        } else if (key == "return") {
            vd::pressKey(platform::VK_RETURN);
        } else if (key == "escape") {
            vd::pressKey(platform::VK_ESCAPE);
        } else if (const unsigned vk = editingKey(key)) {
            vd::pressKey(vk);
        } else if (key.size() == 6 && key.rfind("ctrl+", 0) == 0 && std::iswalpha(static_cast<unsigned char>(key[5]))) {
            vd::keyDown(platform::VK_CONTROL);
            vd::pressKey(static_cast<unsigned>(std::towupper(static_cast<unsigned char>(key[5]))));
            vd::keyUp(platform::VK_CONTROL);
        } else if (key.size() == 5 && key.rfind("alt+", 0) == 0 && std::iswalnum(static_cast<unsigned char>(key[4]))) {
            vd::altKey(static_cast<unsigned>(std::towupper(static_cast<unsigned char>(key[4]))));
        } else {
            return false;
        }
        return true;
    }

    ViewWindow& m_window;
};

// With no skin source given, the document's own folder is the skin folder.
void useDocumentFolder(std::string& document) {
    fs::path path(document);
    if (!path.has_parent_path()) return;
    std::string folder = path.parent_path().string() + "/";
    skinsource::setResourcePath(platform::fromUtf8(folder));
    document = path.filename().string();
}

} // namespace

int runWindow(const std::string& documentArg, const std::map<std::string, std::string>& options,
              const std::vector<std::string>& steps) {
    auto option = [&](const char* key) -> const std::string* {
        auto it = options.find(key);
        return it == options.end() ? nullptr : &it->second;
    };
    int width = 0, height = 0;
    if (const std::string* size = option("size");
        size && (std::sscanf(size->c_str(), "%dx%d", &width, &height) != 2 || width <= 0 || height <= 0 ||
                 width > 16384 || height > 16384)) {
        std::fprintf(stderr, "error: --size wants WxH\n");
        return 2;
    }
    double scale = 0; // 0: the desktop's (QUELLAN_SCALE on the virtual display)
    if (const std::string* text = option("scale")) {
        const std::optional<double> value = platform::parseScaleSetting(text->c_str());
        if (!value || *value < 1 || *value > 3) {
            std::fprintf(stderr, "error: --scale wants a number from 1 to 3\n");
            return 2;
        }
        scale = *value;
    }
    std::string png;
    if (const std::string* out = option("png")) png = fs::absolute(*out).string();

    // Images are named relative to the skin folder: work from there.
    std::string document = documentArg;
    if (!option("archive")) {
        if (!option("skin-dir")) useDocumentFolder(document);
        const std::wstring& folder = skinsource::resourcePath();
        std::error_code ec;
        if (!folder.empty()) fs::current_path(platform::toUtf8(folder), ec);
        if (ec) {
            std::fprintf(stderr, "error: cannot enter %s\n", platform::toUtf8(folder).c_str());
            return 1;
        }
        // Documents are now found from here too.
        skinsource::setResourcePath(L"");
    }

    // A screen larger than any window keeps the whole window on it.
    if (!platform::vdisplay::open({16384, 16384})) {
        std::fprintf(stderr, "error: the virtual display cannot be opened: %s\n", platform::displayError().c_str());
        return 1;
    }
    ViewWindow window;
    if (!window.createHostWindow(nullptr, L"quellan-skinview", platform::WS_POPUP, 0, 0, 0, 400, 300)) {
        std::fprintf(stderr, "error: the window cannot be created\n");
        return 1;
    }
    if (scale > 0) window.manager.setScale(scale);
    CSkinBuilder builder;
    std::wstring source = platform::fromUtf8(document);
    CControlUI* root = builder.build(source.c_str(), nullptr, nullptr, &window.manager, nullptr);
    if (!root) {
        std::wstring why = builder.lastError();
        std::printf("error: %s\n", why.empty() ? "the document builds no control" : utf8(why).c_str());
        if (!why.empty()) std::printf("at: %s\n", utf8(builder.lastErrorLocation()).c_str());
        platform::destroyWindow(window.windowHandle());
        return 1;
    }
    if (width > 0)
        platform::setWindowPos(window.windowHandle(), nullptr, 0, 0, window.manager.toDevice(width),
                               window.manager.toDevice(height),
                               platform::SWP_NOMOVE | platform::SWP_NOZORDER | platform::SWP_NOACTIVATE);
    // The window system allows windows up to 32767 a side, whose picture
    // would take gigabytes to copy out: refuse before anything is painted.
    if (const platform::Rect client = platform::clientRect(window.windowHandle());
        !png.empty() && (client.width() > kMaxPictureSide || client.height() > kMaxPictureSide)) {
        std::fprintf(stderr, "error: picture %dx%d too large\n", client.width(), client.height());
        root->destroySelf();
        platform::destroyWindow(window.windowHandle());
        return 1;
    }
    window.manager.setRoot(root);
    window.manager.addListener(&window);
    window.setShown(true, true);
    settle();
    // A layered window paints, and so moves the focus it was given at start,
    // on its refresh timer: let that happen before the steps, so that their
    // notices never depend on how soon the timer fired.
    const auto letLayeredRefreshRun = [&] {
        if (!window.manager.isLayered()) return;
        for (unsigned i = 0; i < CFormManagerUI::kLayeredRefreshMs; ++i) {
            platform::vdisplay::advanceTime(1);
            settle();
        }
    };
    letLayeredRefreshRun();

    window.printing = true;
    Stepper stepper(window);
    for (const std::string& step : steps) {
        if (int status = stepper.run(step)) {
            platform::destroyWindow(window.windowHandle());
            return status;
        }
    }
    window.printing = false;
    // A layered window shows what its refresh timer painted last.
    letLayeredRefreshRun();

    int status = 0;
    if (!png.empty() && !platform::vdisplay::writeWindowPng(window.windowHandle(), png)) {
        std::fprintf(stderr, "error: cannot write %s\n", png.c_str());
        status = 1;
    }
    if (options.count("tree")) printTree(window.manager, window.manager.root(), 0);
    platform::destroyWindow(window.windowHandle());
    return status;
}

} // namespace skinview
