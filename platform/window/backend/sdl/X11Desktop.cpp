// Direct questions to the X server: the compositing manager's selection, the
// ARGB visual, the pointer and where a window is; and the one X error the
// program outlives. The only file in the program that includes Xlib.
#include "platform/window/backend/sdl/X11Desktop.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xproto.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <string_view>

namespace platform::detail {

namespace {

XErrorHandler g_previousErrorHandler = nullptr;

// SDL wakes a loop waiting for events, when another thread posts, by sending
// an event to one of our windows from a connection of its own. When that
// window is being destroyed at the same moment (a box closing, the program
// ending while a job still reports) the server answers BadWindow, and Xlib's
// default handler would end the whole program for it. The wake-up is moot
// then; every other error goes to the handler that was there before.
int ignoreWakeUpsOfVanishedWindows(Display* display, XErrorEvent* error) {
    if (error->error_code == BadWindow && error->request_code == X_SendEvent) return 0;
    return g_previousErrorHandler ? g_previousErrorHandler(display, error) : 0;
}

} // namespace

struct X11Connection {
    Display* display = nullptr;
    Atom compositorSelection = None;
    ~X11Connection() {
        if (display) XCloseDisplay(display);
    }
};

namespace {

// The value of `name` in resource-database text ("name:\tvalue" lines), blanks trimmed.
std::string resourceValue(std::string_view database, std::string_view name) {
    while (!database.empty()) {
        const std::size_t eol = database.find('\n');
        std::string_view line = database.substr(0, eol);
        database = eol == std::string_view::npos ? std::string_view{} : database.substr(eol + 1);
        if (line.substr(0, name.size()) != name) continue;
        line.remove_prefix(name.size());
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
        if (line.empty() || line.front() != ':') continue;
        line.remove_prefix(1);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r'))
            line.remove_suffix(1);
        return std::string(line);
    }
    return {};
}

} // namespace

std::unique_ptr<X11Desktop> X11Desktop::open(const char* displayName) {
    auto connection = std::make_unique<X11Connection>();
    connection->display = XOpenDisplay(displayName);
    if (!connection->display) return nullptr;
    // After SDL has put its own handler in place (again, when it starts anew).
    const XErrorHandler previous = XSetErrorHandler(ignoreWakeUpsOfVanishedWindows);
    if (previous != ignoreWakeUpsOfVanishedWindows) g_previousErrorHandler = previous;
    Display* dpy = connection->display;
    const int screen = DefaultScreen(dpy);
    char name[32];
    std::snprintf(name, sizeof name, "_NET_WM_CM_S%d", screen);
    connection->compositorSelection = XInternAtom(dpy, name, False);

    std::unique_ptr<X11Desktop> desktop(new X11Desktop(std::move(connection)));
    XVisualInfo info{};
    if (XMatchVisualInfo(dpy, screen, 32, TrueColor, &info)) {
        // Depth 32 with 24 colour bits leaves the top byte for alpha.
        const unsigned long colour = info.red_mask | info.green_mask | info.blue_mask;
        if (colour == 0x00FFFFFFul) {
            char id[32];
            std::snprintf(id, sizeof id, "0x%lx", static_cast<unsigned long>(info.visualid));
            desktop->m_argbVisualId = id;
        }
    }
    if (const char* resources = XResourceManagerString(dpy)) desktop->m_xftDpi = resourceValue(resources, "Xft.dpi");
    return desktop;
}

X11Desktop::X11Desktop(std::unique_ptr<X11Connection> connection) : m_connection(std::move(connection)) {}

X11Desktop::~X11Desktop() = default;

bool X11Desktop::compositorRunning() const {
    const X11Connection& c = *m_connection;
    return c.compositorSelection != None && XGetSelectionOwner(c.display, c.compositorSelection) != None;
}

bool X11Desktop::pointerPosition(int* x, int* y) const {
    Display* dpy = m_connection->display;
    Window root = None, child = None;
    int rootX = 0, rootY = 0, winX = 0, winY = 0;
    unsigned int mask = 0;
    if (!XQueryPointer(dpy, DefaultRootWindow(dpy), &root, &child, &rootX, &rootY, &winX, &winY, &mask)) return false;
    *x = rootX;
    *y = rootY;
    return true;
}

bool X11Desktop::windowOrigin(SDL_Window* window, int* x, int* y) const {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return false;
    Display* dpy = m_connection->display;
    Window child = None;
    int rootX = 0, rootY = 0;
    if (!XTranslateCoordinates(dpy, info.info.x11.window, DefaultRootWindow(dpy), 0, 0, &rootX, &rootY, &child))
        return false;
    *x = rootX;
    *y = rootY;
    return true;
}

} // namespace platform::detail
