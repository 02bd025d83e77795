// quellan-walkthrough: runs the installer's main window on the virtual display
// against the service named by QUELLAN_SERVICE_BASE and walks through one
// installation the way a player would: select an edition, press start, watch
// the progress, confirm the completion. Each step leaves a numbered
// screenshot in the output folder (message boxes drawn over the window).
//
//   quellan-walkthrough --out DIR [--edition birch] [--path DIR]
//
// Exit status 0 when the installation completed, 1 otherwise.
#include "app/Editions.h"
#include "app/MainWnd.h"
#include "app/MsgBoxWnd.h"
#include "app/RunModes.h"
#include "util/FileHelpers.h"
#include "engine/DownloadWorker.h"
#include "engine/HttpClient.h"
#include "engine/ServiceConfig.h"
#include "platform/graphics/Graphics.h"
#include "platform/system/Resources.h"
#include "platform/system/System.h"
#include "platform/system/Text.h"
#include "platform/window/VirtualDisplay.h"
#include "platform/window/Window.h"
#include "ui/controls/OptionUI.h"
#include "ui/core/ControlUI.h"
#include "ui/core/WindowWnd.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

using namespace platform;

namespace {

constexpr unsigned kStep = WM_USER + 77;

// What the player sees: the main window with every other shown window of
// the program (the message box) drawn over it where it sits.
bool WriteScreen(WindowHandle main, const std::string& path) {
    vdisplay::Snapshot base;
    if (!vdisplay::windowPixels(main, base)) return false;
    const Rect origin = windowRect(main);
    Surface out(base.size.cx, base.size.cy);
    for (int y = 0; y < base.size.cy; ++y)
        for (int x = 0; x < base.size.cx; ++x) out.setPixel(x, y, base.at(x, y));
    const std::vector<WindowHandle> order = vdisplay::stackingOrder();
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        if (*it == main || windowClassName(*it) != L"CMsgBoxWnd") continue;
        vdisplay::Snapshot top;
        if (!vdisplay::windowPixels(*it, top)) continue;
        const Rect r = windowRect(*it);
        for (int y = 0; y < top.size.cy; ++y)
            for (int x = 0; x < top.size.cx; ++x) {
                const int ox = r.left - origin.left + x, oy = r.top - origin.top + y;
                if (ox < 0 || oy < 0 || ox >= base.size.cx || oy >= base.size.cy) continue;
                if ((top.at(x, y) >> 24) == 0) continue;
                out.setPixel(ox, oy, top.at(x, y));
            }
    }
    return out.writePng(path);
}

