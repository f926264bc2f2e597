// MidiManagerDev: the MIDI manager's record of one input or output device (MMDevIn, MMDevOut).
//
// A record exists for every device the manager has ever seen and is never deleted while the
// manager lives, so its index (its position in the manager's inputs or outputs) stays valid
// and keeps naming the same display name. It owns a clone of the device's descriptor and the
// open-able device object the factory made for it.
//
// Threads: records are changed by the manager on control threads (GUI, notifier timer) under
// the manager's lock. The fields the input driver threads read while data flows are atomics
// (present, the device object pointer, the input options, the thru targets); objects they can
// reach are never deleted directly but retired through the manager's data path guard. The
// descriptor is guarded by a small per-record mutex so that the GUI may read display names
// while an update re-describes the device.
#pragma once

#include "base/BString.h"
#include "midi/TMidiAlias.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class MidiDeviceDescriptor;
class MidiDeviceFactory;
class MidiManager;
class TIniFile;
class TMidiDeviceBase;

class MidiManagerDev
{
public:
    MidiManagerDev(MidiManager& manager, int index, bool isInput, std::unique_ptr<MidiDeviceDescriptor> descriptor);
    // Clears aliases, closes and deletes the device object. The manager deletes records only at
    // its own destruction, after the data path has drained.
    virtual ~MidiManagerDev();

    MidiManagerDev(const MidiManagerDev&) = delete;
    MidiManagerDev& operator=(const MidiManagerDev&) = delete;

    // Closes and drops the current device object; takes d (if any): owner = this record,
    // index = index, and the descriptor is refreshed from it.
    virtual void adoptDevice(std::unique_ptr<TMidiDeviceBase> d);
    // Claims the aliases of this record's direction bound to its display name (if present).
    virtual void resolveAliases();
    // Drops the current device object and asks the descriptor's factory for a new one.
    virtual void createDevice() = 0;
    // Restores / stores the record as entry n of its settings section ("MIDI.in" / "MIDI.out").
    virtual void loadState(const TIniFile& file, int n);
    virtual void saveState(TIniFile& file, int n) const;
    // True if pending or the device object is open.
    virtual bool hasState() const;
    // Copies index-independent state: descriptor, pending, present, aliases, extra text.
    virtual void assign(const MidiManagerDev& other);

    // Takes a clone of d unless it equals the current descriptor; a device object of the same
    // factory type is re-described too, one of another type is dropped.
    void setDescriptor(const MidiDeviceDescriptor* d);
    // The descriptor's display name (name, or "name (n)"). Any thread.
    BString displayName() const;
    // A copy of the descriptor. Any thread.
    std::unique_ptr<MidiDeviceDescriptor> copyDescriptor() const;
    // The descriptor matches d (same port, possibly renumbered). Any thread.
    bool matchesDescriptor(const MidiDeviceDescriptor& d) const;
    // The descriptor no longer identifies a port (its identity moved to another record).
    void clearIdentity();
    // The factory that made the descriptor, or null (placeholder, or its factory went away).
    MidiDeviceFactory* getFactory() const;
    // Type identifier of the descriptor's factory; kept after the factory went away.
    std::uint32_t getFactoryType() const;
    // The factory went away: forget it and drop the device object (closed first).
    void forgetFactory();

    // The device object is open. Any thread, without the manager's lock: the object is read
    // inside the manager's data path guard, so an update that replaces it meanwhile does not
    // free it under the reader. The answer may be out of date by the time it is used.
    bool isDeviceOpen() const;
    // The device object, or null. Valid while the caller holds the manager's lock (or is inside
    // the data path guard).
    TMidiDeviceBase* getDeviceObject() const { return device.load(std::memory_order_acquire); }
    // Removes the device object from the record without closing it; the caller owns it.
    std::unique_ptr<TMidiDeviceBase> detachDevice();

    // The text of the exception that made the last open fail; empty after a good open.
    BString getLastError() const;
    void setLastError(const BString& text);

    const int index;
    const bool isInput;
    // The device should be open but is not; an update reopens it.
    std::atomic<int> pending{0};
    // The device existed at the last scan. Read on the data path.
    std::atomic<int> present{0};
    // Scratch flag of a scan.
    int seen = 0;
    // The aliases of this direction bound to this record's display name.
    TMidiAliasList aliases;
    BString extraText;

protected:
    // The one-letter marks of a record's options in the settings file ("T" / "F").
    static const char* optionMark(bool on);
    static bool optionMarkAt(const BString& options, int position);

    // Closes the current device object (errors ignored) and retires it; installs d.
    void replaceDevice(std::unique_ptr<TMidiDeviceBase> d);
    // Installs a freshly made device object (owner, index, descriptor refresh).
    void installDevice(std::unique_ptr<TMidiDeviceBase> d);
    // "MIDI.in" / "MIDI.out".
    const char* sectionName() const;
    // The backend-kind marks and factory type of the stored options (shared by both directions).
    BString optionsTail() const;

    MidiManager& manager;

private:
    mutable std::mutex mutex; // descriptor, factoryType, lastError
    std::unique_ptr<MidiDeviceDescriptor> descriptor;
    std::uint32_t factoryType = 0;
    BString lastError;
    // Owned; replaced only through replaceDevice / detachDevice.
    std::atomic<TMidiDeviceBase*> device{nullptr};
};
