// The Linux device watch of the message window thread: changes in the ALSA device directory
// (a device node appearing, vanishing or getting its permissions) and the directory itself
// appearing later reach every window as a device-change message.
#include "base/TMessageWindowThread.h"
#include "support/RecordingWindowListener.h"
#include "support/TempDirectory.h"
#include "support/WaitFor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

using lumo_test::RecordingWindowListener;
using lumo_test::TempDirectory;
using lumo_test::waitFor;
using lumo_test::writeBytes;

namespace
{
// Points the next thread at a private directory and restores the system's afterwards.
class DeviceDirectoryWatchTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(waitFor([] { return !TMessageWindowThread::isThreadRunning(); }));
        TMessageWindowThread::setDeviceDirectory(BString(temp.path("snd").string()));
    }
    void TearDown() override { TMessageWindowThread::setDeviceDirectory(BString("/dev/snd")); }

    // Opens a window on a fresh thread (which reads the directory setting when it starts).
    TWindowHandle openWindow(RecordingWindowListener& listener)
    {
        const int before = TMessageWindowThread::threadsStarted();
        TWindowHandle w = TMessageWindowThread::createWindow(&listener, BString("watch"));
        EXPECT_EQ(TMessageWindowThread::threadsStarted(), before + 1);
        return w;
    }

    TempDirectory temp;
};

TEST_F(DeviceDirectoryWatchTest, NodeCreatedAndRemovedInTheDeviceDirectoryIsADeviceChange)
{
    std::filesystem::create_directory(temp.path("snd"));
    RecordingWindowListener listener;
    TWindowHandle w = openWindow(listener);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(listener.count(kWmDeviceChange), 0);

    writeBytes(temp.path("snd/midiC1D0"), "");
    ASSERT_TRUE(listener.waitForCount(kWmDeviceChange, 1));
    const auto call = listener.callsOf(kWmDeviceChange).front();
    EXPECT_EQ(call.window, w);
    EXPECT_EQ(call.wParam, kDeviceNodesChanged);
    EXPECT_EQ(call.thread, listener.creationThread());

    const int afterCreate = listener.count(kWmDeviceChange);
    std::filesystem::remove(temp.path("snd/midiC1D0"));
    EXPECT_TRUE(listener.waitForCount(kWmDeviceChange, afterCreate + 1));

    TMessageWindowThread::destroyWindow(w);
}

TEST_F(DeviceDirectoryWatchTest, PermissionChangeOfANodeIsADeviceChange)
{
    // udev makes a new node accessible only after creating it; that is when it can be opened.
    std::filesystem::create_directory(temp.path("snd"));
    writeBytes(temp.path("snd/midiC2D0"), "");
    RecordingWindowListener listener;
    TWindowHandle w = openWindow(listener);
    ASSERT_NE(w, nullptr);

    std::filesystem::permissions(temp.path("snd/midiC2D0"), std::filesystem::perms::owner_read);
    EXPECT_TRUE(listener.waitForCount(kWmDeviceChange, 1));
    TMessageWindowThread::destroyWindow(w);
}

TEST_F(DeviceDirectoryWatchTest, DirectoryAppearingLaterIsWatchedFromThenOn)
{
    // No sound device at all yet: the directory does not exist when the thread starts.
    RecordingWindowListener listener;
    TWindowHandle w = openWindow(listener);
    ASSERT_NE(w, nullptr);

    std::filesystem::create_directory(temp.path("snd"));
    ASSERT_TRUE(listener.waitForCount(kWmDeviceChange, 1));
    const int afterDirectory = listener.count(kWmDeviceChange);
    writeBytes(temp.path("snd/controlC0"), "");
    ASSERT_TRUE(listener.waitForCount(kWmDeviceChange, afterDirectory + 1));

    // Removed and created again: still watched.
    std::filesystem::remove_all(temp.path("snd"));
    ASSERT_TRUE(waitFor([&] { return listener.count(kWmDeviceChange) > afterDirectory + 1; }));
    std::filesystem::create_directory(temp.path("snd"));
    const int beforeNode = listener.count(kWmDeviceChange);
    writeBytes(temp.path("snd/midiC3D0"), "");
    EXPECT_TRUE(listener.waitForCount(kWmDeviceChange, beforeNode + 1));

    TMessageWindowThread::destroyWindow(w);
}

