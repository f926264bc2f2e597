#include "midi/TMidiAliasManager.h"

#include "base/AutoDeleteSingleton.h"
#include "base/Exception.h"
#include "base/TIniFile.h"
#include "midi/MidiManager.h"
#include "midi/MidiManagerDev.h"
#include "midi/TMidiRouter.h"

#include <atomic>
#include <memory>
#include <vector>

namespace
{
AutoDeleteSingleton<TMidiAliasManager> theInstance;

BString key(const char* stem, int n)
{
    return BString(stem) + BString::FromInt(n);
}

// Values are stored verbatim by the settings file; a value that would not read back as written
// (leading blanks, a leading quote, line breaks) is stored in the file's quoted form instead.
BString quoteIfNeeded(const BString& value)
{
    const char* text = value.CStr();
    bool needsQuotes = text[0] == ' ' || text[0] == '\t' || text[0] == '"';
    for (const char* p = text; *p != '\0' && !needsQuotes; ++p)
        needsQuotes = *p == '\r' || *p == '\n';
    if (!needsQuotes)
        return value;
    BString quoted("\"");
    for (const char* p = text; *p != '\0'; ++p)
    {
        switch (*p)
        {
        case '"': quoted.Append("\\\""); break;
        case '\\': quoted.Append("\\\\"); break;
        case '\r': quoted.Append("\\r"); break;
        case '\n': quoted.Append("\\n"); break;
        default: quoted.Append(*p); break;
        }
    }
    quoted.Append('"');
    return quoted;
}

// Removes every line named name from the section.
void deleteEntry(TStringList& section, const BString& name)
{
    section.DeleteName(name);
}
} // namespace

TMidiAliasManager* TMidiAliasManager::getInstance()
{
    return theInstance.get("Cannot re-instantiate TMidiAliasManager!", [] {
        // The constructor publishes the instance itself before it calls out, so that the MIDI
        // manager it creates finds it; the pointer is owned by the AutoDelete registry.
        return new TMidiAliasManager();
    });
}

TMidiAliasManager* TMidiAliasManager::peekInstance()
{
    return theInstance.peek();
}

TMidiAliasManager::TMidiAliasManager()
{
    theInstance.publish(this);
    try
    {
        MidiManager* manager = MidiManager::getInstance();
        autoCreateAliases();
        manager->addDeviceListListener(this);
    }
    catch (...)
    {
        theInstance.withdraw();
        throw;
    }
}

TMidiAliasManager::~TMidiAliasManager()
{
    theInstance.withdraw();
    theInstance.markDestroyed();
    if (MidiManager* manager = MidiManager::peekInstance())
        manager->removeDeviceListListener(this);
    // At shutdown the router may outlive the aliases its routes point to.
    if (TMidiRouter* router = TMidiRouter::peekInstance())
        router->releaseAliases();
    Guard guard;
    aliasList.Clear();
    listeners.Clear();
}

int TMidiAliasManager::findAliasLocked(const BString& name, int direction) const
{
    for (int i = 0; i < aliasList.Count(); ++i)
    {
        const TMidiAlias* a = aliasList[i];
        if (a->direction.load() != direction)
            continue;
        if (a->name_.Equals(name, true) || (!a->altName_.IsEmpty() && a->altName_.Equals(name, true)))
            return i;
    }
    return -1;
}

int TMidiAliasManager::findAlias(const BString& name, int direction) const
{
    Guard guard;
    return findAliasLocked(name, direction);
}

TMidiAlias* TMidiAliasManager::appendLocked(int flagValue, const BString& name, const BString& deviceName,
                                            int direction)
{
    auto* a = new TMidiAlias(name, deviceName, direction);
    if (flagValue >= 0)
        a->flags = flagValue;
    aliasList.Add(a);
    return a;
}

TMidiAlias* TMidiAliasManager::getAlias(const BString& name, int direction, bool create, int flagValue)
{
    TMidiAlias* a = nullptr;
    bool notify = false;
    {
        Guard guard;
        const int i = findAliasLocked(name, direction);
        if (i >= 0)
        {
            a = aliasList[i];
        }
        else if (create)
        {
            a = appendLocked(flagValue, name, BString(), direction);
            notify = markChanged();
        }
        if (a != nullptr && create && flagValue < 0)
            a->setFlag(TMidiAlias::kRequested, true);
    }
    if (notify)
        notifyListeners();
    return a;
}

int TMidiAliasManager::addAlias(int flagValue, const BString& name, const BString& deviceName, int direction)
{
    int index = 0;
    bool notify = false;
    {
        Guard guard;
        appendLocked(flagValue, name, deviceName, direction);
        index = aliasList.Count() - 1;
        notify = markChanged();
    }
    if (notify)
        notifyListeners();
    return index;
}

