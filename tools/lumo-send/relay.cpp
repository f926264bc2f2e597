// lumo-relay: a stand-in MIDI device on the JACK server for demos and tests. It registers the
// client NAME with a port "in" and a port "out"; everything that arrives at "in" is appended to
// RECORD_FILE (when given) and passed on to "out". Prints "ready" once both ports exist and runs
// until it is told to stop (SIGTERM / SIGINT).
//
// With --connections it also prints "connections PORT COUNT" whenever the number of connections of
// one of its ports changes, so a test sees another program connect without joining the server
// itself (a client that comes and goes is a device change to everyone listening), and SIGUSR1
// breaks every connection of its ports, as a driver that drops its clients would.
#include "midi/jack/JackCompanion.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>

namespace
{
volatile std::sig_atomic_t stopRequested = 0;
volatile std::sig_atomic_t dropRequested = 0;

void requestStop(int)
{
    stopRequested = 1;
}

void requestDrop(int)
{
    dropRequested = 1;
}

// Prints the connection counts of the relay's ports when they changed since the last call.
class ConnectionReport
{
public:
    explicit ConnectionReport(const JackCompanion& relay_) : relay(relay_) {}

    void update()
    {
        report("in", in);
        report("out", out);
    }

private:
    void report(const char* port, int& last)
    {
        const int now = relay.connectionCount(port);
        if (now == last)
            return;
        last = now;
        std::printf("connections %s %d\n", port, now);
        std::fflush(stdout);
    }

    const JackCompanion& relay;
    int in = 0;
    int out = 0;
};
} // namespace

int main(int argc, char** argv)
{
    const bool reportConnections = argc > 1 && std::string(argv[1]) == "--connections";
    if (reportConnections)
    {
        --argc;
        ++argv;
    }
    if (argc < 2 || argc > 3)
    {
        std::fputs("usage: lumo-relay [--connections] NAME [RECORD_FILE]\n", stderr);
        return 2;
    }
    std::signal(SIGTERM, requestStop);
    std::signal(SIGINT, requestStop);
    std::signal(SIGUSR1, requestDrop);
    std::unique_ptr<JackCompanion> relay = JackCompanion::open(argv[1]);
    if (!relay || !relay->addPort("in", false) || !relay->addPort("out", true))
    {
        std::fputs("lumo-relay: no JACK server is running\n", stderr);
        return 1;
    }
    std::FILE* record = argc == 3 ? std::fopen(argv[2], "ab") : nullptr;
    std::printf("ready %s\n", relay->name().c_str());
    std::fflush(stdout);
    std::size_t passed = 0;
    ConnectionReport connections(*relay);
    while (stopRequested == 0)
    {
        if (dropRequested != 0)
        {
            dropRequested = 0;
            relay->disconnectAll("in");
            relay->disconnectAll("out");
        }
        if (reportConnections)
            connections.update();
        const auto events = relay->received("in");
        for (; passed < events.size(); ++passed)
        {
            relay->send("out", events[passed].bytes);
            if (record != nullptr)
            {
                std::fwrite(events[passed].bytes.data(), 1, events[passed].bytes.size(), record);
                std::fflush(record);
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (record != nullptr)
        std::fclose(record);
    return 0;
}
