// Editing rules shared by the edits: text, selection, limits, filters, undo.
#include "platform/window/builtin/EditModel.h"

#include <algorithm>
#include <cwctype>

namespace platform {

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

std::wstring_view EditModel::cleaned(std::wstring_view text, std::wstring& storage) const {
    if (m_lines == EditLines::Single) return firstLine(text);
    if (text.find(L'\r') == std::wstring_view::npos) return text;
    storage.clear();
    storage.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'\r') {
            storage += text[i];
        } else {
            storage += L'\n';
            if (i + 1 < text.size() && text[i + 1] == L'\n') ++i;
        }
    }
    return storage;
}

void EditModel::assign(std::wstring_view text) {
    std::wstring storage;
    m_text = std::wstring(cleaned(text, storage));
    m_anchor = m_caret = 0;
    m_modified = false;
    m_history.clear();
    m_undoCount = 0;
    m_typingRun = false;
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
    m_typingRun = false;
    return EditChange::Selection;
}

void EditModel::record(std::size_t position, std::wstring_view removed, std::wstring_view inserted, bool typed) {
    m_history.resize(m_undoCount); // a new change forgets what could be redone
    Step* last = m_history.empty() ? nullptr : &m_history.back();
    if (typed && m_typingRun && last && removed.empty() && m_caret == m_runCaret &&
        last->position + last->inserted.size() == position) {
        last->inserted += inserted;
    } else {
        Step step;
        step.position = position;
        step.removed = std::wstring(removed);
        step.inserted = std::wstring(inserted);
        step.anchorBefore = m_anchor;
        step.caretBefore = m_caret;
        m_history.push_back(std::move(step));
        if (m_history.size() > m_undoDepth)
            m_history.erase(m_history.begin(), m_history.begin() + (m_history.size() - m_undoDepth));
    }
    m_undoCount = m_history.size();
}

EditChange EditModel::replaceSelection(std::wstring_view text, bool typed) {
    const std::size_t start = selectionStart();
    const std::size_t count = selectionEnd() - start;
    if (count == 0 && text.empty()) return EditChange::None;
    record(start, std::wstring_view(m_text).substr(start, count), text, typed);
    m_text.replace(start, count, text);
    m_anchor = m_caret = start + text.size();
    m_modified = true;
    // A line break ends the run, so that undo takes back a line at a time.
    m_typingRun = typed && text != L"\n";
    m_runCaret = m_caret;
    return EditChange::Text;
}

EditChange EditModel::typeChar(wchar_t ch) {
    if (m_readOnly || ch == 0x7F) return EditChange::None;
    const bool lineControl = m_lines == EditLines::Multiple && (ch == L'\n' || ch == L'\t');
    if (ch < 0x20 && !lineControl) return EditChange::None;
    if (m_numbersOnly && !isDigit(ch) && !(m_lines == EditLines::Multiple && ch == L'\n')) return EditChange::None;
    const std::size_t remaining = m_text.size() - (selectionEnd() - selectionStart());
    if (remaining >= m_limit) return EditChange::None;
    return replaceSelection(std::wstring_view(&ch, 1), /*typed=*/true);
}

EditChange EditModel::insert(std::wstring_view text) {
    if (m_readOnly) return EditChange::None;
    std::wstring storage;
    text = cleaned(text, storage);
    const auto allowed = [this](wchar_t ch) { return isDigit(ch) || (m_lines == EditLines::Multiple && ch == L'\n'); };
    if (m_numbersOnly && !std::all_of(text.begin(), text.end(), allowed)) return EditChange::None;
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
    m_typingRun = false;
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

EditChange EditModel::undo() {
    if (m_readOnly || !canUndo()) return EditChange::None;
    const Step& step = m_history[--m_undoCount];
    m_text.replace(step.position, step.inserted.size(), step.removed);
    m_anchor = std::min(step.anchorBefore, m_text.size());
    m_caret = std::min(step.caretBefore, m_text.size());
    m_modified = true;
    m_typingRun = false;
    return EditChange::Text;
}

EditChange EditModel::redo() {
    if (m_readOnly || !canRedo()) return EditChange::None;
    const Step& step = m_history[m_undoCount++];
    m_text.replace(step.position, step.removed.size(), step.inserted);
    m_anchor = m_caret = step.position + step.inserted.size();
    m_modified = true;
    m_typingRun = false;
    return EditChange::Text;
}

void EditModel::setUndoDepth(std::size_t depth) {
    m_undoDepth = std::max<std::size_t>(depth, 1);
    if (m_history.size() > m_undoDepth) {
        const std::size_t drop = m_history.size() - m_undoDepth;
        m_history.erase(m_history.begin(), m_history.begin() + drop);
        m_undoCount = m_undoCount > drop ? m_undoCount - drop : 0;
    }
}

} // namespace platform
