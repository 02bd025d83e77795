// Named semaphores over POSIX sem_open, with holder tracking through file
// locks so that the name lives exactly as long as someone holds it.
//
// A POSIX named semaphore outlives its processes until it is unlinked, while
// the program expects "already exists" only when another holder is alive.
// Each holder therefore keeps a shared flock on a companion file; create and
// close run under an exclusive flock on one guard file shared by all names.
// Whoever finds no other holder (an exclusive lock on the companion file
// succeeds) owns the name: at create time it replaces a stale semaphore, at
// close time it removes the semaphore and the companion file. The guard file
// itself stays: removing it could let two processes lock different files.
#include "platform/system/NamedSemaphore.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

// Folder for the companion files: beside the semaphores where possible, so
// both have the same (machine-wide) scope.
std::string lockFolder() {
    struct stat st {};
    if (stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) && access("/dev/shm", W_OK) == 0) return "/dev/shm/";
    return "/tmp/";
}

std::string guardPath() { return lockFolder() + "quellan-sem.guard"; }

// The companion file of a POSIX name (which starts with "/").
std::string holdersPath(const std::string& posixName) {
    return lockFolder() + "quellan-sem." + posixName.substr(1) + ".holders";
}

int openShared(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd >= 0) fchmod(fd, 0666); // open to every user, whatever the umask
    return fd;
}

int lockRetrying(int fd, int op) {
    int rc;
    while ((rc = flock(fd, op)) != 0 && errno == EINTR) {}
    return rc;
}

// Holds an exclusive lock on the guard file for one create or close.
class GuardLock {
public:
    explicit GuardLock(const std::string& path) : m_fd(openShared(path)) {
        if (m_fd >= 0 && lockRetrying(m_fd, LOCK_EX) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~GuardLock() {
        if (m_fd >= 0) ::close(m_fd); // closing releases the lock
    }
    bool held() const { return m_fd >= 0; }

private:
    int m_fd;
};

} // namespace

std::string NamedSemaphore::posixName(std::string_view name) {
    // Letters, digits and "_-." pass; every other byte is written as %XX, so
    // different names never map to the same POSIX name.
    static const char kHex[] = "0123456789ABCDEF";
    std::string out = "/";
    for (unsigned char c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                           c == '-' || c == '.';
        if (plain) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

NamedSemaphore::~NamedSemaphore() { close(); }

NamedSemaphore::NamedSemaphore(NamedSemaphore&& other) noexcept
    : m_sem(other.m_sem), m_holdFd(other.m_holdFd), m_posixName(std::move(other.m_posixName)) {
    other.m_sem = nullptr;
    other.m_holdFd = -1;
}

NamedSemaphore& NamedSemaphore::operator=(NamedSemaphore&& other) noexcept {
    if (this != &other) {
        close();
        m_sem = other.m_sem;
        m_holdFd = other.m_holdFd;
        m_posixName = std::move(other.m_posixName);
        other.m_sem = nullptr;
        other.m_holdFd = -1;
    }
    return *this;
}

NamedSemaphore::Result NamedSemaphore::create(std::string_view name, unsigned initialCount) {
    close();
    const std::string posix = posixName(name);
    // The companion files carry the name without its leading "/".
    GuardLock guard(guardPath());
    if (!guard.held()) return Result::Failed;
    const int holdFd = openShared(holdersPath(posix));
    if (holdFd < 0) return Result::Failed;

    const mode_t oldMask = umask(0);
    Result result;
    sem_t* sem;
    if (lockRetrying(holdFd, LOCK_EX | LOCK_NB) == 0) {
        // Nobody holds the name: any semaphore under it is left over from a
        // holder that died. Start a fresh one.
        sem_unlink(posix.c_str());
        sem = sem_open(posix.c_str(), O_CREAT | O_EXCL, 0666, initialCount);
        result = Result::Created;
    } else {
        sem = sem_open(posix.c_str(), O_CREAT, 0666, initialCount);
        result = Result::AlreadyExists;
    }
    umask(oldMask);
    if (sem == SEM_FAILED || lockRetrying(holdFd, LOCK_SH) != 0) {
        if (sem != SEM_FAILED) sem_close(sem);
        ::close(holdFd);
        return Result::Failed;
    }
    m_sem = sem;
    m_holdFd = holdFd;
    m_posixName = posix;
    return result;
}

bool NamedSemaphore::tryWait() {
    if (!m_sem) return false;
    int rc;
    while ((rc = sem_trywait(m_sem)) != 0 && errno == EINTR) {}
    return rc == 0;
}

bool NamedSemaphore::post() { return m_sem && sem_post(m_sem) == 0; }

void NamedSemaphore::close() {
    if (!m_sem) return;
    GuardLock guard(guardPath());
    sem_close(m_sem);
    // Last holder (our shared lock is the only one left): remove the name.
    if (guard.held() && lockRetrying(m_holdFd, LOCK_EX | LOCK_NB) == 0) {
        sem_unlink(m_posixName.c_str());
        ::unlink(holdersPath(m_posixName).c_str());
    }
    ::close(m_holdFd);
    m_sem = nullptr;
    m_holdFd = -1;
    m_posixName.clear();
}

} // namespace platform
