// Lifecycle of the alias manager and the router singletons: whichever of the three MIDI
// singletons is asked for first, all three come up wired to each other; after shutdown they
// refuse to come back. Each case needs a fresh process, so it runs in a child of its own.
#include "base/AutoDelete.h"
#include "base/Exception.h"
#include "midi/MidiManager.h"
#include "midi/TMidiAliasManager.h"
#include "midi/TMidiRouter.h"
#include "support/ChildProcessScenario.h"
#include "support/VirtualMidiBackend.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

namespace
{
using lumo_test::check;
using lumo_test::finish;
using lumo_test::throwsWithText;

// The three singletons know each other: an alias bound to a device resolves, and a route over
// it forwards data.
void checkWiring(const std::function<void(VirtualMidiFactory&, int, int)>& andThen = nullptr)
{
    MidiManager* manager = MidiManager::peekInstance();
    TMidiAliasManager* aliases = TMidiAliasManager::peekInstance();
    TMidiRouter* router = TMidiRouter::peekInstance();
    check(manager != nullptr && aliases != nullptr && router != nullptr, "all three exist");
    if (manager == nullptr || aliases == nullptr || router == nullptr)
        finish();

    VirtualMidiFactory factory;
    factory.setRescanOnChange(true);
    const int in = factory.addPort(true, "Wired In");
    const int out = factory.addPort(false, "Wired Out");
    manager->addFactory(&factory);
    manager->start();
    manager->updateDevices(true, true);
    check(aliases->findAlias("Wired In", TMidiAlias::kInput) >= 0, "the alias manager hears of new devices");

    TMidiAlias* source = aliases->getAlias("Source", TMidiAlias::kInput, true, -1);
    TMidiAlias* target = aliases->getAlias("Target", TMidiAlias::kOutput, true, -1);
    aliases->beginBatch();
    aliases->setAlias("Source", TMidiAlias::kInput, "Source", "Wired In", false);
    aliases->setAlias("Target", TMidiAlias::kOutput, "Target", "Wired Out", false);
    aliases->endBatch();
    check(source->deviceIndex.load() == manager->findDeviceByName("Wired In", true), "the manager resolves aliases");
    check(router->addRoute(target, source) >= 0, "the route is added");
    manager->openInput(manager->findDeviceByName("Wired In", true));
    manager->openOutput(manager->findDeviceByName("Wired Out", false));
    factory.feedShort(in, 0x90, 1, 2);
    check(factory.sentCount(out) == 1, "the route forwards");
    if (andThen)
        andThen(factory, in, out);
    manager->removeFactory(&factory);
}

void checkShutdown()
{
    AutoDelete::deleteAll();
    check(TMidiAliasManager::peekInstance() == nullptr, "no alias manager after shutdown");
    check(TMidiRouter::peekInstance() == nullptr, "no router after shutdown");
    check(throwsWithText([] { TMidiAliasManager::getInstance(); }, "Cannot re-instantiate TMidiAliasManager!"),
          "the alias manager refuses to come back");
    check(throwsWithText([] { TMidiRouter::getInstance(); }, "Cannot re-instanciate TMidiRouter!"),
          "the router refuses to come back");
}

void aliasManagerFirst()
{
    check(MidiManager::peekInstance() == nullptr, "a fresh process");
    TMidiAliasManager::getInstance();
    checkWiring();
    checkShutdown();
    finish();
}

void routerFirst()
{
    TMidiRouter::getInstance();
    checkWiring();
    checkShutdown();
    finish();
}

void managerFirst()
{
    MidiManager::getInstance();
    checkWiring();
    checkShutdown();
    finish();
}

// At shutdown the alias manager may go before the router and the MIDI manager (it is the
// first of them the application asks for); nothing may read its aliases afterwards.
void aliasesGoFirst()
{
    TMidiAliasManager::getInstance();
    checkWiring([](VirtualMidiFactory& factory, int in, int out) {
        MidiManager* manager = MidiManager::peekInstance();
        const int inIndex = manager->findDeviceByName("Wired In", true);
        delete TMidiAliasManager::peekInstance();
        TMidiAliasList thru;
        TMidiRouter::peekInstance()->collectThru(thru, inIndex);
        check(thru.Count() == 0, "the router holds no route over deleted aliases");
        factory.feedShort(in, 0x90, 3, 4);
        check(factory.sentCount(out) == 1, "nothing is forwarded over deleted aliases");
        manager->updateDevices(true, true);
    });
    checkShutdown();
    finish();
}
} // namespace

TEST(AliasSingletons, AliasManagerAskedFirstBringsUpTheWholeMidiLayerAndShutsDown)
{
    lumo_test::expectScenarioPasses(aliasManagerFirst);
}

TEST(AliasSingletons, RouterAskedFirstBringsUpTheWholeMidiLayerAndShutsDown)
{
    lumo_test::expectScenarioPasses(routerFirst);
}

TEST(AliasSingletons, ManagerAskedFirstBringsUpTheWholeMidiLayerAndShutsDown)
{
    lumo_test::expectScenarioPasses(managerFirst);
}

TEST(AliasSingletons, AliasManagerGoingFirstLeavesNoRouteOverItsAliases)
{
    lumo_test::expectScenarioPasses(aliasesGoFirst);
}
