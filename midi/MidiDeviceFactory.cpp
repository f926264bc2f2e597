#include "midi/MidiDeviceFactory.h"

#include "base/BClock.h"
#include "base/TMessageWindowThread.h"
#include "midi/MidiDeviceDescriptor.h"
#include "midi/MidiManager.h"
#include "midi/TMidiDeviceBase.h"

#include <cstdint>
#include <vector>

MidiDeviceFactory::MidiDeviceFactory() = default;

MidiDeviceFactory::~MidiDeviceFactory()
{
    unregisterFromManager();
}

void MidiDeviceFactory::unregisterFromManager()
{
    {
        BLockGuard guard(lock);
        if (unregistered)
            return;
        unregistered = true;
    }
    if (MidiManager* manager = MidiManager::peekInstance())
        manager->removeFactory(this);
}

int MidiDeviceFactory::deviceCount(bool isInput)
{
    rescan();
    BLockGuard guard(lock);
    return (isInput ? inputDescriptors : outputDescriptors).Count();
}

void MidiDeviceFactory::getDisplayNames(bool isInput, BStringList& out)
{
    rescan();
    BLockGuard guard(lock);
    out.Clear();
    for (MidiDeviceDescriptor* d : isInput ? inputDescriptors : outputDescriptors)
        out.Add(d->displayName());
}

void MidiDeviceFactory::copyDescriptors(bool isInput, BOwnedList<MidiDeviceDescriptor*>& out)
{
    rescan();
    BLockGuard guard(lock);
    const BOwnedList<MidiDeviceDescriptor*>& source = isInput ? inputDescriptors : outputDescriptors;
    out.ClearAndReserve(source.Count());
    for (const MidiDeviceDescriptor* d : source)
        out.Add(d->clone().release());
}

void MidiDeviceFactory::getExtraIds(bool isInput, BStringList& out)
{
    rescan();
    BLockGuard guard(lock);
    out.Clear();
    for (const MidiDeviceDescriptor* d : isInput ? inputDescriptors : outputDescriptors)
        if (!d->extraId.IsEmpty())
            out.Add(d->extraId);
}

std::unique_ptr<TMidiDeviceBase> MidiDeviceFactory::createDeviceNamed(const BString& displayName, bool isInput)
{
    BOwnedList<MidiDeviceDescriptor*> ports;
    copyDescriptors(isInput, ports);
    for (const MidiDeviceDescriptor* d : ports)
        if (d->displayName() == displayName)
            return createDevice(*d);
    return nullptr;
}

std::atomic<std::uint32_t> MidiDeviceFactory::systemChanges{0};

void MidiDeviceFactory::announceSystemDeviceChange()
{
    systemDeviceSetChanged();
    TMessageWindowThread::notifyDeviceListChanged();
}

void MidiDeviceFactory::rescan()
{
    // 0 means "no request yet", so a request at clock time 0 is stored as 1.
    std::uint32_t now = BClock::now();
    if (now == 0)
        now = 1;
    const std::uint32_t previous = lastRequestTime.exchange(now);
    const std::uint32_t changes = systemChanges.load();
    const bool systemChanged = changesSeen.exchange(changes) != changes;
    if (previous != 0 && !systemChanged)
    {
        const std::int32_t since = static_cast<std::int32_t>(now - previous);
        if (since >= 0 && since < static_cast<std::int32_t>(kRescanIntervalMs))
            return;
    }

    BLockGuard guard(lock);
    refreshDescriptors(false, outputDescriptors);
    numberEqualNames(outputDescriptors);
    refreshDescriptors(true, inputDescriptors);
    numberEqualNames(inputDescriptors);
    alignOutputInstances();
}

void MidiDeviceFactory::numberEqualNames(BOwnedList<MidiDeviceDescriptor*>& list)
{
    std::vector<MidiDeviceDescriptor*> identical;
    const auto remember = [&identical](MidiDeviceDescriptor* d) {
        for (MidiDeviceDescriptor* known : identical)
            if (known == d)
                return;
        identical.push_back(d);
    };

    for (int i = 0; i < list.Count(); ++i)
    {
        MidiDeviceDescriptor* current = list[i];
        current->instance = 0;
        for (int j = 0; j < i; ++j)
        {
            MidiDeviceDescriptor* earlier = list[j];
            if (!current->name.Equals(earlier->name, true))
                continue;
            if (earlier->instance == 0)
                earlier->instance = 1;
            ++current->instance;
            if (!current->interfaceName.IsEmpty() && current->matches(earlier))
            {
                remember(current);
                remember(earlier);
            }
        }
        if (current->instance > 0)
            ++current->instance;
    }

    // Ports that not even their identity tells apart still need distinct names.
    for (MidiDeviceDescriptor* d : identical)
    {
        d->name = BString::Format("%s %d", d->name.CStr(), d->instance);
        d->instance = 0;
    }
}

void MidiDeviceFactory::alignOutputInstances()
{
    for (MidiDeviceDescriptor* output : outputDescriptors)
    {
        if (output->interfaceName.IsEmpty())
            continue;
        for (const MidiDeviceDescriptor* input : inputDescriptors)
        {
            if (input->name.Equals(output->name, true) && input->interfaceName.Equals(output->interfaceName, true))
            {
                output->instance = input->instance;
                break;
            }
        }
    }
}
