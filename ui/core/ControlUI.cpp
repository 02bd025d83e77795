// CControlUI: identity, positioning, visibility, the tree walk, input
// events, attributes and the paint order every control shares.
//
// Index:
//   --- Lifetime and identity ---
//   --- Position ---
//   --- Sizing constraints and small properties ---
//   --- Visibility, enabled state, focus ---
//   --- Layout requests and invalidation ---
//   --- Tree walk, initialisation, events ---
//   --- Attributes ---
//   --- Painting ---
#include "ui/core/ControlUI.h"

#include "ui/core/AttributeValues.h"
#include "ui/core/FormManagerUI.h"
#include "ui/core/ManagerDrawing.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

using platform::Argb;
using platform::Canvas;
using platform::Point;
using platform::Rect;
using platform::Size;

namespace {

int anchorOffset(int extent, double anchor) { return static_cast<int>(std::floor(extent * anchor)); }

} // namespace

// --- Lifetime and identity ------------------------------------------------

CControlUI::CControlUI() = default;

void CControlUI::destroySelf() {
    if (m_manager) m_manager->removeMouseLeave(this);
    delete this;
}

CControlUI::~CControlUI() {
    if (m_cover) {
        CControlUI* cover = m_cover;
        m_cover = nullptr;
        cover->destroySelf();
    }
    m_customAttributes.reset();
    m_destroyHooks.invoke(this);
    if (m_manager) m_manager->forgetControl(this);
}

const CStringUI& CControlUI::controlName() const { return m_name; }

void CControlUI::assignName(std::wstring_view name) {
    if (m_name == name) return;
    if (m_manager) m_manager->changeControlName(this, name);
    m_name = name;
}

std::wstring_view CControlUI::typeName() const { return L"Control"; }

void* CControlUI::castTo(std::wstring_view name) { return name == L"Control" ? this : nullptr; }

unsigned CControlUI::behaviourFlags() const { return 0; }

platform::WindowHandle CControlUI::nativeHandle() const { return nullptr; }

bool CControlUI::trigger() { return isShown() && enabledState(); }

CFormManagerUI* CControlUI::owningManager() const { return m_manager; }

void CControlUI::bindManager(CFormManagerUI* manager, CControlUI* parent, bool init) {
    if (m_cover) m_cover->bindManager(manager, this, init);
    m_manager = manager;
    m_parent = parent;
    if (init && m_parent) initialise();
}

CControlUI* CControlUI::parentControl() const { return m_parent; }

CControlUI* CControlUI::coverControl() const { return m_cover; }

void CControlUI::assignCover(CControlUI* cover) {
    if (cover == m_cover) return;
    if (m_cover) {
        CControlUI* old = m_cover;
        m_cover = nullptr;
        old->destroySelf();
    }
    m_cover = cover;
    if (!m_cover) return;
    if (m_manager)
        m_manager->initControlTree(m_cover, this);
    else
        m_cover->bindManager(nullptr, this, false);
    if (isShown())
        scheduleLayout();
    else
        m_cover->assignInheritedShown(false);
}

const CStringUI& CControlUI::textValue() const { return m_text; }

void CControlUI::assignText(std::wstring_view text) {
    if (m_text == text) return;
    m_text = text;
    invalidate();
}

// --- Position -------------------------------------------------------------

const Rect& CControlUI::bounds() const { return m_pos; }

Rect CControlUI::boundsInParent() const {
    if (!m_parent) return {};
    const Rect& p = m_parent->bounds();
    return m_pos.offset(-p.left, -p.top);
}

Rect CControlUI::innerBounds() const { return m_pos; }

