// One column of a list header: its title, width limits, a separator strip
// the user drags to resize it, and a click notice.
#pragma once

#include "ui/controls/LabelUI.h"
#include "ui/render/ImageDescription.h"

// A header item. Its width ("width", clamped to "minwidth" / "maxwidth")
// is the column's width. Pressing in the "sepwidth" strip at its right
// edge (4 pixels by default; 0 turns it off, as does dragable="false") and
// moving the mouse resizes it; a press and release elsewhere on it raises
// "headerclick" (wparam its index in the header). Images by state:
// "normalimage", "hotimage", "pushedimage"; "sepimage" is drawn in the
// strip. UI thread only.
class CListHeaderItemUI : public CLabelUI {
public:
    CListHeaderItemUI();

    std::wstring_view typeName() const override;
    void* castTo(std::wstring_view name) override;
    unsigned behaviourFlags() const override;
    void handleEvent(TInputEventUI& event) override;
    void applyAttribute(std::wstring_view name, std::wstring_view value) override;
    platform::Size measure(platform::Size available) override;
    void drawStateImage(platform::Canvas& canvas) override;

    int separatorWidth() const { return m_sepWidth; }
    void assignSeparatorWidth(int width) { m_sepWidth = width < 0 ? 0 : width; }
    bool dragable() const { return m_dragable; }
    void assignDragable(bool dragable) { m_dragable = dragable; }
    // The separator strip of the current position (empty when off).
    platform::Rect separatorRect() const;
    bool isDragging() const { return m_dragging; }

private:
    int m_sepWidth = 4;
    bool m_dragable = true;
    bool m_dragging = false;
    bool m_pushed = false;
    bool m_hot = false;
    int m_dragStartX = 0;
    int m_dragStartWidth = 0;
    ImageDescription m_normalImage;
    ImageDescription m_hotImage;
    ImageDescription m_pushedImage;
    ImageDescription m_sepImage;
};
