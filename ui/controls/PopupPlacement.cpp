// popup::placeUnder: the drop-down placement shared by the popup controls.
#include "ui/controls/PopupPlacement.h"

#include <algorithm>

namespace popup {

platform::Rect placeUnder(const platform::Rect& anchor, platform::Size size, const platform::Rect& workArea) {
    int top = anchor.bottom;
    if (top + size.cy > workArea.bottom && anchor.top - size.cy >= workArea.top) top = anchor.top - size.cy;
    int left = anchor.left;
    if (left + size.cx > workArea.right) left = workArea.right - size.cx;
    left = std::max(left, workArea.left);
    return platform::Rect::fromSize(left, top, size.cx, size.cy);
}

} // namespace popup