void CControlUI::place(Rect rect, bool needInvalidate) {
    if (rect.right < rect.left) rect.right = rect.left;
    if (rect.bottom < rect.top) rect.bottom = rect.top;
    Rect dirty = m_pos.isEmpty() ? rect : m_pos;

    if (m_floating) {
        if (m_parent) {
            // The rectangle is relative to the parent; the fixed values follow
            // it so that the next layout puts the control back here.
            const Rect& pp = m_parent->bounds();
            m_pos = rect.offset(pp.left, pp.top);
            const int w = pp.width(), h = pp.height();
            // Kept in skin units, edge by edge, as the layout reads them.
            m_fixedXY.x = toSkin(rect.left - anchorOffset(w, m_anchors.left));
            m_fixedXY.y = toSkin(rect.top - anchorOffset(h, m_anchors.top));
            m_fixedWidth = toSkin(rect.right - anchorOffset(w, m_anchors.right)) - m_fixedXY.x;
            m_fixedHeight = toSkin(rect.bottom - anchorOffset(h, m_anchors.bottom)) - m_fixedXY.y;
        }
    } else {
        m_pos = rect;
    }
    if (!m_manager) return;

    if (!m_positionGuard) {
        m_positionGuard = true;
        m_sizeHooks.invoke(this);
        m_positionGuard = false;
    }
    m_updateNeeded = false;

    if (needInvalidate && isShown()) {
        dirty = dirty.unite(m_pos);
        bool visible = true;
        for (CControlUI* p = m_parent; p && visible; p = p->parentControl()) {
            if (!p->isShown()) visible = false;
            dirty = dirty.intersect(p->bounds());
            if (dirty.isEmpty()) visible = false;
        }
        if (visible) m_manager->invalidateRect(dirty);
    }

    if (m_cover && m_cover->isShown()) {
        if (m_cover->isFloating()) {
            const int w = m_pos.width(), h = m_pos.height();
            const FloatAnchorsUI a = m_cover->floatAnchors();
            const Point f = m_cover->fixedXY();
            const int fw = m_cover->fixedWidth(), fh = m_cover->fixedHeight();
            m_cover->place({anchorOffset(w, a.left) + f.x, anchorOffset(h, a.top) + f.y,
                            anchorOffset(w, a.right) + f.x + fw, anchorOffset(h, a.bottom) + f.y + fh},
                           false);
        } else {
            // Over this control's own position (the given rectangle is
            // relative for a floating control).
            const int w = std::clamp(m_pos.width(), m_cover->minWidth(), m_cover->maxWidth());
            const int h = std::clamp(m_pos.height(), m_cover->minHeight(), m_cover->maxHeight());
            m_cover->place(Rect::fromSize(m_pos.left, m_pos.top, w, h), false);
        }
    }
}

void CControlUI::shiftBy(int dx, int dy, bool needInvalidate) {
    const Rect old = m_pos;
    m_pos = m_pos.offset(dx, dy);
    if (needInvalidate && m_manager && isShown()) {
        Rect dirty = old.unite(m_pos);
        bool visible = true;
        for (CControlUI* p = m_parent; p && visible; p = p->parentControl()) {
            if (!p->isShown()) visible = false;
            dirty = dirty.intersect(p->bounds());
            if (dirty.isEmpty()) visible = false;
        }
        if (visible) m_manager->invalidateRect(dirty);
    }
    if (m_cover && m_cover->isShown()) m_cover->shiftBy(dx, dy, false);
}

int CControlUI::width() const { return m_pos.width(); }
int CControlUI::height() const { return m_pos.height(); }
int CControlUI::x() const { return m_pos.left; }
int CControlUI::y() const { return m_pos.top; }

// --- Sizing constraints and small properties -------------------------------

Rect CControlUI::padding() const { return toDevice(m_padding); }

void CControlUI::assignPadding(const Rect& padding) { assignLayoutValue(m_padding, padding); }

Point CControlUI::fixedXY() const { return {toDevice(m_fixedXY.x), toDevice(m_fixedXY.y)}; }

void CControlUI::assignFixedXY(Point xy) { assignLayoutValue(m_fixedXY, xy); }

FloatAnchorsUI CControlUI::floatAnchors() const { return m_anchors; }

void CControlUI::assignFloatAnchors(const FloatAnchorsUI& anchors) { assignLayoutValue(m_anchors, anchors); }

int CControlUI::fixedWidth() const { return toDevice(m_fixedWidth); }

void CControlUI::assignFixedWidth(int width) {
    if (width >= 0) assignLayoutValue(m_fixedWidth, width);
}

int CControlUI::fixedHeight() const { return toDevice(m_fixedHeight); }

