// Rich text: a small tag language laid out line by line, each line measured
// first and then drawn from the same saved state.
//
// Tags are "<x ...>" or "{x ...}" with a lower-case letter x; "</x>" or "{/x}"
// closes one. Escapes: "<{>" "<}>" give "{" "}", "{<}" "{>}" give "<" ">".
#include "ui/render/RenderEngine.h"

#include "ui/core/FormManagerUI.h"
#include "ui/render/Colour.h"

#include <algorithm>
#include <cstring>
#include <clocale>
#include <cwctype>
#include <locale.h>
#include <string>
#include <unordered_map>
#include <vector>

using platform::Argb;
using platform::Canvas;
using platform::Point;
using platform::Rect;

namespace render {
namespace {

// Ids of fonts that rich text creates for itself; shared by all windows.
int g_nextPrivateFontId = 30000;

enum class VAlign { Bottom, Center, Top };

struct FontState {
    FontHandle font;
    std::wstring face;
    int size = 0;
    bool bold = false, underline = false, italic = false, strikeout = false;
    int height = 0; // line height of the font: height plus external leading
    int maxCharWidth = 0;
};

FontState fontStateOf(const FontRecord& r) {
    FontState s;
    s.font = r.font;
    s.face = r.face;
    s.size = r.size;
    s.bold = r.bold;
    s.underline = r.underline;
    s.italic = r.italic;
    s.strikeout = r.strikeout;
    s.height = r.metrics.height + r.metrics.externalLeading;
    s.maxCharWidth = r.metrics.maxCharWidth;
    return s;
}

// Everything a line's drawing pass must start from exactly as its measuring
// pass did.
struct LayoutState {
    std::vector<FontState> fonts;
    std::vector<Argb> colours;
    std::vector<int> spacing;
    std::vector<VAlign> valign;
    bool raw = false;
    bool selection = false;
    bool linkOpen = false;
    std::wstring linkTarget;
};

struct LinkPiece {
    Rect rect;
    std::wstring target;
};

// Breaking a run with word break: after a space or any character that is
// not a letter or digit (of any script).
bool isBreakAfter(wchar_t c) {
    if (c == L' ') return true;
    if (c < 0x80) return !((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'));
    static locale_t unicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    if (!unicode) return false;
    return iswalnum_l(static_cast<wint_t>(c), unicode) == 0;
}

bool isLower(wchar_t c) { return c >= L'a' && c <= L'z'; }

int parseInt(std::wstring_view s) {
    std::size_t i = 0;
    while (i < s.size() && s[i] >= 1 && s[i] <= 32) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == L'-' || s[i] == L'+')) negative = s[i++] == L'-';
    long long v = 0;
    while (i < s.size() && s[i] >= L'0' && s[i] <= L'9') {
        if (v < 100000000) v = v * 10 + (s[i] - L'0');
        ++i;
    }
    return static_cast<int>(negative ? -v : v);
}

std::vector<std::wstring_view> splitSpaces(std::wstring_view s) {
    std::vector<std::wstring_view> out;
    std::size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && s[i] == L' ') ++i;
        std::size_t start = i;
        while (i < s.size() && s[i] != L' ') ++i;
        if (i > start) out.push_back(s.substr(start, i - start));
    }
    return out;
}

// Widths of runs already measured during one call: the alignment pre-pass,
// the measuring pass and the drawing pass ask for the same runs.
class WidthCache {
public:
    int width(const FontHandle& font, std::wstring_view run) {
        if (!font) return 0;
        // Key: the font's address in the first units, then the run.
        constexpr std::size_t kPrefix = (sizeof(void*) + sizeof(wchar_t) - 1) / sizeof(wchar_t);
        std::wstring key(kPrefix, L'\0');
        const void* p = font.get();
        std::memcpy(key.data(), &p, sizeof p);
        key.append(run);
        auto [it, fresh] = m_widths.try_emplace(std::move(key), 0);
        if (fresh) it->second = font->measure(run).cx;
        return it->second;
    }

private:
    std::unordered_map<std::wstring, int> m_widths;
};