bool TMidiAliasManager::setAliasLocked(const BString& newName, int direction, const BString& lookupName,
                                       const BString& newDeviceName, bool create, bool& changed)
{
    changed = false;
    const int i = findAliasLocked(lookupName, direction);
    if (i < 0)
    {
        if (!create)
            return false;
        appendLocked(-1, newName, newDeviceName, direction);
        changed = true;
        return true;
    }
    TMidiAlias* a = aliasList[i];
    BString nameToSet = newName;
    BString compareName = lookupName;
    // Found through its alternative name: keep that spelling unless the caller renames it.
    if (a->name_ != lookupName && a->altName_ == lookupName)
    {
        compareName = a->altName_;
        if (newName == lookupName)
            nameToSet = a->altName_;
    }
    if (compareName == nameToSet && newDeviceName == a->deviceName_)
        return false;
    a->name_ = nameToSet;
    a->deviceName_ = newDeviceName;
    changed = true;
    return true;
}

bool TMidiAliasManager::setAlias(const BString& newName, int direction, const BString& lookupName,
                                 const BString& newDeviceName, bool create)
{
    bool result = false;
    bool notify = false;
    {
        Guard guard;
        bool changed = false;
        result = setAliasLocked(newName, direction, lookupName, newDeviceName, create, changed);
        if (changed)
            notify = markChanged();
    }
    if (notify)
        notifyListeners();
    return result;
}

void TMidiAliasManager::collectForDevice(TMidiAliasList& out, const BString& deviceName, int direction) const
{
    out.Clear();
    Guard guard;
    for (TMidiAlias* a : aliasList)
        if (a->direction.load() == direction && a->deviceName_.Equals(deviceName, true))
            out.Add(a);
}

bool TMidiAliasManager::isPair(const TMidiAlias* a, const TMidiAlias* b) const
{
    if (a == nullptr || b == nullptr)
        return false;
    const int da = a->direction.load();
    const int db = b->direction.load();
    if (da == TMidiAlias::kNone || db == TMidiAlias::kNone || da == db)
        return false;
    return a->baseName().Equals(b->baseName(), true);
}

int TMidiAliasManager::aliasCount() const
{
    Guard guard;
    return aliasList.Count();
}

TMidiAlias* TMidiAliasManager::aliasAt(int index) const
{
    Guard guard;
    return aliasList.Get(index);
}

void TMidiAliasManager::copyAliases(TMidiAliasList& out) const
{
    out.Clear();
    Guard guard;
    for (TMidiAlias* a : aliasList)
        out.Add(a);
}

void TMidiAliasManager::beginBatch()
{
    Guard guard;
    ++batchDepth;
}

void TMidiAliasManager::endBatch()
{
    bool notify = false;
    {
        Guard guard;
        if (batchDepth > 0)
            --batchDepth;
        if (batchDepth == 0 && changedInBatch != 0)
        {
            // Cleared before the listeners run, so that a change they make is not swallowed.
            changedInBatch = 0;
            notify = true;
        }
    }
    if (notify)
    {
        notifyListeners();
        updateAltNames();
    }
}

bool TMidiAliasManager::markChanged()
{
    if (batchDepth <= 0)
        return true;
    changedInBatch = 1;
    return false;
}

void TMidiAliasManager::notifyListeners()
{
    // A snapshot, so that listeners may add or remove listeners (or change aliases) while told.
    BList<TMidiAliasChangeListener*> snapshot;
    {
        Guard guard;
        snapshot = listeners;
    }
    for (TMidiAliasChangeListener* listener : snapshot)
    {
        bool stillRegistered = false;
        {
            Guard guard;
            stillRegistered = listeners.Contains(listener);
        }
        if (stillRegistered)
            listener->aliasesChanged();
    }
}

void TMidiAliasManager::addListener(TMidiAliasChangeListener* listener)
{
    Guard guard;
    if (listener != nullptr && !listeners.Contains(listener))
        listeners.Add(listener);
}

void TMidiAliasManager::removeListener(TMidiAliasChangeListener* listener)
{
    Guard guard;
    const int i = listeners.IndexOf(listener);
    if (i >= 0)
        listeners.Delete(i);
}

void TMidiAliasManager::load(const TIniFile& file)
{
    if (!isPersistent())
        return;
    bool notify = false;
    {
        Guard guard;
        for (int n = 0;; ++n)
        {
            const BString name = file.ReadString(TMidiAlias::kSection, key("Name", n), BString());
            if (name.IsEmpty())
                break;
            auto loaded = std::make_unique<TMidiAlias>(name, file, n);
            const int direction = loaded->direction.load();
            const int existing = findAliasLocked(name, direction);
            if (existing < 0)
            {
                aliasList.Add(loaded.release());
                continue;
            }
            bool changed = false;
            setAliasLocked(name, direction, name, loaded->deviceName_, true, changed);
            // The explicit "no device" choice belongs to the binding, so it comes along with it.
            aliasList[existing]->setFlag(TMidiAlias::kNonePersistent, loaded->hasFlag(TMidiAlias::kNonePersistent));
        }
        notify = markChanged();
    }
    if (notify)
        notifyListeners();
}

