// The resource tables a window keeps beside the process-wide shared set:
// images by name, fonts by id, default attribute texts by control tag, the
// default font and the default colours.
#pragma once

#include "platform/graphics/Graphics.h"
#include "ui/base/StringMapUI.h"
#include "ui/base/StringUI.h"
#include "ui/render/ImageRecord.h"

#include <memory>
#include <string>

using FontHandle = std::shared_ptr<const platform::Font>;

// One font of a table. Metrics stay zero until the record is first handed
// out (they are measured lazily, once).
struct FontRecord {
    FontHandle font;
    std::wstring face;
    int size = 0; // character height in pixels
    bool bold = false;
    bool underline = false;
    bool italic = false;
    bool strikeout = false;
    platform::FontMetrics metrics{};

    bool measured() const { return metrics.height != 0; }
};

// Images are shared with the descriptions that resolved them, so replacing
// or removing an image never leaves a description pointing at freed pixels.
using ImageHandle = std::shared_ptr<const ImageRecord>;

// One set of tables (a window's, or the shared one). UI thread only.
struct ResourceTables {
    static constexpr platform::Argb kDisabledText = 0xFFA7A6AA;
    static constexpr platform::Argb kText = 0xFF000000;
    static constexpr platform::Argb kLink = 0xFF0000FF;
    static constexpr platform::Argb kLinkHover = 0xFFD3215F;
    static constexpr platform::Argb kSelectedBackground = 0xFFBAE4FF;

    platform::Argb disabledColour = kDisabledText;
    platform::Argb textColour = kText;
    platform::Argb linkColour = kLink;
    platform::Argb linkHoverColour = kLinkHover;
    platform::Argb selectedColour = kSelectedBackground;

    FontRecord defaultFont; // unset while its face is empty
    CStringMapUI<std::unique_ptr<FontRecord>> fonts;
    CStringMapUI<ImageHandle> images;
    CStringMapUI<CStringUI> defaultAttributes;
};
