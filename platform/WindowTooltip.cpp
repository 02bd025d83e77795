// Placeholder for the built-in "tooltips_class32" class until it is built:
// nothing is registered. Replaced by the tooltip class.
#include "platform/WindowBackend.h"

namespace platform::detail {

void registerTooltipClass() {}

} // namespace platform::detail
