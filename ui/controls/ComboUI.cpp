// CComboUI: the closed face, the selection and the popup's placement.
#include "ui/controls/ComboUI.h"

#include "ui/controls/ComboWnd.h"
#include "ui/controls/ListRowUI.h"
#include "ui/controls/PopupPlacement.h"
#include "ui/core/AttributeValues.h"
#include "ui/core/FormManagerUI.h"
#include "ui/core/ManagerDrawing.h"

#include <algorithm>

using platform::Argb;
using platform::Rect;
using platform::Size;

namespace {

CListRowUI* rowOf(CControlUI* control) {
    auto* item = control ? static_cast<IListItemUI*>(control->castTo(L"IListItem")) : nullptr;
    return item ? &item->listRow() : nullptr;
}

Argb opaqueText(Argb colour) { return colour != 0 && (colour >> 24) == 0 ? colour | 0xFF000000u : colour; }

constexpr int kDefaultDropHeight = 150;

} // namespace

CComboUI::CComboUI() = default;

CComboUI::~CComboUI() {
    if (m_popup) {
        CComboWnd* popup = m_popup;
        m_popup = nullptr;
        popup->close(); // gives the items back before they are deleted
    }
}

std::wstring_view CComboUI::typeName() const { return L"Combo"; }

void* CComboUI::castTo(std::wstring_view name) {
    if (name == L"Combo") return this;
    if (name == L"IListOwner") return static_cast<IListOwnerUI*>(this);
    return CContainerUI::castTo(name);
}

unsigned CComboUI::behaviourFlags() const { return keyboardEnabled() ? ControlFlags::TabStop : 0u; }

// --- Items ---

bool CComboUI::insertItem(CControlUI* control, int index) {
    if (isOpen() || !CContainerUI::insertItem(control, index)) return false;
    for (int i = 0; i < itemCount(); ++i)
        if (CListRowUI* row = rowOf(itemAt(i))) row->assignOwner(this, i);
    if (m_selected >= index) ++m_selected;
    return true;
}

bool CComboUI::removeItem(CControlUI* control, bool keepAlive) {
    const int index = indexOf(control);
    return index >= 0 && removeItemAt(index, keepAlive);
}

bool CComboUI::removeItemAt(int index, bool keepAlive) {
    // The open popup shows the items: they change only while it is closed.
    if (isOpen()) return false;
    CControlUI* control = itemAt(index);
    if (!control) return false;
    if (CListRowUI* row = rowOf(control)) {
        row->assignOwner(nullptr, -1);
        row->assignSelected(false);
    }
    if (!CContainerUI::removeItemAt(index, keepAlive)) return false;
    if (m_selected == index)
        m_selected = -1;
    else if (m_selected > index)
        --m_selected;
    for (int i = 0; i < itemCount(); ++i)
        if (CListRowUI* row = rowOf(itemAt(i))) row->assignIndex(i);
    invalidate();
    return true;
}

void CComboUI::removeAllItems() {
    if (isOpen()) return;
    for (int i = 0; i < itemCount(); ++i)
        if (CListRowUI* row = rowOf(itemAt(i))) row->assignOwner(nullptr, -1);
    CContainerUI::removeAllItems();
    m_selected = -1;
    invalidate();
}

// --- Layout and painting: the items live in the popup only ---

void CComboUI::place(Rect rect, bool needInvalidate) { placeClientArea(rect, needInvalidate); }

CControlUI* CComboUI::walkTree(FindControlProc proc, void* data, unsigned flags) {
    // Hit tests and painting never reach the items inside the closed combo.
    if (flags & FindHitTest) return CControlUI::walkTree(proc, data, flags); // NOLINT(bugprone-parent-virtual-call)
    return CContainerUI::walkTree(proc, data, flags);
}

bool CComboUI::paintSelf(platform::Canvas& canvas, const Rect& paint, CControlUI* stop) {
    // The control's own drawing only, without the container's children.
    return CControlUI::paintSelf(canvas, paint, stop); // NOLINT(bugprone-parent-virtual-call)
}

