// Fonts (pango over fontconfig) and the canvas's text operations.
//
// Pixels of text must not depend on the desktop: every layout comes from our
// own pango contexts with fixed font options (grey anti-aliasing, no hinting,
// metrics rounded to whole pixels) and a fixed language for fallback and line
// breaking. One process-wide lock serialises all pango work.
#include "platform/graphics/Graphics.h"
#include "platform/graphics/GraphicsInternal.h"
#include "platform/system/Text.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <mutex>

namespace platform {

namespace detail {

namespace {

// The pango state shared by every font; created on first use and kept for the
// life of the process (fonts may outlive any owner we could give it).
struct TextEngine {
    std::recursive_mutex mutex;
    PangoFontMap* fontMap = nullptr;
    PangoContext* smooth = nullptr;  // grey anti-aliasing
    PangoContext* aliased = nullptr; // one bit per pixel

    static TextEngine& instance() {
        static TextEngine* engine = new TextEngine();
        return *engine;
    }

private:
    TextEngine() {
        fontMap = pango_cairo_font_map_new();
        smooth = makeContext(CAIRO_ANTIALIAS_GRAY);
        aliased = makeContext(CAIRO_ANTIALIAS_NONE);
    }

    PangoContext* makeContext(cairo_antialias_t antialias) {
        PangoContext* context = pango_font_map_create_context(fontMap);
        cairo_font_options_t* options = cairo_font_options_create();
        cairo_font_options_set_antialias(options, antialias);
        cairo_font_options_set_subpixel_order(options, CAIRO_SUBPIXEL_ORDER_DEFAULT);
        cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
        cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
        pango_cairo_context_set_font_options(context, options);
        cairo_font_options_destroy(options);
        pango_cairo_context_set_resolution(context, 96.0);
        pango_context_set_language(context, pango_language_from_string("zh-cn"));
        pango_context_set_base_dir(context, PANGO_DIRECTION_LTR);
        return context;
    }
};

using Lock = std::lock_guard<std::recursive_mutex>;

int toPixels(int pangoUnits) { return PANGO_PIXELS(pangoUnits); }

} // namespace

struct FontData {
    std::wstring face;
    int pixelHeight = 0;
    FontStyle style;
    PangoFontDescription* description = nullptr;
    PangoAttrList* attributes = nullptr; // underline and strikeout
    PangoLayout* layout = nullptr;       // for measuring; guarded by the engine lock
    FontMetrics metrics;

    ~FontData() {
        Lock lock(TextEngine::instance().mutex);
        if (layout) g_object_unref(layout);
        if (attributes) pango_attr_list_unref(attributes);
        if (description) pango_font_description_free(description);
    }

    static FontData& of(const Font& font) { return *font.m_data; }

    // A fresh layout of this font on a context (caller unrefs).
    PangoLayout* newLayout(PangoContext* context) const {
        PangoLayout* l = pango_layout_new(context);
        pango_layout_set_font_description(l, description);
        pango_layout_set_attributes(l, attributes);
        return l;
    }

