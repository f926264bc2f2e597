// Data flowing on several inputs while ports come and go, aliases are re-bound and filters and
// listeners change: nothing may crash, nothing may reach a wrong output, and (under the thread
// sanitizer) no data race may show.
#include "support/MidiManagerFixture.h"

#include <atomic>
#include <chrono>
#include <random>
#include <thread>
#include <vector>

namespace
{
constexpr int kPorts = 3;

struct CountingData : MidiManagerDataListener
{
    void midiDataReceived(int, std::int64_t, const unsigned char* data, int length, int*) override
    {
        if (length <= 0 || (data[0] != 0x90 && data[0] != 0xF0 && data[0] != 0x22))
            bad.fetch_add(1);
        calls.fetch_add(1);
    }
    std::atomic<int> calls{0};
    std::atomic<int> bad{0};
};

struct PassFilter : MidiOutDeviceFilter
{
    void filterOutput(int, const unsigned char**, int*, int*) override { calls.fetch_add(1); }
    std::atomic<int> calls{0};
};
} // namespace

using MidiDataPathStressTest = MidiManagerFixture;

TEST_F(MidiDataPathStressTest, DataKeepsFlowingSafelyWhilePortsAliasesAndFiltersChange)
{
    std::atomic<int> inputIds[kPorts];
    std::atomic<int> outputIds[kPorts];
    BString inputNames[kPorts];
    BString outputNames[kPorts];
    for (int i = 0; i < kPorts; ++i)
    {
        inputNames[i] = name(("In " + std::to_string(i)).c_str());
        outputNames[i] = name(("Out " + std::to_string(i)).c_str());
        inputIds[i].store(factory.addPort(true, inputNames[i]));
        outputIds[i].store(factory.addPort(false, outputNames[i]));
    }
    manager->updateDevices(true, true);
    for (int i = 0; i < kPorts; ++i)
    {
        manager->openInput(manager->findDeviceByName(inputNames[i], true));
        manager->openOutput(manager->findDeviceByName(outputNames[i], false));
    }
    route(inputNames[0], outputNames[0]);

    CountingData dataA;
    CountingData dataB;
    manager->setDataListener(&dataA);

    std::atomic<bool> stop{false};
    std::atomic<int> fed{0};
    std::vector<std::thread> feeders;
    for (int p = 0; p < kPorts; ++p)
    {
        feeders.emplace_back([&, p] {
            std::vector<unsigned char> sysex(1500, 0x22);
            sysex.front() = 0xF0;
            sysex.back() = 0xF7;
            unsigned counter = 0;
            while (!stop.load())
            {
                const int id = inputIds[p].load();
                if (factory.feedShort(id, 0x90, static_cast<unsigned char>(p), static_cast<unsigned char>(counter & 0x7F)))
                    fed.fetch_add(1);
                if (++counter % 64 == 0)
                    factory.feedSysEx(id, sysex.data(), static_cast<int>(sysex.size()));
                if (counter % 16 == 0)
                    std::this_thread::yield();
            }
        });
    }

    std::mt19937 random(12345);
    PassFilter filter;
    TMidiAliasManager* aliases = TMidiAliasManager::getInstance();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(2500);
    int round = 0;
    while (std::chrono::steady_clock::now() < deadline)
    {
        ++round;
        // Re-bind the routed aliases to other devices.
        aliases->beginBatch();
        aliases->setAlias(name("route in"), TMidiAlias::kInput, name("route in"), inputNames[random() % kPorts], true);
        aliases->setAlias(name("route out"), TMidiAlias::kOutput, name("route out"), outputNames[random() % kPorts],
                          true);
        aliases->endBatch();

        // Unplug and replug a port of either direction.
        const int which = static_cast<int>(random() % kPorts);
        const bool isInput = (random() % 2) == 0;
        std::atomic<int>& id = isInput ? inputIds[which] : outputIds[which];
        const BString& portName = isInput ? inputNames[which] : outputNames[which];
        factory.removePort(id.load());
        manager->updateDevices(true, true);
        id.store(factory.addPort(isInput, portName));
        manager->updateDevices(true, true);

        if (round % 3 == 0)
            manager->addOutputFilter(&filter);
        else if (round % 3 == 1)
            manager->removeOutputFilter(&filter);
        manager->setDataListener(round % 2 == 0 ? &dataA : &dataB);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    stop.store(true);
    for (std::thread& t : feeders)
        t.join();
    manager->removeOutputFilter(&filter);

    EXPECT_GT(round, 20);
    EXPECT_GT(fed.load(), 1000);
    EXPECT_EQ(dataA.bad.load() + dataB.bad.load(), 0);
    EXPECT_GT(dataA.calls.load() + dataB.calls.load(), 0);
    std::uint64_t thru = 0;
    for (int i = 0; i < kPorts; ++i)
    {
        thru += factory.sentCount(outputIds[i].load());
        for (const VirtualMidiFactory::Sent& sent : factory.sentTo(outputIds[i].load()))
        {
            ASSERT_FALSE(sent.bytes.empty());
            EXPECT_TRUE(sent.bytes[0] == 0x90 || sent.bytes[0] == 0xF0 || sent.bytes[0] == 0x22);
            if (sent.bytes[0] == 0x90)
            {
                EXPECT_LT(sent.bytes[1], kPorts);
            }
        }
    }
    EXPECT_GT(thru, 0u) << "the route forwarded data while everything changed";
    // Every object retired along the way is freed once the data path is quiet.
    manager->dataPathGuard().synchronize();
    EXPECT_EQ(manager->dataPathGuard().retiredCount(), 0u);
}
