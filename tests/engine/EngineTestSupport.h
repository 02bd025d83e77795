// Shared fixtures of the engine tests: a scratch folder and a running local
// service with a content folder.
#pragma once

#include "tools/devserver/DevServer.h"
#include "tests/support/Pump.h"
#include "tests/support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace enginetest {

using testsupport::ScratchFolder;
using testsupport::waitUntil;

inline void writeFile(const std::string& path, const std::string& content) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Content of n bytes that differs at every position modulo 251.
inline std::string patternBytes(std::size_t n) {
    std::string text(n, '\0');
    for (std::size_t i = 0; i < n; ++i) text[i] = static_cast<char>(i % 251);
    return text;
}

inline std::string dataDir() { return std::string(QUELLAN_SOURCE_DIR) + "/tests/engine/data"; }

// A local service on 127.0.0.1 serving `content/` of a scratch folder.
class ServerFixture : public ::testing::Test {
protected:
    void SetUp() override { startServer(false); }

    void startServer(bool tls) {
        // Accepted configuration serials are remembered per user: keep this
        // test's apart from the user's and from other tests'.
        ::setenv("XDG_STATE_HOME", (m_dir / "state").c_str(), 1);
        devserver::Options options;
        options.contentDir = m_dir / "content";
        std::filesystem::create_directories(options.contentDir);
        if (tls) {
            options.tlsCertFile = dataDir() + "/tls/server.pem";
            options.tlsKeyFile = dataDir() + "/tls/server-key.pem";
        }
        std::string error;
        ASSERT_TRUE(m_server.Start(options, &error)) << error;
    }

    std::string url(const std::string& path) const { return m_server.BaseUrl() + path; }
    std::string content(const std::string& name) const { return m_dir / ("content/" + name); }
    std::wstring target(const std::string& name) const {
        std::string path = m_dir / ("out/" + name);
        return std::wstring(path.begin(), path.end());
    }
    std::string targetPath(const std::string& name) const { return m_dir / ("out/" + name); }

    ScratchFolder m_dir;
    devserver::DevServer m_server;
};

} // namespace enginetest
