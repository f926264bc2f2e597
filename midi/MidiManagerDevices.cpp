// MidiManager's device side: the update pass that brings the records in step with the factories,
// and opening and closing devices with their status and error texts.
#include "midi/MidiManager.h"

#include "midi/MidiDeviceDescriptor.h"
#include "midi/MidiDeviceFactory.h"
#include "midi/TMidiDeviceBase.h"

#include <memory>
#include <mutex>
#include <vector>

namespace
{
// Set while this thread runs an updateDevices pass (or tells its listeners afterwards), so that
// a nested call from a listener only asks the pass to repeat instead of starting a second one.
thread_local int updateBusy = 0;

struct UpdateBusyScope
{
    UpdateBusyScope() { updateBusy = 1; }
    ~UpdateBusyScope() { updateBusy = 0; }
    UpdateBusyScope(const UpdateBusyScope&) = delete;
    UpdateBusyScope& operator=(const UpdateBusyScope&) = delete;
};

const char* directionWord(bool isInput)
{
    return isInput ? "In" : "Out";
}

const char* directionWordUpper(bool isInput)
{
    return isInput ? "IN" : "OUT";
}
} // namespace

// ---------------------------------------------------------------------------------------------
// Device list


bool MidiManager::updateDevices(bool force, bool notify)
{
    if (scannedOnce.exchange(1) == 0)
        force = true;
    bool changed = force;

    if (updateBusy != 0)
    {
        // A listener of the running pass (or of its notification) on this same thread.
        restartUpdate.store(1);
        return false;
    }
    UpdateBusyScope busy;
    {
        BLockGuard hold(lock);
        for (;;)
        {
            passCount.fetch_add(1);
            restartUpdate.store(0);
            for (int k = 0; k < factories.Count(); ++k)
            {
                MidiDeviceFactory* factory = factories[k];
                if (syncFactoryDevices(k, factory, false, force))
                    changed = true;
                if (restartUpdate.load() != 0)
                    continue;
                // A listener may have removed the factory meanwhile.
                if (factories[k] == factory && syncFactoryDevices(k, factory, true, force))
                    changed = true;
            }
            reconcileRecords(false, changed);
            reconcileRecords(true, changed);
            if (restartUpdate.load() == 0)
            {
                if (changed)
                    aliasesChanged();
                break;
            }
        }
    }
    guard.reclaim();

    if (changed && notify)
        deviceListListeners.forEach(false, [](TMidiDeviceListListener* listener) { listener->deviceListChanged(); });
    return changed;
}

void MidiManager::reconcileRecords(bool isInput, bool& changed)
{
    const int count = isInput ? getInputCount() : getOutputCount();
    for (int i = 0; i < count; ++i)
    {
        MidiManagerDev* record = isInput ? static_cast<MidiManagerDev*>(getInput(i)) : getOutput(i);
        if (record->seen == 0 && record->present.load() == 1)
        {
            record->present.store(0);
            changed = true;
        }
        if (record->present.load() == 0)
        {
            if (record->isDeviceOpen())
            {
                closeDevice(i, isInput, true);
                record->pending.store(1);
            }
        }
        else
        {
            pollDevice(i, isInput, record);
            if (record->pending.load() != 0 && !record->isDeviceOpen())
                openDevice(i, isInput);
        }
    }
}

void MidiManager::pollDevice(int index, bool isInput, MidiManagerDev* record)
{
    // A driver may have closed the port under us (the device is still listed); the backend
    // notices in poll. Tell the listeners and keep the device wanted, so it is reopened.
    TMidiDeviceBase* device = record->getDeviceObject();
    if (device == nullptr || !device->isOpen())
        return;
    try
    {
        device->poll();
    }
    catch (const std::exception& error)
    {
        reportError(BString(error.what()), index, isInput);
    }
    if (device->isOpen())
        return;
    record->pending.store(1);
    announceStateChange(index, isInput, "Closed", *record);
}