void CComboUI::drawStateImage(platform::Canvas& canvas) {
    ImageDescription* image = &m_normalImage;
    auto pick = [&](ImageDescription& candidate) {
        if (!candidate.description.isEmpty()) image = &candidate;
    };
    if (!m_enabled)
        pick(m_disabledImage);
    else if (isOpen())
        pick(m_pushedImage);
    else if (m_hot)
        pick(m_hotImage);
    else if (m_focused)
        pick(m_focusedImage);
    if (!image->description.isEmpty()) render::drawImageDescription(&canvas, m_manager, m_pos, m_paintRect, *image);
}

void CComboUI::drawTextPart(platform::Canvas& canvas) {
    CControlUI* item = itemAt(m_selected);
    if (!item || !m_manager) return;
    const Rect pad = toDevice(m_textPadding);
    Rect rect{m_pos.left + pad.left, m_pos.top + pad.top, m_pos.right - pad.right, m_pos.bottom - pad.bottom};
    Argb colour = m_enabled ? m_info.textColour : m_info.disabledTextColour;
    if (colour == 0) colour = m_enabled ? m_manager->defaultTextColour() : m_manager->disabledTextColour();
    render::drawPlainText(canvas, m_manager, rect, item->textValue().view(), colour, m_info.font,
                          platform::DT_SINGLELINE | platform::DT_VCENTER | platform::DT_END_ELLIPSIS);
}

// --- Selection ---

bool CComboUI::isSelectable(int index) const {
    CControlUI* c = itemAt(index);
    return c && c->isShown() && c->enabledState() && rowOf(c) != nullptr;
}

bool CComboUI::selectItem(int index, bool notify) {
    if (index != -1 && !isSelectable(index)) return false;
    if (index == m_selected) return true;
    const int previous = m_selected;
    if (CListRowUI* row = rowOf(itemAt(previous))) row->assignSelected(false);
    m_selected = index;
    if (CListRowUI* row = rowOf(itemAt(index))) row->assignSelected(true);
    if (m_popup) m_popup->ensureVisible(index);
    invalidate();
    if (notify && m_manager)
        m_manager->sendNotice(this, L"itemselect", static_cast<platform::WParam>(index),
                              static_cast<platform::LParam>(previous));
    return true;
}

void CComboUI::rowPressed(int index, std::uint16_t) {
    selectItem(index, true);
    if (m_popup) m_popup->postToWindow(platform::WM_CLOSE);
}

void CComboUI::rowActivated(int index) { rowPressed(index, 0); }

bool CComboUI::rowKey(const TInputEventUI& event) {
    if (event.kind != UiEventKind::KeyDown || !m_enabled) return false;
    auto step = [&](int from, bool forward) {
        const int n = itemCount();
        for (int i = from; i >= 0 && i < n; i += forward ? 1 : -1)
            if (isSelectable(i)) return i;
        return -1;
    };
    int target = -1;
    switch (event.keyChar) {
    case platform::VK_UP:
        target = step(m_selected < 0 ? itemCount() - 1 : m_selected - 1, false);
        break;
    case platform::VK_DOWN:
        target = step(m_selected + 1, true);
        break;
    case platform::VK_HOME:
        target = step(0, true);
        break;
    case platform::VK_END:
        target = step(itemCount() - 1, false);
        break;
    case platform::VK_RETURN:
    case platform::VK_ESCAPE:
        if (!m_popup) return false;
        m_popup->postToWindow(platform::WM_CLOSE);
        return true;
    default:
        return false;
    }
    if (target >= 0) selectItem(target, true);
    return true;
}

// --- The popup ---

Rect CComboUI::popupPlacement(const Rect& combo, Size size, const Rect& workArea) {
    return popup::placeUnder(combo, size, workArea);
}

Size CComboUI::popupSize() {
    // The drop box size is in skin units like every length of the skin; the
    // popup takes this window's scale, so its rows measure in the same pixels.
    Size size = toDevice(m_dropBox);
    if (size.cx <= 0) size.cx = m_pos.width();
    if (size.cy <= 0) {
        int total = toDevice(2); // the border
        for (int i = 0; i < itemCount(); ++i)
            if (itemAt(i)->isShown()) total += itemAt(i)->measure({size.cx, 0}).cy;
        size.cy = std::min(total, toDevice(kDefaultDropHeight));
    }
    return size;
}

