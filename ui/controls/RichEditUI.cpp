// CRichEditUI: line layout, scrolling, painting, keys, mouse, clipboard and
// the notices of the framework's multi-line edit.
//
// Index: line layout · settings · layout and geometry · editing operations ·
// events · painting.
#include "ui/controls/RichEditUI.h"

#include "ui/core/AttributeValues.h"
#include "ui/core/FormManagerUI.h"
#include "ui/core/ManagerDrawing.h"
#include "ui/layout/ScrollBarUI.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

using namespace platform;

namespace {

// Extra highlight after a selected line's end, so that a selected line break shows.
constexpr int kBreakMarkWidth = 6;
// Width given to rich text that is not wrapped: wide enough for any line.
constexpr int kUnwrappedWidth = 1 << 20;

bool isBlank(wchar_t ch) { return ch == L' ' || ch == L'\t'; }

} // namespace

// --- Line layout ---------------------------------------------------------------------------

std::vector<TRichEditLine> layOutRichEditLines(std::wstring_view text, const Font& font, int wrapWidth) {
    std::vector<TRichEditLine> out;
    std::size_t lineStart = 0;
    while (true) {
        const std::size_t found = text.find(L'\n', lineStart);
        const std::size_t lineEnd = found == std::wstring_view::npos ? text.size() : found;
        const std::wstring_view logical = text.substr(lineStart, lineEnd - lineStart);
        const std::vector<int> carets = font.caretPositions(logical);
        std::size_t s = 0; // offset in the logical line
        do {
            std::size_t e = logical.size();
            if (wrapWidth > 0) {
                std::size_t fit = s;
                while (fit < logical.size() && carets[fit + 1] - carets[s] <= wrapWidth) ++fit;
                if (fit == s && fit < logical.size()) fit = s + 1; // at least one character
                if (fit < logical.size()) {
                    // Spaces at the break hang on the line they end.
                    std::size_t k = fit;
                    while (k < logical.size() && isBlank(logical[k])) ++k;
                    if (k < logical.size() && !isBlank(logical[k - 1])) {
                        for (std::size_t b = fit; b > s + 1; --b)
                            if (isBlank(logical[b - 1])) {
                                k = b;
                                break;
                            }
                    }
                    e = k;
                }
            }
            TRichEditLine line;
            line.start = lineStart + s;
            line.end = lineStart + e;
            line.next = line.end;
            line.carets.assign(carets.begin() + static_cast<std::ptrdiff_t>(s),
                               carets.begin() + static_cast<std::ptrdiff_t>(e) + 1);
            const int origin = line.carets.front();
            for (int& x : line.carets) x -= origin;
            out.push_back(std::move(line));
            s = e;
        } while (s < logical.size());
        if (found == std::wstring_view::npos) break;
        out.back().next = found + 1;
        lineStart = found + 1;
    }
    return out;
}

// --- Settings ----------------------------------------------------------------------------------

CRichEditUI::CRichEditUI() {
    enableScrollBars(/*vertical=*/true, /*horizontal=*/true);
    m_model.setLimit(0);
}

CRichEditUI::~CRichEditUI() {
    if (m_manager && m_focused) setTextInputArea(m_manager->hostWindow(), Rect{});
}

std::wstring_view CRichEditUI::typeName() const { return L"RichEdit"; }

void* CRichEditUI::castTo(std::wstring_view name) {
    if (name == L"RichEdit") return this;
    return CContainerUI::castTo(name);
}

unsigned CRichEditUI::behaviourFlags() const {
    return m_enabled ? ControlFlags::TabStop | ControlFlags::SetCursor : 0u;
}

const CStringUI& CRichEditUI::textValue() const { return m_text; }

void CRichEditUI::assignText(std::wstring_view text) {
    m_model.assign(text);
    m_text = m_rich ? CStringUI(text) : CStringUI(m_model.text());
    m_goalX = -1;
    m_linkCount = 0;
    relayout(true);
    scrollTo(0, 0);
}

void CRichEditUI::assignEnabled(bool enabled) {
    CContainerUI::assignEnabled(enabled);
    if (!enabled) m_selecting = false;
}

