#include "midi/alsa/AlsaMidiOutput.h"

#include "midi/MidiStatus.h"
#include "midi/alsa/AlsaMidiDescriptor.h"
#include "midi/alsa/AlsaSequencer.h"

#include <algorithm>

AlsaMidiOutput::AlsaMidiOutput(std::shared_ptr<AlsaSequencer> sequencer_, std::unique_ptr<MidiDeviceDescriptor> d)
    : TMidiOutputBase(std::move(d)), sequencer(std::move(sequencer_))
{
}

AlsaMidiOutput::~AlsaMidiOutput()
{
    closeDevice();
}

void AlsaMidiOutput::open()
{
    const std::string ownName = AlsaMidiDescriptor::ownPortName(getDescriptor());
    int client = -1;
    int port = -1;
    if (ownName.empty() && !AlsaMidiDescriptor::addressOf(getDescriptor(), client, port))
        return;
    const std::uint64_t opened =
        ownName.empty() ? sequencer->openOutput(client, port) : sequencer->openOwnOutput(ownName);
    if (opened == 0)
        return;
    token.store(opened);
    setHandle(this);
}

void AlsaMidiOutput::close(void*)
{
    sequencer->close(token.exchange(0));
}

bool AlsaMidiOutput::sendShort(std::uint32_t message)
{
    const unsigned char bytes[3] = {static_cast<unsigned char>(message), static_cast<unsigned char>(message >> 8),
                                    static_cast<unsigned char>(message >> 16)};
    const int length = std::max(1, MidiStatus::statusLength(bytes[0]));
    return isOpen() && sequencer->send(token.load(std::memory_order_acquire), bytes, static_cast<std::size_t>(length));
}

bool AlsaMidiOutput::sendLong(const unsigned char* data, int length)
{
    return isOpen() && length > 0 &&
           sequencer->send(token.load(std::memory_order_acquire), data, static_cast<std::size_t>(length));
}

int AlsaMidiOutput::pendingLongCount() const
{
    return sequencer->pendingSends();
}

void AlsaMidiOutput::poll()
{
    if (isOpen() && !sequencer->isLive(token.load()))
        closeDevice();
}
