// Choosing the desktop's scale factor from its settings.
#include "platform/window/DisplayScale.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace platform {

std::optional<double> parseScaleSetting(const char* text, double unit) {
    if (!text || unit <= 0) return std::nullopt;
    while (*text == ' ' || *text == '\t') ++text;
    if (!*text) return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text, &end);
    if (end == text || errno == ERANGE) return std::nullopt;
    while (*end == ' ' || *end == '\t' || *end == '\n') ++end;
    if (*end) return std::nullopt;
    if (!std::isfinite(value) || value <= 0) return std::nullopt;
    return value / unit;
}

double snapScale(double factor) {
    if (!std::isfinite(factor)) return 1.0;
    return std::clamp(std::round(factor * 4.0) / 4.0, 1.0, 3.0);
}

double resolveScale(const ScaleSources& sources) {
    if (auto v = parseScaleSetting(sources.quellanScale)) return snapScale(*v);
    if (auto v = parseScaleSetting(sources.xftDpi, 96.0)) return snapScale(*v);
    if (auto v = parseScaleSetting(sources.gdkScale)) return snapScale(*v);
    if (std::isfinite(sources.displayScale) && sources.displayScale > 0) return snapScale(sources.displayScale);
    return 1.0;
}

} // namespace platform
