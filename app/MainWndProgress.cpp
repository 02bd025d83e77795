// The main window during a download pass: starting the workers, turning their
// progress into the status line and the detail labels, and the end of a pass
// with its outcome and the desktop entry.
#include "app/Editions.h"
#include "app/GameIcon.h"
#include "app/MainWnd.h"
#include "app/MsgBox.h"
#include "engine/DownloadWorker.h"
#include "engine/Manifest.h"
#include "platform/system/Desktop.h"
#include "platform/system/System.h"
#include "ui/controls/OptionUI.h"
#include "ui/core/ControlUI.h"

#include <cstdio>

int g_downloadRound = 0;
std::uint32_t g_lastDetailTick = 0;

namespace {

std::wstring format(const wchar_t* pattern, auto... values) {
    wchar_t buffer[512] = {};
    std::swprintf(buffer, std::size(buffer), pattern, values...);
    return buffer;
}

} // namespace

std::uint32_t CMainWnd::totalSpeed() const {
    std::uint32_t sum = 0;
    for (const auto& [id, speed] : m_threadSpeeds) sum += static_cast<std::uint32_t>(speed);
    return sum;
}

void CMainWnd::OnShowStatusText(EventArg, EventArg a2) {
    const std::unique_ptr<std::wstring> text = TakeEventWideText(a2);
    if (CControlUI* start = control(L"startBtn")) start->assignText(text ? *text : std::wstring());
}

void CMainWnd::OnStartDownload(EventArg, EventArg) {
    m_threadSpeeds.clear();
    // The edition selected now, the last selected one winning, birch when
    // none is: the workers fetch from that edition's server.
    const int number = LastSelectedEditionOrBirch([this](std::wstring_view name) {
        CControlUI* c = control(name);
        auto* option = c ? static_cast<COptionUI*>(c->castTo(L"Option")) : nullptr;
        return option && option->selectedState();
    });
    // Four workers in the first pass of the process, one in every later one.
    const int workers = g_downloadRound == 0 ? 4 : 1;
    for (int i = 0; i < workers; ++i) {
        const std::uint32_t id = m_threads.StartThread(&ThreadDownloadFiles, static_cast<ThreadParam>(number));
        if (id != 0) m_threadSpeeds[id] = 0;
    }
    platform::debugOutput(format(L"第%d次重试\r\n", g_downloadRound));
    ++g_downloadRound;
    if (m_threadSpeeds.empty()) {
        // Not one worker could be started: no end event will come, so the
        // pass ends here as a failed one and the user may start again.
        g_downloadFailed = true;
        OnDownloadThreadEnd(0, static_cast<EventArg>(number));
    }
}

void CMainWnd::OnDownloadProgress(EventArg a1, EventArg a2) {
    const auto id = static_cast<std::uint32_t>(a1);
    const auto found = m_threadSpeeds.find(id);
    const auto* record = reinterpret_cast<const CProgressRecord*>(a2);
    if (found == m_threadSpeeds.end() || !record) return; // a worker of another pass
    const ProgressValues values = record->Snapshot();
    found->second = static_cast<std::int32_t>(values.speed);

    const SpeedFigure speed = SpeedText(totalSpeed());
    const int remaining = GetDownloadItemCount() + static_cast<int>(m_threadSpeeds.size());
    std::wstring status = speed.megabytes
                              ? format(L"剩余%d个文件，速度:%dMb/s", remaining, static_cast<int>(speed.figure))
                              : format(L"剩余%d个文件，速度:%dKb/s", remaining, static_cast<int>(speed.figure));
    if (speed.figure == 0 && values.state == kStateChecking) status = format(L"正在校验，还剩余%d个文件", remaining);
    if (CControlUI* start = control(L"startBtn")) start->assignText(status);

    // The labels and the bar cost a layout: at most about once a second.
    const std::uint32_t now = platform::tickCount();
    if (now - g_lastDetailTick <= kDetailThrottleMs) return;
    g_lastDetailTick = now;

    const std::wstring detail =
        values.state == kStateChecking
            ? format(L"剩余%d个文件，正在校验：%ls，请勿关闭", remaining, values.fileName.c_str())
            : format(L"剩余%d个文件，当前下载：%ls", remaining, values.fileName.c_str());
    if (m_fileNameLabel) m_fileNameLabel->assignText(detail);
    const double total = values.total < 1 ? 1.0 : static_cast<double>(values.total);
    const double percent = static_cast<double>(values.received) * 100.0 / total;
    if (m_filePercentLabel) m_filePercentLabel->assignText(format(L"%.02f%%", percent));
    if (m_progressBar) m_progressBar->assignFixedWidth(static_cast<int>(kProgressBarWidth * percent / 100));
}

void CMainWnd::OnDownloadThreadEnd(EventArg a1, EventArg a2) {
    m_threadSpeeds.erase(static_cast<std::uint32_t>(a1));
    if (!m_threadSpeeds.empty()) return; // other workers of the pass still run

    resetStartButton();
    if (g_downloadFailed.load()) {
        // Only what is still missing or wrong is fetched by the next pass.
        if (CheckDiskSpace())
            ask(L"下载结束，有部分文件下载失败，请再次点击开始下载按钮！", kMsgBoxOk, L"确定", L"取消");
        else
            ask(L"下载结束，有部分文件下载失败，请检查磁盘空间后再次点击开始下载按钮！", kMsgBoxOk, L"确定", L"取消");
        return;
    }
    const int number = static_cast<int>(static_cast<std::intptr_t>(a2));
    if (!FindEditionByNumber(number)) return;
    CreateDesktopShortcut(number); // a missing entry is not reported
    if (m_fileNameLabel) m_fileNameLabel->assignText(L"所有文件下载完毕！");
    if (m_filePercentLabel) m_filePercentLabel->assignText(L"100.00%");
    if (m_progressBar) m_progressBar->assignFixedWidth(kProgressBarWidth);
    ask(L"下载结束，安装完成！", kMsgBoxOk, L"确定", L"取消");
}

bool CMainWnd::CreateDesktopShortcut(int editionNumber) const {
    const Edition* edition = FindEditionByNumber(editionNumber);
    if (!edition) return false;
    std::wstring folder = m_installPath;
    if (!folder.empty() && folder.back() != L'/' && folder.back() != L'\\') folder += L'/';
    const std::wstring icon = InstallGameIcon(folder + std::wstring(edition->launcher));
    return platform::createDesktopShortcut(m_installPath, edition->launcher, icon);
}
