// A list row laid out horizontally, its children in the list's columns.
#pragma once

#include "ui/controls/ListRowUI.h"
#include "ui/layout/HorizontalLayoutUI.h"

// The horizontal row: with a shown header, child N (counting the shown,
// non-floating ones) fills column N, minus its own padding; children past
// the last column get an empty place. Without a header the children are
// laid out as in a horizontal layout. Without a fixed height it is as tall
// as a text row. UI thread only.
class CListHBoxElementUI : public CHorizontalLayoutUI, public IListItemUI {
public:
    CListHBoxElementUI() = default;

    std::wstring_view typeName() const override;
    void* castTo(std::wstring_view name) override;
    void place(platform::Rect rect, bool needInvalidate = true) override;
    void takeFocus() override;
    void handleEvent(TInputEventUI& event) override;
    platform::Size measure(platform::Size available) override;
    void drawBackground(platform::Canvas& canvas) override;

    CListRowUI& listRow() override { return m_row; }

private:
    CListRowUI m_row{*this};
};
