// CApngAnimUI: the type name of the animated picture written as "ApngAnim".
#include "ui/controls/ApngAnimUI.h"

std::wstring_view CApngAnimUI::typeName() const { return L"ApngAnim"; }

void* CApngAnimUI::castTo(std::wstring_view name) {
    if (name == L"ApngAnim") return this;
    return CGifAnimUI::castTo(name);
}
