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
//
// Everything is per user: the semaphore's name carries the uid and is
// created 0600, and the lock files live in a folder that only this user can
// enter, so that no other account can block or fake our holders. The guard
// lock is taken without blocking, retried for a short while at most.
#include "platform/system/NamedSemaphore.h"

#include "platform/system/System.h"
#include "platform/system/Text.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace platform {
namespace {

// How long create and close wait for the guard lock before giving up.
constexpr auto kGuardWait = std::chrono::seconds(2);

std::string guardPath(const std::string& folder) { return folder + "sem.guard"; }

// The companion file of a POSIX name (which starts with "/").
std::string holdersPath(const std::string& folder, const std::string& posixName) {
    return folder + "sem." + posixName.substr(1) + ".holders";
}

int openPrivate(const std::string& path) {
    return ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
}

int lockRetrying(int fd, int op) {
    int rc;
    while ((rc = flock(fd, op)) != 0 && errno == EINTR) {}
    return rc;
}

// Holds an exclusive lock on the guard file for one create or close; gives up
// when the lock stays taken for kGuardWait.
class GuardLock {
public:
    explicit GuardLock(const std::string& folder) : m_fd(folder.empty() ? -1 : openPrivate(guardPath(folder))) {
        if (m_fd < 0) return;
        const auto giveUp = std::chrono::steady_clock::now() + kGuardWait;
        while (lockRetrying(m_fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK || std::chrono::steady_clock::now() >= giveUp) {
                ::close(m_fd);
                m_fd = -1;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ~GuardLock() {
        if (m_fd >= 0) ::close(m_fd); // closing releases the lock
    }
    GuardLock(const GuardLock&) = delete;
    GuardLock& operator=(const GuardLock&) = delete;
    bool held() const { return m_fd >= 0; }

private:
    int m_fd;
};

} // namespace

std::string NamedSemaphore::lockFolder() {
    struct stat st {};
    const bool shm = stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) && access("/dev/shm", W_OK) == 0;
    return toUtf8(userPrivateFolder(shm ? L"/dev/shm" : L"/tmp"));
}

std::string NamedSemaphore::posixName(std::string_view name) {
    // Letters, digits and "_-." pass; every other byte is written as %XX, so
    // different names never map to the same POSIX name.
    static const char kHex[] = "0123456789ABCDEF";
    std::string out = "/quellan-" + std::to_string(::getuid()) + ".";
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
    : m_sem(other.m_sem), m_holdFd(other.m_holdFd), m_posixName(std::move(other.m_posixName)),
      m_lockFolder(std::move(other.m_lockFolder)) {
    other.m_sem = nullptr;
    other.m_holdFd = -1;
}

NamedSemaphore& NamedSemaphore::operator=(NamedSemaphore&& other) noexcept {
    if (this != &other) {
        close();
        m_sem = other.m_sem;
        m_holdFd = other.m_holdFd;
        m_posixName = std::move(other.m_posixName);
        m_lockFolder = std::move(other.m_lockFolder);
        other.m_sem = nullptr;
        other.m_holdFd = -1;
    }
    return *this;
}

NamedSemaphore::Result NamedSemaphore::create(std::string_view name, unsigned initialCount) {
    close();
    const std::string posix = posixName(name);
    const std::string folder = lockFolder();
    GuardLock guard(folder);
    if (!guard.held()) return Result::Failed;
    const int holdFd = openPrivate(holdersPath(folder, posix));
    if (holdFd < 0) return Result::Failed;

    Result result;
    sem_t* sem;
    if (lockRetrying(holdFd, LOCK_EX | LOCK_NB) == 0) {
        // Nobody holds the name: any semaphore under it is left over from a
        // holder that died. Start a fresh one.
        sem_unlink(posix.c_str());
        sem = sem_open(posix.c_str(), O_CREAT | O_EXCL, 0600, initialCount);
        result = Result::Created;
    } else {
        sem = sem_open(posix.c_str(), O_CREAT, 0600, initialCount);
        result = Result::AlreadyExists;
    }
    if (sem == SEM_FAILED || lockRetrying(holdFd, LOCK_SH) != 0) {
        if (sem != SEM_FAILED) sem_close(sem);
        ::close(holdFd);
        return Result::Failed;
    }
    m_sem = sem;
    m_holdFd = holdFd;
    m_posixName = posix;
    m_lockFolder = folder;
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
    GuardLock guard(m_lockFolder);
    sem_close(m_sem);
    // Last holder (our shared lock is the only one left): remove the name.
    if (guard.held() && lockRetrying(m_holdFd, LOCK_EX | LOCK_NB) == 0) {
        sem_unlink(m_posixName.c_str());
        ::unlink(holdersPath(m_lockFolder, m_posixName).c_str());
    }
    ::close(m_holdFd);
    m_sem = nullptr;
    m_holdFd = -1;
    m_posixName.clear();
    m_lockFolder.clear();
}

} // namespace platform
