// The Windows side of the message window thread: real hidden windows of the system class
// "Message", subclassed so that the listener sees every message first and the class's own
// procedure handles what the listener leaves.
#include "base/TMessageWindowThread.h"
#include "support/RecordingWindowListener.h"
#include "support/WaitFor.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstring>
#include <string>

using lumo_test::RecordingWindowListener;
using lumo_test::waitFor;

namespace
{
// The first window a process creates connects it to the desktop; under Wine on a fresh prefix that
// starts the desktop process and can take seconds. Doing it once before any test keeps that start-up
// out of the timed window-thread operations.
class DesktopWarmUp : public ::testing::Environment
{
public:
    void SetUp() override
    {
        HWND probe = CreateWindowExA(0, "Message", "warm-up", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
        if (probe != nullptr)
            DestroyWindow(probe);
    }
};
::testing::Environment* const desktopWarmUp = ::testing::AddGlobalTestEnvironment(new DesktopWarmUp);

class MessageWindowWin32Test : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(waitFor([] { return !TMessageWindowThread::isThreadRunning(); })); }
};

HWND hwnd(TWindowHandle window)
{
    return static_cast<HWND>(window);
}

TEST_F(MessageWindowWin32Test, WindowIsAHiddenMessageClassWindowWithTheRequestedName)
{
    RecordingWindowListener listener;
    TWindowHandle w = TMessageWindowThread::createWindow(&listener, BString("MIDIDevChangeMsgQueue"));
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(IsWindow(hwnd(w)));
    EXPECT_FALSE(IsWindowVisible(hwnd(w)));
    char className[64] = {};
    GetClassNameA(hwnd(w), className, sizeof className);
    EXPECT_STREQ(className, "Message");
    // The stored name, as other programs' window searches see it (no message to the window).
    wchar_t title[64] = {};
    InternalGetWindowText(hwnd(w), title, 64);
    EXPECT_STREQ(title, L"MIDIDevChangeMsgQueue");
    // Owned by the message thread, not by the caller.
    EXPECT_NE(GetWindowThreadProcessId(hwnd(w), nullptr), GetCurrentThreadId());

    TMessageWindowThread::destroyWindow(w);
    // Another thread's window may take a moment to disappear from this thread's view (seen under
    // Wine on a freshly created prefix); it must be gone soon after.
    bool gone = !IsWindow(hwnd(w));
    for (int i = 0; i < 200 && !gone; ++i)
    {
        Sleep(10);
        gone = !IsWindow(hwnd(w));
    }
    EXPECT_TRUE(gone);
}

TEST_F(MessageWindowWin32Test, HandledDeviceChangeSkipsTheDefaultProcedure)
{
    RecordingWindowListener listener;
    listener.handle(WM_DEVICECHANGE);
    TWindowHandle w = TMessageWindowThread::createWindow(&listener, BString("devchange"));
    ASSERT_NE(w, nullptr);

    // As the system's broadcast arrives: a message to the window, with its parameters intact.
    // (Events that carry a structure, such as arrivals, cannot be posted without it.)
    ASSERT_TRUE(PostMessageW(hwnd(w), WM_DEVICECHANGE, 0x0018 /* DBT_CONFIGCHANGED */, 0));
    ASSERT_TRUE(listener.waitForCount(WM_DEVICECHANGE, 1));
    const auto call = listener.callsOf(WM_DEVICECHANGE).front();
    EXPECT_EQ(call.window, w);
    EXPECT_EQ(call.wParam, 0x0018u);
    EXPECT_EQ(call.thread, listener.creationThread());

    // Handled: the window procedure returns 0 without default processing.
    DWORD_PTR result = 12345;
    ASSERT_TRUE(SendMessageTimeoutW(hwnd(w), WM_DEVICECHANGE, 0x0007, 0, SMTO_BLOCK, 5000, &result));
    EXPECT_EQ(result, 0u);
    EXPECT_EQ(listener.count(WM_DEVICECHANGE), 2);
    TMessageWindowThread::destroyWindow(w);
}

