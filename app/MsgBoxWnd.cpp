#include "app/MsgBoxWnd.h"

#include "platform/window/Window.h"
#include "ui/core/ControlUI.h"
#include "ui/markup/SkinBuilder.h"

using namespace platform;

void ApplyRoundRegion(WindowHandle window, const CFormManagerUI& manager) {
    const Size round = manager.roundCorner();
    if (isIconic(window) || (round.cx == 0 && round.cy == 0)) return;
    Rect rc = windowRect(window);
    rc = Rect{0, 0, rc.width() + 1, rc.height() + 1};
    setWindowRoundRegion(window, rc, round, true);
}

CMsgBoxWnd::CMsgBoxWnd(std::wstring text, int kind, std::wstring okCaption, std::wstring cancelCaption)
    : m_text(std::move(text)), m_kind(kind), m_okCaption(std::move(okCaption)),
      m_cancelCaption(std::move(cancelCaption)) {}

CMsgBoxWnd::~CMsgBoxWnd() {
    if (m_window && isWindow(m_window)) destroyWindow(m_window);
}

int CMsgBoxWnd::run(WindowHandle owner) {
    // Created with its caption and then stripped of it (WM_CREATE), at the
    // main window's size until the skin gives the real one.
    if (!createHostWindow(owner, L"Quellan", WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_CAPTION, 0, 0, 0, 1090,
                          644))
        return kMsgBoxClosed;
    return runModal(/*show=*/true, /*takeFocus=*/false);
}

LResult CMsgBoxWnd::onWindowMessage(unsigned message, WParam wParam, LParam lParam) {
    switch (message) {
    case WM_CREATE: {
        setWindowStyle(m_window, (windowStyle(m_window) & ~WS_CAPTION) | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
        m_manager.attachWindow(m_window, L"msgbox");
        m_manager.setCaption(Rect{0, 0, 0, kMsgBoxCaptionHeight});
        CSkinBuilder builder;
        if (CControlUI* root = builder.build(L"msgbox.xml", nullptr, nullptr, &m_manager)) {
            m_manager.setRoot(root);
            m_manager.addListener(this);
        }
        return 0;
    }
    case WM_SIZE: {
        ApplyRoundRegion(m_window, m_manager);
        break; // the paint manager lays out for the new size
    }
    case WM_NCCALCSIZE:
    case WM_NCPAINT:
    case WM_NCLBUTTONDBLCLK:
        return 0;
    case WM_NCHITTEST:
        return hitTest(lParam);
    case WM_KEYDOWN:
        // Every key is consumed here: Enter presses nothing, Esc closes.
        if (wParam == VK_ESCAPE) requestClose(kMsgBoxClosed);
        return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE) {
            requestClose(kMsgBoxClosed);
            return 0;
        }
        if ((wParam & 0xFFF0) == SC_KEYMENU) return 0;
        return CWindowWnd::onWindowMessage(message, wParam, lParam);
    default:
        break;
    }
    LResult result = 0;
    if (m_manager.handleMessage(message, wParam, lParam, result)) return result;
    return CWindowWnd::onWindowMessage(message, wParam, lParam);
}

LResult CMsgBoxWnd::hitTest(LParam lParam) {
    const Point pt = screenToClient(m_window, Point{static_cast<std::int16_t>(lParam & 0xFFFF),
                                                    static_cast<std::int16_t>((lParam >> 16) & 0xFFFF)});
    const Rect client = clientRect(m_window);
    const Rect caption = m_manager.caption();
    if (pt.x >= client.left + caption.left && pt.x < client.right - caption.right && pt.y >= caption.top &&
        pt.y < caption.bottom) {
        CControlUI* control = m_manager.findControlAt(pt);
        // Only plain buttons are exempt from dragging: a label or an option
        // in the band drags the dialog.
        if (!control || control->typeName() == L"Button") return HTCLIENT;
        return HTCAPTION;
    }
    return HTCLIENT;
}

void CMsgBoxWnd::onNotice(TNoticeUI& notice) {
    const std::wstring_view kind = notice.kind.view();
    if (kind == L"windowinit") {
        centreOnOwner();
        if (CControlUI* text = m_manager.findControlByName(L"msgbox_text")) text->assignText(m_text);
        if (CControlUI* ok = m_manager.findControlByName(L"msgbox_ok")) {
            const bool shown = m_kind == kMsgBoxOk || m_kind == kMsgBoxOkCancel;
            ok->assignShown(shown);
            if (shown) ok->assignText(m_okCaption);
        }
        if (CControlUI* cancel = m_manager.findControlByName(L"msgbox_cancel")) {
            const bool shown = m_kind == kMsgBoxOkCancel;
            cancel->assignShown(shown);
            if (shown) cancel->assignText(m_cancelCaption);
        }
        return;
    }
    if (kind != L"click" || !notice.sender) return;
    const std::wstring_view name = notice.sender->controlName().view();
    if (name == L"msgbox_ok")
        requestClose(kMsgBoxOkPressed);
    else if (name == L"msgbox_cancel")
        requestClose(kMsgBoxCancelPressed);
}

void InstallMsgBoxWindow() {
    SetMsgBoxPresenter([](const MsgBoxRequest& request) {
        CMsgBoxWnd box(request.text, request.kind, request.okCaption, request.cancelCaption);
        return box.run(request.owner);
    });
}
