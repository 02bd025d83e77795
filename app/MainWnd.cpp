// The main window: creation, messages, notices and the flows up to the start
// of a download pass. The download phase and the end of a pass are in
// MainWndProgress.cpp.
#include "app/MainWnd.h"

#include "app/Editions.h"
#include "app/FolderChoice.h"
#include "app/MsgBox.h"
#include "app/MsgBoxWnd.h"
#include "app/Preflight.h"
#include "app/RunModes.h"
#include "app/StartChecks.h"
#include "engine/FileListJob.h"
#include "engine/PointerArg.h"
#include "engine/SelfUpdate.h"
#include "engine/ServiceClient.h"
#include "engine/ServiceConfig.h"
#include "engine/UsageReport.h"
#include "platform/system/Shell.h"
#include "platform/system/System.h"
#include "platform/window/Window.h"
#include "ui/controls/ButtonUI.h"
#include "ui/controls/OptionUI.h"
#include "ui/core/ControlUI.h"
#include "ui/layout/ContainerUI.h"
#include "util/LogFile.h"

#include <json/json.h>

#include <cstdlib>
#include <memory>

using namespace platform;

CMainWnd* g_mainWnd = nullptr;

namespace {

// The version answer's "check_code", read the way atoi reads a text; 0 when
// the answer is not JSON or has no such member.
bool ReadVersionAnswer(const std::string& text, int& checkCode, std::string& fileUrl, std::string& fileSha256) {
    Json::Value root;
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    try {
        if (!reader->parse(text.data(), text.data() + text.size(), &root, nullptr) || !root.isObject()) return false;
        const Json::Value& code = root["check_code"];
        checkCode = code.isString() ? std::atoi(code.asCString()) : code.isIntegral() ? code.asInt() : 0;
        const Json::Value& url = root["file_url"];
        fileUrl = url.isString() ? url.asString() : std::string();
        const Json::Value& digest = root["file_sha256"];
        fileSha256 = digest.isString() ? digest.asString() : std::string();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool ParsesAsJson(const std::string& text) {
    Json::Value root;
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    try {
        return reader->parse(text.data(), text.data() + text.size(), &root, nullptr);
    } catch (const std::exception&) {
        return false;
    }
}

COptionUI* asOption(CControlUI* control) {
    return control ? static_cast<COptionUI*>(control->castTo(L"Option")) : nullptr;
}

} // namespace

CMainWnd::CMainWnd() { g_mainWnd = this; }

CMainWnd::~CMainWnd() {
    onDestroying();
    if (m_window && isWindow(m_window)) destroyWindow(m_window);
    if (g_mainWnd == this) g_mainWnd = nullptr;
}

bool CMainWnd::Create(std::wstring_view title) {
    return createHostWindow(nullptr, title, kMainWndStyle, 0, 0, 0, 0, 0) != nullptr;
}

void CMainWnd::onDestroying() {
    // Jobs first: once they are cancelled none of them posts to this window
    // or reads the sink, which then may go.
    m_threads.TerminateAllThreads();
    SetEngineEvents(nullptr);
    SetCloseRequestHandler({});
    SetDispatchWindow(nullptr);
}

// The skin uses the framework's own tags only.
CControlUI* CMainWnd::createControl(const wchar_t*) { return nullptr; }

// --- Window messages ---

LResult CMainWnd::onWindowMessage(unsigned message, WParam wParam, LParam lParam) {
    switch (message) {
    case WM_CREATE: {
        setWindowStyle(m_window,
                       (windowStyle(m_window) & ~(WS_CAPTION | WS_THICKFRAME)) | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
        SetDispatchWindow(m_window);
        SetEngineEvents(&m_events);
        const WindowHandle self = m_window;
        // The self-update asks from its thread: a posted close is safe there.
        SetCloseRequestHandler([self] { postMessage(self, WM_CLOSE, 0, 0); });
        m_manager.attachWindow(m_window, L"main");
        CSkinBuilder builder;
        if (CControlUI* root = builder.build(L"main.xml", nullptr, this, &m_manager)) {
            m_manager.setRoot(root);
            m_manager.addListener(this);
        }
        return 0;
    }
    case WM_DESTROY:
        onDestroying();
        break;
    case WM_SIZE: {
        bool handled = false;
        const LResult result = onResized(wParam, lParam, handled);
        if (handled) return result;
        break;
    }
    case WM_NCCALCSIZE:
    case WM_NCLBUTTONDBLCLK:
        return 0;
    case WM_NCHITTEST:
        return hitTest(lParam);
    case WM_SYSCOMMAND:
        return onSysCommand(wParam, lParam);
    default:
        if (IsDispatchMessage(message)) {
            DispatchCalls();
            return 0;
        }
        break;
    }
    LResult result = 0;
    if (m_manager.handleMessage(message, wParam, lParam, result)) return result;
    return CWindowWnd::onWindowMessage(message, wParam, lParam);
}

LResult CMainWnd::onResized(WParam, LParam, bool& handled) {
    ApplyRoundRegion(m_window, m_manager);
    handled = false;
    return 0;
}

LResult CMainWnd::hitTest(LParam lParam) {
    const Point pt = screenToClient(m_window, Point{static_cast<std::int16_t>(lParam & 0xFFFF),
                                                    static_cast<std::int16_t>((lParam >> 16) & 0xFFFF)});
    const Rect client = clientRect(m_window);
    const Rect caption = m_manager.caption();
    if (pt.x >= client.left + caption.left && pt.x < client.right - caption.right && pt.y >= caption.top &&
        pt.y < caption.bottom && isPlainChain(m_manager.findControlAt(pt)))
        return HTCAPTION;
    return HTCLIENT;
}

LResult CMainWnd::onSysCommand(WParam wParam, LParam lParam) {
    switch (wParam & 0xFFF0) {
    case SC_CLOSE:
        // Asked whether or not a download runs.
        if (ask(L"确定退出吗", kMsgBoxOkCancel, L"确定", L"取消") == kMsgBoxOkPressed) CloseApp();
        return 0;
    case SC_MINIMIZE:
        showWindow(m_window, SW_MINIMIZE);
        return 0;
    case SC_MAXIMIZE:
    case SC_KEYMENU:
        return 0;
    default:
        return CWindowWnd::onWindowMessage(WM_SYSCOMMAND, wParam, lParam);
    }
}

// --- Notices ---

void CMainWnd::onNotice(TNoticeUI& notice) {
    const std::wstring_view kind = notice.kind.view();
    if (kind == L"windowinit") {
        OnWindowInit();
        return;
    }
    if (!notice.sender) return;
    const std::wstring_view name = notice.sender->controlName().view();
    if (kind == L"click") {
        if (name == L"close_btn")
            OnCloseClicked();
        else if (name == L"min_btn")
            showWindow(m_window, SW_MINIMIZE);
        else if (name == L"selected_path_btn")
            OnBrowseFolder();
        else if (name == L"startBtn")
            OnStartClicked(notice.sender);
        else if (name == L"webbtn")
            openUrl(kAcceleratorProducts[0].downloadPage);
    } else if (kind == L"selectchanged") {
        OnEditionSelected(name);
    }
}

void CMainWnd::OnWindowInit() {
    applyIcon(kIconResourceId);
    setForegroundWindow(m_window);
    bringWindowToTop(m_window);

    if (IsInFavoritesFolder(g_programDir)) {
        ask(L"无法在收藏夹中运行！", kMsgBoxOk, L"确定", L"取消");
        CloseApp();
        return;
    }
    if (CControlUI* title = control(L"title_lab")) title->assignText(L"Quellan");
    for (const Edition& edition : kEditions) {
        COptionUI* option = asOption(control(edition.optionControl));
        if (!option) continue;
        option->assignSelected(false, /*notify=*/false);
        if (edition.code == "cedar") option->assignShown(false);
    }
    if (CControlUI* path = control(L"path_edit")) path->assignText(m_installPath);
    m_fileNameLabel = control(L"one_file_name_lab");
    m_filePercentLabel = control(L"one_file_percent_lab");
    m_progressBar = control(L"pro_lab");
    m_threads.StartThread(&ThreadCheckVersion, 0);
    addLinkButton();
}

void CMainWnd::addLinkButton() {
    CControlUI* close = control(L"close_btn");
    CControlUI* parent = close ? close->parentControl() : nullptr;
    auto* container = parent ? static_cast<IContainerUI*>(parent->castTo(L"IContainer")) : nullptr;
    if (!container) return;
    auto* link = new CButtonUI;
    if (!container->insertItem(link, 1)) {
        link->destroySelf();
        return;
    }
    link->assignName(L"webbtn");
    link->assignFloating(true);
    // Skin units, placed by the layout at the window's scale.
    link->assignFixedXY({370, 8});
    link->assignFixedWidth(594 - 370);
    link->assignFixedHeight(30 - 8);
    link->assignBorderSizes(Rect{0, 0, 0, 1}); // an underline
    link->applyAttribute(L"bordercolor", L"#FF8000FF");
    link->applyAttribute(L"textcolor", L"#FFFFFFFF");
    link->applyAttribute(L"hottextcolor", L"#FF8000FF");
    link->assignText(L"点此下载Harrow加速器，游戏更稳定！");
}

void CMainWnd::OnEditionSelected(std::wstring_view optionName) {
    for (const Edition& edition : kEditions) {
        if (edition.optionControl != optionName) continue;
        // The option's new state is not looked at: in a group the newly
        // selected option's notice comes last, so its path wins.
        m_installPath = DefaultInstallPath(edition);
        if (CControlUI* path = control(L"path_edit")) path->assignText(m_installPath);
        return;
    }
}

void CMainWnd::OnCloseClicked() {
    const std::uint32_t sum = totalSpeed();
    if (sum == 0) {
        CloseApp();
        return;
    }
    const SpeedFigure speed = SpeedText(sum);
    const std::wstring text = speed.megabytes
                                  ? L"当前正在下载，速度:" + std::to_wstring(speed.figure) + L"Mb/s，确定退出吗？"
                                  : L"当前正在下载，速度:" + std::to_wstring(speed.figure) + L"Kb/s，确定退出吗？";
    if (ask(text, kMsgBoxOkCancel, L"确定", L"取消") == kMsgBoxOkPressed) CloseApp();
}

void CMainWnd::OnBrowseFolder() {
    const int number = GetSelectedEdition();
    if (number == kNoEdition) {
        ask(L"请选择要下载的游戏版本！", kMsgBoxOk, L"确定", L"取消");
        return;
    }
    const WindowHandle self = m_window;
    const FolderChooserResult chosen = ChooseInstallFolderFor(self, kFolderChooserTitle);
    if (!isWindow(self)) return; // closed meanwhile (the self-update, a quit)
    switch (chosen.choice) {
    case FolderChoice::Cancelled:
        return; // the field stays as it is
    case FolderChoice::Unavailable:
        ask(kNoFolderChooserText, kMsgBoxOk, L"确定", L"取消");
        return;
    case FolderChoice::Chosen:
        break;
    }
    const Edition* edition = FindEditionByNumber(number);
    if (chosen.path.empty() || !edition) return;
    const std::wstring path = ApplyFolderRule(chosen.path, *edition);
    // installPath follows when start is pressed: it is read from the field.
    if (CControlUI* field = control(L"path_edit")) {
        field->assignText(path);
        field->assignTooltip(path);
    }
}

void CMainWnd::OnStartClicked(CControlUI* sender) {
    if (!ConfirmAntivirus(m_window)) return;
    if (!RequireAccelerator(m_window)) return;
    const int number = GetSelectedEdition();
    if (number == kNoEdition) {
        ask(L"请选择要下载的游戏版本！", kMsgBoxOk, L"确定", L"取消");
        return;
    }
    CControlUI* field = control(L"path_edit");
    m_installPath = ResolveTypedPath(field ? field->textValue().view() : std::wstring_view());
    if (m_installPath.empty()) {
        ask(L"保存路径不能为空！", kMsgBoxOk, L"确定", L"取消");
        return;
    }
    if (field) field->assignText(m_installPath); // the path that is really used
    if (!CheckDiskSpace()) {
        ask(L"所选磁盘空间不足！", kMsgBoxOk, L"确定", L"取消");
        return;
    }
    if (!PrepareInstallFolder(m_installPath)) {
        ask(kFolderNotWritableText, kMsgBoxOk, L"确定", L"取消");
        return;
    }
    if (!m_folderLock.Acquire(m_installPath)) {
        ask(kFolderInUseText, kMsgBoxOk, L"确定", L"取消");
        return;
    }
    sender->assignEnabled(false);
    sender->assignText(L"正在下载");
    SetRequestedInstallFolder(m_installPath);
    if (m_threads.StartThread(&ThreadGetFileList, static_cast<ThreadParam>(number)) == 0) {
        // No job will ever answer: do not leave the button disabled for good.
        m_folderLock.Release();
        resetStartButton();
        ask(L"文件列表获取失败！", kMsgBoxOk, L"确定", L"取消");
        return;
    }
    m_threads.StartThread(&ThreadReport, ReportEventCode(static_cast<std::uint32_t>(number)));
}

// --- Operations ---

int CMainWnd::GetSelectedEdition() const {
    return FirstSelectedEdition([this](std::wstring_view name) {
        COptionUI* option = asOption(control(name));
        return option && option->selectedState();
    });
}

bool CMainWnd::CheckDiskSpace() const { return HasRoomForInstallation(m_installPath); }

void CMainWnd::CloseApp() {
    setShown(false);
    requestClose(0);
}

void CMainWnd::StartSelfUpdate(const std::string& address, const std::string& sha256) {
    const std::wstring program = m_programFile.empty() ? platform::executablePath() : m_programFile;
    if (const auto problem = ProgramReplaceProblem(program)) {
        WRITE_LOG(L"无法更新：%s", problem->c_str());
        OnSelfUpdateFailed(0, 0);
        return;
    }
    if (CControlUI* start = control(L"startBtn")) {
        // The window closes when the download ends: nothing to start now.
        start->assignEnabled(false);
        start->assignText(L"正在下载新版本");
    }
    const ThreadParam request = OwnedArg(std::make_unique<SelfUpdateRequest>(SelfUpdateRequest{address, sha256}));
    if (m_threads.StartThread(&ThreadSelfUpdate, request) == 0) {
        // The job never ran, so the request is still ours; and without the
        // job nothing would ever close the window.
        TakeOwnedArg<SelfUpdateRequest>(request);
        OnSelfUpdateFailed(0, 0);
    }
}

int CMainWnd::ask(std::wstring_view text, int kind, std::wstring_view ok, std::wstring_view cancel) {
    return ShowMsgBox(m_window, text, kind, ok, cancel);
}

void CMainWnd::resetStartButton() {
    if (CControlUI* start = control(L"startBtn")) {
        start->assignText(L"开始下载");
        start->assignEnabled(true);
        start->assignTooltip(L"");
    }
}

// --- Events of the start-up jobs ---

void CMainWnd::OnCheckVersionResult(EventArg, EventArg a2) {
    const std::unique_ptr<std::string> text = TakeEventText(a2);
    int checkCode = 0;
    std::string fileUrl, fileSha256;
    if (text && ReadVersionAnswer(*text, checkCode, fileUrl, fileSha256) && checkCode > kClientVersionNumber) {
        // The only way past an offered update is closing the program.
        if (ask(L"发现新版本，请更新后使用！", kMsgBoxOkCancel, L"开始更新", L"退出程序") == kMsgBoxOkPressed)
            StartSelfUpdate(fileUrl, fileSha256);
        else
            CloseApp();
        return;
    }
    m_threads.StartThread(&ThreadGetConfig, 0);
}

void CMainWnd::OnCheckVersionFailed(EventArg, EventArg a2) {
    const std::unique_ptr<std::wstring> text = TakeEventWideText(a2);
    ask(text ? *text : std::wstring(), kMsgBoxOk, L"我知道了", L"取消");
    CloseApp();
}

void CMainWnd::OnGetConfigResult(EventArg, EventArg) {
    const std::string config = g_configText;
    if (!ParsesAsJson(config)) {
        ask(L"数据错误！", kMsgBoxOk, L"确定", L"取消");
        CloseApp();
    }
}

void CMainWnd::OnGetConfigFailed(EventArg, EventArg a2) {
    const std::unique_ptr<std::wstring> text = TakeEventWideText(a2);
    ask(text ? *text : std::wstring(), kMsgBoxOk, L"我知道了", L"取消");
    CloseApp();
}

void CMainWnd::OnSelfUpdateFailed(EventArg, EventArg) {
    ask(L"更新失败，请去网站获取最新版本！", kMsgBoxOk, L"确定", L"取消");
    CloseApp();
}

void CMainWnd::OnFileListFailed(EventArg, EventArg a2) {
    const std::unique_ptr<std::wstring> text = TakeEventWideText(a2);
    m_folderLock.Release();
    resetStartButton();
    ask(text ? *text : std::wstring(), kMsgBoxOk, L"确定", L"取消");
}