bool MidiManager::syncFactoryDevices(int k, MidiDeviceFactory* factory, bool isInput, bool force)
{
    BLockGuard hold(lock);
    if (factory == nullptr || k < 0 || k >= static_cast<int>(countsFor(isInput).size()))
        return false;
    const int n = factory->deviceCount(isInput);
    const std::uint32_t type = factory->typeId();
    const int recordCount = isInput ? getInputCount() : getOutputCount();
    const auto recordAtIndex = [this, isInput](int i) -> MidiManagerDev* {
        return isInput ? static_cast<MidiManagerDev*>(getInput(i)) : getOutput(i);
    };

    // The records this factory answers for: its own, and those of its type whose factory went
    // away. (Comparing the type alone would let a second factory of the same type mark the
    // first one's devices unseen.)
    const auto answersFor = [factory, type](const MidiManagerDev* record) {
        const MidiDeviceFactory* owner = record->getFactory();
        return owner == factory || (owner == nullptr && record->getFactoryType() == type);
    };

    std::vector<int>& counts = countsFor(isInput);
    if (!force && n == counts[static_cast<size_t>(k)])
    {
        for (int i = 0; i < recordCount; ++i)
        {
            MidiManagerDev* record = recordAtIndex(i);
            if (answersFor(record))
                record->seen = record->present.load();
        }
        return false;
    }
    counts[static_cast<size_t>(k)] = n;
    for (int i = 0; i < recordCount; ++i)
    {
        MidiManagerDev* record = recordAtIndex(i);
        if (answersFor(record))
            record->seen = 0;
    }

    BOwnedList<MidiDeviceDescriptor*> descriptors;
    factory->copyDescriptors(isInput, descriptors);
    if (restartUpdate.load() != 0)
        return false;

    struct Move
    {
        std::unique_ptr<TMidiDeviceBase> device;
        int target;
    };
    std::vector<Move> moves;
    bool changed = false;

    for (const MidiDeviceDescriptor* d : descriptors)
    {
        const BString name = d->displayName();
        int i = findDeviceByName(name, isInput);
        const int j = findDeviceByDescriptor(*d, isInput);
        MidiManagerDev* record = i >= 0 ? recordAtIndex(i) : nullptr;

        if (record == nullptr || (record->getFactoryType() != type && record->present.load() != 0))
        {
            std::lock_guard<std::mutex> records(recordsMutex);
            i = isInput ? inputs.Count() : outputs.Count();
            if (isInput)
            {
                record = new MMDevIn(*this, i, d->clone());
                inputs.Add(static_cast<MMDevIn*>(record));
            }
            else
            {
                record = new MMDevOut(*this, i, d->clone());
                outputs.Add(static_cast<MMDevOut*>(record));
            }
        }
        else if (record->getFactoryType() != type)
        {
            // An absent device of another backend with this name: this port takes its record.
            record->setDescriptor(d);
        }

        record->seen = 1;
        if (record->present.load() == 0)
        {
            record->present.store(1);
            changed = true;
        }

        if (j >= 0 && j != i)
        {
            // The port behind record j now carries record i's name: its connection follows it.
            MidiManagerDev* moved = recordAtIndex(j);
            std::unique_ptr<TMidiDeviceBase> device = moved->detachDevice();
            if (device)
                moves.push_back(Move{std::move(device), i});
            moved->clearIdentity();
            changed = true;
        }

        record->setDescriptor(d);

        if (changed && d->interfaceName.IsEmpty() && d->parentInstanceId.IsEmpty() && record->isDeviceOpen())
        {
            // Without an identity the open connection may belong to another port now: reopen.
            try
            {
                record->getDeviceObject()->closeDevice();
            }
            catch (...)
            {
            }
            record->pending.store(1);
        }
    }

    for (Move& move : moves)
    {
        MidiManagerDev* target = recordAtIndex(move.target);
        const bool wasOpen = move.device->isOpen();
        target->adoptDevice(std::move(move.device));
        if (wasOpen)
            target->pending.store(0);
    }
    return changed;
}

// ---------------------------------------------------------------------------------------------
// Open and close

void MidiManager::openInput(int index)
{
    openDevice(index, true);
}

void MidiManager::openOutput(int index)
{
    openDevice(index, false);
}

