// The Edit class's text rules on their own, one table row per rule: typing
// and inserting against selection, limit and filters, erasing, caret moves by
// character and word with and without extending, word selection, select();
// the multi-line rules (line breaks, tabs, filters) and undo/redo sequences.
#include "platform/window/builtin/EditModel.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

using platform::CaretStep;
using platform::EditChange;
using platform::EditLines;
using platform::EditModel;
using platform::SelectionMode;

constexpr auto kChar = CaretStep::Character;
constexpr auto kWord = CaretStep::Word;
constexpr auto kMove = SelectionMode::Collapse;
constexpr auto kExtend = SelectionMode::Extend;

struct EditCase {
    const char* rule;
    const wchar_t* text; // assigned first
    long long from, to;  // then selected (anchor, caret)
    std::function<EditChange(EditModel&)> act;
    const wchar_t* wantText; // afterwards
    std::size_t wantAnchor, wantCaret;
    EditChange wantChange;
};

const EditCase kCases[] = {
    // Typing and inserting.
    {"typing replaces the selection", L"hello", 1, 4, [](EditModel& m) { return m.typeChar(L'X'); }, L"hXo", 2, 2,
     EditChange::Text},
    {"typing at the caret", L"ab", 1, 1, [](EditModel& m) { return m.typeChar(L'中'); }, L"a中b", 2, 2,
     EditChange::Text},
    {"control characters are not typed", L"ab", 2, 2, [](EditModel& m) { return m.typeChar(L'\t'); }, L"ab", 2, 2,
     EditChange::None},
    {"delete character is not typed", L"ab", 2, 2, [](EditModel& m) { return m.typeChar(0x7F); }, L"ab", 2, 2,
     EditChange::None},
    {"read only refuses typing", L"ab", 0, 2,
     [](EditModel& m) {
         m.setReadOnly(true);
         return m.typeChar(L'x');
     },
     L"ab", 0, 2, EditChange::None},
    {"numbers only refuses letters", L"12", 2, 2,
     [](EditModel& m) {
         m.setNumbersOnly(true);
         return m.typeChar(L'x');
     },
     L"12", 2, 2, EditChange::None},
    {"numbers only takes digits", L"12", 2, 2,
     [](EditModel& m) {
         m.setNumbersOnly(true);
         return m.typeChar(L'3');
     },
     L"123", 3, 3, EditChange::Text},
    {"a full edit refuses typing", L"abc", 3, 3,
     [](EditModel& m) {
         m.setLimit(3);
         return m.typeChar(L'd');
     },
     L"abc", 3, 3, EditChange::None},
    {"a full edit types over its selection", L"abc", 0, 1,
     [](EditModel& m) {
         m.setLimit(3);
         return m.typeChar(L'z');
     },
     L"zbc", 1, 1, EditChange::Text},
    {"insert keeps the first line", L"", 0, 0, [](EditModel& m) { return m.insert(L"one\r\ntwo"); }, L"one", 3, 3,
     EditChange::Text},
    {"insert is cut to the limit", L"ab", 2, 2,
     [](EditModel& m) {
         m.setLimit(4);
         return m.insert(L"cdef");
     },
     L"abcd", 4, 4, EditChange::Text},
    {"insert that cannot fit keeps the selection", L"abcd", 1, 2,
     [](EditModel& m) {
         m.setLimit(3);
         return m.insert(L"xy");
     },
     L"abcd", 1, 2, EditChange::None},
    {"numbers only refuses an insert with a letter", L"1", 1, 1,
     [](EditModel& m) {
         m.setNumbersOnly(true);
         return m.insert(L"23a");
     },
     L"1", 1, 1, EditChange::None},
    {"read only refuses an insert", L"1", 1, 1,
     [](EditModel& m) {
         m.setReadOnly(true);
         return m.insert(L"2");
     },
     L"1", 1, 1, EditChange::None},

    // Erasing.
    {"backspace erases the character before", L"abc", 2, 2, [](EditModel& m) { return m.erasePrevious(); }, L"ac", 1, 1,
     EditChange::Text},
    {"backspace erases the selection", L"abcd", 3, 1, [](EditModel& m) { return m.erasePrevious(); }, L"ad", 1, 1,
     EditChange::Text},
    {"backspace at the start does nothing", L"abc", 0, 0, [](EditModel& m) { return m.erasePrevious(); }, L"abc", 0, 0,
     EditChange::None},
    {"delete erases the character after", L"abc", 1, 1, [](EditModel& m) { return m.eraseNext(); }, L"ac", 1, 1,
     EditChange::Text},
    {"delete at the end does nothing", L"abc", 3, 3, [](EditModel& m) { return m.eraseNext(); }, L"abc", 3, 3,
     EditChange::None},
    {"cut without a selection does nothing", L"abc", 1, 1, [](EditModel& m) { return m.eraseSelection(); }, L"abc", 1,
     1, EditChange::None},
    {"read only keeps its text on cut", L"abc", 0, 3,
     [](EditModel& m) {
         m.setReadOnly(true);
         return m.eraseSelection();
     },
     L"abc", 0, 3, EditChange::None},

    // Caret moves.
    {"left on a selection goes to its start", L"abcd", 3, 1, [](EditModel& m) { return m.moveLeft(kChar, kMove); },
     L"abcd", 1, 1, EditChange::Selection},
    {"right on a selection goes to its end", L"abcd", 3, 1, [](EditModel& m) { return m.moveRight(kChar, kMove); },
     L"abcd", 3, 3, EditChange::Selection},
    {"shift+left extends from the anchor", L"abcd", 2, 2, [](EditModel& m) { return m.moveLeft(kChar, kExtend); },
     L"abcd", 2, 1, EditChange::Selection},
    {"left at the start does nothing", L"ab", 0, 0, [](EditModel& m) { return m.moveLeft(kChar, kMove); }, L"ab", 0, 0,
     EditChange::None},
    {"right at the end does nothing", L"ab", 2, 2, [](EditModel& m) { return m.moveRight(kChar, kMove); }, L"ab", 2, 2,
     EditChange::None},
    {"ctrl+left goes to the start of the word", L"one two, three", 9, 9,
     [](EditModel& m) { return m.moveLeft(kWord, kMove); }, L"one two, three", 4, 4, EditChange::Selection},
    {"ctrl+right goes past the word and what follows", L"one two, three", 4, 4,
     [](EditModel& m) { return m.moveRight(kWord, kMove); }, L"one two, three", 9, 9, EditChange::Selection},
    {"ctrl+left on a selection moves from the caret", L"one two", 7, 5,
     [](EditModel& m) { return m.moveLeft(kWord, kMove); }, L"one two", 4, 4, EditChange::Selection},
    {"ctrl+shift+right extends by a word", L"one two", 0, 0, [](EditModel& m) { return m.moveRight(kWord, kExtend); },
     L"one two", 0, 4, EditChange::Selection},
    {"shift+home selects to the start", L"abc", 2, 2, [](EditModel& m) { return m.moveHome(kExtend); }, L"abc", 2, 0,
     EditChange::Selection},
    {"end collapses at the end", L"abc", 0, 1, [](EditModel& m) { return m.moveEnd(kMove); }, L"abc", 3, 3,
     EditChange::Selection},
    {"a click past the end places the caret at the end", L"abc", 0, 0,
     [](EditModel& m) { return m.placeCaret(99, kMove); }, L"abc", 3, 3, EditChange::Selection},
    {"shift+click extends the selection", L"abcdef", 1, 2, [](EditModel& m) { return m.placeCaret(5, kExtend); },
     L"abcdef", 1, 5, EditChange::Selection},

    // Selecting.
    {"double click selects the word", L"one two three", 5, 5, [](EditModel& m) { return m.selectWordAt(5); },
     L"one two three", 4, 7, EditChange::Selection},
    {"double click just after a word selects it", L"one two", 3, 3, [](EditModel& m) { return m.selectWordAt(3); },
     L"one two", 0, 3, EditChange::Selection},
    {"double click between punctuation selects the character after", L"a,,b", 0, 0,
     [](EditModel& m) { return m.selectWordAt(2); }, L"a,,b", 2, 3, EditChange::Selection},
    {"select with a negative end selects to the end", L"abc", 0, 0, [](EditModel& m) { return m.select(1, -1); },
     L"abc", 1, 3, EditChange::Selection},
    {"select with a negative start drops the selection", L"abc", 0, 2, [](EditModel& m) { return m.select(-1, 0); },
     L"abc", 2, 2, EditChange::Selection},
    {"select is clamped to the text", L"abc", 0, 0, [](EditModel& m) { return m.select(7, 9); }, L"abc", 3, 3,
     EditChange::Selection},
    {"selecting the same range again changes nothing", L"abc", 0, 2, [](EditModel& m) { return m.select(0, 2); },
     L"abc", 0, 2, EditChange::None},
};

