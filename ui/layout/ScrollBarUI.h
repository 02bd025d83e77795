// A scroll bar: two arrow buttons, a track and a thumb over a range. Owned
// by a container it scrolls that container; on its own it only keeps and
// reports its position.
#pragma once

#include "ui/core/ControlUI.h"

class CContainerUI;

// Parts of a bar, for hit tests and state images.
enum class ScrollBarPart { None, Button1, Button2, Track, Thumb };

// A vertical (default) or horizontal scroll bar. The position runs from 0
// to the range; the thumb's length shows the bar's length against
// length + range. Input: an arrow moves one line (repeating while held), a
// press on the track one page towards the press (repeating until the thumb
// reaches the mouse), the thumb drags. With an owner, lines, pages and the
// wheel follow the owner's scroll steps; without one a line is the line
// size (8 when unset), a page the bar's length and a wheel notch three
// lines. Every change of position raises "scroll" (wparam = the new
// position, lparam = the old one) unless the caller asks not to notify.
// UI thread only.
//
// Attributes (besides the control's): "hor", "range", "value", "linesize",
// "showbutton1", "showbutton2", "thumbminlength", and images per part and
// state: "button1normalimage", "button1hotimage", "button1pushedimage",
// "button1disabledimage", the same for "button2" and "thumb", "railnormalimage"
// ... "raildisabledimage" (the track), and "bknormalimage" ...
// "bkdisabledimage" (the whole bar). Parts without an image are drawn in
// plain colours: "trackcolor", "thumbcolor", "thumbhotcolor",
// "thumbpushedcolor", "buttoncolor", "arrowcolor".
class CScrollBarUI : public CControlUI {
public:
    static constexpr int kDefaultThickness = 16;

    CScrollBarUI();
    ~CScrollBarUI() override;

    std::wstring_view typeName() const override;
    void* castTo(std::wstring_view name) override;
    void assignEnabled(bool enabled = true) override;
    void handleEvent(TInputEventUI& event) override;
    void applyAttribute(std::wstring_view name, std::wstring_view value) override;
    bool paintSelf(platform::Canvas& canvas, const platform::Rect& paint, CControlUI* stop) override;

    // The container the bar scrolls (not owned), or null.
    CContainerUI* owner() const { return m_owner; }
    void assignOwner(CContainerUI* owner) { m_owner = owner; }
    bool isHorizontal() const { return m_horizontal; }
    // Also swaps the fixed thickness to the other axis.
    void assignHorizontal(bool horizontal);

    int range() const { return m_range; }
    // Negative becomes 0; the position is lowered to the range.
    void assignScrollRange(int range);
    int scrollPos() const { return m_scrollPos; }
    // Clamped to 0..range; raises "scroll" when it changed and notify is set.
    void assignScrollPos(int pos, bool notify = true);
    // 0 (the default): the owner's line step.
    int lineSize() const { return m_lineSize; }
    void assignLineSize(int size); // negative becomes 0

    // Geometry of the parts for the current position (client coordinates).
    platform::Rect partRect(ScrollBarPart part) const;
    ScrollBarPart partAt(platform::Point point) const;
    ScrollBarPart hotPart() const { return m_hot; }
    ScrollBarPart pushedPart() const { return m_pushed; }

private:
    static constexpr unsigned kRepeatTimer = 10;
    struct PartImages {
        ImageDescription normal, hot, pushed, disabled;
    };

    int thickness() const;
    // Along the bar's axis: the coordinate of a point, the extent of a rectangle.
    int along(platform::Point p) const { return m_horizontal ? p.x : p.y; }
    // Moves to `pos` through the owner (so its children shift) or alone.
    void scrollToPosition(int pos);
    void stepLine(int direction);
    void stepPage(int direction);
    // The action of the pressed part, once (arrows, track).
    void pressAction();
    void drawPart(platform::Canvas& canvas, ScrollBarPart part, PartImages& images, platform::Argb colour);
    // The image for the part's state (falling back to the normal one); null when none draws.
    ImageDescription* stateImage(PartImages& images, ScrollBarPart part);

    CContainerUI* m_owner = nullptr;
    bool m_horizontal = false;
    int m_range = 0;
    int m_scrollPos = 0;
    int m_lineSize = 0;
    int m_thumbMinLength = 10;
    bool m_showButton1 = true;
    bool m_showButton2 = true;
    ScrollBarPart m_hot = ScrollBarPart::None;
    ScrollBarPart m_pushed = ScrollBarPart::None;
    // Thumb drag: where it started and the position then.
    platform::Point m_dragStart;
    int m_dragStartPos = 0;
    platform::Point m_lastMouse;
    bool m_timerRunning = false;
    int m_repeatDelayTicks = 0;

    PartImages m_button1Images, m_button2Images, m_thumbImages, m_railImages, m_bkImages;
    platform::Argb m_trackColour = 0xFFF0F0F0;
    platform::Argb m_thumbColour = 0xFFC1C1C1;
    platform::Argb m_thumbHotColour = 0xFFA8A8A8;
    platform::Argb m_thumbPushedColour = 0xFF787878;
    platform::Argb m_buttonColour = 0xFFF0F0F0;
    platform::Argb m_arrowColour = 0xFF606060;
};
