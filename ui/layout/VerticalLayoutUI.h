// A container that stacks its children top to bottom, sharing the height
// among fixed, measured and stretching children; optionally a splitter that
// the user drags to resize the layout.
#pragma once

#include "ui/layout/ContainerUI.h"

// Vertical stacking with padding, child gap, horizontal alignment, min/max
// clamping and scroll bars. "sepheight" (> 0 at the bottom edge, < 0 at the
// top edge) makes a strip of that height a splitter changing the layout's
// fixed height; "sepimm" resizes while dragging instead of on release.
// UI thread only.
class CVerticalLayoutUI : public CContainerUI {
public:
    CVerticalLayoutUI() = default;

    std::wstring_view typeName() const override;
    void* castTo(std::wstring_view name) override;
    unsigned behaviourFlags() const override;
    void place(platform::Rect rect, bool needInvalidate = true) override;
    void handleEvent(TInputEventUI& event) override;
    void applyAttribute(std::wstring_view name, std::wstring_view value) override;
    void afterPaint(platform::Canvas& canvas, const platform::Rect& paint) override;

    int splitterSize() const { return m_splitterSize; }
    void assignSplitterSize(int size) { m_splitterSize = size; }
    bool splitterImmediate() const { return m_immediate; }
    void assignSplitterImmediate(bool immediate) { m_immediate = immediate; }
    // The splitter strip of `rect` (the position, or the drag rectangle).
    platform::Rect splitterRect(const platform::Rect& rect) const;
    bool isDragging() const { return m_dragging; }

private:
    int m_splitterSize = 0;
    bool m_dragging = false;
    platform::Point m_lastMouse;
    platform::Rect m_dragRect;
    bool m_immediate = false;
};
