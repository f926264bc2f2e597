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
    if (sysEx)
    {
        deliverPieces(data, size, lastTimestamp);
        return;
    }
    // The decoder gives one message per event; walk them anyway, a malformed one goes whole.
    std::size_t offset = 0;
    while (offset < size)
    {
        const int length = MidiStatus::statusLength(data[offset]);
        if (length <= 0 || offset + static_cast<std::size_t>(length) > size || data[offset] == MidiStatus::kSysExStart)
        {
            deliverPieces(data + offset, size - offset, lastTimestamp);
            return;
        }
        unsigned char message[3] = {0, 0, 0};
        std::copy(data + offset, data + offset + length, message);
        deliverShort(message, lastTimestamp);
        offset += static_cast<std::size_t>(length);
    }
}

void AlsaMidiInput::deliverPieces(const unsigned char* data, std::size_t size, std::int64_t timestamp)
{
    for (std::size_t offset = 0; offset < size; offset += kPieceSize)
    {
        const std::size_t piece = std::min<std::size_t>(kPieceSize, size - offset);
        deliverLong(data + offset, static_cast<int>(piece), timestamp);
    }
}
