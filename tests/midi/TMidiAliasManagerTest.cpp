// The alias manager over the real MIDI manager and the virtual backend: finding and creating
// aliases, re-binding, change batches and the order of listener calls, automatic aliases per
// device, and the "MIDI.alias" section of the settings file byte for byte.
//
// The alias manager is one per process and keeps every alias ever made, so each test names its
// aliases after itself, and persistence tests first hide the aliases of other tests (hidden
// aliases are never stored).
#include "support/MidiManagerFixture.h"

#include "base/TIniFile.h"
#include "support/BStringPrinting.h"
#include "support/TempDirectory.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using lumo_test::readBytes;
using lumo_test::TempDirectory;
using lumo_test::writeBytes;

namespace
{
// Records its calls in a log shared with other listeners, so the order across listeners shows.
class LoggingAliasListener : public TMidiAliasChangeListener
{
public:
    LoggingAliasListener(std::vector<std::string>& log, std::string id) : log(log), id(std::move(id)) {}

    void aliasesChanged() override
    {
        {
            std::lock_guard<std::mutex> guard(mutex);
            log.push_back(id);
            ++calls;
        }
        if (hook)
            hook();
    }

    int count() const
    {
        std::lock_guard<std::mutex> guard(mutex);
        return calls;
    }

    std::function<void()> hook;

private:
    mutable std::mutex mutex;
    std::vector<std::string>& log;
    std::string id;
    int calls = 0;
};

class AliasManagerTest : public MidiManagerFixture
{
protected:
    void SetUp() override
    {
        MidiManagerFixture::SetUp();
        aliases = TMidiAliasManager::getInstance();
    }

    void TearDown() override
    {
        for (TMidiAliasChangeListener* l : registered)
            aliases->removeListener(l);
        aliases->setPersistent(true);
        MidiManagerFixture::TearDown();
    }

    void listen(TMidiAliasChangeListener* l)
    {
        aliases->addListener(l);
        registered.push_back(l);
    }

    // Keeps aliases of earlier tests out of what this test saves.
    void hideOtherAliases()
    {
        TMidiAliasList all;
        aliases->copyAliases(all);
        for (TMidiAlias* a : all)
            a->setFlag(TMidiAlias::kHidden, true);
    }

    std::string iniPath(const char* file) const { return temp.path(file).string(); }

    TMidiAliasManager* aliases = nullptr;
    std::vector<TMidiAliasChangeListener*> registered;
    TempDirectory temp;
};

TEST_F(AliasManagerTest, GetAliasCreatesOnceAndMarksTheApplicationsRequest)
{
    const BString input = name("MIDI Input");
    EXPECT_EQ(aliases->findAlias(input, TMidiAlias::kInput), -1);
    EXPECT_EQ(aliases->getAlias(input, TMidiAlias::kInput, false, -1), nullptr);

    TMidiAlias* a = aliases->getAlias(input, TMidiAlias::kInput, true, -1);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->name(), input);
    EXPECT_TRUE(a->deviceName().IsEmpty());
    EXPECT_EQ(a->flags.load(), TMidiAlias::kRequested);
    EXPECT_EQ(a->deviceIndex.load(), -1);

    EXPECT_EQ(aliases->getAlias(input, TMidiAlias::kInput, true, -1), a);
    EXPECT_EQ(aliases->getAlias(input.ToUpper(), TMidiAlias::kInput, false, -1), a) << "names ignore case";
    EXPECT_EQ(aliases->aliasAt(aliases->findAlias(input.ToLower(), TMidiAlias::kInput)), a);

    // The same name in the other direction is another alias.
    TMidiAlias* out = aliases->getAlias(input, TMidiAlias::kOutput, true, 0);
    ASSERT_NE(out, nullptr);
    EXPECT_NE(out, a);
    EXPECT_EQ(out->flags.load(), 0) << "an explicit flag value replaces the request mark";
}

