// CListRowUI: the row behaviour and look shared by every row kind.
#include "ui/controls/ListRowUI.h"

#include "ui/core/ControlUI.h"
#include "ui/core/FormManagerUI.h"
#include "ui/core/ManagerDrawing.h"

using platform::Argb;
using platform::Rect;

void CListRowUI::assignSelected(bool selected) {
    if (m_selected == selected) return;
    m_selected = selected;
    m_row.markDirty();
}

bool CListRowUI::handleEvent(TInputEventUI& event) {
    if (!m_owner) return false;
    switch (event.kind) {
    case UiEventKind::ButtonDown:
        // The manager may not focus a disabled row; the list takes the focus either way.
        m_owner->focusList();
        if (!m_row.enabledState()) return true;
        m_owner->rowPressed(m_index, event.keyState);
        if (CFormManagerUI* manager = m_row.owningManager())
            manager->sendNotice(&m_row, L"itemclick", static_cast<platform::WParam>(m_index));
        return true;
    case UiEventKind::DoubleClick:
        if (m_row.enabledState()) m_owner->rowActivated(m_index);
        return true;
    case UiEventKind::ButtonUp:
        return true;
    case UiEventKind::MouseEnter:
        if (m_row.enabledState() && !m_hot) {
            m_hot = true;
            m_row.markDirty();
        }
        return true;
    case UiEventKind::MouseLeave:
        if (m_hot) {
            m_hot = false;
            m_row.markDirty();
        }
        return true;
    case UiEventKind::KeyDown:
        return m_owner->rowKey(event);
    default:
        return false;
    }
}

void CListRowUI::drawBackground(platform::Canvas& canvas) {
    if (!m_owner) return;
    TListInfoUI& info = m_owner->listInfo();
    CFormManagerUI* manager = m_row.owningManager();
    const Rect& pos = m_row.bounds();
    const Rect& paint = m_row.paintRect();
    Argb colour = info.bkColour;
    if (info.altBkColour != 0 && m_owner->alternateRow(m_index)) colour = info.altBkColour;
    ImageDescription* image = &info.bkImage;
    if (!m_row.enabledState()) {
        if (info.disabledBkColour != 0) colour = info.disabledBkColour;
        if (!info.disabledImage.description.isEmpty()) image = &info.disabledImage;
    } else if (m_selected) {
        if (info.selectedBkColour != 0) colour = info.selectedBkColour;
        if (!info.selectedImage.description.isEmpty()) image = &info.selectedImage;
    } else if (m_hot) {
        if (info.hotBkColour != 0) colour = info.hotBkColour;
        if (!info.hotImage.description.isEmpty()) image = &info.hotImage;
    }
    if (colour != 0) render::fillColour(canvas, pos, m_row.tintColour(colour));
    if (!image->description.isEmpty()) render::drawImageDescription(&canvas, manager, pos, paint, *image);
    if (info.lineColour == 0) return;
    if (info.rowLines) render::fillColour(canvas, {pos.left, pos.bottom - 1, pos.right, pos.bottom}, info.lineColour);
    if (info.columnLines)
        for (const auto& [left, right] : info.columns)
            if (right > pos.left && right <= pos.right)
                render::fillColour(canvas, {right - 1, pos.top, right, pos.bottom}, info.lineColour);
}

Argb CListRowUI::textColour() const {
    if (!m_owner) return 0;
    const TListInfoUI& info = m_owner->listInfo();
    Argb colour = info.textColour;
    if (!m_row.enabledState()) {
        colour = info.disabledTextColour;
    } else if (m_selected && info.selectedTextColour != 0) {
        colour = info.selectedTextColour;
    } else if (m_hot && info.hotTextColour != 0) {
        colour = info.hotTextColour;
    }
    if (colour == 0) {
        CFormManagerUI* manager = m_row.owningManager();
        if (manager) colour = m_row.enabledState() ? manager->defaultTextColour() : manager->disabledTextColour();
    }
    return colour;
}

Rect CListRowUI::cellRect(int column) const {
    const Rect& pos = m_row.bounds();
    if (!m_owner) return pos;
    const auto& columns = m_owner->listInfo().columns;
    if (column < 0 || column >= static_cast<int>(columns.size())) return pos;
    return {columns[column].first, pos.top, columns[column].second, pos.bottom};
}

void CListRowUI::drawCellText(platform::Canvas& canvas, int column, std::wstring_view text, bool wholeRow) {
    drawTextIn(canvas, wholeRow ? m_row.bounds() : cellRect(column), text);
}

void CListRowUI::drawTextIn(platform::Canvas& canvas, const Rect& area, std::wstring_view text) {
    CFormManagerUI* manager = m_row.owningManager();
    if (!m_owner || !manager || text.empty()) return;
    const TListInfoUI& info = m_owner->listInfo();
    Rect rect{area.left + info.textPadding.left, area.top + info.textPadding.top, area.right - info.textPadding.right,
              area.bottom - info.textPadding.bottom};
    if (rect.right <= rect.left || rect.bottom <= rect.top) return;
    render::drawPlainText(canvas, manager, rect, text, textColour(), info.font, info.textStyle);
}

int CListRowUI::textRowHeight() const {
    CFormManagerUI* manager = m_row.owningManager();
    const int padY = m_owner ? m_owner->listInfo().textPadding.top + m_owner->listInfo().textPadding.bottom : 0;
    const int font = m_owner ? m_owner->listInfo().font : -1;
    const int fontHeight = manager ? manager->fontInfo(font).metrics.height : 12;
    return fontHeight + padY;
}
