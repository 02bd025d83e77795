// Test support: a temporary Wine prefix that $WINEPREFIX points at while the
// object lives.
#pragma once

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
        std::string templ = (std::filesystem::temp_directory_path() / "wineprefix-XXXXXX").string();
        if (mkdtemp(templ.data())) m_path = templ;
        if (const char* old = std::getenv("WINEPREFIX")) m_old = old;
        setenv("WINEPREFIX", m_path.c_str(), 1);
    }
    ~TempWinePrefix() {
        if (m_old)
            setenv("WINEPREFIX", m_old->c_str(), 1);
        else
            unsetenv("WINEPREFIX");
        std::error_code ec;
        if (!m_path.empty()) std::filesystem::remove_all(m_path, ec);
    }
    TempWinePrefix(const TempWinePrefix&) = delete;
    TempWinePrefix& operator=(const TempWinePrefix&) = delete;

    const std::filesystem::path& path() const { return m_path; }

    // Writes a file below the prefix (folders are created).
    void write(const std::filesystem::path& relative, const std::string& text) const {
        std::filesystem::create_directories((m_path / relative).parent_path());
        std::ofstream(m_path / relative, std::ios::binary) << text;
    }
    void write(const std::filesystem::path& relative, const std::vector<std::uint8_t>& bytes) const {
        write(relative, std::string(bytes.begin(), bytes.end()));
    }

private:
    std::filesystem::path m_path;
    std::optional<std::string> m_old;
};

} // namespace testsupport
