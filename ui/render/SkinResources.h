// A window's skin resources: its own resource tables (images, fonts, default
// attributes by control tag, colours) in front of the process-wide shared
// tables, and the process-wide language texts. The paint manager owns one
// per window and forwards its resource operations to it; the drawing
// functions take it directly.
#pragma once

#include "ui/base/StringUI.h"
#include "ui/render/ResourceTables.h"

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>

// One per window. Lookups try the window's tables, then the shared ones;
// additions go to the window's tables unless asked for the shared ones or
// the window uses shared resources. UI thread only.
class CSkinResourcesUI {
public:
    // Colours start as copies of the shared defaults; the shared default
    // font is made (the stock GUI font) when it is not set yet.
    CSkinResourcesUI();

    // Empties the window's fonts, images and default attributes and unsets
    // its default font (colours are kept).
    void clearWindowTables();
    // Device pixels per skin unit of the window: the fonts handed out are
    // made at their size × scale (the tables keep skin sizes). Forgets the
    // scaled fonts made for another scale.
    void setScale(double scale);
    double scale() const { return m_scale; }
    void useSharedResources(bool use) { m_useShared = use; }
    // "dir/name.png" at density 2 is "dir/name@2x.png" (1.5: "name@1.5x.png").
    static std::wstring variantName(std::wstring_view name, double density);
    bool usesSharedResources() const { return m_useShared; }
    static ResourceTables& sharedTables();

    // --- Images ---
    // Loads and stores an image under `name` (a name starting with a digit is
    // a resource id when a type is given). Into the shared table when `shared`
    // or the window uses shared resources; an image of that name there is
    // replaced. Null when the name is empty or loading fails.
    ImageHandle addImage(std::wstring_view name, const wchar_t* type, std::uint32_t mask, bool shared);
    // The window table, then the shared table; null when in neither.
    ImageHandle findImage(std::wstring_view name) const;
    // findImage, else addImage(name, type, mask, shared = false).
    ImageHandle findOrLoadImage(std::wstring_view name, const wchar_t* type, std::uint32_t mask);
    void removeAllImages(bool shared);

    // --- Fonts ---
    // Creates and stores font `id` (replacing an earlier one in the target
    // table). Returns the new handle, or null when no font could be made.
    FontHandle addFont(int id, std::wstring_view face, int size, bool bold, bool underline, bool italic, bool strikeout,
                       bool shared);
    // Replaces the window's (or the shared) default font.
    void setDefaultFont(std::wstring_view face, int size, bool bold, bool underline, bool italic, bool strikeout,
                        bool shared);
    // Font `id` (window table, then shared); the default font when absent or id < 0.
    FontHandle fontHandle(int id);
    // The record of fontHandle(id), measured.
    const FontRecord& fontInfo(int id);
    // The record holding `font` (window, shared), else the default font's; measured.
    const FontRecord& fontInfoOf(const FontHandle& font);
    // First font whose six properties all match (face case-sensitive); null if none.
    FontHandle findFont(std::wstring_view face, int size, bool bold, bool underline, bool italic, bool strikeout) const;
    // The window's default font when set, else the shared one; measured.
    const FontRecord& defaultFontInfo();
    void removeAllFonts(bool shared);

    // --- Default attributes by control tag ---
    void addDefaultAttributes(std::wstring_view tag, std::wstring_view attributes, bool shared);
    // Window table, then shared; null when in neither.
    const wchar_t* defaultAttributes(std::wstring_view tag) const;
    void removeAllDefaultAttributes(bool shared);

    // --- Colours (per window) ---
    platform::Argb disabledTextColour() const { return m_tables.disabledColour; }
    platform::Argb defaultTextColour() const { return m_tables.textColour; }
    platform::Argb linkColour() const { return m_tables.linkColour; }
    platform::Argb linkHoverColour() const { return m_tables.linkHoverColour; }
    platform::Argb selectedColour() const { return m_tables.selectedColour; }
    void setDisabledTextColour(platform::Argb c) { m_tables.disabledColour = c; }
    void setDefaultTextColour(platform::Argb c) { m_tables.textColour = c; }
    void setLinkColour(platform::Argb c) { m_tables.linkColour = c; }
    void setLinkHoverColour(platform::Argb c) { m_tables.linkHoverColour = c; }
    void setSelectedColour(platform::Argb c) { m_tables.selectedColour = c; }

    // --- Language texts (process-wide) ---
    // Stores a copy under the number, replacing an earlier text.
    static void addLanguageText(int number, std::wstring_view text);
    static const wchar_t* languageText(int number);
    static void removeAllLanguageTexts();
    // Replaces every "%{N}" whose number has a language text by that text.
    static void expandTextIds(CStringUI& text);

private:
    ResourceTables& targetTables(bool shared);
    // The record at the window's scale: `record` itself at scale 1, else a
    // cached copy made at the scaled size (measured).
    const FontRecord& scaled(FontRecord& record);
    // The density variant of a skin image for the window's scale, loaded and
    // kept on first use; null when the skin has none.
    ImageHandle findOrLoadVariant(std::wstring_view name, std::uint32_t mask);
    struct ScaledFont {
        FontHandle original; // keeps the key's font alive, so its address is never reused
        FontRecord record;
    };

    ResourceTables m_tables;
    bool m_useShared = false;
    double m_scale = 1.0;
    std::map<const platform::Font*, ScaledFont> m_scaledFonts;
    std::set<std::wstring> m_missingVariants; // keys of variants looked for and not found
};
