// The control that owns child controls: keeps them in order, attaches them
// to its manager, passes its visibility on, lays them out in its client area,
// scrolls them, walks them and paints them clipped to itself.
#pragma once

#include "ui/core/ControlUI.h"
#include "ui/base/PtrArrayUI.h"

class CScrollBarUI;

// The container interface the dialog builder and code use to manage
// children ("IContainer" through castTo). Indices run from 0.
class IContainerUI {
public:
    virtual CControlUI* itemAt(int index) const = 0;    // null out of range
    virtual int indexOf(CControlUI* control) const = 0; // -1 when not a child
    // Moves a child to `index`; false when it is not a child.
    virtual bool moveItemTo(CControlUI* control, int index) = 0;
    // Moves the run of `count` children starting at `control` to `index`;
    // false for bad arguments or a run or target past the end.
    virtual bool moveItemsTo(CControlUI* control, int count, int index) = 0;
    virtual int itemCount() const = 0;
    // Takes ownership of `control` (false for null) and attaches it.
    virtual bool addItem(CControlUI* control) = 0;
    virtual bool insertItem(CControlUI* control, int index) = 0;
    // Removes a child; unless keepAlive an owned child is deleted (possibly
    // deferred). A kept child keeps its parent and manager links.
    virtual bool removeItem(CControlUI* control, bool keepAlive = false) = 0;
    virtual bool removeItemAt(int index, bool keepAlive = false) = 0;
    virtual void removeAllItems() = 0;

protected:
    ~IContainerUI() = default;
};

// Child alignment values ("childalign", "childvalign").
struct ChildAlignUI {
    enum : int { Left = 0, Centre = 1, Right = 2 };
    enum : int { Top = 0, VCentre = 4, Bottom = 8 };
};

// A container: the base layout places every non-floating child over the
// whole client area (position minus inset minus visible scroll bars).
// Owns its children and its scroll bars. UI thread only.
class CContainerUI : public CControlUI, public IContainerUI {
public:
    CContainerUI();
    ~CContainerUI() override;

    // --- IContainerUI ---
    CControlUI* itemAt(int index) const override;
    int indexOf(CControlUI* control) const override;
    bool moveItemTo(CControlUI* control, int index) override;
    bool moveItemsTo(CControlUI* control, int count, int index) override;
    int itemCount() const override;
    bool addItem(CControlUI* control) override;
    bool insertItem(CControlUI* control, int index) override;
    bool removeItem(CControlUI* control, bool keepAlive = false) override;
    bool removeItemAt(int index, bool keepAlive = false) override;
    void removeAllItems() override;

    // --- CControlUI ---
    std::wstring_view typeName() const override;
    void* castTo(std::wstring_view name) override;
    void bindManager(CFormManagerUI* manager, CControlUI* parent, bool init = true) override;
    // Position minus inset and visible scroll bars.
    platform::Rect innerBounds() const override;
    void place(platform::Rect rect, bool needInvalidate = true) override;
    void shiftBy(int dx, int dy, bool needInvalidate = true) override;
    void assignShown(bool visible = true) override;
    void assignInheritedShown(bool visible = true) override;
    void assignMouseEnabled(bool enabled = true) override;
    CControlUI* walkTree(FindControlProc proc, void* data, unsigned flags) override;
    void handleEvent(TInputEventUI& event) override;
    void applyAttribute(std::wstring_view name, std::wstring_view value) override;
    bool paintSelf(platform::Canvas& canvas, const platform::Rect& paint, CControlUI* stop) override;
    void afterPaint(platform::Canvas& canvas, const platform::Rect& paint) override;