void TMidiAliasManager::save(TIniFile& file) const
{
    if (!isPersistent())
        return;
    struct Entry
    {
        BString name;
        BString deviceName;
        BString deviceEntry;
        int direction;
    };
    std::vector<Entry> entries;
    {
        Guard guard;
        for (const TMidiAlias* a : aliasList)
        {
            const int direction = a->direction.load();
            if (direction == TMidiAlias::kNone || a->hasFlag(TMidiAlias::kHidden))
                continue;
            if (a->deviceName_.IsEmpty() && !a->hasFlag(TMidiAlias::kNonePersistent))
                continue;
            entries.push_back({a->name_, a->deviceName_, a->deviceEntry(), direction});
        }
    }

    // The MIDI manager is asked without the alias lock (it may take its own lock).
    MidiManager* manager = MidiManager::peekInstance();
    TStringList& section = file.GetSection(TMidiAlias::kSection);
    int n = 0;
    for (const Entry& e : entries)
    {
        if (e.deviceName.Equals(e.name, true))
        {
            // An alias that merely names its own device is worth keeping only while that device
            // is in use; otherwise it would pile up one entry per device ever seen.
            const bool isInput = e.direction == TMidiAlias::kInput;
            MidiManagerDev* record = nullptr;
            if (manager != nullptr)
                record = manager->getDevice(manager->findDeviceByName(e.deviceName, isInput), isInput);
            if (record == nullptr || !(record->isDeviceOpen() || record->pending.load() != 0))
                continue;
        }
        section.SetValue(key("Name", n), quoteIfNeeded(e.name));
        section.SetValue(key("Device", n), quoteIfNeeded(e.deviceEntry));
        ++n;
    }
    for (; section.IndexOfName(key("Name", n)) >= 0; ++n)
    {
        deleteEntry(section, key("Name", n));
        deleteEntry(section, key("Device", n));
    }
}

void TMidiAliasManager::addPrefix(const BString& from, const BString& to)
{
    {
        Guard guard;
        prefixFrom.Add(from);
        prefixTo.Add(to);
    }
    updateAltNames();
}

void TMidiAliasManager::autoCreateAliases()
{
    // Also reached from an update pass while the manager is going away: no manager, no devices.
    MidiManager* manager = MidiManager::peekInstance();
    if (manager == nullptr)
        return;
    // Asking for a device runs the first full scan if none has run yet.
    manager->getDevice(-1, true);
    struct Device
    {
        BString name;
        int direction;
    };
    std::vector<Device> devices;
    for (const int direction : {TMidiAlias::kOutput, TMidiAlias::kInput})
    {
        const bool isInput = direction == TMidiAlias::kInput;
        const int count = isInput ? manager->getInputCount() : manager->getOutputCount();
        for (int i = 0; i < count; ++i)
        {
            MidiManagerDev* record = manager->getDevice(i, isInput);
            if (record == nullptr)
                continue;
            const BString name = record->displayName();
            if (!name.IsEmpty())
                devices.push_back({name, direction});
        }
    }

    beginBatch();
    {
        Guard guard;
        for (const Device& d : devices)
        {
            int i = findAliasLocked(d.name, d.direction);
            if (i < 0)
            {
                appendLocked(0, d.name, BString(), d.direction);
                markChanged();
                i = aliasList.Count() - 1;
            }
            TMidiAlias* a = aliasList[i];
            if (!a->deviceName_.Equals(a->name_, true))
            {
                a->deviceName_ = d.name;
                a->setFlag(TMidiAlias::kAutoMark, true);
                markChanged();
            }
        }
    }
    endBatch();
    Guard guard;
    for (TMidiAlias* a : aliasList)
        a->setFlag(TMidiAlias::kAutoMark, false);
}

void TMidiAliasManager::updateAltNames()
{
    Guard guard;
    for (TMidiAlias* a : aliasList)
    {
        if (a->direction.load() == TMidiAlias::kNone)
            continue;
        a->altName_ = BString();
        for (int row = 0; row < prefixFrom.Count(); ++row)
        {
            const BString from = prefixFrom.Get(row);
            if (!from.IsEmpty() && a->name_.StartsWith(from, true))
            {
                a->altName_ = prefixTo.Get(row) + a->name_.SubString(from.Length());
                break;
            }
        }
    }
}

void TMidiAliasManager::deviceListChanged()
{
    if (isAutoCreate())
        autoCreateAliases();
    updateAltNames();
}
