// The dispatch queue on a real window of the virtual display: calls posted
// from job threads run on the window thread, in order and once each.
#include "engine/MsgDispatch.h"
#include "engine/ServiceClient.h"
#include "engine/ServiceConfig.h"
#include "engine/WindowMultiThreadManager.h"
#include "platform/window/VirtualDisplay.h"

#include "EngineTestSupport.h"

#include <thread>
#include <vector>

using namespace enginetest;

namespace {

class TestOwner : public IEngineEvents, public CMsgDispatch<TestOwner> {
public:
    void OnShowStatusText(EventArg a1, EventArg a2) override {
        calls.push_back(std::to_wstring(a1) + L":" + *TakeEventWideText(a2));
        onUiThread = onUiThread && platform::isUiThread();
        drains.push_back(drain);
    }
    void OnStartDownload(EventArg a1, EventArg) override {
        calls.push_back(L"start" + std::to_wstring(a1));
        drains.push_back(drain);
        // A handler may queue further calls; they run in the same drain.
        if (a1 == 1) PostCall(&TestOwner::OnStartDownload, 2, 0);
    }

    void OnCheckVersionResult(EventArg, EventArg a2) override {
        version = *TakeEventText(a2);
        onUiThread = onUiThread && platform::isUiThread();
    }

    std::string version;
    std::vector<std::wstring> calls;
    std::vector<int> drains;
    int dispatchMessages = 0;
    int drain = 0;
    bool onUiThread = true;
};

platform::LResult testProc(platform::WindowHandle window, unsigned message, platform::WParam wParam,
                           platform::LParam lParam) {
    if (IsDispatchMessage(message)) {
        auto* owner = reinterpret_cast<TestOwner*>(platform::windowUserData(window));
        if (!owner) return 0;
        ++owner->dispatchMessages;
        ++owner->drain;
        owner->DispatchCalls();
        return 0;
    }
    return platform::defWindowProc(window, message, wParam, lParam);
}

class MsgDispatchTest : public ::testing::Test {
protected:
    // One window serves the whole suite and is never destroyed: destroying a
    // top-level window while the display's find-window thread polls its
    // listener can race with sockets opened right after (by later tests).
    static void SetUpTestSuite() {
        ASSERT_TRUE(platform::vdisplay::open());
        ASSERT_TRUE(platform::registerWindowClass({L"QuellanDispatchTest", 0, testProc}));
        s_window = platform::createWindow(0, L"QuellanDispatchTest", L"", 0, 0, 0, 100, 100, nullptr, nullptr);
    }

    void SetUp() override {
        ASSERT_NE(s_window, nullptr);
        platform::vdisplay::pump(); // nothing of an earlier test stays queued
        platform::setWindowUserData(s_window, reinterpret_cast<std::intptr_t>(&m_owner));
        m_owner.SetDispatchWindow(s_window);
    }
    void TearDown() override {
        platform::vdisplay::pump();
        platform::setWindowUserData(s_window, 0);
    }

    static platform::WindowHandle s_window;
    TestOwner m_owner;
};

platform::WindowHandle MsgDispatchTest::s_window = nullptr;

TestOwner* g_owner = nullptr;

void postThreeCalls(ThreadParam) {
    CDispatchEvents<TestOwner> events(*g_owner);
    events.OnShowStatusText(1, MakeEventWideText(L"a"));
    events.OnShowStatusText(2, MakeEventWideText(L"b"));
    events.OnShowStatusText(3, MakeEventWideText(L"c"));
}

} // namespace

TEST_F(MsgDispatchTest, CallsFromAJobRunInOrderOnceEachOnTheWindowThread) {
    g_owner = &m_owner;
    CWindowMultiThreadManager manager;
    ASSERT_NE(manager.StartThread(postThreeCalls, 0), 0u);
    ASSERT_TRUE(manager.WaitForAll(std::chrono::seconds(10)));
    ASSERT_TRUE(platform::vdisplay::pumpUntil([&] { return m_owner.dispatchMessages == 12; }, 10000));
    platform::vdisplay::pump();
    EXPECT_EQ(m_owner.dispatchMessages, 12);
    EXPECT_EQ(m_owner.calls, (std::vector<std::wstring>{L"1:a", L"2:b", L"3:c"}));
    EXPECT_TRUE(m_owner.onUiThread);
    EXPECT_EQ(m_owner.PendingCalls(), 0u);
    g_owner = nullptr;
}

TEST_F(MsgDispatchTest, AHandlerThatPostsHasItsCallRunInTheSameDrain) {
    m_owner.PostCall(&TestOwner::OnStartDownload, 1, 0);
    m_owner.PostCall(&TestOwner::OnStartDownload, 3, 0);
    ASSERT_TRUE(platform::vdisplay::pumpUntil([&] { return m_owner.calls.size() == 3; }, 10000));
    // The call posted by the first handler runs after those already queued,
    // within the drain of the first message.
    EXPECT_EQ(m_owner.calls, (std::vector<std::wstring>{L"start1", L"start3", L"start2"}));
    EXPECT_EQ(m_owner.drains, (std::vector<int>{1, 1, 1}));
}

TEST_F(MsgDispatchTest, WithoutAWindowCallsWaitInTheQueue) {
    m_owner.SetDispatchWindow(nullptr);
    m_owner.PostCall(&TestOwner::OnStartDownload, 7, 0);
    platform::vdisplay::pump();
    EXPECT_EQ(m_owner.PendingCalls(), 1u);
    m_owner.DispatchCalls();
    EXPECT_EQ(m_owner.calls, (std::vector<std::wstring>{L"start7"}));
}

TEST_F(MsgDispatchTest, VersionCheckJobReportsToTheWindowThread) {
    devserver::DevServer server;
    ASSERT_TRUE(server.Start(devserver::Options{}));
    server.SetVersion("21", "http://127.0.0.1:1/new");
    std::string savedBase = g_serviceBase;
    g_serviceBase = server.BaseUrl();
    CDispatchEvents<TestOwner> events(m_owner);
    SetEngineEvents(&events);

    CWindowMultiThreadManager manager;
    ASSERT_NE(manager.StartThread(ThreadCheckVersion, 0), 0u);
    bool arrived = platform::vdisplay::pumpUntil([&] { return !m_owner.version.empty(); }, 20000);
    SetEngineEvents(nullptr);
    g_serviceBase = savedBase;
    ASSERT_TRUE(arrived);
    EXPECT_NE(m_owner.version.find("\"check_code\":\"21\""), std::string::npos);
    EXPECT_TRUE(m_owner.onUiThread);
    EXPECT_TRUE(manager.WaitForAll(std::chrono::seconds(10)));
}