void CRichEditUI::assignWordWrap(bool on) {
    if (m_wordWrap == on) return;
    m_wordWrap = on;
    scheduleLayout();
}

void CRichEditUI::assignReadOnly(bool on) {
    if (m_readOnly == on) return;
    m_readOnly = on;
    m_model.setReadOnly(m_readOnly || m_rich);
    invalidate();
}

void CRichEditUI::assignPassword(bool on) {
    if (m_password == on) return;
    m_password = on;
    scheduleLayout();
}

void CRichEditUI::assignPasswordChar(wchar_t ch) {
    if (m_passwordChar == ch || ch == 0) return;
    m_passwordChar = ch;
    if (m_password) scheduleLayout();
}

void CRichEditUI::assignMaxChars(int count) { m_model.setLimit(count <= 0 ? 0 : static_cast<std::size_t>(count)); }

void CRichEditUI::assignNumberOnly(bool on) { m_model.setNumbersOnly(on); }

void CRichEditUI::assignRich(bool on) {
    if (m_rich == on) return;
    m_rich = on;
    m_model.setReadOnly(m_readOnly || m_rich);
    assignText(m_text.view());
}

void CRichEditUI::assignFont(int id) {
    if (m_font == id) return;
    m_font = id;
    scheduleLayout();
}

void CRichEditUI::assignTextColour(Argb colour) {
    if (m_textColour == colour) return;
    m_textColour = colour;
    invalidate();
}

void CRichEditUI::assignDisabledTextColour(Argb colour) {
    if (m_disabledTextColour == colour) return;
    m_disabledTextColour = colour;
    invalidate();
}

void CRichEditUI::assignSelectedTextColour(Argb colour) {
    if (m_selectedTextColour == colour) return;
    m_selectedTextColour = colour;
    invalidate();
}

void CRichEditUI::assignSelectedBkColour(Argb colour) {
    if (m_selectedBkColour == colour) return;
    m_selectedBkColour = colour;
    invalidate();
}

void CRichEditUI::assignTextPadding(const Rect& padding) {
    if (m_textPadding == padding) return;
    m_textPadding = padding;
    scheduleLayout();
}

CStringUI CRichEditUI::readAttribute(std::wstring_view name) const {
    const auto flag = [](bool on) { return CStringUI(on ? L"true" : L"false"); };
    if (name == L"wanttab") return flag(m_wantTab);
    if (name == L"wantreturn") return flag(m_wantReturn);
    if (name == L"readonly") return flag(m_readOnly);
    if (name == L"rich") return flag(m_rich);
    if (name == L"wordwrap") return flag(m_wordWrap);
    if (name == L"password") return flag(m_password);
    if (name == L"numberonly") return flag(numberOnly());
    if (name == L"text") return m_text;
    return CContainerUI::readAttribute(name);
}

void CRichEditUI::applyAttribute(std::wstring_view name, std::wstring_view value) {
    if (name == L"text")
        assignText(value);
    else if (name == L"font")
        assignFont(attr::parseInt(value));
    else if (name == L"textcolor")
        assignTextColour(attr::parseColour(value));
    else if (name == L"disabledtextcolor")
        assignDisabledTextColour(attr::parseColour(value));
    else if (name == L"selectedtextcolor")
        assignSelectedTextColour(attr::parseColour(value));
    else if (name == L"selectedbkcolor")
        assignSelectedBkColour(attr::parseColour(value));
    else if (name == L"textpadding")
        assignTextPadding(attr::parseRect(value));
    else if (name == L"wordwrap")
        assignWordWrap(attr::parseBool(value));
    else if (name == L"readonly")
        assignReadOnly(attr::parseBool(value));
    else if (name == L"password")
        assignPassword(attr::parseBool(value));
    else if (name == L"passwordchar")
        assignPasswordChar(value.empty() ? 0 : value.front());
    else if (name == L"maxchar")
        assignMaxChars(attr::parseInt(value));
    else if (name == L"numberonly")
        assignNumberOnly(attr::parseBool(value));
    else if (name == L"wanttab")
        assignWantTab(attr::parseBool(value));
    else if (name == L"wantreturn")
        assignWantReturn(attr::parseBool(value));
    else if (name == L"rich")
        assignRich(attr::parseBool(value));
    else
        CContainerUI::applyAttribute(name, value);
}

