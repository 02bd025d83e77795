// CFormManagerUI: set-up and the control tree, notices and deferred work,
// control timers, focus and tab order, option groups and the window
// element's attributes.
#include "ui/core/FormManagerUI.h"

#include "platform/system/System.h"
#include "platform/window/DisplayScale.h"
#include "ui/core/AttributeValues.h"
#include "ui/core/ControlUI.h"
#include "ui/core/ManagerDrawing.h"

#include <cmath>
#include <cwctype>
#include <vector>

using platform::Point;
using platform::Rect;
using platform::Size;

namespace uidetail {
// Every attached manager, in attach order (translateQueued walks it).
CPtrArrayUI<CFormManagerUI>& attachedManagers() {
    static CPtrArrayUI<CFormManagerUI> managers;
    return managers;
}
} // namespace uidetail

namespace {

constexpr unsigned kDeferredWorkMessage = platform::WM_APP + 1;

std::uint8_t toByte(int v) { return static_cast<std::uint8_t>(std::clamp(v, 0, 255)); }

} // namespace

// --- Lifetime ---------------------------------------------------------------

CFormManagerUI::~CFormManagerUI() {
    deleteDeferred();
    clearQueuedNotices();
    m_names.clear();
    if (m_root) {
        CControlUI* root = m_root;
        m_root = nullptr;
        m_focus = m_hover = m_click = m_key = m_lastTooltip = nullptr;
        root->destroySelf();
    }
    clearWindowResources();
    removeAllGroups();
    stopAllTimers();
    destroyTooltip();
    m_offscreen = platform::Surface();
    uidetail::attachedManagers().remove(this);
}

// --- Set-up and tree --------------------------------------------------------

void CFormManagerUI::attachWindow(platform::WindowHandle window, std::wstring_view name) {
    m_names.clear();
    clearWindowResources();
    removeAllGroups();
    stopAllTimers();
    m_windowName = name;
    if (window != m_host) {
        m_host = window;
        if (uidetail::attachedManagers().find(this) < 0) uidetail::attachedManagers().add(this);
    }
    setScale(window ? inheritedScale(window) : 1.0);
}

double CFormManagerUI::inheritedScale(platform::WindowHandle window) {
    // The nearest owner or parent with a manager decides, so that a popup
    // opened by a scaled window matches it wherever the desktop says otherwise.
    platform::WindowHandle up = window;
    for (int depth = 0; depth < 64; ++depth) {
        platform::WindowHandle next = platform::parentWindow(up);
        if (!next) next = platform::ownerWindow(up);
        if (!next) break;
        up = next;
        auto& managers = uidetail::attachedManagers();
        for (int i = 0; i < managers.size(); ++i)
            if (managers[i] != this && managers[i]->hostWindow() == up) return managers[i]->scale();
    }
    return platform::desktopScale(window);
}

void CFormManagerUI::setScale(double scale) {
    scale = platform::snapScale(scale);
    if (scale == m_scale) return;
    m_scale = scale;
    destroyTooltip(); // made again with the font of the new scale
    m_skin.setScale(scale);
    m_tooltipWidthCache = -1;
    if (m_root) {
        markTreeForLayout(m_root);
        m_layoutNeeded = true;
        m_shadowDirty = true;
        invalidateAll();
    }
}

void CFormManagerUI::markTreeForLayout(CControlUI* root) {
    root->walkTree(
        [](CControlUI* control, void*) -> CControlUI* {
            control->m_updateNeeded = true;
            return nullptr;
        },
        nullptr, FindAll);
}

int CFormManagerUI::toDevice(int skinLength) const {
    if (m_scale == 1.0) return skinLength;
    return static_cast<int>(std::lround(skinLength * m_scale)); // halves away from zero
}

platform::Rect CFormManagerUI::toDevice(const platform::Rect& skin) const {
    return {toDevice(skin.left), toDevice(skin.top), toDevice(skin.right), toDevice(skin.bottom)};
}

int CFormManagerUI::toSkin(int deviceLength) const {
    if (m_scale == 1.0) return deviceLength;
    return static_cast<int>(std::lround(deviceLength / m_scale));
}

