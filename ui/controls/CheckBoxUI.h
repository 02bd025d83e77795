// A check box: an option under its own class name.
#pragma once

#include "ui/controls/OptionUI.h"

// Behaves exactly like COptionUI (ungrouped it toggles). UI thread only.
class CCheckBoxUI : public COptionUI {
public:
    std::wstring_view typeName() const override { return L"CheckBox"; }
    void* castTo(std::wstring_view name) override {
        if (name == L"CheckBox") return this;
        return COptionUI::castTo(name);
    }
};