// --- Layout and geometry ------------------------------------------------------------------------

std::wstring CRichEditUI::shownText() const {
    std::wstring shown = m_model.text();
    if (m_password)
        for (wchar_t& ch : shown)
            if (ch != L'\n') ch = m_passwordChar;
    return shown;
}

const Font* CRichEditUI::currentFont() const {
    if (!m_manager) return Font::defaultGui().get();
    return m_manager->fontInfo(m_font).font.get();
}

Rect CRichEditUI::textArea() const {
    const Rect client = innerBounds();
    const Rect pad = toDevice(m_textPadding);
    Rect r{client.left + pad.left, client.top + pad.top, client.right - pad.right, client.bottom - pad.bottom};
    if (r.right < r.left) r.right = r.left;
    if (r.bottom < r.top) r.bottom = r.top;
    return r;
}

Size CRichEditUI::richExtent(int wrapWidth) {
    if (!m_manager || m_text.isEmpty()) return {};
    Surface scratch(1, 1);
    Canvas canvas(scratch);
    Rect r{0, 0, wrapWidth > 0 ? wrapWidth : kUnwrappedWidth, INT_MAX / 4};
    int none = 0;
    render::drawRichText(canvas, m_manager, r, m_text.view(), m_textColour, nullptr, nullptr, none, m_font,
                         (m_wordWrap ? DT_WORDBREAK : 0u) | DT_CALCRECT);
    return {r.width(), r.height()};
}

void CRichEditUI::layOut(const Rect& client) {
    const Rect pad = toDevice(m_textPadding);
    const int wrapWidth = std::max(1, client.width() - pad.left - pad.right);
    const Font* font = currentFont();
    m_lineHeight = font ? font->metrics().height : 0;
    if (m_rich) {
        m_lines.clear();
        m_content = richExtent(m_wordWrap ? wrapWidth : 0);
        return;
    }
    if (!font) return;
    m_lines = layOutRichEditLines(shownText(), *font, m_wordWrap ? wrapWidth : 0);
    int widest = 0;
    for (const TRichEditLine& line : m_lines) widest = std::max(widest, line.width());
    // Room for the caret after the longest line, unless wrapping keeps every line inside.
    m_content = {m_wordWrap ? std::min(widest, wrapWidth) : widest + 1,
                 static_cast<int>(m_lines.size()) * m_lineHeight};
}

void CRichEditUI::place(Rect rect, bool needInvalidate) {
    const Rect client = placeClientArea(rect, needInvalidate);
    layOut(client);
    const Rect pad = toDevice(m_textPadding);
    fitScrollBars(client, m_content.cx + pad.left + pad.right, m_content.cy + pad.top + pad.bottom);
}

std::size_t CRichEditUI::lineIndexOf(std::size_t position) const {
    if (m_lines.empty()) return 0;
    // The last line starting at or before the position: a position where a
    // wrapped line ends belongs to the line it starts.
    auto it = std::upper_bound(m_lines.begin(), m_lines.end(), position,
                               [](std::size_t p, const TRichEditLine& line) { return p < line.start; });
    return it == m_lines.begin() ? 0 : static_cast<std::size_t>(it - m_lines.begin()) - 1;
}

Rect CRichEditUI::caretRect(std::size_t position) const {
    const Rect area = textArea();
    const Size off = scrollOffset();
    if (m_lines.empty()) return Rect::fromSize(area.left - off.cx, area.top - off.cy, 1, m_lineHeight);
    const std::size_t index = lineIndexOf(position);
    const TRichEditLine& line = m_lines[index];
    const std::size_t column = std::min(position, line.end) - line.start;
    const int x = area.left - off.cx + line.carets[column];
    const int y = area.top - off.cy + static_cast<int>(index) * m_lineHeight;
    return Rect::fromSize(x, y, 1, m_lineHeight);
}