bool CFormManagerUI::setRoot(CControlUI* root) {
    focusControl(nullptr, true);
    m_key = m_hover = m_click = m_lastTooltip = nullptr;
    if (m_root) {
        deleteDeferred();
        clearQueuedNotices();
        m_names.clear();
        m_postPainters.empty();
        m_nativeWindows.empty();
        m_nativeControls.empty();
        deferDelete(m_root);
    }
    m_root = root;
    m_layoutNeeded = true;
    m_firstLayout = true;
    m_focusNeeded = true;
    return initControlTree(root, nullptr);
}

bool CFormManagerUI::initControlTree(CControlUI* control, CControlUI* parent) {
    if (!control) return false;
    control->bindManager(this, parent ? parent : control->parentControl(), /*init=*/true);
    control->walkTree(
        [](CControlUI* c, void* self) -> CControlUI* {
            if (!c->controlName().isEmpty())
                static_cast<CFormManagerUI*>(self)->m_names.set(c->controlName().view(), c);
            return nullptr;
        },
        this, FindAll);
    return true;
}

CControlUI* CFormManagerUI::findControlByName(std::wstring_view name) const {
    CControlUI* const* found = m_names.find(name);
    return found ? *found : nullptr;
}

CControlUI* CFormManagerUI::findControlAt(Point point) const {
    if (!m_root) return nullptr;
    return m_root->walkTree([](CControlUI* c, void*) -> CControlUI* { return c; }, &point,
                            FindVisible | FindHitTest | FindTopFirst);
}

bool CFormManagerUI::changeControlName(CControlUI* control, std::wstring_view newName) {
    if (!control || control->owningManager() != this || newName.empty()) return false;
    if (control->controlName() == newName) return true;
    if (CControlUI* const* holder = m_names.find(newName); holder && *holder != control) return false;
    if (CControlUI* const* old = m_names.find(control->controlName().view()); old && *old == control)
        m_names.remove(control->controlName().view());
    m_names.set(newName, control);
    control->m_name = newName;
    return true;
}

void CFormManagerUI::forgetControl(CControlUI* control) {
    if (!control) return;
    if (m_key == control) m_key = nullptr;
    if (m_hover == control) m_hover = nullptr;
    if (m_click == control) m_click = nullptr;
    if (m_focus == control) m_focus = nullptr;
    if (m_lastTooltip == control) m_lastTooltip = nullptr;
    if (m_root == control) m_root = nullptr;
    stopTimersOf(control);
    if (CControlUI* const* entry = m_names.find(control->controlName().view()); entry && *entry == control)
        m_names.remove(control->controlName().view());
    for (const auto& n : m_queuedNotices)
        if (n->sender == control) n->sender = nullptr;
    // Lists that would otherwise keep a dangling pointer when a detached
    // control is deleted later.
    m_mouseLeaveWatchers.remove(control);
    m_postPainters.remove(control);
    for (int i = m_nativeControls.size() - 1; i >= 0; --i) {
        if (m_nativeControls[i] != control) continue;
        m_nativeControls.removeAt(i);
        m_nativeWindows.removeAt(i);
    }
    std::vector<std::wstring> emptied;
    m_groups.forEach([&](std::wstring_view name, std::unique_ptr<CPtrArrayUI<CControlUI>>& members) {
        members->remove(control);
        if (members->isEmpty()) emptied.emplace_back(name);
    });
    for (const std::wstring& name : emptied) m_groups.remove(name);
}

void CFormManagerUI::deferDelete(CControlUI* control) {
    if (!control) return;
    // Everything the manager knows of the subtree goes now: once detached,
    // its destructors can no longer tell the manager.
    control->walkTree(
        [](CControlUI* c, void* self) -> CControlUI* {
            static_cast<CFormManagerUI*>(self)->forgetControl(c);
            return nullptr;
        },
        this, FindAll);
    control->bindManager(nullptr, nullptr, /*init=*/false);
    m_deferredDeletions.emplace_back(control);
    postDeferredWork();
}

void CFormManagerUI::wantMouseLeave(CControlUI* control) {
    if (control && m_mouseLeaveWatchers.find(control) < 0) m_mouseLeaveWatchers.add(control);
}

void CFormManagerUI::removeMouseLeave(CControlUI* control) { m_mouseLeaveWatchers.remove(control); }

