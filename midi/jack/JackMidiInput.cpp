#include "midi/jack/JackMidiInput.h"

#include "midi/MidiDeviceDescriptor.h"
#include "midi/MidiStatus.h"
#include "midi/jack/JackSession.h"

#include <algorithm>

namespace
{
std::string portNameOf(const MidiDeviceDescriptor* d)
{
    return d != nullptr ? std::string(d->getInterfaceName().CStr()) : std::string();
}
} // namespace

JackMidiInput::JackMidiInput(std::shared_ptr<JackSession> session_, std::unique_ptr<MidiDeviceDescriptor> d)
    : TMidiInputBase(std::move(d)), session(std::move(session_))
{
}

JackMidiInput::~JackMidiInput()
{
    closeDevice();
}

void JackMidiInput::open()
{
    started.store(0);
    const std::uint64_t opened = session->openInput(portNameOf(getDescriptor()), this);
    if (opened == 0)
        return;
    token.store(opened);
    setHandle(this);
}

void JackMidiInput::close(void*)
{
    started.store(0);
    session->close(token.exchange(0));
}

void JackMidiInput::start()
{
    if (!isOpen())
        return;
    originMs.store(session->nowMs());
    lastTimestamp = 0;
    markStarted(true);
    started.store(1);
}

void JackMidiInput::stop()
{
    started.store(0);
    markStarted(false);
}

void JackMidiInput::poll()
{
    if (isOpen() && !session->isLive(token.load(), portNameOf(getDescriptor())))
        closeDevice();
}

void JackMidiInput::jackEvent(const unsigned char* data, std::size_t size, std::int64_t timeMs)
{
    if (started.load(std::memory_order_acquire) == 0 || size == 0)
        return;
    lastTimestamp = std::max(lastTimestamp, timeMs - originMs.load(std::memory_order_relaxed));
    // Short messages; an event normally holds one, but a sender may pack several.
    deliverBytes(data, size, data[0] == MidiStatus::kSysExStart || data[0] < 0x80, lastTimestamp);
}
