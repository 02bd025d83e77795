// Placeholder for the sdl display backend until it is built: opening the sdl
// display fails with a clear reason. The sdl backend replaces this file.
#include "platform/WindowBackend.h"

namespace platform::detail {

std::unique_ptr<WindowBackend> createSdlBackend(std::string* error) {
    if (error) *error = "the sdl display backend is not available in this build (set QUELLAN_DISPLAY=virtual)";
    return nullptr;
}

} // namespace platform::detail
