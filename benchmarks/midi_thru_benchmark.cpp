// The in-process MIDI thru path: a virtual input delivering 3-byte messages and 1024-byte SysEx
// pieces through the MIDI manager (input filter, data listener, thru route, output filter) to a
// virtual output, against a floor where the input's callback calls the output directly.
// Counts heap allocations per message on both paths (AllocationCounting replaces the global operator new).
//
// Run: build/<dir>/benchmarks/midi_thru_benchmark   (configure with -DLUMO_BUILD_BENCHMARKS=ON)
#include "midi/MidiDeviceDescriptor.h"
#include "midi/MidiManager.h"
#include "midi/TMidiDeviceBase.h"
#include "support/VirtualMidiBackend.h"

#include "AllocationCounting.h"
#include "BenchThru.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <vector>

// ---------------------------------------------------------------------------------------------
// The two set-ups

namespace
{
// The floor: the input's driver callback hands the message straight to the output.
struct DirectThru : TMidiDeviceDataListener
{
    void onMidiData(TMidiDeviceBase*, std::int64_t, const unsigned char* data, int length) override
    {
        if (length <= 3 && data[0] != 0xF0)
        {
            std::uint32_t packed = data[0];
            if (length >= 2)
                packed |= static_cast<std::uint32_t>(data[1]) << 8;
            if (length >= 3)
                packed |= static_cast<std::uint32_t>(data[2]) << 16;
            output->sendShort(packed);
        }
        else
        {
            output->sendLong(data, length);
        }
    }
    TMidiOutputBase* output = nullptr;
};

// What an application does with every message: look at it, quickly.
struct Application : MidiManagerDataListener
{
    void midiDataReceived(int, std::int64_t, const unsigned char* data, int length, int*) override
    {
        seen += static_cast<unsigned>(data[0]) + static_cast<unsigned>(length);
    }
    unsigned seen = 0;
};

struct PassInput : MidiInDeviceFilter
{
    void filterInput(int, std::int64_t*, const unsigned char**, int*, int*) override {}
};

struct PassOutput : MidiOutDeviceFilter
{
    void filterOutput(int, const unsigned char**, int*, int*) override {}
};

struct Setup
{
    VirtualMidiFactory factory;
    int managedIn = 0;
    int managedOut = 0;
    int floorIn = 0;
    int floorOut = 0;
    std::unique_ptr<TMidiDeviceBase> floorInput;
    std::unique_ptr<TMidiDeviceBase> floorOutput;
    DirectThru direct;
    Application application;
    PassInput inputFilter;
    PassOutput outputFilter;
    std::vector<unsigned char> sysex;

    Setup() : sysex(1024, 0x33)
    {
        sysex.front() = 0xF0;
        sysex.back() = 0xF7;
        factory.setRescanOnChange(true);
        managedIn = factory.addPort(true, "Bench In");
        managedOut = factory.addPort(false, "Bench Out");
        floorIn = factory.addPort(true, "Floor In");
        floorOut = factory.addPort(false, "Floor Out");
        factory.setRecording(managedOut, false);
        factory.setRecording(floorOut, false);

        MidiManager* manager = MidiManager::getInstance();
        manager->addFactory(&factory);
        manager->start();
        manager->updateDevices(true, true);
        openBenchThru("Bench In", "Bench Out");
        manager->setDataListener(&application);
        manager->addInputFilter(&inputFilter);
        manager->addOutputFilter(&outputFilter);

        BOwnedList<MidiDeviceDescriptor*> inputs;
        BOwnedList<MidiDeviceDescriptor*> outputs;
        factory.copyDescriptors(true, inputs);
        factory.copyDescriptors(false, outputs);
        for (const MidiDeviceDescriptor* d : inputs)
            if (d->name == "Floor In")
                floorInput = factory.createDevice(*d);
        for (const MidiDeviceDescriptor* d : outputs)
            if (d->name == "Floor Out")
                floorOutput = factory.createDevice(*d);
        floorOutput->openDevice();
        direct.output = static_cast<TMidiOutputBase*>(floorOutput.get());
        auto* input = static_cast<TMidiInputBase*>(floorInput.get());
        input->setDataListener(&direct);
        input->openDevice();
        input->start();
    }
};

Setup& setup()
{
    static Setup* instance = new Setup(); // lives for the whole run
    return *instance;
}

void reportPerMessage(benchmark::State& state, std::uint64_t allocationsBefore, int output,
                      std::uint64_t sentBefore)
{
    const double messages = static_cast<double>(state.iterations());
    state.counters["allocs/msg"] =
        benchmark::Counter(static_cast<double>(allocationCount() - allocationsBefore) / messages);
    state.counters["delivered"] =
        benchmark::Counter(static_cast<double>(setup().factory.sentCount(output) - sentBefore) / messages);
    state.SetItemsProcessed(state.iterations());
}

void runShort(benchmark::State& state, int input, int output)
{
    Setup& s = setup();
    const std::uint64_t sentBefore = s.factory.sentCount(output);
    const std::uint64_t before = allocationCount();
    unsigned char value = 0;
    for (auto _ : state)
    {
        s.factory.feedShort(input, 0x90, 60, value);
        value = static_cast<unsigned char>((value + 1) & 0x7F);
    }
    reportPerMessage(state, before, output, sentBefore);
}

void runSysEx(benchmark::State& state, int input, int output)
{
    Setup& s = setup();
    const std::uint64_t sentBefore = s.factory.sentCount(output);
    const std::uint64_t before = allocationCount();
    for (auto _ : state)
        s.factory.feedSysEx(input, s.sysex.data(), static_cast<int>(s.sysex.size()));
    reportPerMessage(state, before, output, sentBefore);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(s.sysex.size()));
}
} // namespace

static void BM_Floor_Short3(benchmark::State& state)
{
    runShort(state, setup().floorIn, setup().floorOut);
}
static void BM_Manager_Short3(benchmark::State& state)
{
    runShort(state, setup().managedIn, setup().managedOut);
}
static void BM_Floor_SysEx1024(benchmark::State& state)
{
    runSysEx(state, setup().floorIn, setup().floorOut);
}
static void BM_Manager_SysEx1024(benchmark::State& state)
{
    runSysEx(state, setup().managedIn, setup().managedOut);
}

BENCHMARK(BM_Floor_Short3);
BENCHMARK(BM_Manager_Short3);
BENCHMARK(BM_Floor_SysEx1024);
BENCHMARK(BM_Manager_SysEx1024);

BENCHMARK_MAIN();