TEST_F(AliasManagerTest, SetAliasRebindsRenamesAndReportsOnlyRealChanges)
{
    std::vector<std::string> log;
    LoggingAliasListener app(log, "app");
    listen(&app);
    const BString thru = name("Thru");

    EXPECT_FALSE(aliases->setAlias(thru, TMidiAlias::kOutput, thru, name("Dev A"), false)) << "missing, no create";
    EXPECT_EQ(aliases->findAlias(thru, TMidiAlias::kOutput), -1);
    EXPECT_EQ(app.count(), 0);

    EXPECT_TRUE(aliases->setAlias(thru, TMidiAlias::kOutput, thru, name("Dev A"), true));
    EXPECT_EQ(app.count(), 1);
    TMidiAlias* a = aliases->getAlias(thru, TMidiAlias::kOutput, false, -1);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->deviceName(), name("Dev A"));

    EXPECT_FALSE(aliases->setAlias(thru, TMidiAlias::kOutput, thru, name("Dev A"), true)) << "unchanged";
    EXPECT_EQ(app.count(), 1);

    // The device name is compared exactly: another spelling is a new binding.
    EXPECT_TRUE(aliases->setAlias(thru, TMidiAlias::kOutput, thru, name("DEV A"), false));
    EXPECT_EQ(a->deviceName(), name("DEV A"));
    EXPECT_EQ(app.count(), 2);

    // Found ignoring case, renamed to the new spelling.
    EXPECT_TRUE(aliases->setAlias(name("Thru Out"), TMidiAlias::kOutput, thru.ToUpper(), name("DEV A"), false));
    EXPECT_EQ(a->name(), name("Thru Out"));
    EXPECT_EQ(app.count(), 3);
}

TEST_F(AliasManagerTest, AlternativeNamesFindAliasesAndKeepTheirSpelling)
{
    const BString from = name("Pfx ");
    const BString to = name("Alt ");
    aliases->addPrefix(from, to);
    TMidiAlias* a = aliases->getAlias(from + "Keys", TMidiAlias::kInput, true, 0);
    ASSERT_NE(a, nullptr);
    aliases->updateAltNames();
    EXPECT_EQ(a->altName(), to + "Keys");
    EXPECT_EQ(aliases->getAlias(to + "keys", TMidiAlias::kInput, false, -1), a);

    // Re-bound through the alternative name without renaming: the name becomes that spelling.
    EXPECT_TRUE(aliases->setAlias(to + "Keys", TMidiAlias::kInput, to + "Keys", name("Piano"), false));
    EXPECT_EQ(a->name(), to + "Keys");
    EXPECT_EQ(a->deviceName(), name("Piano"));
    // Asked again with the same alternative spelling and device: nothing changes.
    aliases->updateAltNames();
    EXPECT_EQ(a->altName(), BString()) << "the new name has no prefix of the table";
}

TEST_F(AliasManagerTest, BatchDeliversOneNotificationPerListener)
{
    std::vector<std::string> log;
    LoggingAliasListener first(log, "first");
    LoggingAliasListener second(log, "second");
    listen(&first);
    listen(&second);

    aliases->beginBatch();
    aliases->getAlias(name("One"), TMidiAlias::kInput, true, -1);
    aliases->addAlias(0, name("Two"), name("Dev"), TMidiAlias::kOutput);
    aliases->beginBatch(); // nested
    aliases->setAlias(name("One"), TMidiAlias::kInput, name("One"), name("Dev"), false);
    aliases->endBatch();
    EXPECT_EQ(first.count(), 0) << "nothing is told while the outer batch is open";
    aliases->endBatch();
    EXPECT_EQ(first.count(), 1);
    EXPECT_EQ(second.count(), 1);

    // A batch without changes tells nobody.
    aliases->beginBatch();
    aliases->setAlias(name("One"), TMidiAlias::kInput, name("One"), name("Dev"), false);
    aliases->endBatch();
    EXPECT_EQ(first.count(), 1);
    // An unbalanced endBatch does not break the next batch.
    aliases->endBatch();
    aliases->beginBatch();
    aliases->setAlias(name("One"), TMidiAlias::kInput, name("One"), name("Other"), false);
    EXPECT_EQ(first.count(), 1);
    aliases->endBatch();
    EXPECT_EQ(first.count(), 2);
}

