// The animated picture under its PNG tag name.
#pragma once

#include "ui/controls/GifAnimUI.h"

// An animated picture written as "ApngAnim" in skins: the same control as
// CGifAnimUI (the file's format is recognised by its content), answering to
// its own type name as well. UI thread only.
class CApngAnimUI : public CGifAnimUI {
public:
    std::wstring_view typeName() const override;
    void* castTo(std::wstring_view name) override;
};
