// A list row that is a container: any controls, laid over the whole row.
#pragma once

#include "ui/controls/ListRowUI.h"
#include "ui/layout/ContainerUI.h"

// The container row: the list's row look behind children placed like in a
// plain container. Without a fixed height it is as tall as a text row.
// UI thread only.
class CListContainerElementUI : public CContainerUI, public IListItemUI {
public:
    CListContainerElementUI() = default;

    std::wstring_view typeName() const override;
    void* castTo(std::wstring_view name) override;
    void takeFocus() override;
    void handleEvent(TInputEventUI& event) override;
    platform::Size measure(platform::Size available) override;
    void drawBackground(platform::Canvas& canvas) override;

    CListRowUI& listRow() override { return m_row; }

protected:
    CListRowUI m_row{*this};
};
