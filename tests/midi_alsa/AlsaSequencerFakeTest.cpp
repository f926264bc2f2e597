// The sequencer client's logic against a scripted sequencer (no /dev/snd/seq needed): which ports
// it lists, what reaches an input's sink, what the sender thread writes, and how a port that goes
// away is noticed.
#include "midi/alsa/AlsaEventSink.h"
#include "midi/alsa/AlsaMidiSegments.h"
#include "midi/alsa/AlsaSequencer.h"
#include "support/FakeAlsaSequencer.h"
#include "support/WaitFor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

namespace
{
constexpr AlsaAddress kSynth{20, 0};

struct Received
{
    std::vector<unsigned char> bytes;
    bool sysEx = false;
    std::int64_t timeMs = 0;
};

class RecordingSink : public AlsaEventSink
{
public:
    void alsaEvent(const unsigned char* data, std::size_t size, bool sysEx, std::int64_t timeMs) override
    {
        std::lock_guard<std::mutex> guard(mutex);
        received.push_back(Received{std::vector<unsigned char>(data, data + size), sysEx, timeMs});
    }
    std::vector<Received> all() const
    {
        std::lock_guard<std::mutex> guard(mutex);
        return received;
    }

private:
    mutable std::mutex mutex;
    std::vector<Received> received;
};

class CountingObserver : public AlsaSequencer::Observer
{
public:
    void alsaPortsChanged() override { changes.fetch_add(1); }
    std::atomic<int> changes{0};
};

class AlsaSequencerFake : public testing::Test
{
protected:
    void SetUp() override
    {
        AlsaSystem::install(&fake);
        fake.addClient(kSynth.client, "Synth");
        fake.addPort(kSynth, "Synth MIDI 1", FakeAlsaSequencer::kDuplex);
    }
    void TearDown() override { AlsaSystem::install(nullptr); }

    FakeAlsaSequencer fake;
};
} // namespace

TEST_F(AlsaSequencerFake, ListsOtherClientsPortsByNameButNeitherOursNorTheSystems)
{
    fake.addPort(AlsaAddress{20, 1}, "Synth Out Only", FakeAlsaSequencer::kSource);
    fake.addPort(AlsaAddress{20, 2}, "Synth Hidden", FakeAlsaSequencer::kDuplex | AlsaSeq::kCapNoExport);
    AlsaSequencer sequencer("lumo-test", nullptr);
    // Our own input port takes subscriptions from others, as a synth's input does.
    ASSERT_NE(sequencer.openOwnInput("LUMO In", nullptr), 0u);

    const auto describe = [](const std::vector<AlsaSequencer::PortInfo>& ports) {
        std::vector<std::string> lines;
        for (const AlsaSequencer::PortInfo& port : ports)
            lines.push_back(std::to_string(port.client) + ":" + std::to_string(port.port) + " " + port.name);
        return lines;
    };
    EXPECT_EQ(describe(sequencer.listPorts(true)),
              (std::vector<std::string>{"20:0 Synth:Synth MIDI 1", "20:1 Synth:Synth Out Only"}));
    EXPECT_EQ(describe(sequencer.listPorts(false)), (std::vector<std::string>{"20:0 Synth:Synth MIDI 1"}));
}

