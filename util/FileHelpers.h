// File, folder and process helpers shared by the installer: paths split at
// "/" or "\", folder trees, whole-file reading, ending processes by name and
// the single-instance semaphore.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/system/NamedSemaphore.h"

// Makes sure the folder path exists, creating missing parents. "\" counts as
// a separator like "/". True when the folder exists afterwards (also when
// another thread or process created it at the same moment); false when a
// relative path has no parent, or a file is in the way.
bool CreateDirectoryTree(const std::wstring& path);

// True when something (file or folder) exists at path; false for empty path.
[[nodiscard]] bool FileExists(const std::wstring& path);

// The text after the last "/" or "\" (empty when path ends in one); the whole
// text when there is none.
std::wstring GetFileNamePart(std::wstring_view path);
// The text before the last "/" or "\"; the whole text when there is none.
std::wstring GetDirectoryPart(std::wstring_view path);

// The folder of the running executable, ending in "/".
std::wstring GetModuleDirectory();

// The file's content up to its first zero byte (files read here are text).
// Empty, with a debugger-output line saying why, when the file cannot be
// opened or a read fails part-way: a partial text is never returned.
[[nodiscard]] std::string ReadFileToString(const std::wstring& path);
// The same for a descriptor open for reading, read from where it stands to
// its end (the caller keeps and closes it); name only labels the message.
[[nodiscard]] std::string ReadDescriptorToString(int fd, const std::wstring& name);

// Ends running processes whose executable file name equals name exactly
// (case-sensitive; no folder). With all false it stops after the first one
// ended. Our own process is never ended. False only when the process list
// cannot be read; processes that cannot be opened are skipped.
bool TerminateProcessByName(const std::wstring& name, bool all);

// The named semaphore that marks a running instance of the program.
class CInstanceSemaphore {
public:
    CInstanceSemaphore() = default;
    ~CInstanceSemaphore() { Close(); }
    CInstanceSemaphore(const CInstanceSemaphore&) = delete;
    CInstanceSemaphore& operator=(const CInstanceSemaphore&) = delete;

    // Creates the semaphore (count 1, maximum 1) or opens the existing one;
    // records whether it existed.
    void Create(const std::string& name);
    // True when Create found the semaphore already held by someone.
    bool AlreadyExists() const { return m_lastError == kErrorAlreadyExists; }
    bool IsOpen() const { return m_semaphore.isOpen(); }
    // Closes the handle if there is one and forgets it.
    void Close() { m_semaphore.close(); }

private:
    static constexpr std::uint32_t kErrorAlreadyExists = 183;
    std::uint32_t m_lastError = 0;
    platform::NamedSemaphore m_semaphore;
};
