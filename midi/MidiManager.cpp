#include "midi/MidiManager.h"

#include "base/AutoDeleteSingleton.h"
#include "base/Exception.h"
#include "midi/MIDIDevChangeNotifier.h"
#include "midi/MidiDeviceDescriptor.h"
#include "midi/MidiDeviceFactory.h"
#include "midi/MidiStatus.h"
#include "midi/TMidiAliasManager.h"
#include "midi/TMidiDeviceBase.h"
#include "midi/TMidiRouter.h"

#include <algorithm>

namespace
{
AutoDeleteSingleton<MidiManager> theInstance;

// Initializers are registered during static initialisation, before the manager exists.
struct InitializerRegistry
{
    std::mutex mutex;
    std::vector<MidiManagerInitializer*> list;
};

InitializerRegistry& initializers()
{
    static InitializerRegistry registry;
    return registry;
}

std::vector<MidiManagerInitializer*> initializerSnapshot()
{
    InitializerRegistry& registry = initializers();
    std::lock_guard<std::mutex> guard(registry.mutex);
    return registry.list;
}

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

template <typename T>
bool addUnique(BList<T*>& list, T* item)
{
    if (item == nullptr || list.Contains(item))
        return false;
    list.Add(item);
    return true;
}

template <typename T>
bool removeItem(BList<T*>& list, T* item)
{
    const int position = list.IndexOf(item);
    if (position < 0)
        return false;
    list.Delete(position);
    return true;
}
} // namespace

// ---------------------------------------------------------------------------------------------
// Lifecycle

MidiManager* MidiManager::getInstance()
{
    return theInstance.get("Cannot re-instanciate MidiManager!", [] {
        MidiManager* created = new MidiManager(); // owned by the AutoDelete registry
        theInstance.publish(created);
        created->initialise();
        return created;
    });
}

MidiManager* MidiManager::peekInstance()
{
    return theInstance.peek();
}

int MidiManager::registerInitializer(MidiManagerInitializer* initializer)
{
    InitializerRegistry& registry = initializers();
    std::lock_guard<std::mutex> guard(registry.mutex);
    auto found = std::find(registry.list.begin(), registry.list.end(), initializer);
    if (found != registry.list.end())
        return static_cast<int>(found - registry.list.begin());
    if (initializer == nullptr)
        return -1;
    registry.list.push_back(initializer);
    return static_cast<int>(registry.list.size()) - 1;
}

MidiManager::MidiManager() = default;

void MidiManager::initialise()
{
    notifier.reset(new MIDIDevChangeNotifier(*this));
    notifier->startNotifier();

    for (MidiManagerInitializer* initializer : initializerSnapshot())
        initializer->managerCreated();

    // Creating the alias manager makes it register as a device-list listener of this manager.
    TMidiAliasManager::getInstance()->addListener(this);
    TMidiRouter::getInstance()->addListener(this);

    for (MidiManagerInitializer* initializer : initializerSnapshot())
        initializer->managerReady();
}

MidiManager::~MidiManager()
{
    // From here on nobody may get this manager again.
    theInstance.markDestroyed();

    {
        std::vector<MidiManagerInitializer*> list;
        {
            InitializerRegistry& registry = initializers();
            std::lock_guard<std::mutex> guard(registry.mutex);
            list.swap(registry.list);
        }
        for (MidiManagerInitializer* initializer : list)
            initializer->managerDestroying();
        for (MidiManagerInitializer* initializer : list)
            delete initializer;
    }

    notifier.reset();

    if (TMidiAliasManager* aliasManager = TMidiAliasManager::peekInstance())
        aliasManager->removeListener(this);
    if (TMidiRouter* router = TMidiRouter::peekInstance())
        router->removeListener(this);

    {
        BLockGuard hold(lock);
        suspended.store(1);
        // Inputs first, so that no driver thread delivers any more; then wait until every
        // delivery under way has left the data path before output records go.
        for (MMDevIn* input : inputs)
            if (input->isDeviceOpen())
            {
                try
                {
                    input->getDeviceObject()->closeDevice();
                }
                catch (...)
                {
                }
            }
        guard.synchronize();
        std::lock_guard<std::mutex> records(recordsMutex);
        inputs.Clear();
        outputs.Clear();
    }
    guard.synchronize();

    controlListeners.clear();
    deviceListListeners.clear();
    inputFilters.clear();
    outputFilters.clear();

    theInstance.withdraw();
}

