// CTileLayoutUI: the grid layout in both filling orders.
#include "ui/layout/TileLayoutUI.h"

#include "ui/core/AttributeValues.h"
#include "ui/layout/ScrollBarUI.h"

#include <algorithm>
#include <cwchar>
#include <limits>
#include <string>

using platform::Rect;
using platform::Size;

namespace {

CScrollBarUI* shown(CScrollBarUI* bar) { return bar && bar->isShown() ? bar : nullptr; }

// Skins may ask for any "columns" or "itemsize": sums and products are taken
// in 64 bits and pinned to the int range instead of wrapping.
int sat(long long value) {
    return static_cast<int>(
        std::clamp<long long>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}
using Wide = long long;

// "80,60": two decimal integers separated by one character.
Size parseItemSize(std::wstring_view text) {
    const std::wstring s(text);
    wchar_t* end = nullptr;
    const long cx = std::wcstol(s.c_str(), &end, 10);
    long cy = 0;
    if (end && *end) cy = std::wcstol(end + 1, nullptr, 10);
    return {sat(cx), sat(cy)};
}

} // namespace

std::wstring_view CTileLayoutUI::typeName() const { return L"TileLayout"; }

void* CTileLayoutUI::castTo(std::wstring_view name) {
    if (name == L"TileLayout") return this;
    return CContainerUI::castTo(name);
}

void CTileLayoutUI::assignItemSize(Size size) {
    if (size == m_itemSize) return;
    m_itemSize = size;
    scheduleLayout();
}

void CTileLayoutUI::assignColumns(int columns) {
    if (columns < 0) return;
    m_requestedColumns = columns;
    scheduleLayout();
}

void CTileLayoutUI::assignRows(int rows) {
    if (rows < 0) return;
    m_requestedRows = rows;
    scheduleLayout();
}

void CTileLayoutUI::assignRowGap(int gap) {
    m_rowGap = std::max(gap, 0);
    scheduleLayout();
}

void CTileLayoutUI::applyAttribute(std::wstring_view name, std::wstring_view value) {
    if (name == L"itemsize")
        assignItemSize(parseItemSize(value));
    else if (name == L"columns")
        assignColumns(attr::parseInt(value));
    else if (name == L"rows")
        assignRows(attr::parseInt(value));
    else if (name == L"childvpadding")
        assignRowGap(attr::parseInt(value));
    else
        CContainerUI::applyAttribute(name, value);
}

bool CTileLayoutUI::isFull() const {
    const long capacity = static_cast<long>(m_requestedColumns) * m_requestedRows;
    return capacity >= 1 && m_items.size() >= capacity;
}

bool CTileLayoutUI::addItem(CControlUI* control) {
    if (isFull()) return false;
    return CContainerUI::addItem(control);
}

bool CTileLayoutUI::insertItem(CControlUI* control, int index) {
    if (isFull()) return false;
    return CContainerUI::insertItem(control, index);
}

// One axis of a child's place in its cell: at the start (0), centred (1) or
// at the end (2) of the cell, its padding taken off as the tile rule has it.
static void alignInCell(int start, int cell, int size, int padLow, int padHigh, int where, int& low, int& high) {
    const Wide s = start, c = cell, z = size;
    switch (where) {
    case 1:
        low = sat(s + (c - z) / 2 + padLow);
        high = sat(s + (c - z) / 2 + z - padHigh);
        break;
    case 2:
        low = sat(s + c + padLow - z);
        high = sat(s + c - padHigh);
        break;
    default:
        low = sat(s + padLow);
        high = sat(s + z - padHigh);
        break;
    }
}

void CTileLayoutUI::placeInCell(CControlUI* child, int x, int y) {
    // The padding narrows the cell twice over (once for the size, once for
    // the edges), in every alignment alike; skins are drawn for this.
    const Rect pad = child->padding();
    const int iw = toDevice(m_itemSize.cx), ih = toDevice(m_itemSize.cy);
    const int w = std::min(sat(Wide(iw) - pad.left - pad.right), child->maxWidth());
    const int h = std::min(sat(Wide(ih) - pad.top - pad.bottom), child->maxHeight());
    Rect r;
    const int hPlace = m_childAlign == ChildAlignUI::Centre ? 1 : m_childAlign == ChildAlignUI::Right ? 2 : 0;
    const int vPlace = m_childVAlign == ChildAlignUI::VCentre ? 1 : m_childVAlign == ChildAlignUI::Bottom ? 2 : 0;
    alignInCell(x, iw, w, pad.left, pad.right, hPlace, r.left, r.right);
    alignInCell(y, ih, h, pad.top, pad.bottom, vPlace, r.top, r.bottom);
    child->place(r, false);
}

void CTileLayoutUI::place(Rect rect, bool needInvalidate) {
    const Rect rc = placeClientArea(rect, needInvalidate);
    CScrollBarUI* vBar = shown(m_vScrollBar);
    CScrollBarUI* hBar = shown(m_hScrollBar);
    if (m_items.isEmpty()) {
        fitScrollBars(rc, 0, 0);
        return;
    }
    const int W = rc.width(), H = rc.height();
    const int availableW = sat(Wide(W) + (hBar ? hBar->range() : 0));
    const int availableH = sat(Wide(H) + (vBar ? vBar->range() : 0));
    const int scrollX = hBar ? hBar->scrollPos() : 0;
    const int scrollY = vBar ? vBar->scrollPos() : 0;
    const int iw = toDevice(m_itemSize.cx), ih = toDevice(m_itemSize.cy);
    int n = 0;
    for (CControlUI* child : m_items) n += child->isShown() && !child->isFloating();

    if (m_requestedRows < 1) {
        // Row-major.
        int columnGap = childGap();
        int contentW = 0;
        if (m_requestedColumns > 0) {
            const int c = m_requestedColumns;
            m_columns = c;
            if (c < 2) {
                columnGap = 0;
            } else if (childGap() < 1) {
                const Wide row = Wide(c) * iw;
                columnGap =
                    sat(std::max<Wide>((hBar && W >= row) ? (W - row) / (c - 1) : (availableW - row) / (c - 1), 0));
            }
            const int used = std::min(n, c);
            contentW = sat(std::max<Wide>(0, Wide(used) * iw + Wide(used - 1) * columnGap));
        } else if (W < iw) {
            m_columns = 1;
            columnGap = 0;
            contentW = iw;
        } else {
            m_columns = sat(std::max<Wide>(1, (Wide(W) + childGap()) / std::max<Wide>(1, Wide(iw) + childGap())));
            contentW = W;
            if (m_columns < 2)
                columnGap = 0;
            else if (childGap() < 1)
                columnGap = sat(std::max<Wide>(0, (W - Wide(m_columns) * iw) / (m_columns - 1)));
        }
        m_rows = n > 0 ? (n - 1) / m_columns + 1 : 0;
        const int contentH = m_rows > 0 ? sat(Wide(m_rows) * ih + Wide(m_rows - 1) * toDevice(m_rowGap)) : 0;

        int k = 0;
        placeChildren([&](int, CControlUI* child) {
            const int row = k / m_columns, column = k % m_columns;
            placeInCell(child, sat(rc.left + (Wide(iw) + columnGap) * column - scrollX),
                        sat(rc.top + (Wide(ih) + toDevice(m_rowGap)) * row - scrollY));
            ++k;
        });
        fitScrollBars(rc, contentW, contentH);
        return;
    }

    // Column-major: a fixed number of rows.
    const int r = m_requestedRows;
    m_rows = r;
    int rowGap = toDevice(m_rowGap);
    if (r < 2) {
        rowGap = 0;
    } else if (toDevice(m_rowGap) < 1) {
        const Wide column = Wide(r) * ih;
        rowGap =
            sat(std::max<Wide>((vBar && H >= column) ? (H - column) / (r - 1) : (availableH - column) / (r - 1), 0));
    }
    m_columns = m_requestedColumns > 0 ? m_requestedColumns : sat((Wide(m_items.size()) + r - 1) / r);
    const int contentW = sat(Wide(m_columns) * iw + Wide(m_columns - 1) * childGap());
    int columnGap = childGap();
    if (m_columns < 2)
        columnGap = 0;
    else if (childGap() < 1)
        columnGap = W < Wide(m_columns) * iw ? 0 : sat((W - Wide(m_columns) * iw) / (m_columns - 1));
    placeChildren([&](int i, CControlUI* child) {
        const int column = i / r, row = i % r;
        placeInCell(child, sat(rc.left + (Wide(iw) + columnGap) * column - scrollX),
                    sat(rc.top + (Wide(ih) + rowGap) * row - scrollY));
    });
    fitScrollBars(rc, contentW, H);
}
