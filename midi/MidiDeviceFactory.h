// MidiDeviceFactory: the base of a MIDI backend. It lists the backend's ports per direction as
// descriptors and makes the open-able device objects for them.
//
// The generic part here keeps the two descriptor lists, rescans them at most once per 1500 ms
// (every request moves the window, so a steady stream of requests never rescans) unless the
// system announced a change of its ports since (systemDeviceSetChanged), numbers
// ports of equal names (USB MIDI, USB MIDI (2), ...), renames truly identical ports and gives
// both directions of one device the same number. A backend supplies refreshDescriptors,
// typeId, directionName and createDevice.
//
// Threads: used from the GUI thread and from the device-change notifier's timer thread; the
// factory's lock guards the lists during a rescan and every copy-out. Every public operation
// may be called from any thread.
//
// Lifetime: a backend's destructor must call unregisterFromManager() first, while its own
// virtual operations still work; the base destructor does it too as a last resort.
#pragma once

#include "base/AutoDelete.h"
#include "base/BList.h"
#include "base/BLock.h"
#include "base/BStringList.h"
#include "midi/MidiDeviceDescriptor.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

class TMidiDeviceBase;

class MidiDeviceFactory : public AutoDelete
{
public:
    // Minimum time between two rescans, and by how much every request postpones the next one.
    static constexpr std::uint32_t kRescanIntervalMs = 1500;

    MidiDeviceFactory();
    ~MidiDeviceFactory() override;

    MidiDeviceFactory(const MidiDeviceFactory&) = delete;
    MidiDeviceFactory& operator=(const MidiDeviceFactory&) = delete;

    // Number of ports of the direction. Base: rescan, then the list's size. A backend may answer
    // with a cheap system query instead; the manager compares it between scans to notice changes.
    virtual int deviceCount(bool isInput);

    // The backend's four-character type identifier.
    virtual std::uint32_t typeId() const = 0;

    // A generic port name for the direction ("MIDI Input" / "MIDI Output" and the like).
    virtual BString directionName(bool isInput) const = 0;

    // Rescan, then the display names of the direction's ports, in order.
    virtual void getDisplayNames(bool isInput, BStringList& out);

    // Rescan, then make out hold clones of all descriptors of the direction, in order. Entries
    // that out held before are deleted.
    virtual void copyDescriptors(bool isInput, BOwnedList<MidiDeviceDescriptor*>& out);

    // Rescan, then the non-empty extra ids of the direction's ports.
    virtual void getExtraIds(bool isInput, BStringList& out);

    // A new, closed device object for d (input object for an input descriptor, output object
    // otherwise) holding a clone of d. The caller owns it.
    virtual std::unique_ptr<TMidiDeviceBase> createDevice(const MidiDeviceDescriptor& d) = 0;

    // A new, closed device object for the port of that display name in the direction (rescans
    // first); null when there is none.
    std::unique_ptr<TMidiDeviceBase> createDeviceNamed(const BString& displayName, bool isInput);

    // Rescans now unless the last request came less than 1500 ms ago (see above).
    void rescan();

    // Lets this factory's next request rescan at once.
    void forgetLastRescanRequest() { lastRequestTime.store(0); }

    // The system said that its port set changed: what every factory's last scan saw is out of
    // date however recent it is, so each one's next request rescans at once. Any thread, no lock
    // (called from system callbacks and the device-change service).
    static void systemDeviceSetChanged() { systemChanges.fetch_add(1); }
    // How a backend reports a change it hears from its system: systemDeviceSetChanged, then the
    // device-change broadcast, so that the manager updates after the service's debounce.
    static void announceSystemDeviceChange();

    // Removes the factory from the manager (if the manager exists): the manager's records of its
    // ports become absent and their device objects are closed and dropped. Idempotent.
    void unregisterFromManager();

protected:
    // Brings list to the backend's current ports of that direction: delete entries beyond the
    // current count, refresh existing entries in place, append new ones. Called only by rescan,
    // under the factory's lock.
    virtual void refreshDescriptors(bool isInput, BOwnedList<MidiDeviceDescriptor*>& list) = 0;

    // For refreshDescriptors: brings list to the descriptors found (in their order): entries
    // already there are refreshed in place (records keep matching them), new ones are appended as
    // clones, the rest are deleted.
    template <typename Descriptor>
    static void keepDescriptors(BOwnedList<MidiDeviceDescriptor*>& list, const std::vector<Descriptor>& found)
    {
        const int count = static_cast<int>(found.size());
        for (int i = 0; i < count; ++i)
        {
            const Descriptor& fresh = found[static_cast<std::size_t>(i)];
            if (MidiDeviceDescriptor* existing = list.Get(i))
                existing->assign(fresh);
            else
                list.Add(fresh.clone().release());
        }
        while (list.Count() > count)
            list.Delete(list.Count() - 1);
    }

    // Guards the two lists and the scan.
    BLock lock;

private:
    void numberEqualNames(BOwnedList<MidiDeviceDescriptor*>& list);
    void alignOutputInstances();

    // Library clock of the last rescan request; 0 = none yet.
    std::atomic<std::uint32_t> lastRequestTime{0};
    // Count of system changes, and the count this factory's last scan had seen.
    static std::atomic<std::uint32_t> systemChanges;
    std::atomic<std::uint32_t> changesSeen{0};
    BOwnedList<MidiDeviceDescriptor*> inputDescriptors;
    BOwnedList<MidiDeviceDescriptor*> outputDescriptors;
    bool unregistered = false;
};
