#include "midi/alsa/AlsaMidiOutput.h"

#include "midi/alsa/AlsaMidiDescriptor.h"
#include "midi/alsa/AlsaSequencer.h"


AlsaMidiOutput::AlsaMidiOutput(std::shared_ptr<AlsaSequencer> sequencer_, std::unique_ptr<MidiDeviceDescriptor> d)
    : TMidiSessionOutput(std::move(d)), sequencer(std::move(sequencer_))
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
    openedAs(ownName.empty() ? sequencer->openOutput(client, port) : sequencer->openOwnOutput(ownName));
}

void AlsaMidiOutput::close(void*)
{
    sequencer->close(releaseToken());
}

bool AlsaMidiOutput::sessionSend(std::uint64_t sendToken, const unsigned char* data, int length)
{
    return sequencer->send(sendToken, data, static_cast<std::size_t>(length));
}

int AlsaMidiOutput::pendingLongCount() const
{
    return sequencer->pendingSends();
}

void AlsaMidiOutput::poll()
{
    if (isOpen() && !sequencer->isLive(currentToken()))
        closeDevice();
}
