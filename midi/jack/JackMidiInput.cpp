#include "midi/jack/JackMidiInput.h"

#include "midi/MidiDeviceDescriptor.h"
#include "midi/MidiStatus.h"
#include "midi/jack/JackMidiDescriptor.h"
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
    started.store(0, std::memory_order_release);
    const std::string ownName = JackMidiDescriptor::ownPortName(getDescriptor());
    const std::uint64_t opened = ownName.empty() ? session->openInput(portNameOf(getDescriptor()), this)
                                                 : session->openOwnInput(ownName, this);
    if (opened == 0)
        return;
    token.store(opened);
    setHandle(this);
}

void JackMidiInput::close(void*)
{
    // The close below returns only once no delivery is under way (and none can start).
    started.store(0, std::memory_order_release);
    session->close(token.exchange(0));
}

void JackMidiInput::start()
{
    if (!isOpen())
        return;
    originMs.store(session->nowMs(), std::memory_order_relaxed);
    markStarted(true);
    // A new run number: the delivering thread starts its timestamps afresh when it sees it, and
    // the release publishes originMs to it.
    started.store(runs.fetch_add(1, std::memory_order_relaxed) + 1, std::memory_order_release);
}

void JackMidiInput::stop()
{
    // A delivery under way may still finish; close waits for it.
    started.store(0, std::memory_order_release);
    markStarted(false);
}

void JackMidiInput::poll()
{
    if (isOpen() && !session->isLive(token.load(), portNameOf(getDescriptor())))
        closeDevice();
}

void JackMidiInput::jackEvent(const unsigned char* data, std::size_t size, std::int64_t timeMs)
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
    // Short messages; an event normally holds one, but a sender may pack several.
    deliverBytes(data, size, data[0] == MidiStatus::kSysExStart || data[0] < 0x80, lastTimestamp);
}