TEST_F(AliasManagerTest, ListenersAreToldFirstRegisteredFirstAfterTheManagerResolved)
{
    const BString device = name("Keys");
    factory.addPort(true, device);
    const int index = indexOf(device, true);
    ASSERT_GE(index, 0);

    std::vector<std::string> log;
    LoggingAliasListener first(log, "first");
    LoggingAliasListener second(log, "second");
    listen(&first);
    listen(&second);
    listen(&first); // a second registration is ignored

    // The application opens the device at the alias's index when told, so the MIDI manager
    // (registered before the application) must have resolved it by then.
    TMidiAlias* in = aliases->getAlias(name("In"), TMidiAlias::kInput, true, -1);
    int seenIndex = -2;
    first.hook = [&] { seenIndex = in->deviceIndex.load(); };
    log.clear();
    aliases->setAlias(name("In"), TMidiAlias::kInput, name("In"), device, false);
    EXPECT_EQ(log, (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(seenIndex, index);

    aliases->removeListener(&first);
    log.clear();
    aliases->setAlias(name("In"), TMidiAlias::kInput, name("In"), BString(), false);
    EXPECT_EQ(log, (std::vector<std::string>{"second"}));
    EXPECT_EQ(in->deviceIndex.load(), -1) << "an unbound alias resolves to no device";
}

TEST_F(AliasManagerTest, ChangeMadeByAListenerIsNotSwallowed)
{
    TMidiAlias* a = aliases->getAlias(name("Echo"), TMidiAlias::kOutput, true, -1);
    ASSERT_NE(a, nullptr);
    std::vector<std::string> log;
    LoggingAliasListener app(log, "app");
    listen(&app);
    bool once = false;
    app.hook = [&] {
        if (!once)
        {
            once = true;
            aliases->setAlias(name("Echo"), TMidiAlias::kOutput, name("Echo"), name("Second"), false);
        }
    };
    aliases->beginBatch();
    aliases->setAlias(name("Echo"), TMidiAlias::kOutput, name("Echo"), name("First"), false);
    aliases->endBatch();
    EXPECT_EQ(app.count(), 2);
    EXPECT_EQ(a->deviceName(), name("Second"));
}

TEST_F(AliasManagerTest, CollectForDeviceAndPairs)
{
    TMidiAlias* a = aliases->getAlias(name("LUMO In"), TMidiAlias::kInput, true, -1);
    TMidiAlias* b = aliases->getAlias(name("LUMO Out"), TMidiAlias::kOutput, true, -1);
    TMidiAlias* c = aliases->getAlias(name("Other In"), TMidiAlias::kInput, true, -1);
    TMidiAlias* d = aliases->getAlias(name("LUMO In"), TMidiAlias::kOutput, true, -1);
    aliases->setAlias(name("LUMO In"), TMidiAlias::kInput, name("LUMO In"), name("Box"), false);
    aliases->setAlias(name("Other In"), TMidiAlias::kInput, name("Other In"), name("BOX"), false);
    aliases->setAlias(name("LUMO Out"), TMidiAlias::kOutput, name("LUMO Out"), name("Box"), false);

    TMidiAliasList list;
    list.Add(d); // emptied first
    aliases->collectForDevice(list, name("box"), TMidiAlias::kInput);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list[0], a);
    EXPECT_EQ(list[1], c);
    aliases->collectForDevice(list, name("Box"), TMidiAlias::kOutput);
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list[0], b);

    EXPECT_TRUE(aliases->isPair(a, b));
    EXPECT_TRUE(aliases->isPair(b, a));
    EXPECT_FALSE(aliases->isPair(a, c)) << "same direction";
    EXPECT_FALSE(aliases->isPair(c, b)) << "other base name";
    EXPECT_FALSE(aliases->isPair(a, nullptr));
    // "LUMO In" as an output keeps " In" in its base name.
    EXPECT_FALSE(aliases->isPair(a, d));
    TMidiAlias none(name("LUMO"), BString(), TMidiAlias::kNone);
    EXPECT_FALSE(aliases->isPair(&none, b));
}

