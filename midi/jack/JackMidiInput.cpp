#include "midi/jack/JackMidiInput.h"

#include "midi/MidiDeviceDescriptor.h"
#include "midi/MidiStatus.h"
#include "midi/jack/JackMidiDescriptor.h"
#include "midi/jack/JackSession.h"

JackMidiInput::JackMidiInput(std::shared_ptr<JackSession> session_, std::unique_ptr<MidiDeviceDescriptor> d)
    : TMidiSessionInput(std::move(d)), session(std::move(session_))
{
}

JackMidiInput::~JackMidiInput()
{
    closeDevice();
}

void JackMidiInput::open()
{
    const std::string ownName = JackMidiDescriptor::ownPortName(getDescriptor());
    openedAs(ownName.empty() ? session->openInput(JackMidiDescriptor::portNameOf(getDescriptor()), this)
                             : session->openOwnInput(ownName, this));
}

void JackMidiInput::close(void*)
{
    session->close(releaseToken());
}

std::int64_t JackMidiInput::sessionNowMs() const
{
    return session->nowMs();
}

void JackMidiInput::poll()
{
    if (isOpen() && !session->isLive(currentToken(), JackMidiDescriptor::portNameOf(getDescriptor())))
        closeDevice();
}

void JackMidiInput::jackEvent(const unsigned char* data, std::size_t size, std::int64_t timeMs)
{
    // Short messages; an event normally holds one, but a sender may pack several.
    deliverEvent(data, size, size != 0 && (data[0] == MidiStatus::kSysExStart || data[0] < 0x80), timeMs);
}
