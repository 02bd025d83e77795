// A named semaphore of this user that can tell whether it existed before.
#pragma once

#include <semaphore.h>

#include <string>
#include <string_view>

namespace platform {

// A named semaphore shared by every process of this user (and of no other
// user: another account can neither open it nor hold up our start by taking
// its locks). Like its Windows model it lives while any process holds it:
// the last holder to close it removes the name, and a holder that crashed
// does not keep the name alive. The name may contain any characters
// ("Global\_ONCE_RUN_..."); it is mapped to a valid POSIX name.
// Creating never waits for long: when its lock stays taken (another process
// of ours stuck in create or close) it gives up with Failed.
//
// One object is one handle; not thread-safe, owned by one thread. Move-only.
class NamedSemaphore {
public:
    enum class Result { Created, AlreadyExists, Failed };

    NamedSemaphore() = default;
    ~NamedSemaphore();
    NamedSemaphore(NamedSemaphore&& other) noexcept;
    NamedSemaphore& operator=(NamedSemaphore&& other) noexcept;
    NamedSemaphore(const NamedSemaphore&) = delete;
    NamedSemaphore& operator=(const NamedSemaphore&) = delete;

    // Creates the semaphore with initialCount, or opens it when some holder
    // (in this or another process) has it already; then the count is not
    // touched. Closes a previously held one first.
    Result create(std::string_view name, unsigned initialCount);
    bool isOpen() const { return m_sem != nullptr; }
    // Decrements without waiting; false when the count is 0.
    bool tryWait();
    // Increments the count.
    bool post();
    void close();

    // The POSIX name that name maps to for this user (starts with "/", no
    // other "/").
    static std::string posixName(std::string_view name);
    // The folder of the lock files (/dev/shm/quellan-<uid>/, or the same in
    // /tmp without /dev/shm), or empty when it is not a folder only we can
    // enter; then create fails.
    static std::string lockFolder();

private:
    sem_t* m_sem = nullptr;
    int m_holdFd = -1;
    std::string m_posixName;
    std::string m_lockFolder;
};

} // namespace platform
