// CWebBrowserUI: the home page shown as a link and handed to the desktop.
#include "ui/controls/WebBrowserUI.h"

#include "platform/system/Shell.h"
#include "platform/system/System.h"
#include "ui/core/AttributeValues.h"
#include "ui/core/FormManagerUI.h"
#include "ui/core/ManagerDrawing.h"

#include <algorithm>
#include <cwctype>

using platform::Rect;

std::wstring_view CWebBrowserUI::typeName() const { return L"WebBrowser"; }

void* CWebBrowserUI::castTo(std::wstring_view name) {
    if (name == L"WebBrowser") return this;
    return CActiveXUI::castTo(name);
}

unsigned CWebBrowserUI::behaviourFlags() const {
    return m_enabled && isOpenableAddress(m_homePage.view()) ? static_cast<unsigned>(ControlFlags::SetCursor) : 0u;
}

std::wstring CWebBrowserUI::componentDescription() const { return L"web browser component"; }

bool CWebBrowserUI::isOpenableAddress(std::wstring_view url) {
    std::wstring_view rest;
    auto startsNoCase = [&](std::wstring_view prefix) {
        if (url.size() < prefix.size()) return false;
        for (std::size_t i = 0; i < prefix.size(); ++i)
            if (static_cast<wchar_t>(std::towlower(static_cast<wint_t>(url[i]))) != prefix[i]) return false;
        rest = url.substr(prefix.size());
        return true;
    };
    if (!startsNoCase(L"https://") && !startsNoCase(L"http://")) return false;
    if (rest.empty() || rest.front() == L'/' || rest.front() == L'?' || rest.front() == L'#') return false;
    for (wchar_t ch : url)
        if (ch <= L' ' || ch == 0x7F) return false;
    return true;
}

void CWebBrowserUI::navigate(std::wstring_view url) {
    if (m_homePage == url) return;
    m_homePage = url;
    m_linkRect = {};
    invalidate();
}

bool CWebBrowserUI::openHomePage() const {
    if (!isOpenableAddress(m_homePage.view())) {
        platform::debugOutput(L"quellan: not opening \"" + m_homePage.toStd() + L"\": not a web address\n");
        return false;
    }
    return platform::openUrl(m_homePage.view());
}

void CWebBrowserUI::applyAttribute(std::wstring_view name, std::wstring_view value) {
    if (name == L"homepage") {
        navigate(value);
    } else if (name == L"linkcolor") {
        m_linkColour = attr::parseColour(value);
        invalidate();
    } else if (name == L"font") {
        m_font = attr::parseInt(value);
        invalidate();
    } else if (name == L"textpadding") {
        m_textPadding = attr::parseRect(value);
        invalidate();
    } else if (name == L"autonavi") {
        // The page is never loaded here: the link is all there is to show.
    } else {
        CActiveXUI::applyAttribute(name, value);
    }
}

void CWebBrowserUI::handleEvent(TInputEventUI& event) {
    const bool onLink = m_linkRect.contains(event.mousePos);
    switch (event.kind) {
    case UiEventKind::SetCursor:
        if (m_enabled && onLink && isOpenableAddress(m_homePage.view())) {
            platform::setCursor(platform::CursorShape::Hand);
            return;
        }
        break;
    case UiEventKind::ButtonDown:
    case UiEventKind::DoubleClick:
        m_pressed = m_enabled && onLink;
        return;
    case UiEventKind::ButtonUp:
        if (m_pressed && onLink && m_enabled) openHomePage();
        m_pressed = false;
        return;
    default:
        break;
    }
    CActiveXUI::handleEvent(event);
}

void CWebBrowserUI::drawTextPart(platform::Canvas& canvas) {
    if (m_homePage.isEmpty() || !m_manager) return;
    const Rect pad = toDevice(m_textPadding);
    const Rect area{m_pos.left + pad.left, m_pos.top + pad.top, m_pos.right - pad.right, m_pos.bottom - pad.bottom};
    if (area.isEmpty()) return;
    const platform::Argb colour = m_enabled ? m_linkColour : m_manager->disabledTextColour();
    const unsigned flags =
        platform::DT_SINGLELINE | platform::DT_VCENTER | platform::DT_END_ELLIPSIS | platform::DT_NOPREFIX;
    // Measured first, so that the underline and the clickable part are the
    // text's own extent rather than the whole control.
    Rect measured = area;
    render::drawPlainText(canvas, m_manager, measured, m_homePage.view(), colour, m_font,
                          flags | platform::DT_CALCRECT);
    const int width = std::min(measured.width(), area.width());
    const int height = std::min(measured.height(), area.height());
    const int top = area.top + (area.height() - height) / 2;
    m_linkRect = Rect{area.left, top, area.left + width, top + height};
    Rect text = area;
    render::drawPlainText(canvas, m_manager, text, m_homePage.view(), colour, m_font, flags);
    canvas.fillRect({m_linkRect.left, m_linkRect.bottom - 1, m_linkRect.right, m_linkRect.bottom}, colour);
}