TEST(EditModel, RulesTable) {
    for (const EditCase& c : kCases) {
        SCOPED_TRACE(c.rule);
        EditModel m;
        m.assign(c.text);
        m.select(c.from, c.to);
        ASSERT_FALSE(m.modified());
        const EditChange change = c.act(m);
        EXPECT_EQ(m.text(), c.wantText);
        EXPECT_EQ(m.anchor(), c.wantAnchor);
        EXPECT_EQ(m.caret(), c.wantCaret);
        EXPECT_EQ(change, c.wantChange);
        EXPECT_EQ(m.modified(), change == EditChange::Text) << "only text changes mark the edit modified";
    }
}

TEST(EditModel, AssignTakesTheFirstLineIgnoresTheLimitAndStartsClean) {
    EditModel m;
    m.setLimit(2);
    ASSERT_EQ(m.typeChar(L'x'), EditChange::Text);
    m.assign(L"longer than the limit\nsecond line");
    EXPECT_EQ(m.text(), L"longer than the limit");
    EXPECT_EQ(m.caret(), 0u);
    EXPECT_FALSE(m.modified());
    EXPECT_EQ(m.typeChar(L'y'), EditChange::None) << "over the limit: no room to type";
    m.setLimit(0);
    EXPECT_EQ(m.limit(), EditModel::kMaxLimit);
}

