// The folder chooser through the file-chooser portal: a private session bus
// (the real dbus-daemon) with a peer in this test that owns the portal's name
// and answers OpenFile the way the portal does (request object, then its
// Response signal).
#include "platform/system/Shell.h"
#include "platform/system/Text.h"
#include "tests/TestSupport.h"

#include <dbus/dbus.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace {

// A session bus of our own: dbus-daemon with the session configuration.
class PrivateBus {
public:
    PrivateBus() {
        int out[2];
        if (pipe(out) != 0) return;
        m_pid = fork();
        if (m_pid == 0) {
            dup2(out[1], 1);
            close(out[0]);
            execlp("dbus-daemon", "dbus-daemon", "--session", "--nofork", "--print-address=1", nullptr);
            _exit(127);
        }
        close(out[1]);
        char c;
        while (read(out[0], &c, 1) == 1 && c != '\n') m_address += c;
        close(out[0]);
    }
    ~PrivateBus() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }
    const std::string& address() const { return m_address; }

private:
    pid_t m_pid = -1;
    std::string m_address;
};

// Owns org.freedesktop.portal.Desktop and answers every OpenFile with the
// given response code and URI, or with an error.
class PortalPeer {
public:
    struct Answer {
        bool error = false;
        dbus_uint32_t response = 0;
        std::string uri;
    };

    PortalPeer(const std::string& address, Answer answer) : m_answer(std::move(answer)) {
        DBusError e;
        dbus_error_init(&e);
        m_c = dbus_connection_open_private(address.c_str(), &e);
        if (!m_c || !dbus_bus_register(m_c, &e) ||
            dbus_bus_request_name(m_c, "org.freedesktop.portal.Desktop", DBUS_NAME_FLAG_DO_NOT_QUEUE, &e) !=
                DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER) {
            dbus_error_free(&e);
            return;
        }
        m_ready = true;
        m_thread = std::thread([this] { serve(); });
    }
    ~PortalPeer() {
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
        if (m_c) {
            dbus_connection_close(m_c);
            dbus_connection_unref(m_c);
        }
    }
    bool ready() const { return m_ready; }
    struct Seen {
        std::string title;
        std::string token;
        bool directory = false;
    };
    std::optional<Seen> seen() {
        std::lock_guard lock(m_lock);
        return m_seen;
    }

private:
    void serve() {
        while (!m_stop && dbus_connection_read_write(m_c, 20)) {
            while (DBusMessage* m = dbus_connection_pop_message(m_c)) {
                if (dbus_message_is_method_call(m, "org.freedesktop.portal.FileChooser", "OpenFile")) answer(m);
                dbus_message_unref(m);
            }
        }
    }

    void answer(DBusMessage* call) {
        Seen seen;
        DBusMessageIter it, dict;
        const char* text = nullptr;
        dbus_message_iter_init(call, &it);
        dbus_message_iter_next(&it); // parent window
        dbus_message_iter_get_basic(&it, &text);
        seen.title = text;
        dbus_message_iter_next(&it);
        dbus_message_iter_recurse(&it, &dict);
        for (; dbus_message_iter_get_arg_type(&dict) == DBUS_TYPE_DICT_ENTRY; dbus_message_iter_next(&dict)) {
            DBusMessageIter entry, value;
            const char* key = nullptr;
            dbus_message_iter_recurse(&dict, &entry);
            dbus_message_iter_get_basic(&entry, &key);
            dbus_message_iter_next(&entry);
            dbus_message_iter_recurse(&entry, &value);
            if (std::string(key) == "handle_token") {
                dbus_message_iter_get_basic(&value, &text);
                seen.token = text;
            } else if (std::string(key) == "directory") {
                dbus_bool_t b = FALSE;
                dbus_message_iter_get_basic(&value, &b);
                seen.directory = b;
            }
        }
        {
            std::lock_guard lock(m_lock);
            m_seen = seen;
        }
        if (m_answer.error) {
            DBusMessage* reply = dbus_message_new_error(call, "org.freedesktop.DBus.Error.Failed", "no chooser");
            dbus_connection_send(m_c, reply, nullptr);
            dbus_message_unref(reply);
            return;
        }
        const std::string path = platform::detail::portalRequestPath(dbus_message_get_sender(call), seen.token);
        const char* pathArg = path.c_str();
        DBusMessage* reply = dbus_message_new_method_return(call);
        dbus_message_append_args(reply, DBUS_TYPE_OBJECT_PATH, &pathArg, DBUS_TYPE_INVALID);
        dbus_connection_send(m_c, reply, nullptr);
        dbus_message_unref(reply);

        DBusMessage* signal = dbus_message_new_signal(path.c_str(), "org.freedesktop.portal.Request", "Response");
        dbus_message_set_destination(signal, dbus_message_get_sender(call));
        DBusMessageIter out, results, entry, variant, uris;
        dbus_message_iter_init_append(signal, &out);
        dbus_message_iter_append_basic(&out, DBUS_TYPE_UINT32, &m_answer.response);
        dbus_message_iter_open_container(&out, DBUS_TYPE_ARRAY, "{sv}", &results);
        if (!m_answer.uri.empty()) {
            const char* key = "uris";
            const char* uri = m_answer.uri.c_str();
            dbus_message_iter_open_container(&results, DBUS_TYPE_DICT_ENTRY, nullptr, &entry);
            dbus_message_iter_append_basic(&entry, DBUS_TYPE_STRING, &key);
            dbus_message_iter_open_container(&entry, DBUS_TYPE_VARIANT, "as", &variant);
            dbus_message_iter_open_container(&variant, DBUS_TYPE_ARRAY, "s", &uris);
            dbus_message_iter_append_basic(&uris, DBUS_TYPE_STRING, &uri);
            dbus_message_iter_close_container(&variant, &uris);
            dbus_message_iter_close_container(&entry, &variant);
            dbus_message_iter_close_container(&results, &entry);
        }
        dbus_message_iter_close_container(&out, &results);
        dbus_connection_send(m_c, signal, nullptr);
        dbus_message_unref(signal);
        dbus_connection_flush(m_c);
    }