// ---------------------------------------------------------------------------------------------
// Registration

void MidiManager::addFactory(MidiDeviceFactory* factory)
{
    if (factory == nullptr)
        return;
    BLockGuard hold(lock);
    if (!addUnique(factories, factory))
        return;
    inputCountByFactory.push_back(0);
    outputCountByFactory.push_back(0);
    scannedOnce.store(0);
}

void MidiManager::removeFactory(MidiDeviceFactory* factory)
{
    BLockGuard hold(lock);
    const int position = factories.IndexOf(factory);
    if (position < 0)
        return;
    factories.Delete(position);
    inputCountByFactory.erase(inputCountByFactory.begin() + position);
    outputCountByFactory.erase(outputCountByFactory.begin() + position);

    // Its ports vanish with it. Open ones are closed now (their objects belong to the going
    // backend) and stay wanted, as if unplugged.
    for (bool isInput : {false, true})
    {
        const int count = isInput ? getInputCount() : getOutputCount();
        for (int i = 0; i < count; ++i)
        {
            MidiManagerDev* record = isInput ? static_cast<MidiManagerDev*>(getInput(i)) : getOutput(i);
            if (record == nullptr || record->getFactory() != factory)
                continue;
            record->present.store(0);
            if (record->isDeviceOpen())
            {
                closeDevice(i, isInput, true);
                record->pending.store(1);
            }
            record->forgetFactory();
        }
    }
}

MidiDeviceFactory* MidiManager::findFactoryByType(std::uint32_t type)
{
    BLockGuard hold(lock);
    for (MidiDeviceFactory* factory : factories)
        if (factory->typeId() == type)
            return factory;
    return nullptr;
}

void MidiManager::addDeviceControlListener(MidiManagerDeviceControlListener* listener)
{
    controlListeners.add(listener);
}

void MidiManager::removeDeviceControlListener(MidiManagerDeviceControlListener* listener)
{
    controlListeners.remove(listener);
}

void MidiManager::addDeviceListListener(TMidiDeviceListListener* listener)
{
    deviceListListeners.add(listener);
}

void MidiManager::removeDeviceListListener(TMidiDeviceListListener* listener)
{
    deviceListListeners.remove(listener);
}

void MidiManager::addInputFilter(MidiInDeviceFilter* filter)
{
    inputFilters.add(filter);
}

void MidiManager::removeInputFilter(MidiInDeviceFilter* filter)
{
    inputFilters.remove(filter);
}

void MidiManager::addOutputFilter(MidiOutDeviceFilter* filter)
{
    outputFilters.add(filter);
}

void MidiManager::removeOutputFilter(MidiOutDeviceFilter* filter)
{
    outputFilters.remove(filter);
}

void MidiManager::setDataListener(MidiManagerDataListener* listener)
{
    dataListener.store(listener, std::memory_order_release);
    guard.synchronize();
}

// ---------------------------------------------------------------------------------------------
// Queries

int MidiManager::getInputCount() const
{
    std::lock_guard<std::mutex> records(recordsMutex);
    return inputs.Count();
}

int MidiManager::getOutputCount() const
{
    std::lock_guard<std::mutex> records(recordsMutex);
    return outputs.Count();
}

MMDevIn* MidiManager::getInput(int index)
{
    std::lock_guard<std::mutex> records(recordsMutex);
    return inputs.Get(index);
}

MMDevOut* MidiManager::getOutput(int index)
{
    std::lock_guard<std::mutex> records(recordsMutex);
    return outputs.Get(index);
}

void MidiManager::ensureScanned()
{
    if (scannedOnce.load() == 0 && suspended.load() == 0)
        updateDevices(true, true);
}

MidiManagerDev* MidiManager::getDevice(int index, bool isInput)
{
    ensureScanned();
    MidiManagerDev* record = isInput ? static_cast<MidiManagerDev*>(getInput(index)) : getOutput(index);
    if (record == nullptr || record->displayName().IsEmpty())
        return nullptr;
    return record;
}

