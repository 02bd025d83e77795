// The multi-line text editor the framework draws itself: plain editable
// text (wrapped or not) with caret, selection, clipboard, undo and input-method
// text, or read-only rich-text markup with links. Scrolls with the
// container's scroll bars.
#pragma once

#include "platform/graphics/Graphics.h"
#include "platform/window/builtin/EditModel.h"
#include "ui/layout/ContainerUI.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// One display line of a laid-out text: the characters [start, end) (a line
// break that ends it is not included), where the next line starts, and the
// x offset of every caret position from start to end.
struct TRichEditLine {
    std::size_t start = 0;
    std::size_t end = 0;
    std::size_t next = 0;
    std::vector<int> carets; // end - start + 1 offsets, the first 0
    int width() const { return carets.empty() ? 0 : carets.back(); }
};

// Breaks `text` into display lines in `font`: at every line break, and with
// a positive `wrapWidth` also where a line would grow wider than it (after
// the last space or tab that fits, else after the last character that fits,
// never less than one character; spaces at a break stay on the line they
// end). Always at least one line.
std::vector<TRichEditLine> layOutRichEditLines(std::wstring_view text, const platform::Font& font, int wrapWidth);

// A multi-line edit. Attributes beyond the container's: "text", "font",
// "textcolor", "disabledtextcolor", "selectedtextcolor", "selectedbkcolor",
// "textpadding", "wordwrap" (true), "readonly", "password", "passwordchar",
// "maxchar", "numberonly", "wanttab", "wantreturn", "rich" (the text is
// rich-text markup, shown read-only with its links). Notices: "textchanged",
// "return" (Return without "wantreturn"), "link" (wparam: the link's index),
// "selchanged" (the caret or selection moved without a text change). Text an
// input method is composing is drawn at the caret, underlined, until committed.
// UI thread only.
class CRichEditUI : public CContainerUI {
public:
    // Local timer of the caret blink.
    static constexpr unsigned kCaretTimer = 1;
    static constexpr int kMaxLinks = 64;

    CRichEditUI();
    ~CRichEditUI() override;

    std::wstring_view typeName() const override;
    void* castTo(std::wstring_view name) override;
    unsigned behaviourFlags() const override;
    const CStringUI& textValue() const override;
    // Sets the text as the program does: no limit or filter applies, the
    // caret goes to the start, the undo history is cleared. No "textchanged".
    void assignText(std::wstring_view text) override;
    void assignEnabled(bool enabled = true) override;
    void place(platform::Rect rect, bool needInvalidate = true) override;
    void handleEvent(TInputEventUI& event) override;
    CStringUI readAttribute(std::wstring_view name) const override;
    void applyAttribute(std::wstring_view name, std::wstring_view value) override;
    void drawTextPart(platform::Canvas& canvas) override;

    // --- Settings ---
    bool wordWrap() const { return m_wordWrap; }
    void assignWordWrap(bool on);
    bool readOnly() const { return m_readOnly; }
    void assignReadOnly(bool on);
    bool password() const { return m_password; }
    void assignPassword(bool on);
    wchar_t passwordChar() const { return m_passwordChar; }
    void assignPasswordChar(wchar_t ch);
    int maxChars() const { return static_cast<int>(m_model.limit()); }
    void assignMaxChars(int count); // 0 or less: the largest limit
    bool numberOnly() const { return m_model.numbersOnly(); }
    void assignNumberOnly(bool on);
    bool wantTab() const { return m_wantTab; }
    void assignWantTab(bool on) { m_wantTab = on; }
    bool wantReturn() const { return m_wantReturn; }
    void assignWantReturn(bool on) { m_wantReturn = on; }
    bool rich() const { return m_rich; }
    void assignRich(bool on);
    int font() const { return m_font; }
    void assignFont(int id);
    platform::Argb textColour() const { return m_textColour; }
    void assignTextColour(platform::Argb colour);
    void assignDisabledTextColour(platform::Argb colour);
    void assignSelectedTextColour(platform::Argb colour);
    void assignSelectedBkColour(platform::Argb colour);
    platform::Rect textPadding() const { return m_textPadding; }
    void assignTextPadding(const platform::Rect& padding);

