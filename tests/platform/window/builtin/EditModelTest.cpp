// The Edit class's text rules on their own, one table row per rule: typing
// and inserting against selection, limit and filters, erasing, caret moves by
// character and word with and without extending, word selection, select().
#include "platform/window/builtin/WindowEditInternal.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

using platform::detail::CaretStep;
using platform::detail::EditChange;
using platform::detail::EditModel;
using platform::detail::SelectionMode;

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

} // namespace
