// MidiManager's data path: on each input driver's thread, without locks or allocation.
#include "midi/MidiManager.h"

#include "midi/MidiStatus.h"
#include "midi/TMidiAlias.h"
#include "midi/TMidiDeviceBase.h"

#include <cstdint>

// ---------------------------------------------------------------------------------------------
// Data path

void MidiManager::onMidiData(TMidiDeviceBase* device, std::int64_t timestamp, const unsigned char* data, int length)
{
    MidiDataPathGuard::Reader reader(guard);
    const int inputIndex = device->index.load(std::memory_order_relaxed);

    if (const auto* filters = inputFilters.current())
    {
        for (MidiInDeviceFilter* filter : filters->filters)
        {
            int pass = 1;
            filter->filterInput(inputIndex, &timestamp, &data, &length, &pass);
            if (pass == 0)
                return;
        }
    }
    if (suspended.load(std::memory_order_acquire) != 0)
        return;
    if (MidiManagerDataListener* listener = dataListener.load(std::memory_order_acquire))
    {
        int handled = 0;
        listener->midiDataReceived(inputIndex, timestamp, data, length, &handled);
        if (handled != 0)
            return;
    }
    MidiManagerDev* owner = device->owner.load(std::memory_order_acquire);
    if (owner == nullptr || !owner->isInput)
        return;
    forwardThru(static_cast<MMDevIn*>(owner)->thruTargets(), data, length);
}

void MidiManager::forwardThru(const MidiThruTargets* targets, const unsigned char* data, int length)
{
    if (targets == nullptr || suspended.load(std::memory_order_acquire) != 0)
        return;
    for (auto it = targets->outputs.rbegin(); it != targets->outputs.rend(); ++it)
        if (!sendToOutput(*it, data, length))
            return;
}

bool MidiManager::sendToOutput(MMDevOut* output, const unsigned char* data, int length)
{
    if (output == nullptr || output->present.load(std::memory_order_acquire) == 0)
        return true;
    auto* device = static_cast<TMidiOutputBase*>(output->getDeviceObject());
    if (device == nullptr || !device->isOpen())
        return true;

    // Each target sees the message as it arrived; a filter changes it only for its own target.
    // Passing one target's change on would make the next target's bytes depend on the order of
    // targets, and a change that a filter makes for every target would pile up.
    const unsigned char* bytes = data;
    int count = length;
    if (const auto* filters = outputFilters.current())
    {
        for (MidiOutDeviceFilter* filter : filters->filters)
        {
            int pass = 1;
            filter->filterOutput(output->index, &bytes, &count, &pass);
            if (pass == 0)
                return false;
        }
    }
    if (count <= 0 || bytes == nullptr)
        return true;
    // A complete SysEx of 2 or 3 bytes is still SysEx, and so is the last piece of a longer one
    // (data bytes up to F7, or F7 alone): none of them may go out as a short message, which
    // would keep only the bytes its first byte's status calls for.
    if (count <= 3 && bytes[0] >= 0x80 && bytes[0] != MidiStatus::kSysExStart && bytes[0] != MidiStatus::kSysExEnd)
    {
        // A short message is sent as the status byte's length; one that arrived cut short would
        // go out completed with zero bytes (90 3C as a note-off, C0 as program 1). Invent nothing.
        if (count < MidiStatus::statusLength(bytes[0]))
            return true;
        std::uint32_t packed = bytes[0];
        if (count >= 2)
            packed |= static_cast<std::uint32_t>(bytes[1]) << 8;
        if (count >= 3)
            packed |= static_cast<std::uint32_t>(bytes[2]) << 16;
        device->sendShort(packed);
    }
    else
    {
        device->sendLong(bytes, count);
    }
    return true;
}

void MidiManager::routeThru(const TMidiAliasList& list, const unsigned char* data, int length)
{
    if (suspended.load() != 0)
        return;
    MidiDataPathGuard::Reader reader(guard);
    for (int i = list.Count() - 1; i >= 0; --i)
    {
        const TMidiAlias* alias = list.Get(i);
        if (alias == nullptr || alias->direction.load() != TMidiAlias::kOutput)
            continue;
        const int target = alias->deviceIndex.load();
        if (target < 0)
            continue;
        if (!sendToOutput(getOutput(target), data, length))
            return;
    }
}
