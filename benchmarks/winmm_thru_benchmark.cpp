// The WinMM backend's thru path through the fake driver: the driver's input callback, the MIDI
// manager (data listener, thru route) and the output's send, per 3-byte message, against a floor
// where the input's callback calls the output's send directly. The benchmark's thread stands in
// for the driver's callback thread. Counts heap allocations per message on both paths.
//
// Run: build/<dir>/benchmarks/winmm_thru_benchmark   (configure with -DLUMO_BUILD_BENCHMARKS=ON)
#include "midi/MidiDeviceDescriptor.h"
#include "midi/MidiManager.h"
#include "midi/TMidiDeviceBase.h"
#include "midi/winmm/MidiWinFactory.h"
#include "support/FakeWinMMDriver.h"

#include "AllocationCounting.h"
#include "BenchThru.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>


namespace
{
struct DirectThru : TMidiDeviceDataListener
{
    void onMidiData(TMidiDeviceBase*, std::int64_t, const unsigned char* data, int) override
    {
        output->sendShort(static_cast<std::uint32_t>(data[0]) | static_cast<std::uint32_t>(data[1]) << 8 |
                          static_cast<std::uint32_t>(data[2]) << 16);
    }
    TMidiOutputBase* output = nullptr;
};

struct Application : MidiManagerDataListener
{
    void midiDataReceived(int, std::int64_t, const unsigned char* data, int length, int*) override
    {
        seen += static_cast<unsigned>(data[0]) + static_cast<unsigned>(length);
    }
    unsigned seen = 0;
};

struct Setup
{
    FakeWinMMDriver driver;
    int managedIn = 0;
    int floorIn = 0;
    std::unique_ptr<TMidiDeviceBase> floorInput;
    std::unique_ptr<TMidiDeviceBase> floorOutput;
    DirectThru direct;
    Application application;

    Setup()
    {
        WinMMSystem::install(&driver);
        driver.recordShortMessages = false;
        managedIn = driver.addInput({"Bench In", "", 0});
        floorIn = driver.addInput({"Floor In", "", 0});
        driver.addOutput({"Bench Out", "", 0});
        driver.addOutput({"Floor Out", "", 0});

        MidiWinFactory* factory = MidiWinFactory::getInstance();
        MidiManager* manager = MidiManager::getInstance();
        manager->addFactory(factory);
        manager->start();
        manager->updateDevices(true, true);
        openBenchThru("Bench In", "Bench Out");
        manager->setDataListener(&application);

        BOwnedList<MidiDeviceDescriptor*> inputs;
        BOwnedList<MidiDeviceDescriptor*> outputs;
        factory->copyDescriptors(true, inputs);
        factory->copyDescriptors(false, outputs);
        floorInput = factory->createDevice(*inputs[floorIn]);
        floorOutput = factory->createDevice(*outputs[2]); // after the Mapper and Bench Out
        floorOutput->openDevice();
        direct.output = static_cast<TMidiOutputBase*>(floorOutput.get());
        auto* input = static_cast<TMidiInputBase*>(floorInput.get());
        input->setDataListener(&direct);
        input->openDevice();
        input->start();
        driver.drain();
    }
};

Setup& setup()
{
    static Setup* instance = new Setup(); // lives for the whole run
    return *instance;
}

void runShort(benchmark::State& state, int input)
{
    Setup& s = setup();
    const std::uint64_t sentBefore = s.driver.shortMessagesSent();
    const std::uint64_t before = allocationCount();
    std::uint32_t value = 0;
    for (auto _ : state)
    {
        s.driver.deliverShortNow(input, 0x3C90u | value << 16, 0);
        value = (value + 1) & 0x7F;
    }
    const double messages = static_cast<double>(state.iterations());
    state.counters["allocs/msg"] = static_cast<double>(allocationCount() - before) / messages;
    state.counters["sent/msg"] = static_cast<double>(s.driver.shortMessagesSent() - sentBefore) / messages;
    state.SetItemsProcessed(state.iterations());
}
} // namespace

static void BM_WinMM_Floor_Short3(benchmark::State& state)
{
    runShort(state, setup().floorIn);
}
static void BM_WinMM_Manager_Short3(benchmark::State& state)
{
    runShort(state, setup().managedIn);
}

BENCHMARK(BM_WinMM_Floor_Short3);
BENCHMARK(BM_WinMM_Manager_Short3);

BENCHMARK_MAIN();
