// File, folder and process helpers over the platform layer.
#include "util/FileHelpers.h"

#include "platform/system/Process.h"
#include "platform/system/System.h"
#include "platform/system/Text.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

bool isFolder(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

bool CreateDirectoryTree(const std::wstring& widePath) {
    // "\" separates as "/" does: paths here come from Windows-style data.
    std::wstring path(widePath);
    for (wchar_t& c : path)
        if (c == L'\\') c = L'/';
    if (path.empty()) return false;
    const std::string native = platform::toUtf8(path);
    if (isFolder(native)) return true;

    const size_t cut = path.find_last_of(L'/');
    if (cut == std::wstring::npos) return false;
    // The parent of "/x" is the root.
    const std::wstring parent = cut == 0 ? std::wstring(L"/") : path.substr(0, cut);
    if (!CreateDirectoryTree(parent)) return false;
    if (::mkdir(native.c_str(), 0777) == 0) return true;
    // Someone else may have made it just now; a file in the way is a failure.
    return errno == EEXIST && isFolder(native);
}

bool FileExists(const std::wstring& path) {
    if (path.empty()) return false;
    struct stat st {};
    return stat(platform::toUtf8(path).c_str(), &st) == 0;
}

std::wstring GetFileNamePart(std::wstring_view path) {
    const size_t cut = path.find_last_of(L"/\\");
    return std::wstring(cut == std::wstring_view::npos ? path : path.substr(cut + 1));
}

std::wstring GetDirectoryPart(std::wstring_view path) {
    const size_t cut = path.find_last_of(L"/\\");
    return std::wstring(cut == std::wstring_view::npos ? path : path.substr(0, cut));
}

std::wstring GetModuleDirectory() {
    const std::wstring exe = platform::executablePath();
    const size_t cut = exe.find_last_of(L'/');
    if (cut == std::wstring::npos) return L"./";
    return exe.substr(0, cut + 1);
}

std::string ReadFileToString(const std::wstring& path) {
    const int fd = ::open(platform::toUtf8(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        platform::debugOutput(path + L"文件打开失败\n");
        return {};
    }
    std::string text = ReadDescriptorToString(fd, path);
    ::close(fd);
    return text;
}

std::string ReadDescriptorToString(int fd, const std::wstring& name) {
    std::string text;
    try {
        // Read to the end rather than trusting the size: the file may grow or
        // be a pseudo-file whose size reads as 0.
        std::vector<char> chunk(1 << 16);
        for (;;) {
            const ssize_t n = ::read(fd, chunk.data(), chunk.size());
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                // What was read so far is not the file: a list cut short
                // would pass for a shorter list.
                platform::debugOutput(name + L"文件读写异常: " +
                                      platform::fromUtf8(std::generic_category().message(errno)) + L"\n");
                return {};
            }
            if (n == 0) break;
            text.append(chunk.data(), static_cast<size_t>(n));
        }
    } catch (...) {
        platform::debugOutput(name + L"文件读写异常\n");
        return {};
    }
    const size_t nul = text.find('\0');
    if (nul != std::string::npos) text.resize(nul);
    return text;
}

bool TerminateProcessByName(const std::wstring& name, bool all) {
    const auto processes = platform::listProcesses();
    if (!processes) return false;
    const int self = platform::currentProcessId();
    for (const auto& p : *processes) {
        if (p.pid == self || p.exeName != name) continue;
        auto process = platform::Process::open(p.pid);
        if (!process || !process->terminate()) continue;
        // Let it go before the caller touches its files. A process that does
        // not vanish in time is left to the system.
        process->waitForExit(2000);
        if (!all) break;
    }
    return true;
}

void CInstanceSemaphore::Create(const std::string& name) {
    const auto result = m_semaphore.create(name, 1);
    m_lastError = result == platform::NamedSemaphore::Result::AlreadyExists ? kErrorAlreadyExists : 0;
}
