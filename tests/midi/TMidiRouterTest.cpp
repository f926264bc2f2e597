// The thru router over the real MIDI manager and the virtual backend: routes connect aliases,
// so re-binding an alias moves the thru source or target without touching the router, and
// each distinct output alias gets a message once.
#include "support/MidiManagerFixture.h"

#include "support/BStringPrinting.h"

#include <atomic>
#include <string>
#include <thread>

namespace
{
class CountingRouteListener : public TMidiRouteChangeListener
{
public:
    void routesChanged() override { ++calls; }
    std::atomic<int> calls {0};
};

class RouterTest : public MidiManagerFixture
{
protected:
    void SetUp() override
    {
        MidiManagerFixture::SetUp();
        aliases = TMidiAliasManager::getInstance();
        router = TMidiRouter::getInstance();
        router->addListener(&routes);
    }
    void TearDown() override
    {
        router->removeListener(&routes);
        MidiManagerFixture::TearDown();
    }

    // An open input or output port of this test; returns the port id.
    int openPort(bool isInput, const char* base)
    {
        const int port = factory.addPort(isInput, name(base));
        const int index = indexOf(name(base), isInput);
        EXPECT_GE(index, 0);
        if (isInput)
            manager->openInput(index);
        else
            manager->openOutput(index);
        EXPECT_TRUE(factory.isPortOpen(port));
        return port;
    }

    TMidiAlias* alias(const char* base, int direction, const BString& device = BString())
    {
        TMidiAlias* a = aliases->getAlias(name(base), direction, true, -1);
        aliases->setAlias(name(base), direction, name(base), device, false);
        return a;
    }

    void bind(const char* base, int direction, const BString& device)
    {
        aliases->setAlias(name(base), direction, name(base), device, false);
    }