TEST_F(AliasManagerTest, EveryDeviceGetsABoundAliasOfItsOwnNameInOneNotification)
{
    std::vector<std::string> log;
    LoggingAliasListener app(log, "app");
    listen(&app);
    // An alias named like a device but bound elsewhere is taken over by the device.
    aliases->addAlias(0, name("Synth"), name("Elsewhere"), TMidiAlias::kOutput);
    const int before = app.count();

    factory.addPort(true, name("Synth"));
    factory.addPort(false, name("Synth"));
    factory.addPort(true, name("Pads:1"));
    ASSERT_TRUE(manager->updateDevices(true, true));
    EXPECT_EQ(app.count(), before + 1);

    TMidiAlias* synthIn = aliases->getAlias(name("Synth"), TMidiAlias::kInput, false, -1);
    TMidiAlias* synthOut = aliases->getAlias(name("Synth"), TMidiAlias::kOutput, false, -1);
    TMidiAlias* pads = aliases->getAlias(name("Pads:1"), TMidiAlias::kInput, false, -1);
    ASSERT_NE(synthIn, nullptr);
    ASSERT_NE(synthOut, nullptr);
    ASSERT_NE(pads, nullptr);
    EXPECT_EQ(synthIn->deviceName(), name("Synth"));
    EXPECT_EQ(synthOut->deviceName(), name("Synth"));
    EXPECT_EQ(pads->deviceName(), name("Pads:1"));
    EXPECT_EQ(synthIn->deviceIndex.load(), manager->findDeviceByName(name("Synth"), true));
    for (TMidiAlias* a : {synthIn, synthOut, pads})
        EXPECT_FALSE(a->hasFlag(TMidiAlias::kAutoMark)) << "the transient mark is cleared";

    // A further pass with nothing new tells nobody.
    const int afterCreate = app.count();
    manager->updateDevices(true, true);
    EXPECT_EQ(app.count(), afterCreate);
}

TEST_F(AliasManagerTest, LoadParsesDirectionPrefixesAndStopsAtTheFirstGap)
{
    writeBytes(iniPath("load.ini"),
               "[MIDI.alias]\n"
               "Name0=" + std::string(name("Synth In").CStr()) + "\n"
               "Device0=1:USB MIDI\n"
               "Name1=" + name("Thru").CStr() + "\n"
               "Device1=2:(NONE PERSISTENT)\n"
               "Name2=" + name("Colon").CStr() + "\n"
               "Device2=1:Port:A\n"
               "Name3=" + name("Bad").CStr() + "\n"
               "Device3=7:USB MIDI\n"
               "Name4=" + name("NoColon").CStr() + "\n"
               "Device4=USB MIDI\n"
               "Name6=" + name("After Gap").CStr() + "\n"
               "Device6=1:USB MIDI\n");
    TIniFile file(BString(iniPath("load.ini").c_str()));
    ASSERT_TRUE(file.Load());
    std::vector<std::string> log;
    LoggingAliasListener app(log, "app");
    listen(&app);
    aliases->load(file);
    EXPECT_EQ(app.count(), 1);

    TMidiAlias* in = aliases->getAlias(name("Synth In"), TMidiAlias::kInput, false, -1);
    ASSERT_NE(in, nullptr);
    EXPECT_EQ(in->deviceName(), BString("USB MIDI"));
    TMidiAlias* thru = aliases->getAlias(name("Thru"), TMidiAlias::kOutput, false, -1);
    ASSERT_NE(thru, nullptr);
    EXPECT_TRUE(thru->deviceName().IsEmpty());
    EXPECT_TRUE(thru->hasFlag(TMidiAlias::kNonePersistent));
    TMidiAlias* colon = aliases->getAlias(name("Colon"), TMidiAlias::kInput, false, -1);
    ASSERT_NE(colon, nullptr);
    EXPECT_EQ(colon->deviceName(), BString("Port:A"));
    for (const char* bad : {"Bad", "NoColon"})
    {
        TMidiAlias* a = aliases->getAlias(name(bad), TMidiAlias::kNone, false, -1);
        ASSERT_NE(a, nullptr) << bad;
        EXPECT_TRUE(a->deviceName().IsEmpty()) << bad;
        EXPECT_EQ(aliases->findAlias(name(bad), TMidiAlias::kInput), -1) << bad;
    }
    EXPECT_EQ(aliases->findAlias(name("After Gap"), TMidiAlias::kInput), -1) << "loading stops at the first gap";
}

