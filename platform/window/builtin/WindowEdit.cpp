// The built-in single-line "Edit" window class: its window procedure,
// drawing, caret, clipboard and notifications to the parent.
#include "platform/window/builtin/WindowEdit.h"

#include "platform/graphics/Graphics.h"
#include "platform/window/Window.h"
#include "platform/window/backend/WindowBackend.h"
#include "platform/window/builtin/EditModel.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace platform::detail {

namespace {

// Window property holding an edit's state (the framework keeps its own
// pointers in the user data and in other properties).
constexpr const wchar_t* kStateProp = L"quellan.edit";
constexpr std::uintptr_t kCaretTimer = 0xEDC1;
constexpr int kDefaultMargin = 1;

constexpr Argb kSystemBackground = 0xFFFFFFFF;
constexpr Argb kSystemReadOnlyBackground = 0xFFF0F0F0;
constexpr Argb kSystemText = 0xFF000000;
constexpr Argb kSystemDisabledText = 0xFF6D6D6D;
constexpr Argb kHighlight = 0xFF0078D7;
constexpr Argb kHighlightText = 0xFFFFFFFF;

// Everything one edit window keeps besides its text model. UI thread only.
struct EditState {
    EditModel model;
    const Font* font = nullptr; // not owned (WM_SETFONT)
    wchar_t passwordChar = 0;
    int marginLeft = kDefaultMargin;
    int marginRight = kDefaultMargin;
    int scroll = 0; // pixels of text hidden on the left
    bool focused = false;
    bool caretShown = false;
    bool selecting = false; // left button held after a click in the text
};

EditState* stateOf(WindowHandle w) { return static_cast<EditState*>(windowProp(w, kStateProp)); }

const Font& fontOf(const EditState& s) { return s.font ? *s.font : *Font::defaultGui(); }

std::wstring displayText(const EditState& s) {
    if (s.passwordChar) return std::wstring(s.model.text().size(), s.passwordChar);
    return s.model.text();
}

// The part of the client area text is drawn in.
Rect textArea(WindowHandle w, const EditState& s) {
    const Rect c = clientRect(w);
    Rect r{c.left + s.marginLeft, c.top, c.right - s.marginRight, c.bottom};
    if (r.right < r.left) r.right = r.left;
    return r;
}

// Where the text starts (x) and its caret offsets.
struct Layout {
    Rect area;
    std::wstring shown;
    std::vector<int> carets; // shown.size() + 1 offsets
    int originX = 0;         // client x of caret offset 0
    int top = 0;             // client y of the line
    int lineHeight = 0;
    int xOf(std::size_t i) const { return originX + carets[std::min(i, carets.size() - 1)]; }
};

Layout layoutOf(WindowHandle w, EditState& s) {
    Layout l;
    l.area = textArea(w, s);
    l.shown = displayText(s);
    const Font& font = fontOf(s);
    l.carets = font.caretPositions(l.shown);
    if (l.carets.empty()) l.carets.push_back(0);
    l.lineHeight = font.metrics().height;
    l.top = l.area.top + std::max(0, (l.area.height() - l.lineHeight) / 2);
    const int textWidth = l.carets.back();
    const int areaWidth = l.area.width();
    const unsigned style = windowStyle(w);
    if (textWidth < areaWidth) {
        // Fits: aligned, never scrolled.
        s.scroll = 0;
        int offset = 0;
        if (style & ES_CENTER)
            offset = (areaWidth - textWidth) / 2;
        else if (style & ES_RIGHT)
            offset = areaWidth - textWidth - 1;
        l.originX = l.area.left + offset;
        return l;
    }
    // Keep the caret in view, and no empty space after the text end.
    const int caretX = l.carets[std::min(s.model.caret(), l.carets.size() - 1)];
    const int maxScroll = textWidth - areaWidth + 1;
    if (caretX - s.scroll < 0) s.scroll = caretX;
    if (caretX - s.scroll > areaWidth - 1) s.scroll = caretX - areaWidth + 1;
    s.scroll = std::clamp(s.scroll, 0, std::max(0, maxScroll));
    l.originX = l.area.left - s.scroll;
    return l;
}

// Client x of the caret: at its character boundary, kept inside the text area.
int caretX(const Layout& l, const EditState& s) { return std::min(l.xOf(s.model.caret()), l.area.right - 1); }

// The character boundary nearest to client x.
std::size_t positionAt(const Layout& l, int x) {
    const int rel = x - l.originX;
    std::size_t best = 0;
    int bestDist = std::abs(rel - l.carets[0]);
    for (std::size_t i = 1; i < l.carets.size(); ++i) {
        const int d = std::abs(rel - l.carets[i]);
        if (d < bestDist) {
            best = i;
            bestDist = d;
        }
    }
    return best;
}

WindowHandle notifyTarget(WindowHandle w) {
    WindowHandle p = parentWindow(w);
    return p ? p : ownerWindow(w);
}

// Sends WM_COMMAND with the code to the parent; false when the edit did not survive it.
bool notifyParent(WindowHandle w, unsigned code) {
    WindowHandle target = notifyTarget(w);
    if (!target) return true;
    sendMessage(target, WM_COMMAND, makeWParam(static_cast<unsigned>(windowId(w)), code), reinterpret_cast<LParam>(w));
    return isWindow(w) && stateOf(w) != nullptr;
}

void updateInputArea(WindowHandle w, EditState& s) {
    if (!s.focused) return;
    Layout l = layoutOf(w, s);
    const int x = l.xOf(s.model.caret());
    setTextInputArea(w, Rect{x, l.top, x + 1, l.top + std::max(1, l.lineHeight)});
}

// Caret on and the blink restarted, so that it shows while the user types or moves.
void restartCaret(WindowHandle w, EditState& s) {
    if (!s.focused) return;
    s.caretShown = true;
    setTimer(w, kCaretTimer, std::max(50u, caretBlinkTime()));
    updateInputArea(w, s);
}

// After a change of the model: redraw, caret, notifications.
void afterChange(WindowHandle w, EditChange change, bool notify = true) {
    EditState* s = stateOf(w);
    if (!s || change == EditChange::None) return;
    restartCaret(w, *s);
    if (change == EditChange::Text && notify) {
        if (!notifyParent(w, EN_UPDATE)) return;
        invalidateRect(w, nullptr, false);
        notifyParent(w, EN_CHANGE);
        return;
    }
    invalidateRect(w, nullptr, false);
}

// Applies an editing operation; without ES_AUTOHSCROLL text that no longer
// fits the width is refused. Reports EN_MAXTEXT when the limit cut input.
template <typename Op>
void edit(WindowHandle w, Op op, std::size_t wanted = 0) {
    EditState* s = stateOf(w);
    if (!s) return;
    const EditModel before = s->model;
    const EditChange change = op(s->model);
    if (change == EditChange::Text && !(windowStyle(w) & ES_AUTOHSCROLL)) {
        const Layout l = layoutOf(w, *s);
        if (l.carets.back() > l.area.width() && l.carets.back() > fontOf(*s).caretPositions(before.text()).back()) {
            s->model = before;
            return;
        }
    }
    // Input the limit had no room for (not input refused for other reasons).
    const std::size_t kept = before.text().size() - before.selectedText().size();
    const bool cut = wanted > 0 && !before.readOnly() && kept + wanted > before.limit();
    afterChange(w, change);
    if (cut && isWindow(w)) notifyParent(w, EN_MAXTEXT);
}

bool canCopy(const EditState& s) { return s.passwordChar == 0 && s.model.hasSelection(); }

void copySelection(WindowHandle w) {
    EditState* s = stateOf(w);
    if (s && canCopy(*s)) setClipboardText(s->model.selectedText());
}

void cutSelection(WindowHandle w) {
    EditState* s = stateOf(w);
    if (!s || !canCopy(*s) || s->model.readOnly()) return;
    copySelection(w);
    edit(w, [](EditModel& m) { return m.eraseSelection(); });
}

void paste(WindowHandle w) {
    const std::wstring text = clipboardText();
    if (text.empty()) return;
    edit(
        w, [&](EditModel& m) { return m.insert(text); }, text.size());
}

void syncStyleFlags(WindowHandle w, EditState& s) { s.model.setNumbersOnly((windowStyle(w) & ES_NUMBER) != 0); }

void fillBrush(Canvas& canvas, const Rect& rect, const ControlBrush& brush) {
    if (!brush.pattern || brush.pattern->isEmpty()) {
        canvas.fillRect(rect, brush.colour);
        return;
    }
    const int pw = brush.pattern->width();
    const int ph = brush.pattern->height();
    const int startX = rect.left - ((rect.left % pw) + pw) % pw;
    const int startY = rect.top - ((rect.top % ph) + ph) % ph;
    CanvasSaveScope saved(canvas);
    canvas.intersectClipRect(rect);
    for (int y = startY; y < rect.bottom; y += ph)
        for (int x = startX; x < rect.right; x += pw)
            canvas.copyFrom(*brush.pattern, Rect::fromSize(x, y, pw, ph), {0, 0});
}

// Draws the whole edit into a canvas whose origin is the client origin.
void draw(WindowHandle w, EditState& s, Canvas& canvas, bool withCaret) {
    const Rect client = clientRect(w);
    const bool enabled = isWindowEnabled(w);
    const bool quiet = s.model.readOnly() || !enabled;
    CanvasSaveScope saved(canvas);
    canvas.intersectClipRect(client);
    canvas.setFont(nullptr);
    canvas.setTextColour(enabled ? kSystemText : kSystemDisabledText);
    canvas.setBackgroundMode(BackgroundMode::Opaque);
    canvas.setBackgroundColour(quiet ? kSystemReadOnlyBackground : kSystemBackground);
    WindowHandle target = notifyTarget(w);
    const LResult answer = target ? sendMessage(target, quiet ? WM_CTLCOLORSTATIC : WM_CTLCOLOREDIT,
                                                reinterpret_cast<WParam>(&canvas), reinterpret_cast<LParam>(w))
                                  : 0;
    if (!isWindow(w) || stateOf(w) != &s) return; // the parent destroyed the edit while answering
    Argb textColour = canvas.textColour();
    if (answer != 0) {
        fillBrush(canvas, client, *reinterpret_cast<const ControlBrush*>(answer));
    } else {
        canvas.fillRect(client, quiet ? kSystemReadOnlyBackground : kSystemBackground);
        textColour = enabled ? kSystemText : kSystemDisabledText;
    }

    Layout l = layoutOf(w, s);
    canvas.intersectClipRect(l.area);
    canvas.setBackgroundMode(BackgroundMode::Transparent);
    canvas.setTextColour(textColour);
    std::shared_ptr<const Font> keep; // canvas fonts are shared; borrow ours for the call
    if (s.font) keep = std::shared_ptr<const Font>(std::shared_ptr<const Font>{}, s.font);
    canvas.setFont(keep);
    if (!l.shown.empty()) canvas.textOut({l.originX, l.top}, l.shown);

    if (s.focused && s.model.hasSelection()) {
        const int x0 = l.xOf(s.model.selectionStart());
        const int x1 = l.xOf(s.model.selectionEnd());
        const Rect sel{x0, l.top, x1, l.top + l.lineHeight};
        CanvasSaveScope selection(canvas);
        canvas.intersectClipRect(sel);
        canvas.fillRect(sel, kHighlight);
        canvas.setTextColour(kHighlightText);
        canvas.textOut({l.originX, l.top}, l.shown);
    }
    if (withCaret && s.focused && s.caretShown && enabled) {
        const int x = caretX(l, s);
        canvas.fillRect(Rect{x, l.top, x + 1, l.top + l.lineHeight}, textColour);
    }
}

LResult onKeyDown(WindowHandle w, EditState& s, unsigned vk) {
    const bool shift = keyState(VK_SHIFT) < 0;
    const bool ctrl = keyState(VK_CONTROL) < 0;
    const SelectionMode mode = shift ? SelectionMode::Extend : SelectionMode::Collapse;
    const CaretStep step = ctrl ? CaretStep::Word : CaretStep::Character;
    switch (vk) {
    case VK_LEFT:
        afterChange(w, s.model.moveLeft(step, mode));
        break;
    case VK_RIGHT:
        afterChange(w, s.model.moveRight(step, mode));
        break;
    case VK_HOME:
        afterChange(w, s.model.moveHome(mode));
        break;
    case VK_END:
        afterChange(w, s.model.moveEnd(mode));
        break;
    case VK_DELETE:
        if (shift)
            cutSelection(w);
        else
            edit(w, [](EditModel& m) { return m.eraseNext(); });
        break;
    case VK_INSERT:
        if (ctrl)
            copySelection(w);
        else if (shift)
            paste(w);
        break;
    default:
        break;
    }
    return 0;
}

LResult onChar(WindowHandle w, EditState& s, wchar_t ch) {
    syncStyleFlags(w, s);
    switch (ch) {
    case 0x01:
        afterChange(w, s.model.select(0, -1));
        return 0; // Ctrl+A
    case 0x03:
        copySelection(w);
        return 0; // Ctrl+C
    case 0x16:
        paste(w);
        return 0; // Ctrl+V
    case 0x18:
        cutSelection(w);
        return 0; // Ctrl+X
    case 0x08:
        edit(w, [](EditModel& m) { return m.erasePrevious(); });
        return 0; // Backspace
    default:
        break;
    }
    if (ch < 0x20) return 0; // Return, Tab, Escape and other controls insert nothing
    edit(
        w, [ch](EditModel& m) { return m.typeChar(ch); }, 1);
    return 0;
}

LResult onPaint(WindowHandle w, EditState& s) {
    PaintInfo info;
    Canvas* canvas = beginPaint(w, info);
    if (canvas) draw(w, s, *canvas, /*withCaret=*/true);
    endPaint(w, info);
    return 0;
}

LResult onMouse(WindowHandle w, EditState& s, unsigned message, LParam lParam) {
    const Point p{xFromLParam(lParam), yFromLParam(lParam)};
    switch (message) {
    case WM_LBUTTONDOWN: {
        if (focusWindow() != w) setFocus(w);
        EditState* again = stateOf(w);
        if (!again) return 0;
        Layout l = layoutOf(w, *again);
        again->selecting = true;
        setCapture(w);
        afterChange(w, again->model.placeCaret(positionAt(l, p.x), keyState(VK_SHIFT) < 0 ? SelectionMode::Extend
                                                                                          : SelectionMode::Collapse));
        return 0;
    }
    case WM_LBUTTONDBLCLK: {
        Layout l = layoutOf(w, s);
        afterChange(w, s.model.selectWordAt(positionAt(l, p.x)));
        return 0;
    }
    case WM_MOUSEMOVE:
        if (s.selecting) {
            Layout l = layoutOf(w, s);
            afterChange(w, s.model.placeCaret(positionAt(l, p.x), SelectionMode::Extend));
        }
        return 0;
    case WM_LBUTTONUP:
        if (s.selecting) {
            s.selecting = false;
            if (captureWindow() == w) releaseCapture();
        }
        return 0;
    default:
        return 0;
    }
}

// The state of a new edit, from its creation parameters (or its style).
void createState(WindowHandle w, LParam lParam) {
    auto* s = new EditState;
    const auto* cp = reinterpret_cast<const CreateParams*>(lParam);
    const unsigned style = cp ? cp->style : windowStyle(w);
    if (cp && cp->name) s->model.assign(cp->name);
    s->model.setReadOnly((style & ES_READONLY) != 0);
    s->model.setNumbersOnly((style & ES_NUMBER) != 0);
    if (style & ES_PASSWORD) s->passwordChar = L'*';
    setWindowProp(w, kStateProp, s);
}

// The window text and the font.
LResult onTextMessage(WindowHandle w, EditState& s, unsigned message, WParam wParam, LParam lParam) {
    switch (message) {
    case WM_SETTEXT: {
        const auto* text = reinterpret_cast<const wchar_t*>(lParam);
        s.model.assign(text ? std::wstring_view(text) : std::wstring_view());
        s.scroll = 0;
        afterChange(w, EditChange::Text);
        return 1;
    }
    case WM_GETTEXT: {
        auto* buffer = reinterpret_cast<wchar_t*>(lParam);
        if (!buffer || wParam == 0) return 0;
        const std::size_t n = std::min<std::size_t>(wParam - 1, s.model.text().size());
        std::memcpy(buffer, s.model.text().data(), n * sizeof(wchar_t));
        buffer[n] = 0;
        return static_cast<LResult>(n);
    }
    case WM_GETTEXTLENGTH:
        return static_cast<LResult>(s.model.text().size());
    case WM_SETFONT:
        s.font = reinterpret_cast<const Font*>(wParam);
        if (lParam) invalidateRect(w, nullptr, false);
        updateInputArea(w, s);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LResult>(s.font);
    default:
        return defWindowProc(w, message, wParam, lParam);
    }
}

// The edit control's own messages: selection, limit, read-only, password,
// modified flag, margins and replacing the selection.
LResult onEditMessage(WindowHandle w, EditState& s, unsigned message, WParam wParam, LParam lParam) {
    switch (message) {
    case EM_SETSEL:
        afterChange(w, s.model.select(static_cast<std::intptr_t>(wParam), lParam));
        return 0;
    case EM_GETSEL: {
        const auto start = static_cast<std::uint32_t>(s.model.selectionStart());
        const auto end = static_cast<std::uint32_t>(s.model.selectionEnd());
        if (wParam) *reinterpret_cast<std::uint32_t*>(wParam) = start;
        if (lParam) *reinterpret_cast<std::uint32_t*>(lParam) = end;
        return static_cast<LResult>(
            makeLParam(static_cast<int>(std::min(start, 0xFFFFu)), static_cast<int>(std::min(end, 0xFFFFu))) &
            0xFFFFFFFF);
    }
    case EM_LIMITTEXT:
        s.model.setLimit(wParam);
        return 0;
    case EM_GETLIMITTEXT:
        return static_cast<LResult>(s.model.limit());
    case EM_SETREADONLY: {
        const bool on = wParam != 0;
        s.model.setReadOnly(on);
        const unsigned style = windowStyle(w);
        setWindowStyle(w, on ? (style | ES_READONLY) : (style & ~ES_READONLY));
        invalidateRect(w, nullptr, false);
        return 1;
    }
    case EM_SETPASSWORDCHAR: {
        s.passwordChar = static_cast<wchar_t>(wParam);
        const unsigned style = windowStyle(w);
        setWindowStyle(w, s.passwordChar ? (style | ES_PASSWORD) : (style & ~ES_PASSWORD));
        invalidateRect(w, nullptr, false);
        return 0;
    }
    case EM_GETPASSWORDCHAR:
        return static_cast<LResult>(s.passwordChar);
    case EM_SETMODIFY:
        s.model.setModified(wParam != 0);
        return 0;
    case EM_GETMODIFY:
        return s.model.modified() ? 1 : 0;
    case EM_SETMARGINS: {
        const int fallback = std::max(kDefaultMargin, fontOf(s).metrics().averageCharWidth / 2);
        const auto pick = [&](unsigned v) { return v == 0xFFFF ? fallback : static_cast<int>(v); };
        if (wParam & EC_LEFTMARGIN) s.marginLeft = pick(loWord(static_cast<std::uintptr_t>(lParam)));
        if (wParam & EC_RIGHTMARGIN) s.marginRight = pick(hiWord(static_cast<std::uintptr_t>(lParam)));
        invalidateRect(w, nullptr, false);
        return 0;
    }
    case EM_GETMARGINS:
        return static_cast<LResult>(makeLParam(s.marginLeft, s.marginRight) & 0xFFFFFFFF);
    case EM_REPLACESEL: {
        const auto* text = reinterpret_cast<const wchar_t*>(lParam);
        const std::wstring copy = text ? text : L"";
        // The program may replace text even in a read-only edit; the limit applies.
        edit(
            w,
            [&](EditModel& m) {
                const bool ro = m.readOnly();
                const bool digits = m.numbersOnly();
                m.setReadOnly(false);
                m.setNumbersOnly(false);
                const EditChange c = copy.empty() ? m.eraseSelection() : m.insert(copy);
                m.setReadOnly(ro);
                m.setNumbersOnly(digits);
                return c;
            },
            copy.size());
        return 0;
    }
    default:
        return defWindowProc(w, message, wParam, lParam);
    }
}

// Cut, copy, paste and clear (clear erases the selection without the clipboard).
LResult onClipboardMessage(WindowHandle w, unsigned message, WParam wParam, LParam lParam) {
    switch (message) {
    case WM_CUT:
        cutSelection(w);
        return 0;
    case WM_COPY:
        copySelection(w);
        return 0;
    case WM_PASTE:
        paste(w);
        return 0;
    case WM_CLEAR:
        edit(w, [](EditModel& m) { return m.eraseSelection(); });
        return 0;
    default:
        return defWindowProc(w, message, wParam, lParam);
    }
}

// Focus changes and the caret blink.
LResult onFocusMessage(WindowHandle w, EditState& s, unsigned message, WParam wParam, LParam lParam) {
    switch (message) {
    case WM_SETFOCUS:
        s.focused = true;
        restartCaret(w, s);
        invalidateRect(w, nullptr, false);
        notifyParent(w, EN_SETFOCUS);
        return 0;
    case WM_KILLFOCUS:
        s.focused = false;
        s.caretShown = false;
        s.selecting = false;
        killTimer(w, kCaretTimer);
        setTextInputArea(w, Rect{});
        invalidateRect(w, nullptr, false);
        notifyParent(w, EN_KILLFOCUS);
        return 0;
    case WM_TIMER:
        if (wParam != kCaretTimer) return defWindowProc(w, message, wParam, lParam);
        s.caretShown = !s.caretShown && s.focused;
        invalidateRect(w, nullptr, false);
        return 0;
    default:
        return defWindowProc(w, message, wParam, lParam);
    }
}

LResult editWindowProc(WindowHandle w, unsigned message, WParam wParam, LParam lParam) {
    if (message == WM_NCCREATE) {
        createState(w, lParam);
        return defWindowProc(w, message, wParam, lParam);
    }
    EditState* s = stateOf(w);
    if (!s) return defWindowProc(w, message, wParam, lParam);
    switch (message) {
    case WM_SETTEXT:
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH:
    case WM_SETFONT:
    case WM_GETFONT:
        return onTextMessage(w, *s, message, wParam, lParam);
    case EM_SETSEL:
    case EM_GETSEL:
    case EM_LIMITTEXT:
    case EM_GETLIMITTEXT:
    case EM_SETREADONLY:
    case EM_SETPASSWORDCHAR:
    case EM_GETPASSWORDCHAR:
    case EM_SETMODIFY:
    case EM_GETMODIFY:
    case EM_SETMARGINS:
    case EM_GETMARGINS:
    case EM_REPLACESEL:
        return onEditMessage(w, *s, message, wParam, lParam);
    case WM_CUT:
    case WM_COPY:
    case WM_PASTE:
    case WM_CLEAR:
        return onClipboardMessage(w, message, wParam, lParam);
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_TIMER:
        return onFocusMessage(w, *s, message, wParam, lParam);
    case WM_NCDESTROY:
        removeWindowProp(w, kStateProp);
        delete s;
        return defWindowProc(w, message, wParam, lParam);
    case WM_DESTROY:
        killTimer(w, kCaretTimer);
        if (s->focused) setTextInputArea(w, Rect{});
        if (captureWindow() == w) releaseCapture();
        return 0;
    case WM_ENABLE:
    case WM_SIZE:
        invalidateRect(w, nullptr, false);
        updateInputArea(w, *s);
        return 0;
    case WM_KEYDOWN:
        return onKeyDown(w, *s, static_cast<unsigned>(wParam));
    case WM_CHAR:
        return onChar(w, *s, static_cast<wchar_t>(wParam));
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_MOUSEMOVE:
    case WM_LBUTTONUP:
        return onMouse(w, *s, message, lParam);
    case WM_CAPTURECHANGED:
        s->selecting = false;
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        return onPaint(w, *s);
    case WM_PRINT:
    case WM_PRINTCLIENT: {
        auto* canvas = reinterpret_cast<Canvas*>(wParam);
        if (!canvas) return 0;
        if (message == WM_PRINT && (lParam & PRF_CHECKVISIBLE) && !isWindowVisible(w)) return 0;
        draw(w, *s, *canvas, /*withCaret=*/false);
        return 0;
    }
    default:
        return defWindowProc(w, message, wParam, lParam);
    }
}

} // namespace

} // namespace platform::detail

namespace platform {

bool editCaretRect(WindowHandle edit, Rect* caret) {
    detail::EditState* s = detail::stateOf(edit);
    if (!s) return false;
    const detail::Layout l = detail::layoutOf(edit, *s);
    const int x = detail::caretX(l, *s);
    if (caret) *caret = Rect{x, l.top, x + 1, l.top + std::max(1, l.lineHeight)};
    return true;
}

} // namespace platform

namespace platform::detail {

void registerEditClass() {
    WindowClass cls;
    cls.name = kEditClassName;
    cls.style = CS_DBLCLKS;
    cls.proc = &editWindowProc;
    cls.cursor = CursorShape::IBeam;
    registerWindowClass(cls);
}

} // namespace platform::detail
