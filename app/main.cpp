// Program entry (module main): chooses update or normal mode from the command
// line and runs the installer.
#include "app/MainWnd.h"
#include "app/MsgBoxWnd.h"
#include "app/RunModes.h"
#include "engine/HttpClient.h"
#include "platform/system/Resources.h"
#include "platform/system/System.h"
#include "platform/system/Text.h"
#include "platform/window/Window.h"
#include "ui/core/FormManagerUI.h"
#include "util/FileHelpers.h"
#include "util/LogFile.h"

#include <cstdio>
#include <cstdlib>

namespace {

// The main window's title, by which a running instance is found.
// QUELLAN_WINDOW_TITLE replaces it so that test runs in parallel never find
// each other's windows.
std::wstring MainWindowTitle() {
    const char* title = std::getenv("QUELLAN_WINDOW_TITLE");
    return title && *title ? platform::fromUtf8(title) : std::wstring(kMainWndTitle);
}

// Brings the window of a running instance to the front (also from
// minimised) without leaving it topmost; true when there was one.
bool RaiseRunningInstance(const std::wstring& title) {
    const platform::WindowHandle running = platform::findWindow(kMainWndClass, title);
    if (!running) return false;
    platform::showWindow(running, platform::SW_RESTORE);
    const unsigned flags = platform::SWP_NOMOVE | platform::SWP_NOSIZE;
    platform::setWindowPos(running, platform::HWND_TOPMOST, 0, 0, 0, 0, flags);
    platform::setWindowPos(running, platform::HWND_NOTOPMOST, 0, 0, 0, 0, flags);
    return true;
}

// Ends the process at once, jobs and all, with status 0.
[[noreturn]] void ExitProcess() {
    std::fflush(nullptr);
    std::_Exit(0);
}

} // namespace

int main(int argc, char** argv) {
    g_programDir = GetModuleDirectory();
    const std::wstring commandLine = JoinArguments(argc, argv);
    if (IsUpdateCommandLine(commandLine)) return RunUpdateMode(commandLine);

    // Held until the process ends; whether another instance holds it changes
    // nothing: a running instance is recognised by its window.
    CInstanceSemaphore instance;
    instance.Create(kInstanceSemaphoreName);
    const std::wstring title = MainWindowTitle();
    if (RaiseRunningInstance(title)) {
        instance.Close();
        return 0; // the log is not touched
    }

    // The path is set before any other thread exists, as the log requires.
    // Without a temporary folder of our own there is no log at all.
    if (const std::wstring temp = platform::tempFolder(); !temp.empty())
        g_log.SetLogFile(temp + kLogFileName, kLogFileCapKilobytes);
    g_log.WriteLog(QUELLAN_LOG_SOURCE, kVersionLogLine, L"当前版本：%s", kClientVersion);

    // Its result is not checked: a failed set-up shows as failed transfers.
    CHttpClient::GlobalInit();

    // The skin archive lives in the executable's read-only data for the whole
    // run, so the framework can be handed the bytes in place.
    const auto skin = platform::findResource(kSkinResourceType, kSkinResourceId);
    if (skin.empty()) {
        CHttpClient::GlobalCleanup();
        instance.Close();
        return 0;
    }
    CFormManagerUI::setSkinArchive(skin.data(), skin.size(), kSkinPassword);
    InstallMsgBoxWindow();

    // Never destroyed: the process ends while it still exists, as jobs may.
    auto* window = new CMainWnd;
    if (window->Create(title)) {
        window->centreOnOwner();
        window->runModal();
    }
    CHttpClient::GlobalCleanup();
    platform::removeFallbackTempFolders();
    ExitProcess();
}
