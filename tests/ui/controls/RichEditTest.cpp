// The multi-line edit: its line layout as a table, then on the virtual
// display typing, keys and mouse selection, the clipboard, undo, the Tab and
// Return rules, input-method text, filters, scrolling, and rich text links.
#include "ui/controls/RichEditUI.h"

#include "tests/ui/GoldenImage.h"
#include "tests/ui/SkinWindow.h"
#include "tests/ui/TestSupport.h"
#include "ui/layout/ScrollBarUI.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

using testsupport::SkinWindow;
using Notices = std::vector<std::string>;
using namespace platform;

namespace {

// --- Line layout ---

struct WrapCase {
    const char* rule;
    const wchar_t* text;
    const wchar_t* fits; // the wrap width is this text's width plus `extra` (null: no wrap)
    int extra;
    std::vector<std::pair<std::size_t, std::size_t>> lines; // [start, end) of every line
};

const WrapCase kWrapCases[] = {
    {"without wrapping every logical line is one line", L"one two\nthree", nullptr, 0, {{0, 7}, {8, 13}}},
    {"empty text is one empty line", L"", L"abc", 0, {{0, 0}}},
    {"a final line break opens an empty line", L"ab\n", nullptr, 0, {{0, 2}, {3, 3}}},
    {"empty lines between breaks", L"a\n\nb", L"abc", 0, {{0, 1}, {2, 2}, {3, 4}}},
    {"wraps after the last space that fits", L"one two three", L"one two ", 2, {{0, 8}, {8, 13}}},
    {"a word wider than the line breaks by character", L"abcdefgh", L"abc", 1, {{0, 3}, {3, 6}, {6, 8}}},
    {"at least one character on a line", L"WW", L"", 1, {{0, 1}, {1, 2}}},
    {"spaces at a break stay on the line they end", L"one   two", L"one", 1, {{0, 6}, {6, 9}}},
    {"ideographs break between characters", L"中文输入法", L"中文", 1, {{0, 2}, {2, 4}, {4, 5}}},
    {"a line break inside wrapped text starts afresh", L"aa bb\ncc dd", L"aa bb", 1, {{0, 5}, {6, 11}}},
    {"text that fits is one line", L"short", L"short words", 0, {{0, 5}}},
};

TEST(RichEdit, LineLayoutTable) {
    const auto font = Font::create(L"WenQuanYi Micro Hei", 16);
    for (const WrapCase& c : kWrapCases) {
        SCOPED_TRACE(c.rule);
        const int width = c.fits ? font->measure(c.fits).cx + c.extra : 0;
        const std::vector<TRichEditLine> lines = layOutRichEditLines(c.text, *font, width);
        ASSERT_EQ(lines.size(), c.lines.size());
        const std::wstring text = c.text;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            SCOPED_TRACE("line " + std::to_string(i));
            EXPECT_EQ(lines[i].start, c.lines[i].first);
            EXPECT_EQ(lines[i].end, c.lines[i].second);
            ASSERT_EQ(lines[i].carets.size(), lines[i].end - lines[i].start + 1);
            EXPECT_EQ(lines[i].carets.front(), 0);
            EXPECT_EQ(lines[i].width(), font->measure(text.substr(lines[i].start, lines[i].end - lines[i].start)).cx);
            if (width > 0 && lines[i].end - lines[i].start > 1 && text[lines[i].end - 1] != L' ') {
                EXPECT_LE(lines[i].width(), width) << "a wrapped line fits, hanging spaces aside";
            }
            const std::size_t next = i + 1 < lines.size() ? lines[i + 1].start : text.size();
            EXPECT_EQ(lines[i].next, i + 1 < lines.size() ? next : lines[i].end);
        }
    }
}

// --- On the virtual display ---

// A button first, so that the first paint focuses it and not an edit.
constexpr const wchar_t* kForm = LR"(<Window size="360,420">
  <Font id="0" name="WenQuanYi Micro Hei" size="16" default="true"/>
  <VBox bkcolor="#FFFFFFFF"><Button name="b" height="24" text="ok"/>
    <RichEdit name="r" height="80"/>
    <RichEdit name="tabs" height="60" wanttab="true" wantreturn="true"/>
    <RichEdit name="num" height="30" numberonly="true" maxchar="5"/>
    <RichEdit name="pw" height="30" password="true" text="secret"/>
    <RichEdit name="ro" height="30" readonly="true" text="read only"/>
    <RichEdit name="long" height="60" width="120" wantreturn="true"/>
    <RichEdit name="rich" height="60" rich="true"
              text="see {a first}one{/a} and {a second}two{/a} {b}bold{/b}"/></VBox></Window>)";