    DBusConnection* m_c = nullptr;
    Answer m_answer;
    bool m_ready = false;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    std::mutex m_lock;
    std::optional<Seen> m_seen;
};

TEST(Portal, ChooserAnswersThroughTheSessionBus) {
    if (std::system("command -v dbus-daemon >/dev/null") != 0) GTEST_SKIP() << "dbus-daemon is not installed";
    PrivateBus bus;
    ASSERT_FALSE(bus.address().empty());
    const char* oldAddress = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    const std::optional<std::string> savedAddress = oldAddress ? std::optional<std::string>(oldAddress) : std::nullopt;
    const char* oldDisplay = std::getenv("DISPLAY");
    const std::optional<std::string> savedDisplay = oldDisplay ? std::optional<std::string>(oldDisplay) : std::nullopt;
    setenv("DBUS_SESSION_BUS_ADDRESS", bus.address().c_str(), 1);
    unsetenv("DISPLAY"); // no fallback to zenity or kdialog

    const struct {
        const char* name;
        PortalPeer::Answer answer;
        platform::FolderChoice choice;
        std::wstring path;
        platform::FolderChooser used;
    } cases[] = {
        {"chosen",
         {false, 0, "file:///home/li/%E6%B8%B8%E6%88%8F%20dir/"},
         platform::FolderChoice::Chosen,
         L"/home/li/游戏 dir",
         platform::FolderChooser::Portal},
        {"cancelled", {false, 1, ""}, platform::FolderChoice::Cancelled, L"", platform::FolderChooser::Portal},
        // The portal failing on its own leads to the next chooser (none here).
        {"other end", {false, 2, ""}, platform::FolderChoice::Unavailable, L"", platform::FolderChooser::Kdialog},
        {"error", {true, 0, ""}, platform::FolderChoice::Unavailable, L"", platform::FolderChooser::Kdialog},
        {"not a local file",
         {false, 0, "https://example.com/x"},
         platform::FolderChoice::Unavailable,
         L"",
         platform::FolderChooser::Kdialog},
    };
    for (const auto& c : cases) {
        PortalPeer peer(bus.address(), c.answer);
        ASSERT_TRUE(peer.ready()) << c.name;
        platform::FolderChooser used = platform::FolderChooser::Kdialog;
        const auto result = platform::chooseFolder(L"选择安装路径", {}, &used);
        EXPECT_EQ(result.choice, c.choice) << c.name;
        EXPECT_EQ(result.path, c.path) << c.name;
        EXPECT_EQ(used, c.used) << c.name;
        const auto seen = peer.seen();
        ASSERT_TRUE(seen) << c.name;
        EXPECT_EQ(seen->title, "选择安装路径");
        EXPECT_TRUE(seen->directory);
        EXPECT_FALSE(seen->token.empty());
    }
    // Nobody owns the portal's name: the bus says so at once.
    platform::FolderChooser used = platform::FolderChooser::Kdialog;
    EXPECT_EQ(platform::chooseFolder(L"选择安装路径", {}, &used).choice, platform::FolderChoice::Unavailable);

    if (savedAddress)
        setenv("DBUS_SESSION_BUS_ADDRESS", savedAddress->c_str(), 1);
    else
        unsetenv("DBUS_SESSION_BUS_ADDRESS");
    if (savedDisplay) setenv("DISPLAY", savedDisplay->c_str(), 1);
}

} // namespace
