// Test support: files and folders that nobody may change, not even root, for
// checks that must see "not writable" while the tests run as root (where the
// mode bits do not count): the immutable attribute, or, where that is not
// allowed (a user namespace), a read-only bind mount of the path onto itself.
#pragma once

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <filesystem>

namespace testsupport {

// Sets or clears the immutable attribute. False when the file system or our
// rights do not allow it.
inline bool makeImmutable(const std::filesystem::path& path, bool on) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    ok = ok && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    ::close(fd);
    return ok;
}

// Makes path unchangeable for the lifetime of the object; active() tells
// whether that worked (the caller skips what needs it otherwise).
class ScopedImmutable {
public:
    explicit ScopedImmutable(std::filesystem::path path) : m_path(std::move(path)) {
        if (makeImmutable(m_path, true)) {
            m_how = How::Attribute;
        } else if (::mount(m_path.c_str(), m_path.c_str(), nullptr, MS_BIND, nullptr) == 0) {
            if (::mount(nullptr, m_path.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) == 0)
                m_how = How::ReadOnlyMount;
            else
                ::umount2(m_path.c_str(), MNT_DETACH);
        }
    }
    ~ScopedImmutable() {
        if (m_how == How::Attribute) makeImmutable(m_path, false);
        if (m_how == How::ReadOnlyMount) ::umount2(m_path.c_str(), MNT_DETACH);
    }
    ScopedImmutable(const ScopedImmutable&) = delete;
    ScopedImmutable& operator=(const ScopedImmutable&) = delete;
    bool active() const { return m_how != How::None; }

private:
    enum class How { None, Attribute, ReadOnlyMount };
    std::filesystem::path m_path;
    How m_how = How::None;
};

} // namespace testsupport