    // The measuring layout set to one line of 'utf8'.
    PangoLayout* singleLine(const std::string& utf8) const {
        pango_layout_set_text(layout, utf8.data(), static_cast<int>(utf8.size()));
        return layout;
    }
};

} // namespace detail

using detail::FontData;
using detail::Lock;
using detail::TextEngine;

// --- Font ---

Font::Font() : m_data(std::make_unique<FontData>()) {}

Font::~Font() = default;

std::shared_ptr<const Font> Font::create(std::wstring_view face, int pixelHeight, FontStyle style) {
    TextEngine& engine = TextEngine::instance();
    Lock lock(engine.mutex);
    std::shared_ptr<Font> font(new Font());
    FontData& d = *font->m_data;
    d.face = face.empty() ? std::wstring(kFallbackFace) : std::wstring(face);
    d.pixelHeight = pixelHeight > 0 ? std::min(pixelHeight, kMaxPixelHeight) : kDefaultPixelHeight;
    d.style = style;

    // Fallback order: the asked face, the pinned CJK face, any sans-serif face.
    std::string families = toUtf8(d.face);
    if (d.face != kFallbackFace) families += "," + toUtf8(kFallbackFace);
    families += ",sans-serif";
    d.description = pango_font_description_new();
    pango_font_description_set_family(d.description, families.c_str());
    pango_font_description_set_absolute_size(d.description, d.pixelHeight * PANGO_SCALE);
    pango_font_description_set_weight(d.description, style.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_style(d.description, style.italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
    d.attributes = pango_attr_list_new();
    if (style.underline) pango_attr_list_insert(d.attributes, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
    if (style.strikeout) pango_attr_list_insert(d.attributes, pango_attr_strikethrough_new(TRUE));
    d.layout = d.newLayout(engine.smooth);
    pango_layout_set_single_paragraph_mode(d.layout, TRUE);

    // Line metrics from a layout, so that they match what drawing does.
    FontMetrics& m = d.metrics;
    PangoLayout* probe = d.singleLine("Ag");
    PangoRectangle logical;
    pango_layout_get_extents(probe, nullptr, &logical);
    m.height = detail::toPixels(logical.height);
    m.ascent = detail::toPixels(pango_layout_get_baseline(probe));
    m.descent = m.height - m.ascent;
    m.internalLeading = std::max(0, m.height - d.pixelHeight);
    const Size lower = font->measure(L"abcdefghijklmnopqrstuvwxyz");
    m.averageCharWidth = (lower.cx + 13) / 26;
    m.maxCharWidth = std::max({font->measure(L"W").cx, font->measure(L"\u56FD").cx, font->measure(L"@").cx});
    if (PangoFont* primary = pango_context_load_font(engine.smooth, d.description)) {
        if (PANGO_IS_CAIRO_FONT(primary)) {
            cairo_font_extents_t e;
            cairo_scaled_font_extents(pango_cairo_font_get_scaled_font(PANGO_CAIRO_FONT(primary)), &e);
            m.externalLeading = std::max(0, static_cast<int>(std::lround(e.height - e.ascent - e.descent)));
            m.maxCharWidth = std::max(m.maxCharWidth, static_cast<int>(std::ceil(e.max_x_advance)));
        }
        g_object_unref(primary);
    }
    return font;
}

std::shared_ptr<const Font> Font::defaultGui() {
    static const std::shared_ptr<const Font> font = create(kFallbackFace, kDefaultPixelHeight);
    return font;
}

const std::wstring& Font::face() const { return m_data->face; }
int Font::pixelHeight() const { return m_data->pixelHeight; }
const FontStyle& Font::style() const { return m_data->style; }
const FontMetrics& Font::metrics() const { return m_data->metrics; }

Size Font::measure(std::wstring_view text) const {
    Lock lock(TextEngine::instance().mutex);
    PangoRectangle logical;
    pango_layout_get_extents(m_data->singleLine(toUtf8(text)), nullptr, &logical);
    return {detail::toPixels(logical.width), m_data->metrics.height};
}

std::vector<int> Font::caretPositions(std::wstring_view text) const {
    Lock lock(TextEngine::instance().mutex);
    const std::string utf8 = toUtf8(text);
    // toUtf8 stops at a NUL: positions past it repeat the end.
    PangoLayout* layout = m_data->singleLine(utf8);
    PangoRectangle logical;
    pango_layout_get_extents(layout, nullptr, &logical);
    const int end = detail::toPixels(logical.width);
    std::vector<int> out;
    out.reserve(text.size() + 1);
    std::size_t byte = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        int x = end;
        if (byte < utf8.size()) {
            PangoRectangle pos;
            pango_layout_index_to_pos(layout, static_cast<int>(byte), &pos);
            x = detail::toPixels(std::min(pos.x, pos.x + pos.width));
        }
        out.push_back(std::clamp(x, out.empty() ? 0 : out.back(), end));
        if (i < text.size() && byte < utf8.size()) byte += toUtf8(text.substr(i, 1)).size();
    }
    out.front() = 0;
    return out;
}

GlyphWidths Font::glyphWidths(wchar_t ch) const {
    Lock lock(TextEngine::instance().mutex);
    PangoLayout* layout = m_data->singleLine(toUtf8(std::wstring_view(&ch, 1)));
    PangoRectangle logical;
    pango_layout_get_extents(layout, nullptr, &logical);
    const int advance = detail::toPixels(logical.width);
    // The ink is found by drawing the character: the text engine's own ink
    // extents miss what synthesised bold and italic faces add or take away.
    const int height = std::max(m_data->metrics.height, 1);
    const int pad = height; // room for ink beyond the advance on either side
    const int width = advance + 2 * pad;
    std::unique_ptr<cairo_surface_t, detail::CairoSurfaceDeleter> mask(
        cairo_image_surface_create(CAIRO_FORMAT_A8, width, height));
    std::unique_ptr<cairo_t, detail::CairoDeleter> cr(cairo_create(mask.get()));
    cairo_move_to(cr.get(), pad, 0);
    pango_cairo_show_layout(cr.get(), layout);
    cairo_surface_flush(mask.get());
    const unsigned char* bits = cairo_image_surface_get_data(mask.get());
    const int stride = cairo_image_surface_get_stride(mask.get());
    int left = width, right = 0;
    for (int y = 0; bits && y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (bits[static_cast<std::size_t>(y) * stride + x]) {
                left = std::min(left, x);
                right = std::max(right, x + 1);
            }
    if (right <= left) return {0, 0, advance};
    return {left - pad, right - left, advance - (right - pad)};
}

// --- Canvas text ---

namespace {

// Text with "&x" prefixes resolved: the text to show and the character
// indices to underline.
struct PrefixedText {
    std::wstring text;
    std::vector<std::size_t> underlined;
};

PrefixedText resolvePrefixes(std::wstring_view in) {
    PrefixedText out;
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] == L'&' && i + 1 < in.size()) {
            ++i;
            if (in[i] != L'&') out.underlined.push_back(out.text.size());
        } else if (in[i] == L'&') {
            continue; // a trailing '&' shows nothing
        }
        out.text.push_back(in[i]);
    }
    return out;
}

// Line breaks as the flags want them: removed for single lines, "\r\n" and
// lone "\r" made "\n" otherwise.
std::wstring normaliseBreaks(std::wstring_view in, bool singleLine) {
    std::wstring out;
    out.reserve(in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
        const wchar_t c = in[i];
        if (c == L'\r' || c == L'\n') {
            if (singleLine) continue;
            if (c == L'\r' && i + 1 < in.size() && in[i + 1] == L'\n') ++i;
            out.push_back(L'\n');
        } else {
            out.push_back(c);
        }
    }
    return out;
}

// Byte offsets of each character of 'text' in its UTF-8 form, plus the end.
std::vector<int> byteOffsets(std::wstring_view text) {
    std::vector<int> out;
    out.reserve(text.size() + 1);
    int byte = 0;
    for (wchar_t c : text) {
        out.push_back(byte);
        // A negative wchar_t is no code point: as a huge value it counts like
        // any out-of-range one (3 bytes, the replacement character).
        const auto u = static_cast<std::uint32_t>(c); // NOLINT(bugprone-signed-char-misuse)
        byte += u < 0x80 ? 1 : u < 0x800 ? 2 : (u < 0x10000 || u > 0x10FFFF) ? 3 : 4;
    }
    out.push_back(byte);
    return out;
}

struct LineBox {
    PangoLayoutLine* line;
    int x = 0;   // logical left inside the layout, pixels
    int top = 0; // relative to the layout top, pixels
    int height = 0;
    int baseline = 0; // relative to the layout top, pixels
    int width = 0;
};

std::vector<LineBox> linesOf(PangoLayout* layout) {
    std::vector<LineBox> lines;
    PangoLayoutIter* it = pango_layout_get_iter(layout);
    do {
        PangoRectangle logical;
        pango_layout_iter_get_line_extents(it, nullptr, &logical);
        LineBox box;
        box.line = pango_layout_iter_get_line_readonly(it);
        box.x = PANGO_PIXELS(logical.x);
        box.top = PANGO_PIXELS(logical.y);
        box.height = PANGO_PIXELS(logical.y + logical.height) - box.top;
        box.baseline = PANGO_PIXELS(pango_layout_iter_get_baseline(it));
        box.width = PANGO_PIXELS(logical.x + logical.width) - box.x;
        lines.push_back(box);
    } while (pango_layout_iter_next_line(it));
    pango_layout_iter_free(it);
    return lines;
}

void setSource(cairo_t* cr, Argb colour, bool honourAlpha) {
    const double a = honourAlpha ? ((colour >> 24) & 0xFF) / 255.0 : 1.0;
    cairo_set_source_rgba(cr, ((colour >> 16) & 0xFF) / 255.0, ((colour >> 8) & 0xFF) / 255.0, (colour & 0xFF) / 255.0,
                          a);
}

} // namespace

std::shared_ptr<const Font> Canvas::setFont(std::shared_ptr<const Font> font) {
    std::shared_ptr<const Font> previous = std::move(m_data->state.font);
    m_data->state.font = std::move(font);
    return previous;
}

const std::shared_ptr<const Font>& Canvas::font() const { return m_data->state.font; }
void Canvas::setTextColour(Argb colour) { m_data->state.textColour = colour; }
Argb Canvas::textColour() const { return m_data->state.textColour; }
void Canvas::setBackgroundColour(Argb colour) { m_data->state.backgroundColour = colour; }
void Canvas::setBackgroundMode(BackgroundMode mode) { m_data->state.backgroundMode = mode; }
BackgroundMode Canvas::backgroundMode() const { return m_data->state.backgroundMode; }

int Canvas::drawText(std::wstring_view textIn, Rect& rect, unsigned flags) {
    detail::CanvasData& d = *m_data;
    const std::shared_ptr<const Font> font = d.state.font ? d.state.font : Font::defaultGui();
    const FontData& fd = FontData::of(*font);
    const bool single = flags & DT_SINGLELINE;
    const bool calc = flags & DT_CALCRECT;

    PrefixedText shown;
    if (flags & DT_NOPREFIX)
        shown.text = normaliseBreaks(textIn, single);
    else
        shown = resolvePrefixes(normaliseBreaks(textIn, single));
    const std::wstring& text = shown.text;

    TextEngine& engine = TextEngine::instance();
    Lock lock(engine.mutex);
    PangoLayout* layout = fd.newLayout(engine.smooth);
    const std::string utf8 = toUtf8(text);
    pango_layout_set_text(layout, utf8.data(), static_cast<int>(utf8.size()));

    if (!single && (flags & DT_WORDBREAK)) {
        pango_layout_set_width(layout, std::max(1, rect.width()) * PANGO_SCALE);
        pango_layout_set_wrap(layout, PANGO_WRAP_WORD);
    }
    if (flags & DT_END_ELLIPSIS) {
        pango_layout_set_width(layout, std::max(1, rect.width()) * PANGO_SCALE);
        pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
        // Wrapped text ellipsises its last line that fits; otherwise every line.
        pango_layout_set_height(layout,
                                !single && (flags & DT_WORDBREAK) ? std::max(1, rect.height()) * PANGO_SCALE : -1);
    }
    if (!shown.underlined.empty()) {
        PangoAttrList* list = pango_attr_list_copy(fd.attributes);
        const std::vector<int> offsets = byteOffsets(text);
        for (std::size_t index : shown.underlined) {
            PangoAttribute* attr = pango_attr_underline_new(PANGO_UNDERLINE_SINGLE);
            attr->start_index = offsets[index];
            attr->end_index = offsets[index + 1];
            pango_attr_list_insert(list, attr);
        }
        pango_layout_set_attributes(layout, list);
        pango_attr_list_unref(list);
    }

    std::vector<LineBox> lines = linesOf(layout);
    PangoRectangle logical;
    pango_layout_get_extents(layout, nullptr, &logical);
    const int textHeight = PANGO_PIXELS(logical.y + logical.height) - PANGO_PIXELS(logical.y);
    int widest = 0;
    for (const LineBox& l : lines) widest = std::max(widest, l.width);

    if (calc) {
        g_object_unref(layout);
        rect.right = rect.left + widest;
        rect.bottom = rect.top + textHeight;
        return textHeight;
    }

    int top = rect.top;
    if (single && (flags & DT_VCENTER))
        top = rect.top + (rect.height() - textHeight) / 2;
    else if (single && (flags & DT_BOTTOM))
        top = rect.bottom - textHeight;

    if (cairo_t* cr = d.beginCairo()) {
        cairo_save(cr);
        if (!(flags & DT_NOCLIP)) {
            cairo_rectangle(cr, rect.left, rect.top, rect.width(), rect.height());
            cairo_clip(cr);
        }
        for (const LineBox& l : lines) {
            int x = rect.left;
            if (flags & DT_CENTER)
                x = rect.left + (rect.width() - l.width) / 2;
            else if (flags & DT_RIGHT)
                x = rect.right - l.width;
            if (d.state.backgroundMode == BackgroundMode::Opaque) {
                setSource(cr, d.state.backgroundColour, false);
                cairo_rectangle(cr, x, top + l.top, l.width, l.height);
                cairo_fill(cr);
            }
            setSource(cr, d.state.textColour, false);
            cairo_move_to(cr, x - l.x, top + l.baseline);
            pango_cairo_show_layout_line(cr, l.line);
        }
        cairo_restore(cr);
        d.finishCairo();
    }
    g_object_unref(layout);
    return textHeight;
}

void Canvas::textOut(Point topLeft, std::wstring_view text) {
    const std::shared_ptr<const Font> font = m_data->state.font ? m_data->state.font : Font::defaultGui();
    const Size extent = font->measure(text);
    Rect rect = Rect::fromSize(topLeft.x, topLeft.y, extent.cx, extent.cy);
    drawText(text, rect, DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP);
}

void Canvas::drawString(std::wstring_view text, const Font& font, const RectF& box, const StringFormat& format,
                        const LinearBrush& brush) {
    detail::CanvasData& d = *m_data;
    TextEngine& engine = TextEngine::instance();
    Lock lock(engine.mutex);
    const bool aliased = format.renderingHint == 1 || format.renderingHint == 2;
    PangoLayout* layout = FontData::of(font).newLayout(aliased ? engine.aliased : engine.smooth);
    const std::string utf8 = toUtf8(normaliseBreaks(text, format.noWrap));
    pango_layout_set_text(layout, utf8.data(), static_cast<int>(utf8.size()));
    if (!format.noWrap && box.width > 0) {
        pango_layout_set_width(layout, static_cast<int>(box.width * PANGO_SCALE));
        pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    }
    const std::vector<LineBox> lines = linesOf(layout);
    PangoRectangle logical;
    pango_layout_get_extents(layout, nullptr, &logical);
    const double textHeight = logical.height / double(PANGO_SCALE);
    double top = box.y;
    if (format.lineAlignment == StringFormat::Center)
        top += (box.height - textHeight) / 2;
    else if (format.lineAlignment == StringFormat::Far)
        top += box.height - textHeight;

    if (cairo_t* cr = d.beginCairo()) {
        cairo_save(cr);
        cairo_rectangle(cr, box.x, box.y, box.width, box.height);
        cairo_clip(cr);
        cairo_pattern_t* pattern = nullptr;
        if (brush.from == brush.to) {
            setSource(cr, brush.from, true);
        } else {
            pattern = cairo_pattern_create_linear(brush.p1.x, brush.p1.y, brush.p2.x, brush.p2.y);
            auto stop = [pattern](double offset, Argb c) {
                cairo_pattern_add_color_stop_rgba(pattern, offset, ((c >> 16) & 0xFF) / 255.0,
                                                  ((c >> 8) & 0xFF) / 255.0, (c & 0xFF) / 255.0,
                                                  ((c >> 24) & 0xFF) / 255.0);
            };
            stop(0, brush.from);
            stop(1, brush.to);
            cairo_pattern_set_extend(pattern, CAIRO_EXTEND_REPEAT);
            cairo_set_source(cr, pattern);
        }
        for (const LineBox& l : lines) {
            double x = box.x;
            if (format.alignment == StringFormat::Center)
                x += (box.width - l.width) / 2;
            else if (format.alignment == StringFormat::Far)
                x += box.width - l.width;
            cairo_move_to(cr, x - l.x, top + l.baseline);
            pango_cairo_show_layout_line(cr, l.line);
        }
        if (pattern) cairo_pattern_destroy(pattern);
        cairo_restore(cr);
        d.finishCairo();
    }
    g_object_unref(layout);
}

} // namespace platform

// Leak-checker suppressions for sanitizer builds. fontconfig keeps its
// configuration and font caches for the life of the process and frees them
// only in FcFini, which nothing may call while pango still holds fonts; those
// blocks are reported as leaks at exit. This file is linked whenever text is
// used, which is when fontconfig is loaded. One definition per program: add
// further library-owned caches here rather than defining the hook again.
#if defined(__SANITIZE_ADDRESS__)
extern "C" const char* __lsan_default_suppressions() {
    // libdbus: the session-bus connection SDL opens for input methods lives
    // as long as the process.
    return "leak:libfontconfig.so\n"
           "leak:libdbus-1.so\n";
}
#endif
