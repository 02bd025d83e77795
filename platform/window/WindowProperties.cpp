// Window-system core, per-window data: window procedures, ids and user
// data, properties, styles and the window text.
#include "platform/window/WindowInternal.h"

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <cstdlib>
#include <cwctype>

namespace platform {

using detail::assertUiThread;
using detail::Core;
using detail::WindowData;

// --- Data, styles, text ---

LResult callWindowProc(WindowProc proc, WindowHandle window, unsigned message, WParam wParam, LParam lParam) {
    assertUiThread();
    if (!proc) return 0;
    Core& c = Core::get();
    ++c.m_callDepth;
    LResult r = proc(window, message, wParam, lParam);
    --c.m_callDepth;
    return r;
}

WindowProc windowProc(WindowHandle window) {
    assertUiThread();
    WindowData* d = Core::get().find(window);
    return d ? d->proc : nullptr;
}

WindowProc setWindowProc(WindowHandle window, WindowProc proc) {
    assertUiThread();
    WindowData* d = Core::get().find(window);
    if (!d || !proc) return nullptr;
    WindowProc old = d->proc;
    d->proc = proc;
    return old;
}

std::wstring windowClassName(WindowHandle window) {
    assertUiThread();
    WindowData* d = Core::get().find(window);
    return d ? d->cls.name : std::wstring();
}

std::intptr_t windowId(WindowHandle window) {
    assertUiThread();
    WindowData* d = Core::get().find(window);
    return d ? d->id : 0;
}

std::intptr_t windowUserData(WindowHandle window) {
    assertUiThread();
    WindowData* d = Core::get().find(window);
    return d ? d->userData : 0;
}

std::intptr_t setWindowUserData(WindowHandle window, std::intptr_t value) {
    assertUiThread();
    WindowData* d = Core::get().find(window);
    if (!d) return 0;
    std::intptr_t old = d->userData;
    d->userData = value;
    return old;
}

bool setWindowProp(WindowHandle window, std::wstring_view name, void* value) {
    assertUiThread();
    WindowData* d = Core::get().find(window);
    if (!d || name.empty()) return false;
    d->props[std::wstring(name)] = value;
    return true;
}

void* windowProp(WindowHandle window, std::wstring_view name) {
    assertUiThread();
    WindowData* d = Core::get().find(window);
    if (!d) return nullptr;
    auto it = d->props.find(name);
    return it == d->props.end() ? nullptr : it->second;
}

void* removeWindowProp(WindowHandle window, std::wstring_view name) {
    assertUiThread();
    WindowData* d = Core::get().find(window);
    if (!d) return nullptr;
    auto it = d->props.find(name);
    if (it == d->props.end()) return nullptr;
    void* value = it->second;
    d->props.erase(it);
    return value;
}

unsigned windowStyle(WindowHandle window) {
    assertUiThread();
    WindowData* d = Core::get().find(window);
    return d ? d->style : 0;
}

unsigned setWindowStyle(WindowHandle window, unsigned style) {
    assertUiThread();
    Core& c = Core::get();
    WindowData* d = c.find(window);
    if (!d) return 0;
    const unsigned kept = WS_VISIBLE | WS_DISABLED | WS_CHILD | WS_MINIMIZE | WS_MAXIMIZE;
    unsigned old = d->style;
    d->style = (style & ~kept) | (old & kept);
    const unsigned frame = WS_CAPTION | WS_THICKFRAME;
    if (d->native && (old & frame) != (d->style & frame)) c.m_backend->setWindowStyle(window, c.nativeStyle(*d));
    return old;
}

unsigned windowExStyle(WindowHandle window) {
    assertUiThread();
    WindowData* d = Core::get().find(window);
    return d ? d->exStyle : 0;
}

unsigned setWindowExStyle(WindowHandle window, unsigned exStyle) {
    assertUiThread();
    Core& c = Core::get();
    WindowData* d = c.find(window);
    if (!d) return 0;
    unsigned old = d->exStyle;
    d->exStyle = (exStyle & ~WS_EX_TOPMOST) | (old & WS_EX_TOPMOST);
    // The display learns the style first: leaving layered mode then drops
    // the layered picture along with the opacity.
    if (d->native && old != d->exStyle) c.m_backend->setWindowStyle(window, c.nativeStyle(*d));
    if ((old & WS_EX_LAYERED) && !(d->exStyle & WS_EX_LAYERED)) {
        d->layeredContent = false;
        if (d->native) c.m_backend->setOpacity(window, 255);
        invalidateRect(window, nullptr, true);
    }
    return old;
}

bool setWindowText(WindowHandle window, std::wstring_view text) {
    assertUiThread();
    if (!Core::get().findLive(window)) return false;
    std::wstring copy(text);
    return sendMessage(window, WM_SETTEXT, 0, reinterpret_cast<LParam>(copy.c_str())) != 0;
}

std::wstring windowText(WindowHandle window) {
    assertUiThread();
    if (!Core::get().find(window)) return {};
    LResult length = sendMessage(window, WM_GETTEXTLENGTH, 0, 0);
    if (length <= 0) return {};
    std::wstring buffer(static_cast<std::size_t>(length) + 1, L'\0');
    LResult got = sendMessage(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LParam>(buffer.data()));
    buffer.resize(static_cast<std::size_t>(std::clamp<LResult>(got, 0, length)));
    return buffer;
}

} // namespace platform