void CControlUI::assignFixedHeight(int height) {
    if (height >= 0) assignLayoutValue(m_fixedHeight, height);
}

int CControlUI::minWidth() const { return toDevice(m_minWidth); }

void CControlUI::assignMinWidth(int width) {
    if (width >= 0) assignLayoutValue(m_minWidth, width);
}

int CControlUI::maxWidth() const { return toDevice(std::max(m_maxWidth, m_minWidth)); }

void CControlUI::assignMaxWidth(int width) {
    if (width >= 0) assignLayoutValue(m_maxWidth, width);
}

int CControlUI::minHeight() const { return toDevice(m_minHeight); }

void CControlUI::assignMinHeight(int height) {
    if (height >= 0) assignLayoutValue(m_minHeight, height);
}

int CControlUI::maxHeight() const { return toDevice(std::max(m_maxHeight, m_minHeight)); }

void CControlUI::assignMaxHeight(int height) {
    if (height >= 0) assignLayoutValue(m_maxHeight, height);
}

const CStringUI& CControlUI::tooltip() const { return m_tooltip; }

void CControlUI::assignTooltip(std::wstring_view text) {
    m_tooltip = text;
    m_tooltip.replace(L"<n>", L"\r\n");
}

void CControlUI::assignTooltipWidth(int width) { m_tooltipWidth = width; }
int CControlUI::tooltipWidth() const { return toDevice(m_tooltipWidth); }
wchar_t CControlUI::shortcut() const { return m_shortcut; }
void CControlUI::assignShortcut(wchar_t ch) { m_shortcut = ch; }
bool CControlUI::contextMenuUsed() const { return m_contextMenuUsed; }
void CControlUI::assignContextMenuUsed(bool used) { m_contextMenuUsed = used; }
const CStringUI& CControlUI::userData() const { return m_userData; }
void CControlUI::assignUserData(std::wstring_view text) { m_userData = text; }
std::uintptr_t CControlUI::tag() const { return m_tag; }
void CControlUI::assignTag(std::uintptr_t tag) { m_tag = tag; }

// --- Visibility, enabled state, focus --------------------------------------

bool CControlUI::isShown() const { return m_visible && m_internVisible; }

void CControlUI::assignShown(bool visible) {
    if (m_visible == visible) return;
    const bool wasShown = isShown();
    m_visible = visible;
    m_focused = false;
    if (!isShown() && m_manager && m_manager->focusedControl() == this) m_manager->focusControl(nullptr, true);
    if (isShown() != wasShown) scheduleParentLayout();
    if (m_cover) m_cover->assignInheritedShown(isShown());
}

void CControlUI::assignInheritedShown(bool visible) {
    m_internVisible = visible;
    if (!isShown() && m_manager && m_manager->focusedControl() == this) m_manager->focusControl(nullptr, true);
    if (m_cover) m_cover->assignInheritedShown(isShown());
}

bool CControlUI::enabledState() const { return m_enabled; }

void CControlUI::assignEnabled(bool enabled) {
    if (m_enabled == enabled) return;
    m_enabled = enabled;
    invalidate();
}

bool CControlUI::mouseEnabled() const { return m_mouseEnabled; }
void CControlUI::assignMouseEnabled(bool enabled) { m_mouseEnabled = enabled; }
bool CControlUI::keyboardEnabled() const { return m_enabled && m_keyboardEnabled; }
void CControlUI::assignKeyboardEnabled(bool enabled) { m_keyboardEnabled = enabled; }
bool CControlUI::hasFocus() const { return m_focused; }

void CControlUI::takeFocus() {
    if (m_manager) m_manager->focusControl(this, false);
}

bool CControlUI::isFloating() const { return m_floating; }

void CControlUI::assignFloating(bool floating) { assignLayoutValue(m_floating, floating); }

// --- Layout requests and invalidation ---------------------------------------

void CControlUI::markDirty() {
    if (!m_manager || !isShown()) return;
    Rect dirty = m_pos;
    for (CControlUI* p = m_parent; p; p = p->parentControl()) {
        dirty = dirty.intersect(p->bounds());
        if (dirty.isEmpty()) return;
    }
    m_manager->invalidateRect(dirty);
}

