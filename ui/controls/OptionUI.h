// A button with a selected state: alone it toggles, in a named group
// exactly one member is selected ("radio button").
#pragma once

#include "ui/controls/ButtonUI.h"

// An option. Group membership lives in the manager: an option joins its
// group when it is attached with initialisation and leaves it when it is
// detached or destroyed. Selecting a grouped option deselects the others
// (silently) and raises "selectchanged"; an ungrouped option raises it on
// every change. UI thread only.
class COptionUI : public CButtonUI {
public:
    COptionUI() = default;
    ~COptionUI() override;

    std::wstring_view typeName() const override;
    void* castTo(std::wstring_view name) override;
    void bindManager(CFormManagerUI* manager, CControlUI* parent, bool init = true) override;
    // The button's click, then: a grouped option becomes selected, an ungrouped one toggles.
    bool trigger() override;
    void assignEnabled(bool enabled = true) override;
    void applyAttribute(std::wstring_view name, std::wstring_view value) override;
    platform::Size measure(platform::Size available) override;
    void drawBackground(platform::Canvas& canvas) override;
    void drawStateImage(platform::Canvas& canvas) override;
    void drawTextPart(platform::Canvas& canvas) override;

    // Stores the selection; once attached, applies the group rule and, with
    // notify, raises "selectchanged" as described above.
    virtual void assignSelected(bool selected, bool notify = true);
    bool selectedState() const { return m_selected; }
    const CStringUI& groupName() const { return m_groupName; }
    void assignGroupName(std::wstring_view name);

    const ImageDescription& selectedImage() const { return m_selectedImage; }
    const ImageDescription& selectedHotImage() const { return m_selectedHotImage; }

private:
    void leaveCurrentGroup();

    bool m_selected = false;
    CStringUI m_groupName;
    // Bound to a manager with initialisation (builder bindings do not count).
    bool m_attached = false;
    platform::Argb m_selectedBkColour = 0;
    platform::Argb m_selectedTextColour = 0;
    ImageDescription m_selectedImage;
    ImageDescription m_selectedHotImage;
    ImageDescription m_optionForeImage;
};
