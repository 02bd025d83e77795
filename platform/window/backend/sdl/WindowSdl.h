// The sdl display backend: real top-level windows on X11 or Wayland through
// SDL2. Not for use outside platform/ and its tests; the core reaches it
// through detail::createSdlBackend (WindowBackend.h).
#pragma once

#include <string>

namespace platform::detail {

// The SDL video driver the open sdl backend runs on ("x11", "wayland"); empty
// when the sdl backend is not open. UI thread.
std::string sdlVideoDriver();

// Whether windows of the open sdl backend can take a shape (round corners).
// False on drivers without shaped windows; the window then stays rectangular.
bool sdlShapesSupported();

} // namespace platform::detail
