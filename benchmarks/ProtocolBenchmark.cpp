// Cost of handling one incoming message on the MIDI input thread: the work the driver waits for
// before it gets its buffer back.
#include "app/protocol/ModuleProtocol.h"
#include "app/protocol/ProgramNameTable.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

namespace
{
// Keeps the lines alive long enough that the compiler cannot drop the decoding.
class CountingDisplay : public ModuleDisplay
{
public:
    void setDisplayText(const BString& top, const BString& bottom) override
    {
        characters += top.Length() + bottom.Length();
    }
    void programShown(int program) override { lastProgram = program; }

    long long characters = 0;
    int lastProgram = -1;
};

struct Fixture
{
    CountingDisplay display;
    ProgramNameTable names;
    ModuleProtocol protocol{display, names};
};

const std::vector<std::uint8_t> kDisplayMessage = {0xF0, 0x77, 16, 18, 15, 7, 18, 1, 13, 0,
                                                   27, 27, 39, 0, 0, 0, 0, 0, 0x75, 0xF7};

void DisplayMessage(benchmark::State& state)
{
    Fixture f;
    for (auto _ : state)
        f.protocol.handleMessage(kDisplayMessage.data(), static_cast<int>(kDisplayMessage.size()));
    benchmark::DoNotOptimize(f.display.characters);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(DisplayMessage);

// Argument 0: every program has its default name; 1: every program has a stored, long name.
void ProgramChange(benchmark::State& state)
{
    Fixture f;
    if (state.range(0) != 0)
        for (int p = 0; p < ProgramNameTable::kCount; ++p)
            f.names.setName(p, BString::Format("NAME %03d LONGER THAN SIXTEEN", p));
    std::uint8_t message[] = {0xC0, 0};
    for (auto _ : state)
    {
        message[1] = static_cast<std::uint8_t>((message[1] + 1) & 0x7F);
        f.protocol.handleMessage(message, 2);
    }
    benchmark::DoNotOptimize(f.display.lastProgram);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(ProgramChange)->ArgName("storedNames")->Arg(0)->Arg(1);

void ProgramChangeOtherChannel(benchmark::State& state)
{
    Fixture f;
    f.protocol.setReceiveChannel(0);
    const std::uint8_t message[] = {0xC5, 0x10};
    for (auto _ : state)
        f.protocol.handleMessage(message, 2);
    benchmark::DoNotOptimize(f.display.lastProgram);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(ProgramChangeOtherChannel);

void OtherMessage(benchmark::State& state)
{
    Fixture f;
    const std::uint8_t message[] = {0x90, 0x40, 0x7F};
    for (auto _ : state)
        f.protocol.handleMessage(message, 3);
    benchmark::DoNotOptimize(f.display.characters);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(OtherMessage);

void DecodeDisplayChar(benchmark::State& state)
{
    std::uint8_t code = 0;
    for (auto _ : state)
    {
        BString decoded = decodeDisplayChar(code++);
        benchmark::DoNotOptimize(decoded.CStr());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(DecodeDisplayChar);
} // namespace

BENCHMARK_MAIN();
