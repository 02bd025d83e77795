// Program entry (module main): chooses update or normal mode from the command
// line and starts the installer.
#include "app/RunModes.h"
#include "platform/system/Resources.h"
#include "platform/system/System.h"
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
    g_log.SetLogFile(platform::tempFolder() + kLogFileName, kLogFileCapKilobytes);
    WRITE_LOG(L"当前版本：%s", kClientVersion);

    // FIXME: initialise the HTTP library here (arrives with the HTTP client).

    // The skin archive lives in the executable's read-only data for the whole
    // run, so the framework can be handed the bytes in place.
    const auto skin = platform::findResource(kSkinResourceType, kSkinResourceId);
    if (skin.empty()) {
        instance.Close();
        return 0;
    }
    // FIXME: hand the archive to the framework, create the main window and run
    // its loop (arrive with the framework and the main window).
    instance.Close();
    return 0;
}
