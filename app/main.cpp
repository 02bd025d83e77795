// Program entry (module main): chooses update or normal mode from the command
// line and starts the installer.
#include "app/RunModes.h"
#include "engine/HttpClient.h"
#include "platform/system/Resources.h"
#include "platform/system/System.h"
#include "ui/core/FormManagerUI.h"
#include "util/FileHelpers.h"
#include "util/LogFile.h"

int main(int argc, char** argv) {
    g_programDir = GetModuleDirectory();
    const std::wstring commandLine = JoinArguments(argc, argv);
    if (IsUpdateCommandLine(commandLine)) return RunUpdateMode(commandLine);

    // Held until we return; whether another instance holds it changes nothing:
    // a running instance is recognised by its window.
    CInstanceSemaphore instance;
    instance.Create(kInstanceSemaphoreName);
    // FIXME: bring a running instance's main window to the front and return
    // (needs the window host).

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
    // FIXME: create the main window and run its loop (arrives with the main
    // window).

    CHttpClient::GlobalCleanup();
    instance.Close();
    return 0;
}
