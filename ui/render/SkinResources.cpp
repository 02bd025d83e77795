// CSkinResourcesUI: the window's resource tables in front of the shared
// ones, font creation and measuring, and the language table.
#include "ui/render/SkinResources.h"

#include "ui/render/ImageRecord.h"

#include <cmath>
#include <cwchar>
#include <iterator>
#include <vector>
#include <string>

namespace {

CStringMapUI<CStringUI>& languageTable() {
    static CStringMapUI<CStringUI> table;
    return table;
}

std::wstring idKey(int id) { return std::to_wstring(id); }

// Fonts are made like the stock GUI font with the face, size and styles
// replaced; a face is at most 31 characters.
FontHandle createFont(std::wstring_view face, int size, bool bold, bool underline, bool italic, bool strikeout) {
    platform::FontStyle style;
    style.bold = bold;
    style.underline = underline;
    style.italic = italic;
    style.strikeout = strikeout;
    return platform::Font::create(face.substr(0, 31), size, style);
}

// Metrics are measured once, when a record is first handed out.
FontRecord& measure(FontRecord& record) {
    if (!record.measured() && record.font) record.metrics = record.font->metrics();
    return record;
}

FontRecord makeRecord(FontHandle font, std::wstring_view face, int size, bool bold, bool underline, bool italic,
                      bool strikeout) {
    FontRecord r;
    r.font = std::move(font);
    r.face = face;
    r.size = size;
    r.bold = bold;
    r.underline = underline;
    r.italic = italic;
    r.strikeout = strikeout;
    return r;
}

bool startsWithDigit(std::wstring_view s) { return !s.empty() && s[0] >= L'0' && s[0] <= L'9'; }

} // namespace

// --- Construction ---------------------------------------------------------

CSkinResourcesUI::CSkinResourcesUI() {
    ResourceTables& shared = sharedTables();
    if (shared.defaultFont.face.empty()) {
        FontHandle gui = platform::Font::defaultGui();
        const platform::FontStyle& style = gui->style();
        shared.defaultFont = makeRecord(gui, gui->face(), gui->pixelHeight(), style.bold, style.underline, style.italic,
                                        style.strikeout);
    }
    m_tables.disabledColour = shared.disabledColour;
    m_tables.textColour = shared.textColour;
    m_tables.linkColour = shared.linkColour;
    m_tables.linkHoverColour = shared.linkHoverColour;
    m_tables.selectedColour = shared.selectedColour;
}

void CSkinResourcesUI::clearWindowTables() {
    m_tables.fonts.clear();
    m_tables.images.clear();
    m_tables.defaultAttributes.clear();
    m_tables.defaultFont = FontRecord{};
}

ResourceTables& CSkinResourcesUI::sharedTables() {
    static ResourceTables shared;
    return shared;
}

ResourceTables& CSkinResourcesUI::targetTables(bool shared) {
    return (shared || m_useShared) ? sharedTables() : m_tables;
}

// --- Images ---------------------------------------------------------------

ImageHandle CSkinResourcesUI::addImage(std::wstring_view name, const wchar_t* type, std::uint32_t mask, bool shared) {
    if (name.empty()) return nullptr;
    bool hasType = type && *type;
    ImageSource source = ImageSource::named(name);
    if (hasType && startsWithDigit(name)) {
        // Leading decimal digits name a numeric resource id.
        long long id = 0;
        for (std::size_t i = 0; i < name.size() && name[i] >= L'0' && name[i] <= L'9' && id <= 0x7FFFFFFF; ++i)
            id = id * 10 + (name[i] - L'0');
        if (id > 0x7FFFFFFF) id = 0x7FFFFFFF;
        source = ImageSource::numbered(static_cast<int>(id));
    }
    std::unique_ptr<ImageRecord> image = loadImage(source, hasType ? type : nullptr, mask);
    if (!image) return nullptr;
    if (hasType) image->resourceType = type;
    image->mask = mask;
    ImageHandle handle(std::move(image));
    targetTables(shared).images.set(name, handle);
    return handle;
}

ImageHandle CSkinResourcesUI::findImage(std::wstring_view name) const {
    if (const ImageHandle* found = m_tables.images.find(name)) return *found;
    if (const ImageHandle* found = sharedTables().images.find(name)) return *found;
    return nullptr;
}

