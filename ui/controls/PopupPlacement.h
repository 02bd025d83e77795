// Where a drop-down window goes against the screen's work area.
#pragma once

#include "platform/graphics/Geometry.h"

namespace popup {

// A popup of `size` for the control at `anchor` (screen coordinates): under
// it, or above it when it would cross the bottom of `workArea` and fits
// above; moved left to stay inside the work area's right edge, never past
// its left one.
platform::Rect placeUnder(const platform::Rect& anchor, platform::Size size, const platform::Rect& workArea);

} // namespace popup
