// CApngButtonUI: the type name of the animated button written as "ApngButton".
#include "ui/controls/ApngButtonUI.h"

std::wstring_view CApngButtonUI::typeName() const { return L"ApngButton"; }

void* CApngButtonUI::castTo(std::wstring_view name) {
    if (name == L"ApngButton") return this;
    return CGifButtonUI::castTo(name);
}