std::size_t CRichEditUI::positionAt(Point point) const {
    if (m_lines.empty() || m_lineHeight <= 0) return 0;
    const Rect area = textArea();
    const Size off = scrollOffset();
    const int y = point.y - area.top + off.cy;
    const int row = std::clamp(y < 0 ? -1 : y / m_lineHeight, 0, static_cast<int>(m_lines.size()) - 1);
    const TRichEditLine& line = m_lines[static_cast<std::size_t>(row)];
    const int x = point.x - area.left + off.cx;
    std::size_t best = 0;
    int bestDistance = INT_MAX;
    for (std::size_t i = 0; i < line.carets.size(); ++i) {
        const int d = std::abs(x - line.carets[i]);
        if (d < bestDistance) {
            best = i;
            bestDistance = d;
        }
    }
    // The end of a wrapped line is the start of the next: stay on this one.
    if (best > 0 && line.start + best == line.end && line.next == line.end && line.end < m_model.text().size()) --best;
    return line.start + best;
}

void CRichEditUI::ensureCaretVisible() {
    if (m_rich || m_lines.empty()) return;
    const Rect area = textArea();
    const Size off = scrollOffset();
    const Rect caret = caretRect(m_model.caret());
    // Content coordinates of the caret.
    const int cx = caret.left - area.left + off.cx;
    const int cy = caret.top - area.top + off.cy;
    int x = off.cx, y = off.cy;
    if (cx < x) x = cx;
    if (cx + 1 > x + area.width()) x = cx + 1 - area.width();
    if (cy < y) y = cy;
    if (cy + m_lineHeight > y + area.height()) y = cy + m_lineHeight - area.height();
    if (x != off.cx || y != off.cy) scrollTo(std::max(0, x), std::max(0, y));
}

Rect CRichEditUI::linkRect(int index) const { return index >= 0 && index < m_linkCount ? m_links[index] : Rect{}; }

CStringUI CRichEditUI::linkTarget(int index) const {
    return index >= 0 && index < m_linkCount ? m_linkTargets[index] : CStringUI();
}

int CRichEditUI::linkAt(Point point) const {
    if (!m_rich || !textArea().contains(point)) return -1;
    for (int i = 0; i < m_linkCount; ++i)
        if (m_links[i].contains(point)) return i;
    return -1;
}

// --- Editing operations -----------------------------------------------------------------------

void CRichEditUI::restartCaret() {
    if (!m_focused || !m_manager) return;
    m_caretShown = true;
    m_manager->stopTimer(this, kCaretTimer);
    m_manager->startTimer(this, kCaretTimer, std::max(50u, caretBlinkTime()));
}

void CRichEditUI::updateInputArea() {
    if (!m_focused || !m_manager || !m_manager->hostWindow()) return;
    Rect caret = caretRect(m_model.caret());
    if (caret.isEmpty()) caret = Rect::fromSize(caret.left, caret.top, 1, 1);
    setTextInputArea(m_manager->hostWindow(), caret);
}

bool CRichEditUI::afterChange(EditChange change) {
    if (change == EditChange::None) return true;
    if (change == EditChange::Text) {
        m_text = m_model.text();
        relayout(true);
    }
    ensureCaretVisible();
    restartCaret();
    updateInputArea();
    invalidate();
    if (m_manager) m_manager->sendNotice(this, change == EditChange::Text ? L"textchanged" : L"selchanged");
    return true;
}

void CRichEditUI::select(long long from, long long to) {
    m_goalX = -1;
    afterChange(m_model.select(from, to));
}

void CRichEditUI::replaceSelection(std::wstring_view text) {
    if (!editable()) return;
    m_goalX = -1;
    afterChange(m_model.insert(text));
}

void CRichEditUI::undo() {
    if (!editable()) return;
    afterChange(m_model.undo());
}

void CRichEditUI::redo() {
    if (!editable()) return;
    afterChange(m_model.redo());
}

void CRichEditUI::copy() {
    // A password is never handed out, and rich text is not selectable.
    if (m_password || m_rich || !m_model.hasSelection()) return;
    setClipboardText(m_model.selectedText());
}

void CRichEditUI::cut() {
    if (m_password || !editable() || !m_model.hasSelection()) return;
    if (!setClipboardText(m_model.selectedText())) return; // nothing is lost when the clipboard refuses
    afterChange(m_model.eraseSelection());
}

