#include "midi/jack/JackMidiOutput.h"

#include "midi/MidiDeviceDescriptor.h"
#include "midi/MidiStatus.h"
#include "midi/jack/JackMidiDescriptor.h"
#include "midi/jack/JackSession.h"

#include <algorithm>
#include <string>

namespace
{
std::string portNameOf(const MidiDeviceDescriptor* d)
{
    return d != nullptr ? std::string(d->getInterfaceName().CStr()) : std::string();
}
} // namespace

JackMidiOutput::JackMidiOutput(std::shared_ptr<JackSession> session_, std::unique_ptr<MidiDeviceDescriptor> d)
    : TMidiOutputBase(std::move(d)), session(std::move(session_))
{
}

JackMidiOutput::~JackMidiOutput()
{
    closeDevice();
}

void JackMidiOutput::open()
{
    const std::string ownName = JackMidiDescriptor::ownPortName(getDescriptor());
    const std::uint64_t opened = ownName.empty() ? session->openOutput(portNameOf(getDescriptor()))
                                                 : session->openOwnOutput(ownName);
    if (opened == 0)
        return;
    token.store(opened);
    setHandle(this);
}

void JackMidiOutput::close(void*)
{
    session->close(token.exchange(0));
}

bool JackMidiOutput::sendShort(std::uint32_t message)
{
    const unsigned char bytes[3] = {static_cast<unsigned char>(message), static_cast<unsigned char>(message >> 8),
                                    static_cast<unsigned char>(message >> 16)};
    const int length = std::max(1, MidiStatus::statusLength(bytes[0]));
    return isOpen() && session->send(token.load(std::memory_order_acquire), bytes, length);
}

bool JackMidiOutput::sendLong(const unsigned char* data, int length)
{
    return isOpen() && session->send(token.load(std::memory_order_acquire), data, length);
}

int JackMidiOutput::pendingLongCount() const
{
    return session->pending(token.load(std::memory_order_acquire));
}

void JackMidiOutput::poll()
{
    if (isOpen() && !session->isLive(token.load(), portNameOf(getDescriptor())))
        closeDevice();
}
