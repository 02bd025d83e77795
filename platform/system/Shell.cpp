// Opening addresses through xdg-open, and the folder chooser: the desktop's
// file-chooser portal over D-Bus (libdbus), else zenity, else kdialog.
#include "platform/system/Shell.h"

#include "platform/system/System.h"
#include "platform/system/Text.h"

#include <dbus/dbus.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace platform {
namespace {

// An executable file of that name in a folder of $PATH (then the usual
// system folders), or empty.
std::string findProgram(const std::string& name) {
    std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    if (path.empty()) path = "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(':', start);
        if (end == std::string::npos) end = path.size();
        const std::string dir = path.substr(start, end - start);
        if (!dir.empty()) {
            std::string candidate = dir;
            candidate += '/';
            candidate += name;
            struct stat st {};
            if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(candidate.c_str(), X_OK) == 0)
                return candidate;
        }
        start = end + 1;
    }
    return {};
}

bool hasDisplay() {
    for (const char* var : {"DISPLAY", "WAYLAND_DISPLAY"})
        if (const char* v = std::getenv(var); v && *v) return true;
    return false;
}

struct RunResult {
    int exitCode = -1; // -1: did not end normally
    std::string out;
};

// Runs program with args, stdin and stderr on /dev/null, and collects what it
// writes to stdout until it ends. Nothing when it cannot be started.
std::optional<RunResult> runAndCapture(const std::string& program, const std::vector<std::string>& args,
                                       const std::function<void()>& whileWaiting) {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) return std::nullopt;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);

    std::vector<std::string> store{program};
    store.insert(store.end(), args.begin(), args.end());
    std::vector<char*> argv;
    argv.reserve(store.size() + 1);
    for (std::string& a : store) argv.push_back(a.data());
    argv.push_back(nullptr);

    pid_t pid = 0;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (rc != 0) {
        ::close(pipeFds[0]);
        return std::nullopt;
    }

    RunResult result;
    char buf[4096];
    for (;;) {
        pollfd p{pipeFds[0], POLLIN, 0};
        const int ready = poll(&p, 1, 50);
        if (ready < 0 && errno != EINTR) break;
        if (ready > 0) {
            const ssize_t n = read(pipeFds[0], buf, sizeof buf);
            if (n == 0) break;
            if (n > 0) result.out.append(buf, static_cast<size_t>(n));
            if (n < 0 && errno != EINTR && errno != EAGAIN) break;
        } else if (whileWaiting) {
            whileWaiting();
        }
    }
    ::close(pipeFds[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

// The first line a chooser printed, as an absolute folder path.
std::optional<std::wstring> folderFromOutput(const std::string& out) {
    std::string line = out.substr(0, out.find('\n'));
    if (line.empty() || line.front() != '/') return std::nullopt;
    while (line.size() > 1 && line.back() == '/') line.pop_back();
    return fromUtf8(line);
}

// zenity and kdialog: exit 0 with the folder on stdout, 1 when cancelled;
// anything else is a failure of the chooser itself.
std::optional<FolderChooserResult> runDialogProgram(const std::string& name, const std::vector<std::string>& args,
                                                    const std::function<void()>& whileWaiting) {
    if (!hasDisplay()) return std::nullopt;
    const std::string program = findProgram(name);
    if (program.empty()) return std::nullopt;
    const auto run = runAndCapture(program, args, whileWaiting);
    if (!run) return std::nullopt;
    if (run->exitCode == 1) return FolderChooserResult{FolderChoice::Cancelled, {}};
    if (run->exitCode != 0) return std::nullopt;
    const auto folder = folderFromOutput(run->out);
    if (!folder) return std::nullopt;
    return FolderChooserResult{FolderChoice::Chosen, *folder};
}

// --- Portal ---

constexpr char kPortalName[] = "org.freedesktop.portal.Desktop";
constexpr char kPortalPath[] = "/org/freedesktop/portal/desktop";
constexpr char kFileChooser[] = "org.freedesktop.portal.FileChooser";
constexpr char kRequest[] = "org.freedesktop.portal.Request";

struct ConnectionCloser {
    void operator()(DBusConnection* c) const {
        dbus_connection_close(c);
        dbus_connection_unref(c);
    }
};
using Connection = std::unique_ptr<DBusConnection, ConnectionCloser>;
struct MessageUnref {
    void operator()(DBusMessage* m) const { dbus_message_unref(m); }
};
using Message = std::unique_ptr<DBusMessage, MessageUnref>;

// A private connection to the session bus, never started on demand (no
// autolaunch): the address from the environment, else the user's bus socket.
Connection openSessionBus() {
    std::string address;
    if (const char* env = std::getenv("DBUS_SESSION_BUS_ADDRESS"); env && *env) {
        address = env;
    } else if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
        const std::string socket = std::string(runtime) + "/bus";
        struct stat st {};
        if (stat(socket.c_str(), &st) == 0 && S_ISSOCK(st.st_mode)) address = "unix:path=" + socket;
    }
    if (address.empty()) return nullptr;
    DBusError error;
    dbus_error_init(&error);
    Connection connection(dbus_connection_open_private(address.c_str(), &error));
    if (!connection) {
        dbus_error_free(&error);
        return nullptr;
    }
    dbus_connection_set_exit_on_disconnect(connection.get(), FALSE);
    if (!dbus_bus_register(connection.get(), &error)) {
        dbus_error_free(&error);
        return nullptr;
    }
    return connection;
}

void appendOption(DBusMessageIter* dict, const char* key, int type, const void* value) {
    DBusMessageIter entry, variant;
    const char signature[2] = {static_cast<char>(type), '\0'};
    dbus_message_iter_open_container(dict, DBUS_TYPE_DICT_ENTRY, nullptr, &entry);
    dbus_message_iter_append_basic(&entry, DBUS_TYPE_STRING, &key);
    dbus_message_iter_open_container(&entry, DBUS_TYPE_VARIANT, signature, &variant);
    dbus_message_iter_append_basic(&variant, type, value);
    dbus_message_iter_close_container(&entry, &variant);
    dbus_message_iter_close_container(dict, &entry);
}

// The first entry of "uris" in the Response's results, or empty.
std::string firstUri(DBusMessageIter* results) {
    if (dbus_message_iter_get_arg_type(results) != DBUS_TYPE_ARRAY) return {};
    DBusMessageIter dict;
    dbus_message_iter_recurse(results, &dict);
    for (; dbus_message_iter_get_arg_type(&dict) == DBUS_TYPE_DICT_ENTRY; dbus_message_iter_next(&dict)) {
        DBusMessageIter entry, variant, list;
        dbus_message_iter_recurse(&dict, &entry);
        const char* key = nullptr;
        if (dbus_message_iter_get_arg_type(&entry) != DBUS_TYPE_STRING) continue;
        dbus_message_iter_get_basic(&entry, &key);
        if (std::string_view(key) != "uris" || !dbus_message_iter_next(&entry) ||
            dbus_message_iter_get_arg_type(&entry) != DBUS_TYPE_VARIANT)
            continue;
        dbus_message_iter_recurse(&entry, &variant);
        if (dbus_message_iter_get_arg_type(&variant) != DBUS_TYPE_ARRAY) return {};
        dbus_message_iter_recurse(&variant, &list);
        if (dbus_message_iter_get_arg_type(&list) != DBUS_TYPE_STRING) return {};
        const char* uri = nullptr;
        dbus_message_iter_get_basic(&list, &uri);
        return uri ? uri : "";
    }
    return {};
}

std::optional<FolderChooserResult> runPortal(std::wstring_view title, const std::function<void()>& whileWaiting) {
    Connection bus = openSessionBus();
    if (!bus) return std::nullopt;
    DBusConnection* c = bus.get();

    static std::atomic<unsigned> counter{0};
    const std::string token = "quellan" + std::to_string(getpid()) + "_" + std::to_string(++counter);
    std::vector<std::string> requestPaths{detail::portalRequestPath(dbus_bus_get_unique_name(c), token)};
    // Listen before asking, so that an answer cannot come before the match.
    auto listen = [&](const std::string& path) {
        const std::string rule =
            "type='signal',interface='" + std::string(kRequest) + "',member='Response',path='" + path + "'";
        DBusError error;
        dbus_error_init(&error);
        dbus_bus_add_match(c, rule.c_str(), &error);
        const bool ok = !dbus_error_is_set(&error);
        dbus_error_free(&error);
        return ok;
    };
    if (!listen(requestPaths.front())) return std::nullopt;

    Message call(dbus_message_new_method_call(kPortalName, kPortalPath, kFileChooser, "OpenFile"));
    if (!call) return std::nullopt;
    const std::string parent;
    const std::string titleText = toUtf8(title);
    const char* parentArg = parent.c_str();
    const char* titleArg = titleText.c_str();
    DBusMessageIter args, dict;
    dbus_message_iter_init_append(call.get(), &args);
    dbus_message_iter_append_basic(&args, DBUS_TYPE_STRING, &parentArg);
    dbus_message_iter_append_basic(&args, DBUS_TYPE_STRING, &titleArg);
    dbus_message_iter_open_container(&args, DBUS_TYPE_ARRAY, "{sv}", &dict);
    const char* tokenArg = token.c_str();
    const dbus_bool_t yes = TRUE;
    appendOption(&dict, "handle_token", DBUS_TYPE_STRING, &tokenArg);
    appendOption(&dict, "directory", DBUS_TYPE_BOOLEAN, &yes);
    appendOption(&dict, "modal", DBUS_TYPE_BOOLEAN, &yes);
    dbus_message_iter_close_container(&args, &dict);

    dbus_uint32_t serial = 0;
    if (!dbus_connection_send(c, call.get(), &serial)) return std::nullopt;
    dbus_connection_flush(c);

    // The method returns the request object at once; the answer comes later
    // as its Response signal, when the user has closed the dialog.
    for (;;) {
        if (!dbus_connection_read_write(c, 50)) return std::nullopt; // disconnected
        bool idle = true;
        while (Message m{dbus_connection_pop_message(c)}) {
            idle = false;
            DBusMessage* msg = m.get();
            const int type = dbus_message_get_type(msg);
            if ((type == DBUS_MESSAGE_TYPE_METHOD_RETURN || type == DBUS_MESSAGE_TYPE_ERROR) &&
                dbus_message_get_reply_serial(msg) == serial) {
                if (type == DBUS_MESSAGE_TYPE_ERROR) return std::nullopt; // no portal or no chooser behind it
                const char* handle = nullptr;
                DBusError error;
                dbus_error_init(&error);
                if (!dbus_message_get_args(msg, &error, DBUS_TYPE_OBJECT_PATH, &handle, DBUS_TYPE_INVALID)) {
                    dbus_error_free(&error);
                    return std::nullopt;
                }
                // Older portals name the request object in their own way.
                if (handle && handle != requestPaths.front()) {
                    requestPaths.push_back(handle);
                    if (!listen(handle)) return std::nullopt;
                }
                continue;
            }
            if (!dbus_message_is_signal(msg, kRequest, "Response")) continue;
            const char* path = dbus_message_get_path(msg);
            if (!path || std::find(requestPaths.begin(), requestPaths.end(), path) == requestPaths.end()) continue;
            DBusMessageIter it;
            dbus_uint32_t response = 2;
            if (!dbus_message_iter_init(msg, &it) || dbus_message_iter_get_arg_type(&it) != DBUS_TYPE_UINT32)
                return std::nullopt;
            dbus_message_iter_get_basic(&it, &response);
            if (response == 1) return FolderChooserResult{FolderChoice::Cancelled, {}};
            if (response != 0 || !dbus_message_iter_next(&it)) return std::nullopt;
            std::string folder = detail::pathFromFileUri(firstUri(&it));
            if (folder.empty()) return std::nullopt;
            while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
            return FolderChooserResult{FolderChoice::Chosen, fromUtf8(folder)};
        }
        if (idle && whileWaiting) whileWaiting();
    }
}

} // namespace