void MidiManager::closeInput(int index, bool force)
{
    closeDevice(index, true, force);
}

void MidiManager::closeOutput(int index, bool force)
{
    closeDevice(index, false, force);
}

void MidiManager::reportError(const BString& text, int index, bool isInput)
{
    tellControlListeners(
        [&](MidiManagerDeviceControlListener* listener) { listener->deviceError(index, isInput, text); });
}

void MidiManager::openDevice(int index, bool isInput)
{
    BLockGuard hold(lock);
    MidiManagerDev* record = isInput ? static_cast<MidiManagerDev*>(getInput(index)) : getOutput(index);
    if (record == nullptr)
    {
        reportError(BString::Format("Internal error: illegal MIDI %s device ID: %d", directionWord(isInput), index),
                    -1, isInput);
        return;
    }
    if (suspended.load() != 0 || record->present.load() == 0)
    {
        record->pending.store(1);
        return;
    }
    if (record->isDeviceOpen())
    {
        // Opening again would restart the input under its driver thread, which is writing the
        // device's timestamp state at that moment.
        record->pending.store(0);
        return;
    }
    if (record->getDeviceObject() == nullptr)
    {
        record->createDevice();
        if (record->getDeviceObject() == nullptr)
        {
            record->pending.store(1);
            return;
        }
    }
    record->setLastError(BString());

    try
    {
        tellControlListeners(
            [&](MidiManagerDeviceControlListener* listener) { listener->deviceWillOpen(index, isInput); });
        if (record->getDeviceObject() == nullptr)
            record->createDevice();
        if (TMidiDeviceBase* device = record->getDeviceObject())
            device->openDevice();
        if (record->getDeviceObject() == nullptr)
            record->createDevice();

        TMidiDeviceBase* device = record->getDeviceObject();
        if (device == nullptr || !device->isOpen())
        {
            record->pending.store(1);
            reportError(BString::Format("MIDI %s device \"%s\" could not be opened.", directionWordUpper(isInput),
                                        record->displayName().CStr()),
                        index, isInput);
            return;
        }
        if (isInput)
            static_cast<TMidiInputBase*>(device)->start();
        record->pending.store(0);
        announceStateChange(index, isInput, "Opened", *record);
    }
    catch (const std::exception& error)
    {
        const BString text(error.what());
        record->setLastError(text);
        if (TMidiDeviceBase* device = record->getDeviceObject())
        {
            try
            {
                device->closeDevice();
            }
            catch (...)
            {
                // The open failure is what the user needs to hear about.
            }
        }
        record->pending.store(1);
        reportError(text, index, isInput);
    }
}

void MidiManager::closeDevice(int index, bool isInput, bool force)
{
    BLockGuard hold(lock);
    MidiManagerDev* record = isInput ? static_cast<MidiManagerDev*>(getInput(index)) : getOutput(index);
    if (record == nullptr)
    {
        reportError(BString::Format("Internal error: illegal MIDI %s device ID: %d", directionWord(isInput), index),
                    -1, isInput);
        return;
    }
    try
    {
        TMidiDeviceBase* device = record->getDeviceObject();
        if ((suspended.load() == 0 || force) && device != nullptr && device->isOpen())
        {
            tellControlListeners(
                [&](MidiManagerDeviceControlListener* listener) { listener->deviceWillClose(index, isInput); });
            if (isInput)
                static_cast<TMidiInputBase*>(device)->stop();
            device->closeDevice();
            announceStateChange(index, isInput, "Closed", *record);
        }
    }
    catch (const std::exception& error)
    {
        reportError(BString(error.what()), index, isInput);
    }
    record->pending.store(0);
}

void MidiManager::announceStateChange(int index, bool isInput, const char* verb, const MidiManagerDev& record)
{
    const BString text =
        BString::Format("%s MIDI %s: %s", verb, directionWordUpper(isInput), record.displayName().CStr());
    tellControlListeners([&](MidiManagerDeviceControlListener* listener) {
        listener->deviceMessage(index, isInput, text);
        listener->deviceStateChanged(index, isInput);
    });
}
