// The parsed form of an image attribute ("bkimage", "normalimage", ...):
// either a plain image name or key='value' entries.
#pragma once

#include "platform/graphics/Geometry.h"
#include "ui/base/StringUI.h"
#include "ui/render/ResourceTables.h"

#include <cstdint>

// One per image attribute of a control. Parsed and resolved once (the first
// draw); a failed resolution is not retried until reset(). UI thread only.
struct ImageDescription {
    CStringUI description; // the attribute value as written
    CStringUI imageName;   // name used to find or load the image
    ImageHandle image;     // resolved image, kept after the first success
    platform::Rect dest;   // offsets inside the item rectangle; all zero = whole item
    // The dest offsets were set by a control in device pixels (the part a
    // progress bar covers), not read from the skin: they are not scaled.
    bool destInDevicePixels = false;
    platform::Rect source; // part of the image; the whole image once resolved
    platform::Rect corner; // border widths left, top, right, bottom that are not stretched
    std::uint8_t fade = 255;
    bool hole = false;
    bool xtiled = false;
    bool ytiled = false;
    bool attempted = false; // resolution was tried and failed

    // Empties both texts and the image, zeroes rectangles and flags, fade 255.
    void reset();
    // reset() and store a new description.
    void setDescription(std::wstring_view text);
};

class CSkinResourcesUI;

namespace render {

// The entries a description spells, before any image is looked up.
struct ParsedImageDescription {
    std::wstring name;
    std::wstring type; // empty, the "restype" of a "res" entry, or "*COLOR*"
    std::uint32_t mask = 0;
    platform::Rect dest, source, corner;
    int fade = 255;
    bool hole = false, xtiled = false, ytiled = false, hsl = false;
};

// Reads the grammar: a plain name, or key='value' entries separated by spaces.
// Unknown keys and empty values are ignored; an unterminated value or any
// character other than a space after a closing quote ends the list.
ParsedImageDescription parseImageDescription(std::wstring_view text);

// Parses (when needed) and resolves the description's image through the
// resources' tables. True when already resolved; false when the description
// is empty, its image cannot be loaded, or an earlier attempt failed.
bool resolveImageDescription(CSkinResourcesUI& resources, ImageDescription& description);

} // namespace render