namespace detail {

std::string pathFromFileUri(std::string_view uri) {
    constexpr std::string_view kScheme = "file://";
    if (uri.substr(0, kScheme.size()) != kScheme) return {};
    uri.remove_prefix(kScheme.size());
    const size_t slash = uri.find('/');
    if (slash == std::string_view::npos) return {};
    const std::string_view host = uri.substr(0, slash);
    if (!host.empty() && host != "localhost") return {};
    std::string path;
    for (size_t i = slash; i < uri.size(); ++i) {
        if (uri[i] == '%') {
            const int hi = i + 2 < uri.size() ? hexDigitValue(uri[i + 1]) : -1;
            const int lo = hi >= 0 ? hexDigitValue(uri[i + 2]) : -1;
            if (lo < 0) return {};
            const char c = static_cast<char>(hi * 16 + lo);
            if (c == '\0') return {};
            path += c;
            i += 2;
        } else if (uri[i] == '?' || uri[i] == '#') {
            break;
        } else {
            path += uri[i];
        }
    }
    return path;
}

std::string portalRequestPath(std::string_view uniqueName, std::string_view token) {
    std::string sender(uniqueName.substr(!uniqueName.empty() && uniqueName.front() == ':' ? 1 : 0));
    for (char& ch : sender)
        if (ch == '.') ch = '_';
    return std::string(kPortalPath) + "/request/" + sender + "/" + std::string(token);
}

} // namespace detail

