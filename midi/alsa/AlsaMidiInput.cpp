#include "midi/alsa/AlsaMidiInput.h"

#include "midi/MidiStatus.h"
#include "midi/alsa/AlsaMidiDescriptor.h"
#include "midi/alsa/AlsaSequencer.h"

#include <algorithm>

AlsaMidiInput::AlsaMidiInput(std::shared_ptr<AlsaSequencer> sequencer_, std::unique_ptr<MidiDeviceDescriptor> d)
    : TMidiInputBase(std::move(d)), sequencer(std::move(sequencer_))
{
}

AlsaMidiInput::~AlsaMidiInput()
{
    closeDevice();
}

void AlsaMidiInput::open()
{
    started.store(0, std::memory_order_release);
    const std::string ownName = AlsaMidiDescriptor::ownPortName(getDescriptor());
    int client = -1;
    int port = -1;
    if (ownName.empty() && !AlsaMidiDescriptor::addressOf(getDescriptor(), client, port))
        return;
    const std::uint64_t opened =
        ownName.empty() ? sequencer->openInput(client, port, this) : sequencer->openOwnInput(ownName, this);
    if (opened == 0)
        return;
    token.store(opened);
    setHandle(this);
}

void AlsaMidiInput::close(void*)
{
    // The close below returns only once no delivery is under way (and none can start).
    started.store(0, std::memory_order_release);
    sequencer->close(token.exchange(0));
}

void AlsaMidiInput::start()
{
    if (!isOpen())
        return;
    originMs.store(sequencer->nowMs(), std::memory_order_relaxed);
    markStarted(true);
    // A new run number: the delivering thread starts its timestamps afresh when it sees it, and
    // the release publishes originMs to it.
    started.store(runs.fetch_add(1, std::memory_order_relaxed) + 1, std::memory_order_release);
}

void AlsaMidiInput::stop()
{
    // A delivery under way may still finish; close waits for it.
    started.store(0, std::memory_order_release);
    markStarted(false);
}

void AlsaMidiInput::poll()
{
    if (isOpen() && !sequencer->isLive(token.load()))
        closeDevice();
}

void AlsaMidiInput::alsaEvent(const unsigned char* data, std::size_t size, bool sysEx, std::int64_t timeMs)
{
    const int run = started.load(std::memory_order_acquire);
    if (run == 0 || size == 0)
        return;
    if (run != deliveryRun)
    {
        deliveryRun = run;
        lastTimestamp = 0;
    }
    lastTimestamp = std::max(lastTimestamp, timeMs - originMs.load(std::memory_order_relaxed));
    // The decoder gives one message per event; a malformed one goes whole.
    deliverBytes(data, size, sysEx, lastTimestamp);
}
