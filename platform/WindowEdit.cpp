// Placeholder for the built-in "Edit" class until it is built: nothing is
// registered, so creating an "Edit" window fails cleanly. Replaced by the Edit class.
#include "platform/WindowBackend.h"

namespace platform::detail {

void registerEditClass() {}

} // namespace platform::detail