// Runs the steps one after the other from inside whatever modal loop runs
// (the window's, or a message box's): a ticker thread wakes a helper window,
// which runs the current step until it reports done.
class Walk final : public CWindowWnd {
public:
    struct Step {
        const char* what;
        std::function<bool()> run; // true when done
    };
    explicit Walk(std::vector<Step> steps) : m_steps(std::move(steps)) {
        createHostWindow(nullptr, L"walk", WS_POPUP, 0, 0, 0, 1, 1);
        m_ticker = std::thread([this, window = m_window] {
            while (!m_stop) {
                postMessage(window, kStep, 0, 0);
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
    }
    ~Walk() override {
        m_stop = true;
        m_ticker.join();
    }
    const wchar_t* wndClassName() const override { return L"QuellanWalkthrough"; }
    LResult onWindowMessage(unsigned message, WParam wParam, LParam lParam) override {
        if (message != kStep) return CWindowWnd::onWindowMessage(message, wParam, lParam);
        // A step that opens a message box runs its loop inside this call:
        // the steps go on from there, never inside each other.
        if (m_next >= m_steps.size() || m_running) return 0;
        const auto now = std::chrono::steady_clock::now();
        if (m_started == std::chrono::steady_clock::time_point{}) {
            m_started = now;
            std::printf("-- %s\n", m_steps[m_next].what);
            std::fflush(stdout);
        }
        m_running = true;
        const bool done = m_steps[m_next].run();
        m_running = false;
        if (done) {
            ++m_next;
            m_started = {};
        } else if (now - m_started > std::chrono::minutes(3)) {
            std::fprintf(stderr, "quellan-walkthrough: timed out: %s\n", m_steps[m_next].what);
            m_failed = true;
            m_next = m_steps.size();
            if (g_mainWnd) g_mainWnd->CloseApp();
        }
        return 0;
    }
    bool succeeded() const { return !m_failed && m_next == m_steps.size(); }

private:
    std::vector<Step> m_steps;
    std::size_t m_next = 0;
    bool m_failed = false;
    bool m_running = false;
    std::chrono::steady_clock::time_point m_started{};
    std::atomic<bool> m_stop{false};
    std::thread m_ticker;
};

Point CentreOf(CMainWnd& window, CControlUI* control) {
    const Rect& r = control->bounds();
    return clientToScreen(window.windowHandle(), {(r.left + r.right) / 2, (r.top + r.bottom) / 2});
}

WindowHandle OpenMessageBox() {
    for (WindowHandle w : vdisplay::stackingOrder())
        if (windowClassName(w) == L"CMsgBoxWnd" && vdisplay::nativeState(w).presentCount > 0) return w;
    return nullptr;
}

std::wstring TextOf(CControlUI* control) { return control ? control->textValue().toStd() : std::wstring(); }

} // namespace

int main(int argc, char** argv) {
    std::string out, code = "birch", path;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--out")
            out = argv[i + 1];
        else if (arg == "--edition")
            code = argv[i + 1];
        else if (arg == "--path")
            path = argv[i + 1];
    }
    const Edition* edition = FindEditionByCode(code);
    if (out.empty() || !edition) {
        std::fprintf(stderr, "usage: quellan-walkthrough --out DIR [--edition CODE] [--path DIR]\n");
        return 2;
    }
    std::filesystem::create_directories(out);
    if (!vdisplay::open({1280, 800})) return 1;
    g_programDir = GetModuleDirectory();
    g_downloadEndWaitMs = 0;
    CHttpClient::GlobalInit();
    const auto skin = findResource(kSkinResourceType, kSkinResourceId);
    if (skin.empty()) return 1;
    CFormManagerUI::setSkinArchive(skin.data(), skin.size(), kSkinPassword);
    InstallMsgBoxWindow();

    auto* window = new CMainWnd;
    if (!window->Create()) return 1;
    window->centreOnOwner();
    int shot = 0;
    auto screenshot = [&](const char* name) {
        char file[64];
        std::snprintf(file, sizeof file, "%02d-%s.png", ++shot, name);
        const std::string target = out + "/" + file;
        // What the last events changed, painted now.
        for (WindowHandle w : vdisplay::stackingOrder()) updateWindow(w);
        WriteScreen(window->windowHandle(), target);
        std::printf("   %s\n", target.c_str());
        std::fflush(stdout);
    };
    auto click = [&](CControlUI* control) { vdisplay::click(CentreOf(*window, control)); };
    bool progressShown = false;
    std::wstring finalMessage;

    Walk walk({
        {"the window opens and fetches its configuration",
         [&] {
             // Idle: the start-up jobs have ended and their events have run.
             if (!window->control(L"webbtn") || window->threads().RunningCount() != 0 || window->PendingCalls() != 0 ||
                 OpenMessageBox())
                 return false;
             screenshot("start");
             return true;
         }},
        {"select the edition",
         [&] {
             click(window->control(edition->optionControl));
             return true;
         }},
        {"",
         [&] {
             // The click is queued input: wait until the window has had it
             // (it fills the path field, which --path then replaces).
             if (window->GetSelectedEdition() != edition->number) return false;
             if (!path.empty()) window->control(L"path_edit")->assignText(fromUtf8(path));
             screenshot("edition");
             return true;
         }},
        {"press start",
         [&] {
             click(window->control(L"startBtn"));
             return true;
         }},
        {"watch the progress",
         [&] {
             if (OpenMessageBox()) return true; // too fast to see: the end is there already
             if (TextOf(window->control(L"one_file_name_lab")).empty()) return false;
             if (!progressShown) {
                 progressShown = true;
                 screenshot("progress");
             }
             return true;
         }},
        {"wait for the end of the pass",
         [&] {
             const WindowHandle box = OpenMessageBox();
             if (!box) return false;
             finalMessage = windowText(box);
             screenshot("complete");
             return true;
         }},
        {"confirm",
         [&] {
             const WindowHandle box = OpenMessageBox();
             if (!box) return true;
             auto* msgbox = static_cast<CMsgBoxWnd*>(reinterpret_cast<CWindowWnd*>(windowUserData(box)));
             CControlUI* ok = msgbox ? msgbox->manager().findControlByName(L"msgbox_ok") : nullptr;
             CControlUI* text = msgbox ? msgbox->manager().findControlByName(L"msgbox_text") : nullptr;
             finalMessage = TextOf(text);
             if (!ok) return false;
             const Rect& r = ok->bounds();
             vdisplay::click(clientToScreen(box, {(r.left + r.right) / 2, (r.top + r.bottom) / 2}));
             return true;
         }},
        {"",
         [&] {
             if (OpenMessageBox()) return false;
             screenshot("done");
             window->CloseApp();
             return true;
         }},
    });
    window->runModal();
    std::printf("outcome: %s\n", toUtf8(finalMessage).c_str());
    const bool ok = walk.succeeded() && finalMessage == L"下载结束，安装完成！";
    std::fflush(stdout);
    std::_Exit(ok ? 0 : 1);
}