void CRichEditUI::paste() {
    if (!editable()) return;
    const std::wstring text = clipboardText();
    if (!text.empty()) afterChange(m_model.insert(text));
}

void CRichEditUI::moveVertically(int lines, SelectionMode mode) {
    if (m_lines.empty()) return;
    const std::size_t index = lineIndexOf(m_model.caret());
    const TRichEditLine& from = m_lines[index];
    if (m_goalX < 0) m_goalX = from.carets[std::min(m_model.caret(), from.end) - from.start];
    const long long target =
        std::clamp<long long>(static_cast<long long>(index) + lines, 0, static_cast<long long>(m_lines.size()) - 1);
    std::size_t position;
    if (target == static_cast<long long>(index)) {
        // Past the first or last line: to the text's start or end.
        position = lines < 0 ? 0 : m_model.text().size();
    } else {
        const Rect area = textArea();
        const Size off = scrollOffset();
        const Point p{area.left - off.cx + m_goalX,
                      area.top - off.cy + static_cast<int>(target) * m_lineHeight + m_lineHeight / 2};
        position = positionAt(p);
    }
    afterChange(m_model.placeCaret(position, mode)); // keeps m_goalX for the next Up or Down
}

// --- Events -----------------------------------------------------------------------------------

bool CRichEditUI::onKeyDown(const TInputEventUI& event) {
    const bool shift = (event.keyState & KeyStateBits::Shift) != 0;
    const bool ctrl = (event.keyState & KeyStateBits::Control) != 0;
    const SelectionMode mode = shift ? SelectionMode::Extend : SelectionMode::Collapse;
    const CaretStep step = ctrl ? CaretStep::Word : CaretStep::Character;
    if (m_rich) return false; // the container scrolls
    const int page = m_lineHeight > 0 ? std::max(1, textArea().height() / m_lineHeight) : 1;
    const unsigned vk = event.keyChar;
    if (vk != VK_UP && vk != VK_DOWN && vk != VK_PRIOR && vk != VK_NEXT && vk != VK_SHIFT && vk != VK_CONTROL)
        m_goalX = -1;
    switch (vk) {
    case VK_LEFT:
        afterChange(m_model.moveLeft(step, mode));
        return true;
    case VK_RIGHT:
        afterChange(m_model.moveRight(step, mode));
        return true;
    case VK_UP:
        moveVertically(-1, mode);
        return true;
    case VK_DOWN:
        moveVertically(1, mode);
        return true;
    case VK_PRIOR:
        moveVertically(-page, mode);
        return true;
    case VK_NEXT:
        moveVertically(page, mode);
        return true;
    case VK_HOME:
    case VK_END: {
        if (ctrl) {
            afterChange(vk == VK_HOME ? m_model.moveHome(mode) : m_model.moveEnd(mode));
            return true;
        }
        if (m_lines.empty()) return true;
        const TRichEditLine& line = m_lines[lineIndexOf(m_model.caret())];
        std::size_t target = vk == VK_HOME ? line.start : line.end;
        // The end of a wrapped line is drawn at the next line's start: stop before it.
        if (vk == VK_END && line.next == line.end && line.end < m_model.text().size() && target > line.start) --target;
        afterChange(m_model.placeCaret(target, mode));
        return true;
    }
    case VK_DELETE:
        if (shift)
            cut();
        else if (editable())
            afterChange(m_model.eraseNext());
        return true;
    case VK_INSERT:
        if (ctrl)
            copy();
        else if (shift)
            paste();
        return true;
    default:
        return false;
    }
}

bool CRichEditUI::onChar(wchar_t ch) {
    switch (ch) {
    case 0x01: // Ctrl+A
        if (!m_rich) select(0, -1);
        return true;
    case 0x03: // Ctrl+C
        copy();
        return true;
    case 0x16: // Ctrl+V
        paste();
        return true;
    case 0x18: // Ctrl+X
        cut();
        return true;
    case 0x1A: // Ctrl+Z
        undo();
        return true;
    case 0x19: // Ctrl+Y
        redo();
        return true;
    case 0x08: // Backspace
        if (editable()) afterChange(m_model.erasePrevious());
        return true;
    case L'\r':
        if (!m_wantReturn) {
            if (m_manager) m_manager->sendNotice(this, L"return");
        } else if (editable()) {
            afterChange(m_model.typeChar(L'\n'));
        }
        return true;
    case L'\t':
        // Shift+Tab still leaves an edit that takes tabs, so the keyboard never traps the user.
        if (keyState(VK_SHIFT) < 0) {
            if (m_manager) m_manager->focusNextTabStop(/*forward=*/false);
        } else if (m_wantTab && editable()) {
            afterChange(m_model.typeChar(L'\t'));
        }
        return true;
    default:
        break;
    }
    if (ch < 0x20 || !editable()) return true;
    m_goalX = -1;
    afterChange(m_model.typeChar(ch));
    return true;
}