bool CFormManagerUI::addListener(INotifyUI* listener) { return listener && m_listeners.add(listener); }
bool CFormManagerUI::removeListener(INotifyUI* listener) { return m_listeners.remove(listener); }
bool CFormManagerUI::addMessageHook(IMessageFilterUI* filter) { return filter && m_filters.add(filter); }
bool CFormManagerUI::removeMessageHook(IMessageFilterUI* filter) { return m_filters.remove(filter); }
bool CFormManagerUI::addPostPainter(CControlUI* control) { return control && m_postPainters.add(control); }
bool CFormManagerUI::removePostPainter(CControlUI* control) { return m_postPainters.remove(control); }
bool CFormManagerUI::addTranslator(ITranslateAccelerator* translator) {
    return translator && m_translators.add(translator);
}
bool CFormManagerUI::removeTranslator(ITranslateAccelerator* translator) { return m_translators.remove(translator); }

bool CFormManagerUI::addNativeChild(CControlUI* control, platform::WindowHandle window) {
    if (!control || !window) return false;
    if (m_host && platform::isWindow(window)) {
        Rect r = platform::windowRect(window);
        Point tl = platform::screenToClient(m_host, {r.left, r.top});
        invalidateRect(Rect::fromSize(tl.x, tl.y, r.width(), r.height()));
    }
    if (m_nativeWindows.find(window) >= 0) return false;
    m_nativeWindows.add(window);
    m_nativeControls.add(control);
    return true;
}

bool CFormManagerUI::removeNativeChild(platform::WindowHandle window) {
    const int i = m_nativeWindows.find(window);
    if (i < 0) return false;
    m_nativeWindows.removeAt(i);
    m_nativeControls.removeAt(i);
    return true;
}

CControlUI* CFormManagerUI::nativeChildControl(platform::WindowHandle window) const {
    const int i = m_nativeWindows.find(window);
    return i < 0 ? nullptr : m_nativeControls[i];
}

// --- Notices and deferred work -------------------------------------------------

void CFormManagerUI::sendNotice(TNoticeUI& notice, bool async, bool allowRepeat) {
    notice.mousePos = m_lastMousePosition;
    notice.timestamp = platform::tickCount();
    if (m_useVirtualWindow && notice.sender) notice.virtualWindow = notice.sender->virtualWindowOf();
    if (!async) {
        deliverNotice(notice);
        return;
    }
    if (!allowRepeat) {
        for (const auto& queued : m_queuedNotices) {
            if (queued->sender != notice.sender || queued->kind != notice.kind) continue;
            queued->virtualWindow = notice.virtualWindow;
            queued->wparam = notice.wparam;
            queued->lparam = notice.lparam;
            queued->mousePos = notice.mousePos;
            queued->timestamp = notice.timestamp;
            return;
        }
    }
    m_queuedNotices.push_back(std::make_unique<TNoticeUI>(notice));
    postDeferredWork();
}

void CFormManagerUI::sendNotice(CControlUI* sender, std::wstring_view kind, platform::WParam wparam,
                                platform::LParam lparam, bool async, bool allowRepeat) {
    TNoticeUI notice;
    notice.kind = kind;
    notice.sender = sender;
    notice.wparam = wparam;
    notice.lparam = lparam;
    sendNotice(notice, async, allowRepeat);
}

void CFormManagerUI::deliverNotice(TNoticeUI& notice) {
    if (notice.sender) notice.sender->noticeHooks().invoke(&notice);
    // A listener may add or remove listeners while it runs.
    const CPtrArrayUI<INotifyUI> listeners = m_listeners;
    for (INotifyUI* listener : listeners)
        if (m_listeners.find(listener) >= 0) listener->onNotice(notice);
}

void CFormManagerUI::postDeferredWork() {
    if (m_deferredPosted || !m_host) return;
    if (platform::postMessage(m_host, kDeferredWorkMessage, 0, 0)) m_deferredPosted = true;
}

void CFormManagerUI::runDeferredWork() {
    m_deferredPosted = false;
    // A listener may queue more notices; they are delivered in the same round.
    while (!m_queuedNotices.empty()) {
        const std::unique_ptr<TNoticeUI> notice = std::move(m_queuedNotices.front());
        m_queuedNotices.erase(m_queuedNotices.begin());
        deliverNotice(*notice);
    }
    deleteDeferred();
}

