// Rich text: a small tag language laid out line by line, each line measured
// first and then drawn from the same saved state.
//
// Tags are "<x ...>" or "{x ...}" with a lower-case letter x; "</x>" or "{/x}"
// closes one. Escapes: "<{>" "<}>" give "{" "}", "{<}" "{>}" give "<" ">".
#include "ui/render/RenderEngine.h"

#include "ui/render/SkinResources.h"
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
    RichTextLayout(Canvas& canvas, CSkinResourcesUI& resources, Point hover, const Rect& rect, std::wstring_view text,
                   Argb colour, Rect* links, CStringUI* targets, int capacity, int fontId, unsigned flags,
                   WidthCache& widths)
        : m_widths(widths), m_canvas(canvas), m_resources(resources), m_hover(hover), m_rect(rect), m_text(text),
          m_links(links), m_targets(targets), m_capacity(std::max(capacity, 0)), m_flags(flags) {
        m_calc = flags & platform::DT_CALCRECT;
        m_state.fonts.push_back(fontStateOf(resources.fontInfo(fontId)));
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
        for (int i = 0; i < m_capacity && m_links && m_targets; ++i) {
            if (m_links[i].contains(m_hover)) {
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
        FontHandle handle = m_resources.findFont(cur.face, cur.size, bold, underline, italic, cur.strikeout);
        if (!handle)
            handle = m_resources.addFont(g_nextPrivateFontId++, cur.face, cur.size, bold, underline, italic,
                                         cur.strikeout, /*shared=*/false);
        if (!handle) return cur;
        return fontStateOf(m_resources.fontInfoOf(handle));
    }

    FontState fontFromArgument(std::wstring_view arg) {
        std::vector<std::wstring_view> words = splitSpaces(arg);
        if (words.empty()) return font();
        if (words[0][0] >= L'0' && words[0][0] <= L'9') return fontStateOf(m_resources.fontInfo(parseInt(words[0])));
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
        FontHandle handle = m_resources.findFont(face, size, bold, underline, italic, strikeout);
        if (!handle)
            handle = m_resources.addFont(g_nextPrivateFontId++, face, size, bold, underline, italic, strikeout,
                                         /*shared=*/false);
        if (!handle) return font();
        return fontStateOf(m_resources.fontInfoOf(handle));
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
            m_resources.findOrLoadImage(parsed.name, parsed.type.empty() ? nullptr : parsed.type.c_str(), parsed.mask);
        if (!out.image) return out;
        std::vector<std::wstring_view> n = splitSpaces(numbers);
        int count = !n.empty() ? parseInt(n[0]) : 1;
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

    // Where one pass over a line stands: the measuring pass fills `line`,
    // the drawing pass outputs at the measured height, shifted by `offset`.
    struct LineCursor {
        std::size_t pos = 0; // next text position
        int lineTop = 0;
        bool draw = false;
        int offset = 0;     // drawing: the line's alignment offset
        int drawHeight = 0; // drawing: the measured line height
        int x = 0;          // position reached
        int height = 0;     // line height so far
        int linkStart = 0;  // where the open link's rectangle starts
        bool empty = true;  // nothing shown on the line yet
        bool ended = false; // the line ends before the next item
        Line line;

        int lineHeight() const { return draw ? drawHeight : height; }
    };

    void pushFont(LineCursor& c, FontState f) {
        const FontState before = font();
        m_state.fonts.push_back(std::move(f));
        leaveItalic(c, before);
    }
    void popFont(LineCursor& c) {
        if (m_state.fonts.size() <= 1) return;
        const FontState before = font();
        m_state.fonts.pop_back();
        leaveItalic(c, before);
    }
    // Italic letters lean past their advance: upright text after them starts
    // half a space (its trailing width in the italic font) further on.
    void leaveItalic(LineCursor& c, const FontState& before) {
        if (before.italic && !font().italic && before.font) c.x += before.font->glyphWidths(L' ').trailing / 2;
    }

    // Raises the line to the current font and paragraph spacing.
    void raise(LineCursor& c) const { c.height = std::max(c.height, font().height + spacing()); }

    // Measuring: ends the open link's rectangle at the current position.
    void closeLinkPiece(LineCursor& c) {
        if (!c.draw)
            c.line.links.push_back(
                {{c.linkStart, c.lineTop, std::min(c.x, m_rect.right), c.lineTop + font().height}, m_state.linkTarget});
    }

    // Lays out one line from `pos`. Measuring: finds its end, width, height
    // and links. Drawing: outputs at x + offset with the measured height and
    // stops at the measured end.
    Line layoutLine(std::size_t pos, int lineTop, bool draw, int offset, int drawHeight,
                    std::size_t stopAt = std::wstring_view::npos) {
        LineCursor c;
        c.pos = pos;
        c.lineTop = lineTop;
        c.draw = draw;
        c.offset = offset;
        c.drawHeight = drawHeight;
        c.x = c.linkStart = m_rect.left;
        c.height = font().height + spacing();

        const std::wstring_view t = m_text;
        while (c.pos < t.size() && c.pos < stopAt && !c.ended) {
            const wchar_t ch = t[c.pos];
            if (ch == L'\n') {
                ++c.pos;
                break;
            }
            if (ch == L'\r') {
                ++c.pos;
                continue;
            }
            if (m_state.raw) {
                rawText(c);
                continue;
            }
            if (ch == L'<' || ch == L'{') {
                if (const wchar_t* mapped = escapeAt(c.pos)) {
                    textRun(c, mapped, c.pos + 3);
                    continue;
                }
                if (closingTag(c) || openingTag(c)) continue;
            }
            // Ordinary text up to the next possible tag or line feed; a "<" or
            // "{" here starts no tag, so it belongs to the text.
            const std::size_t end = std::min(t.find_first_of(L"<{\n", c.pos + 1), t.size());
            textRun(c, t.substr(c.pos, end - c.pos), end);
        }
        // A link open at the line end goes on over it as a new rectangle.
        if (m_state.linkOpen) closeLinkPiece(c);
        c.line.end = c.pos;
        c.line.right = c.x;
        c.line.height = c.height;
        return std::move(c.line);
    }

    // The character an escape at `pos` stands for, or null: "<{>" "<}>" give
    // "{" "}", "{<}" "{>}" give "<" ">".
    const wchar_t* escapeAt(std::size_t pos) const {
        const std::wstring_view t = m_text;
        const wchar_t open = t[pos];
        if (pos + 2 >= t.size() || t[pos + 2] != (open == L'<' ? L'>' : L'}')) return nullptr;
        const wchar_t e = t[pos + 1];
        if (open == L'<' && e == L'{') return L"{";
        if (open == L'<' && e == L'}') return L"}";
        if (open == L'{' && e == L'<') return L"<";
        if (open == L'{' && e == L'>') return L">";
        return nullptr;
    }

    // Raw mode: everything up to the raw end marker (or the line end) is text.
    void rawText(LineCursor& c) {
        const std::wstring_view t = m_text;
        const std::size_t marker = std::min(t.find(L"</r>", c.pos), t.find(L"{/r}", c.pos));
        if (marker == c.pos) {
            m_state.raw = false;
            c.pos += 4;
            return;
        }
        const std::size_t end = std::min({marker, t.find(L'\n', c.pos), t.size()});
        textRun(c, t.substr(c.pos, end - c.pos), end);
    }

    // A closing tag "</x>" or "{/x}" at the cursor: consumed and applied.
    // False when none stands there.
    bool closingTag(LineCursor& c) {
        const std::wstring_view t = m_text;
        const std::size_t pos = c.pos;
        if (pos + 3 >= t.size() || t[pos + 1] != L'/' || !isLower(t[pos + 2]) ||
            (t[pos + 3] != L'>' && t[pos + 3] != L'}'))
            return false;
        const wchar_t tag = t[pos + 2];
        c.pos += 4;
        switch (tag) {
        case L'a':
            if (m_state.linkOpen) {
                closeLinkPiece(c);
                m_state.linkOpen = false;
                popColour();
                popFont(c);
            }
            break;
        case L'b':
        case L'f':
        case L'i':
        case L'u':
            popFont(c);
            break;
        case L'c':
            popColour();
            break;
        case L'p':
            if (!c.empty) c.ended = true;
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
        return true;
    }

    // An opening tag "<x arg>" or "{x arg}" at the cursor: consumed and
    // applied. False when none stands there.
    bool openingTag(LineCursor& c) {
        const std::wstring_view t = m_text;
        const std::size_t pos = c.pos;
        if (pos + 2 >= t.size() || !isLower(t[pos + 1]) ||
            (t[pos + 2] != L' ' && t[pos + 2] != L'>' && t[pos + 2] != L'}'))
            return false;
        const wchar_t tag = t[pos + 1];
        std::size_t argStart = pos + 2;
        if (t[argStart] == L' ') ++argStart;
        const std::size_t argEnd = std::min(t.find_first_of(L">}", pos + 2), t.size());
        const std::wstring_view arg = argStart < argEnd ? t.substr(argStart, argEnd - argStart) : L"";
        const std::size_t after = std::min(argEnd + 1, t.size());
        if (tag == L'i' && !arg.empty()) {
            placeImage(c, arg, after);
            return true;
        }
        c.pos = after;
        switch (tag) {
        case L'a': {
            if (m_state.linkOpen) {
                closeLinkPiece(c);
                popColour();
                popFont(c);
            }
            m_state.linkOpen = true;
            m_state.linkTarget = arg;
            c.linkStart = c.x;
            const bool hover = m_hasHovered && m_hovered == m_state.linkTarget;
            m_state.colours.push_back(hover ? m_resources.linkHoverColour() : m_resources.linkColour());
            const FontState& cur = font();
            pushFont(c, cur.underline ? cur : variant(cur.bold, true, cur.italic));
            raise(c);
            break;
        }
        case L'b': {
            const FontState& cur = font();
            pushFont(c, cur.bold ? cur : variant(true, cur.underline, cur.italic));
            raise(c);
            break;
        }
        case L'i': {
            const FontState& cur = font();
            pushFont(c, cur.italic ? cur : variant(cur.bold, cur.underline, true));
            raise(c);
            break;
        }
        case L'u': {
            const FontState& cur = font();
            pushFont(c, cur.underline ? cur : variant(cur.bold, true, cur.italic));
            raise(c);
            break;
        }
        case L'c':
            m_state.colours.push_back(parseColour(arg));
            break;
        case L'f':
            pushFont(c, fontFromArgument(arg));
            raise(c);
            break;
        case L'n':
            c.ended = true;
            break;
        case L'p':
            if (!c.empty) c.ended = true;
            m_state.spacing.push_back(parseInt(arg));
            if (c.empty) raise(c);
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
            c.x += parseInt(arg);
            break;
        case L'y':
            c.height = parseInt(arg);
            break;
        default:
            break;
        }
        if (c.x >= m_rect.right && !c.empty) c.ended = true;
        return true;
    }

    // An inline image tag: one frame at its own size in skin units (its
    // pixels / density × the window's scale). One that does not fit a line
    // already holding something starts the next line (the tag is read again there).
    void placeImage(LineCursor& c, std::wstring_view arg, std::size_t after) {
        InlineImage img = inlineImage(arg);
        if (img.image && img.frameWidth > 0) {
            const int sw = img.frameWidth, sh = img.image->height;
            const double k = m_resources.scale() / img.image->density;
            const int w = k == 1.0 ? sw : std::max(1, static_cast<int>(std::lround(sw * k)));
            const int h = k == 1.0 ? sh : std::max(1, static_cast<int>(std::lround(sh * k)));
            if (c.x + w > m_rect.right && !c.empty && !m_calc) {
                c.ended = true;
                return;
            }
            c.height = std::max(c.height, h);
            c.line.lowestImage = std::max(c.line.lowestImage, c.lineTop + h);
            if (c.draw) {
                Rect dest{c.x + c.offset, placeY(c.lineTop, c.lineHeight(), h), 0, 0};
                dest.right = dest.left + w;
                dest.bottom = dest.top + h;
                Rect src{img.frameIndex * sw, 0, img.frameIndex * sw + sw, sh};
                drawBitmap(m_canvas, img.image->bitmap, dest, dest, src, {}, {.hasAlpha = img.image->hasAlpha});
            }
            c.x += w;
            c.empty = false;
        }
        c.pos = after;
    }

    // Text from the cursor to `runEnd`, shown as `literal` (an escape shows
    // one character for three). What does not fit is cut: at the last break
    // with word break, with "..." and the rest of the run dropped with an
    // ellipsis; the line then ends.
    void textRun(LineCursor& c, std::wstring_view literal, std::size_t runEnd) {
        raise(c);
        const FontState& f = font();
        const int right = m_rect.right;
        std::wstring_view run = literal;
        int width = m_widths.width(f.font, run);
        std::size_t consumed = runEnd - c.pos; // text positions used
        bool cut = false;
        if (c.x + width > right && !run.empty()) {
            // Find how many characters fit; the one that crosses the edge is
            // dropped unless it is the only one.
            const std::vector<int> carets = f.font->caretPositions(run);
            std::size_t fit = 0;
            while (fit < run.size() && c.x + carets[fit + 1] <= right) ++fit;
            if (fit == 0 && c.empty) fit = 1;
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
                    const std::size_t keep = fit >= 2 ? fit - 2 : 0;
                    if (c.draw) {
                        drawRun(run.substr(0, keep), c.x + c.offset, c.lineTop, c.lineHeight());
                        const int w = m_widths.width(f.font, run.substr(0, keep));
                        drawRun(L"...", c.x + c.offset + w, c.lineTop, c.lineHeight());
                    }
                    c.x = right;
                    c.pos += consumed; // the rest of the run is not shown on a later line
                    c.empty = false;
                    c.ended = true;
                    return;
                }
                run = run.substr(0, fit);
                width = carets[fit];
                const bool inText = literal.data() == m_text.data() + c.pos;
                consumed = inText ? fit : (fit == 0 ? 0 : consumed);
            }
        }
        if (c.draw) drawRun(run, c.x + c.offset, c.lineTop, c.lineHeight());
        c.x += width;
        c.pos += consumed;
        if (!run.empty()) c.empty = false;
        if (cut || c.x >= right) c.ended = true;
    }

    WidthCache& m_widths;
    Canvas& m_canvas;
    CSkinResourcesUI& m_resources;
    Point m_hover; // where the mouse is: a link under it is drawn hovered
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

void layOutRichText(Canvas& canvas, CSkinResourcesUI& resources, Point hover, Rect& rect, std::wstring_view expanded,
                    Argb colour, Rect* links, CStringUI* linkTargets, int& linkCount, int fontId, unsigned flags,
                    WidthCache& widths) {
    const bool calc = flags & platform::DT_CALCRECT;
    const unsigned alignFlags = platform::DT_CENTER | platform::DT_RIGHT | platform::DT_VCENTER | platform::DT_BOTTOM;

    // The caller's rectangle is the clip: alignment may move the layout
    // rectangle beyond it when the text is larger than the box.
    platform::CanvasSaveScope saved(canvas);
    if (!calc) canvas.intersectClipRect(rect);

    if ((flags & alignFlags) && !calc) {
        const bool single = flags & platform::DT_SINGLELINE;
        Rect probe = single ? Rect{0, 0, 9999, 100} : Rect{0, 0, rect.width(), rect.height()};
        int none = 0;
        layOutRichText(canvas, resources, hover, probe, expanded, colour, nullptr, nullptr, none, fontId,
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

    canvas.setBackgroundColour(resources.selectedColour());
    canvas.setBackgroundMode(platform::BackgroundMode::Transparent);
    RichTextLayout layout(canvas, resources, hover, rect, expanded, colour, links, linkTargets, linkCount, fontId,
                          flags, widths);
    Rect extent = layout.run();
    saved.restore();
    linkCount = layout.linksFound();
    if (calc) {
        rect.right = extent.right;
        rect.bottom = extent.bottom;
    }
}

} // namespace

void drawRichText(Canvas& canvas, CSkinResourcesUI& resources, Point hover, Rect& rect, std::wstring_view text,
                  Argb colour, Rect* links, CStringUI* linkTargets, int& linkCount, int fontId, unsigned flags) {
    CStringUI expanded(text);
    CSkinResourcesUI::expandTextIds(expanded);
    WidthCache widths;
    layOutRichText(canvas, resources, hover, rect, expanded.view(), substituteBlack(colour), links, linkTargets,
                   linkCount, fontId, flags, widths);
}

} // namespace render
