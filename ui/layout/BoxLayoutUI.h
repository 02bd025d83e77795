// The horizontal and vertical layouts, one algorithm over an axis: children
// in a line along it, sharing its length among fixed, measured and
// stretching children, aligned across it; optionally a splitter that the
// user drags to resize the layout along that axis.
#pragma once

#include "ui/layout/ContainerUI.h"

// One box layout over an axis. Along the axis: padding, child gap, min/max
// clamping and the stretch share (the last stretching child takes what
// rounding left); across it: the container's alignment for that direction.
// The splitter attribute ("sepwidth" for a row, "sepheight" for a column;
// > 0 at the far edge, < 0 at the near edge) makes a strip of that size a
// splitter changing the layout's fixed size along the axis; "sepimm"
// resizes while dragging instead of on release. UI thread only.
class CBoxLayoutUI : public CContainerUI {
public:
    enum class Axis { Horizontal, Vertical };

    unsigned behaviourFlags() const override;
    void place(platform::Rect rect, bool needInvalidate = true) override;
    void handleEvent(TInputEventUI& event) override;
    void applyAttribute(std::wstring_view name, std::wstring_view value) override;
    void afterPaint(platform::Canvas& canvas, const platform::Rect& paint) override;

    Axis axis() const { return m_axis; }
    int splitterSize() const { return m_splitterSize; }
    void assignSplitterSize(int size) { m_splitterSize = size; }
    bool splitterImmediate() const { return m_immediate; }
    void assignSplitterImmediate(bool immediate) { m_immediate = immediate; }
    // The splitter strip of `rect` (the position, or the drag rectangle).
    platform::Rect splitterRect(const platform::Rect& rect) const;
    bool isDragging() const { return m_dragging; }

protected:
    explicit CBoxLayoutUI(Axis axis) : m_axis(axis) {}

private:
    // Moves the dragged edge by the mouse; false when the move is ignored.
    bool dragSplitterTo(platform::Point mouse);

    Axis m_axis;
    int m_splitterSize = 0;
    bool m_dragging = false;
    platform::Point m_lastMouse;
    platform::Rect m_dragRect;
    bool m_immediate = false;
};

// A container that lines its children up left to right: vertical alignment
// across, "sepwidth" for the splitter, which changes the fixed width. A
// child keeps its measured width only when it has auto width or a fixed one.
class CHorizontalLayoutUI : public CBoxLayoutUI {
public:
    CHorizontalLayoutUI() : CBoxLayoutUI(Axis::Horizontal) {}

    std::wstring_view typeName() const override;
    void* castTo(std::wstring_view name) override;
};

// A container that stacks its children top to bottom: horizontal alignment
// across, "sepheight" for the splitter, which changes the fixed height. Any
// child that measures a height keeps it.
class CVerticalLayoutUI : public CBoxLayoutUI {
public:
    CVerticalLayoutUI() : CBoxLayoutUI(Axis::Vertical) {}

    std::wstring_view typeName() const override;
    void* castTo(std::wstring_view name) override;
};
