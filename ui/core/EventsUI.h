// What flows between the paint manager, the controls and their observers:
// input events, notices, the flags of the control-tree walk and of a
// control's behaviour, and the listener interfaces.
#pragma once

#include "platform/graphics/Geometry.h"
#include "platform/window/Window.h"
#include "ui/base/StringUI.h"

#include <cstdint>

class CControlUI;

// Kinds of input event a control receives through dispatchEvent. The mouse
// kinds are exactly MouseMove through ScrollWheel (isMouseEvent).
enum class UiEventKind : int {
    None = 0,
    KeyDown = 3,
    KeyUp = 4,
    Char = 5,
    SysKey = 6,
    MouseMove = 9,
    MouseLeave = 10,
    MouseEnter = 11,
    MouseHover = 12,
    ButtonDown = 13,
    ButtonUp = 14,
    RightButtonDown = 15,
    RightButtonUp = 16,
    DoubleClick = 17,
    ContextMenu = 18,
    ScrollWheel = 19,
    KillFocus = 21,
    SetFocus = 22,
    WindowSize = 23,
    SetCursor = 24,
    Timer = 25,
    // The input method's composition changed (platform::compositionText); wparam: its cursor.
    Composition = 26,
};

constexpr bool isMouseEvent(UiEventKind kind) {
    return static_cast<int>(kind) >= static_cast<int>(UiEventKind::MouseMove) && static_cast<int>(kind) < 20;
}

// Key state bits of TInputEventUI::keyState.
struct KeyStateBits {
    enum : std::uint16_t { LeftButton = 1, RightButton = 2, Shift = 4, Control = 8, Alt = 0x20 };
};

// The key state now (left and right button, Shift, Ctrl, Alt), from the
// window system's key state. UI thread.
std::uint16_t keyStateNow();

// An input event. The manager builds one per window message it routes and
// passes it by pointer; controls read it and may forward it to their parent.
struct TInputEventUI {
    UiEventKind kind = UiEventKind::None;
    CControlUI* sender = nullptr; // the control the event is about
    std::uint32_t timestamp = 0;  // display clock, milliseconds
    platform::Point mousePos;     // client coordinates
    std::uint16_t keyChar = 0;    // low word of wParam of key and character messages
    std::uint16_t keyState = 0;   // KeyStateBits
    platform::WParam wparam = 0;  // per kind
    platform::LParam lparam = 0;  // per kind
};

// A notice ("click", "selectchanged", ...). Built by the manager; listeners
// read it. The sender is not owned and may be null (a deleted sender of a
// queued notice is cleared before delivery).
struct TNoticeUI {
    CStringUI kind;
    CStringUI virtualWindow; // filled only while the manager uses virtual windows
    CControlUI* sender = nullptr;
    std::uint32_t timestamp = 0;
    platform::Point mousePos; // the manager's last mouse position, client coordinates
    platform::WParam wparam = 0;
    platform::LParam lparam = 0;
};

// Flags of CControlUI::walkTree.
enum FindFlags : unsigned {
    FindAll = 0,
    FindVisible = 0x1,
    FindEnabled = 0x2,
    FindHitTest = 0x4,         // data points to a platform::Point; only controls containing it
    FindUpdateTest = 0x8,      // a control the callback accepts is collected, its subtree not searched
    FindTopFirst = 0x10,       // children from last to first (the topmost first)
    FindMeFirst = 0x80000000u, // a control before its children and cover
};

// Walk callback: a non-null result ends the walk with that control.
using FindControlProc = CControlUI* (*)(CControlUI* control, void* data);

// Bits of CControlUI::behaviourFlags.
struct ControlFlags {
    enum : unsigned { TabStop = 1, SetCursor = 2 };
};

// Receives every notice of a window, in registration order.
class INotifyUI {
public:
    virtual void onNotice(TNoticeUI& notice) = 0;

protected:
    ~INotifyUI() = default;
};

// Sees every window message before the manager handles it. Setting
// `handled` stops all further processing; the result becomes the message's.
class IMessageFilterUI {
public:
    virtual platform::LResult filterMessage(unsigned message, platform::WParam wParam, platform::LParam lParam,
                                            bool& handled) = 0;

protected:
    ~IMessageFilterUI() = default;
};

// Sees queued messages before the message loop translates and dispatches
// them. A result of 0 means the message was consumed.
class ITranslateAccelerator {
public:
    virtual platform::LResult translateKey(const platform::Message* message) = 0;

protected:
    ~ITranslateAccelerator() = default;
};
