// The per-window paint manager. This part holds the window's resource tables
// and the process-wide skin source, shared tables and language table; the
// control tree, input routing and painting join it in the same class.
#pragma once

#include "platform/graphics/Geometry.h"
#include "platform/graphics/Graphics.h"
#include "ui/core/StringMapUI.h"
#include "ui/core/StringUI.h"
#include "ui/render/ResourceTables.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// One per window, held by value in the window object. Owns the window's
// resource tables and custom attributes; the shared tables, the skin source
// and the language table are process-wide. Everything runs on the UI thread
// without locks.
class CFormManagerUI {
public:
    CFormManagerUI();
    ~CFormManagerUI();
    CFormManagerUI(const CFormManagerUI&) = delete;
    CFormManagerUI& operator=(const CFormManagerUI&) = delete;

    // --- Skin source (process-wide) ---
    static void setInstance(void* instance);
    static void* instanceHandle();
    // Registers the in-memory skin archive: the first call opens it (the
    // bytes must stay alive for the rest of the process), later calls only
    // change the password. Null or empty password: none.
    static void setSkinArchive(const void* bytes, std::size_t size, const char* password);
    // Folder prefix for documents read without an archive (appended to as is).
    static void setResourcePath(std::wstring_view path);
    static const std::wstring& resourcePath();

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

    // --- Custom window attributes ---
    // Ignored for an empty name or value; the first value of a name wins.
    void addWindowAttribute(std::wstring_view name, std::wstring_view value);
    const wchar_t* windowAttribute(std::wstring_view name) const;
    void removeAllWindowAttributes();

    void useSharedResources(bool use) { m_useSharedResources = use; }
    bool usesSharedResources() const { return m_useSharedResources; }

    // --- Colours (per window, copied from the shared defaults) ---
    platform::Argb disabledTextColour() const { return m_resources.disabledColour; }
    platform::Argb defaultTextColour() const { return m_resources.textColour; }
    platform::Argb linkColour() const { return m_resources.linkColour; }
    platform::Argb linkHoverColour() const { return m_resources.linkHoverColour; }
    platform::Argb selectedColour() const { return m_resources.selectedColour; }
    void setDisabledTextColour(platform::Argb c) { m_resources.disabledColour = c; }
    void setDefaultTextColour(platform::Argb c) { m_resources.textColour = c; }
    void setLinkColour(platform::Argb c) { m_resources.linkColour = c; }
    void setLinkHoverColour(platform::Argb c) { m_resources.linkHoverColour = c; }
    void setSelectedColour(platform::Argb c) { m_resources.selectedColour = c; }

    // --- Language table (process-wide) ---
    // Stores a copy under the number, replacing an earlier text.
    static void addLanguageText(int number, std::wstring_view text);
    static const wchar_t* languageText(int number);
    static void removeAllLanguageTexts();
    // Replaces every "%{N}" whose number has a language text by that text.
    static void expandTextIds(CStringUI& text);

    // --- Shared tables (process-wide) ---
    static ResourceTables& sharedResources();

    // --- Mouse ---
    // Last mouse position in client coordinates, (-1, -1) before any. The
    // message half of the manager keeps it current; rich text reads it.
    platform::Point lastMousePosition() const { return m_lastMousePosition; }
    void setLastMousePosition(platform::Point p) { m_lastMousePosition = p; }

private:
    ResourceTables& targetTables(bool shared);
    void clearWindowResources();
    FontRecord& measure(FontRecord& record);

    ResourceTables m_resources;
    CStringMapUI<CStringUI> m_windowAttributes;
    bool m_useSharedResources = false;
    platform::Point m_lastMousePosition{-1, -1};
};