// Whether this system's "Message" class procedure stores the text of WM_SETTEXT (Windows' does,
// Wine's ignores every message).
bool classProcedureStoresText()
{
    HWND probe = CreateWindowExA(0, "Message", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    if (probe == nullptr)
        return false;
    SendMessageA(probe, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("x"));
    wchar_t text[4] = {};
    InternalGetWindowText(probe, text, 4);
    DestroyWindow(probe);
    return text[0] == L'x';
}

std::wstring storedText(TWindowHandle window)
{
    wchar_t text[32] = {};
    InternalGetWindowText(hwnd(window), text, 32);
    return text;
}

TEST_F(MessageWindowWin32Test, MessagesTheListenerLeavesReachThePreviousProcedure)
{
    const bool storesText = classProcedureStoresText();
    RecordingWindowListener listener;
    TWindowHandle w = TMessageWindowThread::createWindow(&listener, BString("before"));
    ASSERT_NE(w, nullptr);

    // Not handled: the class procedure gets it and (where it keeps texts) sets the text.
    DWORD_PTR result = 0;
    ASSERT_TRUE(SendMessageTimeoutA(hwnd(w), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("after"), SMTO_BLOCK, 5000,
                                    &result));
    EXPECT_EQ(listener.count(WM_SETTEXT), 1);
    const std::wstring afterFirst = storesText ? L"after" : L"before";
    EXPECT_EQ(storedText(w), afterFirst);

    // Handled: the class procedure never sees it, so the text stays.
    listener.handle(WM_SETTEXT);
    ASSERT_TRUE(SendMessageTimeoutA(hwnd(w), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("ignored"), SMTO_BLOCK, 5000,
                                    &result));
    EXPECT_EQ(listener.count(WM_SETTEXT), 2);
    EXPECT_EQ(storedText(w), afterFirst);
    TMessageWindowThread::destroyWindow(w);
}

TEST_F(MessageWindowWin32Test, NotifyPostsTheDeviceChangeMessageToTheWindows)
{
    RecordingWindowListener listener;
    TWindowHandle w = TMessageWindowThread::createWindow(&listener, BString("notify"));
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(TMessageWindowThread::notifyDeviceListChanged());
    ASSERT_TRUE(listener.waitForCount(WM_DEVICECHANGE, 1));
    EXPECT_EQ(listener.callsOf(WM_DEVICECHANGE).front().wParam, 0x0007u); // DBT_DEVNODES_CHANGED
    TMessageWindowThread::destroyWindow(w);
}

// A window of the message thread that is not (or no longer) in its list is still destroyed
// there, where the window lives.
TEST_F(MessageWindowWin32Test, DestroyingAnUnlistedWindowOfTheThreadStillDestroysIt)
{
    struct ExtraMaker : RecordingWindowListener
    {
        void windowCreated(TWindowHandle window) override
        {
            RecordingWindowListener::windowCreated(window);
            extra = CreateWindowExA(0, "Message", "extra", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
        }
        std::atomic<HWND> extra {nullptr};
    };
    ExtraMaker maker;
    TWindowHandle w = TMessageWindowThread::createWindow(&maker, BString("maker"));
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(waitFor([&] { return maker.extra.load() != nullptr; }));
    HWND extra = maker.extra.load();
    ASSERT_TRUE(IsWindow(extra));

    TMessageWindowThread::destroyWindow(extra);
    EXPECT_FALSE(IsWindow(extra));
    // The thread keeps its listed window.
    EXPECT_TRUE(TMessageWindowThread::isThreadRunning());
    EXPECT_TRUE(IsWindow(hwnd(w)));
    TMessageWindowThread::destroyWindow(w);
    EXPECT_FALSE(TMessageWindowThread::isThreadRunning());
}

TEST_F(MessageWindowWin32Test, ThreadEndedByQuitIsReplacedByAFreshOne)
{
    RecordingWindowListener listener;
    TWindowHandle w = TMessageWindowThread::createWindow(&listener, BString("quit"));
    ASSERT_NE(w, nullptr);
    const DWORD threadId = GetWindowThreadProcessId(hwnd(w), nullptr);
    ASSERT_TRUE(PostThreadMessageW(threadId, WM_QUIT, 0, 0));
    // The loop ends and takes its windows with it.
    ASSERT_TRUE(waitFor([] { return !TMessageWindowThread::isThreadRunning(); }));
    EXPECT_TRUE(waitFor([&] { return !IsWindow(hwnd(w)); }));

    const int startedBefore = TMessageWindowThread::threadsStarted();
    RecordingWindowListener fresh;
    TWindowHandle again = TMessageWindowThread::createWindow(&fresh, BString("fresh"));
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(TMessageWindowThread::threadsStarted(), startedBefore + 1);
    EXPECT_NE(GetWindowThreadProcessId(hwnd(again), nullptr), threadId);
    ASSERT_TRUE(PostMessageW(hwnd(again), WM_DEVICECHANGE, 0x0007, 0));
    EXPECT_TRUE(fresh.waitForCount(WM_DEVICECHANGE, 1));

    // The old handle is stale now; destroying it must do no harm.
    TMessageWindowThread::destroyWindow(w);
    EXPECT_TRUE(IsWindow(hwnd(again)));
    TMessageWindowThread::destroyWindow(again);
}
} // namespace