TEST_F(AliasManagerTest, LoadRebindsAnExistingAliasInsteadOfDuplicatingIt)
{
    TMidiAlias* existing = aliases->getAlias(name("MIDI Thru"), TMidiAlias::kOutput, true, -1);
    aliases->setAlias(name("MIDI Thru"), TMidiAlias::kOutput, name("MIDI Thru"), name("Old"), false);
    const int count = aliases->aliasCount();

    writeBytes(iniPath("rebind.ini"), "[MIDI.alias]\nName0=" + std::string(name("midi thru").CStr()) +
                                          "\nDevice0=2:(none persistent)\n");
    TIniFile file(BString(iniPath("rebind.ini").c_str()));
    ASSERT_TRUE(file.Load());
    aliases->load(file);
    EXPECT_EQ(aliases->aliasCount(), count);
    EXPECT_TRUE(existing->deviceName().IsEmpty());
    // The explicit "no device" choice comes along; without it the next save would drop it.
    EXPECT_TRUE(existing->hasFlag(TMidiAlias::kNonePersistent));
    EXPECT_TRUE(existing->hasFlag(TMidiAlias::kRequested));
}

TEST_F(AliasManagerTest, SaveRewritesTheSectionByteForByteAndDropsSurplusEntries)
{
    hideOtherAliases();
    aliases->addAlias(-1, BString("Synth In"), BString("USB MIDI"), TMidiAlias::kInput);
    const int thru = aliases->addAlias(TMidiAlias::kNonePersistent, BString("Thru"), BString(), TMidiAlias::kOutput);
    aliases->addAlias(0, BString("Colon"), BString("Port:A"), TMidiAlias::kInput);
    // Not stored: no device and no explicit "none", no direction, hidden.
    aliases->addAlias(0, BString("Unbound"), BString(), TMidiAlias::kOutput);
    aliases->addAlias(0, BString("Directionless"), BString("USB MIDI"), TMidiAlias::kNone);
    aliases->addAlias(TMidiAlias::kHidden, BString("Secret"), BString("USB MIDI"), TMidiAlias::kInput);
    ASSERT_TRUE(aliases->aliasAt(thru)->hasFlag(TMidiAlias::kNonePersistent));

    // An earlier save of five aliases, other sections and a comment in ours.
    writeBytes(iniPath("save.ini"), "[Current]\nMainLeft=120\n\n"
                                    "[MIDI.alias]\n;kept\nName0=A\nDevice0=1:a\nName1=B\nDevice1=1:b\n"
                                    "Name2=C\nDevice2=1:c\nName3=D\nDevice3=1:d\nName4=E\nDevice4=2:e\n\n"
                                    "[Program Names]\n0=Piano\n\n");
    const std::string expected = "[Current]\nMainLeft=120\n\n"
                                 "[MIDI.alias]\n;kept\n"
                                 "Name0=Synth In\nDevice0=1:USB MIDI\n"
                                 "Name1=Thru\nDevice1=2:(none persistent)\n"
                                 "Name2=Colon\nDevice2=1:Port:A\n\n"
                                 "[Program Names]\n0=Piano\n\n";
    // The second save, with nothing changed, writes the same bytes.
    for (int save = 0; save < 2; ++save)
    {
        TIniFile file(BString(iniPath("save.ini").c_str()));
        ASSERT_TRUE(file.Load());
        aliases->save(file);
        ASSERT_TRUE(file.Save());
        EXPECT_EQ(readBytes(iniPath("save.ini")), expected) << "save " << save + 1;
    }
}

TEST_F(AliasManagerTest, SavedAliasesLoadBackUnchangedEvenWithAwkwardNames)
{
    hideOtherAliases();
    // Names a settings line would otherwise mangle: leading blanks, a leading quote, "=".
    const BString names[] = {name("  Spaced"), BString("\"Quoted\" ") + name("x"), name("A=B"),
                             name("Back\\slash")};
    for (const BString& n : names)
        aliases->addAlias(0, n, n + " dev", TMidiAlias::kInput);
    {
        TIniFile file(BString(iniPath("awkward.ini").c_str()));
        aliases->save(file);
        ASSERT_TRUE(file.Save());
    }
    // Hide the originals, load them back as new aliases and compare.
    hideOtherAliases();
    const int before = aliases->aliasCount();
    TIniFile file(BString(iniPath("awkward.ini").c_str()));
    ASSERT_TRUE(file.Load());
    for (const BString& n : names)
    {
        TMidiAlias* a = aliases->getAlias(n, TMidiAlias::kInput, false, -1);
        ASSERT_NE(a, nullptr);
        a->setFlag(TMidiAlias::kHidden, true);
        aliases->setAlias(n, TMidiAlias::kInput, n, BString("changed"), false);
    }
    aliases->load(file);
    EXPECT_EQ(aliases->aliasCount(), before) << "existing aliases are re-bound, not duplicated";
    for (const BString& n : names)
    {
        TMidiAlias* a = aliases->getAlias(n, TMidiAlias::kInput, false, -1);
        ASSERT_NE(a, nullptr) << n.CStr();
        EXPECT_EQ(a->name(), n);
        EXPECT_EQ(a->deviceName(), n + " dev");
    }
}