void CControlUI::scheduleLayout() {
    if (!isShown()) return;
    m_updateNeeded = true;
    markDirty();
    if (m_manager) m_manager->requestLayout();
}

void CControlUI::scheduleParentLayout() {
    if (m_parent) {
        m_parent->scheduleLayout();
        m_parent->markDirty();
    } else {
        scheduleLayout();
    }
    if (m_manager) m_manager->requestLayout();
}

Argb CControlUI::tintColour(Argb colour) const {
    // The global adjustment stays at its neutral setting (hue 180,
    // saturation and lightness 100 %), so adjusted colours are unchanged.
    return m_colourAdjust ? render::adjustColour(colour, 180, 100, 100) : colour;
}

int CControlUI::defaultFontHeight() const {
    return m_manager ? m_manager->defaultFontInfo().metrics.height : platform::Font::kDefaultPixelHeight;
}

CStringUI CControlUI::virtualWindowOf() const {
    if (!m_virtualWindow.isEmpty()) return m_virtualWindow;
    return m_parent ? m_parent->virtualWindowOf() : CStringUI();
}

void CControlUI::assignVirtualWindow(std::wstring_view name) {
    m_virtualWindow = name;
    if (m_manager) m_manager->setUseVirtualWindow(true);
}

void CControlUI::storeCustomAttribute(std::wstring_view name, std::wstring_view value) {
    if (name.empty() || value.empty()) return;
    if (!m_customAttributes) m_customAttributes = std::make_unique<CStringMapUI<CStringUI>>();
    m_customAttributes->insert(name, CStringUI(value));
}

const wchar_t* CControlUI::customAttribute(std::wstring_view name) const {
    if (!m_customAttributes) return nullptr;
    const CStringUI* found = m_customAttributes->find(name);
    return found ? found->c_str() : nullptr;
}

void CControlUI::removeAllCustomAttributes() { m_customAttributes.reset(); }

// --- Tree walk, initialisation, events --------------------------------------

CControlUI* CControlUI::walkTree(FindControlProc proc, void* data, unsigned flags) {
    if ((flags & FindVisible) && !isShown()) return nullptr;
    if ((flags & FindEnabled) && !enabledState()) return nullptr;
    if ((flags & FindHitTest) && !m_pos.contains(*static_cast<const Point*>(data))) return nullptr;
    if ((flags & FindUpdateTest) && proc(this, data)) return nullptr;
    CControlUI* result = nullptr;
    if ((flags & FindMeFirst) && (!(flags & FindHitTest) || m_mouseEnabled)) result = proc(this, data);
    if (!result && m_cover) result = m_cover->walkTree(proc, data, flags);
    if (result || (flags & FindMeFirst)) return result;
    if ((flags & FindHitTest) && !m_mouseEnabled) return nullptr;
    return proc(this, data);
}

void CControlUI::initialise() {
    onInitialise();
    m_initHooks.invoke(this);
}

void CControlUI::onInitialise() {}

void CControlUI::dispatchEvent(TInputEventUI& event) {
    if (m_eventHooks.invoke(&event)) handleEvent(event);
}

void CControlUI::handleEvent(TInputEventUI& event) {
    switch (event.kind) {
    case UiEventKind::SetCursor:
        platform::setCursor(platform::CursorShape::Arrow);
        return;
    case UiEventKind::SetFocus:
        m_focused = true;
        invalidate();
        return;
    case UiEventKind::KillFocus:
        m_focused = false;
        invalidate();
        return;
    case UiEventKind::Timer:
        if (m_manager) m_manager->sendNotice(this, L"timer", event.wparam, event.lparam);
        return;
    case UiEventKind::ContextMenu:
        if (m_contextMenuUsed) {
            if (m_manager) m_manager->sendNotice(this, L"menu", event.wparam, event.lparam);
            return;
        }
        break;
    default:
        break;
    }
    if (m_parent) m_parent->handleEvent(event);
}

// --- Attributes --------------------------------------------------------------