void CFormManagerUI::deleteDeferred() {
    // Deleting may defer more deletions; they go in the same round.
    while (!m_deferredDeletions.empty()) {
        std::unique_ptr<CControlUI, DestroySelf> control = std::move(m_deferredDeletions.front());
        m_deferredDeletions.erase(m_deferredDeletions.begin());
    }
}

void CFormManagerUI::DestroySelf::operator()(CControlUI* control) const { control->destroySelf(); }

void CFormManagerUI::clearQueuedNotices() { m_queuedNotices.clear(); }

// --- Control timers ----------------------------------------------------------

bool CFormManagerUI::startTimer(CControlUI* control, unsigned localId, unsigned elapseMs) {
    if (!control || !m_host) return false;
    for (const auto& t : m_timers) {
        if (t->control != control || t->window != m_host || t->localId != localId) continue;
        if (!t->killed) return false;
        if (!platform::setTimer(m_host, t->windowTimerId, elapseMs)) return false;
        t->killed = false;
        return true;
    }
    // Ids stay below 255: they never meet the layered refresh timer (0x2000).
    m_timerIdCounter = (m_timerIdCounter + 1) % 255;
    if (!platform::setTimer(m_host, static_cast<std::uintptr_t>(m_timerIdCounter), elapseMs)) return false;
    m_timers.push_back(std::make_unique<TimerRecord>(
        TimerRecord{control, localId, m_host, static_cast<std::uintptr_t>(m_timerIdCounter), false}));
    return true;
}

template <typename Match>
void CFormManagerUI::stopTimersWhere(Match match) {
    std::erase_if(m_timers, [&](const std::unique_ptr<TimerRecord>& t) {
        if (t->window != m_host || !match(*t)) return false;
        if (!t->killed && platform::isWindow(m_host)) platform::killTimer(m_host, t->windowTimerId);
        return true;
    });
}

bool CFormManagerUI::stopTimer(CControlUI* control, unsigned localId) {
    for (const auto& t : m_timers) {
        if (t->control != control || t->window != m_host || t->localId != localId || t->killed) continue;
        if (platform::isWindow(m_host)) platform::killTimer(m_host, t->windowTimerId);
        t->killed = true;
        return true;
    }
    return false;
}

void CFormManagerUI::stopTimersOf(CControlUI* control) {
    stopTimersWhere([&](const TimerRecord& t) { return t.control == control; });
}

void CFormManagerUI::stopAllTimers() {
    stopTimersWhere([](const TimerRecord&) { return true; });
}

// --- Focus and tab order -----------------------------------------------------

TInputEventUI CFormManagerUI::makeEvent(UiEventKind kind, CControlUI* sender, Point pos) const {
    TInputEventUI e;
    e.kind = kind;
    e.sender = sender;
    e.timestamp = platform::tickCount();
    e.mousePos = pos;
    e.keyState = keyStateNow();
    return e;
}

bool CFormManagerUI::belongsHere(const CControlUI* control) const {
    return control && control->owningManager() == this;
}

void CFormManagerUI::focusControl(CControlUI* control, bool focusWindow) {
    if (focusWindow && m_host && platform::focusWindow() != m_host && control != m_focus && !m_noActivate)
        platform::setFocus(m_host);
    if (control == m_focus) return;
    if (m_focus) {
        CControlUI* old = m_focus;
        TInputEventUI e = makeEvent(UiEventKind::KillFocus, control, m_lastMousePosition);
        old->dispatchEvent(e);
        if (m_focus == old) sendNotice(old, L"killfocus");
        m_focus = nullptr;
    }
    if (!control || !belongsHere(control) || !control->isShown() || !control->enabledState()) return;
    m_focus = control;
    TInputEventUI e = makeEvent(UiEventKind::SetFocus, control, m_lastMousePosition);
    control->dispatchEvent(e);
    sendNotice(control, L"setfocus");
}

namespace {

// The controls a tab walk visits (visible and enabled, each before its
// children), in order.
std::vector<CControlUI*> tabWalk(CControlUI* root) {
    std::vector<CControlUI*> visited;
    if (!root) return visited;
    root->walkTree(
        [](CControlUI* c, void* out) -> CControlUI* {
            static_cast<std::vector<CControlUI*>*>(out)->push_back(c);
            return nullptr;
        },
        &visited, FindMeFirst | FindVisible | FindEnabled);
    return visited;
}

bool isTabStop(const CControlUI* c) { return (c->behaviourFlags() & ControlFlags::TabStop) != 0; }

} // namespace

