// Finding a window of another process (the single-instance check): every
// top-level window is published as an abstract Unix socket named after the
// user, the display, its class and its title; a small server thread accepts commands from
// other processes of the same user and posts them to the UI thread.
//
// Protocol: one line per connection, answered with "ok\n" or "error\n":
//   "ping"                          the window exists
//   "show N"                        showWindow with SW_* command N
//   "zorder top|topmost|notopmost"  setWindowPos z-order change (activates)
//   "foreground"                    setForegroundWindow
#include "platform/window/WindowInternal.h"
#include "platform/system/Text.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cctype>
#include <cstring>

namespace platform {
namespace detail {

namespace {

constexpr int kIoTimeoutMs = 2000;

sockaddr_un abstractAddress(const std::string& name, socklen_t& length) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    // Abstract namespace: a leading zero byte, no file on disk.
    const std::size_t n = std::min(name.size(), sizeof(addr.sun_path) - 1);
    std::memcpy(addr.sun_path + 1, name.data(), n);
    length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + n);
    return addr;
}

bool waitFd(int fd, short events, int timeoutMs) {
    pollfd p{fd, events, 0};
    return ::poll(&p, 1, timeoutMs) == 1 && (p.revents & events);
}

// Reads one line (without the newline) of at most 127 bytes.
bool readLine(int fd, std::string& line) {
    line.clear();
    char ch = 0;
    while (line.size() < 128) {
        if (!waitFd(fd, POLLIN, kIoTimeoutMs)) return false;
        ssize_t n = ::read(fd, &ch, 1);
        if (n != 1) return false;
        if (ch == '\n') return true;
        line.push_back(ch);
    }
    return false;
}

bool writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        if (!waitFd(fd, POLLOUT, kIoTimeoutMs)) return false;
        ssize_t n = ::send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Parses a command line into (kind, argument); kind 0 = invalid.
// Kinds: 1 show, 2 zorder (0 top, 1 topmost, 2 notopmost), 3 foreground, 4 ping.
std::pair<int, int> parseCommand(const std::string& line) {
    if (line == "ping") return {4, 0};
    if (line == "foreground") return {3, 0};
    if (line == "zorder top") return {2, 0};
    if (line == "zorder topmost") return {2, 1};
    if (line == "zorder notopmost") return {2, 2};
    if (line.rfind("show ", 0) == 0 && line.size() >= 6 && line.size() <= 7) {
        int n = 0;
        for (std::size_t i = 5; i < line.size(); ++i) {
            if (line[i] < '0' || line[i] > '9') return {0, 0};
            n = n * 10 + (line[i] - '0');
        }
        if (n <= SW_RESTORE) return {1, n};
    }
    return {0, 0};
}

std::string withoutScreen(std::string display) {
    // ":1" and ":1.0" are the same X display.
    const std::size_t colon = display.rfind(':');
    const std::size_t dot = display.find('.', colon == std::string::npos ? 0 : colon);
    if (colon != std::string::npos && dot != std::string::npos) display.erase(dot);
    return display;
}

} // namespace

std::string displayKey() {
    const WindowBackend* backend = Core::get().backend();
    const char* chosen = std::getenv("QUELLAN_DISPLAY");
    // A process's virtual display is shared with nobody, but instances that
    // run on one (tests) still find each other.
    if (backend ? std::strcmp(backend->name(), "virtual") == 0 : (chosen && std::strcmp(chosen, "virtual") == 0))
        return "virtual";
    std::string key;
    if (const char* x = std::getenv("DISPLAY"); x && *x) key += "x11 " + withoutScreen(x);
    if (const char* wayland = std::getenv("WAYLAND_DISPLAY"); wayland && *wayland)
        key += std::string("\nwayland ") + wayland;
    return key; // empty: no display at all
}

std::string remoteSocketName(const std::wstring& cls, const std::wstring& title) {
    // Class names compare without regard to ASCII case, titles exactly.
    std::wstring key;
    for (wchar_t ch : cls) key.push_back(ch < 128 ? static_cast<wchar_t>(std::tolower(ch)) : ch);
    // The display is part of the name: a start on another display, or
    // without one, must not find (and raise) a window it cannot show.
    std::string bytes = displayKey() + '\n' + toUtf8(key) + '\n' + toUtf8(title);
    std::uint64_t hash = 14695981039346656037ull;
    for (unsigned char b : bytes) {
        hash ^= b;
        hash *= 1099511628211ull;
    }
    char name[64];
    std::snprintf(name, sizeof name, "quellan-window/%u/%016llx", static_cast<unsigned>(::getuid()),
                  static_cast<unsigned long long>(hash));
    return name;
}

struct Core::ServerState {
    std::mutex mutex;
    std::thread thread;
    int wakeFd = -1;
    std::unordered_map<WindowHandle, int> listeners; // window → listening socket

    void run();
    void serveClient(int fd, WindowHandle window);
};

Core::~Core() = default;

