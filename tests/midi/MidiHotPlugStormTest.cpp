// The bound input and the thru output unplugged and plugged in again a thousand times while
// numbered traffic flows into the input, wired as the program wires them: aliases "MIDI Input"
// and "MIDI Thru", both devices opened through their aliases, the thru route between them.
// Whatever was sent while both ports were present and bound must reach the thru output, in
// order and byte for byte; after every replug both aliases must be bound to the returning ports
// and their devices open. Under the thread sanitizer this is also the race check of the replug
// paths against the data path.
#include "support/HotPlugStorm.h"
#include "support/MidiManagerFixture.h"
#include "support/WaitFor.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace
{
// Messages per storm phase and at least per epoch; SysEx up to 1500 bytes (two driver pieces).
constexpr int kPerPhase = 24;
constexpr int kPerEpoch = 8;
constexpr int kMaxSysEx = 1500;

// A thread that runs one update pass after each storm step, as the device-change notifier does
// on the timer thread; stopped and joined however the test ends.
class ConcurrentPasses
{
public:
    explicit ConcurrentPasses(MidiManager& manager) : worker([this, &manager] { run(manager); }) {}
    ~ConcurrentPasses() { stop(); }

    void nextStep()
    {
        std::lock_guard<std::mutex> guard(mutex);
        ++step;
        changed.notify_all();
    }
    void stop()
    {
        {
            std::lock_guard<std::mutex> guard(mutex);
            stopping = true;
        }
        changed.notify_all();
        if (worker.joinable())
            worker.join();
    }
    int passes() const { return passCount.load(); }

private:
    void run(MidiManager& manager)
    {
        int served = 0;
        for (;;)
        {
            {
                std::unique_lock<std::mutex> guard(mutex);
                changed.wait(guard, [&] { return stopping || step != served; });
                if (stopping)
                    return;
                served = step;
            }
            manager.updateDevices(false, true);
            passCount.fetch_add(1);
        }
    }

    std::mutex mutex;
    std::condition_variable changed;
    int step = 0;
    bool stopping = false;
    std::atomic<int> passCount{0};
    std::thread worker;
};
} // namespace

class MidiHotPlugStorm : public MidiManagerFixture
{
protected:
    // Binds the two aliases and opens their devices the way the main panel does it at start.
    void bindAsTheProgramDoes(const BString& inputPort, const BString& outputPort)
    {
        TMidiAliasManager* aliases = TMidiAliasManager::getInstance();
        aliases->beginBatch();
        const BString& in = lumo_test::inputAliasName();
        const BString& thru = lumo_test::thruAliasName();
        aliases->setAlias(in, TMidiAlias::kInput, in, inputPort, true);
        aliases->setAlias(thru, TMidiAlias::kOutput, thru, outputPort, true);
        aliases->endBatch();
        manager->updateDevices(false, true);
        for (const bool isInput : {false, true})
        {
            const TMidiAlias* alias = lumo_test::panelAlias(isInput);
            ASSERT_NE(alias, nullptr);
            isInput ? manager->openInput(alias->deviceIndex.load()) : manager->openOutput(alias->deviceIndex.load());
        }
        TMidiRouter::getInstance()->addRoute(lumo_test::panelAlias(false), lumo_test::panelAlias(true));
    }
};