bool CFormManagerUI::focusNextTabStop(bool forward) {
    if (m_layoutNeeded && forward) {
        m_focusNeeded = true;
        invalidateAll();
        return true;
    }
    const std::vector<CControlUI*> walk = tabWalk(m_root);
    CControlUI* found = nullptr;
    CControlUI* first = nullptr;
    CControlUI* last = nullptr;
    CControlUI* lastBeforeFocus = nullptr;
    bool focusSeen = false;
    for (CControlUI* c : walk) {
        if (c == m_focus && m_focus) {
            focusSeen = true;
            continue;
        }
        if (!isTabStop(c)) continue;
        if (!first) first = c;
        last = c;
        if (!focusSeen)
            lastBeforeFocus = c;
        else if (forward && !found)
            found = c;
    }
    if (forward) {
        if (!found) found = first;
    } else {
        found = focusSeen ? lastBeforeFocus : nullptr;
        if (!found) found = last;
    }
    if (found) focusControl(found, true);
    m_focusNeeded = false;
    return true;
}

void CFormManagerUI::focusFirstOrNext(CControlUI* control) {
    if (m_host && !m_noActivate) platform::setFocus(m_host);
    if (!control) {
        m_focusNeeded = false;
        return;
    }
    if (m_focus) {
        CControlUI* old = m_focus;
        TInputEventUI e = makeEvent(UiEventKind::KillFocus, control, m_lastMousePosition);
        old->dispatchEvent(e);
        if (m_focus == old) sendNotice(old, L"killfocus");
    }
    // The focus rests, without events, on the last tab stop before the
    // control; the next paint moves forward from there.
    CControlUI* before = nullptr;
    for (CControlUI* c : tabWalk(m_root)) {
        if (c == control) break;
        if (isTabStop(c)) before = c;
    }
    m_focus = before;
    m_focusNeeded = true;
    if (m_root) m_root->scheduleLayout();
}

// --- Option groups -------------------------------------------------------------

bool CFormManagerUI::joinGroup(std::wstring_view group, CControlUI* control) {
    if (!control || group.empty()) return false;
    auto* members = m_groups.find(group);
    if (!members) {
        m_groups.insert(group, std::make_unique<CPtrArrayUI<CControlUI>>(6));
        members = m_groups.find(group);
    }
    if ((*members)->find(control) >= 0) return false;
    (*members)->add(control);
    return true;
}

const CPtrArrayUI<CControlUI>* CFormManagerUI::groupMembers(std::wstring_view group) const {
    const auto* members = m_groups.find(group);
    return members ? members->get() : nullptr;
}

void CFormManagerUI::leaveGroup(std::wstring_view group, CControlUI* control) {
    auto* members = m_groups.find(group);
    if (!members || !control) return;
    (*members)->remove(control);
    if ((*members)->isEmpty()) m_groups.remove(group);
}

void CFormManagerUI::removeAllGroups() { m_groups.clear(); }

// --- Window attributes -----------------------------------------------------------

void CFormManagerUI::setInitialSize(Size size) {
    m_initialSize = size;
    const Size device = toDevice(size);
    if (!m_root && m_host && platform::isWindow(m_host))
        platform::setWindowPos(m_host, nullptr, 0, 0, device.cx, device.cy,
                               platform::SWP_NOMOVE | platform::SWP_NOZORDER | platform::SWP_NOACTIVATE);
}

Rect CFormManagerUI::caption() {
    if (m_caption.bottom == -1 && m_host) m_caption.bottom = toSkin(platform::windowRect(m_host).height());
    return toDevice(m_caption);
}

void CFormManagerUI::setLayeredOpacity(std::uint8_t opacity) {
    m_layeredOpacity = opacity;
    m_layeredChanged = true;
    invalidateAll();
}

