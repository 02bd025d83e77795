// One installer per installation folder: two at once would rename each
// other's half-written parts into place.
#pragma once

#include <string>

// The name of the lock file kept in the installation folder.
inline constexpr const char* kFolderLockName = ".quellan-lock";

// An exclusive lock (flock) on <folder>/.quellan-lock, held from Acquire
// until Release or destruction; it also ends with the process, so a killed
// installer never leaves the folder locked. Locks of two objects conflict
// even within one process.
class CFolderLock {
public:
    CFolderLock() = default;
    ~CFolderLock() { Release(); }
    CFolderLock(const CFolderLock&) = delete;
    CFolderLock& operator=(const CFolderLock&) = delete;

    // Creates the folder when it is missing and takes the lock without
    // waiting. False when another installer holds it or the lock file cannot
    // be made (the folder cannot be written, the name is a link). Taking it
    // again releases the lock held before.
    bool Acquire(const std::wstring& folder);
    void Release();
    bool Held() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

// What the user is told when another installer holds the folder.
inline constexpr const wchar_t* kFolderInUseText = L"该文件夹正在被另一个安装程序使用！";