namespace {

enum class Attr {
    Pos,
    Padding,
    BkColour,
    BkColour2,
    BkColour3,
    BorderColour,
    FocusBorderColour,
    ColourHsl,
    BorderSize,
    BorderStyle,
    BorderRound,
    BkImage,
    ForeImage,
    Width,
    Height,
    MinWidth,
    MinHeight,
    MaxWidth,
    MaxHeight,
    Name,
    Text,
    Tooltip,
    UserData,
    Tag,
    Enabled,
    Mouse,
    Keyboard,
    Visible,
    Float,
    Shortcut,
    Menu,
    VirtualWnd,
};

const std::unordered_map<std::wstring_view, Attr>& attributeTable() {
    static const std::unordered_map<std::wstring_view, Attr> table = {
        {L"pos", Attr::Pos},
        {L"padding", Attr::Padding},
        {L"bkcolor", Attr::BkColour},
        {L"bkcolor1", Attr::BkColour},
        {L"bkcolor2", Attr::BkColour2},
        {L"bkcolor3", Attr::BkColour3},
        {L"bordercolor", Attr::BorderColour},
        {L"focusbordercolor", Attr::FocusBorderColour},
        {L"colorhsl", Attr::ColourHsl},
        {L"bordersize", Attr::BorderSize},
        {L"borderstyle", Attr::BorderStyle},
        {L"borderround", Attr::BorderRound},
        {L"bkimage", Attr::BkImage},
        {L"foreimage", Attr::ForeImage},
        {L"width", Attr::Width},
        {L"height", Attr::Height},
        {L"minwidth", Attr::MinWidth},
        {L"minheight", Attr::MinHeight},
        {L"maxwidth", Attr::MaxWidth},
        {L"maxheight", Attr::MaxHeight},
        {L"name", Attr::Name},
        {L"text", Attr::Text},
        {L"tooltip", Attr::Tooltip},
        {L"userdata", Attr::UserData},
        {L"tag", Attr::Tag},
        {L"enabled", Attr::Enabled},
        {L"mouse", Attr::Mouse},
        {L"keyboard", Attr::Keyboard},
        {L"visible", Attr::Visible},
        {L"float", Attr::Float},
        {L"shortcut", Attr::Shortcut},
        {L"menu", Attr::Menu},
        {L"virtualwnd", Attr::VirtualWnd},
    };
    return table;
}

// Four decimal fractions, each followed by one separator of any kind.
FloatAnchorsUI parseAnchors(std::wstring_view value) {
    double v[4] = {0, 0, 0, 0};
    std::size_t pos = 0;
    for (double& x : v) {
        if (pos >= value.size()) break;
        std::size_t end = pos;
        while (end < value.size() &&
               (value[end] == L'.' || value[end] == L'-' || value[end] == L'+' ||
                (value[end] >= L'0' && value[end] <= L'9') || (value[end] >= 1 && value[end] <= 32)))
            ++end;
        x = attr::parseDouble(value.substr(pos, end - pos));
        pos = end + 1;
    }
    return {v[0], v[1], v[2], v[3]};
}

// Position, size limits, padding and floating.
bool applyGeometryAttribute(CControlUI& c, Attr attribute, std::wstring_view value) {
    switch (attribute) {
    case Attr::Pos: {
        const Rect r = attr::parseRect(value);
        c.assignFixedXY({r.left, r.top});
        c.assignFixedWidth(r.right - r.left);
        c.assignFixedHeight(r.bottom - r.top);
        return true;
    }
    case Attr::Padding:
        c.assignPadding(attr::parseRect(value));
        return true;
    case Attr::Width:
        c.assignFixedWidth(attr::parseInt(value));
        return true;
    case Attr::Height:
        c.assignFixedHeight(attr::parseInt(value));
        return true;
    case Attr::MinWidth:
        c.assignMinWidth(attr::parseInt(value));
        return true;
    case Attr::MinHeight:
        c.assignMinHeight(attr::parseInt(value));
        return true;
    case Attr::MaxWidth:
        c.assignMaxWidth(attr::parseInt(value));
        return true;
    case Attr::MaxHeight:
        c.assignMaxHeight(attr::parseInt(value));
        return true;
    case Attr::Float:
        if (value.find(L',') != std::wstring_view::npos) {
            c.assignFloatAnchors(parseAnchors(value));
            c.assignFloating(true);
        } else {
            c.assignFloating(attr::parseBool(value));
        }
        return true;
    default:
        return false;
    }
}

// Colours, border and images.
bool applyLookAttribute(CControlUI& c, Attr attribute, std::wstring_view value) {
    switch (attribute) {
    case Attr::BkColour:
        c.assignBkColour(attr::parseColour(value, /*skipBlanks=*/true));
        return true;
    case Attr::BkColour2:
        c.assignBkColour2(attr::parseColour(value, /*skipBlanks=*/true));
        return true;
    case Attr::BkColour3:
        c.assignBkColour3(attr::parseColour(value, /*skipBlanks=*/true));
        return true;
    case Attr::BorderColour:
        c.assignBorderColour(attr::parseColour(value));
        return true;
    case Attr::FocusBorderColour:
        c.assignFocusBorderColour(attr::parseColour(value));
        return true;
    case Attr::ColourHsl:
        c.assignColourAdjust(attr::parseBool(value));
        return true;
    case Attr::BorderSize:
        if (value.find(L',') != std::wstring_view::npos) {
            c.assignBorderSizes(attr::parseRect(value));
        } else {
            const int s = attr::parseInt(value);
            c.assignBorderSizes({s, s, s, s});
        }
        return true;
    case Attr::BorderStyle:
        c.assignBorderStyle(attr::parseInt(value));
        return true;
    case Attr::BorderRound:
        c.assignBorderRound(attr::parseSize(value));
        return true;
    case Attr::BkImage:
        c.assignBkImage(value);
        return true;
    case Attr::ForeImage:
        c.assignForeImage(value);
        return true;
    default:
        return false;
    }
}

// Name, texts, data and the input and visibility switches.
bool applyBehaviourAttribute(CControlUI& c, Attr attribute, std::wstring_view value) {
    switch (attribute) {
    case Attr::Name:
        c.assignName(value);
        return true;
    case Attr::Text:
        c.assignText(value);
        return true;
    case Attr::Tooltip:
        c.assignTooltip(value);
        return true;
    case Attr::UserData:
        c.assignUserData(value);
        return true;
    case Attr::Tag:
        c.assignTag(static_cast<std::uintptr_t>(static_cast<std::intptr_t>(attr::parseInt(value))));
        return true;
    case Attr::Enabled:
        c.assignEnabled(attr::parseBool(value));
        return true;
    case Attr::Mouse:
        c.assignMouseEnabled(attr::parseBool(value));
        return true;
    case Attr::Keyboard:
        c.assignKeyboardEnabled(attr::parseBool(value));
        return true;
    case Attr::Visible:
        c.assignShown(attr::parseBool(value));
        return true;
    case Attr::Shortcut:
        c.assignShortcut(value.empty() ? 0 : value[0]);
        return true;
    case Attr::Menu:
        c.assignContextMenuUsed(attr::parseBool(value));
        return true;
    case Attr::VirtualWnd:
        c.assignVirtualWindow(value);
        return true;
    default:
        return false;
    }
}

} // namespace