void CFormManagerUI::switchLayered(bool on) {
    if (!m_host || on == m_perPixelLayered) return;
    if (platform::windowStyle(m_host) & platform::WS_CHILD) return;
    if (on && !platform::layeredWindowsSupported()) return;
    const unsigned ex = platform::windowExStyle(m_host);
    unsigned next = ex;
    if (on) {
        platform::setTimer(m_host, kLayeredRefreshTimer, kLayeredRefreshMs);
        next |= platform::WS_EX_LAYERED;
    } else {
        platform::killTimer(m_host, kLayeredRefreshTimer);
        next &= ~platform::WS_EX_LAYERED;
    }
    if (next != ex) platform::setWindowExStyle(m_host, next);
    m_perPixelLayered = on;
    m_layeredChanged = true;
    if (m_root) m_root->scheduleLayout();
    m_layoutNeeded = true;
    invalidateAll();
}

void CFormManagerUI::setLayeredImage(std::wstring_view description) {
    switchLayered(true);
    m_layeredImage.setDescription(description);
    m_background = platform::Surface();
    render::drawImageDescription(nullptr, this, {}, {}, m_layeredImage);
    invalidateAll();
}

void CFormManagerUI::setShadowSize(int size) {
    if (size == m_shadowSize) return;
    m_shadowSize = size;
    m_shadowDirty = true;
    invalidateAll();
}

void CFormManagerUI::setShadowColour(platform::Argb colour) {
    if (colour == m_shadowColour) return;
    m_shadowColour = colour;
    m_shadowDirty = true;
    invalidateAll();
}

void CFormManagerUI::setShadowFocusScale(float scale) {
    if (scale == m_shadowFocusScale) return;
    m_shadowFocusScale = scale;
    m_shadowDirty = true;
    invalidateAll();
}

void CFormManagerUI::applyOpacity(std::uint8_t opacity) {
    m_layeredOpacity = opacity;
    if (!m_host) return;
    const unsigned ex = platform::windowExStyle(m_host);
    if (!(ex & platform::WS_EX_LAYERED)) platform::setWindowExStyle(m_host, ex | platform::WS_EX_LAYERED);
    platform::setWindowOpacity(m_host, opacity);
    m_perPixelLayered = false;
    invalidateAll();
}

void CFormManagerUI::applyWindowAttribute(std::wstring_view name, std::wstring_view value) {
    auto is = [&](std::wstring_view n) { return attr::equalsNoCase(name, n); };
    if (is(L"size")) {
        setInitialSize(attr::parseSize(value));
    } else if (is(L"shadowsize")) {
        setShadowSize(attr::parseInt(value));
    } else if (is(L"shadowcolor")) {
        setShadowColour(attr::parseColour(value));
    } else if (is(L"shadowfocusscales")) {
        setShadowFocusScale(static_cast<float>(attr::parseDouble(value)));
    } else if (is(L"sizebox")) {
        setSizeBox(attr::parseRect(value));
    } else if (is(L"caption")) {
        setCaption(attr::parseRect(value));
    } else if (is(L"roundcorner")) {
        setRoundCorner(attr::parseSize(value));
    } else if (is(L"mininfo")) {
        setMinTrackSize(attr::parseSize(value));
    } else if (is(L"maxinfo")) {
        setMaxTrackSize(attr::parseSize(value));
    } else if (is(L"showdirty")) {
        setShowDirty(attr::parseBoolNoCase(value));
    } else if (name == L"noactivate") {
        setNoActivate(attr::parseBoolNoCase(value));
    } else if (is(L"opacity")) {
        applyOpacity(toByte(attr::parseInt(value)));
    } else if (name == L"layeredopacity") {
        setLayeredOpacity(toByte(attr::parseInt(value)));
    } else if (name == L"layeredimage") {
        setLayeredImage(value);
    } else if (is(L"nolayeredpadding")) {
        setNoLayeredPadding(attr::parseRect(value));
    } else if (is(L"disabledfontcolor")) {
        setDisabledTextColour(attr::parseColour(value));
    } else if (is(L"defaultfontcolor")) {
        setDefaultTextColour(attr::parseColour(value));
    } else if (is(L"linkfontcolor")) {
        setLinkColour(attr::parseColour(value));
    } else if (is(L"linkhoverfontcolor")) {
        setLinkHoverColour(attr::parseColour(value));
    } else if (is(L"selectedcolor")) {
        setSelectedColour(attr::parseColour(value));
    } else {
        addWindowAttribute(name, value);
    }
}
