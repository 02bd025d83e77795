// The embedded browser, in the form it takes where no browser component
// exists: its home page as a link that opens in the user's browser.
#pragma once

#include "ui/controls/ActiveXUI.h"

// A hosted-component control whose "homepage" (an http or https address)
// is shown as an underlined link in "linkcolor" and the "font", vertically
// centred after "textpadding". A click on the link hands the address to
// the desktop, the way the main window's web button does; any other kind
// of address is shown but never opened. UI thread only.
class CWebBrowserUI : public CActiveXUI {
public:
    std::wstring_view typeName() const override;
    void* castTo(std::wstring_view name) override;
    unsigned behaviourFlags() const override;
    void applyAttribute(std::wstring_view name, std::wstring_view value) override;
    void handleEvent(TInputEventUI& event) override;
    void drawTextPart(platform::Canvas& canvas) override;

    const CStringUI& homePage() const { return m_homePage; }
    // Shows `url` in place of the home page.
    void navigate(std::wstring_view url);
    // The link's rectangle as last painted (empty before the first paint).
    const platform::Rect& linkRect() const { return m_linkRect; }
    // Opens the shown address in the user's browser; false when it is not
    // an openable address or the desktop could not be asked.
    bool openHomePage() const;
    // Whether `url` may be handed to the desktop: http:// or https:// with a
    // host, without control characters or blanks.
    static bool isOpenableAddress(std::wstring_view url);

protected:
    std::wstring componentDescription() const override;

private:
    CStringUI m_homePage;
    platform::Argb m_linkColour = 0xFF1A5FB4;
    int m_font = -1;
    platform::Rect m_textPadding{4, 0, 4, 0};
    platform::Rect m_linkRect;
    bool m_pressed = false;
};