    // --- Container settings (setters schedule layout) ---
    virtual platform::Rect inset() const;
    virtual void assignInset(const platform::Rect& inset);
    virtual int childGap() const;
    virtual void assignChildGap(int gap); // negative becomes 0
    virtual int childAlign() const;       // ChildAlignUI::Left, Centre, Right
    virtual void assignChildAlign(int align);
    virtual int childVAlign() const; // ChildAlignUI::Top, VCentre, Bottom
    virtual void assignChildVAlign(int align);
    virtual bool ownsChildren() const;
    virtual void assignOwnsChildren(bool owns);
    virtual bool defersChildDeletion() const;
    virtual void assignDefersChildDeletion(bool defer);
    virtual bool mouseChildEnabled() const;
    virtual void assignMouseChildEnabled(bool enabled);
    // The nearest visible, enabled child from `index` on that is a list item; -1 when none.
    virtual int nearestSelectable(int index, bool forward) const;

    // --- Scrolling ---
    // (horizontal, vertical) position of the visible bars; 0 for a missing or hidden bar.
    virtual platform::Size scrollOffset() const;
    // (horizontal, vertical) range of the visible bars.
    virtual platform::Size scrollExtent() const;
    // Gives the visible bars their new positions (clamped by the bars) and
    // shifts the non-floating children by the change.
    virtual void scrollTo(int x, int y, bool notify = true);
    virtual void scrollLineUp();
    virtual void scrollLineDown();
    virtual void scrollPageUp();
    virtual void scrollPageDown();
    virtual void scrollToTop();
    // At the end of the next paint (the range is known only after layout).
    virtual void scrollToBottom();
    virtual void scrollLineLeft();
    virtual void scrollLineRight();
    virtual void scrollPageLeft();
    virtual void scrollPageRight();
    virtual void scrollToLeftEnd();
    virtual void scrollToRightEnd();
    // Creates or deletes the two bars.
    virtual void enableScrollBars(bool vertical = true, bool horizontal = false);
    virtual CScrollBarUI* verticalScrollBar() const;
    virtual CScrollBarUI* horizontalScrollBar() const;
    // Places floating child `index` by its fixed offsets and anchors (ignoring inset, gap and scrolling).
    virtual void placeFloatChild(int index);
    // Shows, hides, places and sizes the bars for content of `required`
    // width and height in the client rectangle `rc`; relays out when a bar
    // appears or disappears.
    virtual void fitScrollBars(platform::Rect rc, int requiredWidth, int requiredHeight);

protected:
    // Places the container itself (a size change resets the matching bar's
    // range) and returns the client rectangle: position minus inset and the
    // visible scroll bars, not widened by scrolling.
    platform::Rect placeClientArea(platform::Rect rect, bool needInvalidate);
    // Calls `placeChild(index, child)` for every shown child that is not
    // floating, in order; floating children are placed by their anchors.
    template <class PlaceChild>
    void placeChildren(PlaceChild&& placeChild) {
        for (int i = 0; i < m_items.size(); ++i) {
            CControlUI* child = m_items[i];
            if (!child->isShown()) continue;
            if (child->isFloating())
                placeFloatChild(i);
            else
                placeChild(i, child);
        }
    }
    // The client rectangle widened to the scrolled content (base layout step 3).
    platform::Rect scrolledClientRect() const;
    // Places the container again at its own (relative, when floating) position.
    void relayout(bool needInvalidate);
    int lineStep(const CScrollBarUI* bar) const;
    bool removeChildAt(int index, bool keepAlive);
    void deleteChild(CControlUI* child);

    CPtrArrayUI<CControlUI> m_items; // owned when m_ownsChildren
    platform::Rect m_inset;
    int m_childGap = 0;
    int m_childAlign = ChildAlignUI::Left;
    int m_childVAlign = ChildAlignUI::Top;
    bool m_ownsChildren = true;
    bool m_defersChildDeletion = false;
    bool m_mouseChildEnabled = true;
    bool m_relayoutGuard = false;
    bool m_scrollToEndPending = false;
    CScrollBarUI* m_vScrollBar = nullptr; // owned
    CScrollBarUI* m_hScrollBar = nullptr; // owned
};
