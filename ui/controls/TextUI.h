// Multi-line text with clickable links ("showhtml" rich text).
#pragma once

#include "ui/controls/LabelUI.h"

// A label for running text: word-wrapped from the top-left by default, with
// up to kMaxLinks links whose rectangles and targets the last paint found.
// A click on a link raises "link" (wparam = its index); the link under the
// mouse is drawn in the window's link-hover colour. UI thread only.
class CTextUI : public CLabelUI {
public:
    static constexpr int kMaxLinks = 8;

    CTextUI();

    std::wstring_view typeName() const override;
    void* castTo(std::wstring_view name) override;
    unsigned behaviourFlags() const override;
    void handleEvent(TInputEventUI& event) override;
    void drawTextPart(platform::Canvas& canvas) override;

    int linkCount() const { return m_linkCount; }
    // Rectangle (client coordinates) and target of link `index`; empty out of range.
    platform::Rect linkRect(int index) const;
    CStringUI linkTarget(int index) const;
    // The index of the link under the mouse, -1 when none.
    int hoveredLink() const { return m_hoverLink; }

private:
    int linkAt(platform::Point point) const;

    platform::Rect m_links[kMaxLinks];
    CStringUI m_linkTargets[kMaxLinks];
    int m_linkCount = 0;
    int m_hoverLink = -1;
};