int MidiManager::findDeviceByName(const BString& name, bool isInput)
{
    if (name.IsEmpty())
        return -1;
    ensureScanned();
    std::lock_guard<std::mutex> records(recordsMutex);
    const int count = isInput ? inputs.Count() : outputs.Count();
    for (int i = count - 1; i >= 0; --i)
    {
        const MidiManagerDev* record = isInput ? static_cast<MidiManagerDev*>(inputs.Get(i)) : outputs.Get(i);
        if (record->displayName() == name)
            return i;
    }
    return -1;
}

int MidiManager::findDeviceByDescriptor(const MidiDeviceDescriptor& d, bool isInput)
{
    ensureScanned();
    std::lock_guard<std::mutex> records(recordsMutex);
    const int count = isInput ? inputs.Count() : outputs.Count();
    for (int i = count - 1; i >= 0; --i)
    {
        const MidiManagerDev* record = isInput ? static_cast<MidiManagerDev*>(inputs.Get(i)) : outputs.Get(i);
        if (record->matchesDescriptor(d))
            return i;
    }
    return -1;
}

// ---------------------------------------------------------------------------------------------
// Device list

void MidiManager::start()
{
    if (suspended.exchange(0) == 0)
        return;
    for (MidiManagerInitializer* initializer : initializerSnapshot())
        initializer->managerStarted();
    updateDevices(false, true);
}

void MidiManager::systemDeviceSetChanged()
{
    BLockGuard hold(lock);
    for (MidiDeviceFactory* factory : factories)
        factory->forgetLastRescanRequest();
}

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
    const BString text =
        BString::Format("Closed MIDI %s: %s", directionWordUpper(isInput), record->displayName().CStr());
    tellControlListeners([&](MidiManagerDeviceControlListener* listener) {
        listener->deviceMessage(index, isInput, text);
        listener->deviceStateChanged(index, isInput);
    });
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
        const BString text =
            BString::Format("Opened MIDI %s: %s", directionWordUpper(isInput), record->displayName().CStr());
        tellControlListeners([&](MidiManagerDeviceControlListener* listener) {
            listener->deviceMessage(index, isInput, text);
            listener->deviceStateChanged(index, isInput);
        });
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
            const BString text =
                BString::Format("Closed MIDI %s: %s", directionWordUpper(isInput), record->displayName().CStr());
            tellControlListeners([&](MidiManagerDeviceControlListener* listener) {
                listener->deviceMessage(index, isInput, text);
                listener->deviceStateChanged(index, isInput);
            });
        }
    }
    catch (const std::exception& error)
    {
        reportError(BString(error.what()), index, isInput);
    }
    record->pending.store(0);
}

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

// ---------------------------------------------------------------------------------------------
// Notifications from devices, aliases and routes

void MidiManager::onMidiError(TMidiDeviceBase* device, const BString& text)
{
    if (device == nullptr)
        return;
    // Devices call this on their driver threads, where the descriptor may be replaced under
    // them; the owning record's direction never changes.
    const MidiManagerDev* owner = device->owner.load(std::memory_order_acquire);
    const bool isInput = owner != nullptr ? owner->isInput : dynamic_cast<const TMidiInputBase*>(device) != nullptr;
    reportError(text, device->index.load(), isInput);
}

void MidiManager::aliasesChanged()
{
    BLockGuard hold(lock);
    {
        // Resolution is one step for everybody who reads aliases under the alias lock. Taken
        // before looking for the alias manager: it goes away only under this lock.
        TMidiAliasManager::Guard aliasGuard;
        TMidiAliasManager* aliasManager = TMidiAliasManager::peekInstance();
        if (aliasManager != nullptr)
        {
            for (int i = 0; i < aliasManager->aliasCount(); ++i)
            {
                TMidiAlias* alias = aliasManager->aliasAt(i);
                const int direction = alias->direction.load();
                if (direction == TMidiAlias::kInput || direction == TMidiAlias::kOutput)
                {
                    alias->deviceIndex.store(-1);
                    alias->factoryType.store(0);
                }
            }
        }
        for (int i = getInputCount() - 1; i >= 0; --i)
            getInput(i)->resolveAliases();
        for (int i = getOutputCount() - 1; i >= 0; --i)
            getOutput(i)->resolveAliases();
    }
    routesChanged();
}

void MidiManager::routesChanged()
{
    BLockGuard hold(lock);
    for (int i = getInputCount() - 1; i >= 0; --i)
        getInput(i)->reloadThru();
}
