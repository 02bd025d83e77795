// A loaded skin image and the function that loads one.
#pragma once

#include "platform/graphics/Graphics.h"

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// One decoded skin image, ready to blit: premultiplied BGRA pixels, top row
// first. Owned by the resource table that holds it; UI thread only.
struct ImageRecord {
    platform::Surface bitmap;
    int width = 0;
    int height = 0;
    // Image pixels per skin unit: 1, or what a density variant's name says
    // ("name@2x.png" is 2). Descriptions measure images in skin units.
    double density = 1.0;
    // The size in skin units (pixels / density, rounded).
    int unitWidth() const { return density == 1.0 ? width : static_cast<int>(std::lround(width / density)); }
    int unitHeight() const { return density == 1.0 ? height : static_cast<int>(std::lround(height / density)); }
    // Some pixel is not fully opaque or was cleared by the mask: the renderer
    // blends instead of copying.
    bool hasAlpha = false;
    std::wstring resourceType; // the type it was loaded with, empty when none
    std::uint32_t mask = 0;    // the mask colour it was loaded with, 0 = none

    // Pixel memory, rows top to bottom, bytes B, G, R, A.
    const std::uint8_t* pixels() const { return bitmap.bits(); }
};

// Where an image's bytes come from: a name (resource name, archive entry,
// colour text or file) or a numeric resource id.
struct ImageSource {
    std::wstring name;
    int id = -1;
    bool byId = false;

    static ImageSource named(std::wstring_view n) { return {std::wstring(n), -1, false}; }
    static ImageSource numbered(int i) { return {std::wstring(), i, true}; }
};

inline constexpr std::wstring_view kColourImageType = L"*COLOR*";

// Loads an image. With a resource type (other than "*COLOR*"): the embedded
// resource of that type and name or id. "*COLOR*": a 1 × 1 image of the
// colour the name spells. Without a type: the skin archive entry of that
// name when an archive is set, else the file. A named image not found that
// way is read as a file (relative to the current folder, or absolute).
// Null when nothing is found or the bytes do not decode. The record's
// resourceType and mask are left empty for the caller to fill in.
std::unique_ptr<ImageRecord> loadImage(const ImageSource& source, const wchar_t* type, std::uint32_t mask);

// Finds an image's encoded bytes as loadImage does (not for "*COLOR*");
// false when nothing is found.
bool readImageBytes(const ImageSource& source, const wchar_t* type, std::vector<std::uint8_t>& bytes);

// A record from straight RGBA rows (top row first), premultiplied, with the
// mask rule; null when the surface cannot be made.
std::unique_ptr<ImageRecord> imageFromRgba(const std::uint8_t* rgba, int width, int height, std::uint32_t mask);

// Decodes encoded image bytes (PNG, JPEG, BMP, GIF, ...) into a record,
// applying the mask rule. Null when the bytes do not decode.
std::unique_ptr<ImageRecord> decodeImage(const std::uint8_t* bytes, std::size_t size, std::uint32_t mask);