// --- Multiple lines ---

struct LinesCase {
    const char* rule;
    const wchar_t* text;
    long long from, to;
    std::function<EditChange(EditModel&)> act;
    const wchar_t* wantText;
    std::size_t wantCaret;
    EditChange wantChange;
};

const LinesCase kLinesCases[] = {
    {"a line break is typed", L"ab", 1, 1, [](EditModel& m) { return m.typeChar(L'\n'); }, L"a\nb", 2,
     EditChange::Text},
    {"a tab is typed", L"ab", 1, 1, [](EditModel& m) { return m.typeChar(L'\t'); }, L"a\tb", 2, EditChange::Text},
    {"other controls are still refused", L"ab", 1, 1, [](EditModel& m) { return m.typeChar(L'\r'); }, L"ab", 1,
     EditChange::None},
    {"inserted text keeps its lines, CR LF and CR become LF", L"", 0, 0,
     [](EditModel& m) { return m.insert(L"a\r\nb\rc\nd"); }, L"a\nb\nc\nd", 7, EditChange::Text},
    {"numbers only lets line breaks through", L"1", 1, 1,
     [](EditModel& m) {
         m.setNumbersOnly(true);
         return m.insert(L"2\r\n3");
     },
     L"12\n3", 4, EditChange::Text},
    {"numbers only refuses a tab", L"1", 1, 1,
     [](EditModel& m) {
         m.setNumbersOnly(true);
         return m.typeChar(L'\t');
     },
     L"1", 1, EditChange::None},
    {"the limit counts line breaks", L"ab", 2, 2,
     [](EditModel& m) {
         m.setLimit(4);
         return m.insert(L"\n\nxyz");
     },
     L"ab\n\n", 4, EditChange::Text},
    {"a word move crosses a line break", L"one\ntwo", 0, 0,
     [](EditModel& m) { return m.moveRight(CaretStep::Word, SelectionMode::Collapse); }, L"one\ntwo", 4,
     EditChange::Selection},
};

TEST(EditModel, MultipleLinesTable) {
    for (const LinesCase& c : kLinesCases) {
        SCOPED_TRACE(c.rule);
        EditModel m(EditLines::Multiple);
        m.assign(c.text);
        m.select(c.from, c.to);
        EXPECT_EQ(c.act(m), c.wantChange);
        EXPECT_EQ(m.text(), c.wantText);
        EXPECT_EQ(m.caret(), c.wantCaret);
    }
}

TEST(EditModel, AssignKeepsEveryLineOfAMultiLineModel) {
    EditModel m(EditLines::Multiple);
    m.assign(L"one\r\ntwo\rthree");
    EXPECT_EQ(m.text(), L"one\ntwo\nthree");
}

// --- Undo and redo ---

