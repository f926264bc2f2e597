// lumo-relay: a stand-in MIDI device on the JACK server for demos and tests. It registers the
// client NAME with a port "in" and a port "out"; everything that arrives at "in" is appended to
// RECORD_FILE (when given) and passed on to "out". Prints "ready" once both ports exist and runs
// until it is told to stop (SIGTERM / SIGINT).
#include "midi/jack/JackCompanion.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>

namespace
{
volatile std::sig_atomic_t stopRequested = 0;

void requestStop(int)
{
    stopRequested = 1;
}
} // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3)
    {
        std::fputs("usage: lumo-relay NAME [RECORD_FILE]\n", stderr);
        return 2;
    }
    std::signal(SIGTERM, requestStop);
    std::signal(SIGINT, requestStop);
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
    while (stopRequested == 0)
    {
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
