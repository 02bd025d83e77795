// Bounds-checked reading of Windows PE images: headers, the certificate table
// that carries an Authenticode signature, and the fixed file version of the
// version resource. Every offset read from the image is checked against the
// bytes actually present; malformed input gives nullopt, never a read out of
// bounds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace platform::pe {

struct DataDirectory {
    std::uint32_t address = 0; // an RVA, except for the certificate table (file offset)
    std::uint32_t size = 0;
};

struct Section {
    std::uint32_t virtualAddress = 0;
    std::uint32_t virtualSize = 0;
    std::uint32_t rawOffset = 0;
    std::uint32_t rawSize = 0;
};

struct Headers {
    bool pe32Plus = false;
    DataDirectory resources;    // data directory 2
    DataDirectory certificates; // data directory 4
    std::vector<Section> sections;
};

// The four parts of a file version: major.minor.build.revision.
struct FileVersion {
    std::uint16_t major = 0;
    std::uint16_t minor = 0;
    std::uint16_t build = 0;
    std::uint16_t revision = 0;
    bool operator==(const FileVersion&) const = default;
};

// Parses the DOS, COFF and optional headers and the section table from the
// start of an image (the first bytes of the file suffice).
[[nodiscard]] std::optional<Headers> parseHeaders(std::span<const std::uint8_t> head);

// The DER bytes of the first PKCS#7 SignedData entry of a certificate table
// (the bytes the certificate directory points at).
[[nodiscard]] std::optional<std::span<const std::uint8_t>> findPkcs7(std::span<const std::uint8_t> certificateTable);

// The file version (VS_FIXEDFILEINFO) of the first version resource of a
// whole image in memory.
[[nodiscard]] std::optional<FileVersion> readFileVersion(std::span<const std::uint8_t> image);

// The same for the file at `path` (UTF-8). Files over 256 MiB are refused.
[[nodiscard]] std::optional<FileVersion> readFileVersionOfFile(const std::string& path);

// A regular file opened for reading parts of it; closed with the object.
class InputFile {
public:
    explicit InputFile(const std::string& path);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // False when the file could not be opened or is not a regular file.
    bool isOpen() const { return m_fd >= 0; }
    std::size_t size() const { return m_size; }
    // Fills `out` from `offset`; false when the file ends before.
    [[nodiscard]] bool readAt(std::size_t offset, std::span<std::uint8_t> out) const;

private:
    int m_fd = -1;
    std::size_t m_size = 0;
};

} // namespace platform::pe