class RichTextLayout {
public:
    RichTextLayout(Canvas& canvas, CFormManagerUI& manager, const Rect& rect, std::wstring_view text, Argb colour,
                   Rect* links, CStringUI* targets, int capacity, int fontId, unsigned flags, WidthCache& widths)
        : m_widths(widths), m_canvas(canvas), m_manager(manager), m_rect(rect), m_text(text), m_links(links),
          m_targets(targets), m_capacity(std::max(capacity, 0)), m_flags(flags) {
        m_calc = flags & platform::DT_CALCRECT;
        m_state.fonts.push_back(fontStateOf(manager.fontInfo(fontId)));
        m_state.colours.push_back(colour);
        m_state.spacing.push_back(0);
        m_state.valign.push_back(VAlign::Bottom);
        findHoveredLink();
    }

    // Lays out (and unless measuring, draws) all lines. Returns the extent
    // reached: right = widest position, bottom = last line or lowest image.
    Rect run() {
        std::size_t pos = 0;
        int y = m_rect.top;
        int widest = m_rect.left;
        int lowest = m_rect.top;
        while (pos < m_text.size()) {
            LayoutState saved = m_state;
            Line measured = layoutLine(pos, y, /*draw=*/false, 0, 0);
            widest = std::max(widest, measured.right);
            lowest = std::max({lowest, y + measured.height, measured.lowestImage});
            int offset = 0;
            if (!m_calc && !(m_flags & platform::DT_SINGLELINE)) {
                int lineWidth = measured.right - m_rect.left;
                if (m_flags & platform::DT_CENTER)
                    offset = (m_rect.width() - lineWidth) / 2;
                else if (m_flags & platform::DT_RIGHT)
                    offset = m_rect.width() - lineWidth;
            }
            storeLinks(measured, y, offset);
            if (!m_calc) {
                m_state = std::move(saved);
                layoutLine(pos, y, /*draw=*/true, offset, measured.height, measured.end);
            }
            // Every line consumes text, so the loop always ends.
            pos = std::max(measured.end, pos + 1);
            y += measured.height;
            if (m_flags & platform::DT_SINGLELINE) break;
            if (y >= m_rect.bottom) break;
        }
        return {m_rect.left, m_rect.top, std::min(widest, m_rect.right), lowest};
    }

    int linksFound() const { return m_linkIndex; }

private:
    struct Line {
        std::size_t end = 0;
        int right = 0; // x reached
        int height = 0;
        int lowestImage = 0;
        std::vector<LinkPiece> links;
    };

    const FontState& font() const { return m_state.fonts.back(); }
    int spacing() const { return m_state.spacing.back(); }

    void findHoveredLink() {
        Point mouse = m_manager.lastMousePosition();
        for (int i = 0; i < m_capacity && m_links && m_targets; ++i) {
            if (m_links[i].contains(mouse)) {
                m_hovered = m_targets[i].toStd();
                m_hasHovered = true;
                return;
            }
        }
    }

    void storeLinks(Line& line, int y, int offset) {
        for (LinkPiece& link : line.links) {
            link.rect = link.rect.offset(offset, 0);
            link.rect.top = y;
            link.rect.bottom = y + line.height;
            if (m_linkIndex < m_capacity) {
                if (m_links) m_links[m_linkIndex] = link.rect;
                if (m_targets) m_targets[m_linkIndex] = link.target;
                ++m_linkIndex;
            }
        }
    }

    int placeY(int lineTop, int lineHeight, int itemHeight) const {
        switch (m_state.valign.back()) {
        case VAlign::Top:
            return lineTop;
        case VAlign::Center:
            return lineTop + (lineHeight - itemHeight) / 2;
        case VAlign::Bottom:
            break;
        }
        return lineTop + lineHeight - itemHeight;
    }

    FontState variant(bool bold, bool underline, bool italic) {
        const FontState& cur = font();
        FontHandle handle = m_manager.findFont(cur.face, cur.size, bold, underline, italic, cur.strikeout);
        if (!handle)
            handle = m_manager.addFont(g_nextPrivateFontId++, cur.face, cur.size, bold, underline, italic,
                                       cur.strikeout, /*shared=*/false);
        if (!handle) return cur;
        return fontStateOf(m_manager.fontInfoOf(handle));
    }

