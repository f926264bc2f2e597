// The JACK session against a scripted server (no jackd): listing, delivery with timestamps across
// the wrap of JACK's frame clock, sends from other threads and from the process thread, a full
// ring, notifications on the server's thread, and a server that goes away.
#include "midi/jack/JackEventSink.h"
#include "midi/jack/JackSession.h"
#include "support/FakeJackServer.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace
{
using Bytes = std::vector<unsigned char>;
const Bytes kNoteOn{0x90, 60, 100};

class RecordingObserver : public JackSession::Observer
{
public:
    void jackPortsChanged() override { record(portChanges); }
    void jackServerGone() override { record(serverGone); }
    int portChanges = 0;
    int serverGone = 0;
    std::thread::id thread;

private:
    void record(int& count)
    {
        std::lock_guard<std::mutex> guard(mutex);
        ++count;
        thread = std::this_thread::get_id();
    }
    std::mutex mutex;
};

// Records what the process thread delivers; optionally sends each event on (thru).
class RecordingSink : public JackEventSink
{
public:
    void jackEvent(const unsigned char* data, std::size_t size, std::int64_t timeMs) override
    {
        events.push_back({timeMs, Bytes(data, data + size)});
        if (thru != nullptr)
            thru->send(thruToken, data, static_cast<int>(size));
    }
    std::vector<std::pair<std::int64_t, Bytes>> events;
    JackSession* thru = nullptr;
    std::uint64_t thruToken = 0;
};
} // namespace

class JackSessionFakeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        JackSystem::install(&server);
        server.setSampleRate(1000); // one frame per millisecond
        server.addPort("keyboard:out", true, "USB Keyboard");
        server.addPort("synth:in", false);
        session = std::make_unique<JackSession>("lumo", &observer);
        ASSERT_TRUE(session->connect());
    }
    void TearDown() override
    {
        session.reset();
        JackSystem::install(nullptr);
        EXPECT_EQ(server.faults(), 0);
        EXPECT_EQ(server.openClients(), 0);
    }
    std::uint64_t opened(const std::function<std::uint64_t()>& open)
    {
        std::uint64_t token = 0;
        server.whileCycling([&] { token = open(); });
        return token;
    }

    FakeJackServer server;
    RecordingObserver observer;
    RecordingSink sink;
    std::unique_ptr<JackSession> session;
};

TEST_F(JackSessionFakeTest, ListsOtherClientsPortsWithTheirAliasesButNotOurOwn)
{
    ASSERT_NE(opened([&] { return session->openOwnInput("own in", &sink); }), 0u);
    EXPECT_TRUE(session->portExists("lumo:own in"));
    const auto sources = session->listPorts(true);
    ASSERT_EQ(sources.size(), 1u);
    EXPECT_EQ(sources[0].name, "keyboard:out");
    EXPECT_EQ(sources[0].prettyName, "USB Keyboard");
    const auto destinations = session->listPorts(false);
    ASSERT_EQ(destinations.size(), 1u);
    EXPECT_EQ(destinations[0].name, "synth:in");
    EXPECT_EQ(destinations[0].prettyName, "");
}

TEST_F(JackSessionFakeTest, InputTimestampsKeepRisingAcrossTheWrapOfTheFrameClock)
{
    ASSERT_NE(opened([&] { return session->openInput("keyboard:out", &sink); }), 0u);
    server.setFrameTime(0xFFFFFF80u); // the cycle after the next starts at 2^32, 0 on JACK's clock
    server.queueEvent("keyboard:out", 10, kNoteOn);
    server.queueEvent("keyboard:out", 20, {0x80, 60, 0});
    server.runCycle(128);
    server.queueEvent("keyboard:out", 10, {0xB0, 7, 90});
    server.runCycle(128);
    ASSERT_EQ(sink.events.size(), 3u);
    EXPECT_EQ(sink.events[0].second, kNoteOn);
    EXPECT_EQ(sink.events[1].first - sink.events[0].first, 10);
    EXPECT_EQ(sink.events[2].first - sink.events[0].first, 128);
    EXPECT_EQ(sink.events[2].second, Bytes({0xB0, 7, 90}));
    EXPECT_EQ(session->stats().eventsIn, 3u);
}