bool CComboUI::open() {
    if (m_popup || !m_enabled || !m_manager || !m_manager->hostWindow()) return false;
    platform::WindowHandle host = m_manager->hostWindow();
    const platform::Point topLeft = platform::clientToScreen(host, {m_pos.left, m_pos.top});
    const Rect screen = Rect::fromSize(topLeft.x, topLeft.y, m_pos.width(), m_pos.height());
    const Rect rect = popupPlacement(screen, popupSize(), platform::workAreaNear(host));
    m_popup = new CComboWnd(this);
    if (!m_popup->openAt(rect)) {
        delete m_popup;
        m_popup = nullptr;
        return false;
    }
    m_popup->ensureVisible(m_selected);
    invalidate();
    m_manager->sendNotice(this, L"dropdown");
    return true;
}

void CComboUI::close() {
    if (m_popup) m_popup->close();
}

// --- Events ---

void CComboUI::handleEvent(TInputEventUI& event) {
    switch (event.kind) {
    case UiEventKind::ButtonDown:
    case UiEventKind::DoubleClick:
        if (m_enabled) {
            if (isOpen())
                close();
            else
                open();
        }
        return;
    case UiEventKind::KeyDown:
        if (!isOpen() && (event.keyChar == platform::VK_UP || event.keyChar == platform::VK_DOWN) && rowKey(event))
            return;
        break;
    case UiEventKind::MouseEnter:
        m_hot = true;
        invalidate();
        return;
    case UiEventKind::MouseLeave:
        m_hot = false;
        invalidate();
        return;
    case UiEventKind::SetFocus:
    case UiEventKind::KillFocus:
        m_focused = event.kind == UiEventKind::SetFocus;
        invalidate();
        return;
    default:
        break;
    }
    CContainerUI::handleEvent(event);
}

void CComboUI::applyAttribute(std::wstring_view name, std::wstring_view value) {
    if (name == L"dropboxsize" || name == L"dropbox") {
        m_dropBox = attr::parseSize(value);
    } else if (name == L"textpadding") {
        m_textPadding = attr::parseRect(value);
        invalidate();
    } else if (name == L"normalimage") {
        m_normalImage.setDescription(value);
    } else if (name == L"hotimage") {
        m_hotImage.setDescription(value);
    } else if (name == L"pushedimage") {
        m_pushedImage.setDescription(value);
    } else if (name == L"focusedimage") {
        m_focusedImage.setDescription(value);
    } else if (name == L"disabledimage") {
        m_disabledImage.setDescription(value);
    } else if (name == L"itemfont") {
        m_info.font = attr::parseInt(value);
    } else if (name == L"itemtextpadding") {
        m_info.textPadding = attr::parseRect(value);
    } else if (name == L"itemtextcolor") {
        m_info.textColour = opaqueText(attr::parseColour(value));
    } else if (name == L"itemselectedtextcolor") {
        m_info.selectedTextColour = opaqueText(attr::parseColour(value));
    } else if (name == L"itemhottextcolor") {
        m_info.hotTextColour = opaqueText(attr::parseColour(value));
    } else if (name == L"itemdisabledtextcolor") {
        m_info.disabledTextColour = opaqueText(attr::parseColour(value));
    } else if (name == L"itembkcolor") {
        m_info.bkColour = attr::parseColour(value);
    } else if (name == L"itemaltbkcolor") {
        m_info.altBkColour = attr::parseColour(value);
    } else if (name == L"itemhotbkcolor") {
        m_info.hotBkColour = attr::parseColour(value);
    } else if (name == L"itemselectedbkcolor") {
        m_info.selectedBkColour = attr::parseColour(value);
    } else if (name == L"itemdisabledbkcolor") {
        m_info.disabledBkColour = attr::parseColour(value);
    } else if (name == L"itemlinecolor") {
        m_info.lineColour = attr::parseColour(value);
    } else if (name == L"itemshowrowline") {
        m_info.rowLines = attr::parseBool(value);
    } else {
        CContainerUI::applyAttribute(name, value);
        return;
    }
    invalidate();
}
