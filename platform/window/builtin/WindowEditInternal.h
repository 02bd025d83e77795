// Text, selection and editing rules of the built-in single-line Edit class;
// not for use outside platform/window/builtin/ (and its tests).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform::detail {

// What an edit operation did to the text.
enum class EditChange { None, Selection, Text };

// Whether a caret move keeps the anchor (Shift held) or collapses the selection.
enum class SelectionMode { Collapse, Extend };
// How far Left and Right go: one character, or to the next word edge (Ctrl held).
enum class CaretStep { Character, Word };

// The editable state of one single-line edit: text, anchor and caret.
// Knows nothing of windows or drawing; the window procedure maps keys and
// messages onto it. UI thread only (owned by its window).
class EditModel {
public:
    // Largest limit an edit accepts (also what a limit of 0 means).
    static constexpr std::size_t kMaxLimit = 0x7FFFFFFE;
    // Limit of a new edit.
    static constexpr std::size_t kDefaultLimit = 30000;

    const std::wstring& text() const { return m_text; }
    std::size_t anchor() const { return m_anchor; }
    std::size_t caret() const { return m_caret; }
    std::size_t selectionStart() const { return m_anchor < m_caret ? m_anchor : m_caret; }
    std::size_t selectionEnd() const { return m_anchor < m_caret ? m_caret : m_anchor; }
    bool hasSelection() const { return m_anchor != m_caret; }
    std::wstring selectedText() const;

    bool readOnly() const { return m_readOnly; }
    void setReadOnly(bool on) { m_readOnly = on; }
    bool numbersOnly() const { return m_numbersOnly; }
    void setNumbersOnly(bool on) { m_numbersOnly = on; }
    std::size_t limit() const { return m_limit; }
    // 0 means the largest limit. Text already longer stays as it is.
    void setLimit(std::size_t limit) { m_limit = (limit == 0 || limit > kMaxLimit) ? kMaxLimit : limit; }
    bool modified() const { return m_modified; }
    void setModified(bool on) { m_modified = on; }

    // Replaces the whole text as the program sets it: the limit does not apply,
    // a line break ends it, the caret goes to the start, the modified flag is cleared.
    void assign(std::wstring_view text);
    // Selects [from, to) in characters, clamped to the text; the caret ends at 'to'.
    // A negative 'from' removes the selection (caret stays); a negative 'to' means the end.
    EditChange select(long long from, long long to);

    // Typing one character: replaces the selection. Refused (None) when read
    // only, when numbers only and the character is no digit, for control
    // characters, or when the limit leaves no room.
    EditChange typeChar(wchar_t ch);
    // Inserts text (a paste or input-method commit) replacing the selection:
    // the first line break ends it; text that does not fit the limit is cut.
    // Refused as a whole when read only, or when numbers only and it holds a non-digit.
    EditChange insert(std::wstring_view text);
    // Backspace / Delete: the selection, else the character before / after the caret.
    EditChange erasePrevious();
    EditChange eraseNext();
    // Deletes the selection (cut); None when there is none or read only.
    EditChange eraseSelection();

    // Caret movement; Extend keeps the anchor, Collapse drops the selection
    // (a plain character step on a selection goes to its edge).
    EditChange moveLeft(CaretStep step, SelectionMode mode);
    EditChange moveRight(CaretStep step, SelectionMode mode);
    EditChange moveHome(SelectionMode mode);
    EditChange moveEnd(SelectionMode mode);
    // Places the caret at a character position (mouse).
    EditChange placeCaret(std::size_t position, SelectionMode mode);
    // Selects the word around a position (double click).
    EditChange selectWordAt(std::size_t position);

private:
    EditChange replaceSelection(std::wstring_view text);
    EditChange setCaret(std::size_t position, SelectionMode mode);

    std::wstring m_text;
    std::size_t m_anchor = 0;
    std::size_t m_caret = 0;
    std::size_t m_limit = kDefaultLimit;
    bool m_readOnly = false;
    bool m_numbersOnly = false;
    bool m_modified = false;
};

} // namespace platform::detail
