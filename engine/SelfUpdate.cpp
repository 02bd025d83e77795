// The self-update job.
#include "engine/SelfUpdate.h"

#include "engine/CancelFlag.h"
#include "engine/EngineEvents.h"
#include "engine/HttpClient.h"
#include "engine/PointerArg.h"
#include "engine/ServiceConfig.h"
#include "engine/SignedAnswer.h"
#include "platform/system/System.h"
#include "platform/system/Text.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <memory>
#include <string_view>
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

namespace {

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
    }
    return true;
}

// The program is started only when its bytes are the ones the signed answer
// names; the download's file is private to this user, so what is checked is
// what runs.
bool holdsProgram(const std::wstring& path, const std::string& expectedSha256) {
    return HexDigestMatches(Sha256File(path), expectedSha256);
}

} // namespace

std::wstring RunSelfUpdate(const std::string& address, const std::string& expectedSha256,
                           const std::wstring& runningProgram, IEngineEvents& sink) {
    CJobEvents events(sink);
    const std::uint32_t tick = platform::tickCount();
    const std::wstring folder = platform::tempFolder();
    std::wstring updateFile = folder.empty() ? std::wstring() : UpdateFilePath(folder, tick);

    // Without a digest nothing could tell the program from another; and a
    // service reached over TLS does not send its program over plain text.
    const bool acceptable = expectedSha256.size() == 64 &&
                            (!startsWithNoCase(g_serviceBase, "https://") || startsWithNoCase(address, "https://"));
    // The download removes whatever sits at the name and writes a file it
    // creates exclusively; its result, not the file's existence, says
    // whether we hold the program we asked for.
    bool started = false;
    if (acceptable && !updateFile.empty() &&
        HttpDownloadFile(address, updateFile, /*overwrite=*/true, kMaxUpdateBytes) && !JobCancelled()) {
        if (holdsProgram(updateFile, expectedSha256)) {
            ::chmod(platform::toUtf8(updateFile).c_str(), 0700);
            // The new program runs from the temporary folder after we end.
            platform::keepFallbackTempFolders();
            started = platform::startDetached(updateFile, {UpdateParameters(runningProgram)});
        } else {
            platform::debugOutput(L"更新文件摘要不符");
            ::unlink(platform::toUtf8(updateFile).c_str());
        }
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

void ThreadSelfUpdate(std::uintptr_t request) {
    const std::unique_ptr<SelfUpdateRequest> update = TakeOwnedArg<SelfUpdateRequest>(request);
    RunSelfUpdate(update ? update->address : std::string(), update ? update->sha256 : std::string(),
                  platform::executablePath(), EngineEvents());
}
