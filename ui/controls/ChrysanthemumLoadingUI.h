// The spinning loading indicator: spokes round a centre, fading behind
// the brightest one as it goes round.
#pragma once

#include "ui/controls/TickingControlUI.h"

// "spokes" spokes (3..64, default 12) of "spokecolor", "spokewidth" wide,
// from "innerradius" to "outerradius" about the control's centre (0 picks
// them from the control's size). Spoke 0 points up; the others follow
// clockwise. The lead spoke is drawn at the colour's own opacity, each
// spoke behind it fainter by 1/count; every "interval" ms (default 80) the
// lead moves on clockwise, while shown and playing. UI thread only.
class CChrysanthemumLoadingUI : public CTickingControlUI {
public:
    CChrysanthemumLoadingUI() : CTickingControlUI(80) {}

    std::wstring_view typeName() const override;
    void* castTo(std::wstring_view name) override;
    void applyAttribute(std::wstring_view name, std::wstring_view value) override;
    void drawStateImage(platform::Canvas& canvas) override;

    int spokeCount() const { return m_spokes; }
    void assignSpokeCount(int count); // held within 3..64
    int leadSpoke() const { return m_lead; }
    void assignLeadSpoke(int index);
    // The opacity (0..255, of a colour's own alpha `alpha`) of the spoke
    // `behind` steps behind the lead in a ring of `count` spokes.
    static std::uint8_t spokeAlpha(int behind, int count, std::uint8_t alpha);
    // The radii and width used for the control as it is placed now.
    struct Geometry {
        double inner = 0;
        double outer = 0;
        double width = 0;
    };
    Geometry geometry() const;

protected:
    void tick() override;

private:
    int m_spokes = 12;
    int m_lead = 0;
    platform::Argb m_colour = 0xFF3C4654;
    int m_inner = 0;
    int m_outer = 0;
    int m_width = 0;
};
