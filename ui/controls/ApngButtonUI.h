// The animated-image button under its PNG tag name.
#pragma once

#include "ui/controls/GifButtonUI.h"

// A button written as "ApngButton" in skins: the same control as
// CGifButtonUI (state images in either format, by content), answering to
// its own type name as well. UI thread only.
class CApngButtonUI : public CGifButtonUI {
public:
    std::wstring_view typeName() const override;
    void* castTo(std::wstring_view name) override;
};