std::wstring CSkinResourcesUI::variantName(std::wstring_view name, double density) {
    wchar_t text[16];
    std::swprintf(text, 16, L"@%gx", density);
    const std::size_t slash = name.find_last_of(L"/\\");
    const std::size_t dot = name.rfind(L'.');
    const std::size_t at =
        (dot != std::wstring_view::npos && (slash == std::wstring_view::npos || dot > slash)) ? dot : name.size();
    std::wstring out(name.substr(0, at));
    out += text;
    out += name.substr(at);
    return out;
}

ImageHandle CSkinResourcesUI::findOrLoadVariant(std::wstring_view name, std::uint32_t mask) {
    // Stored beside the plain image under a key no skin name contains.
    wchar_t scaleText[16];
    std::swprintf(scaleText, 16, L"\x01%g", m_scale);
    const std::wstring key = std::wstring(name) + scaleText;
    if (ImageHandle found = findImage(key)) return found;
    if (m_missingVariants.count(key)) return nullptr;
    // The nearest density at or above the scale (drawn at most a little
    // smaller), else the largest below it (enlarged by the filter).
    static constexpr double kDensities[] = {1.25, 1.5, 1.75, 2.0, 2.5, 3.0};
    std::vector<double> order;
    for (double d : kDensities)
        if (d >= m_scale) order.push_back(d);
    for (auto it = std::rbegin(kDensities); it != std::rend(kDensities); ++it)
        if (*it < m_scale) order.push_back(*it);
    for (double density : order) {
        std::unique_ptr<ImageRecord> image = loadImage(ImageSource::named(variantName(name, density)), nullptr, mask);
        if (!image) continue;
        image->mask = mask;
        image->density = density;
        ImageHandle handle(std::move(image));
        targetTables(/*shared=*/false).images.set(key, handle);
        return handle;
    }
    m_missingVariants.insert(key);
    return nullptr;
}

ImageHandle CSkinResourcesUI::findOrLoadImage(std::wstring_view name, const wchar_t* type, std::uint32_t mask) {
    // Density variants exist for skin files only (not embedded resources or colours).
    if (m_scale > 1.0 && !(type && *type) && !name.empty())
        if (ImageHandle variant = findOrLoadVariant(name, mask)) return variant;
    if (ImageHandle found = findImage(name)) return found;
    return addImage(name, type, mask, /*shared=*/false);
}

void CSkinResourcesUI::removeAllImages(bool shared) { (shared ? sharedTables() : m_tables).images.clear(); }

// --- Fonts ----------------------------------------------------------------

FontHandle CSkinResourcesUI::addFont(int id, std::wstring_view face, int size, bool bold, bool underline, bool italic,
                                     bool strikeout, bool shared) {
    FontHandle font = createFont(face, size, bold, underline, italic, strikeout);
    if (!font) return nullptr;
    auto record = std::make_unique<FontRecord>(makeRecord(font, face, size, bold, underline, italic, strikeout));
    targetTables(shared).fonts.set(idKey(id), std::move(record));
    return font;
}

void CSkinResourcesUI::setDefaultFont(std::wstring_view face, int size, bool bold, bool underline, bool italic,
                                      bool strikeout, bool shared) {
    FontHandle font = createFont(face, size, bold, underline, italic, strikeout);
    if (!font) return;
    ResourceTables& tables = shared ? sharedTables() : m_tables;
    tables.defaultFont = makeRecord(font, face, size, bold, underline, italic, strikeout);
}

void CSkinResourcesUI::setScale(double scale) {
    if (scale == m_scale) return;
    m_scale = scale;
    m_scaledFonts.clear();
    m_missingVariants.clear();
}

const FontRecord& CSkinResourcesUI::scaled(FontRecord& record) {
    if (m_scale == 1.0 || !record.font) return measure(record);
    auto found = m_scaledFonts.find(record.font.get());
    if (found != m_scaledFonts.end()) return found->second.record;
    // The text is laid out anew at the larger size (crisp glyphs), not drawn
    // small and enlarged; the size rounds like every other skin length.
    const int size = static_cast<int>(std::lround(record.size * m_scale));
    FontHandle font = createFont(record.face, size, record.bold, record.underline, record.italic, record.strikeout);
    if (!font) return measure(record);
    // The record keeps the skin size, so that looking a variant up by it
    // (rich text's bold or italic runs) finds the skin's font.
    ScaledFont entry{record.font, makeRecord(font, record.face, record.size, record.bold, record.underline,
                                             record.italic, record.strikeout)};
    measure(entry.record);
    return m_scaledFonts.emplace(record.font.get(), std::move(entry)).first->second.record;
}

