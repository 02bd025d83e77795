// The edition table and the rules derived from it.
#include "app/Editions.h"

#include "platform/system/Text.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

namespace {

TEST(Editions, TableKeepsItsIrregularities) {
    // Listing order and numbers: dogwood 6 comes before elm 5.
    const int numbers[] = {0, 3, 4, 6, 5};
    for (size_t i = 0; i < kEditions.size(); ++i) EXPECT_EQ(kEditions[i].number, numbers[i]) << i;
    EXPECT_EQ(FindEditionByNumber(1), nullptr);
    EXPECT_EQ(FindEditionByNumber(2), nullptr);
    EXPECT_EQ(FindEditionByNumber(kNoEdition), nullptr);
    EXPECT_EQ(FindEditionByNumber(6)->code, "dogwood");
    EXPECT_EQ(FindEditionByCode("elm")->number, 5);
    EXPECT_EQ(FindEditionByCode("Elm"), nullptr);
    // Launcher names differ in letter case.
    EXPECT_EQ(FindEditionByCode("birch")->launcher, L"WoW.exe");
    EXPECT_EQ(FindEditionByCode("elm")->launcher, L"Wow.exe");
    EXPECT_EQ(FindEditionByCode("cedar")->launcher, L"WinterspringLauncher.exe");
    EXPECT_EQ(ReportCode(*FindEditionByCode("alder")), 160000);
    EXPECT_EQ(ReportCode(*FindEditionByCode("dogwood")), 166000);
}

TEST(Editions, DefaultPathIsUnderHomeGames) {
    const char* old = std::getenv("HOME");
    const std::string saved = old ? old : "";
    setenv("HOME", "/home/玩家", 1);
    EXPECT_EQ(DefaultInstallPath(*FindEditionByCode("elm")), L"/home/玩家/Games/Tolvar-elm/");
    setenv("HOME", "/", 1);
    EXPECT_EQ(DefaultInstallPath(*FindEditionByCode("alder")), L"/Games/Tolvar-alder/");
    if (old)
        setenv("HOME", saved.c_str(), 1);
    else
        unsetenv("HOME");
}

TEST(Editions, FolderRuleAppendsTheFolderNameUnlessPresent) {
    const Edition& elm = *FindEditionByCode("elm");
    struct Case {
        const wchar_t* chosen;
        const wchar_t* result;
    };
    const Case cases[] = {
        {L"/home/p/Games", L"/home/p/Games/Tolvar-elm/"},
        {L"/home/p/Games/", L"/home/p/Games/Tolvar-elm/"},
        {L"/home/p/Games/Tolvar-elm", L"/home/p/Games/Tolvar-elm/"},
        {L"/home/p/Games/Tolvar-elm/", L"/home/p/Games/Tolvar-elm/"},
        {L"/", L"/Tolvar-elm/"},
        // The comparison is exact.
        {L"/home/p/tolvar-elm", L"/home/p/tolvar-elm/Tolvar-elm/"},
        {L"/home/p/Tolvar-elm-old", L"/home/p/Tolvar-elm-old/Tolvar-elm/"},
        // Windows-style paths keep their separators.
        {L"E:\\Games", L"E:\\Games/Tolvar-elm/"},
        {L"E:\\Games\\Tolvar-elm", L"E:\\Games\\Tolvar-elm/"},
        {L"E:\\", L"E:\\Tolvar-elm/"},
    };
    for (const auto& c : cases) EXPECT_EQ(ApplyFolderRule(c.chosen, elm), c.result) << platform::toUtf8(c.chosen);
}

TEST(Editions, SelectedEditionDerivations) {
    auto selected = [](std::set<std::wstring> on) {
        return [on](std::wstring_view control) { return on.count(std::wstring(control)) > 0; };
    };
    EXPECT_EQ(FirstSelectedEdition(selected({})), kNoEdition);
    EXPECT_EQ(LastSelectedEditionOrBirch(selected({})), 3);
    EXPECT_EQ(FirstSelectedEdition(selected({L"elm_ver_opt"})), 5);
    EXPECT_EQ(LastSelectedEditionOrBirch(selected({L"elm_ver_opt"})), 5);
    EXPECT_EQ(FirstSelectedEdition(selected({L"alder_ver_opt"})), 0);
    // Two selected (the options are not exclusive by themselves): the first
    // in table order wins one way, the last the other.
    EXPECT_EQ(FirstSelectedEdition(selected({L"dogwood_ver_opt", L"elm_ver_opt"})), 6);
    EXPECT_EQ(LastSelectedEditionOrBirch(selected({L"alder_ver_opt", L"dogwood_ver_opt"})), 6);
    EXPECT_EQ(LastSelectedEditionOrBirch(selected({L"dogwood_ver_opt", L"elm_ver_opt"})), 5);
    // Unknown controls are not editions.
    EXPECT_EQ(FirstSelectedEdition(selected({L"startBtn"})), kNoEdition);
}

} // namespace