    FontState fontFromArgument(std::wstring_view arg) {
        std::vector<std::wstring_view> words = splitSpaces(arg);
        if (words.empty()) return font();
        if (words[0][0] >= L'0' && words[0][0] <= L'9') return fontStateOf(m_manager.fontInfo(parseInt(words[0])));
        std::wstring face(words[0]);
        int size = 10;
        bool bold = false, underline = false, italic = false, strikeout = false;
        for (std::size_t i = 1; i < words.size(); ++i) {
            if (words[i] == L"bold")
                bold = true;
            else if (words[i] == L"underline")
                underline = true;
            else if (words[i] == L"italic")
                italic = true;
            else if (words[i] == L"strikeout")
                strikeout = true;
            else if (words[i][0] >= L'0' && words[i][0] <= L'9')
                size = parseInt(words[i]);
        }
        FontHandle handle = m_manager.findFont(face, size, bold, underline, italic, strikeout);
        if (!handle)
            handle = m_manager.addFont(g_nextPrivateFontId++, face, size, bold, underline, italic, strikeout,
                                       /*shared=*/false);
        if (!handle) return font();
        return fontStateOf(m_manager.fontInfoOf(handle));
    }

    void pushFont(FontState f) { m_state.fonts.push_back(std::move(f)); }
    void popFont() {
        if (m_state.fonts.size() > 1) m_state.fonts.pop_back();
    }
    void popColour() {
        if (m_state.colours.size() > 1) m_state.colours.pop_back();
    }

    // An inline image: "name [count [index]]" or description entries
    // (file='...', res='...', restype='...') followed by the numbers.
    struct InlineImage {
        ImageHandle image;
        int frameWidth = 0;
        int frameIndex = 0;
    };
    InlineImage inlineImage(std::wstring_view arg) {
        InlineImage out;
        std::wstring_view description = arg, numbers;
        std::size_t lastQuote = arg.rfind(L'\'');
        if (lastQuote != std::wstring_view::npos) {
            description = arg.substr(0, lastQuote + 1);
            numbers = arg.substr(lastQuote + 1);
        } else {
            std::size_t space = arg.find(L' ');
            if (space != std::wstring_view::npos) {
                description = arg.substr(0, space);
                numbers = arg.substr(space + 1);
            }
        }
        ParsedImageDescription parsed = parseImageDescription(description);
        if (parsed.name.empty()) return out;
        out.image =
            m_manager.findOrLoadImage(parsed.name, parsed.type.empty() ? nullptr : parsed.type.c_str(), parsed.mask);
        if (!out.image) return out;
        std::vector<std::wstring_view> n = splitSpaces(numbers);
        int count = n.size() > 0 ? parseInt(n[0]) : 1;
        if (count < 1) count = 1;
        int index = n.size() > 1 ? parseInt(n[1]) : 0;
        if (index < 0 || index >= count) index = 0;
        out.frameWidth = out.image->width / count;
        out.frameIndex = index;
        return out;
    }

    void applyTextState(bool selection) {
        m_canvas.setFont(font().font);
        m_canvas.setTextColour(substituteBlack(m_state.colours.back()));
        m_canvas.setBackgroundMode(selection ? platform::BackgroundMode::Opaque
                                             : platform::BackgroundMode::Transparent);
    }

    void drawRun(std::wstring_view run, int x, int lineTop, int lineHeight) {
        if (run.empty()) return;
        applyTextState(m_state.selection);
        m_canvas.textOut({x, placeY(lineTop, lineHeight, font().height)}, run);
    }

