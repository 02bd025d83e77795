// Colour text of the markup.
#include "ui/render/Colour.h"

namespace render {

platform::Argb parseColour(std::wstring_view text, bool skipBlanks) {
    std::size_t i = 0;
    if (skipBlanks)
        while (i < text.size() && text[i] >= 1 && text[i] <= 32) ++i;
    if (i < text.size() && text[i] == L'#') ++i;
    platform::Argb value = 0;
    for (; i < text.size(); ++i) {
        wchar_t c = text[i];
        unsigned digit;
        if (c >= L'0' && c <= L'9')
            digit = c - L'0';
        else if (c >= L'a' && c <= L'f')
            digit = c - L'a' + 10;
        else if (c >= L'A' && c <= L'F')
            digit = c - L'A' + 10;
        else
            break;
        value = (value << 4) | digit;
    }
    return value;
}

} // namespace render
