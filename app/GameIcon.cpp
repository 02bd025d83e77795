// The launcher's icon as a PNG file in the user's icon theme.
#include "app/GameIcon.h"

#include "platform/graphics/Graphics.h"
#include "platform/signature/PeFile.h"
#include "platform/system/Desktop.h"
#include "platform/system/Text.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

bool writeFile(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return static_cast<bool>(out);
}

// The icon's PNG file at path, written beside it first and then renamed, so
// the desktop never reads half a picture.
bool writeIcon(const platform::pe::IconImage& icon, const fs::path& path) {
    const fs::path temp = path.parent_path() / ("." + path.filename().string() + ".new");
    bool written = false;
    if (icon.png) {
        written = writeFile(temp, icon.data);
    } else if (const auto pixels = platform::pe::decodeIconBitmap(icon)) {
        platform::Surface surface(icon.width, icon.height);
        for (int y = 0; y < icon.height; ++y)
            for (int x = 0; x < icon.width; ++x)
                surface.setPixel(x, y, platform::premultiply((*pixels)[std::size_t(y) * icon.width + x]));
        written = !surface.isEmpty() && surface.writePng(temp.string());
    }
    std::error_code ec;
    if (written) fs::rename(temp, path, ec);
    if (!written || ec) fs::remove(temp, ec);
    return written && !ec;
}

} // namespace

std::wstring InstallGameIcon(const std::wstring& executable) {
    const std::wstring data = platform::dataHomeFolder();
    if (data.empty()) return {};
    const fs::path theme = fs::path(platform::toUtf8(data)) / "icons/hicolor";
    const std::string file = platform::toUtf8(platform::kIconName) + ".png";
    std::error_code ec;
    for (fs::directory_iterator it(theme, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code ignored;
        const fs::path old = it->path() / "apps" / file;
        if (fs::is_regular_file(fs::symlink_status(old, ignored))) fs::remove(old, ignored);
    }

    const auto icon = platform::pe::readLargestIconOfFile(platform::toUtf8(executable));
    if (!icon) return {};
    const std::string side = std::to_string(std::max(icon->width, icon->height));
    const fs::path folder = theme / (side + "x" + side) / "apps";
    fs::create_directories(folder, ec);
    if (ec || !writeIcon(*icon, folder / file)) return {};
    return std::wstring(platform::kIconName);
}
