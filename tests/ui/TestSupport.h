// Helpers shared by the framework tests: fixture images, archives, and a
// guard that restores the process-wide skin source. Scratch folders come from
// tests/support/ScratchFolder.h.
#pragma once

#include "platform/graphics/Graphics.h"
#include "ui/render/SkinSource.h"
#include "tests/support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sys/wait.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace testsupport {

// The whole file as bytes; empty when it cannot be read.
inline std::vector<std::uint8_t> readByteVector(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Writes a PNG whose pixel (x, y) is the straight ARGB colour fn(x, y).
// Use alpha 0 or 255, or colours that survive premultiplication exactly.
inline void writePng(const std::filesystem::path& path, int width, int height,
                     const std::function<platform::Argb(int, int)>& fn) {
    std::filesystem::create_directories(path.parent_path());
    platform::Surface s(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) s.setPixel(x, y, platform::premultiply(fn(x, y)));
    ASSERT_TRUE(s.writePng(path.string()));
}

// Runs a shell command in `dir`; true on exit status 0.
inline bool runIn(const std::filesystem::path& dir, const std::string& command) {
    std::string full = "cd '" + dir.string() + "' && " + command + " >/dev/null 2>&1";
    return std::system(full.c_str()) == 0;
}

// The exit status and the output (stdout and stderr) of quellan-skinview.
struct ToolRun {
    int status = -1;
    std::string out;
};

// Runs quellan-skinview with `args` on the virtual display. In sanitizer
// builds the leak checker's list of used suppressions is kept out of the
// output, which tests compare exactly.
inline ToolRun runSkinView(const std::string& args) {
    std::string cmd = std::string("QUELLAN_DISPLAY=virtual LSAN_OPTIONS=${LSAN_OPTIONS:+$LSAN_OPTIONS:}"
                                  "print_suppressions=0 '") +
                      QUELLAN_BINARY_DIR + "/quellan-skinview' " + args + " 2>&1";
    ToolRun r;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    char buf[512];
    while (std::fgets(buf, sizeof buf, p)) r.out += buf;
    int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

// Restores the skin source and the working folder when a test ends.
class SkinSourceGuard {
public:
    SkinSourceGuard() : m_cwd(std::filesystem::current_path()) { skinsource::reset(); }
    ~SkinSourceGuard() {
        skinsource::reset();
        std::filesystem::current_path(m_cwd);
    }

private:
    std::filesystem::path m_cwd;
};

} // namespace testsupport
