// The thru path through the ALSA backend against a direct subscription between ports of the same
// client, in one run: the ratio is what counts (under the test VM's emulated CPU absolute times
// mean little). Needs a sequencer, so it runs in the test VM:
//
//   scripts/vm/alsa-tests.sh build/linux/benchmarks/alsa_thru_benchmark [MESSAGES]
//
// Two measurements, each taken alternately over both paths so that they share the machine's
// load: the round trip of one message at a time (send, wait until it arrived), and a burst of
// MESSAGES sent back to back until the last one arrived. Exit status 77 without a sequencer.
#include "midi/MidiManager.h"
#include "midi/alsa/AlsaCompanion.h"
#include "midi/alsa/AlsaMidiFactory.h"

#include "BenchThru.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace
{
using Clock = std::chrono::steady_clock;

double microseconds(Clock::duration d)
{
    return std::chrono::duration<double, std::micro>(d).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

struct Path
{
    const char* name;
    int from;
    int to;
};

// Sends count notes from path.from and waits until all reached path.to; the time taken.
bool burst(AlsaCompanion& bench, const Path& path, int count, double& elapsedUs)
{
    bench.clearReceived(path.to);
    const auto start = Clock::now();
    for (int i = 0; i < count; ++i)
        if (!bench.send(path.from, {0x90, static_cast<unsigned char>(i & 0x7F), 1}))
            return false;
    const bool all = bench.waitForCount(path.to, static_cast<std::size_t>(count), 30000);
    elapsedUs = microseconds(Clock::now() - start);
    return all;
}
} // namespace

int main(int argc, char** argv)
{
    const int messages = argc > 1 ? std::max(10, std::atoi(argv[1])) : 2000;
    if (access("/dev/snd/seq", F_OK) != 0)
    {
        std::fprintf(stderr, "alsa_thru_benchmark: no ALSA sequencer here; run it in the test VM "
                             "(scripts/vm/alsa-tests.sh %s)\n", argv[0]);
        return 77;
    }
    MidiManager* manager = MidiManager::getInstance();
    auto* factory = new AlsaMidiFactory("lumo-bench", false); // belongs to the AutoDelete registry
    manager->addFactory(factory);
    manager->start();

    auto bench = AlsaCompanion::open("bench");
    if (!bench)
        return 1;
    const int src = bench->addPort("src", true);
    const int sink = bench->addPort("sink", false);
    const int directSrc = bench->addPort("direct-src", true);
    const int directSink = bench->addPort("direct-sink", false);
    if (!bench->connect(bench->clientId(), directSrc, bench->clientId(), directSink))
        return 1;
    manager->updateDevices(true, true);

    if (!openBenchThru("bench:src", "bench:sink"))
    {
        std::fprintf(stderr, "alsa_thru_benchmark: the manager does not list the bench ports\n");
        return 1;
    }

    const Path thru{"thru through the program", src, sink};
    const Path direct{"direct subscription", directSrc, directSink};
    // Warm up both paths.
    double ignored = 0;
    if (!burst(*bench, thru, 50, ignored) || !burst(*bench, direct, 50, ignored))
    {
        std::fprintf(stderr, "alsa_thru_benchmark: messages did not arrive\n");
        return 1;
    }

    // One message at a time, alternating the paths.
    const int rounds = std::min(messages, 1000);
    std::vector<double> thruTrips;
    std::vector<double> directTrips;
    for (int i = 0; i < rounds; ++i)
    {
        for (const Path* path : {&thru, &direct})
        {
            double us = 0;
            if (!burst(*bench, *path, 1, us))
            {
                std::fprintf(stderr, "alsa_thru_benchmark: a message over the %s was lost\n", path->name);
                return 1;
            }
            (path == &thru ? thruTrips : directTrips).push_back(us);
        }
    }

    // Bursts, alternating the paths.
    std::vector<double> thruBursts;
    std::vector<double> directBursts;
    for (int i = 0; i < 5; ++i)
    {
        for (const Path* path : {&thru, &direct})
        {
            double us = 0;
            if (!burst(*bench, *path, messages, us))
            {
                std::fprintf(stderr, "alsa_thru_benchmark: a burst over the %s lost messages\n", path->name);
                return 1;
            }
            (path == &thru ? thruBursts : directBursts).push_back(us / messages);
        }
    }

    const double tripThru = median(thruTrips);
    const double tripDirect = median(directTrips);
    const double burstThru = median(thruBursts);
    const double burstDirect = median(directBursts);
    std::printf("[measure] one message at a time (%d each, median round trip): thru %.1f us, direct %.1f us, "
                "ratio %.2f\n",
                rounds, tripThru, tripDirect, tripDirect > 0 ? tripThru / tripDirect : 0.0);
    std::printf("[measure] bursts of %d (median of 5, per message): thru %.2f us, direct %.2f us, ratio %.2f\n",
                messages, burstThru, burstDirect, burstDirect > 0 ? burstThru / burstDirect : 0.0);
    const AlsaSequencer::Stats stats = factory->getSequencer().stats();
    std::printf("[measure] backend: %llu events in, %llu out, %llu overruns, %llu failed sends\n",
                static_cast<unsigned long long>(stats.eventsIn), static_cast<unsigned long long>(stats.eventsOut),
                static_cast<unsigned long long>(stats.overruns), static_cast<unsigned long long>(stats.sendFailures));
    std::fflush(stdout);
    manager->closeInput(manager->findDeviceByName(BString("bench:src"), true), true);
    manager->closeOutput(manager->findDeviceByName(BString("bench:sink"), false), true);
    return 0;
}
