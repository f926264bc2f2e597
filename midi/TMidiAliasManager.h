// TMidiAliasManager: owns every port alias, creates one alias per device, stores the aliases in
// the settings file and tells its listeners when aliases change.
//
// Threads: the application works on the GUI thread; deviceListChanged arrives on the thread that
// ran the MIDI manager's update (the device-change timer thread). All lists and alias texts are
// guarded by one recursive lock (TMidiAlias::aliasLock()), which is never held while listeners
// or the MIDI manager are called, so callers may hold their own locks (MIDI manager first, then
// this one, then the router's) without risk of deadlock. Change batches group notifications:
// while a batch is open (on any thread), changes are only marked and endBatch notifies once.
#pragma once

#include "base/AutoDelete.h"
#include "base/BList.h"
#include "base/BLock.h"
#include "base/BStringList.h"
#include "midi/TMidiAlias.h"
#include "midi/TMidiAliasChangeListener.h"
#include "midi/TMidiDeviceListListener.h"

class TIniFile;

class TMidiAliasManager : public TMidiDeviceListListener, public AutoDelete
{
public:
    // The singleton, created on first use (which creates the MIDI manager too). Throws
    // Exception "Cannot re-instantiate TMidiAliasManager!" once it has been destroyed.
    static TMidiAliasManager* getInstance();
    // The singleton if it exists now; null before the first getInstance and after destruction.
    static TMidiAliasManager* peekInstance();

    ~TMidiAliasManager() override;
    TMidiAliasManager(const TMidiAliasManager&) = delete;
    TMidiAliasManager& operator=(const TMidiAliasManager&) = delete;

    // Holds the alias lock for a scope, e.g. around reading several aliases consistently.
    class Guard : public BLockGuard
    {
    public:
        Guard() : BLockGuard(TMidiAlias::aliasLock()) {}
    };
    static BLock& getLock() { return TMidiAlias::aliasLock(); }

    // First index (creation order) of an alias of that direction whose name, or non-empty
    // altName, equals name ignoring case; -1 if none.
    int findAlias(const BString& name, int direction) const;
    // The alias found as by findAlias; if none and create, a new one without device (flags =
    // flagValue when flagValue >= 0). With create and flagValue < 0 the result gets kRequested.
    // Null if none and not create.
    TMidiAlias* getAlias(const BString& name, int direction, bool create, int flagValue);
    // Appends a new alias (flags = flagValue when >= 0), notifies; returns its index.
    int addAlias(int flagValue, const BString& name, const BString& deviceName, int direction);
    // Renames / re-binds the alias found by lookupName (see the .cpp); creates it when missing and
    // create is set. True when something changed (or was created).
    bool setAlias(const BString& newName, int direction, const BString& lookupName,
                  const BString& newDeviceName, bool create);
    // Empties out, then adds every alias of that direction bound to deviceName (ignoring case).
    void collectForDevice(TMidiAliasList& out, const BString& deviceName, int direction) const;
    // True when a and b have different non-zero directions and equal base names (ignoring case).
    bool isPair(const TMidiAlias* a, const TMidiAlias* b) const;

    // Number of aliases and the alias at index (null outside the range). Aliases are never
    // removed while the manager lives, so the pointers stay valid.
    int aliasCount() const;
    TMidiAlias* aliasAt(int index) const;
    // Empties out, then adds every alias in creation order (a consistent snapshot).
    void copyAliases(TMidiAliasList& out) const;

    // Change batches; may nest. endBatch notifies once when anything changed inside.
    void beginBatch();
    void endBatch();

    // A change batch for a scope, closed however the scope is left (exceptions included).
    class BatchScope
    {
    public:
        explicit BatchScope(TMidiAliasManager& manager_) : manager(manager_) { manager.beginBatch(); }
        ~BatchScope() { manager.endBatch(); }
        BatchScope(const BatchScope&) = delete;
        BatchScope& operator=(const BatchScope&) = delete;

    private:
        TMidiAliasManager& manager;
    };

    // Unique add; removal by identity. Listeners are called first registered first.
    void addListener(TMidiAliasChangeListener* listener);
    void removeListener(TMidiAliasChangeListener* listener);

    // Section "MIDI.alias". Both do nothing unless persistent. load appends the stored aliases (or
    // re-binds existing ones) and notifies; save writes entries Name0/Device0 ... without gaps and
    // deletes the surplus entries of an earlier save. GUI thread.
    void load(const TIniFile& file);
    void save(TIniFile& file) const;

    // Adds a row to the prefix table that derives altName from name (e.g. "MIDI" -> "Port").
    void addPrefix(const BString& from, const BString& to);

    bool isPersistent() const { return persistent.load() != 0; }
    void setPersistent(bool on) { persistent = on ? 1 : 0; }
    bool isAutoCreate() const { return autoCreate.load() != 0; }
    void setAutoCreate(bool on) { autoCreate = on ? 1 : 0; }

    // Gives every device of the MIDI manager an alias of its own display name, bound to it.
    void autoCreateAliases();
    // Recomputes altName of every alias with a direction from the prefix table.
    void updateAltNames();

    // TMidiDeviceListListener: on the thread that ran the MIDI manager's update.
    void deviceListChanged() override;

private:
    TMidiAliasManager();

    // Under the lock: a change happened. True when the listeners must be told now (no batch
    // open); the caller tells them after releasing the lock.
    bool markChanged();
    // Calls aliasesChanged on a snapshot of the listeners; must not hold the lock.
    void notifyListeners();
    int findAliasLocked(const BString& name, int direction) const;
    TMidiAlias* appendLocked(int flagValue, const BString& name, const BString& deviceName, int direction);
    // setAlias without notification; returns whether something changed.
    bool setAliasLocked(const BString& newName, int direction, const BString& lookupName,
                        const BString& newDeviceName, bool create, bool& changed);

    BOwnedList<TMidiAlias*> aliasList;
    BList<TMidiAliasChangeListener*> listeners;
    BStringList prefixFrom;
    BStringList prefixTo;
    int batchDepth = 0;
    int changedInBatch = 0;
    std::atomic<int> persistent {1};
    std::atomic<int> autoCreate {1};
};
