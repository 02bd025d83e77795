// The header of a list: a row of header items whose places are the list's
// columns.
#pragma once

#include "ui/layout/HorizontalLayoutUI.h"

// A horizontal layout of CListHeaderItemUI. After each layout it hands the
// left and right edges of its shown items to the list it belongs to, whose
// rows draw their cells there. Without a fixed height it is as tall as its
// tallest item measures. UI thread only.
class CListHeaderUI : public CHorizontalLayoutUI {
public:
    CListHeaderUI() = default;

    std::wstring_view typeName() const override;
    void* castTo(std::wstring_view name) override;
    void place(platform::Rect rect, bool needInvalidate = true) override;
    platform::Size measure(platform::Size available) override;
};
