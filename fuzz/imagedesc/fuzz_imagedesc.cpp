// Fuzzes the image-description grammar and drawing the result (nine pieces,
// tiling, source and dest from hostile numbers) on a small surface, at
// scale 1 and in a window at 1.5 (with an image of density 2).
#include "fuzz/LeakSuppressions.h"
#include "platform/graphics/Graphics.h"
#include "platform/system/Text.h"
#include "ui/core/FormManagerUI.h"
#include "ui/render/RenderEngine.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace {

// An 8 × 8 half-transparent image under the names descriptions use, so that
// drawing happens without touching the file system.
CFormManagerUI& manager() {
    static CFormManagerUI m;
    static bool ready = false;
    if (!ready) {
        for (const wchar_t* name : {L"a.png", L"img/bk.png"}) {
            auto image = std::make_shared<ImageRecord>();
            image->bitmap = platform::Surface(8, 8);
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x) image->bitmap.setPixel(x, y, 0x80000000u | (x * 16u) << 16 | y * 16u);
            image->width = image->height = 8;
            image->hasAlpha = name[0] == L'a';
            CFormManagerUI::sharedResources().images.set(name, image);
        }
        // An image drawn at twice the density, as a skin's "@2x" variant is.
        auto dense = std::make_shared<ImageRecord>();
        dense->bitmap = platform::Surface(16, 16);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) dense->bitmap.setPixel(x, y, 0xFF000000u | (x * 8u) << 8 | y * 8u);
        dense->width = dense->height = 16;
        dense->density = 2.0;
        CFormManagerUI::sharedResources().images.set(L"d.png", dense);
        ready = true;
    }
    return m;
}

// A window at 1.5: lengths, corners and tiles converted for both densities.
CFormManagerUI& scaledManager() {
    static CFormManagerUI m;
    static bool ready = false;
    if (!ready) {
        manager();
        m.setScale(1.5);
        ready = true;
    }
    return m;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::wstring text = platform::fromUtf8(std::string(reinterpret_cast<const char*>(data), size));
    render::parseImageDescription(text);
    platform::Surface surface(32, 32);
    platform::Canvas canvas(surface);
    ImageDescription description;
    description.setDescription(text);
    render::drawImageDescription(&canvas, &manager(), {2, 3, 30, 29}, {0, 0, 32, 20}, description);
    ImageDescription scaled;
    scaled.setDescription(text);
    render::drawImageDescription(&canvas, &scaledManager(), {1, 1, 31, 31}, {0, 0, 32, 32}, scaled);
    return 0;
}
