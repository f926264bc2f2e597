#include "midi/MidiManagerDev.h"

#include "base/TIniFile.h"
#include "midi/MidiDeviceDescriptor.h"
#include "midi/MidiDeviceFactory.h"
#include "midi/MidiManager.h"
#include "midi/TMidiAliasManager.h"
#include "midi/TMidiDeviceBase.h"

namespace
{
std::uint32_t typeOf(const MidiDeviceDescriptor* d)
{
    return d != nullptr && d->factory != nullptr ? d->factory->typeId() : 0;
}

// Parses 8 hexadecimal digits at position; 0 when malformed.
std::uint32_t hexAt(const BString& text, int position)
{
    std::uint32_t value = 0;
    for (int i = 0; i < 8; ++i)
    {
        if (position + i >= text.Length())
            return 0;
        const char c = text.CStr()[position + i];
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        if (digit < 0)
            return 0;
        value = value << 4 | static_cast<std::uint32_t>(digit);
    }
    return value;
}
} // namespace

MidiManagerDev::MidiManagerDev(MidiManager& manager_, int index_, bool isInput_,
                               std::unique_ptr<MidiDeviceDescriptor> descriptor_)
    : index(index_), isInput(isInput_), manager(manager_), descriptor(std::move(descriptor_))
{
    if (!descriptor)
        descriptor.reset(new MidiDeviceDescriptor(nullptr, isInput_, -1, BString()));
    factoryType = typeOf(descriptor.get());
}

MidiManagerDev::~MidiManagerDev()
{
    aliases.Clear();
    std::unique_ptr<TMidiDeviceBase> old(device.exchange(nullptr));
    if (old)
    {
        try
        {
            old->closeDevice();
        }
        catch (...)
        {
            // A backend that fails to close at shutdown has nobody left to tell.
        }
    }
}

void MidiManagerDev::replaceDevice(std::unique_ptr<TMidiDeviceBase> d)
{
    std::unique_ptr<TMidiDeviceBase> old(device.exchange(d.release(), std::memory_order_acq_rel));
    if (!old)
        return;
    try
    {
        old->closeDevice();
    }
    catch (...)
    {
        // The object is dropped anyway; its port is gone or broken.
    }
    // A driver thread may still be sending to it on the thru path.
    manager.dataPathGuard().retire(std::move(old));
}

void MidiManagerDev::installDevice(std::unique_ptr<TMidiDeviceBase> d)
{
    if (d)
    {
        d->owner.store(this);
        d->index.store(index);
        d->setErrorListener(&manager);
        const MidiDeviceDescriptor* described = d->getDescriptor();
        if (described != nullptr)
        {
            std::unique_ptr<MidiDeviceDescriptor> copy = described->clone();
            setDescriptor(copy.get());
        }
    }
    replaceDevice(std::move(d));
}

void MidiManagerDev::adoptDevice(std::unique_ptr<TMidiDeviceBase> d)
{
    installDevice(std::move(d));
}

std::unique_ptr<TMidiDeviceBase> MidiManagerDev::detachDevice()
{
    return std::unique_ptr<TMidiDeviceBase>(device.exchange(nullptr, std::memory_order_acq_rel));
}

void MidiManagerDev::resolveAliases()
{
    if (present.load() == 0)
        return;
    TMidiAliasManager::Guard aliasGuard; // before the lookup: the alias manager goes only under it
    TMidiAliasManager* aliasManager = TMidiAliasManager::peekInstance();
    if (aliasManager == nullptr)
        return;
    const int direction = isInput ? TMidiAlias::kInput : TMidiAlias::kOutput;
    aliasManager->collectForDevice(aliases, displayName(), direction);
    const std::uint32_t type = getFactoryType();
    for (TMidiAlias* alias : aliases)
    {
        alias->deviceIndex.store(index);
        alias->factoryType.store(type);
    }
}

bool MidiManagerDev::hasState() const
{
    return pending.load() != 0 || isDeviceOpen();
}

void MidiManagerDev::assign(const MidiManagerDev& other)
{
    if (&other == this)
        return;
    std::unique_ptr<MidiDeviceDescriptor> copy = other.copyDescriptor();
    setDescriptor(copy.get());
    pending.store(other.pending.load());
    present.store(other.present.load());
    seen = 0;
    aliases.Clear();
    aliases.addAll(other.aliases);
    extraText = other.extraText;
}

