// The animated image controls on the virtual display: frames moving on under
// the paint manager's timers with each frame's delay, plays as the file
// says, play/pause/stop, hidden controls holding their timers, autosize, the
// animated buttons, and the gallery page of animations through skinview.
#include "tests/ui/GoldenImage.h"
#include "tests/ui/SkinWindow.h"
#include "tests/ui/TestSupport.h"
#include "ui/controls/ApngAnimUI.h"
#include "ui/controls/ApngButtonUI.h"
#include "ui/controls/GifAnimUI.h"
#include "ui/controls/GifButtonUI.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const fs::path kGallery = fs::path(QUELLAN_SOURCE_DIR) / "tests" / "gallery";

// The gallery's animations (tests/gallery/make-animations.py):
//   spin.gif  24 × 24, 4 frames of 100, 2000, 0 (shown 100) and 100 ms, endless;
//             frame K lights quadrant 0, 1, 3, 2 (amber on navy)
//   once.gif  16 × 16, 2 frames of 150 ms, no looping extension (one play)
//   fill.png  48 × 12, 4 frames of 100 ms, 2 plays
//   dot.png   24 × 24, 4 frames of 100, 100, 3000 and 100 ms, endless
//   btn_normal.png 80 × 28, 2 frames of 200 and 3000 ms; btn_hot.gif 80 × 28, 2 frames of 100 ms
// The display clock runs on with real time as well as with advance(): the
// checks fall mid-frame, at least 50 ms from a frame change.
constexpr std::uint32_t kAmber = 0xFFF5C518, kNavy = 0xFF2B3A55;

class AnimationTest : public ::testing::Test {
protected:
    void SetUp() override { fs::current_path(kGallery); }

    testsupport::SkinSourceGuard m_guard;
};

std::wstring page(const std::wstring& body) {
    return L"<Window size=\"300,120\"><HorizontalLayout name=\"row\">" + body + L"</HorizontalLayout></Window>";
}

// What an animation of these delays and plays (0 = endless) shows `t` ms
// after it started.
struct Shown {
    int frame;
    bool playing;
    friend bool operator==(const Shown&, const Shown&) = default;
};
Shown shownAt(const std::vector<int>& delays, int plays, long t) {
    if (delays.size() < 2) return {0, false};
    long total = 0;
    for (int d : delays) total += d;
    if (plays != 0 && t >= total * plays) return {static_cast<int>(delays.size()) - 1, false};
    long r = t % total;
    int frame = 0;
    while (r >= delays[static_cast<std::size_t>(frame)]) r -= delays[static_cast<std::size_t>(frame++)];
    return {frame, true};
}

TEST_F(AnimationTest, FramesFollowTheirOwnDelaysAndTheFilesPlays) {
    struct Case {
        const wchar_t* file;
        std::vector<int> delays; // as the file says, zero already 100
        int plays;
        std::vector<long> checks; // ms after the start
    } const cases[] = {
        // Endless, with a zero delay shown for 100 ms.
        {L"img/spin.gif", {100, 2000, 100, 100}, 0, {0, 99, 101, 150, 2099, 2101, 2150, 2250, 2350, 2450}},
        // One play: stays on its last frame.
        {L"img/once.gif", {150, 150}, 1, {149, 151, 299, 301, 1000}},
        // Two plays of four frames.
        {L"img/fill.png", {100, 100, 100, 100}, 2, {350, 450, 750, 799, 801, 1500}},
        // A still picture: one frame, no timer.
        {L"img/panel.png", {100}, 1, {1000}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(platform::toUtf8(c.file));
        // The display clock moves with advance() and with real time: a frame
        // is right when the file shows it at some moment between the time
        // advanced and that plus the real time passed (and a millisecond per
        // frame change, the clock's step).
        const auto started = std::chrono::steady_clock::now();
        testsupport::SkinWindow window(page(L"<GifAnim name=\"a\" bkimage=\"" + std::wstring(c.file) + L"\"/>"));
        ASSERT_TRUE(window.built());
        auto* a = window.as<CGifAnimUI>(L"a", L"GifAnim");
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->frameCount(), static_cast<int>(c.delays.size()));
        long at = 0;
        for (long check : c.checks) {
            window.advance(static_cast<unsigned>(check - at));
            at = check;
            const Shown actual{a->currentFrame(), a->isPlaying()};
            const long real = static_cast<long>(
                std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started)
                    .count());
            const long latest = at + real + 1 + at / 100;
            bool possible = false;
            for (long t = at; t <= latest && !possible; ++t) possible = shownAt(c.delays, c.plays, t) == actual;
            EXPECT_TRUE(possible) << "frame " << actual.frame << (actual.playing ? " playing" : " stopped") << " at "
                                  << at << " ms (up to " << latest << " ms with real time)";
        }
    }
}

