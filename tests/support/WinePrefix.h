// Test support: a temporary Wine prefix that $WINEPREFIX points at while the
// object lives.
#pragma once

#include "tests/support/ScratchFolder.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

class TempWinePrefix {
public:
    TempWinePrefix() {
        if (const char* old = std::getenv("WINEPREFIX")) m_old = old;
        setenv("WINEPREFIX", path().c_str(), 1);
    }
    ~TempWinePrefix() {
        if (m_old)
            setenv("WINEPREFIX", m_old->c_str(), 1);
        else
            unsetenv("WINEPREFIX");
    }
    TempWinePrefix(const TempWinePrefix&) = delete;
    TempWinePrefix& operator=(const TempWinePrefix&) = delete;

    const std::filesystem::path& path() const { return m_folder.path(); }

    // Writes a file below the prefix (folders are created).
    void write(const std::filesystem::path& relative, const std::string& text) const {
        writeBytes(path() / relative, text);
    }
    void write(const std::filesystem::path& relative, const std::vector<std::uint8_t>& bytes) const {
        write(relative, std::string(bytes.begin(), bytes.end()));
    }

private:
    ScratchFolder m_folder; // removed after WINEPREFIX is restored
    std::optional<std::string> m_old;
};

} // namespace testsupport
