// Removing a device-list or device-control listener while the manager may be calling it: the
// removal waits for a call under way on another thread, so the listener may be destroyed right
// after, and a listener may remove itself from inside its own call.
#include "support/MidiManagerFixture.h"
#include "support/WaitFor.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

using lumo_test::waitFor;

namespace
{
enum class Kind
{
    DeviceList,
    DeviceControl
};

// Both kinds of listener in one; what happens inside a call is up to the test.
class ProbeListener : public TMidiDeviceListListener, public MidiManagerDeviceControlListener
{
public:
    void deviceListChanged() override { called(); }
    void deviceWillOpen(int, bool) override { called(); }

    std::function<void()> inside;
    std::atomic<int> calls{0};

private:
    void called()
    {
        ++calls;
        if (inside)
            inside();
    }
};

class ListenerRemovalTest : public MidiManagerFixture, public ::testing::WithParamInterface<Kind>
{
protected:
    void add(ProbeListener* listener)
    {
        if (GetParam() == Kind::DeviceList)
            manager->addDeviceListListener(listener);
        else
            manager->addDeviceControlListener(listener);
    }

    void remove(ProbeListener* listener)
    {
        if (GetParam() == Kind::DeviceList)
            manager->removeDeviceListListener(listener);
        else
            manager->removeDeviceControlListener(listener);
    }

    // Makes the manager call the listener kind under test once, on the calling thread.
    void trigger()
    {
        if (GetParam() == Kind::DeviceList)
        {
            manager->updateDevices(true, true);
            return;
        }
        manager->closeInput(input, true);
        manager->openInput(input);
    }

    void SetUp() override
    {
        MidiManagerFixture::SetUp();
        factory.addPort(true, name("Probe In"));
        input = indexOf(name("Probe In"), true);
        ASSERT_GE(input, 0);
    }

    int input = -1;
};

std::string kindName(const ::testing::TestParamInfo<Kind>& info)
{
    return info.param == Kind::DeviceList ? "DeviceList" : "DeviceControl";
}
} // namespace

TEST_P(ListenerRemovalTest, RemovalWaitsForACallUnderWayOnAnotherThread)
{
    auto listener = std::make_unique<ProbeListener>();
    std::atomic<bool> entered{false};
    std::atomic<bool> release{false};
    std::atomic<bool> returned{false};
    listener->inside = [&] {
        if (entered.exchange(true))
            return;
        waitFor([&] { return release.load(); }, 20000);
        returned = true;
    };
    add(listener.get());

    std::thread caller([this] { trigger(); });
    ASSERT_TRUE(waitFor([&] { return entered.load(); }, 20000));

    std::atomic<bool> removed{false};
    std::thread remover([&] {
        remove(listener.get());
        removed = true;
    });
    EXPECT_FALSE(waitFor([&] { return removed.load(); }, 300)) << "removal returned while the call was under way";
    release = true;
    EXPECT_TRUE(waitFor([&] { return removed.load(); }, 20000));
    EXPECT_TRUE(returned.load()) << "the call had returned before the removal did";
    remover.join();
    const int calls = listener->calls.load();
    listener.reset(); // what the owner of a listener does right after removing it
    caller.join();
    EXPECT_GE(calls, 1);
}

TEST_P(ListenerRemovalTest, ListenerMayRemoveItselfInsideItsOwnCall)
{
    ProbeListener listener;
    listener.inside = [&] { remove(&listener); };
    add(&listener);
    trigger();
    EXPECT_EQ(listener.calls.load(), 1) << "removed during its first call, told nothing more";
    trigger();
    EXPECT_EQ(listener.calls.load(), 1);
}

INSTANTIATE_TEST_SUITE_P(BothListenerKinds, ListenerRemovalTest,
                         ::testing::Values(Kind::DeviceList, Kind::DeviceControl), kindName);
