// The built-in "tooltips_class32" window class: tools, tracking, layout and
// painting of the tip popup.
#include "platform/window/builtin/WindowTooltip.h"

#include "platform/graphics/Graphics.h"
#include "platform/window/backend/WindowBackend.h"

#include <algorithm>
#include <string>
#include <vector>

namespace platform::detail {

namespace {

constexpr const wchar_t* kStateProp = L"quellan.tooltip";
constexpr int kPadX = 4;          // text inset from the border, left and right
constexpr int kPadY = 2;          // and top and bottom
constexpr int kBelowPointer = 20; // a tip under the pointer clears the arrow cursor
constexpr Argb kBackground = 0xFFFFFFE1;
constexpr Argb kBorder = 0xFF767676;
constexpr Argb kText = 0xFF000000;

struct Tool {
    unsigned flags = 0;
    WindowHandle window = nullptr;
    std::uintptr_t id = 0;
    Rect rect;
    std::wstring text;
};

// One tooltip window's tools and what it shows. UI thread only.
struct TooltipState {
    std::vector<Tool> tools;
    int maxWidth = -1;
    const Font* font = nullptr; // not owned (WM_SETFONT)
    bool active = true;         // TTM_ACTIVATE
    bool tracking = false;      // a tip is shown (TTM_TRACKACTIVATE TRUE)
    WindowHandle trackWindow = nullptr;
    std::uintptr_t trackId = 0;
    bool havePoint = false;
    Point point;               // the last TTM_TRACKPOSITION, as given
    std::wstring shown;        // the text on screen
    unsigned delayInitial = 0; // 0: derived from the double-click time
    unsigned delayAutopop = 0;
    unsigned delayReshow = 0;
};

TooltipState* stateOf(WindowHandle w) { return static_cast<TooltipState*>(windowProp(w, kStateProp)); }

Tool* findTool(TooltipState& s, WindowHandle window, std::uintptr_t id) {
    for (Tool& t : s.tools)
        if (t.window == window && t.id == id) return &t;
    return nullptr;
}

Tool* findTool(TooltipState& s, const ToolInfo* info) { return info ? findTool(s, info->window, info->id) : nullptr; }

unsigned textFlags(WindowHandle w) {
    unsigned flags = DT_LEFT | DT_TOP | DT_WORDBREAK;
    if (windowStyle(w) & TTS_NOPREFIX) flags |= DT_NOPREFIX;
    return flags;
}

// The tip's text area for the state's text (wrapped at the maximum width).
Size measureText(WindowHandle w, const TooltipState& s, const std::wstring& text) {
    Surface scratch(1, 1);
    Canvas canvas(scratch);
    if (s.font) canvas.setFont(std::shared_ptr<const Font>(std::shared_ptr<const Font>{}, s.font));
    const int limit = s.maxWidth > 0 ? std::max(1, s.maxWidth - 2 * kPadX - 2) : 100000;
    Rect r{0, 0, limit, 0};
    canvas.drawText(text, r, textFlags(w) | DT_CALCRECT);
    return {std::min(r.width(), limit), r.height()};
}

unsigned initialDelay(const TooltipState& s) { return s.delayInitial ? s.delayInitial : doubleClickTime(); }

// Where the tip goes on the screen for the tracked tool.
Point anchorOf(const TooltipState& s, const Tool& tool) {
    if (!s.havePoint) {
        const Point c = cursorPos();
        return {c.x, c.y + kBelowPointer};
    }
    if (tool.flags & TTF_TRACK) {
        if (tool.flags & TTF_ABSOLUTE) return s.point;
        return {s.point.x, s.point.y + kBelowPointer};
    }
    const Point screen = isWindow(tool.window) ? clientToScreen(tool.window, s.point) : s.point;
    return {screen.x, screen.y + kBelowPointer};
}

void hideTip(WindowHandle w, TooltipState& s) {
    s.tracking = false;
    if (isWindowVisible(w)) showWindow(w, SW_HIDE);
}

// Shows (or updates) the tip of the tracked tool; hides it when there is nothing to show.
void refreshTip(WindowHandle w, TooltipState& s) {
    Tool* tool = findTool(s, s.trackWindow, s.trackId);
    if (!s.tracking || !s.active || !tool || tool->text.empty()) {
        if (isWindowVisible(w)) showWindow(w, SW_HIDE);
        return;
    }
    s.shown = tool->text;
    const Size text = measureText(w, s, s.shown);
    const int width = text.cx + 2 * kPadX + 2;
    const int height = text.cy + 2 * kPadY + 2;
    Point at = anchorOf(s, *tool);
    const Rect work = workAreaNear(tool->window ? tool->window : w);
    if (!work.isEmpty()) {
        if (at.x + width > work.right) at.x = work.right - width;
        if (at.x < work.left) at.x = work.left;
        if (at.y + height > work.bottom) at.y = at.y - kBelowPointer * 2 - height; // flip above the pointer
        if (at.y + height > work.bottom) at.y = work.bottom - height;
        if (at.y < work.top) at.y = work.top;
    }
    setWindowPos(w, HWND_TOPMOST, at.x, at.y, width, height, SWP_NOACTIVATE | SWP_SHOWWINDOW);
    invalidateRect(w, nullptr, false);
}

void paintTip(WindowHandle w, TooltipState& s, Canvas& canvas) {
    const Rect client = clientRect(w);
    CanvasSaveScope saved(canvas);
    canvas.fillRect(client, kBackground);
    canvas.drawRectangle(client, Pen{kBorder, 1, PS_SOLID});
    canvas.setFont(s.font ? std::shared_ptr<const Font>(std::shared_ptr<const Font>{}, s.font) : nullptr);
    canvas.setTextColour(kText);
    canvas.setBackgroundMode(BackgroundMode::Transparent);
    Rect text{client.left + 1 + kPadX, client.top + 1 + kPadY, client.right - 1 - kPadX, client.bottom - 1 - kPadY};
    canvas.drawText(s.shown, text, textFlags(w));
}

LResult tooltipProc(WindowHandle w, unsigned message, WParam wParam, LParam lParam) {
    if (message == WM_NCCREATE) {
        setWindowProp(w, kStateProp, new TooltipState);
        // A tip never takes the focus and stays off the taskbar.
        setWindowExStyle(w, windowExStyle(w) | WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_NOACTIVATE);
        return defWindowProc(w, message, wParam, lParam);
    }
    TooltipState* s = stateOf(w);
    if (!s) return defWindowProc(w, message, wParam, lParam);
    const auto* info = reinterpret_cast<const ToolInfo*>(lParam);
    switch (message) {
    case WM_NCDESTROY:
        removeWindowProp(w, kStateProp);
        delete s;
        return defWindowProc(w, message, wParam, lParam);
    case TTM_ADDTOOLW: {
        if (!info) return 0;
        Tool* t = findTool(*s, info);
        if (!t) t = &s->tools.emplace_back();
        t->flags = info->flags;
        t->window = info->window;
        t->id = info->id;
        t->rect = info->rect;
        t->text = info->text ? info->text : L"";
        return 1;
    }
    case TTM_DELTOOLW: {
        if (!info) return 0;
        const bool wasShown = s->tracking && s->trackWindow == info->window && s->trackId == info->id;
        std::erase_if(s->tools, [&](const Tool& t) { return t.window == info->window && t.id == info->id; });
        if (wasShown) hideTip(w, *s);
        return 0;
    }
    case TTM_SETTOOLINFOW: {
        Tool* t = findTool(*s, info);
        if (!t) return 0;
        t->flags = info->flags;
        t->rect = info->rect;
        t->text = info->text ? info->text : L"";
        if (s->tracking && s->trackWindow == t->window && s->trackId == t->id) refreshTip(w, *s);
        return 0;
    }
    case TTM_SETMAXTIPWIDTH: {
        const int previous = s->maxWidth;
        s->maxWidth = static_cast<int>(lParam);
        if (s->tracking) refreshTip(w, *s);
        return previous;
    }
    case TTM_TRACKACTIVATE:
        if (!wParam) {
            hideTip(w, *s);
            return 0;
        }
        if (!findTool(*s, info)) return 0;
        s->tracking = true;
        s->trackWindow = info->window;
        s->trackId = info->id;
        refreshTip(w, *s);
        return 0;
    case TTM_TRACKPOSITION:
        s->havePoint = true;
        s->point = {xFromLParam(lParam), yFromLParam(lParam)};
        if (s->tracking) refreshTip(w, *s);
        return 0;
    case TTM_ACTIVATE:
        s->active = wParam != 0;
        if (!s->active) {
            if (isWindowVisible(w)) showWindow(w, SW_HIDE);
        } else if (s->tracking) {
            refreshTip(w, *s);
        }
        return 0;
    case TTM_GETDELAYTIME:
        switch (wParam) {
        case TTDT_AUTOPOP:
            return s->delayAutopop ? s->delayAutopop : initialDelay(*s) * 10;
        case TTDT_RESHOW:
            return s->delayReshow ? s->delayReshow : initialDelay(*s) / 5;
        default:
            return initialDelay(*s);
        }
    case TTM_SETDELAYTIME: {
        const int value = static_cast<std::int16_t>(loWord(static_cast<std::uintptr_t>(lParam)));
        const unsigned ms = value < 0 ? 0u : static_cast<unsigned>(value); // negative: back to the default
        switch (wParam) {
        case TTDT_INITIAL:
            s->delayInitial = ms;
            break;
        case TTDT_AUTOPOP:
            s->delayAutopop = ms;
            break;
        case TTDT_RESHOW:
            s->delayReshow = ms;
            break;
        default:
            s->delayInitial = ms;
            s->delayAutopop = ms ? ms * 10 : 0;
            s->delayReshow = ms / 5;
            break;
        }
        return 0;
    }
    case WM_SETFONT:
        s->font = reinterpret_cast<const Font*>(wParam);
        if (s->tracking) refreshTip(w, *s);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LResult>(s->font);
    case WM_MOUSEACTIVATE:
        return MA_NOACTIVATE;
    case WM_NCHITTEST:
        return HTTRANSPARENT; // the pointer goes through to the window below
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PaintInfo paint;
        if (Canvas* canvas = beginPaint(w, paint)) paintTip(w, *s, *canvas);
        endPaint(w, paint);
        return 0;
    }
    case WM_PRINT:
    case WM_PRINTCLIENT:
        if (auto* canvas = reinterpret_cast<Canvas*>(wParam)) paintTip(w, *s, *canvas);
        return 0;
    default:
        return defWindowProc(w, message, wParam, lParam);
    }
}

} // namespace

void registerTooltipClass() {
    WindowClass cls;
    cls.name = kTooltipClassName;
    cls.proc = &tooltipProc;
    registerWindowClass(cls);
}

} // namespace platform::detail
