// The accepted-serial state file.
#include "engine/ServiceState.h"

#include "engine/SignedAnswer.h"
#include "platform/system/System.h"

#include <json/json.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

std::string stateFolder() {
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state && state[0] == '/') return std::string(state) + "/quellan";
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return std::string(home) + "/.local/state/quellan";
    return {};
}

// Creates path and its missing parents, private to the user.
bool makeFolders(const std::string& path) {
    for (std::size_t at = 1; at <= path.size(); ++at) {
        if (at != path.size() && path[at] != '/') continue;
        const std::string part = path.substr(0, at);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// One decimal line of at most 18 digits; anything else reads as nothing.
std::int64_t readSerial(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return 0;
    char text[32];
    const ssize_t got = ::read(fd, text, sizeof text);
    ::close(fd);
    if (got <= 0) return 0;
    std::int64_t value = 0;
    ssize_t i = 0;
    for (; i < got && text[i] >= '0' && text[i] <= '9' && i < 18; ++i) value = value * 10 + (text[i] - '0');
    if (i == 0 || !(i == got || (text[i] == '\n' && i + 1 == got))) return 0;
    return value;
}

bool writeSerial(const std::string& path, std::int64_t serial) {
    const std::string temp = path + ".tmp-" + std::to_string(::getpid());
    ::unlink(temp.c_str());
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return false;
    const std::string line = std::to_string(serial) + "\n";
    bool ok = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size()) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) ::unlink(temp.c_str());
    return ok;
}

// An integer member that fits 64 bits; false for anything else.
bool integerMember(const Json::Value& root, const char* name, std::int64_t& out) {
    const Json::Value& value = root[name];
    // A number written with a fraction or an exponent is not an integer,
    // even when its value is whole.
    if ((value.type() != Json::intValue && value.type() != Json::uintValue) || !value.isInt64()) return false;
    out = value.asInt64();
    return true;
}

} // namespace

std::string SerialStatePath() {
    const std::string folder = stateFolder();
    const std::string id = AnswerKeyId();
    if (folder.empty() || id.empty()) return {};
    return folder + "/serial-" + id;
}

std::int64_t ReadAcceptedSerial() {
    const std::string path = SerialStatePath();
    return path.empty() ? 0 : readSerial(path);
}

bool AcceptConfigFreshness(const std::string& configText, std::int64_t now, std::string& reason) {
    Json::Value root;
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::int64_t serial = 0, expires = 0;
    try {
        if (!reader->parse(configText.data(), configText.data() + configText.size(), &root, nullptr) ||
            !root.isObject()) {
            reason = "configuration is not an object";
            return false;
        }
        if (!integerMember(root, "serial", serial) || !integerMember(root, "expires", expires)) {
            reason = "configuration has no integer serial and expires";
            return false;
        }
    } catch (const std::exception&) {
        reason = "configuration cannot be read";
        return false;
    }
    if (expires <= now) {
        reason = "configuration expired";
        return false;
    }
    const std::string path = SerialStatePath();
    if (path.empty()) return true; // nowhere to remember: freshness by expiry only
    const std::string folder = path.substr(0, path.rfind('/'));
    if (!makeFolders(folder)) {
        platform::debugOutput(L"无法创建状态目录");
        return true;
    }
    // Two installers at once: the read, the comparison and the write of one
    // must not interleave with the other's, or the lower serial could win.
    const std::string lockPath = path + ".lock";
    const int lock = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lock >= 0) ::flock(lock, LOCK_EX);
    const std::int64_t stored = readSerial(path);
    bool accepted = serial >= stored;
    if (!accepted)
        reason = "configuration serial " + std::to_string(serial) + " is older than " + std::to_string(stored);
    if (accepted && serial > stored && !writeSerial(path, serial)) platform::debugOutput(L"无法保存配置序号");
    if (lock >= 0) ::close(lock);
    return accepted;
}
