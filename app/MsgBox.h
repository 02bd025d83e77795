// ShowMsgBox: the one way the installer asks or tells the user something.
// What shows the box is a presenter set by the program (the skinned message
// box window) or by a test that answers in its place.
#pragma once

#include "platform/window/Window.h"

#include <functional>
#include <string>
#include <string_view>

// Kinds of message box.
inline constexpr int kMsgBoxOk = 1;       // OK only
inline constexpr int kMsgBoxOkCancel = 2; // OK and cancel

// Results of ShowMsgBox.
inline constexpr int kMsgBoxClosed = 0; // Esc, the window's close, or nobody to show the box
inline constexpr int kMsgBoxOkPressed = 1;
inline constexpr int kMsgBoxCancelPressed = 2;

// One message box as the caller asked for it.
struct MsgBoxRequest {
    platform::WindowHandle owner = nullptr;
    std::wstring text;
    int kind = kMsgBoxOk;
    std::wstring okCaption;
    std::wstring cancelCaption;
};

// Shows the box modally and returns what the user pressed: kMsgBoxOkPressed,
// kMsgBoxCancelPressed or kMsgBoxClosed. UI thread only.
using MsgBoxPresenter = std::function<int(const MsgBoxRequest&)>;

// Shows text with the given kind and button captions, owned by owner (null:
// no owner), through the current presenter. Without a presenter nothing can
// be shown and the result is kMsgBoxClosed, which every caller treats as
// "do not go on". UI thread only.
int ShowMsgBox(platform::WindowHandle owner, std::wstring_view text, int kind, std::wstring_view okCaption,
               std::wstring_view cancelCaption);

// Installs the presenter every later ShowMsgBox goes through (an empty one
// removes it) and returns the one it replaces. UI thread only.
MsgBoxPresenter SetMsgBoxPresenter(MsgBoxPresenter presenter);

// Installs a presenter for the lifetime of the object and puts the previous
// one back afterwards (tests answer message boxes with it).
class ScopedMsgBoxPresenter {
public:
    explicit ScopedMsgBoxPresenter(MsgBoxPresenter presenter) : m_previous(SetMsgBoxPresenter(std::move(presenter))) {}
    ~ScopedMsgBoxPresenter() { SetMsgBoxPresenter(std::move(m_previous)); }
    ScopedMsgBoxPresenter(const ScopedMsgBoxPresenter&) = delete;
    ScopedMsgBoxPresenter& operator=(const ScopedMsgBoxPresenter&) = delete;

private:
    MsgBoxPresenter m_previous;
};
