// The built-in single-line "Edit" window class: what its creator sends it
// and what it sends back. The class is registered when the display opens.
//
// Messages it answers (values in WindowMessages.h):
// - WM_SETTEXT / WM_GETTEXT / WM_GETTEXTLENGTH: the text (a line break ends
//   text that is set; the limit does not apply to it). Setting the text sends
//   EN_UPDATE and EN_CHANGE like typing does.
// - WM_SETFONT: wParam is a `const Font*` the sender keeps alive while the
//   edit uses it (null: the default GUI font); lParam non-zero redraws.
//   WM_GETFONT returns it.
// - EM_SETSEL (start, end; start -1 removes the selection, end -1 means the
//   end of the text), EM_GETSEL, EM_LIMITTEXT (0: the largest limit),
//   EM_GETLIMITTEXT, EM_SETREADONLY, EM_SETPASSWORDCHAR (0 shows the text),
//   EM_GETPASSWORDCHAR, EM_SETMODIFY, EM_GETMODIFY, EM_SETMARGINS
//   (EC_LEFTMARGIN | EC_RIGHTMARGIN; low word left, high word right, in
//   pixels), EM_GETMARGINS, EM_REPLACESEL (lParam: the text),
//   WM_CUT / WM_COPY / WM_PASTE / WM_CLEAR, WM_PRINT / WM_PRINTCLIENT
//   (wParam: a Canvas; the caret is not printed).
// - Keys: Left/Right (Ctrl: by word), Home/End, Shift extends the selection,
//   Delete, Backspace, Ctrl+A/C/X/V, Shift+Delete, Ctrl+Insert, Shift+Insert.
//   Return, Tab and Escape insert nothing. Typed text arrives as WM_CHAR.
// Styles read: ES_CENTER, ES_RIGHT, ES_PASSWORD (password character '*'),
// ES_READONLY, ES_NUMBER (only digits may be typed or pasted), ES_AUTOHSCROLL
// (without it, text that would not fit the width is refused).
//
// What it sends its parent (its owner when it has no parent):
// - WM_COMMAND with wParam = makeWParam(control id, code) and lParam = the
//   edit, for EN_SETFOCUS, EN_KILLFOCUS, EN_UPDATE (text changed, before it is
//   shown), EN_CHANGE (after) and EN_MAXTEXT (input cut by the limit).
// - WM_CTLCOLOREDIT before it draws (WM_CTLCOLORSTATIC while read-only or
//   disabled) with wParam = the Canvas it draws with and lParam = the edit.
//   The parent may set the canvas's text colour and answers 0 for the
//   edit's own colours, or the address of a ControlBrush (as LResult) that
//   it keeps alive until its next answer.
#pragma once

#include "platform/graphics/Geometry.h"
#include "platform/window/Window.h"

namespace platform {

class Surface;

inline constexpr const wchar_t* kEditClassName = L"Edit";

// The background a parent hands to a control from WM_CTLCOLOREDIT /
// WM_CTLCOLORSTATIC: a pattern tiled from the control's client origin when
// set, else a solid colour.
struct ControlBrush {
    Argb colour = 0xFFFFFFFF;
    const Surface* pattern = nullptr;
};

// The caret of an edit window (of the class or of one made from it) in its
// client coordinates: one pixel wide and a line of its font tall, where the
// edit draws it, also while it blinks off or the edit lacks the focus. Lets a
// caller that prints the edit (which leaves the caret out) draw a caret of
// its own. False for a window that is not an edit.
bool editCaretRect(WindowHandle edit, Rect* caret);

} // namespace platform