void MidiManagerDev::setDescriptor(const MidiDeviceDescriptor* d)
{
    if (d == nullptr)
        return;
    std::uint32_t previousType = 0;
    {
        std::lock_guard<std::mutex> guard(mutex);
        previousType = factoryType;
        if (!descriptor->equals(d))
            descriptor = d->clone();
        factoryType = typeOf(d) != 0 ? typeOf(d) : factoryType;
    }
    TMidiDeviceBase* current = getDeviceObject();
    if (current == nullptr)
        return;
    if (previousType == typeOf(d))
        current->setDescriptor(d);
    else
        replaceDevice(nullptr);
}

BString MidiManagerDev::displayName() const
{
    std::lock_guard<std::mutex> guard(mutex);
    return descriptor->displayName();
}

std::unique_ptr<MidiDeviceDescriptor> MidiManagerDev::copyDescriptor() const
{
    std::lock_guard<std::mutex> guard(mutex);
    return descriptor->clone();
}

bool MidiManagerDev::matchesDescriptor(const MidiDeviceDescriptor& d) const
{
    std::lock_guard<std::mutex> guard(mutex);
    return descriptor->matches(&d);
}

void MidiManagerDev::clearIdentity()
{
    std::lock_guard<std::mutex> guard(mutex);
    descriptor->clearIdentity();
}

MidiDeviceFactory* MidiManagerDev::getFactory() const
{
    std::lock_guard<std::mutex> guard(mutex);
    return descriptor->factory;
}

std::uint32_t MidiManagerDev::getFactoryType() const
{
    std::lock_guard<std::mutex> guard(mutex);
    return factoryType;
}

void MidiManagerDev::forgetFactory()
{
    {
        std::lock_guard<std::mutex> guard(mutex);
        descriptor->factory = nullptr;
    }
    replaceDevice(nullptr);
}

bool MidiManagerDev::isDeviceOpen() const
{
    // A replaced device object is retired through the guard: inside it, it is not freed.
    MidiDataPathGuard::Reader reader(manager.dataPathGuard());
    const TMidiDeviceBase* current = device.load(std::memory_order_acquire);
    return current != nullptr && current->isOpen();
}

BString MidiManagerDev::getLastError() const
{
    std::lock_guard<std::mutex> guard(mutex);
    return lastError;
}

void MidiManagerDev::setLastError(const BString& text)
{
    std::lock_guard<std::mutex> guard(mutex);
    lastError = text;
}

const char* MidiManagerDev::sectionName() const
{
    return isInput ? "MIDI.in" : "MIDI.out";
}

BString MidiManagerDev::optionsTail() const
{
    // Two backend-kind marks (no backend here distinguishes kinds), the factory type, and
    // whether the device is open or waiting to open.
    return BString("FF") + BString::ToHex8(getFactoryType()) + optionMark(pending.load() != 0 || isDeviceOpen());
}

void MidiManagerDev::saveState(TIniFile& file, int n) const
{
    TStringList& section = file.GetSection(sectionName());
    section.SetValue(BString::Format("Name%d", n), displayName());
    section.SetValue(BString::Format("Options%d", n), optionsTail());
}

void MidiManagerDev::loadState(const TIniFile& file, int n)
{
    const BString name = file.ReadString(sectionName(), BString::Format("Name%d", n), BString());
    const BString options = file.ReadString(sectionName(), BString::Format("Options%d", n), BString());
    const int tail = isInput ? 2 : 0;
    const std::uint32_t type = hexAt(options, tail + 2);
    MidiDeviceFactory* factory = manager.findFactoryByType(type);
    MidiDeviceDescriptor placeholder(factory, isInput, -1, name);
    setDescriptor(&placeholder);
    {
        std::lock_guard<std::mutex> guard(mutex);
        if (type != 0)
            factoryType = type;
    }
    pending.store(optionMarkAt(options, tail + 10) ? 1 : 0);
}

const char* MidiManagerDev::optionMark(bool on)
{
    return on ? "T" : "F";
}

bool MidiManagerDev::optionMarkAt(const BString& options, int position)
{
    return position < options.Length() && options.CStr()[position] == 'T';
}
