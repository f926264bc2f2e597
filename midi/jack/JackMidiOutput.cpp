#include "midi/jack/JackMidiOutput.h"

#include "midi/MidiDeviceDescriptor.h"
#include "midi/jack/JackMidiDescriptor.h"
#include "midi/jack/JackSession.h"

#include <string>

JackMidiOutput::JackMidiOutput(std::shared_ptr<JackSession> session_, std::unique_ptr<MidiDeviceDescriptor> d)
    : TMidiSessionOutput(std::move(d)), session(std::move(session_))
{
}

JackMidiOutput::~JackMidiOutput()
{
    closeDevice();
}

void JackMidiOutput::open()
{
    const std::string ownName = JackMidiDescriptor::ownPortName(getDescriptor());
    openedAs(ownName.empty() ? session->openOutput(JackMidiDescriptor::portNameOf(getDescriptor()))
                             : session->openOwnOutput(ownName));
}

void JackMidiOutput::close(void*)
{
    session->close(releaseToken());
}

bool JackMidiOutput::sessionSend(std::uint64_t sendToken, const unsigned char* data, int length)
{
    return session->send(sendToken, data, length);
}

int JackMidiOutput::pendingLongCount() const
{
    return session->pending(currentToken());
}

void JackMidiOutput::poll()
{
    if (isOpen() && !session->isLive(currentToken(), JackMidiDescriptor::portNameOf(getDescriptor())))
        closeDevice();
}