    // --- Editing state ---
    // Characters of the selection (the caret is its end that moves).
    std::size_t selectionStart() const { return m_model.selectionStart(); }
    std::size_t selectionEnd() const { return m_model.selectionEnd(); }
    std::size_t caretPosition() const { return m_model.caret(); }
    std::wstring selectedText() const { return m_model.selectedText(); }
    // Selects [from, to) as the user would (caret at `to`; negative `to`: the end).
    void select(long long from, long long to);
    // Replaces the selection as if typed or pasted (filters and limit apply).
    void replaceSelection(std::wstring_view text);
    bool canUndo() const { return m_model.canUndo(); }
    bool canRedo() const { return m_model.canRedo(); }
    void undo();
    void redo();
    void cut();
    void copy();
    void paste();

    // --- Geometry (client coordinates, after the last layout) ---
    const std::vector<TRichEditLine>& lines() const { return m_lines; }
    int lineHeight() const { return m_lineHeight; }
    // The text area: the client area minus the text padding.
    platform::Rect textArea() const;
    // Where the caret of a character position is drawn (one pixel wide).
    platform::Rect caretRect(std::size_t position) const;
    // The character position nearest to a point.
    std::size_t positionAt(platform::Point point) const;
    bool caretShown() const { return m_caretShown; }
    // What the input method is composing at the caret (drawn there, not yet text).
    const std::wstring& composition() const { return m_composition; }
    // Links of rich text as the last paint found them.
    int linkCount() const { return m_linkCount; }
    platform::Rect linkRect(int index) const;
    CStringUI linkTarget(int index) const;

private:
    bool editable() const { return m_enabled && !m_readOnly && !m_rich; }
    std::wstring shownText() const;
    const platform::Font* currentFont() const;
    void layOut(const platform::Rect& client);
    platform::Size richExtent(int wrapWidth);
    std::size_t lineIndexOf(std::size_t position) const;
    void ensureCaretVisible();
    // After a model operation: layout, caret, notices. False when the control was deleted by a listener.
    bool afterChange(platform::EditChange change);
    void restartCaret();
    void updateInputArea();
    void moveVertically(int lines, platform::SelectionMode mode);
    bool onKeyDown(const TInputEventUI& event);
    bool onChar(wchar_t ch);
    bool onMouse(const TInputEventUI& event);
    int linkAt(platform::Point point) const;
    void drawComposition(platform::Canvas& canvas, const platform::Font& font, platform::Argb colour);

    platform::EditModel m_model{platform::EditLines::Multiple};
    CStringUI m_text; // mirrors the model (or holds the markup of rich text)
    std::wstring m_composition;
    int m_compositionCursor = 0;
    std::vector<TRichEditLine> m_lines;
    int m_lineHeight = 0;
    platform::Size m_content; // pixels of the laid-out text (plain) or its extent (rich)
    int m_goalX = -1;         // x kept by Up and Down across short lines
    bool m_wordWrap = true;
    bool m_readOnly = false;
    bool m_password = false;
    wchar_t m_passwordChar = L'*';
    bool m_wantTab = false;
    bool m_wantReturn = false;
    bool m_rich = false;
    bool m_selecting = false;
    bool m_caretShown = false;
    int m_font = -1;
    platform::Argb m_textColour = 0;
    platform::Argb m_disabledTextColour = 0;
    platform::Argb m_selectedTextColour = 0xFFFFFFFF;
    platform::Argb m_selectedBkColour = 0xFF3875D7;
    platform::Rect m_textPadding{2, 2, 2, 2};
    platform::Rect m_links[kMaxLinks];
    CStringUI m_linkTargets[kMaxLinks];
    int m_linkCount = 0;
    int m_hoverLink = -1;
};
