// Scratch folders and whole-file access for every test suite.
#include "tests/support/ScratchFolder.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <system_error>

namespace testsupport {

ScratchFolder::ScratchFolder() {
    std::error_code ec;
    std::string pattern = (std::filesystem::temp_directory_path(ec) / "quellan-test-XXXXXX").string();
    if (mkdtemp(pattern.data())) m_path = pattern;
}

ScratchFolder::~ScratchFolder() {
    if (m_path.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

std::string readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::error_code ec;
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

} // namespace testsupport