    // Lays out one line from `pos`. Measuring: finds its end, width, height
    // and links. Drawing: outputs at x + offset with the measured height and
    // stops at the measured end.
    Line layoutLine(std::size_t pos, int lineTop, bool draw, int offset, int drawHeight,
                    std::size_t stopAt = std::wstring_view::npos) {
        Line line;
        const int left = m_rect.left, right = m_rect.right;
        int x = left;
        int height = font().height + spacing();
        bool empty = true;
        int linkStart = left;
        auto lineHeight = [&] { return draw ? drawHeight : height; };
        auto raise = [&] { height = std::max(height, font().height + spacing()); };
        auto closeLinkPiece = [&] {
            if (!draw)
                line.links.push_back(
                    {{linkStart, lineTop, std::min(x, right), lineTop + font().height}, m_state.linkTarget});
        };
        if (m_state.linkOpen) linkStart = x;

        const std::wstring_view t = m_text;
        bool ended = false;
        while (pos < t.size() && pos < stopAt && !ended) {
            wchar_t c = t[pos];
            if (c == L'\n') {
                ++pos;
                break;
            }
            if (c == L'\r') {
                ++pos;
                continue;
            }
            // Raw mode: everything up to the raw end marker is text.
            std::size_t runEnd;
            std::wstring_view literal;
            if (m_state.raw) {
                std::size_t a = t.find(L"</r>", pos), b = t.find(L"{/r}", pos);
                std::size_t marker = std::min(a, b);
                if (marker == pos) {
                    m_state.raw = false;
                    pos += 4;
                    continue;
                }
                runEnd = std::min({marker, t.find(L'\n', pos), t.size()});
            } else if (c == L'<' || c == L'{') {
                // Escapes.
                if (pos + 2 < t.size() && t[pos + 2] == (c == L'<' ? L'>' : L'}')) {
                    wchar_t e = t[pos + 1];
                    static const wchar_t* kMapped[] = {L"{", L"}", L"<", L">"};
                    const wchar_t* mapped = nullptr;
                    if (c == L'<' && e == L'{') mapped = kMapped[0];
                    if (c == L'<' && e == L'}') mapped = kMapped[1];
                    if (c == L'{' && e == L'<') mapped = kMapped[2];
                    if (c == L'{' && e == L'>') mapped = kMapped[3];
                    if (mapped) {
                        literal = mapped;
                        runEnd = pos + 3;
                        goto text_run;
                    }
                }
                // Closing tag.
                if (pos + 3 < t.size() && t[pos + 1] == L'/' && isLower(t[pos + 2]) &&
                    (t[pos + 3] == L'>' || t[pos + 3] == L'}')) {
                    wchar_t tag = t[pos + 2];
                    pos += 4;
                    switch (tag) {
                    case L'a':
                        if (m_state.linkOpen) {
                            closeLinkPiece();
                            m_state.linkOpen = false;
                            popColour();
                            popFont();
                        }
                        break;
                    case L'b':
                    case L'f':
                    case L'i':
                    case L'u':
                        popFont();
                        break;
                    case L'c':
                        popColour();
                        break;
                    case L'p':
                        if (!empty) {
                            ended = true;
                        }
                        if (m_state.spacing.size() > 1) m_state.spacing.pop_back();
                        break;
                    case L's':
                        m_state.selection = false;
                        break;
                    case L'v':
                        if (m_state.valign.size() > 1) m_state.valign.pop_back();
                        break;
                    default:
                        break;
                    }
                    continue;
                }
                // Opening tag.
                if (pos + 2 < t.size() && isLower(t[pos + 1]) &&
                    (t[pos + 2] == L' ' || t[pos + 2] == L'>' || t[pos + 2] == L'}')) {
                    wchar_t tag = t[pos + 1];
                    std::size_t argStart = pos + 2;
                    if (t[argStart] == L' ') ++argStart;
                    std::size_t argEnd = t.find_first_of(L">}", pos + 2);
                    if (argEnd == std::wstring_view::npos) argEnd = t.size();
                    std::wstring_view arg = argStart < argEnd ? t.substr(argStart, argEnd - argStart) : L"";
                    std::size_t after = std::min(argEnd + 1, t.size());
                    if (tag == L'i' && !arg.empty()) {
                        InlineImage img = inlineImage(arg);
                        if (img.image && img.frameWidth > 0) {
                            int w = img.frameWidth, h = img.image->height;
                            if (x + w > right && !empty && !m_calc) {
                                ended = true; // the image starts the next line
                                continue;
                            }
                            height = std::max(height, h);
                            line.lowestImage = std::max(line.lowestImage, lineTop + h);
                            if (draw) {
                                Rect dest{x + offset, placeY(lineTop, lineHeight(), h), 0, 0};
                                dest.right = dest.left + w;
                                dest.bottom = dest.top + h;
                                Rect src{img.frameIndex * w, 0, img.frameIndex * w + w, h};
                                drawBitmap(m_canvas, img.image->bitmap, dest, dest, src, {},
                                           {.hasAlpha = img.image->hasAlpha});
                            }
                            x += w;
                            empty = false;
                        }
                        pos = after;
                        continue;
                    }
                    pos = after;
                    switch (tag) {
                    case L'a': {
                        if (m_state.linkOpen) {
                            closeLinkPiece();
                            popColour();
                            popFont();
                        }
                        m_state.linkOpen = true;
                        m_state.linkTarget = arg;
                        linkStart = x;
                        bool hover = m_hasHovered && m_hovered == m_state.linkTarget;
                        m_state.colours.push_back(hover ? m_manager.linkHoverColour() : m_manager.linkColour());
                        const FontState& cur = font();
                        pushFont(cur.underline ? cur : variant(cur.bold, true, cur.italic));
                        raise();
                        break;
                    }
                    case L'b': {
                        const FontState& cur = font();
                        pushFont(cur.bold ? cur : variant(true, cur.underline, cur.italic));
                        raise();
                        break;
                    }
                    case L'i': {
                        const FontState& cur = font();
                        pushFont(cur.italic ? cur : variant(cur.bold, cur.underline, true));
                        raise();
                        break;
                    }
                    case L'u': {
                        const FontState& cur = font();
                        pushFont(cur.underline ? cur : variant(cur.bold, true, cur.italic));
                        raise();
                        break;
                    }
                    case L'c':
                        m_state.colours.push_back(parseColour(arg));
                        break;
                    case L'f':
                        pushFont(fontFromArgument(arg));
                        raise();
                        break;
                    case L'n':
                        ended = true;
                        break;
                    case L'p':
                        if (!empty) ended = true;
                        m_state.spacing.push_back(parseInt(arg));
                        if (empty) raise();
                        break;
                    case L'r':
                        m_state.raw = true;
                        break;
                    case L's':
                        m_state.selection = true;
                        break;
                    case L'v': {
                        std::wstring lower(arg);
                        for (wchar_t& ch : lower) ch = static_cast<wchar_t>(std::towlower(ch));
                        m_state.valign.push_back(lower == L"center" ? VAlign::Center
                                                 : lower == L"top"  ? VAlign::Top
                                                                    : VAlign::Bottom);
                        break;
                    }
                    case L'x':
                        x += parseInt(arg);
                        break;
                    case L'y':
                        height = parseInt(arg);
                        break;
                    default:
                        break;
                    }
                    if (x >= right && !empty) ended = true;
                    continue;
                }
                // Not a tag: ordinary text from here.
                runEnd = t.find_first_of(L"<{\n", pos + 1);
                if (runEnd == std::wstring_view::npos) runEnd = t.size();
            } else {
                runEnd = t.find_first_of(L"<{\n", pos);
                if (runEnd == std::wstring_view::npos) runEnd = t.size();
            }
            literal = t.substr(pos, runEnd - pos);

        text_run:
            raise();
            {
                const FontState& f = font();
                std::wstring_view run = literal;
                int width = m_widths.width(f.font, run);
                std::size_t consumed = runEnd - pos; // text positions used
                bool cut = false;
                if (x + width > right && run.size() >= 1) {
                    // Find how many characters fit; the one that crosses the
                    // edge is dropped unless it is the only one.
                    std::vector<int> carets = f.font->caretPositions(run);
                    std::size_t fit = 0;
                    while (fit < run.size() && x + carets[fit + 1] <= right) ++fit;
                    if (fit == 0 && empty) fit = 1;
                    if (fit < run.size()) {
                        cut = true;
                        if (m_flags & platform::DT_WORDBREAK) {
                            for (std::size_t k = fit; k-- > 0;)
                                if (isBreakAfter(run[k])) {
                                    fit = k + 1;
                                    break;
                                }
                        }
                        if (m_flags & platform::DT_END_ELLIPSIS) {
                            std::size_t keep = fit >= 2 ? fit - 2 : 0;
                            if (draw) {
                                drawRun(run.substr(0, keep), x + offset, lineTop, lineHeight());
                                int w = m_widths.width(f.font, run.substr(0, keep));
                                drawRun(L"...", x + offset + w, lineTop, lineHeight());
                            }
                            x = right;
                            // The rest of the run is not shown on a later line.
                            pos += consumed;
                            empty = false;
                            ended = true;
                            continue;
                        }
                        run = run.substr(0, fit);
                        width = carets[fit];
                        // An escape stands for one character but spans three.
                        bool inText = literal.data() == t.data() + pos;
                        consumed = inText ? fit : (fit == 0 ? 0 : consumed);
                    }
                }
                if (draw) drawRun(run, x + offset, lineTop, lineHeight());
                x += width;
                pos += consumed;
                if (!run.empty()) empty = false;
                if (cut || x >= right) ended = true;
            }
        }
        if (m_state.linkOpen) {
            // The link goes on over the line end as a new rectangle.
            closeLinkPiece();
        }
        line.end = pos;
        line.right = x;
        line.height = height;
        return line;
    }