CRichEditUI* richEdit(SkinWindow& w, const wchar_t* name) { return w.as<CRichEditUI>(name, L"RichEdit"); }

void ctrlKey(unsigned letter) {
    vdisplay::keyDown(VK_CONTROL);
    vdisplay::pressKey(letter);
    vdisplay::keyUp(VK_CONTROL);
    SkinWindow::settle();
}

void shiftKey(unsigned vk, int times = 1) {
    vdisplay::keyDown(VK_SHIFT);
    for (int i = 0; i < times; ++i) vdisplay::pressKey(vk);
    vdisplay::keyUp(VK_SHIFT);
    SkinWindow::settle();
}

void type(std::wstring_view text) {
    vdisplay::typeText(text);
    SkinWindow::settle();
}

Point middleOf(const Rect& r) { return {(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

TEST(RichEdit, TypingSelectingUndoAndTheirNotices) {
    SkinWindow w(kForm);
    ASSERT_TRUE(w.built());
    CRichEditUI* r = richEdit(w, L"r");
    w.click(L"r");
    ASSERT_TRUE(r->hasFocus());
    EXPECT_TRUE(vdisplay::textInputActive()) << "input-method text is asked for while focused";
    w.takeNotices();

    type(L"hello world");
    EXPECT_EQ(r->textValue().toStd(), L"hello world");
    EXPECT_EQ(w.takeNotices(), Notices(11, "textchanged:r"));

    shiftKey(VK_LEFT, 5);
    EXPECT_EQ(r->selectedText(), L"world");
    EXPECT_EQ(w.takeNotices(), Notices(5, "selchanged:r"));
    // The selection is painted in the selected background (the line's top row holds no ink).
    const Rect inside = r->caretRect(8);
    EXPECT_EQ(w.pixel({inside.left, inside.top}), 0xFF3875D7u);
    const Rect before = r->caretRect(5);
    EXPECT_NE(w.pixel({before.left - 2, before.top}), 0xFF3875D7u) << "nothing before the selection";

    type(L"there");
    EXPECT_EQ(r->textValue().toStd(), L"hello there");
    w.takeNotices();

    // Ctrl+Z takes back the typing run, then the replacement; Ctrl+Y makes it again.
    ctrlKey('Z');
    EXPECT_EQ(r->textValue().toStd(), L"hello world");
    EXPECT_EQ(r->selectedText(), L"world") << "undo restores the selection the change replaced";
    EXPECT_EQ(w.takeNotices(), (Notices{"textchanged:r"}));
    ctrlKey('Z');
    EXPECT_EQ(r->textValue().toStd(), L"");
    ctrlKey('Y');
    EXPECT_EQ(r->textValue().toStd(), L"hello world");
    ctrlKey('Y');
    EXPECT_EQ(r->textValue().toStd(), L"hello there");

    // Ctrl+Left moves by word, Backspace and Delete erase around the caret.
    vdisplay::keyDown(VK_CONTROL);
    vdisplay::pressKey(VK_LEFT);
    vdisplay::keyUp(VK_CONTROL);
    w.key(VK_BACK);
    EXPECT_EQ(r->textValue().toStd(), L"hellothere");
    w.key(VK_DELETE);
    EXPECT_EQ(r->textValue().toStd(), L"hellohere");
    EXPECT_EQ(r->caretPosition(), 5u);

    // A program's text starts a fresh history and raises nothing.
    w.takeNotices();
    r->assignText(L"fresh");
    EXPECT_FALSE(r->canUndo());
    EXPECT_TRUE(w.takeNotices().empty());

    w.click(L"b");
    EXPECT_FALSE(vdisplay::textInputActive()) << "text input ends with the focus";
}

TEST(RichEdit, LinesCaretMovesAndMouseSelection) {
    SkinWindow w(kForm);
    ASSERT_TRUE(w.built());
    CRichEditUI* r = richEdit(w, L"r");
    r->assignText(L"first line\nsecond\nthird line here");
    w.click(L"r");
    ASSERT_EQ(r->lines().size(), 3u);

    // Ctrl+Home, End, Down keeps the column as far as the line allows, and back.
    ctrlKey(VK_HOME);
    w.key(VK_END);
    EXPECT_EQ(r->caretPosition(), 10u);
    w.key(VK_DOWN);
    EXPECT_EQ(r->caretPosition(), 17u) << "the shorter second line's end";
    w.key(VK_DOWN);
    EXPECT_GT(r->caretPosition(), 18u + 6u) << "back to the remembered column on the third line";
    w.key(VK_HOME);
    EXPECT_EQ(r->caretPosition(), 18u);
    w.key(VK_UP);
    w.key(VK_UP);
    w.key(VK_UP);
    EXPECT_EQ(r->caretPosition(), 0u) << "Up on the first line goes to the start";
    shiftKey(VK_DOWN);
    EXPECT_EQ(r->selectedText(), L"first line\n");

    // A click places the caret, a drag selects, a double click takes a word.
    const Rect at7 = r->caretRect(7); // "first l|ine"
    w.click(L"b");
    w.press({at7.left, middleOf(at7).y});
    EXPECT_TRUE(r->hasFocus());
    EXPECT_EQ(r->caretPosition(), 7u);
    const Rect at14 = r->caretRect(14); // "sec|ond"
    w.moveTo({at14.left, middleOf(at14).y});
    w.release({at14.left, middleOf(at14).y});
    EXPECT_EQ(r->selectedText(), L"ine\nsec");
    const Rect at20 = r->caretRect(20); // inside "third"
    vdisplay::doubleClick(w.screen({at20.left, middleOf(at20).y}));
    SkinWindow::settle();
    EXPECT_EQ(r->selectedText(), L"third");
}

TEST(RichEdit, TabAndReturnRules) {
    SkinWindow w(kForm);
    ASSERT_TRUE(w.built());
    CRichEditUI* r = richEdit(w, L"r");
    CRichEditUI* tabs = richEdit(w, L"tabs");
    w.click(L"r");
    type(L"x");
    w.takeNotices();

    // Without "wantreturn" Return raises "return" and stays out of the text.
    w.key(VK_RETURN);
    EXPECT_EQ(w.takeNotices(), (Notices{"return:r"}));
    EXPECT_EQ(r->textValue().toStd(), L"x");
    // Without "wanttab" Tab moves the focus on.
    w.key(VK_TAB);
    EXPECT_TRUE(tabs->hasFocus());
    EXPECT_EQ(r->textValue().toStd(), L"x");

    // With both, they are text and the focus stays.
    w.takeNotices();
    type(L"a");
    w.key(VK_TAB);
    type(L"b");
    w.key(VK_RETURN);
    type(L"c");
    EXPECT_EQ(tabs->textValue().toStd(), L"a\tb\nc");
    EXPECT_TRUE(tabs->hasFocus());
    EXPECT_EQ(tabs->lines().size(), 2u);
    EXPECT_EQ(w.takeNotices(), Notices(5, "textchanged:tabs")) << "no return notice when Return is text";
    // Shift+Tab still leaves, inserting nothing.
    w.shiftTab();
    EXPECT_TRUE(r->hasFocus());
    EXPECT_EQ(tabs->textValue().toStd(), L"a\tb\nc");
}

TEST(RichEdit, ClipboardFiltersAndInputMethodText) {
    SkinWindow w(kForm);
    ASSERT_TRUE(w.built());
    CRichEditUI* r = richEdit(w, L"r");
    w.click(L"r");

    // Input-method text commits as typed text, characters of any script.
    type(L"中文输入 ok");
    EXPECT_EQ(r->textValue().toStd(), L"中文输入 ok");
    EXPECT_EQ(r->caretPosition(), 7u);

    // Round trip through the system clipboard.
    ctrlKey('A');
    ctrlKey('C');
    EXPECT_EQ(clipboardText(), L"中文输入 ok");
    ctrlKey('X');
    EXPECT_EQ(r->textValue().toStd(), L"");
    ctrlKey('V');
    ctrlKey('V');
    EXPECT_EQ(r->textValue().toStd(), L"中文输入 ok中文输入 ok");
    setClipboardText(L"line one\r\nline two");
    w.key(VK_RETURN); // not text here, and the paste below keeps its lines
    ctrlKey('A');
    ctrlKey('V');
    EXPECT_EQ(r->textValue().toStd(), L"line one\nline two");

    // Digits only, at most five: letters are refused, the paste is cut.
    CRichEditUI* num = richEdit(w, L"num");
    w.click(L"num");
    type(L"1a2");
    EXPECT_EQ(num->textValue().toStd(), L"12");
    setClipboardText(L"x9");
    ctrlKey('V');
    EXPECT_EQ(num->textValue().toStd(), L"12") << "a paste with a non-digit is refused whole";
    setClipboardText(L"345678");
    ctrlKey('V');
    EXPECT_EQ(num->textValue().toStd(), L"12345");

    // A password is never copied out; read-only text is copied but not changed.
    setClipboardText(L"before");
    w.click(L"pw");
    ctrlKey('A');
    ctrlKey('C');
    ctrlKey('X');
    EXPECT_EQ(clipboardText(), L"before");
    EXPECT_EQ(richEdit(w, L"pw")->textValue().toStd(), L"secret");
    CRichEditUI* ro = richEdit(w, L"ro");
    w.click(L"ro");
    ctrlKey('A');
    ctrlKey('C');
    EXPECT_EQ(clipboardText(), L"read only");
    type(L"zz");
    ctrlKey('X');
    ctrlKey('V');
    w.key(VK_BACK);
    EXPECT_EQ(ro->textValue().toStd(), L"read only");
}

TEST(RichEdit, InputMethodCompositionIsShownUntilCommitted) {
    SkinWindow w(kForm);
    ASSERT_TRUE(w.built());
    CRichEditUI* r = richEdit(w, L"r");
    w.click(L"r");
    type(L"ab");
    w.key(VK_LEFT);
    w.takeNotices();
    const Rect caret = r->caretRect(1);
    const Point underline{caret.left + 3, caret.bottom - 1};
    EXPECT_EQ(w.pixel(underline), 0xFFFFFFFFu) << "white under the text before composing";

    vdisplay::composeText(L"zhong", 2);
    SkinWindow::settle();
    EXPECT_EQ(r->composition(), L"zhong");
    EXPECT_EQ(r->textValue().toStd(), L"ab") << "a composition is not text yet";
    EXPECT_TRUE(w.takeNotices().empty());
    EXPECT_EQ(w.pixel(underline), 0xFF000000u) << "the composition is drawn underlined at the caret";

    // Committing replaces the composition with the text, at the caret.
    type(L"中");
    EXPECT_EQ(r->composition(), L"");
    EXPECT_EQ(r->textValue().toStd(), L"a中b");
    EXPECT_EQ(w.takeNotices(), (Notices{"textchanged:r"}));

    // A cancelled composition leaves nothing; nor does one in a read-only edit.
    vdisplay::composeText(L"wen");
    SkinWindow::settle();
    vdisplay::composeText(L"");
    SkinWindow::settle();
    EXPECT_EQ(r->composition(), L"");
    EXPECT_EQ(r->textValue().toStd(), L"a中b");
    w.click(L"ro");
    vdisplay::composeText(L"wen");
    SkinWindow::settle();
    EXPECT_EQ(richEdit(w, L"ro")->composition(), L"");
}

TEST(RichEdit, WrapsAndScrollsToTheCaret) {
    SkinWindow w(kForm);
    ASSERT_TRUE(w.built());
    CRichEditUI* e = richEdit(w, L"long");
    w.click(L"long");
    type(L"many words that will not fit on one short line of this box");
    const std::size_t wrapped = e->lines().size();
    EXPECT_GE(wrapped, 4u);
    for (const TRichEditLine& line : e->lines()) EXPECT_LE(line.width(), e->textArea().width() + 8);
    // Taller than the box: the vertical bar shows and the caret is kept in view.
    ASSERT_NE(e->verticalScrollBar(), nullptr);
    EXPECT_TRUE(e->verticalScrollBar()->isShown());
    EXPECT_GT(e->scrollOffset().cy, 0);
    Rect caret = e->caretRect(e->caretPosition());
    EXPECT_TRUE(e->textArea().contains({caret.left, caret.top}));
    EXPECT_FALSE(e->horizontalScrollBar()->isShown()) << "wrapped text needs no horizontal bar";
    ctrlKey(VK_HOME);
    EXPECT_EQ(e->scrollOffset().cy, 0);
    // The wheel scrolls without moving the caret.
    w.wheel(L"long", -1);
    EXPECT_GT(e->scrollOffset().cy, 0);
    EXPECT_EQ(e->caretPosition(), 0u);
    w.wheel(L"long", 1);
    EXPECT_EQ(e->scrollOffset().cy, 0);

    // Without wrapping a long line scrolls sideways.
    e->assignWordWrap(false);
    w.settle();
    EXPECT_EQ(e->lines().size(), 1u);
    EXPECT_TRUE(e->horizontalScrollBar()->isShown());
    ctrlKey(VK_END);
    EXPECT_GT(e->scrollOffset().cx, 0);
    caret = e->caretRect(e->caretPosition());
    EXPECT_TRUE(e->textArea().contains({caret.left, caret.top}));
    w.key(VK_HOME);
    EXPECT_EQ(e->scrollOffset().cx, 0);
}

TEST(RichEdit, RichTextShowsLinksAndIsReadOnly) {
    SkinWindow w(kForm);
    ASSERT_TRUE(w.built());
    CRichEditUI* rich = richEdit(w, L"rich");
    ASSERT_EQ(rich->linkCount(), 2);
    EXPECT_EQ(rich->linkTarget(1).toStd(), L"second");
    w.takeNotices();
    vdisplay::click(w.screen(middleOf(rich->linkRect(1))));
    SkinWindow::settle();
    EXPECT_EQ(w.takeNotices(), (Notices{"killfocus:b", "setfocus:rich", "link:rich:1"}));
    vdisplay::click(w.screen(middleOf(rich->linkRect(0))));
    SkinWindow::settle();
    EXPECT_EQ(w.takeNotices(), (Notices{"link:rich"})) << "the first link has index 0";

    const std::wstring markup = rich->textValue().toStd();
    type(L"typed");
    ctrlKey('V');
    w.key(VK_BACK);
    EXPECT_EQ(rich->textValue().toStd(), markup) << "rich text is read-only";

    // The tag language is drawn, not shown: no brace reaches the screen as text.
    const Rect link = rich->linkRect(0);
    EXPECT_LT(link.left - rich->textArea().left, 40) << "\"see \" precedes the first link, not \"see {a first}\"";
}

TEST(RichEdit, TabRuleAsksTheControl) {
    SkinWindow w(kForm);
    ASSERT_TRUE(w.built());
    EXPECT_EQ(richEdit(w, L"tabs")->readAttribute(L"wanttab").toStd(), L"true");
    EXPECT_EQ(richEdit(w, L"r")->readAttribute(L"wanttab").toStd(), L"false");
    EXPECT_EQ(richEdit(w, L"rich")->readAttribute(L"rich").toStd(), L"true");
}

// The gallery page, through the skin viewer: typing, a selection made by
// dragging, the state words of --tree, and the picture.
TEST(RichEdit, GalleryPage) {
    const std::filesystem::path page = std::filesystem::path(QUELLAN_SOURCE_DIR) / "tests" / "gallery" / "richedit.xml";
    const testsupport::ScratchFolder dir;
    std::string args = "--window '" + page.string() + "' --png '" + (dir / "richedit.png").string() + "' --tree";
    for (const char* s : {"click:notes", "key:pagedown", "key:end", "type: ok", "drag:coloured:-60,0"})
        args += std::string(" --act '") + s + "'";
    const testsupport::ToolRun run = testsupport::runSkinView(args);
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("RichEdit \"notes\" 8,8,274,118 text \"Release notes: the patcher now resumes interrupted "
                           "downloads and checks every file.\\n中文输入法也可以。\\nThe third line is near the "
                           "fold.\\nThe fourth scrolls the box. ok\"\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("RichEdit \"off\" 296,126,432,156 disabled text \"disabled\"\n"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("notice textchanged \"notes\"\n"), std::string::npos) << run.out;
    EXPECT_TRUE(
        testsupport::matchesGolden(platform::Surface::readPng((dir / "richedit.png").string()), "gallery/richedit"));
}

} // namespace
