// A slider: a progress control whose value the user moves with a thumb.
#pragma once

#include "ui/controls/ProgressUI.h"
#include "ui/render/ImageDescription.h"

// Horizontal (min at the left) or vertical (min at the bottom). The thumb is
// "thumbsize" big and centred on the value's position; its images follow
// the state (pushed while dragged, hot under the mouse, else normal; each
// falling back to the normal one). A drag on the thumb follows the mouse,
// in whole "step"s from min ("movevaluechanged" at each change); a press on
// the track jumps there and drags on, or with trackclick="page" moves a page
// (a tenth of the range, at least a step) towards it. Arrow keys and the
// wheel move a step, PageUp/PageDown a page, Home/End to min/max.
// "valuechanged" is raised once a change is finished: at the release, or
// at once for keys and the wheel. Values set by code raise nothing. UI
// thread only.
class CSliderUI : public CProgressUI {
public:
    enum class TrackClick { Jump, Page };

    CSliderUI();

    std::wstring_view typeName() const override;
    void* castTo(std::wstring_view name) override;
    unsigned behaviourFlags() const override;
    void applyAttribute(std::wstring_view name, std::wstring_view value) override;
    void handleEvent(TInputEventUI& event) override;
    void drawStateImage(platform::Canvas& canvas) override;

    int step() const { return m_step; }
    void assignStep(int step); // below 1 is read as 1
    platform::Size thumbSize() const { return m_thumbSize; }
    void assignThumbSize(platform::Size size);
    TrackClick trackClick() const { return m_trackClick; }
    bool isDragging() const { return m_dragging; }
    // The thumb's rectangle now (client coordinates).
    platform::Rect thumbRect() const;

    // --- The geometry, over either axis ---
    // Where the thumb of `thumb` size sits on a slider at `pos` for `value`.
    static platform::Rect thumbRectFor(const platform::Rect& pos, platform::Size thumb, int min, int max, int value,
                                       bool horizontal);
    // The value whose thumb centre is nearest to `point`: in whole steps from
    // min (or max itself, when nearer), within min..max.
    static int valueAt(const platform::Rect& pos, platform::Size thumb, int min, int max, int step, bool horizontal,
                       platform::Point point);
    // `value` moved by `delta` and snapped to the steps as valueAt does.
    static int snapped(int min, int max, int step, long long value);

protected:
    // Up to the thumb's centre, so that the filled track meets the thumb.
    platform::Rect foreImagePart() const override;

private:
    // Sets the value the user chose; true when it changed.
    bool userValue(int value);
    int pageSize() const;
    ImageDescription& thumbImage();

    int m_step = 1;
    platform::Size m_thumbSize{10, 10};
    TrackClick m_trackClick = TrackClick::Jump;
    ImageDescription m_thumbNormal;
    ImageDescription m_thumbHot;
    ImageDescription m_thumbPushed;
    bool m_thumbHotState = false;
    bool m_dragging = false;
    bool m_pressed = false;       // a press of ours waits for its release
    platform::Point m_grabOffset; // press point minus the thumb centre
    int m_valueAtPress = 0;
};