    WidthCache& m_widths;
    Canvas& m_canvas;
    CFormManagerUI& m_manager;
    Rect m_rect;
    std::wstring_view m_text;
    Rect* m_links;
    CStringUI* m_targets;
    int m_capacity;
    unsigned m_flags;
    bool m_calc = false;
    LayoutState m_state;
    std::wstring m_hovered;
    bool m_hasHovered = false;
    int m_linkIndex = 0;
};

} // namespace

namespace {

void layOutRichText(Canvas& canvas, CFormManagerUI* manager, Rect& rect, std::wstring_view expanded, Argb colour,
                    Rect* links, CStringUI* linkTargets, int& linkCount, int fontId, unsigned flags,
                    WidthCache& widths) {
    const bool calc = flags & platform::DT_CALCRECT;
    const unsigned alignFlags = platform::DT_CENTER | platform::DT_RIGHT | platform::DT_VCENTER | platform::DT_BOTTOM;

    if ((flags & alignFlags) && !calc) {
        const bool single = flags & platform::DT_SINGLELINE;
        Rect probe = single ? Rect{0, 0, 9999, 100} : Rect{0, 0, rect.width(), rect.height()};
        int none = 0;
        layOutRichText(canvas, manager, probe, expanded, colour, nullptr, nullptr, none, fontId,
                       flags | platform::DT_CALCRECT, widths);
        int w = probe.width(), h = probe.height();
        if (single) {
            if (flags & platform::DT_CENTER) {
                rect.left += (rect.width() - w) / 2;
                rect.right = rect.left + w;
            } else if (flags & platform::DT_RIGHT) {
                rect.left = rect.right - w;
            }
            if (flags & platform::DT_VCENTER) {
                rect.top += (rect.height() - h) / 2;
                rect.bottom = rect.top + h;
            } else if (flags & platform::DT_BOTTOM) {
                rect.top = rect.bottom - h;
            }
        }
    }

    int level = canvas.save();
    canvas.setBackgroundColour(manager->selectedColour());
    canvas.setBackgroundMode(platform::BackgroundMode::Transparent);
    if (!calc) canvas.intersectClipRect(rect);
    RichTextLayout layout(canvas, *manager, rect, expanded, colour, links, linkTargets, linkCount, fontId, flags,
                          widths);
    Rect extent = layout.run();
    canvas.restoreTo(level);
    linkCount = layout.linksFound();
    if (calc) {
        rect.right = extent.right;
        rect.bottom = extent.bottom;
    }
}

} // namespace

void drawRichText(Canvas& canvas, CFormManagerUI* manager, Rect& rect, std::wstring_view text, Argb colour, Rect* links,
                  CStringUI* linkTargets, int& linkCount, int fontId, unsigned flags) {
    if (!manager) {
        linkCount = 0;
        return;
    }
    CStringUI expanded(text);
    CFormManagerUI::expandTextIds(expanded);
    WidthCache widths;
    layOutRichText(canvas, manager, rect, expanded.view(), substituteBlack(colour), links, linkTargets, linkCount,
                   fontId, flags, widths);
}

} // namespace render
