// A container that lines its children up left to right, sharing the width
// among fixed, measured and stretching children; optionally a splitter that
// the user drags to resize the layout.
#pragma once

#include "ui/layout/ContainerUI.h"

// Horizontal stacking with padding, child gap, vertical alignment, min/max
// clamping and scroll bars. "sepwidth" (> 0 at the right edge, < 0 at the
// left edge) makes a strip of that width a splitter changing the layout's
// fixed width; "sepimm" resizes while dragging instead of on release.
// UI thread only.
class CHorizontalLayoutUI : public CContainerUI {
public:
    CHorizontalLayoutUI() = default;

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