TEST_F(MidiHotPlugStorm, ThruLosesNothingSentWhileBoundThroughAThousandUnplugsAndReplugs)
{
    const int cycles = lumo_test::hotPlugCycles(1000);
    const BString inputPort = name("Storm keys");
    const BString outputPort = name("Storm synth");
    std::atomic<int> inputId{factory.addPort(true, inputPort)};
    std::vector<int> outputIds{factory.addPort(false, outputPort)};
    // The panel is the data listener; it leaves every message to thru.
    CollectingDataListener panel;
    manager->setDataListener(&panel);
    bindAsTheProgramDoes(inputPort, outputPort);
    ASSERT_TRUE(lumo_test::boundAndOpen(*manager, inputPort, true));
    ASSERT_TRUE(lumo_test::boundAndOpen(*manager, outputPort, false));

    lumo_test::StormTraffic traffic(
        [&](const lumo_test::Bytes& message) {
            const int id = inputId.load();
            if (message[0] == 0xF0)
                return factory.feedSysEx(id, message.data(), static_cast<int>(message.size())) > 0;
            return factory.feedShort(id, message[0], message[1], message[2]);
        },
        kPerPhase, kMaxSysEx);
    traffic.start();

    // The notifier's passes on the timer thread, one per storm step, meeting the storm's own.
    ConcurrentPasses notifierLike(*manager);

    const lumo_test::Stopwatch watch;
    for (int cycle = 0; cycle < cycles; ++cycle)
    {
        traffic.setPresent(true);
        ASSERT_TRUE(traffic.waitForSentInEpoch(kPerEpoch, 20000)) << "cycle " << cycle;
        traffic.setPresent(false);

        // Either port goes first; every other pair of cycles the two go in separate rescans.
        const bool inputFirst = cycle % 2 == 0;
        const bool separately = (cycle / 2) % 2 == 1;
        const auto unplug = [&](bool isInput) {
            ASSERT_TRUE(factory.removePort(isInput ? inputId.load() : outputIds.back()));
            notifierLike.nextStep();
        };
        const auto replug = [&](bool isInput) {
            if (isInput)
                inputId.store(factory.addPort(true, inputPort));
            else
                outputIds.push_back(factory.addPort(false, outputPort));
            notifierLike.nextStep();
        };

        // Unplug both: the rescan closes both devices and keeps them wanted.
        unplug(inputFirst);
        if (separately)
            manager->updateDevices(true, true);
        unplug(!inputFirst);
        manager->updateDevices(true, true);
        ASSERT_TRUE(lumo_test::goneAndClosed(*manager, inputPort, true)) << "cycle " << cycle;
        ASSERT_TRUE(lumo_test::goneAndClosed(*manager, outputPort, false)) << "cycle " << cycle;
        traffic.nextPhase();

        // Plug both in again under the same names: the rescan re-binds and reopens them.
        replug(!inputFirst);
        if (separately)
            manager->updateDevices(true, true);
        replug(inputFirst);
        manager->updateDevices(true, true);
        ASSERT_TRUE(lumo_test::boundAndOpen(*manager, inputPort, true)) << "cycle " << cycle;
        ASSERT_TRUE(lumo_test::boundAndOpen(*manager, outputPort, false)) << "cycle " << cycle;
    }
    notifierLike.stop();
    traffic.setPresent(true);
    ASSERT_TRUE(traffic.waitForSentInEpoch(kPerEpoch, 20000));
    traffic.stop();
    const long long stormMs = watch.elapsedMs();

    EXPECT_TRUE(lumo_test::boundAndOpen(*manager, inputPort, true));
    EXPECT_TRUE(lumo_test::boundAndOpen(*manager, outputPort, false));
    EXPECT_EQ(traffic.refusedWhilePresent(), 0);
    EXPECT_EQ(traffic.epochs(), cycles + 1);

    // What the thru output got, port after port in plug order.
    std::vector<lumo_test::Bytes> received;
    for (const int id : outputIds)
        for (VirtualMidiFactory::Sent& sent : factory.sentTo(id))
            received.push_back(std::move(sent.bytes));
    const std::vector<lumo_test::Bytes> expected =
        lumo_test::inPieces(traffic.expected(), static_cast<std::size_t>(TMidiOutputBase::kBlockSize));
    EXPECT_TRUE(lumo_test::receivedInOrder(expected, received));
    if (traffic.sentCount() < (1u << 18)) // numbers repeat after that (longer runs)
    {
        EXPECT_TRUE(lumo_test::noneTwice(received));
    }
    // The panel saw the same, all of it from the one record of the input.
    manager->setDataListener(nullptr);
    const int inputIndex = manager->findDeviceByName(inputPort, true);
    std::vector<lumo_test::Bytes> shown;
    int fromElsewhere = 0;
    for (auto& message : panel.messages())
    {
        fromElsewhere += message.first != inputIndex ? 1 : 0;
        shown.push_back(std::move(message.second));
    }
    EXPECT_EQ(fromElsewhere, 0);
    EXPECT_TRUE(lumo_test::receivedInOrder(expected, shown));
    std::printf("[measure] %d replug cycles in %lld ms; %u messages sent, %zu while bound, %zu received; %d "
                "concurrent passes\n",
                cycles, stormMs, traffic.sentCount(), traffic.expectedCount(), received.size(), notifierLike.passes());

    // Nothing retired along the way stays behind once the data path is quiet.
    manager->dataPathGuard().synchronize();
    EXPECT_EQ(manager->dataPathGuard().retiredCount(), 0u);
}
