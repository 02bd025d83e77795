// The self-update job.
#include "engine/SelfUpdate.h"

#include "engine/CancelFlag.h"
#include "engine/EngineEvents.h"
#include "engine/HttpClient.h"
#include "platform/system/System.h"
#include "platform/system/Text.h"

#include <sys/stat.h>

#include <memory>
#include <mutex>

namespace {
std::mutex g_closeLock;
std::function<void()> g_closeHandler;
} // namespace

void SetCloseRequestHandler(std::function<void()> handler) {
    std::lock_guard lock(g_closeLock);
    g_closeHandler = std::move(handler);
}

std::wstring UpdateFilePath(const std::wstring& tempFolder, std::uint32_t tick) {
    std::wstring path = tempFolder;
    if (!path.empty() && path.back() != L'/') path += L'/';
    return path + L"temp_update_" + std::to_wstring(tick);
}

std::wstring UpdateParameters(const std::wstring& target) { return L"update '" + target + L"'"; }

std::wstring RunSelfUpdate(const std::string& address, const std::wstring& runningProgram, IEngineEvents& sink) {
    CJobEvents events(sink);
    const std::uint32_t tick = platform::tickCount();
    const std::wstring folder = platform::tempFolder();
    const std::wstring updateFile = folder.empty() ? std::wstring() : UpdateFilePath(folder, tick);

    // The download removes whatever sits at the name and writes a file it
    // creates exclusively; its result, not the file's existence, says
    // whether we hold the program we asked for.
    bool started = false;
    if (!updateFile.empty() && HttpDownloadFile(address, updateFile, /*overwrite=*/true) && !JobCancelled()) {
        ::chmod(platform::toUtf8(updateFile).c_str(), 0700);
        started = platform::startDetached(updateFile, {UpdateParameters(runningProgram)});
    }
    if (!started) {
        events.OnSelfUpdateFailed(0, 0);
        return updateFile;
    }
    PublishUnlessCancelled([] {
        std::function<void()> close;
        {
            std::lock_guard lock(g_closeLock);
            close = g_closeHandler;
        }
        if (close) close();
    });
    return updateFile;
}

void ThreadSelfUpdate(std::uintptr_t address) {
    std::unique_ptr<std::string> text(reinterpret_cast<std::string*>(address));
    RunSelfUpdate(text ? *text : std::string(), platform::executablePath(), EngineEvents());
}
