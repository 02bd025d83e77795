// A list row showing one text across the whole row.
#pragma once

#include "ui/controls/LabelUI.h"
#include "ui/controls/ListRowUI.h"

// The label row: the list's row look, one text drawn over the whole row
// (padded by the list's text padding) in the list's font. Without a fixed
// height it is as tall as the list font plus that padding. UI thread only.
class CListLabelElementUI : public CLabelUI, public IListItemUI {
public:
    CListLabelElementUI() = default;

    std::wstring_view typeName() const override;
    void* castTo(std::wstring_view name) override;
    void takeFocus() override;
    void handleEvent(TInputEventUI& event) override;
    platform::Size measure(platform::Size available) override;
    void drawBackground(platform::Canvas& canvas) override;
    void drawTextPart(platform::Canvas& canvas) override;

    CListRowUI& listRow() override { return m_row; }

protected:
    CListRowUI m_row{*this};
};
