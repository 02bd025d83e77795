// The skinned message box: one modal dialog built from "msgbox.xml" that
// shows a text and one or two buttons and tells which one closed it. It is
// what ShowMsgBox (app/MsgBox.h) shows once InstallMsgBoxWindow has run.
#pragma once

#include "app/MsgBox.h"
#include "ui/core/FormManagerUI.h"
#include "ui/core/WindowWnd.h"

#include <string>

// Height of the band at the top that drags the dialog (buttons excepted).
inline constexpr int kMsgBoxCaptionHeight = 35;

class CMsgBoxWnd : public CWindowWnd, public INotifyUI {
public:
    // kind: kMsgBoxOk (OK only), kMsgBoxOkCancel (both), anything else: no
    // button (only Esc or the window's close end the dialog).
    CMsgBoxWnd(std::wstring text, int kind, std::wstring okCaption, std::wstring cancelCaption);
    ~CMsgBoxWnd() override;

    const wchar_t* wndClassName() const override { return L"CMsgBoxWnd"; }
    const wchar_t* baseClassName() const override { return nullptr; }
    unsigned wndClassStyle() const override { return platform::CS_DBLCLKS; }
    platform::LResult onWindowMessage(unsigned message, platform::WParam wParam, platform::LParam lParam) override;
    void afterDestroyed(platform::WindowHandle) override {}
    void onNotice(TNoticeUI& notice) override;

    // Creates the dialog owned by owner, runs it modally (the owner disabled
    // meanwhile) and returns kMsgBoxOkPressed, kMsgBoxCancelPressed or
    // kMsgBoxClosed. Without a display or skin: kMsgBoxClosed.
    int run(platform::WindowHandle owner);

    CFormManagerUI& manager() { return m_manager; }

private:
    platform::LResult hitTest(platform::LParam lParam);

    CFormManagerUI m_manager;
    std::wstring m_text;
    int m_kind;
    std::wstring m_okCaption;
    std::wstring m_cancelCaption;
};

// Makes ShowMsgBox show CMsgBoxWnd (the program's presenter).
void InstallMsgBoxWindow();

// The round window region both windows use: the paint manager's round-corner
// size applied to the window's rectangle, when the window is not minimised and
// the size is not 0 × 0.
void ApplyRoundRegion(platform::WindowHandle window, const CFormManagerUI& manager);