TEST_F(AnimationTest, TheDisplayShowsTheFrameOfTheMoment) {
    testsupport::SkinWindow window(page(L"<GifAnim name=\"a\" bkimage=\"img/spin.gif\" autosize=\"true\"/>"));
    ASSERT_TRUE(window.built());
    const platform::Rect r = window.find(L"a")->bounds();
    EXPECT_EQ(r.width(), 24) << "autosize";
    EXPECT_EQ(r.height(), 24);
    const platform::Point topLeft{r.left + 6, r.top + 6}, topRight{r.left + 18, r.top + 6};
    EXPECT_EQ(window.pixel(topLeft), kAmber);
    EXPECT_EQ(window.pixel(topRight), kNavy);
    window.advance(150);
    EXPECT_EQ(window.pixel(topLeft), kNavy);
    EXPECT_EQ(window.pixel(topRight), kAmber);
}

TEST_F(AnimationTest, PlayPauseStopAndAutoplay) {
    testsupport::SkinWindow window(page(L"<GifAnim name=\"a\" bkimage=\"img/spin.gif\" autoplay=\"false\"/>"
                                        L"<ApngAnim name=\"p\" bkimage=\"img/fill.png\"/>"));
    ASSERT_TRUE(window.built());
    auto* a = window.as<CGifAnimUI>(L"a", L"GifAnim");
    auto* p = window.as<CApngAnimUI>(L"p", L"ApngAnim");
    ASSERT_TRUE(a && p);
    EXPECT_EQ(p->typeName(), L"ApngAnim");
    window.advance(500);
    EXPECT_EQ(a->currentFrame(), 0) << "no autoplay";
    EXPECT_FALSE(a->isPlaying());

    a->play();
    window.advance(150);
    EXPECT_EQ(a->currentFrame(), 1);
    a->pause();
    window.advance(1000);
    EXPECT_EQ(a->currentFrame(), 1) << "paused on its frame";
    a->play();
    window.advance(1000);
    EXPECT_EQ(a->currentFrame(), 1) << "goes on from where it paused";
    EXPECT_TRUE(a->isPlaying());
    a->stop();
    EXPECT_EQ(a->currentFrame(), 0);
    window.advance(1000);
    EXPECT_EQ(a->currentFrame(), 0);

    // Played out, play starts over.
    window.advance(800);
    EXPECT_EQ(p->currentFrame(), 3);
    EXPECT_FALSE(p->isPlaying());
    p->play();
    EXPECT_EQ(p->currentFrame(), 0);
    window.advance(150);
    EXPECT_EQ(p->currentFrame(), 1);
}

TEST_F(AnimationTest, HiddenAnimationsHoldTheirTimers) {
    testsupport::SkinWindow window(page(L"<GifAnim name=\"a\" bkimage=\"img/spin.gif\"/>"
                                        L"<VerticalLayout name=\"box\"><GifAnim name=\"b\" bkimage=\"img/spin.gif\"/>"
                                        L"</VerticalLayout>"));
    ASSERT_TRUE(window.built());
    auto* a = window.as<CGifAnimUI>(L"a", L"GifAnim");
    auto* b = window.as<CGifAnimUI>(L"b", L"GifAnim");
    ASSERT_TRUE(a && b);
    a->assignShown(false);
    window.find(L"box")->assignShown(false); // hides b through its parent
    window.advance(1000);
    EXPECT_EQ(a->currentFrame(), 0);
    EXPECT_EQ(b->currentFrame(), 0);
    EXPECT_FALSE(window.manager().stopTimer(a, CGifAnimUI::kFrameTimer)) << "no timer runs while hidden";
    EXPECT_FALSE(window.manager().stopTimer(b, CGifAnimUI::kFrameTimer));
    a->assignShown(true);
    window.find(L"box")->assignShown(true);
    window.advance(150);
    EXPECT_EQ(a->currentFrame(), 1);
    EXPECT_EQ(b->currentFrame(), 1);
}

