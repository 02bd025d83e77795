// Scratch folders and whole-file access for every test suite.
#pragma once

#include <filesystem>
#include <string>

namespace testsupport {

// A fresh folder of its own under the system temporary folder (so tests that
// run in parallel never share one), removed with everything in it when the
// object goes out of scope. path() is empty when it could not be made.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }
    // The path as text, for APIs that take strings.
    std::string string() const { return m_path.string(); }

private:
    std::filesystem::path m_path;
};

// The whole file; empty when it cannot be read.
std::string readBytes(const std::filesystem::path& path);
// Writes the file whole, creating missing parent folders.
void writeBytes(const std::filesystem::path& path, const std::string& bytes);

} // namespace testsupport
