// The desktop's scale factor: how many device pixels a window draws for one
// skin unit, chosen from the settings a desktop publishes.
#pragma once

#include <optional>

namespace platform {

// The settings a scale may come from, most specific first. Null (or 0 for
// the display) means "not set".
struct ScaleSources {
    const char* quellanScale = nullptr; // QUELLAN_SCALE: the factor itself
    const char* xftDpi = nullptr;       // the X resource Xft.dpi: dots per inch, 96 = 1
    const char* gdkScale = nullptr;     // GDK_SCALE: the factor itself
    double displayScale = 0;            // what the display reports for the window's monitor
};

// A setting's text as a factor: a finite number above zero written in full
// (blanks around it allowed), divided by `unit`; nothing for anything else.
std::optional<double> parseScaleSetting(const char* text, double unit = 1.0);

// The first set and valid source, rounded to the nearest quarter and clamped
// to 1..3; 1 when none is usable.
double resolveScale(const ScaleSources& sources);

// Rounds to the nearest quarter and clamps to 1..3 (1 for a value that is not finite).
double snapScale(double factor);

} // namespace platform
