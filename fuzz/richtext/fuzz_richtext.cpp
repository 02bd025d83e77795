// Fuzzes rich-text layout and drawing on a small surface. The first byte
// picks the format flags; the rest is the text (UTF-8).
#include "fuzz/LeakSuppressions.h"
#include "platform/graphics/Graphics.h"
#include "platform/system/Text.h"
#include "ui/core/FormManagerUI.h"
#include "ui/render/RenderEngine.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || size > 4096) return 0;
    // A window per input: fonts that tags create go with it.
    CFormManagerUI manager;
    manager.addFont(1, L"WenQuanYi Micro Hei", 12, false, false, false, false, false);
    static const unsigned kFlags[] = {platform::DT_SINGLELINE, platform::DT_WORDBREAK, platform::DT_END_ELLIPSIS,
                                      platform::DT_CENTER,     platform::DT_RIGHT,     platform::DT_VCENTER,
                                      platform::DT_BOTTOM,     platform::DT_CALCRECT};
    unsigned flags = 0;
    for (int i = 0; i < 8; ++i)
        if (data[0] & (1 << i)) flags |= kFlags[i];
    std::wstring text = platform::fromUtf8(std::string(reinterpret_cast<const char*>(data + 1), size - 1));
    platform::Surface surface(64, 32);
    platform::Canvas canvas(surface);
    platform::Rect links[4] = {{0, 0, 64, 32}};
    CStringUI targets[4];
    int count = 4;
    platform::Rect rect{0, 0, 64, 32};
    manager.setLastMousePosition({5, 5});
    render::drawRichText(canvas, &manager, rect, text, 0xFF000000, links, targets, count, 1, flags);
    return 0;
}
