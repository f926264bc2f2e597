// The ALSA backend against a real sequencer: run inside the test VM (scripts/vm/alsa-tests.sh),
// whose kernel brings snd-seq, snd-seq-dummy ("Midi Through") and, loaded by a test,
// snd-virmidi. A second client (AlsaCompanion) plays keyboards and synthesizers.
#include "midi/MidiManager.h"
#include "midi/MidiManagerDev.h"
#include "midi/TMidiAlias.h"
#include "midi/TMidiAliasManager.h"
#include "midi/TMidiDeviceBase.h"
#include "midi/TMidiRouter.h"
#include "midi/alsa/AlsaCompanion.h"
#include "midi/alsa/AlsaMidiDescriptor.h"
#include "midi/alsa/AlsaMidiFactory.h"
#include "support/BackendManagerFixture.h"
#include "support/MidiTestListeners.h"
#include "support/TempDirectory.h"
#include "support/WaitFor.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace
{
const char* const kThrough = "Midi Through:Midi Through Port-0";

// Everything an input delivered, per record index, and what each delivery looked like.
class InputRecorder : public MidiManagerDataListener
{
public:
    void midiDataReceived(int inputIndex, std::int64_t timestamp, const unsigned char* data, int length,
                          int*) override
    {
        std::lock_guard<std::mutex> guard(mutex);
        deliveries[inputIndex].emplace_back(data, data + length);
        times[inputIndex].push_back(timestamp);
        if (timestamp < lastTimestamp[inputIndex])
            backwards = true;
        lastTimestamp[inputIndex] = timestamp;
    }
    std::vector<std::vector<unsigned char>> of(int index) const
    {
        std::lock_guard<std::mutex> guard(mutex);
        const auto it = deliveries.find(index);
        return it != deliveries.end() ? it->second : std::vector<std::vector<unsigned char>>();
    }
    std::vector<unsigned char> bytesOf(int index) const
    {
        std::vector<unsigned char> all;
        for (const auto& d : of(index))
            all.insert(all.end(), d.begin(), d.end());
        return all;
    }
    std::vector<std::int64_t> timesOf(int index) const
    {
        std::lock_guard<std::mutex> guard(mutex);
        const auto it = times.find(index);
        return it != times.end() ? it->second : std::vector<std::int64_t>();
    }
    void clear()
    {
        std::lock_guard<std::mutex> guard(mutex);
        deliveries.clear();
        times.clear();
    }
    bool wentBackwards() const
    {
        std::lock_guard<std::mutex> guard(mutex);
        return backwards;
    }

private:
    mutable std::mutex mutex;
    std::map<int, std::vector<std::vector<unsigned char>>> deliveries;
    std::map<int, std::vector<std::int64_t>> times;
    std::map<int, std::int64_t> lastTimestamp;
    bool backwards = false;
};

std::vector<unsigned char> sysEx(std::size_t length, unsigned seed)
{
    std::vector<unsigned char> bytes(length);
    for (std::size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<unsigned char>((i * 7 + seed) & 0x7F);
    bytes.front() = 0xF0;
    bytes.back() = 0xF7;
    return bytes;
}

// The pieces of one SysEx as the manager got them: at most 1024 bytes each, the first starting
// with F0, the last ending with F7, together the message.
void expectPiecesOf(const std::vector<std::vector<unsigned char>>& pieces, const std::vector<unsigned char>& message)
{
    ASSERT_FALSE(pieces.empty());
    std::vector<unsigned char> joined;
    for (const auto& piece : pieces)
    {
        EXPECT_LE(piece.size(), 1024u);
        EXPECT_FALSE(piece.empty());
        joined.insert(joined.end(), piece.begin(), piece.end());
    }
    EXPECT_EQ(pieces.front().front(), 0xF0);
    EXPECT_EQ(pieces.back().back(), 0xF7);
    EXPECT_EQ(joined, message);
}

class AlsaVm : public BackendManagerFixture<AlsaMidiFactory>
{
protected:
    void SetUp() override
    {
        if (access("/dev/snd/seq", F_OK) != 0)
            GTEST_SKIP() << "no ALSA sequencer here; scripts/vm/alsa-tests.sh runs these tests in the test VM";
        startManager(std::make_unique<AlsaMidiFactory>("lumo-test", listOwnPorts));
        manager->setDataListener(&recorder);
        manager->updateDevices(true, true);
    }

    int openInput(const std::string& name)
    {
        const int index = waitForDevice(name, true);
        if (index >= 0)
            manager->openInput(index);
        return index >= 0 && isOpen(index, true) ? index : -1;
    }

    int openOutput(const std::string& name)
    {
        const int index = waitForDevice(name, false);
        if (index >= 0)
            manager->openOutput(index);
        return index >= 0 && isOpen(index, false) ? index : -1;
    }

    bool sendTo(int outputIndex, const std::vector<unsigned char>& bytes)
    {
        auto* device = dynamic_cast<TMidiOutputBase*>(manager->getOutput(outputIndex)->getDeviceObject());
        return device != nullptr && device->sendLong(bytes.data(), static_cast<int>(bytes.size()));
    }

    std::vector<std::string> names(bool isInput)
    {
        BStringList list;
        factory->getDisplayNames(isInput, list);
        std::vector<std::string> result;
        for (int i = 0; i < list.Count(); ++i)
            result.push_back(list[i].CStr());
        return result;
    }

    // Set by a derived fixture's constructor: the factory lists the program's own ports too.
    bool listOwnPorts = false;
    InputRecorder recorder;
};

class AlsaVmOwnPorts : public AlsaVm
{
protected:
    AlsaVmOwnPorts() { listOwnPorts = true; }
};

bool contains(const std::vector<std::string>& list, const std::string& item)
{
    return std::find(list.begin(), list.end(), item) != list.end();
}

bool anyStartsWith(const std::vector<std::string>& list, const std::string& prefix)
{
    return std::any_of(list.begin(), list.end(), [&](const std::string& s) { return s.rfind(prefix, 0) == 0; });
}
} // namespace

TEST_F(AlsaVm, ListsMidiThroughButNeitherOurOwnNorTheSystemClient)
{
    auto companion = AlsaCompanion::open("lumo-test-peer");
    ASSERT_TRUE(companion);
    ASSERT_GE(companion->addPort("src", true), 0);
    ASSERT_GE(companion->addPort("dst", false), 0);
    manager->updateDevices(true, true);
    for (bool isInput : {true, false})
    {
        const auto listed = names(isInput);
        EXPECT_TRUE(contains(listed, kThrough)) << "direction " << isInput;
        EXPECT_FALSE(anyStartsWith(listed, "System:")) << "direction " << isInput;
        EXPECT_FALSE(anyStartsWith(listed, "lumo-test:")) << "our own client is listed";
        ASSERT_GE(waitForDevice(kThrough, isInput), 0);
    }
    // A port is listed only in the directions it can be subscribed in.
    EXPECT_TRUE(contains(names(true), "lumo-test-peer:src"));
    EXPECT_FALSE(contains(names(false), "lumo-test-peer:src"));
    EXPECT_TRUE(contains(names(false), "lumo-test-peer:dst"));
    EXPECT_FALSE(contains(names(true), "lumo-test-peer:dst"));

    // Our open ports are not offered to others either.
    const int in = openInput(kThrough);
    ASSERT_GE(in, 0);
    auto watcher = AlsaCompanion::open("lumo-test-watch");
    AlsaMidiFactory other("lumo-test-other", false);
    EXPECT_FALSE(anyStartsWith(names(true), "lumo-test:"));
    const std::vector<std::string> seenByOther = [&] {
        BStringList list;
        other.getDisplayNames(true, list);
        std::vector<std::string> r;
        for (int i = 0; i < list.Count(); ++i)
            r.push_back(list[i].CStr());
        return r;
    }();
    EXPECT_FALSE(anyStartsWith(seenByOther, "lumo-test:")) << "our port for the open device is subscribable";
    EXPECT_TRUE(contains(seenByOther, kThrough));
    EXPECT_TRUE(control.texts("error").empty());
}

TEST_F(AlsaVm, ShortMessagesArriveByteExactBothWays)
{
    auto keys = AlsaCompanion::open("keys");
    ASSERT_TRUE(keys);
    const int keysOut = keys->addPort("out", true);
    const int keysIn = keys->addPort("in", false);
    ASSERT_TRUE(keysOut >= 0 && keysIn >= 0);
    const int in = openInput(keys->fullName("out"));
    const int out = openOutput(keys->fullName("in"));
    ASSERT_GE(in, 0);
    ASSERT_GE(out, 0);
    // The manager drops Active Sensing unless asked to pass it; here every kind must arrive.
    manager->getInput(in)->setPassActiveSensing(1);

    const std::vector<std::vector<unsigned char>> messages = {
        {0x90, 60, 100}, {0x80, 60, 64},  {0x9F, 127, 1},  {0xA3, 10, 20}, {0xB0, 7, 127},  {0xC5, 42},
        {0xD1, 99},      {0xE2, 0, 64},   {0xE0, 127, 127}, {0xF1, 0x35},  {0xF2, 5, 9},    {0xF3, 17},
        {0xF6},          {0xF8},          {0xFA},          {0xFB},         {0xFC},          {0xFE},
        {0xFF},          {0xB0, 120, 0},  {0x90, 60, 0},
    };
    for (const auto& message : messages)
        ASSERT_TRUE(keys->send(keysOut, message));
    ASSERT_TRUE(lumo_test::waitFor([&] { return recorder.of(in).size() >= messages.size(); }, 10000))
        << recorder.of(in).size() << " of " << messages.size();
    EXPECT_EQ(recorder.of(in), messages);
    EXPECT_FALSE(recorder.wentBackwards());

    for (const auto& message : messages)
        ASSERT_TRUE(sendTo(out, message));
    ASSERT_TRUE(keys->waitForCount(keysIn, messages.size(), 10000)) << keys->receivedCount(keysIn);
    EXPECT_EQ(keys->received(keysIn), messages);
}

TEST_F(AlsaVm, InputTimestampsAreTheArrivalTimesSinceTheDeviceStarted)
{
    auto keys = AlsaCompanion::open("clock-keys");
    ASSERT_TRUE(keys);
    const int keysOut = keys->addPort("out", true);
    const int in = openInput(keys->fullName("out"));
    ASSERT_GE(in, 0);
    const lumo_test::Stopwatch watch;
    ASSERT_TRUE(keys->send(keysOut, {0x90, 1, 1}));
    ASSERT_TRUE(lumo_test::waitFor([&] { return recorder.of(in).size() == 1; }, 10000));
    // A gap the timestamps must show, measured on our own clock as well.
    const long long firstSeen = watch.elapsedMs();
    while (watch.elapsedMs() < firstSeen + 300)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(keys->send(keysOut, {0x80, 1, 0}));
    ASSERT_TRUE(lumo_test::waitFor([&] { return recorder.of(in).size() == 2; }, 10000));
    const long long secondSeen = watch.elapsedMs();
    const std::vector<std::int64_t> times = recorder.timesOf(in);
    ASSERT_EQ(times.size(), 2u);
    EXPECT_GE(times[0], 0);
    EXPECT_GE(times[1] - times[0], 300 - 20) << "first at " << times[0] << ", second at " << times[1];
    EXPECT_LE(times[1] - times[0], secondSeen + 20) << "first at " << times[0] << ", second at " << times[1];
}

TEST_F(AlsaVm, LargeSysExArrivesByteExactBothWaysInPieces)
{
    auto keys = AlsaCompanion::open("keys");
    ASSERT_TRUE(keys);
    const int keysOut = keys->addPort("out", true);
    const int keysIn = keys->addPort("in", false);
    const int in = openInput(keys->fullName("out"));
    const int out = openOutput(keys->fullName("in"));
    ASSERT_TRUE(in >= 0 && out >= 0);

    unsigned seed = 1;
    for (std::size_t length : {std::size_t(3000), std::size_t(40000)})
    {
        const std::vector<unsigned char> message = sysEx(length, seed++);
        // Into the program, as the sender cut it: the manager gets pieces of at most 1024 bytes
        // whether the SysEx came in small events or in one large one.
        for (std::size_t senderPiece : {std::size_t(256), length})
        {
            recorder.clear();
            ASSERT_TRUE(keys->send(keysOut, message, senderPiece));
            ASSERT_TRUE(lumo_test::waitFor([&] { return recorder.bytesOf(in).size() >= length; }, 15000))
                << length << " in events of " << senderPiece << ": " << recorder.bytesOf(in).size();
            expectPiecesOf(recorder.of(in), message);
            // Small events pass as they came; a large one is cut at 1024 bytes.
            const std::size_t piece = std::min<std::size_t>(senderPiece, 1024);
            EXPECT_EQ(recorder.of(in).size(), (length + piece - 1) / piece) << length << " in events of " << senderPiece;
        }

        // Out of the program, given whole: larger than any pool, it must neither fail nor be cut.
        keys->clearReceived(keysIn);
        ASSERT_TRUE(sendTo(out, message)) << length;
        ASSERT_TRUE(lumo_test::waitFor([&] { return keys->receivedBytes(keysIn).size() >= length; }, 15000))
            << length << ": " << keys->receivedBytes(keysIn).size();
        EXPECT_EQ(keys->receivedBytes(keysIn), message) << length;
    }
}

TEST_F(AlsaVm, SysExThroughMidiThroughComesBackWhole)
{
    const int in = openInput(kThrough);
    const int out = openOutput(kThrough);
    ASSERT_TRUE(in >= 0 && out >= 0);
    const std::vector<unsigned char> message = sysEx(40000, 9);
    const std::vector<unsigned char> note = {0x90, 61, 1};
    ASSERT_TRUE(sendTo(out, message));
    ASSERT_TRUE(sendTo(out, note));
    ASSERT_TRUE(lumo_test::waitFor([&] { return recorder.bytesOf(in).size() >= message.size() + 3; }, 15000))
        << recorder.bytesOf(in).size();
    auto pieces = recorder.of(in);
    ASSERT_EQ(pieces.back(), note);
    pieces.pop_back();
    expectPiecesOf(pieces, message);
}

TEST_F(AlsaVm, ThruPassesEverythingFromOnePortToAnotherThroughTheManager)
{
    auto keys = AlsaCompanion::open("keyboard");
    auto synth = AlsaCompanion::open("synth");
    ASSERT_TRUE(keys && synth);
    const int keysOut = keys->addPort("out", true);
    const int synthIn = synth->addPort("in", false);
    const std::string source = keys->fullName("out");
    const std::string target = synth->fullName("in");
    ASSERT_GE(waitForDevice(source, true), 0);
    ASSERT_GE(waitForDevice(target, false), 0);

    TMidiAliasManager* aliases = TMidiAliasManager::getInstance();
    TMidiAlias* inAlias = aliases->getAlias(BString("ALSA In"), TMidiAlias::kInput, true, -1);
    TMidiAlias* outAlias = aliases->getAlias(BString("ALSA Thru"), TMidiAlias::kOutput, true, -1);
    aliases->setAlias(BString("ALSA In"), TMidiAlias::kInput, BString("ALSA In"), BString(source.c_str()), true);
    aliases->setAlias(BString("ALSA Thru"), TMidiAlias::kOutput, BString("ALSA Thru"), BString(target.c_str()), true);
    TMidiRouter::getInstance()->addRoute(outAlias, inAlias);
    const int in = manager->findDeviceByName(BString(source.c_str()), true);
    const int out = manager->findDeviceByName(BString(target.c_str()), false);
    manager->openInput(in);
    manager->openOutput(out);
    ASSERT_TRUE(lumo_test::waitFor([&] { return isOpen(in, true) && isOpen(out, false); }, 10000));

    std::vector<unsigned char> expected;
    const std::vector<std::vector<unsigned char>> messages = {
        {0x90, 60, 100}, {0xC0, 3}, sysEx(3000, 3), {0xF8}, {0x80, 60, 0}, {0xE0, 1, 2}};
    for (const auto& message : messages)
    {
        ASSERT_TRUE(keys->send(keysOut, message));
        expected.insert(expected.end(), message.begin(), message.end());
    }
    ASSERT_TRUE(lumo_test::waitFor([&] { return synth->receivedBytes(synthIn).size() >= expected.size(); }, 10000))
        << synth->receivedBytes(synthIn).size() << " of " << expected.size();
    EXPECT_EQ(synth->receivedBytes(synthIn), expected);
}

TEST_F(AlsaVm, PortsComingAndGoingAreFollowedAndAReturningPortIsReopenedUnderItsAlias)
{
    auto hot = AlsaCompanion::open("hotplug");
    ASSERT_TRUE(hot);
    int port = hot->addPort("keys", true);
    const std::string name = hot->fullName("keys");
    const int in = waitForDevice(name, true);
    ASSERT_GE(in, 0) << "a new port reaches the manager through the announcements alone";
    TMidiAliasManager* aliases = TMidiAliasManager::getInstance();
    aliases->getAlias(BString("Hot In"), TMidiAlias::kInput, true, -1);
    aliases->setAlias(BString("Hot In"), TMidiAlias::kInput, BString("Hot In"), BString(name.c_str()), true);
    manager->openInput(in);
    ASSERT_TRUE(isOpen(in, true));

    const auto aliasView = [&] {
        TMidiAlias* alias = aliases->getAlias(BString("Hot In"), TMidiAlias::kInput, false, -1);
        return alias != nullptr ? std::string(alias->deviceName().CStr()) : std::string("<none>");
    };
    const auto deliversNote = [&](unsigned char key) {
        recorder.clear();
        return hot->send(port, {0x90, key, 1}) &&
               lumo_test::waitFor([&] { return recorder.of(in) == std::vector<std::vector<unsigned char>>{{0x90, key, 1}}; },
                                  10000);
    };
    ASSERT_TRUE(deliversNote(1));

    for (int round = 0; round < 3; ++round)
    {
        // The port goes: the record stays, absent and closed, wanted again; the alias keeps it.
        ASSERT_TRUE(hot->removePort(port));
        ASSERT_TRUE(lumo_test::waitFor([&] { return !isOpen(in, true) && record(name, true)->present.load() == 0; },
                                       15000))
            << "round " << round;
        EXPECT_EQ(aliasView(), name);

        // It comes back under the same name: the same record reopens, the alias follows.
        port = hot->addPort("keys", true);
        ASSERT_GE(port, 0);
        ASSERT_TRUE(lumo_test::waitFor([&] { return isOpen(in, true); }, 15000))
            << "round " << round << "; announcements " << factory->getObserver().changesSeen() << "; manager said:\n"
            << ::testing::PrintToString(control.lines());
        EXPECT_EQ(manager->findDeviceByName(BString(name.c_str()), true), in);
        EXPECT_EQ(aliasView(), name);
        EXPECT_TRUE(deliversNote(static_cast<unsigned char>(10 + round))) << "round " << round;
    }

    // The whole client goes and a new one (another client number) takes its name.
    hot.reset();
    ASSERT_TRUE(lumo_test::waitFor([&] { return !isOpen(in, true); }, 15000));
    hot = AlsaCompanion::open("hotplug");
    ASSERT_TRUE(hot);
    port = hot->addPort("keys", true);
    ASSERT_TRUE(lumo_test::waitFor([&] { return isOpen(in, true); }, 15000));
    EXPECT_TRUE(deliversNote(99));
    EXPECT_EQ(aliasView(), name);
}

TEST_F(AlsaVm, EqualNamesGetTheManagersInstanceNumbers)
{
    auto twin = AlsaCompanion::open("twin");
    ASSERT_TRUE(twin);
    const int first = twin->addPort("port", true);
    const int second = twin->addPort("port", true);
    ASSERT_TRUE(first >= 0 && second >= 0);
    const int a = waitForDevice("twin:port", true);
    const int b = waitForDevice("twin:port (2)", true);
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    manager->openInput(a);
    manager->openInput(b);
    ASSERT_TRUE(isOpen(a, true) && isOpen(b, true));
    ASSERT_TRUE(twin->send(first, {0x90, 1, 1}));
    ASSERT_TRUE(twin->send(second, {0x90, 2, 2}));
    ASSERT_TRUE(lumo_test::waitFor([&] { return recorder.of(a).size() == 1 && recorder.of(b).size() == 1; }, 10000));
    EXPECT_EQ(recorder.of(a).front(), (std::vector<unsigned char>{0x90, 1, 1}));
    EXPECT_EQ(recorder.of(b).front(), (std::vector<unsigned char>{0x90, 2, 2}));
}

TEST_F(AlsaVm, VirtualRawMidiPortsLoadedLateAppearAndCarryBytesExactly)
{
    ASSERT_EQ(std::system("modprobe snd-virmidi"), 0);
    // The manager learns of the new clients through the announcements alone.
    std::string portName;
    ASSERT_TRUE(lumo_test::waitFor(
        [&] {
            for (int i = 0; i < manager->getInputCount(); ++i)
            {
                MidiManagerDev* r = manager->getDevice(i, true);
                const std::string n = r->displayName().CStr();
                if (r->present.load() != 0 && n.rfind("Virtual Raw MIDI ", 0) == 0)
                {
                    portName = n;
                    return true;
                }
            }
            return false;
        },
        15000));
    const auto listed = names(true);
    EXPECT_GE(std::count_if(listed.begin(), listed.end(),
                            [](const std::string& s) { return s.rfind("Virtual Raw MIDI ", 0) == 0; }),
              1);
    EXPECT_TRUE(anyStartsWith(names(false), "Virtual Raw MIDI "));

    // "Virtual Raw MIDI C-D:VirMIDI C-D" is the raw device /dev/snd/midiCcDd.
    int card = -1;
    int device = -1;
    ASSERT_EQ(std::sscanf(portName.c_str(), "Virtual Raw MIDI %d-%d", &card, &device), 2) << portName;
    const std::string raw = "/dev/snd/midiC" + std::to_string(card) + "D" + std::to_string(device);
    const int fd = ::open(raw.c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(fd, 0) << raw;
    unsigned char scratch[256];
    // A virtual raw port passes sequencer events on only once its device was read.
    [[maybe_unused]] const ssize_t drained = ::read(fd, scratch, sizeof scratch);

    const int in = openInput(portName);
    const int out = openOutput(portName);
    ASSERT_TRUE(in >= 0 && out >= 0) << portName;

    // Raw bytes in: a note and a SysEx, which the driver passes on in short pieces.
    const std::vector<unsigned char> note = {0x90, 64, 3};
    const std::vector<unsigned char> message = sysEx(3000, 5);
    std::vector<unsigned char> written = note;
    written.insert(written.end(), message.begin(), message.end());
    std::size_t done = 0;
    const lumo_test::Stopwatch watch;
    while (done < written.size() && watch.elapsedMs() < 10000)
    {
        const ssize_t n = ::write(fd, written.data() + done, written.size() - done);
        if (n > 0)
            done += static_cast<std::size_t>(n);
        else
            usleep(1000);
    }
    ASSERT_EQ(done, written.size());
    ASSERT_TRUE(lumo_test::waitFor([&] { return recorder.bytesOf(in).size() >= written.size(); }, 10000))
        << recorder.bytesOf(in).size();
    auto deliveries = recorder.of(in);
    ASSERT_EQ(deliveries.front(), note);
    deliveries.erase(deliveries.begin());
    expectPiecesOf(deliveries, message);

    // Out through the sequencer to the raw device.
    ASSERT_TRUE(sendTo(out, message));
    ASSERT_TRUE(sendTo(out, note));
    std::vector<unsigned char> readBack;
    watch.elapsedMs();
    const lumo_test::Stopwatch reading;
    while (readBack.size() < message.size() + note.size() && reading.elapsedMs() < 10000)
    {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0)
            continue;
        const ssize_t n = ::read(fd, scratch, sizeof scratch);
        if (n > 0)
            readBack.insert(readBack.end(), scratch, scratch + n);
    }
    ::close(fd);
    std::vector<unsigned char> expected = message;
    expected.insert(expected.end(), note.begin(), note.end());
    EXPECT_EQ(readBack, expected);
}

#ifdef LUMO_SEND_PATH
TEST_F(AlsaVm, LumoSendListsTheSequencersDestinationsAndSendsToThem)
{
    auto synth = AlsaCompanion::open("listed-synth");
    ASSERT_TRUE(synth);
    const int synthIn = synth->addPort("in", false);
    ASSERT_GE(synthIn, 0);
    FILE* pipe = popen(LUMO_SEND_PATH " --list 2>/dev/null", "r");
    ASSERT_NE(pipe, nullptr);
    std::vector<std::string> listed;
    char line[512];
    while (std::fgets(line, sizeof line, pipe) != nullptr)
    {
        std::string text(line);
        if (!text.empty() && text.back() == '\n')
            text.pop_back();
        listed.push_back(text);
    }
    EXPECT_EQ(pclose(pipe), 0);
    EXPECT_TRUE(contains(listed, kThrough));
    EXPECT_TRUE(contains(listed, "listed-synth:in"));
    EXPECT_FALSE(anyStartsWith(listed, "lumo-send:"));

    const std::string command = std::string(LUMO_SEND_PATH) + " --port 'listed-synth:in' --program 5 --channel 3";
    ASSERT_EQ(std::system(command.c_str()), 0);
    ASSERT_TRUE(synth->waitForCount(synthIn, 1, 5000));
    EXPECT_EQ(synth->receivedBytes(synthIn), (std::vector<unsigned char>{0xC2, 5}));
}

// Bound to its own ports, the program's client has "LUMO In" for others to send into and
// "LUMO Thru" for others to read the thru from; lumo-send sends straight into "LUMO In".
TEST_F(AlsaVmOwnPorts, LumoSendSendsIntoLumoInAndTheThruComesOutOfLumoThru)
{
    auto synth = AlsaCompanion::open("own-synth");
    ASSERT_TRUE(synth);
    const int synthIn = synth->addPort("in", false);
    ASSERT_GE(synthIn, 0);
    route("LUMO In (2)", "LUMO Thru (2)");
    const int input = openInput("LUMO In (2)");
    const int output = openOutput("LUMO Thru (2)");
    ASSERT_GE(input, 0);
    ASSERT_GE(output, 0);

    // Another client sees them as ports of ours it may subscribe to, each in its direction.
    AlsaMidiFactory other("lumo-watch", false);
    BOwnedList<MidiDeviceDescriptor*> sources;
    BOwnedList<MidiDeviceDescriptor*> destinations;
    other.copyDescriptors(true, sources);
    other.copyDescriptors(false, destinations);
    const auto find = [](BOwnedList<MidiDeviceDescriptor*>& list, const char* name) -> MidiDeviceDescriptor* {
        for (int i = 0; i < list.Count(); ++i)
            if (list.Get(i)->displayName() == name)
                return list.Get(i);
        return nullptr;
    };
    ASSERT_NE(find(destinations, "lumo-test:LUMO In"), nullptr);
    EXPECT_EQ(find(sources, "lumo-test:LUMO In"), nullptr);
    int thruClient = -1;
    int thruPort = -1;
    ASSERT_TRUE(AlsaMidiDescriptor::addressOf(find(sources, "lumo-test:LUMO Thru"), thruClient, thruPort));
    EXPECT_TRUE(contains(names(true), "LUMO In (2)") && !anyStartsWith(names(true), "lumo-test:"));
    ASSERT_TRUE(synth->connect(thruClient, thruPort, synth->clientId(), synthIn));

    const std::string command = std::string(LUMO_SEND_PATH) + " --port 'lumo-test:LUMO In' --program 5";
    ASSERT_EQ(std::system(command.c_str()), 0);
    ASSERT_TRUE(synth->waitForCount(synthIn, 1, 5000));
    EXPECT_EQ(synth->receivedBytes(synthIn), (std::vector<unsigned char>{0xC0, 5}));
    EXPECT_EQ(recorder.bytesOf(input), (std::vector<unsigned char>{0xC0, 5}));

    manager->closeInput(input, true);
    manager->closeOutput(output, true);
    EXPECT_TRUE(lumo_test::waitFor(
        [&] {
            other.copyDescriptors(false, destinations);
            return find(destinations, "lumo-test:LUMO In") == nullptr;
        },
        5000));
}

// lumo-send cuts a dump file's SysEx into blocks of 1024 bytes: one of 1025 bytes leaves its F7
// alone in the second block, which must still arrive.
TEST_F(AlsaVm, LumoSendDeliversTheLoneEndOfASysExOneByteLongerThanABlock)
{
    auto synth = AlsaCompanion::open("dump-synth");
    ASSERT_TRUE(synth);
    const int synthIn = synth->addPort("in", false);
    ASSERT_GE(synthIn, 0);
    std::vector<unsigned char> dump(1025);
    for (std::size_t i = 0; i < dump.size(); ++i)
        dump[i] = static_cast<unsigned char>(i & 0x7F);
    dump.front() = 0xF0;
    dump.back() = 0xF7;
    const lumo_test::TempDirectory folder;
    {
        std::ofstream file(folder.path("long.syx"), std::ios::binary);
        file.write(reinterpret_cast<const char*>(dump.data()), static_cast<std::streamsize>(dump.size()));
    }
    const std::string command =
        std::string(LUMO_SEND_PATH) + " --port 'dump-synth:in' '" + folder.path("long.syx").string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    ASSERT_TRUE(lumo_test::waitFor([&] { return synth->receivedBytes(synthIn).size() >= dump.size(); }, 5000))
        << synth->receivedBytes(synthIn).size() << " of " << dump.size();
    EXPECT_EQ(synth->receivedBytes(synthIn), dump);
}
#endif
