// What display tests on a real X server (run-under-xvfb.sh) need besides the
// window system: a compositing manager they start and end themselves, and
// screenshots of the whole screen.
#pragma once

#include "platform/graphics/Graphics.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

extern char** environ;

namespace testsupport {

// xcompmgr, started by a test and ended with it (or by stop()).
class Compositor {
public:
    Compositor() {
        char name[] = "xcompmgr";
        char* argv[] = {name, nullptr};
        // It reports every window that vanishes while it looks at it: not ours to read.
        posix_spawn_file_actions_t quiet;
        posix_spawn_file_actions_init(&quiet);
        posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
        if (posix_spawnp(&m_pid, "xcompmgr", &quiet, nullptr, argv, ::environ) != 0) m_pid = -1;
        posix_spawn_file_actions_destroy(&quiet);
    }
    ~Compositor() { stop(); }
    Compositor(const Compositor&) = delete;
    Compositor& operator=(const Compositor&) = delete;
    bool started() const { return m_pid > 0; }
    void stop() {
        if (m_pid <= 0) return;
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

private:
    pid_t m_pid = -1;
};

// The whole screen as the X server shows it (ImageMagick's import); empty
// when it cannot be taken. `scratch` names a file the call may use.
inline platform::Surface rootScreenshot(const std::string& scratch) {
    const std::string command = "timeout 30 /usr/bin/import -window root '" + scratch + "'";
    if (std::system(command.c_str()) != 0) return {};
    platform::Surface s = platform::Surface::readPng(scratch);
    std::filesystem::remove(scratch);
    return s;
}

} // namespace testsupport
