// Bounds-checked reading of Windows PE images: headers, the certificate table
// that carries an Authenticode signature, the fixed file version of the
// version resource and the program's icon. Every offset read from the image is checked against the
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

// One image of an icon: its size and its bytes as the RT_ICON resource holds
// them, either a PNG file or a device-independent bitmap (a
// BITMAPINFOHEADER, the palette, the colour rows and the transparency mask).
struct IconImage {
    int width = 0;
    int height = 0;
    int bitCount = 0; // colour depth (32 for PNG images)
    bool png = false;
    std::vector<std::uint8_t> data;
};

// The largest sides an icon image may have here; larger ones are skipped.
inline constexpr int kMaxIconSide = 1024;

// The largest image (by area, then colour depth) of the first icon group
// (RT_GROUP_ICON) of a whole image in memory, taken from the RT_ICON
// resource the group names. Sizes are read from the image itself, not from
// the group's directory. Nothing without an icon group or a usable image.
[[nodiscard]] std::optional<IconImage> readLargestIcon(std::span<const std::uint8_t> image);

// The same for the file at `path` (UTF-8). Files over 256 MiB are refused.
[[nodiscard]] std::optional<IconImage> readLargestIconOfFile(const std::string& path);

// The pixels of a bitmap icon image (not PNG) as straight 0xAARRGGBB values,
// width × height, top row first. 1, 4, 8, 24 and 32 bits per pixel without
// compression; transparency from the alpha channel (32 bits) or the mask.
// Nothing when the bytes do not hold the whole bitmap.
[[nodiscard]] std::optional<std::vector<std::uint32_t>> decodeIconBitmap(const IconImage& icon);

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