// One action of an undo sequence: 't' types the text character by
// character, 'i' inserts it, 'b' is Backspace, 'l'/'r' move the caret one
// character, 'u' undoes, 'y' redoes; then the text and caret expected.
struct UndoStep {
    char action;
    const wchar_t* arg;
    const wchar_t* wantText;
    std::size_t wantCaret;
};

struct UndoCase {
    const char* rule;
    std::vector<UndoStep> steps;
};

void apply(EditModel& m, const UndoStep& s) {
    switch (s.action) {
    case 't':
        for (const wchar_t* p = s.arg; *p; ++p) m.typeChar(*p);
        break;
    case 'i':
        m.insert(s.arg);
        break;
    case 'b':
        m.erasePrevious();
        break;
    case 'l':
        m.moveLeft(CaretStep::Character, SelectionMode::Collapse);
        break;
    case 'r':
        m.moveRight(CaretStep::Character, SelectionMode::Collapse);
        break;
    case 'u':
        m.undo();
        break;
    case 'y':
        m.redo();
        break;
    default:
        FAIL() << "unknown action " << s.action;
    }
}

const UndoCase kUndoCases[] = {
    {"a run of typing is one step",
     {{'t', L"hello", L"hello", 5}, {'u', L"", L"", 0}, {'y', L"", L"hello", 5}, {'u', L"", L"", 0}}},
    {"a caret move ends the run",
     {{'t', L"ab", L"ab", 2}, {'l', L"", L"ab", 1}, {'t', L"X", L"aXb", 2}, {'u', L"", L"ab", 1}, {'u', L"", L"", 0}}},
    {"a line break ends the run",
     {{'t', L"ab\ncd", L"ab\ncd", 5}, {'u', L"", L"ab\n", 3}, {'u', L"", L"", 0}, {'y', L"", L"ab\n", 3}}},
    {"backspace is undone with the character back",
     {{'t', L"abc", L"abc", 3}, {'b', L"", L"ab", 2}, {'u', L"", L"abc", 3}, {'u', L"", L"", 0}}},
    {"a paste is one step",
     {{'i', L"one two", L"one two", 7}, {'t', L"!", L"one two!", 8}, {'u', L"", L"one two", 7}, {'u', L"", L"", 0}}},
    {"a new change forgets the redo",
     {{'t', L"ab", L"ab", 2}, {'u', L"", L"", 0}, {'t', L"c", L"c", 1}, {'y', L"", L"c", 1}, {'u', L"", L"", 0}}},
    {"undo with nothing left changes nothing", {{'u', L"", L"", 0}, {'y', L"", L"", 0}}},
    {"redo after several undos replays in order",
     {{'i', L"a", L"a", 1},
      {'i', L"b", L"ab", 2},
      {'i', L"c", L"abc", 3},
      {'u', L"", L"ab", 2},
      {'u', L"", L"a", 1},
      {'y', L"", L"ab", 2},
      {'y', L"", L"abc", 3},
      {'y', L"", L"abc", 3}}},
};

TEST(EditModel, UndoSequencesTable) {
    for (const UndoCase& c : kUndoCases) {
        SCOPED_TRACE(c.rule);
        EditModel m(EditLines::Multiple);
        int index = 0;
        for (const UndoStep& s : c.steps) {
            SCOPED_TRACE("step " + std::to_string(index++) + " '" + s.action + "'");
            apply(m, s);
            EXPECT_EQ(m.text(), s.wantText);
            EXPECT_EQ(m.caret(), s.wantCaret);
        }
    }
}

TEST(EditModel, UndoDepthReadOnlyAndAssign) {
    EditModel m(EditLines::Multiple);
    m.setUndoDepth(2);
    for (const wchar_t* piece : {L"a", L"b", L"c"}) m.insert(piece);
    EXPECT_EQ(m.undo(), EditChange::Text);
    EXPECT_EQ(m.undo(), EditChange::Text);
    EXPECT_EQ(m.text(), L"a") << "only the last two steps are kept";
    EXPECT_FALSE(m.canUndo());
    m.setReadOnly(true);
    EXPECT_EQ(m.redo(), EditChange::None) << "read only refuses redo";
    m.setReadOnly(false);
    EXPECT_EQ(m.redo(), EditChange::Text);
    m.assign(L"fresh");
    EXPECT_FALSE(m.canUndo());
    EXPECT_FALSE(m.canRedo());
}

} // namespace
