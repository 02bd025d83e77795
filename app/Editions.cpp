// Edition look-ups, default paths and the folder rule.
#include "app/Editions.h"

#include "platform/system/Text.h"

#include <cstdlib>

namespace {

bool isSeparator(wchar_t c) { return c == L'/' || c == L'\\'; }

} // namespace

const Edition* FindEditionByNumber(int number) {
    for (const Edition& e : kEditions)
        if (e.number == number) return &e;
    return nullptr;
}

const Edition* FindEditionByCode(std::string_view code) {
    for (const Edition& e : kEditions)
        if (e.code == code) return &e;
    return nullptr;
}

std::wstring DefaultInstallPath(const Edition& edition) {
    const char* home = std::getenv("HOME");
    std::wstring path = home && *home ? platform::fromUtf8(home) : std::wstring(L".");
    if (!isSeparator(path.back())) path += L'/';
    path += L"Games/";
    path += edition.folderName;
    path += L'/';
    return path;
}

std::wstring ApplyFolderRule(std::wstring_view chosen, const Edition& edition) {
    std::wstring path(chosen);
    // The last non-empty component: trailing separators do not count as an
    // empty last component.
    size_t end = path.size();
    while (end > 0 && isSeparator(path[end - 1])) --end;
    size_t begin = end;
    while (begin > 0 && !isSeparator(path[begin - 1])) --begin;
    const std::wstring_view last = std::wstring_view(path).substr(begin, end - begin);

    if (last != edition.folderName) {
        if (path.empty() || !isSeparator(path.back())) path += L'/';
        path += edition.folderName;
    }
    if (path.empty() || !isSeparator(path.back())) path += L'/';
    return path;
}

int FirstSelectedEdition(const IsOptionSelected& isSelected) {
    for (const Edition& e : kEditions)
        if (isSelected(e.optionControl)) return e.number;
    return kNoEdition;
}

int LastSelectedEditionOrBirch(const IsOptionSelected& isSelected) {
    int number = 3;
    for (const Edition& e : kEditions)
        if (isSelected(e.optionControl)) number = e.number;
    return number;
}