    TMidiAliasManager* aliases = nullptr;
    TMidiRouter* router = nullptr;
    CountingRouteListener routes;
};

TEST_F(RouterTest, RoutesBetweenWrongDirectionsAreRefusedWithoutNotice)
{
    TMidiAlias* in = alias("In", TMidiAlias::kInput);
    TMidiAlias* out = alias("Out", TMidiAlias::kOutput);
    const int before = router->routeCount();

    EXPECT_EQ(router->addRoute(in, in), -1) << "an input alias as output";
    EXPECT_EQ(router->addRoute(out, out), -1) << "an output alias as input";
    EXPECT_EQ(router->addRoute(in, out), -1) << "swapped";
    EXPECT_EQ(router->addRoute(nullptr, in), -1);
    EXPECT_EQ(router->addRoute(out, nullptr), -1);
    EXPECT_EQ(router->routeCount(), before);
    EXPECT_EQ(routes.calls.load(), 0);
    EXPECT_EQ(router->findRoute(out, nullptr), -1);
}

TEST_F(RouterTest, AddingTheSameRouteTwiceGivesTheSameIndexAndOneNotice)
{
    TMidiAlias* in = alias("In", TMidiAlias::kInput);
    TMidiAlias* out = alias("Out", TMidiAlias::kOutput);
    const int before = router->routeCount();

    const int index = router->addRoute(out, in);
    EXPECT_EQ(index, before) << "the number of routes before the append";
    EXPECT_EQ(routes.calls.load(), 1);
    EXPECT_EQ(router->addRoute(out, in), index);
    EXPECT_EQ(routes.calls.load(), 1);
    EXPECT_EQ(router->routeCount(), before + 1);
    EXPECT_EQ(router->findRoute(out, in), index);

    // A direction-0 alias is accepted as either end.
    TMidiAlias* loose = aliases->getAlias(name("Loose"), TMidiAlias::kNone, true, -1);
    EXPECT_EQ(router->addRoute(loose, in), before + 1);
    EXPECT_EQ(routes.calls.load(), 2);
}

TEST_F(RouterTest, RouteFollowsItsAliasesWhenTheyAreRebound)
{
    const int in1 = openPort(true, "In 1");
    const int in2 = openPort(true, "In 2");
    const int out1 = openPort(false, "Out 1");
    const int out2 = openPort(false, "Out 2");
    TMidiAlias* source = alias("Source", TMidiAlias::kInput);
    TMidiAlias* target = alias("Target", TMidiAlias::kOutput, name("Out 1"));
    ASSERT_GE(router->addRoute(target, source), 0);
    const int routeNotices = routes.calls.load();

    // The input alias names no device yet: nothing is forwarded.
    ASSERT_TRUE(factory.feedShort(in1, 0x90, 60, 100));
    EXPECT_EQ(factory.sentCount(out1), 0u);

    // Binding the alias is enough; the router is not asked again.
    bind("Source", TMidiAlias::kInput, name("In 1"));
    ASSERT_TRUE(factory.feedShort(in1, 0x90, 61, 100));
    ASSERT_EQ(factory.sentCount(out1), 1u);
    EXPECT_EQ(factory.sentTo(out1)[0].packed, 0x643D90u);

    // The target moves with its alias.
    bind("Target", TMidiAlias::kOutput, name("Out 2"));
    ASSERT_TRUE(factory.feedShort(in1, 0x90, 62, 100));
    EXPECT_EQ(factory.sentCount(out1), 1u);
    EXPECT_EQ(factory.sentCount(out2), 1u);

    // So does the source.
    bind("Source", TMidiAlias::kInput, name("In 2"));
    ASSERT_TRUE(factory.feedShort(in1, 0x90, 63, 100));
    ASSERT_TRUE(factory.feedShort(in2, 0x90, 64, 100));
    EXPECT_EQ(factory.sentCount(out2), 2u);
    EXPECT_EQ(factory.sentTo(out2)[1].packed, 0x644090u);

    // An alias bound to a device that is not there forwards nothing.
    bind("Target", TMidiAlias::kOutput, name("Nowhere"));
    ASSERT_TRUE(factory.feedShort(in2, 0x90, 65, 100));
    EXPECT_EQ(factory.sentCount(out1) + factory.sentCount(out2), 3u);
    EXPECT_GE(router->findRoute(target, source), 0);
    EXPECT_EQ(routes.calls.load(), routeNotices) << "re-binding does not change routes";
}

TEST_F(RouterTest, SameDeviceThroughTwoInputAliasesIsForwardedOncePerOutputAlias)
{
    const int in = openPort(true, "Keys");
    const int out1 = openPort(false, "Synth");
    const int out2 = openPort(false, "Drums");
    TMidiAlias* a = alias("A", TMidiAlias::kInput, name("Keys"));
    TMidiAlias* b = alias("B", TMidiAlias::kInput, name("KEYS")); // bindings ignore case
    TMidiAlias* x = alias("X", TMidiAlias::kOutput, name("Synth"));
    TMidiAlias* y = alias("Y", TMidiAlias::kOutput, name("Drums"));
    router->addRoute(x, a);
    router->addRoute(x, b);
    router->addRoute(y, a);

    const int inIndex = manager->findDeviceByName(name("Keys"), true);
    TMidiAliasList thru;
    router->collectThru(thru, inIndex);
    ASSERT_EQ(thru.Count(), 2);
    EXPECT_EQ(thru[0], x);
    EXPECT_EQ(thru[1], y);

    ASSERT_TRUE(factory.feedShort(in, 0xC0, 5));
    EXPECT_EQ(factory.sentCount(out1), 1u);
    EXPECT_EQ(factory.sentCount(out2), 1u);

    router->collectThru(thru, -1);
    EXPECT_EQ(thru.Count(), 0);
}

TEST_F(RouterTest, RouteWhoseAliasLosesItsDirectionIsDisabled)
{
    const int in = openPort(true, "In");
    const int out = openPort(false, "Out");
    TMidiAlias* source = alias("Source", TMidiAlias::kInput, name("In"));
    TMidiAlias* target = alias("Target", TMidiAlias::kOutput, name("Out"));
    const int index = router->addRoute(target, source);
    ASSERT_TRUE(factory.feedShort(in, 0xB0, 1, 2));
    ASSERT_EQ(factory.sentCount(out), 1u);
    const int notices = routes.calls.load();

    target->direction = TMidiAlias::kNone;
    bind("Source", TMidiAlias::kInput, name("IN")); // any alias change lets the router look
    EXPECT_EQ(routes.calls.load(), notices + 1);
    EXPECT_EQ(router->findRoute(target, source), -1) << "the route lost its input";
    ASSERT_TRUE(factory.feedShort(in, 0xB0, 1, 3));
    EXPECT_EQ(factory.sentCount(out), 1u);

    // Routes are never removed, and a disabled route stays disabled.
    target->direction = TMidiAlias::kOutput;
    bind("Source", TMidiAlias::kInput, name("In"));
    ASSERT_TRUE(factory.feedShort(in, 0xB0, 1, 4));
    EXPECT_EQ(factory.sentCount(out), 1u);
    EXPECT_GE(router->routeCount(), index + 1);
    // Adding it again makes a new, working route.
    const int again = router->addRoute(target, source);
    EXPECT_EQ(again, router->routeCount() - 1);
    EXPECT_NE(again, index);
    ASSERT_TRUE(factory.feedShort(in, 0xB0, 1, 5));
    EXPECT_EQ(factory.sentCount(out), 2u);
}

// Thru lists are rebuilt on the device-change thread while the GUI thread adds routes and
// re-binds their aliases.
TEST_F(RouterTest, RoutesAddedWhileDevicesChangeEndUpForwarding)
{
    const int in = openPort(true, "In");
    const int out = openPort(false, "Out");
    std::atomic<bool> done {false};
    std::thread devices([&] {
        for (int round = 0; !done.load() && round < 200; ++round)
        {
            const int port = factory.addPort(round % 2 == 0, name(("Churn " + std::to_string(round)).c_str()));
            manager->updateDevices(true, true);
            factory.removePort(port);
        }
    });
    for (int i = 0; i < 30; ++i)
    {
        const std::string n = std::to_string(i);
        TMidiAlias* source = alias(("Src " + n).c_str(), TMidiAlias::kInput, name("In"));
        TMidiAlias* target = alias(("Dst " + n).c_str(), TMidiAlias::kOutput, i % 2 == 0 ? name("Out") : name("Gone"));
        router->addRoute(target, source);
    }
    done = true;
    devices.join();
    manager->updateDevices(true, true);

    // Fifteen routes target aliases bound to "Out", fifteen to an absent device.
    TMidiAliasList thru;
    router->collectThru(thru, manager->findDeviceByName(name("In"), true));
    int present = 0;
    for (TMidiAlias* target : thru)
        present += target->deviceIndex.load() >= 0 ? 1 : 0;
    EXPECT_EQ(thru.Count(), 30);
    EXPECT_EQ(present, 15);
    ASSERT_TRUE(factory.feedShort(in, 0xE0, 0, 64));
    EXPECT_GE(factory.sentCount(out), 1u);
}
} // namespace