TEST_F(AlsaSequencerFake, IncomingNoteAndSysExReachTheInputsSinkWithTheirTime)
{
    AlsaSequencer sequencer("lumo-test", nullptr);
    RecordingSink sink;
    const std::uint64_t token = sequencer.openInput(kSynth.client, kSynth.port, &sink);
    ASSERT_NE(token, 0u);
    // Read later than they arrived: the sink gets the time of arrival.
    fake.setQueueTimeMs(80'000);
    ASSERT_EQ(fake.inject(kSynth, {0x90, 60, 100}, 75'123), 1);
    ASSERT_EQ(fake.inject(kSynth, {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}, 75'124), 1);

    ASSERT_TRUE(lumo_test::waitFor([&] { return sink.all().size() >= 2; }));
    const std::vector<Received> got = sink.all();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].bytes, (std::vector<unsigned char>{0x90, 60, 100}));
    EXPECT_FALSE(got[0].sysEx);
    EXPECT_EQ(got[0].timeMs, 75'123);
    EXPECT_EQ(got[1].bytes, (std::vector<unsigned char>{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}));
    EXPECT_TRUE(got[1].sysEx);
    EXPECT_EQ(got[1].timeMs, 75'124);
    EXPECT_EQ(sequencer.stats().eventsIn, 2u);

    sequencer.close(token);
    EXPECT_EQ(fake.inject(kSynth, {0x80, 60, 0}), 0) << "closing ends the subscription";
    // The reader may still hold the port a moment after its last delivery.
    EXPECT_TRUE(lumo_test::waitFor([&] { return fake.codecsInUse() == 0; })) << "the decoder is freed";
}

TEST_F(AlsaSequencerFake, SendsReachThePortByteExactEvenThroughAFullPoolAndALongSysExInPieces)
{
    AlsaSequencer sequencer("lumo-test", nullptr);
    const std::uint64_t token = sequencer.openOutput(kSynth.client, kSynth.port);
    ASSERT_NE(token, 0u);
    fake.fullPoolWrites.store(3); // waited out by the sender

    // Running status: two notes in one message.
    const std::vector<unsigned char> notes{0x90, 60, 100, 62, 100};
    std::vector<unsigned char> sysEx(3000);
    for (std::size_t i = 0; i < sysEx.size(); ++i)
        sysEx[i] = static_cast<unsigned char>(i % 0x80);
    sysEx.front() = 0xF0;
    sysEx.back() = 0xF7;
    const std::vector<unsigned char> clock{0xF8};
    ASSERT_TRUE(sequencer.send(token, notes.data(), notes.size()));
    ASSERT_TRUE(sequencer.send(token, sysEx.data(), sysEx.size()));
    ASSERT_TRUE(sequencer.send(token, clock.data(), clock.size()));
    // Closing right after the sends still writes them first.
    sequencer.close(token);

    const std::vector<std::vector<unsigned char>> events = fake.writtenTo(kSynth);
    ASSERT_GE(events.size(), 5u);
    EXPECT_EQ(events[0], (std::vector<unsigned char>{0x90, 60, 100}));
    EXPECT_EQ(events[1], (std::vector<unsigned char>{0x90, 62, 100}));
    EXPECT_EQ(events.back(), clock);
    std::vector<unsigned char> joined;
    for (std::size_t i = 2; i + 1 < events.size(); ++i)
    {
        EXPECT_LE(events[i].size(), AlsaMidiSegments::kSysExPieceBytes) << "piece " << i;
        joined.insert(joined.end(), events[i].begin(), events[i].end());
    }
    EXPECT_GT(events.size() - 3, 1u) << "a long SysEx goes in pieces";
    EXPECT_EQ(joined, sysEx);
    EXPECT_EQ(sequencer.stats().sendFailures, 0u);
    EXPECT_EQ(sequencer.pendingSends(), 0);
}

TEST_F(AlsaSequencerFake, RemovedPortIsAnnouncedAndItsConnectionIsNoLongerLive)
{
    CountingObserver observer;
    AlsaSequencer sequencer("lumo-test", &observer);
    RecordingSink sink;
    const std::uint64_t token = sequencer.openInput(kSynth.client, kSynth.port, &sink);
    ASSERT_NE(token, 0u);
    // Our own port's start was announced before this one: once this is counted, that was read.
    fake.addPort(AlsaAddress{21, 0}, "Pads", FakeAlsaSequencer::kSource);
    ASSERT_TRUE(lumo_test::waitFor([&] { return observer.changes.load() >= 1; }));
    EXPECT_EQ(observer.changes.load(), 1) << "our own ports are no change to the list";
    EXPECT_TRUE(sequencer.isLive(token));

    // Announced twice: the subscription's end, then the port's exit.
    fake.removePort(kSynth);
    ASSERT_TRUE(lumo_test::waitFor([&] { return observer.changes.load() >= 3; }));
    EXPECT_FALSE(sequencer.isLive(token));
    // The port number comes back for another port: our connection stays gone.
    fake.addPort(kSynth, "Synth MIDI 1", FakeAlsaSequencer::kDuplex);
    EXPECT_FALSE(sequencer.isLive(token));
    sequencer.close(token);
    sequencer.detachObserver();
}

TEST_F(AlsaSequencerFake, ConnectionTakenDownByAnotherProgramIsNoLongerLive)
{
    CountingObserver observer;
    AlsaSequencer sequencer("lumo-test", &observer);
    const std::uint64_t token = sequencer.openOutput(kSynth.client, kSynth.port);
    ASSERT_NE(token, 0u);
    ASSERT_EQ(fake.disconnectAll(kSynth), 1);
    ASSERT_TRUE(lumo_test::waitFor([&] { return observer.changes.load() >= 1; }));
    EXPECT_FALSE(sequencer.isLive(token));
    sequencer.close(token);
    sequencer.detachObserver();
}
