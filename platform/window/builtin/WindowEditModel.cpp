// Editing rules of the single-line Edit class: text, selection, limits, filters.
#include "platform/window/builtin/WindowEditInternal.h"

#include <algorithm>
#include <cwctype>

namespace platform::detail {

namespace {

// A single-line edit keeps only the first line of what it is given.
std::wstring_view firstLine(std::wstring_view text) {
    const std::size_t end = text.find_first_of(L"\r\n");
    return end == std::wstring_view::npos ? text : text.substr(0, end);
}

bool isDigit(wchar_t ch) { return ch >= L'0' && ch <= L'9'; }

bool isWordChar(wchar_t ch) {
    return !std::iswspace(static_cast<wint_t>(ch)) && !std::iswpunct(static_cast<wint_t>(ch));
}

} // namespace

std::wstring EditModel::selectedText() const {
    return m_text.substr(selectionStart(), selectionEnd() - selectionStart());
}

void EditModel::assign(std::wstring_view text) {
    m_text = std::wstring(firstLine(text));
    m_anchor = m_caret = 0;
    m_modified = false;
}

EditChange EditModel::select(long long from, long long to) {
    const std::size_t size = m_text.size();
    if (from < 0) {
        if (!hasSelection()) return EditChange::None;
        m_anchor = m_caret;
        return EditChange::Selection;
    }
    const std::size_t a = std::min<std::size_t>(static_cast<std::size_t>(from), size);
    const std::size_t c = to < 0 ? size : std::min<std::size_t>(static_cast<std::size_t>(to), size);
    if (a == m_anchor && c == m_caret) return EditChange::None;
    m_anchor = a;
    m_caret = c;
    return EditChange::Selection;
}

EditChange EditModel::replaceSelection(std::wstring_view text) {
    const std::size_t start = selectionStart();
    const std::size_t count = selectionEnd() - start;
    if (count == 0 && text.empty()) return EditChange::None;
    m_text.replace(start, count, text);
    m_anchor = m_caret = start + text.size();
    m_modified = true;
    return EditChange::Text;
}

EditChange EditModel::typeChar(wchar_t ch) {
    if (m_readOnly || ch < 0x20 || ch == 0x7F) return EditChange::None;
    if (m_numbersOnly && !isDigit(ch)) return EditChange::None;
    const std::size_t remaining = m_text.size() - (selectionEnd() - selectionStart());
    if (remaining >= m_limit) return EditChange::None;
    return replaceSelection(std::wstring_view(&ch, 1));
}

EditChange EditModel::insert(std::wstring_view text) {
    if (m_readOnly) return EditChange::None;
    text = firstLine(text);
    if (m_numbersOnly && !std::all_of(text.begin(), text.end(), isDigit)) return EditChange::None;
    const std::size_t remaining = m_text.size() - (selectionEnd() - selectionStart());
    const std::size_t room = remaining >= m_limit ? 0 : m_limit - remaining;
    if (text.size() > room) text = text.substr(0, room);
    if (text.empty()) return EditChange::None; // nothing fits: the selection stays
    return replaceSelection(text);
}

EditChange EditModel::eraseSelection() {
    if (m_readOnly || !hasSelection()) return EditChange::None;
    return replaceSelection({});
}

EditChange EditModel::erasePrevious() {
    if (m_readOnly) return EditChange::None;
    if (hasSelection()) return replaceSelection({});
    if (m_caret == 0) return EditChange::None;
    m_anchor = m_caret - 1;
    return replaceSelection({});
}

EditChange EditModel::eraseNext() {
    if (m_readOnly) return EditChange::None;
    if (hasSelection()) return replaceSelection({});
    if (m_caret >= m_text.size()) return EditChange::None;
    m_anchor = m_caret + 1;
    return replaceSelection({});
}

EditChange EditModel::setCaret(std::size_t position, SelectionMode mode) {
    position = std::min(position, m_text.size());
    const std::size_t anchor = mode == SelectionMode::Extend ? m_anchor : position;
    if (anchor == m_anchor && position == m_caret) return EditChange::None;
    m_anchor = anchor;
    m_caret = position;
    return EditChange::Selection;
}

EditChange EditModel::moveLeft(CaretStep step, SelectionMode mode) {
    if (mode == SelectionMode::Collapse && step == CaretStep::Character && hasSelection())
        return setCaret(selectionStart(), SelectionMode::Collapse);
    std::size_t p = m_caret;
    if (step == CaretStep::Word) {
        while (p > 0 && !isWordChar(m_text[p - 1])) --p;
        while (p > 0 && isWordChar(m_text[p - 1])) --p;
    } else if (p > 0) {
        --p;
    }
    return setCaret(p, mode);
}

EditChange EditModel::moveRight(CaretStep step, SelectionMode mode) {
    if (mode == SelectionMode::Collapse && step == CaretStep::Character && hasSelection())
        return setCaret(selectionEnd(), SelectionMode::Collapse);
    std::size_t p = m_caret;
    const std::size_t n = m_text.size();
    if (step == CaretStep::Word) {
        while (p < n && isWordChar(m_text[p])) ++p;
        while (p < n && !isWordChar(m_text[p])) ++p;
    } else if (p < n) {
        ++p;
    }
    return setCaret(p, mode);
}

EditChange EditModel::moveHome(SelectionMode mode) { return setCaret(0, mode); }

EditChange EditModel::moveEnd(SelectionMode mode) { return setCaret(m_text.size(), mode); }

EditChange EditModel::placeCaret(std::size_t position, SelectionMode mode) { return setCaret(position, mode); }

EditChange EditModel::selectWordAt(std::size_t position) {
    const std::size_t n = m_text.size();
    position = std::min(position, n);
    std::size_t from = position;
    std::size_t to = position;
    if (position < n && isWordChar(m_text[position])) {
        while (from > 0 && isWordChar(m_text[from - 1])) --from;
        while (to < n && isWordChar(m_text[to])) ++to;
    } else if (position > 0 && isWordChar(m_text[position - 1])) {
        while (from > 0 && isWordChar(m_text[from - 1])) --from;
    } else if (position < n) {
        to = position + 1;
    }
    return select(static_cast<long long>(from), static_cast<long long>(to));
}

} // namespace platform::detail