void Core::ServerState::run() {
    for (;;) {
        std::vector<pollfd> fds;
        std::vector<WindowHandle> owners;
        fds.push_back({wakeFd, POLLIN, 0});
        {
            std::lock_guard lock(mutex);
            for (auto& [window, fd] : listeners) {
                fds.push_back({fd, POLLIN, 0});
                owners.push_back(window);
            }
        }
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[0].revents & POLLIN) {
            std::uint64_t count = 0;
            [[maybe_unused]] ssize_t n = ::read(wakeFd, &count, sizeof count);
        }
        for (std::size_t i = 1; i < fds.size(); ++i) {
            if (!(fds[i].revents & POLLIN)) continue;
            int client = -1;
            {
                // The UI thread closes listeners under this lock; a descriptor
                // that is no longer the window's (closed, perhaps reused) is skipped.
                std::lock_guard lock(mutex);
                auto it = listeners.find(owners[i - 1]);
                if (it == listeners.end() || it->second != fds[i].fd) continue;
                client = ::accept4(fds[i].fd, nullptr, nullptr, SOCK_CLOEXEC);
            }
            if (client < 0) continue;
            serveClient(client, owners[i - 1]);
            ::close(client);
        }
    }
}

void Core::ServerState::serveClient(int fd, WindowHandle window) {
    // Only processes of the same user may steer our windows.
    ucred cred{};
    socklen_t len = sizeof cred;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0 || cred.uid != ::getuid()) return;
    std::string line;
    if (!readLine(fd, line)) return;
    auto [kind, arg] = parseCommand(line);
    bool ok = kind != 0 && isWindow(window);
    if (ok && kind != 4) ok = postMessage(window, kRemoteCommandMessage, static_cast<WParam>(kind), arg);
    writeAll(fd, ok ? "ok\n" : "error\n");
}

bool Core::isRemote(WindowHandle h) {
    if (!h) return false;
    std::lock_guard lock(m_queueMutex);
    return m_remote.count(h) != 0;
}

void Core::serveWindow(WindowData& w) {
    if (w.isChild() || w.destroying) return;
    unserveWindow(w.handle);
    if (!m_server) {
        int wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (wakeFd < 0) return;
        m_server = new ServerState;
        m_server->wakeFd = wakeFd;
        m_server->thread = std::thread([s = m_server] { s->run(); });
        m_server->thread.detach();
    }
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return;
    socklen_t len = 0;
    sockaddr_un addr = abstractAddress(remoteSocketName(w.cls.name, w.text), len);
    // A name already taken belongs to an earlier window (here or in another
    // process); that one stays the one others find.
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0 || ::listen(fd, 8) != 0) {
        ::close(fd);
        return;
    }
    {
        std::lock_guard lock(m_server->mutex);
        m_server->listeners[w.handle] = fd;
    }
    std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(m_server->wakeFd, &one, sizeof one);
}

void Core::unserveWindow(WindowHandle h) {
    if (!m_server) return;
    {
        std::lock_guard lock(m_server->mutex);
        auto it = m_server->listeners.find(h);
        if (it == m_server->listeners.end()) return;
        // Closed at once so that the name is free again for a new window.
        ::close(it->second);
        m_server->listeners.erase(it);
    }
    std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(m_server->wakeFd, &one, sizeof one);
}

namespace {

bool sendCommand(const std::string& socketName, const std::string& command) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    socklen_t len = 0;
    sockaddr_un addr = abstractAddress(socketName, len);
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), len) == 0;
    // Abstract names can be taken by anyone: a window of ours is served only
    // by a process of ours, so another account cannot pose as a running
    // instance (and keep the program from starting).
    ucred cred{};
    socklen_t credLength = sizeof cred;
    ok = ok && ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &credLength) == 0 && cred.uid == ::getuid();
    ok = ok && writeAll(fd, command + "\n");
    std::string reply;
    ok = ok && readLine(fd, reply) && reply == "ok";
    ::close(fd);
    return ok;
}

} // namespace

bool Core::remoteCommand(WindowHandle h, const std::string& command) {
    std::string name;
    {
        std::lock_guard lock(m_queueMutex);
        auto it = m_remote.find(h);
        if (it == m_remote.end()) return false;
        name = it->second.socketName;
    }
    return sendCommand(name, command);
}

WindowHandle Core::findRemote(const std::wstring& cls, const std::wstring& title) {
    std::string name = remoteSocketName(cls, title);
    if (!sendCommand(name, "ping")) return nullptr;
    std::lock_guard lock(m_queueMutex);
    for (auto& [h, remote] : m_remote)
        if (remote.socketName == name) return h;
    WindowHandle h = reinterpret_cast<WindowHandle>(m_nextHandle);
    m_nextHandle += 16;
    m_remote[h] = RemoteWindow{name};
    return h;
}

void Core::handleRemoteCommand(WindowHandle h, WParam command, LParam arg) {
    if (!findLive(h)) return;
    switch (command) {
    case 1:
        showWindow(h, static_cast<int>(arg));
        break;
    case 2: {
        WindowHandle after = arg == 1 ? HWND_TOPMOST : arg == 2 ? HWND_NOTOPMOST : HWND_TOP;
        setWindowPos(h, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        break;
    }
    case 3:
        setForegroundWindow(h);
        break;
    default:
        break;
    }
}

} // namespace detail

WindowHandle findWindow(std::wstring_view className, std::wstring_view title) {
    detail::assertUiThread();
    using detail::Core;
    Core& c = Core::get();
    WindowClass cls;
    const bool known = windowClassInfo(className, &cls);
    for (WindowHandle h : c.m_zorder) {
        detail::WindowData* d = c.findLive(h);
        if (d && known && d->cls.name == cls.name && d->text == title) return h;
    }
    return c.findRemote(std::wstring(className), std::wstring(title));
}

} // namespace platform
