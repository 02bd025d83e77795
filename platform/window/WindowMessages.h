// Message numbers, flag values and key codes of the window system. The values
// are the classic desktop ones because the framework and the installer store
// and compare them (2024 is WM_USER + 1000, HTCAPTION is 2); only what the
// program uses is defined.
#pragma once

#include <cstdint>

namespace platform {

// --- Window messages ---
inline constexpr unsigned WM_NULL = 0x0000;
inline constexpr unsigned WM_CREATE = 0x0001;
inline constexpr unsigned WM_DESTROY = 0x0002;
inline constexpr unsigned WM_MOVE = 0x0003;
inline constexpr unsigned WM_SIZE = 0x0005;
inline constexpr unsigned WM_ACTIVATE = 0x0006;
inline constexpr unsigned WM_SETFOCUS = 0x0007;
inline constexpr unsigned WM_KILLFOCUS = 0x0008;
inline constexpr unsigned WM_ENABLE = 0x000A;
inline constexpr unsigned WM_SETTEXT = 0x000C;
inline constexpr unsigned WM_GETTEXT = 0x000D;
inline constexpr unsigned WM_GETTEXTLENGTH = 0x000E;
inline constexpr unsigned WM_PAINT = 0x000F;
inline constexpr unsigned WM_CLOSE = 0x0010;
inline constexpr unsigned WM_QUIT = 0x0012;
inline constexpr unsigned WM_ERASEBKGND = 0x0014;
inline constexpr unsigned WM_SHOWWINDOW = 0x0018;
inline constexpr unsigned WM_SETCURSOR = 0x0020;
inline constexpr unsigned WM_MOUSEACTIVATE = 0x0021;
inline constexpr unsigned WM_GETMINMAXINFO = 0x0024;
inline constexpr unsigned WM_SETFONT = 0x0030;
inline constexpr unsigned WM_GETFONT = 0x0031;
inline constexpr unsigned WM_NOTIFY = 0x004E;
inline constexpr unsigned WM_CONTEXTMENU = 0x007B;
inline constexpr unsigned WM_SETICON = 0x0080;
inline constexpr unsigned WM_NCCREATE = 0x0081;
inline constexpr unsigned WM_NCDESTROY = 0x0082;
inline constexpr unsigned WM_NCCALCSIZE = 0x0083;
inline constexpr unsigned WM_NCHITTEST = 0x0084;
inline constexpr unsigned WM_NCPAINT = 0x0085;
inline constexpr unsigned WM_NCACTIVATE = 0x0086;
inline constexpr unsigned WM_NCMOUSEMOVE = 0x00A0;
inline constexpr unsigned WM_NCLBUTTONDOWN = 0x00A1;
inline constexpr unsigned WM_NCLBUTTONUP = 0x00A2;
inline constexpr unsigned WM_NCLBUTTONDBLCLK = 0x00A3;
inline constexpr unsigned WM_NCRBUTTONDOWN = 0x00A4;
inline constexpr unsigned WM_NCRBUTTONUP = 0x00A5;
inline constexpr unsigned WM_KEYDOWN = 0x0100;
inline constexpr unsigned WM_KEYUP = 0x0101;
inline constexpr unsigned WM_CHAR = 0x0102;
inline constexpr unsigned WM_SYSKEYDOWN = 0x0104;
inline constexpr unsigned WM_SYSKEYUP = 0x0105;
inline constexpr unsigned WM_SYSCHAR = 0x0106;
// The input method's composition changed: read it with compositionText(); wParam is its cursor.
inline constexpr unsigned WM_IME_COMPOSITION = 0x010F;
inline constexpr unsigned WM_COMMAND = 0x0111;
inline constexpr unsigned WM_SYSCOMMAND = 0x0112;
inline constexpr unsigned WM_TIMER = 0x0113;
inline constexpr unsigned WM_CTLCOLOREDIT = 0x0133;
inline constexpr unsigned WM_CTLCOLORSTATIC = 0x0138;
inline constexpr unsigned WM_MOUSEMOVE = 0x0200;
inline constexpr unsigned WM_LBUTTONDOWN = 0x0201;
inline constexpr unsigned WM_LBUTTONUP = 0x0202;
inline constexpr unsigned WM_LBUTTONDBLCLK = 0x0203;
inline constexpr unsigned WM_RBUTTONDOWN = 0x0204;
inline constexpr unsigned WM_RBUTTONUP = 0x0205;
inline constexpr unsigned WM_RBUTTONDBLCLK = 0x0206;
inline constexpr unsigned WM_MBUTTONDOWN = 0x0207;
inline constexpr unsigned WM_MBUTTONUP = 0x0208;
inline constexpr unsigned WM_MOUSEWHEEL = 0x020A;
inline constexpr unsigned WM_CAPTURECHANGED = 0x0215;
inline constexpr unsigned WM_MOUSEHOVER = 0x02A1;
inline constexpr unsigned WM_MOUSELEAVE = 0x02A3;
inline constexpr unsigned WM_CUT = 0x0300;
inline constexpr unsigned WM_COPY = 0x0301;
inline constexpr unsigned WM_PASTE = 0x0302;
inline constexpr unsigned WM_CLEAR = 0x0303;
inline constexpr unsigned WM_UNDO = 0x0304;
inline constexpr unsigned WM_PRINT = 0x0317;
inline constexpr unsigned WM_PRINTCLIENT = 0x0318;
inline constexpr unsigned WM_USER = 0x0400;
// Offset of messages a parent reflects back to the child control that sent them.
inline constexpr unsigned WM_REFLECT = 0x2000;
inline constexpr unsigned WM_APP = 0x8000;

// --- Edit control: styles, messages, notifications ---
inline constexpr unsigned ES_LEFT = 0x0000;
inline constexpr unsigned ES_CENTER = 0x0001;
inline constexpr unsigned ES_RIGHT = 0x0002;
inline constexpr unsigned ES_PASSWORD = 0x0020;
inline constexpr unsigned ES_AUTOHSCROLL = 0x0080;
inline constexpr unsigned ES_READONLY = 0x0800;
inline constexpr unsigned ES_NUMBER = 0x2000;

inline constexpr unsigned EM_GETSEL = 0x00B0;
inline constexpr unsigned EM_SETSEL = 0x00B1;
inline constexpr unsigned EM_GETMODIFY = 0x00B8;
inline constexpr unsigned EM_SETMODIFY = 0x00B9;
inline constexpr unsigned EM_REPLACESEL = 0x00C2;
inline constexpr unsigned EM_LIMITTEXT = 0x00C5;
inline constexpr unsigned EM_SETPASSWORDCHAR = 0x00CC;
inline constexpr unsigned EM_SETREADONLY = 0x00CF;
inline constexpr unsigned EM_GETPASSWORDCHAR = 0x00D2;
inline constexpr unsigned EM_SETMARGINS = 0x00D3;
inline constexpr unsigned EM_GETMARGINS = 0x00D4;
inline constexpr unsigned EM_GETLIMITTEXT = 0x00D5;

inline constexpr unsigned EC_LEFTMARGIN = 0x0001;
inline constexpr unsigned EC_RIGHTMARGIN = 0x0002;

inline constexpr unsigned EN_SETFOCUS = 0x0100;
inline constexpr unsigned EN_KILLFOCUS = 0x0200;
inline constexpr unsigned EN_CHANGE = 0x0300;
inline constexpr unsigned EN_UPDATE = 0x0400;
inline constexpr unsigned EN_MAXTEXT = 0x0501;

// --- Tooltip control ---
inline constexpr unsigned TTS_ALWAYSTIP = 0x01;
inline constexpr unsigned TTS_NOPREFIX = 0x02;
inline constexpr unsigned TTF_IDISHWND = 0x0001;
inline constexpr unsigned TTF_TRACK = 0x0020;
inline constexpr unsigned TTF_ABSOLUTE = 0x0080;
inline constexpr unsigned TTM_ACTIVATE = WM_USER + 1;
inline constexpr unsigned TTM_SETDELAYTIME = WM_USER + 3;
inline constexpr unsigned TTM_TRACKACTIVATE = WM_USER + 17;
inline constexpr unsigned TTM_TRACKPOSITION = WM_USER + 18;
inline constexpr unsigned TTM_GETDELAYTIME = WM_USER + 21;
inline constexpr unsigned TTM_SETMAXTIPWIDTH = WM_USER + 24;
inline constexpr unsigned TTM_ADDTOOLW = WM_USER + 50;
inline constexpr unsigned TTM_DELTOOLW = WM_USER + 51;
inline constexpr unsigned TTM_SETTOOLINFOW = WM_USER + 54;
inline constexpr unsigned TTDT_AUTOMATIC = 0;
inline constexpr unsigned TTDT_RESHOW = 1;
inline constexpr unsigned TTDT_AUTOPOP = 2;
inline constexpr unsigned TTDT_INITIAL = 3;

// --- Window styles ---
inline constexpr unsigned WS_OVERLAPPED = 0x00000000u;
inline constexpr unsigned WS_POPUP = 0x80000000u;
inline constexpr unsigned WS_CHILD = 0x40000000u;
inline constexpr unsigned WS_MINIMIZE = 0x20000000u;
inline constexpr unsigned WS_VISIBLE = 0x10000000u;
inline constexpr unsigned WS_DISABLED = 0x08000000u;
inline constexpr unsigned WS_CLIPSIBLINGS = 0x04000000u;
inline constexpr unsigned WS_CLIPCHILDREN = 0x02000000u;
inline constexpr unsigned WS_MAXIMIZE = 0x01000000u;
inline constexpr unsigned WS_BORDER = 0x00800000u;
inline constexpr unsigned WS_DLGFRAME = 0x00400000u;
inline constexpr unsigned WS_CAPTION = 0x00C00000u; // WS_BORDER | WS_DLGFRAME
inline constexpr unsigned WS_SYSMENU = 0x00080000u;
inline constexpr unsigned WS_THICKFRAME = 0x00040000u;
inline constexpr unsigned WS_GROUP = 0x00020000u;
inline constexpr unsigned WS_MINIMIZEBOX = 0x00020000u;
inline constexpr unsigned WS_TABSTOP = 0x00010000u;
inline constexpr unsigned WS_MAXIMIZEBOX = 0x00010000u;
inline constexpr unsigned WS_OVERLAPPEDWINDOW =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;

inline constexpr unsigned WS_EX_TOPMOST = 0x00000008u;
inline constexpr unsigned WS_EX_TRANSPARENT = 0x00000020u;
inline constexpr unsigned WS_EX_TOOLWINDOW = 0x00000080u;
inline constexpr unsigned WS_EX_WINDOWEDGE = 0x00000100u;
inline constexpr unsigned WS_EX_APPWINDOW = 0x00040000u;
inline constexpr unsigned WS_EX_LAYERED = 0x00080000u;
inline constexpr unsigned WS_EX_NOACTIVATE = 0x08000000u;

// --- Class styles ---
inline constexpr unsigned CS_VREDRAW = 0x0001;
inline constexpr unsigned CS_HREDRAW = 0x0002;
inline constexpr unsigned CS_DBLCLKS = 0x0008;

// Position or size "let the system choose" in createWindow.
inline constexpr int CW_USEDEFAULT = static_cast<int>(0x80000000u);

// --- showWindow commands ---
inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOWNORMAL = 1;
inline constexpr int SW_SHOWMINIMIZED = 2;
inline constexpr int SW_SHOWMAXIMIZED = 3;
inline constexpr int SW_MAXIMIZE = 3;
inline constexpr int SW_SHOWNOACTIVATE = 4;
inline constexpr int SW_SHOW = 5;
inline constexpr int SW_MINIMIZE = 6;
inline constexpr int SW_SHOWMINNOACTIVE = 7;
inline constexpr int SW_SHOWNA = 8;
inline constexpr int SW_RESTORE = 9;

// --- setWindowPos flags ---
inline constexpr unsigned SWP_NOSIZE = 0x0001;
inline constexpr unsigned SWP_NOMOVE = 0x0002;
inline constexpr unsigned SWP_NOZORDER = 0x0004;
inline constexpr unsigned SWP_NOREDRAW = 0x0008;
inline constexpr unsigned SWP_NOACTIVATE = 0x0010;
inline constexpr unsigned SWP_FRAMECHANGED = 0x0020;
inline constexpr unsigned SWP_SHOWWINDOW = 0x0040;
inline constexpr unsigned SWP_HIDEWINDOW = 0x0080;
inline constexpr unsigned SWP_NOOWNERZORDER = 0x0200;

// --- Hit-test codes (WM_NCHITTEST results, WM_SETCURSOR low word) ---
inline constexpr int HTERROR = -2;
inline constexpr int HTTRANSPARENT = -1;
inline constexpr int HTNOWHERE = 0;
inline constexpr int HTCLIENT = 1;
inline constexpr int HTCAPTION = 2;
inline constexpr int HTSYSMENU = 3;
inline constexpr int HTMINBUTTON = 8;
inline constexpr int HTMAXBUTTON = 9;
inline constexpr int HTLEFT = 10;
inline constexpr int HTRIGHT = 11;
inline constexpr int HTTOP = 12;
inline constexpr int HTTOPLEFT = 13;
inline constexpr int HTTOPRIGHT = 14;
inline constexpr int HTBOTTOM = 15;
inline constexpr int HTBOTTOMLEFT = 16;
inline constexpr int HTBOTTOMRIGHT = 17;
inline constexpr int HTCLOSE = 20;

// --- System commands (WM_SYSCOMMAND wParam) ---
inline constexpr unsigned SC_SIZE = 0xF000;
inline constexpr unsigned SC_MOVE = 0xF010;
inline constexpr unsigned SC_MINIMIZE = 0xF020;
inline constexpr unsigned SC_MAXIMIZE = 0xF030;
inline constexpr unsigned SC_CLOSE = 0xF060;
inline constexpr unsigned SC_KEYMENU = 0xF100;
inline constexpr unsigned SC_RESTORE = 0xF120;

// --- WM_ACTIVATE, WM_MOUSEACTIVATE, WM_SIZE codes ---
inline constexpr unsigned WA_INACTIVE = 0;
inline constexpr unsigned WA_ACTIVE = 1;
inline constexpr unsigned WA_CLICKACTIVE = 2;
inline constexpr int MA_ACTIVATE = 1;
inline constexpr int MA_ACTIVATEANDEAT = 2;
inline constexpr int MA_NOACTIVATE = 3;
inline constexpr int MA_NOACTIVATEANDEAT = 4;
inline constexpr unsigned SIZE_RESTORED = 0;
inline constexpr unsigned SIZE_MINIMIZED = 1;
inline constexpr unsigned SIZE_MAXIMIZED = 2;

// --- Mouse key state (wParam of mouse messages) ---
inline constexpr unsigned MK_LBUTTON = 0x0001;
inline constexpr unsigned MK_RBUTTON = 0x0002;
inline constexpr unsigned MK_SHIFT = 0x0004;
inline constexpr unsigned MK_CONTROL = 0x0008;
inline constexpr unsigned MK_MBUTTON = 0x0010;
inline constexpr int WHEEL_DELTA = 120;

// --- trackMouseEvent ---
inline constexpr unsigned TME_HOVER = 0x00000001u;
inline constexpr unsigned TME_LEAVE = 0x00000002u;
inline constexpr unsigned TME_CANCEL = 0x80000000u;
inline constexpr unsigned HOVER_DEFAULT = 0xFFFFFFFFu;

// --- WM_PRINT flags (lParam) ---
inline constexpr unsigned PRF_CHECKVISIBLE = 0x0001;
inline constexpr unsigned PRF_NONCLIENT = 0x0002;
inline constexpr unsigned PRF_CLIENT = 0x0004;
inline constexpr unsigned PRF_ERASEBKGND = 0x0008;
inline constexpr unsigned PRF_CHILDREN = 0x0010;
inline constexpr unsigned PRF_OWNED = 0x0020;

// --- relatedWindow / ancestorWindow ---
inline constexpr unsigned GW_HWNDFIRST = 0;
inline constexpr unsigned GW_HWNDLAST = 1;
inline constexpr unsigned GW_HWNDNEXT = 2;
inline constexpr unsigned GW_HWNDPREV = 3;
inline constexpr unsigned GW_OWNER = 4;
inline constexpr unsigned GW_CHILD = 5;
inline constexpr unsigned GA_PARENT = 1;
inline constexpr unsigned GA_ROOT = 2;
inline constexpr unsigned GA_ROOTOWNER = 3;

// --- WM_SETICON ---
inline constexpr unsigned ICON_SMALL = 0;
inline constexpr unsigned ICON_BIG = 1;

// --- systemMetric ---
inline constexpr int SM_CXSCREEN = 0;
inline constexpr int SM_CYSCREEN = 1;
inline constexpr int SM_CXICON = 11;
inline constexpr int SM_CYICON = 12;
inline constexpr int SM_CXDOUBLECLK = 36;
inline constexpr int SM_CYDOUBLECLK = 37;
inline constexpr int SM_CXSMICON = 49;
inline constexpr int SM_CYSMICON = 50;

// --- Virtual key codes; letters and digits are their upper-case ASCII codes ---
inline constexpr unsigned VK_LBUTTON = 0x01;
inline constexpr unsigned VK_RBUTTON = 0x02;
inline constexpr unsigned VK_MBUTTON = 0x04;
inline constexpr unsigned VK_BACK = 0x08;
inline constexpr unsigned VK_TAB = 0x09;
inline constexpr unsigned VK_RETURN = 0x0D;
inline constexpr unsigned VK_SHIFT = 0x10;
inline constexpr unsigned VK_CONTROL = 0x11;
inline constexpr unsigned VK_MENU = 0x12; // Alt
inline constexpr unsigned VK_PAUSE = 0x13;
inline constexpr unsigned VK_CAPITAL = 0x14;
inline constexpr unsigned VK_ESCAPE = 0x1B;
inline constexpr unsigned VK_SPACE = 0x20;
inline constexpr unsigned VK_PRIOR = 0x21;
inline constexpr unsigned VK_NEXT = 0x22;
inline constexpr unsigned VK_END = 0x23;
inline constexpr unsigned VK_HOME = 0x24;
inline constexpr unsigned VK_LEFT = 0x25;
inline constexpr unsigned VK_UP = 0x26;
inline constexpr unsigned VK_RIGHT = 0x27;
inline constexpr unsigned VK_DOWN = 0x28;
inline constexpr unsigned VK_INSERT = 0x2D;
inline constexpr unsigned VK_DELETE = 0x2E;
inline constexpr unsigned VK_NUMPAD0 = 0x60;
inline constexpr unsigned VK_NUMPAD9 = 0x69;
inline constexpr unsigned VK_F1 = 0x70;
inline constexpr unsigned VK_F4 = 0x73;
inline constexpr unsigned VK_F10 = 0x79;
inline constexpr unsigned VK_F12 = 0x7B;

// --- Parameter packing helpers ---
constexpr unsigned loWord(std::uintptr_t v) { return static_cast<unsigned>(v & 0xFFFF); }
constexpr unsigned hiWord(std::uintptr_t v) { return static_cast<unsigned>((v >> 16) & 0xFFFF); }
// Signed 16-bit coordinates packed as in mouse messages.
constexpr int xFromLParam(std::intptr_t l) { return static_cast<std::int16_t>(l & 0xFFFF); }
constexpr int yFromLParam(std::intptr_t l) { return static_cast<std::int16_t>((l >> 16) & 0xFFFF); }
constexpr std::intptr_t makeLParam(int lo, int hi) {
    return static_cast<std::intptr_t>(
        static_cast<std::int32_t>((static_cast<std::uint32_t>(lo) & 0xFFFF) | (static_cast<std::uint32_t>(hi) << 16)));
}
constexpr std::uintptr_t makeWParam(unsigned lo, unsigned hi) {
    return static_cast<std::uintptr_t>((lo & 0xFFFF) | ((hi & 0xFFFF) << 16));
}

} // namespace platform