const FontRecord& CSkinResourcesUI::defaultFontInfo() {
    if (!m_tables.defaultFont.face.empty()) return scaled(m_tables.defaultFont);
    return scaled(sharedTables().defaultFont);
}

const FontRecord& CSkinResourcesUI::fontInfo(int id) {
    if (id >= 0) {
        std::wstring key = idKey(id);
        if (auto* found = m_tables.fonts.find(key)) return scaled(**found);
        if (auto* found = sharedTables().fonts.find(key)) return scaled(**found);
    }
    return defaultFontInfo();
}

FontHandle CSkinResourcesUI::fontHandle(int id) { return fontInfo(id).font; }

const FontRecord& CSkinResourcesUI::fontInfoOf(const FontHandle& font) {
    FontRecord* hit = nullptr;
    auto look = [&](ResourceTables& tables) {
        tables.fonts.forEach([&](std::wstring_view, std::unique_ptr<FontRecord>& r) {
            if (!hit && font && r->font == font) hit = r.get();
        });
    };
    for (auto& [key, entry] : m_scaledFonts)
        if (font && entry.record.font == font) return entry.record;
    look(m_tables);
    if (!hit) look(sharedTables());
    if (hit) return scaled(*hit);
    return defaultFontInfo();
}

FontHandle CSkinResourcesUI::findFont(std::wstring_view face, int size, bool bold, bool underline, bool italic,
                                      bool strikeout) const {
    FontHandle hit;
    auto look = [&](const ResourceTables& tables) {
        const_cast<ResourceTables&>(tables).fonts.forEach([&](std::wstring_view, std::unique_ptr<FontRecord>& r) {
            if (!hit && r->face == face && r->size == size && r->bold == bold && r->underline == underline &&
                r->italic == italic && r->strikeout == strikeout)
                hit = r->font;
        });
    };
    look(m_tables);
    if (!hit) look(sharedTables());
    return hit;
}

void CSkinResourcesUI::removeAllFonts(bool shared) { (shared ? sharedTables() : m_tables).fonts.clear(); }

// --- Default attributes ---------------------------------------------------

void CSkinResourcesUI::addDefaultAttributes(std::wstring_view tag, std::wstring_view attributes, bool shared) {
    targetTables(shared).defaultAttributes.set(tag, CStringUI(attributes));
}

const wchar_t* CSkinResourcesUI::defaultAttributes(std::wstring_view tag) const {
    if (const CStringUI* found = m_tables.defaultAttributes.find(tag)) return found->c_str();
    if (const CStringUI* found = sharedTables().defaultAttributes.find(tag)) return found->c_str();
    return nullptr;
}

void CSkinResourcesUI::removeAllDefaultAttributes(bool shared) {
    (shared ? sharedTables() : m_tables).defaultAttributes.clear();
}

// --- Language table -------------------------------------------------------

void CSkinResourcesUI::addLanguageText(int number, std::wstring_view text) {
    languageTable().set(idKey(number), CStringUI(text));
}

const wchar_t* CSkinResourcesUI::languageText(int number) {
    const CStringUI* found = languageTable().find(idKey(number));
    return found ? found->c_str() : nullptr;
}

void CSkinResourcesUI::removeAllLanguageTexts() { languageTable().clear(); }

void CSkinResourcesUI::expandTextIds(CStringUI& text) {
    std::wstring_view in = text.view();
    if (in.find(L"%{") == std::wstring_view::npos) return;
    std::wstring out;
    std::size_t i = 0;
    while (i < in.size()) {
        if (in[i] == L'%' && i + 1 < in.size() && in[i + 1] == L'{') {
            std::size_t j = i + 2;
            long long number = 0;
            while (j < in.size() && in[j] >= L'0' && in[j] <= L'9' && number <= 0x7FFFFFFF)
                number = number * 10 + (in[j++] - L'0');
            if (j > i + 2 && j < in.size() && in[j] == L'}' && number <= 0x7FFFFFFF) {
                if (const wchar_t* replacement = languageText(static_cast<int>(number))) {
                    out += replacement;
                    i = j + 1;
                    continue;
                }
            }
        }
        out += in[i++];
    }
    text.assign(out);
}