TEST_F(JackSessionFakeTest, SendFromAnotherThreadGoesOutOnceAtTheNextCycle)
{
    const std::uint64_t token = opened([&] { return session->openOutput("synth:in"); });
    ASSERT_NE(token, 0u);
    bool sent = false;
    std::thread([&] { sent = session->send(token, kNoteOn.data(), 3); }).join();
    EXPECT_TRUE(sent);
    EXPECT_EQ(session->pending(token), 1);
    EXPECT_TRUE(server.received("synth:in").empty());
    server.runCycle(128);
    server.runCycle(128); // a buffer not cleared would send it again
    const auto received = server.received("synth:in");
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].time, 0u);
    EXPECT_EQ(received[0].bytes, kNoteOn);
    EXPECT_EQ(session->pending(token), 0);
}

TEST_F(JackSessionFakeTest, ThruFromTheProcessThreadGoesOutInTheSameCycleAtTheEventsTime)
{
    sink.thru = session.get();
    sink.thruToken = opened([&] { return session->openOutput("synth:in"); });
    ASSERT_NE(opened([&] { return session->openInput("keyboard:out", &sink); }), 0u);
    server.queueEvent("keyboard:out", 40, kNoteOn);
    server.runCycle(128);
    const auto received = server.received("synth:in");
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].time, 40u);
    EXPECT_EQ(received[0].bytes, kNoteOn);
}

TEST_F(JackSessionFakeTest, AFullRingIsADropAndWhatWasQueuedGoesOutInOrderAsBuffersAllow)
{
    server.setBufferBytes(64);
    const std::uint64_t token = opened([&] { return session->openOutput("synth:in"); });
    ASSERT_NE(token, 0u);
    int accepted = 0;
    // Each message carries its number in its two data bytes.
    const auto message = [](int n) {
        return Bytes{0x90, static_cast<unsigned char>(n & 0x7F), static_cast<unsigned char>(n >> 7)};
    };
    while (session->send(token, message(accepted).data(), 3))
        ++accepted;
    EXPECT_EQ(session->stats().drops, 1u);
    EXPECT_EQ(session->pending(token), accepted);
    for (int cycle = 0; cycle < 100000 && session->pending(token) > 0; ++cycle)
        server.runCycle(128);
    const auto received = server.received("synth:in");
    ASSERT_EQ(static_cast<int>(received.size()), accepted);
    for (int i = 0; i < accepted; ++i)
        ASSERT_EQ(received[static_cast<std::size_t>(i)].bytes, message(i)) << i;
    // A message larger than an empty buffer can never go out: dropped, not stuck.
    const Bytes large(100, 0x7F);
    EXPECT_TRUE(session->send(token, large.data(), 100));
    server.runCycle(128);
    EXPECT_EQ(session->pending(token), 0);
    EXPECT_EQ(session->stats().drops, 2u);
}

TEST_F(JackSessionFakeTest, PortChangesAreToldOnTheServersNotificationThread)
{
    server.addPort("drums:out", true);
    server.drainNotifications();
    EXPECT_GE(observer.portChanges, 1);
    EXPECT_EQ(observer.thread, server.notificationThread());
    EXPECT_EQ(session->listPorts(true).size(), 2u);
    const std::uint64_t token = opened([&] { return session->openInput("drums:out", &sink); });
    EXPECT_TRUE(session->isLive(token, "drums:out"));
    server.removePort("drums:out");
    EXPECT_FALSE(session->isLive(token, "drums:out"));
    session->close(token);
}

TEST_F(JackSessionFakeTest, AServerThatWentAwayIsLeftAndTheNextConnectOpensANewClient)
{
    const std::uint64_t token = opened([&] { return session->openOutput("synth:in"); });
    ASSERT_NE(token, 0u);
    server.shutDown();
    server.drainNotifications();
    EXPECT_EQ(observer.serverGone, 1);
    EXPECT_EQ(observer.thread, server.notificationThread());
    EXPECT_FALSE(session->isConnected());
    EXPECT_FALSE(session->isLive(token, "synth:in"));
    session->close(token); // must not call the dead client's server (the fake counts a fault)
    EXPECT_FALSE(session->connect());
    server.start();
    server.addPort("synth:in", false);
    ASSERT_TRUE(session->connect());
    EXPECT_EQ(session->generation(), 2);
    EXPECT_EQ(server.clientsOpened(), 2);
    EXPECT_EQ(server.openClients(), 1);
    const std::uint64_t again = opened([&] { return session->openOutput("synth:in"); });
    ASSERT_TRUE(session->send(again, kNoteOn.data(), 3));
    server.runCycle(64);
    EXPECT_EQ(server.received("synth:in").size(), 1u);
}
