#include "midi/MidiManager.h"

#include "base/AutoDeleteSingleton.h"
#include "base/Exception.h"
#include "midi/MIDIDevChangeNotifier.h"
#include "midi/MidiDeviceDescriptor.h"
#include "midi/MidiDeviceFactory.h"
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

void MidiManager::start()
{
    if (suspended.exchange(0) == 0)
        return;
    for (MidiManagerInitializer* initializer : initializerSnapshot())
        initializer->managerStarted();
    updateDevices(false, true);
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