bool openUrl(std::wstring_view url) {
    const std::string opener = findProgram("xdg-open");
    if (opener.empty() || url.empty()) return false;
    return startDetached(fromUtf8(opener), {std::wstring(url)});
}

FolderChooserResult chooseFolder(std::wstring_view title, const std::function<void()>& whileWaiting,
                                 FolderChooser* usedChooser) {
    const std::string titleText = toUtf8(title);
    const char* home = std::getenv("HOME");
    // Both dialogs open in the home folder.
    std::string start = home && *home ? home : "";
    while (!start.empty() && start.back() == '/') start.pop_back();
    for (const FolderChooser chooser : {FolderChooser::Portal, FolderChooser::Zenity, FolderChooser::Kdialog}) {
        std::optional<FolderChooserResult> result;
        switch (chooser) {
        case FolderChooser::Portal:
            result = runPortal(title, whileWaiting);
            break;
        case FolderChooser::Zenity:
            result = runDialogProgram(
                "zenity", {"--file-selection", "--directory", "--title=" + titleText, "--filename=" + start + "/"},
                whileWaiting);
            break;
        case FolderChooser::Kdialog:
            result = runDialogProgram("kdialog", {"--title", titleText, "--getexistingdirectory", start + "/"},
                                      whileWaiting);
            break;
        }
        if (result) {
            if (usedChooser) *usedChooser = chooser;
            return *result;
        }
    }
    return {};
}

} // namespace platform