TEST_F(AliasManagerTest, AliasNamedLikeItsDeviceIsSavedOnlyWhileTheDeviceIsInUse)
{
    hideOtherAliases();
    const BString device = name("Pad");
    const int port = factory.addPort(true, device);
    const int index = indexOf(device, true);
    ASSERT_GE(index, 0);
    ASSERT_NE(aliases->getAlias(device, TMidiAlias::kInput, false, -1), nullptr) << "made automatically";

    auto saved = [&] {
        TIniFile file(BString(iniPath("own.ini").c_str()));
        aliases->save(file);
        return file.ReadString(TMidiAlias::kSection, BString("Name0"), BString("<none>"));
    };
    EXPECT_EQ(saved(), BString("<none>")) << "closed device";
    manager->openInput(index);
    ASSERT_TRUE(factory.isPortOpen(port));
    EXPECT_EQ(saved(), device) << "open device";
    factory.removePort(port);
    manager->updateDevices(true, true);
    ASSERT_EQ(manager->getDevice(index, true)->pending.load(), 1);
    EXPECT_EQ(saved(), device) << "wanted again when it returns";
    manager->closeInput(index, true);
    EXPECT_EQ(saved(), BString("<none>"));
}

TEST_F(AliasManagerTest, NothingIsReadOrWrittenWhenNotPersistent)
{
    hideOtherAliases();
    aliases->addAlias(0, name("Kept"), name("Dev"), TMidiAlias::kInput);
    aliases->setPersistent(false);
    writeBytes(iniPath("np.ini"), "[MIDI.alias]\nName0=" + std::string(name("Loaded").CStr()) + "\nDevice0=1:x\n");
    TIniFile file(BString(iniPath("np.ini").c_str()));
    ASSERT_TRUE(file.Load());
    aliases->load(file);
    EXPECT_EQ(aliases->findAlias(name("Loaded"), TMidiAlias::kInput), -1);
    aliases->save(file);
    EXPECT_EQ(file.ReadString(TMidiAlias::kSection, BString("Name0"), BString()), name("Loaded"));
}

// Automatic aliases are made on the device-change thread while the GUI thread binds and saves.
TEST_F(AliasManagerTest, DeviceChangesAndGuiWorkOnAliasesDoNotRace)
{
    std::atomic<bool> done {false};
    std::thread devices([&] {
        for (int round = 0; round < 40; ++round)
        {
            const int port = factory.addPort(round % 2 == 0, name(("Hot " + std::to_string(round)).c_str()));
            manager->updateDevices(true, true);
            if (round % 3 == 0)
                factory.removePort(port);
        }
        done = true;
    });
    const BString roles[] = {name("Role In"), name("Role Out")};
    int i = 0;
    while (!done.load())
    {
        const int direction = i % 2 == 0 ? TMidiAlias::kInput : TMidiAlias::kOutput;
        aliases->beginBatch();
        aliases->setAlias(roles[i % 2], direction, roles[i % 2], name(("Hot " + std::to_string(i % 40)).c_str()), true);
        aliases->endBatch();
        TMidiAliasList list;
        aliases->collectForDevice(list, name("Hot 1"), TMidiAlias::kOutput);
        TIniFile file(BString(iniPath("race.ini").c_str()));
        aliases->save(file);
        ++i;
    }
    devices.join();
    for (int round = 0; round < 40; ++round)
    {
        const BString n = name(("Hot " + std::to_string(round)).c_str());
        EXPECT_GE(aliases->findAlias(n, round % 2 == 0 ? TMidiAlias::kInput : TMidiAlias::kOutput), 0) << n.CStr();
    }
}
} // namespace
