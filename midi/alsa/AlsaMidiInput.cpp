#include "midi/alsa/AlsaMidiInput.h"

#include "midi/alsa/AlsaMidiDescriptor.h"
#include "midi/alsa/AlsaSequencer.h"

AlsaMidiInput::AlsaMidiInput(std::shared_ptr<AlsaSequencer> sequencer_, std::unique_ptr<MidiDeviceDescriptor> d)
    : TMidiSessionInput(std::move(d)), sequencer(std::move(sequencer_))
{
}

AlsaMidiInput::~AlsaMidiInput()
{
    closeDevice();
}

void AlsaMidiInput::open()
{
    const std::string ownName = AlsaMidiDescriptor::ownPortName(getDescriptor());
    int client = -1;
    int port = -1;
    if (ownName.empty() && !AlsaMidiDescriptor::addressOf(getDescriptor(), client, port))
        return;
    openedAs(ownName.empty() ? sequencer->openInput(client, port, this) : sequencer->openOwnInput(ownName, this));
}

void AlsaMidiInput::close(void*)
{
    sequencer->close(releaseToken());
}

std::int64_t AlsaMidiInput::sessionNowMs() const
{
    return sequencer->nowMs();
}

void AlsaMidiInput::poll()
{
    if (isOpen() && !sequencer->isLive(currentToken()))
        closeDevice();
}

void AlsaMidiInput::alsaEvent(const unsigned char* data, std::size_t size, bool sysEx, std::int64_t timeMs)
{
    // The decoder gives one message per event; a malformed one goes whole.
    deliverEvent(data, size, sysEx, timeMs);
}
