// Text, selection, filters and undo history of an editable text: the rules
// the built-in single-line Edit class and the framework's multi-line editor
// share. Knows nothing of windows, fonts or drawing.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// What an edit operation did to the text.
enum class EditChange { None, Selection, Text };

// Whether a caret move keeps the anchor (Shift held) or collapses the selection.
enum class SelectionMode { Collapse, Extend };
// How far Left and Right go: one character, or to the next word edge (Ctrl held).
enum class CaretStep { Character, Word };
// Single line: a line break ends text that is set or inserted. Multiple
// lines: line breaks (stored as '\n') and tabs are text like any other.
enum class EditLines { Single, Multiple };

// The editable state of one edit: text, anchor and caret, the limit and the
// filters, and the undo history of text changes. Positions count characters
// (code points). The owner maps keys and messages onto it. UI thread only.
class EditModel {
public:
    // Largest limit an edit accepts (also what a limit of 0 means).
    static constexpr std::size_t kMaxLimit = 0x7FFFFFFE;
    // Limit of a new edit.
    static constexpr std::size_t kDefaultLimit = 30000;
    // Undo steps kept by default; older ones are forgotten.
    static constexpr std::size_t kDefaultUndoDepth = 100;

    explicit EditModel(EditLines lines = EditLines::Single) : m_lines(lines) {}

    const std::wstring& text() const { return m_text; }
    std::size_t anchor() const { return m_anchor; }
    std::size_t caret() const { return m_caret; }
    std::size_t selectionStart() const { return m_anchor < m_caret ? m_anchor : m_caret; }
    std::size_t selectionEnd() const { return m_anchor < m_caret ? m_caret : m_anchor; }
    bool hasSelection() const { return m_anchor != m_caret; }
    std::wstring selectedText() const;

    EditLines lines() const { return m_lines; }
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
    // a single-line model keeps the first line only, "\r\n" and "\r" become
    // "\n", the caret goes to the start, the modified flag and the undo
    // history are cleared.
    void assign(std::wstring_view text);
    // Selects [from, to) in characters, clamped to the text; the caret ends at 'to'.
    // A negative 'from' removes the selection (caret stays); a negative 'to' means the end.
    EditChange select(long long from, long long to);

    // Typing one character: replaces the selection. Refused (None) when read
    // only, when numbers only and the character is no digit (a line break
    // passes in a multi-line model), for control characters other than the
    // line break and tab of a multi-line model, or when the limit leaves no room.
    EditChange typeChar(wchar_t ch);
    // Inserts text (a paste or input-method commit) replacing the selection:
    // a single-line model stops at the first line break; text that does not
    // fit the limit is cut. Refused as a whole when read only, or when numbers
    // only and it holds a non-digit.
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
    // Places the caret at a character position (mouse, line moves).
    EditChange placeCaret(std::size_t position, SelectionMode mode);
    // Selects the word around a position (double click).
    EditChange selectWordAt(std::size_t position);

    // --- Undo history ---
    // Text changes are recorded; a run of typed characters at the caret is
    // one step (a line break, a caret move or any other change ends it).
    bool canUndo() const { return m_undoCount > 0; }
    bool canRedo() const { return m_undoCount < m_history.size(); }
    // Takes back / makes again the last step, with the selection it had.
    // Refused when read only or when there is nothing to take back / redo.
    EditChange undo();
    EditChange redo();
    // Steps kept (at least 1); the oldest are dropped beyond it.
    void setUndoDepth(std::size_t depth);
    // Ends the current typing run, so that the next character starts a new step.
    void breakUndoRun() { m_typingRun = false; }

private:
    // One recorded change: at `position`, `removed` gave way to `inserted`.
    struct Step {
        std::size_t position = 0;
        std::wstring removed;
        std::wstring inserted;
        std::size_t anchorBefore = 0, caretBefore = 0;
    };

    EditChange replaceSelection(std::wstring_view text, bool typed = false);
    EditChange setCaret(std::size_t position, SelectionMode mode);
    std::wstring_view cleaned(std::wstring_view text, std::wstring& storage) const;
    void record(std::size_t position, std::wstring_view removed, std::wstring_view inserted, bool typed);

    std::wstring m_text;
    std::size_t m_anchor = 0;
    std::size_t m_caret = 0;
    std::size_t m_limit = kDefaultLimit;
    EditLines m_lines = EditLines::Single;
    bool m_readOnly = false;
    bool m_numbersOnly = false;
    bool m_modified = false;

    std::vector<Step> m_history; // [0, m_undoCount) can be undone, the rest redone
    std::size_t m_undoCount = 0;
    std::size_t m_undoDepth = kDefaultUndoDepth;
    bool m_typingRun = false;   // the last step is typing the caret may extend
    std::size_t m_runCaret = 0; // where the caret stood after that typing
};

} // namespace platform
