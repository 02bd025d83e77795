// The installer's one window: the edition options, the path field, the start
// button (also the status line), the progress display, and the flows that
// tie them to the jobs: the version check and its update offer, the remote
// configuration, the start checks, the download passes and their end.
#pragma once

#include "engine/EngineEvents.h"
#include "engine/MsgDispatch.h"
#include "engine/WindowMultiThreadManager.h"
#include "ui/core/FormManagerUI.h"
#include "ui/core/WindowWnd.h"
#include "ui/markup/SkinBuilder.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

class CMainWnd;

// The one main window while it exists (set by its constructor, cleared by its
// destructor). Jobs reach the window only through the dispatch queue.
extern CMainWnd* g_mainWnd;

// How often OnStartDownload has run in this process, and when the detail
// labels of the progress display were last written (tick count).
extern int g_downloadRound;
extern std::uint32_t g_lastDetailTick;

// The main window's class and title; a running instance is found by them.
inline constexpr wchar_t kMainWndClass[] = L"CMainWnd";
inline constexpr wchar_t kMainWndTitle[] = L"Quellan";
// Style the window is created with: WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS |
// WS_CLIPCHILDREN | WS_OVERLAPPEDWINDOW; creation removes caption and frame.
inline constexpr unsigned kMainWndStyle = 0x96CF0000u;
// The icon resource of the window.
inline constexpr int kIconResourceId = 103;
// Full width of the progress bar "pro_lab", in pixels.
inline constexpr int kProgressBarWidth = 640;
// The detail labels are rewritten at most once per this many milliseconds.
inline constexpr std::uint32_t kDetailThrottleMs = 1000;

// The speed figure and its unit for a total speed in bytes per second: the
// Kb/s figure is bytes >> 10; above 1024 it is shifted once more and the
// unit is Mb/s.
struct SpeedFigure {
    std::uint32_t figure = 0;
    bool megabytes = false;
};
constexpr SpeedFigure SpeedText(std::uint32_t bytesPerSecond) {
    const std::uint32_t kb = bytesPerSecond >> 10;
    if (kb > 1024) return {kb >> 10, true};
    return {kb, false};
}

class CMainWnd : public CWindowWnd, public INotifyUI, public IDialogBuilderCallback, public CMsgDispatch<CMainWnd> {
public:
    CMainWnd();
    ~CMainWnd() override;

    // Creates the window (invisible until the modal loop shows it) with the
    // given title; the program uses kMainWndTitle.
    bool Create(std::wstring_view title = kMainWndTitle);

    // --- CWindowWnd ---
    const wchar_t* wndClassName() const override { return kMainWndClass; }
    const wchar_t* baseClassName() const override { return nullptr; }
    unsigned wndClassStyle() const override { return platform::CS_DBLCLKS; }
    platform::LResult onWindowMessage(unsigned message, platform::WParam wParam, platform::LParam lParam) override;
    void afterDestroyed(platform::WindowHandle) override {}
    virtual platform::LResult onResized(platform::WParam wParam, platform::LParam lParam, bool& handled);

    // --- INotifyUI, IDialogBuilderCallback ---
    void onNotice(TNoticeUI& notice) override;
    CControlUI* createControl(const wchar_t* tagName) override;

    // --- Events queued by the jobs (run on the window thread) ---
    void OnCheckVersionResult(EventArg a1, EventArg a2);
    void OnCheckVersionFailed(EventArg a1, EventArg a2);
    void OnGetConfigResult(EventArg a1, EventArg a2);
    void OnGetConfigFailed(EventArg a1, EventArg a2);
    void OnSelfUpdateFailed(EventArg a1, EventArg a2);
    void OnFileListFailed(EventArg a1, EventArg a2);
    void OnShowStatusText(EventArg a1, EventArg a2);
    void OnStartDownload(EventArg a1, EventArg a2);
    void OnDownloadProgress(EventArg a1, EventArg a2);
    void OnDownloadThreadEnd(EventArg a1, EventArg a2);

    // --- Operations ---
    // The number of the first selected edition, or kNoEdition.
    int GetSelectedEdition() const;
    // True when the file system of installPath has more than 10 GiB
    // available to the user.
    bool CheckDiskSpace() const;
    // Hides the window and asks it to close; the modal loop then ends.
    void CloseApp();
    // Checks that the program file can be replaced (else: the update
    // failure, and the reason in the log), then disables the start button,
    // shows "正在下载新版本" and starts the self-update job for address.
    void StartSelfUpdate(const std::string& address);
    // The program file the self-update replaces: the running executable
    // unless set otherwise (tests).
    void setProgramFile(std::wstring path) { m_programFile = std::move(path); }
    // The desktop and menu entries for the edition (older ones removed
    // first), with the launcher's icon when it has one.
    bool CreateDesktopShortcut(int editionNumber) const;

    // --- State, for the entry point and tests ---
    CFormManagerUI& manager() { return m_manager; }
    CWindowMultiThreadManager& threads() { return m_threads; }
    const std::wstring& installPath() const { return m_installPath; }
    const std::map<std::uint32_t, std::int32_t>& threadSpeeds() const { return m_threadSpeeds; }
    CControlUI* control(std::wstring_view name) const { return m_manager.findControlByName(name); }

protected:
    // The dispatch base names its window the same way.
    using CWindowWnd::m_window;

private:
    void OnWindowInit();
    void OnCloseClicked();
    void OnBrowseFolder();
    void OnStartClicked(CControlUI* sender);
    void OnEditionSelected(std::wstring_view optionName);
    platform::LResult hitTest(platform::LParam lParam);
    platform::LResult onSysCommand(platform::WParam wParam, platform::LParam lParam);
    void resetStartButton();
    int ask(std::wstring_view text, int kind, std::wstring_view ok, std::wstring_view cancel);
    std::uint32_t totalSpeed() const;
    void addLinkButton();
    void onDestroying();

    CFormManagerUI m_manager;
    CWindowMultiThreadManager m_threads;
    std::wstring m_installPath;
    std::wstring m_programFile;
    std::map<std::uint32_t, std::int32_t> m_threadSpeeds;
    CControlUI* m_fileNameLabel = nullptr;
    CControlUI* m_filePercentLabel = nullptr;
    CControlUI* m_progressBar = nullptr;
    CDispatchEvents<CMainWnd> m_events{*this};
};