bool CRichEditUI::onMouse(const TInputEventUI& event) {
    const SelectionMode mode = (event.keyState & KeyStateBits::Shift) ? SelectionMode::Extend : SelectionMode::Collapse;
    switch (event.kind) {
    case UiEventKind::ButtonDown:
        if (m_rich) return true; // a link reacts on release
        m_selecting = true;
        m_goalX = -1;
        afterChange(m_model.placeCaret(positionAt(event.mousePos), mode));
        return true;
    case UiEventKind::DoubleClick:
        if (m_rich) return true;
        m_selecting = false;
        afterChange(m_model.selectWordAt(positionAt(event.mousePos)));
        return true;
    case UiEventKind::MouseMove:
        if (m_rich) {
            const int link = linkAt(event.mousePos);
            if (link != m_hoverLink) {
                m_hoverLink = link;
                invalidate();
            }
        } else if (m_selecting) {
            afterChange(m_model.placeCaret(positionAt(event.mousePos), SelectionMode::Extend));
        }
        return true;
    case UiEventKind::ButtonUp:
        m_selecting = false;
        if (m_rich && m_enabled) {
            const int link = linkAt(event.mousePos);
            if (link >= 0 && m_manager) m_manager->sendNotice(this, L"link", static_cast<WParam>(link));
        }
        return true;
    default:
        return false;
    }
}

void CRichEditUI::handleEvent(TInputEventUI& event) {
    if (!m_mouseEnabled && isMouseEvent(event.kind)) {
        CContainerUI::handleEvent(event);
        return;
    }
    switch (event.kind) {
    case UiEventKind::SetCursor:
        if (m_enabled) {
            setCursor(linkAt(event.mousePos) >= 0 ? CursorShape::Hand
                      : m_rich                    ? CursorShape::Arrow
                                                  : CursorShape::IBeam);
            return;
        }
        break;
    case UiEventKind::SetFocus:
        m_focused = true;
        restartCaret();
        updateInputArea();
        invalidate();
        return;
    case UiEventKind::Composition:
        m_composition.clear();
        m_compositionCursor = 0;
        if (m_enabled && editable()) m_composition = compositionText(&m_compositionCursor);
        invalidate();
        return;
    case UiEventKind::KillFocus:
        m_focused = false;
        m_composition.clear();
        m_selecting = false;
        m_caretShown = false;
        if (m_manager) {
            m_manager->stopTimer(this, kCaretTimer);
            if (m_manager->hostWindow()) setTextInputArea(m_manager->hostWindow(), Rect{});
        }
        invalidate();
        return;
    case UiEventKind::Timer:
        if (event.wparam == kCaretTimer) {
            m_caretShown = !m_caretShown && m_focused;
            invalidate();
            return;
        }
        break;
    case UiEventKind::KeyDown:
        if (m_enabled && onKeyDown(event)) return;
        break;
    case UiEventKind::Char:
        if (m_enabled && onChar(static_cast<wchar_t>(event.wparam))) return;
        break;
    case UiEventKind::ButtonDown:
    case UiEventKind::DoubleClick:
    case UiEventKind::MouseMove:
    case UiEventKind::ButtonUp:
        if (m_enabled && onMouse(event)) return;
        break;
    case UiEventKind::MouseLeave:
        if (m_hoverLink >= 0) {
            m_hoverLink = -1;
            invalidate();
        }
        break;
    default:
        break;
    }
    CContainerUI::handleEvent(event);
}

// --- Painting --------------------------------------------------------------------------------

