// Options and check boxes: the group rule and its notices, selection before
// attachment, the selected look, and groups across a tree replacement.
#include "ui/controls/CheckBoxUI.h"
#include "ui/controls/OptionUI.h"

#include "tests/ui/SkinWindow.h"
#include "ui/layout/ContainerUI.h"

#include <gtest/gtest.h>

using testsupport::SkinWindow;
using Notices = std::vector<std::string>;

namespace {

constexpr const wchar_t* kOptions = LR"(<Window size="400,60"><HBox>
  <Option name="a" group="g" selected="true" normalimage="color='#FF0000FF'" selectedimage="color='#FFFF0000'"
          selectedbkcolor="#FF00FF00"/>
  <Option name="b" group="g" normalimage="color='#FF0000FF'" selectedimage="color='#FFFF0000'"/>
  <Option name="c" bkcolor="#FF0000FF" selectedbkcolor="#FF00FF00"/>
  <CheckBox name="k"/></HBox></Window>)";

TEST(Option, GroupRuleAndNotices) {
    SkinWindow w(kOptions);
    ASSERT_TRUE(w.built());
    // "selected" in markup is applied before attachment: no notice.
    EXPECT_EQ(w.takeNotices(), (Notices{"windowinit:", "setfocus:a"}));
    auto selected = [&] {
        std::string s;
        for (const wchar_t* n : {L"a", L"b", L"c", L"k"})
            s += w.as<COptionUI>(n, L"Option")->selectedState() ? '1' : '0';
        return s;
    };
    EXPECT_EQ(selected(), "1000");

    struct Step {
        const wchar_t* click;
        Notices notices;
        const char* selected;
    } steps[] = {
        {L"b", {"click:b", "selectchanged:b"}, "0100"}, // a changes silently
        {L"b", {"click:b"}, "0100"},                    // a selected member stays selected
        {L"a", {"click:a", "selectchanged:a"}, "1000"},
        {L"c", {"click:c", "selectchanged:c"}, "1010"}, // ungrouped: toggles, reports both ways
        {L"c", {"click:c", "selectchanged:c"}, "1000"},
        {L"k", {"click:k", "selectchanged:k"}, "1001"},
        {L"k", {"click:k", "selectchanged:k"}, "1000"},
    };
    for (const Step& s : steps) {
        w.click(s.click);
        Notices got;
        for (std::string& n : w.takeNotices())
            if (n.rfind("click", 0) == 0 || n.rfind("selectchanged", 0) == 0) got.push_back(n);
        EXPECT_EQ(got, s.notices) << platform::toUtf8(s.click);
        EXPECT_EQ(selected(), s.selected) << platform::toUtf8(s.click);
    }
    EXPECT_EQ(w.as<CCheckBoxUI>(L"k", L"CheckBox")->typeName(), L"CheckBox");
    EXPECT_NE(w.find(L"k")->castTo(L"Option"), nullptr);
}

TEST(Option, SelectedLookAndDisabledState) {
    SkinWindow w(kOptions);
    ASSERT_TRUE(w.built());
    auto colourOf = [&](const wchar_t* name) {
        const platform::Rect& r = w.find(name)->bounds();
        return w.pixel({r.left + 2, r.top + 2});
    };
    EXPECT_EQ(colourOf(L"a"), 0xFFFF0000u) << "selected image over the selected background";
    EXPECT_EQ(colourOf(L"b"), 0xFF0000FFu);
    EXPECT_EQ(colourOf(L"c"), 0xFF0000FFu);
    w.click(L"c");
    w.moveTo({399, 59});
    EXPECT_EQ(colourOf(L"c"), 0xFF00FF00u) << "selected background";

    auto* a = w.as<COptionUI>(L"a", L"Option");
    a->assignEnabled(false);
    EXPECT_EQ(a->buttonState(), static_cast<unsigned>(CButtonUI::State::Selected));
    w.click(L"a");
    EXPECT_TRUE(a->selectedState());
}

// Replacing the tree detaches the old options before they are deleted; a
// detached option must not stay behind in its group.
TEST(Option, ReplacedTreesLeaveTheirGroups) {
    SkinWindow w(kOptions);
    ASSERT_TRUE(w.built());
    CSkinBuilder builder;
    CControlUI* next = builder.build(LR"(<Window><HBox><Option name="n" group="g"/><Option name="m" group="g"/>
        </HBox></Window>)",
                                     nullptr, nullptr, &w.manager(), nullptr);
    ASSERT_NE(next, nullptr);
    w.manager().setRoot(next);
    w.settle();
    const CPtrArrayUI<CControlUI>* group = w.manager().groupMembers(L"g");
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->size(), 2);
    w.click(L"n");
    w.click(L"m");
    EXPECT_FALSE(w.as<COptionUI>(L"n", L"Option")->selectedState());

    // Removing a grouped option from its container deletes it and its membership.
    auto* box = static_cast<IContainerUI*>(next->castTo(L"IContainer"));
    ASSERT_TRUE(box->removeItem(w.find(L"m")));
    w.settle();
    EXPECT_EQ(w.manager().groupMembers(L"g")->size(), 1);
    w.click(L"n");
    EXPECT_TRUE(w.as<COptionUI>(L"n", L"Option")->selectedState());
}

TEST(Option, GroupNameChangesMoveTheMembership) {
    SkinWindow w(kOptions);
    ASSERT_TRUE(w.built());
    auto* c = w.as<COptionUI>(L"c", L"Option");
    c->assignGroupName(L"g");
    EXPECT_EQ(w.manager().groupMembers(L"g")->size(), 3);
    w.click(L"c");
    EXPECT_FALSE(w.as<COptionUI>(L"a", L"Option")->selectedState());
    c->assignGroupName(L"");
    EXPECT_EQ(w.manager().groupMembers(L"g")->size(), 2);
    // Code that selects without notifying raises nothing.
    w.takeNotices();
    w.as<COptionUI>(L"b", L"Option")->assignSelected(true, false);
    EXPECT_EQ(w.takeNotices(), Notices{});
}

} // namespace