CStringUI CControlUI::readAttribute(std::wstring_view) const { return {}; }

void CControlUI::applyAttribute(std::wstring_view name, std::wstring_view value) {
    const auto& table = attributeTable();
    auto it = table.find(name);
    if (it == table.end()) {
        if (attr::equalsNoCase(name, L"autocalwidth"))
            assignAutoWidth(attr::parseBoolNoCase(value));
        else if (attr::equalsNoCase(name, L"autocalheight"))
            assignAutoHeight(attr::parseBoolNoCase(value));
        else
            storeCustomAttribute(name, value);
        return;
    }
    if (applyGeometryAttribute(*this, it->second, value)) return;
    if (applyLookAttribute(*this, it->second, value)) return;
    applyBehaviourAttribute(*this, it->second, value);
}

CStringUI CControlUI::attributeText() const { return {}; }

void CControlUI::applyAttributeText(std::wstring_view text) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t eq = text.find(L'=', pos);
        if (eq == std::wstring_view::npos || eq == pos) return;
        const std::wstring_view name = text.substr(pos, eq - pos);
        if (eq + 1 >= text.size() || text[eq + 1] != L'"') return;
        const std::size_t close = text.find(L'"', eq + 2);
        if (close == std::wstring_view::npos) return;
        applyAttribute(name, text.substr(eq + 2, close - eq - 2));
        pos = close + 1;
        if (pos >= text.size()) return;
        if (text[pos] != L' ') return;
        ++pos;
    }
}