void CRichEditUI::drawTextPart(Canvas& canvas) {
    if (!m_manager) return;
    if (m_textColour == 0) m_textColour = m_manager->defaultTextColour();
    if (m_disabledTextColour == 0) m_disabledTextColour = m_manager->disabledTextColour();
    const Argb colour = m_enabled ? m_textColour : m_disabledTextColour;
    const Rect area = textArea();
    if (area.isEmpty()) return;
    const Size off = scrollOffset();
    CanvasSaveScope saved(canvas);
    canvas.intersectClipRect(area);

    if (m_rich) {
        Rect r{area.left - off.cx, area.top - off.cy,
               area.left - off.cx + (m_wordWrap ? area.width() : kUnwrappedWidth),
               area.top - off.cy + std::max(m_content.cy, area.height())};
        int count = kMaxLinks;
        render::drawRichText(canvas, m_manager, r, m_text.view(), colour, m_links, m_linkTargets, count, m_font,
                             m_wordWrap ? DT_WORDBREAK : 0u);
        m_linkCount = count;
        return;
    }

    FontHandle font = m_manager->fontInfo(m_font).font;
    if (!font || m_lineHeight <= 0) return;
    canvas.setFont(font);
    canvas.setBackgroundMode(BackgroundMode::Transparent);
    const std::wstring shown = shownText();
    const std::size_t selStart = m_model.selectionStart();
    const std::size_t selEnd = m_model.selectionEnd();
    const Rect clip = area.intersect(m_paintRect);
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        const TRichEditLine& line = m_lines[i];
        if (line.end > shown.size()) break; // a layout older than the text: the next layout redraws
        const int top = area.top - off.cy + static_cast<int>(i) * m_lineHeight;
        if (top >= clip.bottom) break;
        if (top + m_lineHeight <= clip.top) continue;
        const int left = area.left - off.cx;
        const std::wstring_view text = std::wstring_view(shown).substr(line.start, line.end - line.start);
        canvas.setTextColour(colour);
        if (!text.empty()) canvas.textOut({left, top}, text);

        // The selected part again, in the selected colours.
        const std::size_t s = std::max(selStart, line.start);
        const std::size_t e = std::min(selEnd, line.end);
        const bool breakSelected = line.next > line.end && selStart <= line.end && selEnd > line.end;
        if (selStart == selEnd || (s >= e && !breakSelected)) continue;
        const int x0 = left + line.carets[std::min(s, line.end) - line.start];
        const int x1 = left + line.carets[std::max(e, s) - line.start] + (breakSelected ? kBreakMarkWidth : 0);
        const Rect sel{x0, top, x1, top + m_lineHeight};
        CanvasSaveScope selection(canvas);
        canvas.intersectClipRect(sel);
        canvas.fillRect(sel, m_selectedBkColour);
        canvas.setTextColour(m_selectedTextColour);
        if (!text.empty()) canvas.textOut({left, top}, text);
    }
    if (m_focused && !m_composition.empty()) {
        drawComposition(canvas, *font, colour);
    } else if (m_focused && m_caretShown && m_enabled) {
        const Rect caret = caretRect(m_model.caret());
        canvas.fillRect(caret, colour);
    }
}

void CRichEditUI::drawComposition(Canvas& canvas, const Font& font, Argb colour) {
    // Over the text after the caret, on the edit's own background, underlined.
    const Rect at = caretRect(m_model.caret());
    const std::vector<int> carets = font.caretPositions(m_composition);
    const Rect box{at.left, at.top, at.left + carets.back() + 1, at.top + m_lineHeight};
    canvas.fillRect(box, (m_bkColour >> 24) == 0xFF ? m_bkColour : 0xFFFFFFFF);
    canvas.setTextColour(colour);
    canvas.textOut({at.left, at.top}, m_composition);
    canvas.fillRect({box.left, box.bottom - 1, box.right - 1, box.bottom}, colour);
    if (m_caretShown) {
        const int x = at.left + carets[static_cast<std::size_t>(
                                    std::clamp(m_compositionCursor, 0, static_cast<int>(m_composition.size())))];
        canvas.fillRect({x, box.top, x + 1, box.bottom - 1}, colour);
    }
}