TEST_F(AnimationTest, MissingOrBrokenFilesShowNothing) {
    const testsupport::ScratchFolder dir;
    const fs::path broken = dir / "broken.gif";
    { std::ofstream(broken, std::ios::binary) << "GIF89a\x02\x00\x02\x00\x80\x00\x00"; }
    testsupport::SkinWindow window(page(L"<GifAnim name=\"a\" bkimage=\"img/none.gif\" autosize=\"true\"/>"
                                        L"<GifAnim name=\"b\" bkimage=\"" +
                                        platform::fromUtf8(broken.string()) + L"\"/>"));
    ASSERT_TRUE(window.built());
    for (const wchar_t* name : {L"a", L"b"}) {
        auto* anim = window.as<CGifAnimUI>(name, L"GifAnim");
        ASSERT_NE(anim, nullptr);
        EXPECT_EQ(anim->frameCount(), 0);
        EXPECT_EQ(anim->animation(), nullptr);
    }
    window.advance(200);
}

TEST_F(AnimationTest, ButtonsAnimateTheImageOfTheirState) {
    testsupport::SkinWindow window(
        page(L"<GifButton name=\"g\" normalimage=\"img/btn_normal.png\" hotimage=\"img/btn_hot.gif\" "
             L"autosize=\"true\" text=\"Go\"/><Control/>"
             L"<ApngButton name=\"p\" normalimage=\"img/btn_normal.png\" width=\"80\" autoplay=\"false\"/>"));
    ASSERT_TRUE(window.built());
    auto* g = window.as<CGifButtonUI>(L"g", L"GifButton");
    auto* p = window.as<CApngButtonUI>(L"p", L"ApngButton");
    ASSERT_TRUE(g && p);
    EXPECT_EQ(g->bounds().width(), 80) << "autosize from the normal image";
    EXPECT_EQ(g->bounds().height(), 28);
    EXPECT_EQ(g->frameCount(), 2);
    window.advance(300);
    EXPECT_EQ(g->currentFrame(), 1);
    EXPECT_EQ(p->currentFrame(), 0) << "no autoplay";

    // Hot: the hot animation from its first frame, on its own delays.
    window.takeNotices();
    window.hover(L"g");
    EXPECT_EQ(g->shownState(), CGifButtonUI::StateImage::Hot);
    EXPECT_EQ(g->currentFrame(), 0);
    window.advance(150);
    EXPECT_EQ(g->currentFrame(), 1);
    window.advance(100);
    EXPECT_EQ(g->currentFrame(), 0);
    window.click(L"g");
    const std::vector<std::string> notices = window.takeNotices();
    EXPECT_NE(std::find(notices.begin(), notices.end(), "click:g"), notices.end()) << "still a button";

    // Back to normal: the normal animation starts over.
    window.hover(L"p");
    EXPECT_EQ(g->shownState(), CGifButtonUI::StateImage::Normal);
    EXPECT_EQ(g->currentFrame(), 0);
    window.advance(300);
    EXPECT_EQ(g->currentFrame(), 1);
    g->pause();
    window.advance(400);
    EXPECT_EQ(g->currentFrame(), 1);
    p->play();
    window.advance(300);
    EXPECT_EQ(p->currentFrame(), 1);
}

// --- The gallery page ---

TEST(AnimationGallery, SkinViewCatchesEveryAnimationAtItsFrame) {
    const testsupport::ScratchFolder dir;
    testsupport::ToolRun run =
        testsupport::runSkinView("--window '" + (kGallery / "animations.xml").string() + "' --png '" +
                                 (dir / "animations.png").string() + "' --tree --act wait:1000");
    ASSERT_EQ(run.status, 0) << run.out;
    for (const char* word :
         {"GifAnim \"spin\" 8,8,32,32 frames=4 frame=1\n", "GifAnim \"once\" 40,8,72,40 frames=2 frame=1\n",
          "ApngAnim \"dot\" 80,8,104,32 frames=4 frame=2\n", "ApngAnim \"fill\" 112,8,160,56 frames=4 frame=3\n",
          "GifAnim \"paused\" 168,8,192,32 frames=4 frame=0\n", "ApngAnim \"still\" 200,8,224,32 frames=1 frame=0\n",
          " frames=2 frame=1\n", "ApngButton \"ab\" 96,64,176,92 frames=2 frame=1\n",
          "GifButton \"plain\" 184,64,264,92 frames=0 frame=0\n"})
        EXPECT_NE(run.out.find(word), std::string::npos) << word << "\n" << run.out;
    EXPECT_TRUE(testsupport::matchesGolden(platform::Surface::readPng((dir / "animations.png").string()),
                                           "gallery/animations"));
}

} // namespace
