// The installation folder lock.
#include "engine/FolderLock.h"

#include "engine/HttpClient.h"
#include "platform/system/Text.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

bool CFolderLock::Acquire(const std::wstring& folder) {
    Release();
    if (folder.empty() || !CreateMultiDirectory(folder)) return false;
    std::string path = platform::toUtf8(folder);
    if (path.back() != '/') path += '/';
    path += kFolderLockName;
    // Never through a link: the lock file is ours, in this folder.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) return false;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    return true;
}

void CFolderLock::Release() {
    if (m_fd < 0) return;
    ::close(m_fd); // closing the last descriptor drops the lock
    m_fd = -1;
}