bool CControlUI::autoWidth() const { return m_autoWidth; }

void CControlUI::assignAutoWidth(bool on) {
    if (m_autoWidth == on) return;
    m_autoWidth = on;
    invalidate();
}

bool CControlUI::autoHeight() const { return m_autoHeight; }

void CControlUI::assignAutoHeight(bool on) {
    if (m_autoHeight == on) return;
    m_autoHeight = on;
    invalidate();
}

Size CControlUI::measure(Size) { return {fixedWidth(), fixedHeight()}; }

void CControlUI::assignBkColour(Argb c) {
    if (m_bkColour == c) return;
    m_bkColour = c;
    invalidate();
}

void CControlUI::assignBkColour2(Argb c) {
    if (m_bkColour2 == c) return;
    m_bkColour2 = c;
    invalidate();
}

void CControlUI::assignBkColour3(Argb c) {
    if (m_bkColour3 == c) return;
    m_bkColour3 = c;
    invalidate();
}

void CControlUI::assignBorderColour(Argb c) {
    if (m_borderColour == c) return;
    m_borderColour = c;
    invalidate();
}

void CControlUI::assignFocusBorderColour(Argb c) {
    if (m_focusBorderColour == c) return;
    m_focusBorderColour = c;
    invalidate();
}

void CControlUI::assignColourAdjust(bool on) {
    if (m_colourAdjust == on) return;
    m_colourAdjust = on;
    invalidate();
}

void CControlUI::assignBkImage(std::wstring_view description) {
    if (m_bkImage.description == description && m_bkImage.image) return;
    m_bkImage.setDescription(description);
    // Loaded at once: a floating control without a size takes the image's.
    render::drawImageDescription(nullptr, m_manager, m_pos, m_paintRect, m_bkImage);
    if (m_floating && m_fixedWidth == 0 && m_fixedHeight == 0 && m_bkImage.image) {
        m_fixedWidth = m_bkImage.image->unitWidth();
        m_fixedHeight = m_bkImage.image->unitHeight();
    }
    invalidate();
}

void CControlUI::assignForeImage(std::wstring_view description) {
    if (m_foreImage.description == description && m_foreImage.image) return;
    m_foreImage.setDescription(description);
    invalidate();
}

void CControlUI::assignBorderSizes(const Rect& sizes) {
    if (m_borderSizes == sizes) return;
    m_borderSizes = sizes;
    invalidate();
}

void CControlUI::assignBorderStyle(int style) {
    if (m_borderStyle == style) return;
    m_borderStyle = style;
    invalidate();
}

void CControlUI::assignBorderRound(Size round) {
    if (m_borderRound == round) return;
    m_borderRound = round;
    invalidate();
}

// --- Scale ------------------------------------------------------------------

int CControlUI::toDevice(int skinLength) const { return m_manager ? m_manager->toDevice(skinLength) : skinLength; }

Rect CControlUI::toDevice(const Rect& skin) const { return m_manager ? m_manager->toDevice(skin) : skin; }

Size CControlUI::toDevice(Size skin) const { return m_manager ? m_manager->toDevice(skin) : skin; }

int CControlUI::toSkin(int deviceLength) const { return m_manager ? m_manager->toSkin(deviceLength) : deviceLength; }

// --- Painting ---------------------------------------------------------------

bool CControlUI::paintTree(Canvas& canvas, const Rect& paint, CControlUI* stop) {
    if (this == stop) return false;
    m_paintRect = m_pos.intersect(paint);
    if (m_paintRect.isEmpty()) return true;
    if (!m_paintHooks.invoke(this)) return true;
    if (!paintSelf(canvas, paint, stop)) return false;
    if (m_cover && m_cover->isShown()) return m_cover->paintTree(canvas, paint, nullptr);
    return true;
}

