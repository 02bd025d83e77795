// The UI thread's message queue and input routing: posting from any thread,
// getting, peeking, translating and dispatching, generated WM_PAINT and
// WM_TIMER, timers, mouse and keyboard routing from the backend, capture,
// hover and leave tracking, caption drags and the default window procedure.
//
// Index:
//   --- Queue ---
//   --- Input from the backend ---
//   --- Public queue functions ---
//   --- Input state ---
//   --- Timers ---
//   --- Default window procedure ---
#include "platform/window/WindowInternal.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace platform {
namespace detail {

// --- Queue ---

void Core::wake() {
    // The backend is woken only while the UI thread waits in it: a burst of
    // posts to a busy UI thread then costs no backend wake-ups at all.
    if (WindowBackend* b = m_wakeTarget.load()) {
        if (m_waiting.load()) b->wake();
    } else {
        m_queueCv.notify_all();
    }
}

bool Core::postInternal(const Message& m) {
    {
        std::lock_guard lock(m_queueMutex);
        if (m.window && !m_live.count(m.window)) return false;
        m_posted.push_back(m);
    }
    wake();
    return true;
}

void Core::purgeMessagesFor(WindowHandle h) {
    std::lock_guard lock(m_queueMutex);
    std::erase_if(m_posted, [h](const Message& m) { return m.window == h; });
}

std::uint64_t Core::nextDue() {
    std::uint64_t due = UINT64_MAX;
    for (auto& [h, d] : m_windows) {
        if (d->destroying) continue;
        for (const TimerEntry& t : d->timers) due = std::min(due, t.due);
        if ((d->trackFlags & TME_HOVER) && m_underPointer == h) due = std::min(due, d->hoverDue);
    }
    return due;
}

void Core::waitForWork(int maxMs) {
    std::uint64_t due = nextDue();
    std::uint64_t t = now();
    long long timeout = maxMs;
    if (due != UINT64_MAX) {
        long long untilDue = due > t ? static_cast<long long>(due - t) : 0;
        timeout = timeout < 0 ? untilDue : std::min<long long>(timeout, untilDue);
    }
    if (m_backend) {
        // Announce the wait before the last look at the queue: a post that the
        // look misses sees the flag and wakes the backend (a wake before the
        // wait makes the wait return at once).
        m_waiting.store(true);
        bool ready;
        {
            std::lock_guard lock(m_queueMutex);
            ready = !m_posted.empty() || m_quitPosted;
        }
        if (!ready) m_backend->waitEvents(*this, static_cast<int>(std::min<long long>(timeout, INT_MAX)));
        m_waiting.store(false);
        return;
    }
    std::unique_lock lock(m_queueMutex);
    auto ready = [this] { return !m_posted.empty() || m_quitPosted; };
    if (timeout < 0)
        m_queueCv.wait(lock, ready);
    else
        m_queueCv.wait_for(lock, std::chrono::milliseconds(timeout), ready);
}

bool Core::nextMessage(Message& msg, bool remove, bool wait) {
    if (m_callDepth == 0) m_graveyard.clear();
    for (;;) {
        // Asking the backend for events costs system calls; while posted
        // messages are waiting it is asked every few milliseconds only, often
        // enough for input, rarely enough for a flood of posts.
        if (m_backend) {
            const std::uint64_t t = now();
            bool postedWaiting;
            {
                std::lock_guard lock(m_queueMutex);
                postedWaiting = !m_posted.empty();
            }
            if (!postedWaiting || t - m_lastPoll >= 5) {
                m_lastPoll = t;
                m_backend->pollEvents(*this);
            }
        }
        {
            std::lock_guard lock(m_queueMutex);
            if (!m_posted.empty()) {
                msg = m_posted.front();
                if (remove) m_posted.pop_front();
                if (msg.time == 0) msg.time = static_cast<std::uint32_t>(now());
                return true;
            }
        }
        // Raw input becomes messages one event at a time, so that what a
        // message does (a caption drag starting, a capture) applies to the
        // events after it.
        bool produced = false;
        while (!m_rawInput.empty() && !produced) {
            BackendEvent e = std::move(m_rawInput.front());
            m_rawInput.pop_front();
            processInput(e);
            std::lock_guard lock(m_queueMutex);
            produced = !m_posted.empty();
        }
        if (produced) continue;
        {
            std::lock_guard lock(m_queueMutex);
            if (m_quitPosted) {
                msg = Message{nullptr, WM_QUIT, static_cast<WParam>(m_quitCode), 0, static_cast<std::uint32_t>(now()),
                              m_cursor};
                if (remove) m_quitPosted = false;
                return true;
            }
        }
        if (WindowHandle h = findPaintCandidate()) {
            msg = Message{h, WM_PAINT, 0, 0, static_cast<std::uint32_t>(now()), m_cursor};
            return true;
        }
        flushPresents();

        const std::uint64_t t = now();
        WindowData* timerWindow = nullptr;
        TimerEntry* timer = nullptr;
        bool hoverPosted = false;
        for (auto& [h, d] : m_windows) {
            if (d->destroying) continue;
            for (TimerEntry& te : d->timers)
                if (te.due <= t && (!timer || te.due < timer->due)) {
                    timer = &te;
                    timerWindow = d.get();
                }
            if ((d->trackFlags & TME_HOVER) && m_underPointer == h && d->hoverDue <= t) {
                d->trackFlags &= ~TME_HOVER;
                Point p = screenToClient(h, m_cursor);
                Message hover{
                    h, WM_MOUSEHOVER, mouseKeyFlags(), makeLParam(p.x, p.y), static_cast<std::uint32_t>(t), m_cursor};
                std::lock_guard lock(m_queueMutex);
                m_posted.push_back(hover);
                hoverPosted = true;
            }
        }
        if (timer) {
            msg = Message{timerWindow->handle, WM_TIMER, timer->id, 0, static_cast<std::uint32_t>(t), m_cursor};
            if (remove) timer->due = t + timer->interval;
            return true;
        }
        if (hoverPosted) continue;
        if (!wait) return false;
        waitForWork(-1);
    }
}

// --- Input from the backend ---

void Core::deliver(const BackendEvent& event) { m_rawInput.push_back(event); }

WindowHandle Core::windowAt(Point screen, const std::vector<WindowHandle>& skip) {
    auto skipped = [&skip](WindowHandle h) { return std::find(skip.begin(), skip.end(), h) != skip.end(); };
    for (WindowHandle top : m_zorder) {
        WindowData* d = findLive(top);
        if (!d || !d->visible || d->iconic || skipped(top) || !d->rect.contains(screen)) continue;
        if (!regionContains(*d, {screen.x - d->rect.left, screen.y - d->rect.top})) continue;
        WindowHandle found = top;
        Point local{screen.x - d->rect.left, screen.y - d->rect.top};
        for (bool descended = true; descended;) {
            descended = false;
            WindowData* cur = find(found);
            for (WindowHandle child : cur->children) {
                WindowData* c = findLive(child);
                if (!c || !c->visible || !c->enabled() || skipped(child) || !c->rect.contains(local)) continue;
                local = {local.x - c->rect.left, local.y - c->rect.top};
                found = child;
                descended = true;
                break;
            }
        }
        return found;
    }
    return nullptr;
}

WindowHandle Core::hitWindow(Point screen, int& hit) {
    std::vector<WindowHandle> skip;
    for (int i = 0; i < 8; ++i) {
        WindowHandle h = windowAt(screen, skip);
        if (!h) break;
        hit = static_cast<int>(send(h, WM_NCHITTEST, 0, makeLParam(screen.x, screen.y)));
        if (hit != HTTRANSPARENT && findLive(h)) return h;
        skip.push_back(h);
    }
    hit = HTNOWHERE;
    return nullptr;
}

int Core::hitTest(WindowHandle window, Point screen) {
    WindowData* d = findLive(window);
    if (!d || !enabledChain(window)) return HTCLIENT;
    int hit = HTNOWHERE;
    WindowHandle h = hitWindow(screen, hit);
    if (!h || root(h) != window) return HTCLIENT;
    return hit;
}

unsigned Core::mouseKeyFlags() {
    unsigned f = 0;
    if (m_keys[VK_LBUTTON] & 0x80) f |= MK_LBUTTON;
    if (m_keys[VK_RBUTTON] & 0x80) f |= MK_RBUTTON;
    if (m_keys[VK_MBUTTON] & 0x80) f |= MK_MBUTTON;
    if (m_keys[VK_SHIFT] & 0x80) f |= MK_SHIFT;
    if (m_keys[VK_CONTROL] & 0x80) f |= MK_CONTROL;
    return f;
}

void Core::setKeyDown(unsigned vk, bool down) {
    std::uint8_t& k = m_keys[vk & 0xFF];
    if (down) {
        if (!(k & 0x80)) k ^= 0x01;
        k |= 0x80;
    } else {
        k &= static_cast<std::uint8_t>(~0x80);
    }
}

WindowHandle Core::keyTarget() {
    if (m_focus && findLive(m_focus)) return m_focus;
    return m_active && findLive(m_active) ? m_active : nullptr;
}

void Core::postInput(WindowHandle h, unsigned msg, WParam wp, LParam lp) {
    Message m{h, msg, wp, lp, static_cast<std::uint32_t>(now()), m_cursor};
    std::lock_guard lock(m_queueMutex);
    if (m_live.count(h)) m_posted.push_back(m);
}

void Core::checkMouseLeave() {
    for (auto& [h, d] : m_windows) {
        if (!(d->trackFlags & TME_LEAVE) || d->destroying) continue;
        if (h == m_underPointer || h == m_capture) continue;
        d->trackFlags &= ~(TME_LEAVE | TME_HOVER);
        postInput(h, WM_MOUSELEAVE, 0, 0);
    }
}

void Core::releaseCaptureInternal() {
    WindowHandle old = m_capture;
    if (!old) return;
    m_capture = nullptr;
    if (m_backend) m_backend->setCapture(false);
    send(old, WM_CAPTURECHANGED, 0, 0);
    checkMouseLeave();
}

void Core::handleMouseMove(Point screen) {
    m_cursor = screen;
    if (m_dragWindow) {
        if (findLive(m_dragWindow)) {
            const int dx = screen.x - m_dragStart.x;
            const int dy = screen.y - m_dragStart.y;
            if (m_dragHit == HTCAPTION) {
                applyRect(m_dragWindow, m_dragStartRect.offset(dx, dy), false, false);
                return;
            }
            // A border drag moves the edges the border names; the others stay.
            Rect r = m_dragStartRect;
            const int hit = m_dragHit;
            if (hit == HTLEFT || hit == HTTOPLEFT || hit == HTBOTTOMLEFT) r.left = std::min(r.left + dx, r.right);
            if (hit == HTRIGHT || hit == HTTOPRIGHT || hit == HTBOTTOMRIGHT) r.right = std::max(r.right + dx, r.left);
            if (hit == HTTOP || hit == HTTOPLEFT || hit == HTTOPRIGHT) r.top = std::min(r.top + dy, r.bottom);
            if (hit == HTBOTTOM || hit == HTBOTTOMLEFT || hit == HTBOTTOMRIGHT)
                r.bottom = std::max(r.bottom + dy, r.top);
            applyRect(m_dragWindow, r, true, false, hit);
            return;
        }
        m_dragWindow = nullptr;
    }
    int hit = HTNOWHERE;
    WindowHandle under = hitWindow(screen, hit);
    m_underPointer = under;
    checkMouseLeave();
    for (auto& [h, d] : m_windows) {
        if (!(d->trackFlags & TME_HOVER)) continue;
        if (std::abs(screen.x - d->hoverOrigin.x) > 2 || std::abs(screen.y - d->hoverOrigin.y) > 2) {
            d->hoverOrigin = screen;
            d->hoverDue = now() + d->hoverTime;
        }
    }
    if (m_capture && findLive(m_capture)) {
        Point p = screenToClient(m_capture, screen);
        postInput(m_capture, WM_MOUSEMOVE, mouseKeyFlags(), makeLParam(p.x, p.y));
        return;
    }
    if (!under || !enabledChain(under)) {
        setCursor(CursorShape::Arrow);
        return;
    }
    send(under, WM_SETCURSOR, reinterpret_cast<WParam>(under), makeLParam(hit, WM_MOUSEMOVE));
    if (!findLive(under)) return;
    if (hit == HTCLIENT) {
        Point p = screenToClient(under, screen);
        postInput(under, WM_MOUSEMOVE, mouseKeyFlags(), makeLParam(p.x, p.y));
    } else {
        postInput(under, WM_NCMOUSEMOVE, static_cast<WParam>(hit), makeLParam(screen.x, screen.y));
    }
}

void Core::handleButton(const BackendEvent& e) {
    m_cursor = e.screen;
    m_altAlone = false;
    const unsigned vk = e.button == MouseButton::Left    ? VK_LBUTTON
                        : e.button == MouseButton::Right ? VK_RBUTTON
                                                         : VK_MBUTTON;
    setKeyDown(vk, e.down);
    if (!e.down && e.button == MouseButton::Left && m_dragWindow) {
        m_dragWindow = nullptr;
        if (!m_capture) m_backend->setCapture(false);
        return;
    }
    int hit = HTCLIENT;
    WindowHandle target = m_capture && findLive(m_capture) ? m_capture : nullptr;
    if (!target) {
        target = hitWindow(e.screen, hit);
        m_underPointer = target;
    }
    if (!target || !enabledChain(target)) return;

    const bool client = hit == HTCLIENT;
    unsigned msg = 0;
    switch (e.button) {
    case MouseButton::Left:
        if (e.down) {
            const bool dbl =
                e.clicks >= 2 && m_lastClickWindow == target && (!client || (find(target)->cls.style & CS_DBLCLKS));
            msg = client ? (dbl ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN) : (dbl ? WM_NCLBUTTONDBLCLK : WM_NCLBUTTONDOWN);
        } else {
            msg = client ? WM_LBUTTONUP : WM_NCLBUTTONUP;
        }
        break;
    case MouseButton::Right:
        if (e.down) {
            const bool dbl =
                client && e.clicks >= 2 && m_lastClickWindow == target && (find(target)->cls.style & CS_DBLCLKS);
            msg = client ? (dbl ? WM_RBUTTONDBLCLK : WM_RBUTTONDOWN) : WM_NCRBUTTONDOWN;
        } else {
            msg = client ? WM_RBUTTONUP : WM_NCRBUTTONUP;
        }
        break;
    case MouseButton::Middle:
        if (!client) return;
        msg = e.down ? WM_MBUTTONDOWN : WM_MBUTTONUP;
        break;
    }

    if (e.down && !m_capture) {
        WindowHandle top = root(target);
        if (top != m_active) {
            LResult r = send(target, WM_MOUSEACTIVATE, reinterpret_cast<WParam>(top), makeLParam(hit, msg));
            WindowData* t = findLive(top);
            if (t && r != MA_NOACTIVATE && r != MA_NOACTIVATEANDEAT && canActivate(*t))
                activate(top, WA_CLICKACTIVE, false);
            if (r == MA_ACTIVATEANDEAT || r == MA_NOACTIVATEANDEAT || !findLive(target)) return;
        }
        send(target, WM_SETCURSOR, reinterpret_cast<WParam>(target), makeLParam(hit, msg));
        if (!findLive(target)) return;
    }
    if (e.down) m_lastClickWindow = target;
    if (client) {
        Point p = screenToClient(target, e.screen);
        postInput(target, msg, mouseKeyFlags(), makeLParam(p.x, p.y));
    } else {
        postInput(target, msg, static_cast<WParam>(hit), makeLParam(e.screen.x, e.screen.y));
    }
}

void Core::handleKey(const BackendEvent& e) {
    const unsigned vk = e.vk & 0xFF;
    const bool wasDown = (m_keys[vk] & 0x80) != 0;
    setKeyDown(vk, e.down);
    if (vk == VK_MENU) {
        if (e.down && !wasDown) m_altAlone = true;
    } else if (e.down) {
        m_altAlone = false;
    }
    WindowHandle target = keyTarget();
    bool keyMenu = false;
    if (vk == VK_MENU && !e.down && m_altAlone) {
        m_altAlone = false;
        keyMenu = true;
    }
    if (!target) return;
    const bool alt = vk == VK_MENU || (m_keys[VK_MENU] & 0x80);
    const bool ctrl = (m_keys[VK_CONTROL] & 0x80) != 0;
    const bool sys = (alt && !ctrl) || vk == VK_F10;
    unsigned msg = e.down ? (sys ? WM_SYSKEYDOWN : WM_KEYDOWN) : (sys ? WM_SYSKEYUP : WM_KEYUP);
    std::uint32_t lp = 1;
    if (alt && !ctrl) lp |= 1u << 29;
    if (wasDown) lp |= 1u << 30;
    if (!e.down) lp |= 1u << 31;
    if (keyMenu) m_keyMenuPending = true;
    postInput(target, msg, vk, static_cast<LParam>(lp));
}

void Core::processInput(const BackendEvent& e) {
    switch (e.kind) {
    case BackendEvent::Kind::MouseMove:
        handleMouseMove(e.screen);
        break;
    case BackendEvent::Kind::MouseButton:
        handleButton(e);
        break;
    case BackendEvent::Kind::MouseWheel: {
        m_cursor = e.screen;
        int hit = HTNOWHERE;
        WindowHandle under = hitWindow(e.screen, hit);
        WindowHandle target = m_focus && findLive(m_focus) ? m_focus : under;
        if (!target || !enabledChain(target)) break;
        postInput(target, WM_MOUSEWHEEL, makeWParam(mouseKeyFlags(), static_cast<std::uint16_t>(e.wheelDelta)),
                  makeLParam(e.screen.x, e.screen.y));
        break;
    }
    case BackendEvent::Kind::PointerLeft:
        m_underPointer = nullptr;
        checkMouseLeave();
        break;
    case BackendEvent::Kind::Key:
        handleKey(e);
        break;
    case BackendEvent::Kind::Text: {
        WindowHandle target = keyTarget();
        // Committed text ends a composition, which disappears before the text arrives.
        if (!m_composition.empty()) {
            m_composition.clear();
            m_compositionCursor = 0;
            if (target) postInput(target, WM_IME_COMPOSITION, 0, 0);
        }
        // With Alt held the characters come as WM_SYSCHAR from translation.
        if (!target || ((m_keys[VK_MENU] & 0x80) && !(m_keys[VK_CONTROL] & 0x80))) break;
        for (wchar_t ch : e.text)
            if (ch) postInput(target, WM_CHAR, static_cast<WParam>(ch), 1);
        break;
    }
    case BackendEvent::Kind::Composition: {
        if (e.text == m_composition && e.cursor == m_compositionCursor) break;
        m_composition = e.text;
        m_compositionCursor = std::clamp(e.cursor, 0, static_cast<int>(m_composition.size()));
        if (WindowHandle target = keyTarget())
            postInput(target, WM_IME_COMPOSITION, static_cast<WParam>(m_compositionCursor), 0);
        break;
    }
    case BackendEvent::Kind::CloseRequest:
        if (findLive(e.window) && enabledChain(e.window)) postInput(e.window, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
    case BackendEvent::Kind::Minimized:
        minimize(e.window, true);
        break;
    case BackendEvent::Kind::Restored:
        restore(e.window, true);
        break;
    case BackendEvent::Kind::Moved:
    case BackendEvent::Kind::Resized:
        if (findLive(e.window)) applyRect(e.window, e.rect, true, true);
        break;
    case BackendEvent::Kind::FocusGained: {
        WindowData* d = findLive(e.window);
        if (!d) break;
        if (enabledChain(e.window)) {
            activate(e.window, WA_ACTIVE, true);
        } else {
            // A window under a modal one hands the desktop focus on to it.
            for (WindowHandle h : m_zorder) {
                WindowData* o = findLive(h);
                if (o && o->owner == e.window && canActivate(*o)) {
                    activate(h, WA_ACTIVE, false);
                    break;
                }
            }
        }
        break;
    }
    case BackendEvent::Kind::FocusLost:
        if (m_active == e.window) deactivate(e.window);
        break;
    case BackendEvent::Kind::Exposed:
        if (WindowData* d = findLive(e.window)) {
            Rect all{0, 0, d->rect.width(), d->rect.height()};
            d->presentDirty = d->presentDirty.unite(e.rect.isEmpty() ? all : e.rect.intersect(all));
        }
        break;
    }
}

} // namespace detail

using detail::assertUiThread;
using detail::Core;
using detail::WindowData;

// --- Public queue functions ---

bool postMessage(WindowHandle window, unsigned message, WParam wParam, LParam lParam) {
    return Core::get().postInternal(Message{window, message, wParam, lParam, 0, {}});
}

LResult sendMessage(WindowHandle window, unsigned message, WParam wParam, LParam lParam) {
    assertUiThread();
    if (!isUiThread()) return 0;
    return Core::get().send(window, message, wParam, lParam);
}

void postQuitMessage(int exitCode) {
    Core& c = Core::get();
    {
        std::lock_guard lock(c.m_queueMutex);
        c.m_quitPosted = true;
        c.m_quitCode = exitCode;
    }
    c.wake();
}

namespace {

bool claimUiThread() {
    Core& c = Core::get();
    std::thread::id none{};
    c.m_uiThread.compare_exchange_strong(none, std::this_thread::get_id());
    return isUiThread();
}

} // namespace

bool getMessage(Message& msg) {
    assertUiThread();
    if (!claimUiThread()) {
        msg = Message{nullptr, WM_QUIT, 0, 0, 0, {}};
        return false;
    }
    Core::get().nextMessage(msg, true, true);
    return msg.message != WM_QUIT;
}

bool peekMessage(Message& msg, PeekMode mode) {
    assertUiThread();
    if (!claimUiThread()) return false;
    return Core::get().nextMessage(msg, mode == PeekMode::Remove, false);
}

bool translateMessage(const Message& msg) {
    assertUiThread();
    Core& c = Core::get();
    wchar_t ch = 0;
    unsigned out = WM_CHAR;
    const unsigned vk = static_cast<unsigned>(msg.wParam);
    if (msg.message == WM_KEYDOWN) {
        const bool ctrl = (c.m_keys[VK_CONTROL] & 0x80) != 0;
        if (vk == VK_BACK)
            ch = 8;
        else if (vk == VK_TAB)
            ch = 9;
        else if (vk == VK_RETURN)
            ch = 13;
        else if (vk == VK_ESCAPE)
            ch = 27;
        else if (ctrl && vk >= 'A' && vk <= 'Z')
            ch = static_cast<wchar_t>(vk - 'A' + 1);
    } else if (msg.message == WM_SYSKEYDOWN) {
        out = WM_SYSCHAR;
        const bool shift = (c.m_keys[VK_SHIFT] & 0x80) != 0;
        if (vk >= 'A' && vk <= 'Z')
            ch = static_cast<wchar_t>(shift ? vk : vk - 'A' + 'a');
        else if (vk >= '0' && vk <= '9')
            ch = static_cast<wchar_t>(vk);
    }
    if (!ch) return false;
    std::lock_guard lock(c.m_queueMutex);
    if (!c.m_live.count(msg.window)) return false;
    // The character is the very next message, as if it had been typed with the key.
    c.m_posted.push_front(Message{msg.window, out, static_cast<WParam>(ch), msg.lParam, msg.time, msg.pt});
    return true;
}

LResult dispatchMessage(const Message& msg) {
    assertUiThread();
    Core& c = Core::get();
    if (msg.message == detail::kRemoteCommandMessage) {
        c.handleRemoteCommand(msg.window, msg.wParam, msg.lParam);
        return 0;
    }
    if (!msg.window || !c.findLive(msg.window)) return 0;
    return c.send(msg.window, msg.message, msg.wParam, msg.lParam);
}

// --- Input state ---

WindowHandle setCapture(WindowHandle window) {
    assertUiThread();
    Core& c = Core::get();
    WindowHandle old = c.m_capture;
    if (!c.findLive(window) || old == window) return old;
    c.m_capture = window;
    if (c.m_backend) c.m_backend->setCapture(true);
    if (old) c.send(old, WM_CAPTURECHANGED, 0, reinterpret_cast<LParam>(window));
    return old;
}

bool releaseCapture() {
    assertUiThread();
    Core::get().releaseCaptureInternal();
    return true;
}

WindowHandle captureWindow() {
    assertUiThread();
    return Core::get().m_capture;
}

bool trackMouseEvent(WindowHandle window, unsigned flags, unsigned hoverTime) {
    assertUiThread();
    Core& c = Core::get();
    WindowData* d = c.findLive(window);
    if (!d) return false;
    const unsigned kinds = flags & (TME_HOVER | TME_LEAVE);
    if (flags & TME_CANCEL) {
        d->trackFlags &= ~kinds;
        return true;
    }
    if (kinds & TME_HOVER) {
        d->trackFlags |= TME_HOVER;
        d->hoverTime = hoverTime == HOVER_DEFAULT ? 400 : std::max(hoverTime, 1u);
        d->hoverDue = c.now() + d->hoverTime;
        d->hoverOrigin = c.m_cursor;
    }
    if (kinds & TME_LEAVE) {
        d->trackFlags |= TME_LEAVE;
        // Tracking a window the pointer is not over reports the leave at once.
        c.checkMouseLeave();
    }
    return true;
}

CursorShape setCursor(CursorShape shape) {
    assertUiThread();
    Core& c = Core::get();
    CursorShape old = c.m_cursorShape;
    c.m_cursorShape = shape;
    if (c.m_backend) c.m_backend->setCursor(shape);
    return old;
}

std::int16_t keyState(unsigned vk) {
    assertUiThread();
    std::uint8_t k = Core::get().m_keys[vk & 0xFF];
    return static_cast<std::int16_t>(((k & 0x80) ? 0x8000 : 0) | (k & 0x01));
}

Point cursorPos() {
    assertUiThread();
    return Core::get().m_cursor;
}

unsigned doubleClickTime() {
    assertUiThread();
    Core& c = Core::get();
    return c.m_backend ? c.m_backend->doubleClickTime() : 500;
}

void setTextInputArea(WindowHandle window, Rect caret) {
    assertUiThread();
    Core& c = Core::get();
    WindowData* d = c.findLive(window);
    if (!d || !c.m_backend) return;
    Point o = clientToScreen(window, {0, 0});
    c.m_backend->setTextInputArea(c.root(window), caret.isEmpty() ? Rect{} : caret.offset(o.x, o.y));
}

std::wstring clipboardText() {
    assertUiThread();
    Core& c = Core::get();
    return c.m_backend ? c.m_backend->clipboardText() : std::wstring();
}

std::wstring compositionText(int* cursor) {
    assertUiThread();
    Core& c = Core::get();
    if (cursor) *cursor = c.m_compositionCursor;
    return c.m_composition;
}

bool setClipboardText(std::wstring_view text) {
    assertUiThread();
    Core& c = Core::get();
    return c.m_backend && c.m_backend->setClipboardText(std::wstring(text));
}

// --- Timers ---

std::uintptr_t setTimer(WindowHandle window, std::uintptr_t id, unsigned intervalMs) {
    assertUiThread();
    Core& c = Core::get();
    WindowData* d = c.findLive(window);
    if (!d) return 0;
    // Like the desktop, intervals below 10 ms run at 10 ms.
    const unsigned interval = std::max(intervalMs, 10u);
    const std::uint64_t due = c.now() + interval;
    for (detail::TimerEntry& t : d->timers)
        if (t.id == id) {
            t.interval = interval;
            t.due = due;
            return id ? id : 1;
        }
    d->timers.push_back({id, interval, due});
    // Id 0 is a valid timer of a window (counters that wrap reach it); success
    // must still read as non-zero.
    return id ? id : 1;
}

bool killTimer(WindowHandle window, std::uintptr_t id) {
    assertUiThread();
    WindowData* d = Core::get().find(window);
    if (!d) return false;
    return std::erase_if(d->timers, [id](const detail::TimerEntry& t) { return t.id == id; }) > 0;
}

// --- Default window procedure ---

namespace {

CursorShape cursorForHit(int hit) {
    switch (hit) {
    case HTLEFT:
    case HTRIGHT:
        return CursorShape::SizeWE;
    case HTTOP:
    case HTBOTTOM:
        return CursorShape::SizeNS;
    case HTTOPLEFT:
    case HTBOTTOMRIGHT:
        return CursorShape::SizeNWSE;
    case HTTOPRIGHT:
    case HTBOTTOMLEFT:
        return CursorShape::SizeNESW;
    default:
        return CursorShape::Arrow;
    }
}

// Starts moving (HTCAPTION) or sizing (a border code) the top-level window
// with the pointer while the left button stays down. The backend may move it
// itself; sizing is always the core's, so that the track sizes hold.
void beginDrag(WindowHandle window, int hit) {
    Core& c = Core::get();
    WindowHandle top = c.root(window);
    WindowData* d = c.findLive(top);
    if (!d || d->zoomed || !(c.m_keys[VK_LBUTTON] & 0x80)) return;
    if (hit == HTCAPTION && c.m_backend->beginDrag(top, c.m_cursor)) return;
    c.m_dragWindow = top;
    c.m_dragHit = hit;
    c.m_dragStart = c.m_cursor;
    c.m_dragStartRect = d->rect;
    // The pointer leaves the window's old rectangle as it drags: keep it coming.
    c.m_backend->setCapture(true);
}

// WM_PRINT: the parts the flags ask for, children over the client from the
// bottom of the z-order up.
LResult defaultPrint(Core& c, WindowData& d, WindowHandle window, WParam wParam, LParam lParam) {
    Canvas* canvas = reinterpret_cast<Canvas*>(wParam);
    if (!canvas) return 0;
    const unsigned flags = static_cast<unsigned>(lParam);
    if ((flags & PRF_CHECKVISIBLE) && !isWindowVisible(window)) return 0;
    if (flags & PRF_ERASEBKGND) c.send(window, WM_ERASEBKGND, wParam, 0);
    if (flags & PRF_CLIENT) c.send(window, WM_PRINTCLIENT, wParam, lParam);
    if (flags & PRF_CHILDREN) {
        std::vector<WindowHandle> kids = d.children;
        for (auto it = kids.rbegin(); it != kids.rend(); ++it) {
            WindowData* k = c.findLive(*it);
            if (!k || !k->visible) continue;
            CanvasSaveScope saved(*canvas);
            canvas->offsetOrigin(k->rect.left, k->rect.top);
            canvas->intersectClipRect(Rect{0, 0, k->rect.width(), k->rect.height()});
            c.send(*it, WM_PRINT, wParam, lParam);
        }
    }
    return 0;
}

// The window text: stored in the window (and shown as the title of a native one).
LResult defaultTextMessage(Core& c, WindowData& d, WindowHandle window, unsigned message, WParam wParam,
                           LParam lParam) {
    switch (message) {
    case WM_SETTEXT: {
        const wchar_t* text = reinterpret_cast<const wchar_t*>(lParam);
        d.text = text ? text : L"";
        if (d.native) {
            c.m_backend->setTitle(window, d.text);
            c.serveWindow(d);
        }
        return 1;
    }
    case WM_GETTEXTLENGTH:
        return static_cast<LResult>(d.text.size());
    case WM_GETTEXT: {
        wchar_t* buffer = reinterpret_cast<wchar_t*>(lParam);
        if (!buffer || wParam == 0) return 0;
        std::size_t n = std::min<std::size_t>(d.text.size(), wParam - 1);
        std::wmemcpy(buffer, d.text.data(), n);
        buffer[n] = 0;
        return static_cast<LResult>(n);
    }
    default:
        return 0;
    }
}

// Cursor, activation, hit tests, the frame's buttons, and what a child passes
// on to its parent.
LResult defaultMouseMessage(Core& c, WindowData& d, WindowHandle window, unsigned message, WParam wParam,
                            LParam lParam) {
    switch (message) {
    case WM_SETCURSOR: {
        if (d.isChild() && d.parent && c.send(d.parent, WM_SETCURSOR, wParam, lParam)) return 1;
        const int hit = static_cast<std::int16_t>(loWord(static_cast<std::uintptr_t>(lParam)));
        if (hit == HTCLIENT) {
            if (WindowData* target = c.find(reinterpret_cast<WindowHandle>(wParam)))
                setCursor(target->cls.cursor);
            else
                setCursor(d.cls.cursor);
        } else {
            setCursor(cursorForHit(hit));
        }
        return 1;
    }
    case WM_MOUSEACTIVATE:
        if (d.isChild() && d.parent) {
            if (LResult r = c.send(d.parent, WM_MOUSEACTIVATE, wParam, lParam)) return r;
        }
        return MA_ACTIVATE;
    case WM_NCHITTEST: {
        Point p{xFromLParam(lParam), yFromLParam(lParam)};
        return windowRect(window).contains(p) ? HTCLIENT : HTNOWHERE;
    }
    case WM_NCLBUTTONDOWN:
        if (static_cast<int>(wParam) == HTCAPTION || detail::isSizingHit(static_cast<int>(wParam)))
            beginDrag(window, static_cast<int>(wParam));
        return 0;
    case WM_NCLBUTTONDBLCLK:
        if (static_cast<int>(wParam) == HTCAPTION && !d.isChild())
            c.send(window, WM_SYSCOMMAND, d.zoomed ? SC_RESTORE : SC_MAXIMIZE, lParam);
        return 0;
    case WM_RBUTTONUP: {
        Point p = clientToScreen(window, {xFromLParam(lParam), yFromLParam(lParam)});
        c.send(window, WM_CONTEXTMENU, reinterpret_cast<WParam>(window), makeLParam(p.x, p.y));
        return 0;
    }
    case WM_CONTEXTMENU:
    case WM_MOUSEWHEEL:
        if (d.isChild() && d.parent) return c.send(d.parent, message, wParam, lParam);
        return 0;
    default:
        return 0;
    }
}

// System keys (Alt+F4, the menu key), system commands and activation.
LResult defaultSystemMessage(Core& c, WindowHandle window, unsigned message, WParam wParam, LParam lParam) {
    switch (message) {
    case WM_SYSKEYDOWN:
        if (wParam == VK_F4 && (lParam & (1 << 29))) c.send(c.root(window), WM_SYSCOMMAND, SC_CLOSE, 0);
        return 0;
    case WM_SYSKEYUP:
    case WM_KEYUP:
        if (wParam == VK_MENU && c.m_keyMenuPending) {
            c.m_keyMenuPending = false;
            c.send(c.root(window), WM_SYSCOMMAND, SC_KEYMENU, 0);
        }
        return 0;
    case WM_SYSCOMMAND:
        switch (wParam & 0xFFF0) {
        case SC_CLOSE:
            c.send(window, WM_CLOSE, 0, 0);
            break;
        case SC_MINIMIZE:
            showWindow(window, SW_MINIMIZE);
            break;
        case SC_MAXIMIZE:
            showWindow(window, SW_MAXIMIZE);
            break;
        case SC_RESTORE:
            showWindow(window, SW_RESTORE);
            break;
        case SC_MOVE:
            beginDrag(window, HTCAPTION);
            break;
        default:
            break;
        }
        return 0;
    case WM_ACTIVATE:
        if (loWord(wParam) != WA_INACTIVE && !hiWord(wParam) && !(c.m_focus && c.isDescendant(window, c.m_focus)))
            setFocus(window);
        return 0;
    default:
        return 0;
    }
}

} // namespace

LResult defWindowProc(WindowHandle window, unsigned message, WParam wParam, LParam lParam) {
    assertUiThread();
    Core& c = Core::get();
    WindowData* d = c.find(window);
    if (!d) return 0;
    switch (message) {
    case WM_SETTEXT:
    case WM_GETTEXTLENGTH:
    case WM_GETTEXT:
        return defaultTextMessage(c, *d, window, message, wParam, lParam);
    case WM_SETCURSOR:
    case WM_MOUSEACTIVATE:
    case WM_NCHITTEST:
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONDBLCLK:
    case WM_RBUTTONUP:
    case WM_CONTEXTMENU:
    case WM_MOUSEWHEEL:
        return defaultMouseMessage(c, *d, window, message, wParam, lParam);
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
    case WM_SYSCOMMAND:
    case WM_ACTIVATE:
    case WM_KEYUP:
        return defaultSystemMessage(c, window, message, wParam, lParam);
    case WM_NCCREATE:
        return 1;
    case WM_CLOSE:
        destroyWindow(window);
        return 0;
    case WM_PAINT: {
        PaintInfo info;
        beginPaint(window, info);
        endPaint(window, info);
        return 0;
    }
    case WM_NCACTIVATE:
        return 1;
    case WM_SETICON:
        if (lParam && (wParam == ICON_BIG || !d->native))
            setWindowIcon(window, static_cast<unsigned>(wParam), *reinterpret_cast<const Surface*>(lParam));
        return 0;
    case WM_PRINT:
        return defaultPrint(c, *d, window, wParam, lParam);
    default:
        return 0;
    }
}

} // namespace platform
