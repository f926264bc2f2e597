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
    started.store(0);
    int client = -1;
    int port = -1;
    if (!AlsaMidiDescriptor::addressOf(getDescriptor(), client, port))
        return;
    const std::uint64_t opened = sequencer->openInput(client, port, this);
    if (opened == 0)
        return;
    token.store(opened);
    setHandle(this);
}

void AlsaMidiInput::close(void*)
{
    started.store(0);
    sequencer->close(token.exchange(0));
}

void AlsaMidiInput::start()
{
    if (!isOpen())
        return;
    originMs.store(sequencer->nowMs());
    lastTimestamp = 0;
    markStarted(true);
    started.store(1, std::memory_order_release);
}

void AlsaMidiInput::stop()
{
    started.store(0);
    markStarted(false);
}

void AlsaMidiInput::poll()
{
    if (isOpen() && !sequencer->isLive(token.load()))
        closeDevice();
}

void AlsaMidiInput::alsaEvent(const unsigned char* data, std::size_t size, bool sysEx, std::int64_t timeMs)
{
    if (started.load(std::memory_order_acquire) == 0 || size == 0)
        return;
    lastTimestamp = std::max(lastTimestamp, timeMs - originMs.load(std::memory_order_relaxed));
    // The decoder gives one message per event; a malformed one goes whole.
    deliverBytes(data, size, sysEx, lastTimestamp);
}