bool CControlUI::paintSelf(Canvas& canvas, const Rect&, CControlUI*) {
    render::ClipScope round;
    if (m_borderRound.cx > 0 || m_borderRound.cy > 0) {
        const Size r = borderRoundPx();
        render::clipToRoundRect(canvas, m_paintRect, m_pos, r.cx, r.cy, round);
    }
    drawBackground(canvas);
    drawBackImage(canvas);
    drawStateImage(canvas);
    drawTextPart(canvas);
    drawBorder(canvas);
    return true;
}

void CControlUI::drawBackground(Canvas& canvas) {
    if (m_bkColour == 0) return;
    if (m_bkColour2 == 0) {
        const Argb c = tintColour(m_bkColour);
        // A translucent colour covers the whole position so that partial
        // repaints blend the same way as a full one.
        render::fillColour(canvas, (c >> 24) == 255 ? m_paintRect : m_pos, c);
        return;
    }
    if (m_bkColour3 != 0) {
        const int mid = (m_pos.top + m_pos.bottom) / 2;
        render::fillGradient(canvas, {m_pos.left, m_pos.top, m_pos.right, mid}, tintColour(m_bkColour),
                             tintColour(m_bkColour2), /*vertical=*/true, 8);
        render::fillGradient(canvas, {m_pos.left, mid, m_pos.right, m_pos.bottom}, tintColour(m_bkColour2),
                             tintColour(m_bkColour3), /*vertical=*/true, 8);
        return;
    }
    render::fillGradient(canvas, m_pos, tintColour(m_bkColour), tintColour(m_bkColour2), /*vertical=*/true, 16);
}

void CControlUI::drawBackImage(Canvas& canvas) {
    if (m_bkImage.description.isEmpty()) return;
    render::drawImageDescription(&canvas, m_manager, m_pos, m_paintRect, m_bkImage);
}

void CControlUI::drawStateImage(Canvas& canvas) {
    if (m_foreImage.description.isEmpty()) return;
    render::drawImageDescription(&canvas, m_manager, m_pos, m_paintRect, m_foreImage);
}

void CControlUI::drawTextPart(Canvas&) {}

void CControlUI::drawBorder(Canvas& canvas) {
    const Rect b = toDevice(m_borderSizes);
    if (b.left <= 0 && b.top <= 0 && b.right <= 0 && b.bottom <= 0) return;
    if (m_borderColour == 0 && m_focusBorderColour == 0) return;
    const Argb colour = (m_focused && m_focusBorderColour != 0) ? m_focusBorderColour : tintColour(m_borderColour);
    if (m_borderRound.cx > 0 || m_borderRound.cy > 0) {
        const Size r = borderRoundPx();
        render::drawRoundRect(canvas, m_pos, b.left, r.cx, r.cy, colour, m_borderStyle);
        return;
    }
    if (b.left == b.top && b.left == b.right && b.left == b.bottom) {
        render::drawRect(canvas, m_pos, b.left, colour, m_borderStyle);
        return;
    }
    const Rect& p = m_pos;
    if (b.left > 0) {
        const int x = p.left + b.left / 2;
        render::drawLine(canvas, {x, p.top, x, p.bottom}, b.left, colour, m_borderStyle);
    }
    if (b.top > 0) {
        const int y = p.top + b.top / 2;
        render::drawLine(canvas, {p.left + b.left, y, p.right - b.right, y}, b.top, colour, m_borderStyle);
    }
    if (b.right > 0) {
        const int x = p.right - b.right / 2 - b.right % 2;
        render::drawLine(canvas, {x, p.top, x, p.bottom}, b.right, colour, m_borderStyle);
    }
    if (b.bottom > 0) {
        const int y = p.bottom - b.bottom / 2 - b.bottom % 2;
        render::drawLine(canvas, {p.left + b.left, y, p.right - b.right, y}, b.bottom, colour, m_borderStyle);
    }
}

void CControlUI::afterPaint(Canvas&, const Rect&) { m_postPaintHooks.invoke(this); }