TEST_F(DeviceDirectoryWatchTest, UnrelatedEntriesBesideTheDirectoryAreIgnored)
{
    std::filesystem::create_directory(temp.path("snd"));
    RecordingWindowListener listener;
    TWindowHandle w = openWindow(listener);
    ASSERT_NE(w, nullptr);

    // Like terminals coming and going in /dev: the parent is watched only for the directory.
    writeBytes(temp.path("pts0"), "");
    std::filesystem::create_directory(temp.path("other"));
    std::filesystem::remove(temp.path("pts0"));
    // Proof that the thread has handled the events above: a later change arrives alone.
    writeBytes(temp.path("snd/seq"), "");
    ASSERT_TRUE(listener.waitForCount(kWmDeviceChange, 1));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(listener.count(kWmDeviceChange), 1);
    TMessageWindowThread::destroyWindow(w);
}

TEST_F(DeviceDirectoryWatchTest, MissingParentDirectoryStillGivesAWorkingThread)
{
    TMessageWindowThread::setDeviceDirectory(BString(temp.path("no/such/snd").string()));
    RecordingWindowListener listener;
    TWindowHandle w = openWindow(listener);
    ASSERT_NE(w, nullptr);
    // Explicit notifications (from a backend) still arrive.
    ASSERT_TRUE(TMessageWindowThread::notifyDeviceListChanged());
    EXPECT_TRUE(listener.waitForCount(kWmDeviceChange, 1));
    TMessageWindowThread::destroyWindow(w);
}
} // namespace

namespace
{
// Destroys another window from inside its first device-change message.
class DestroyingListener : public TWndMessageListener
{
public:
    void onWindowMessage(TWindowHandle, unsigned int message, std::uintptr_t, std::intptr_t, int*) override
    {
        if (message != kWmDeviceChange)
            return;
        if (TWindowHandle target = victim.exchange(nullptr))
            TMessageWindowThread::destroyWindow(target);
        ++calls;
    }
    std::atomic<TWindowHandle> victim{nullptr};
    std::atomic<int> calls{0};
};

// Stays inside its first device-change message until the test lets it go.
class StuckListener : public TWndMessageListener
{
public:
    void onWindowMessage(TWindowHandle, unsigned int message, std::uintptr_t, std::intptr_t, int*) override
    {
        if (message != kWmDeviceChange || entered.exchange(true))
            return;
        waitFor([this] { return release.load(); }, 60000);
    }
    std::atomic<bool> entered{false};
    std::atomic<bool> release{false};
};

class MessageWindowLifetimeTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(waitFor([] { return !TMessageWindowThread::isThreadRunning(); })); }
};
} // namespace

TEST_F(MessageWindowLifetimeTest, ListenerThatDestroysALaterWindowDuringDeliveryLeavesItUntold)
{
    DestroyingListener first;
    RecordingWindowListener second;
    TWindowHandle a = TMessageWindowThread::createWindow(&first, BString("destroyer"));
    TWindowHandle b = TMessageWindowThread::createWindow(&second, BString("victim"));
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    first.victim = b;

    ASSERT_TRUE(TMessageWindowThread::notifyDeviceListChanged());
    ASSERT_TRUE(waitFor([&] { return first.calls.load() == 1; }));
    ASSERT_TRUE(TMessageWindowThread::notifyDeviceListChanged());
    ASSERT_TRUE(waitFor([&] { return first.calls.load() == 2; }));
    EXPECT_EQ(second.count(kWmDeviceChange), 0) << "a window destroyed during a delivery hears nothing of it";
    TMessageWindowThread::destroyWindow(a);
}

TEST_F(MessageWindowLifetimeTest, ThreadGivenUpByStopKeepsItsObjectUntilItEndsThenFreesIt)
{
    ASSERT_EQ(TMessageWindowThread::threadObjects(), 0);
    StuckListener listener;
    TWindowHandle window = TMessageWindowThread::createWindow(&listener, BString("stuck"));
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(TMessageWindowThread::notifyDeviceListChanged());
    ASSERT_TRUE(waitFor([&] { return listener.entered.load(); }));

    // The last window goes while its thread is stuck: the stop gives up after about 2 s.
    TMessageWindowThread::destroyWindow(window);
    EXPECT_FALSE(TMessageWindowThread::isThreadRunning());
    EXPECT_EQ(TMessageWindowThread::threadObjects(), 1) << "the abandoned thread still runs in its object";

    listener.release = true;
    EXPECT_TRUE(waitFor([] { return TMessageWindowThread::threadObjects() == 0; }, 20000))
        << "the object is freed once its thread has ended";
}
