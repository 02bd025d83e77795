// The built-in "tooltips_class32" window class: a small topmost popup with
// wrapped text shown near the pointer. Registered when the display opens.
//
// Create it as a WS_POPUP owned by the window whose tools it shows (styles
// TTS_NOPREFIX, TTS_ALWAYSTIP). Messages (lParam points to a ToolInfo where
// one is named):
// - TTM_ADDTOOLW: adds or replaces the tool (window, id); TRUE.
// - TTM_DELTOOLW: removes it (hiding the tip when it was shown).
// - TTM_SETTOOLINFOW: new text, rectangle and flags for an existing tool;
//   a shown tip follows at once.
// - TTM_SETMAXTIPWIDTH: lParam = width in pixels (-1: none); text wraps at
//   words to fit. Returns the previous width.
// - TTM_TRACKACTIVATE: wParam TRUE shows the tip of the tool, FALSE hides it.
// - TTM_TRACKPOSITION: lParam = makeLParam(x, y). For a tool with TTF_TRACK
//   the point is on the screen; otherwise it is a point in the tool window's
//   client area (where the pointer rests). The tip appears just below the
//   point (at it with TTF_ABSOLUTE), kept inside the work area.
// - TTM_GETDELAYTIME / TTM_SETDELAYTIME (TTDT_INITIAL, TTDT_AUTOPOP,
//   TTDT_RESHOW, TTDT_AUTOMATIC): delays in milliseconds; the initial delay
//   defaults to the double-click time.
// - TTM_ACTIVATE: wParam FALSE keeps every tip hidden until TRUE.
// - WM_SETFONT / WM_GETFONT: as for the Edit class (a `const Font*`).
#pragma once

#include "platform/graphics/Geometry.h"
#include "platform/window/Window.h"

#include <cstdint>

namespace platform {

inline constexpr const wchar_t* kTooltipClassName = L"tooltips_class32";

// A tool: a window (or an id within it) whose tip the tooltip shows.
struct ToolInfo {
    unsigned size = sizeof(ToolInfo);
    unsigned flags = 0;            // TTF_IDISHWND, TTF_TRACK, TTF_ABSOLUTE
    WindowHandle window = nullptr; // the window that owns the tool
    std::uintptr_t id = 0;         // the tool's id within it (the window itself with TTF_IDISHWND)
    Rect rect;                     // the tool's area in the window's client coordinates
    const wchar_t* text = nullptr; // copied; null or empty shows nothing
};

} // namespace platform
