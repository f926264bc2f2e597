// MidiDeviceDescriptor: the identity of one MIDI port as a backend reports it.
//
// A backend derives its own descriptor (adding its private fields) and hands clones of it to
// the manager. Descriptors are plain values: nothing here is synchronised, a descriptor is
// owned by exactly one factory list, manager record or device object at a time and is changed
// only under that owner's lock.
#pragma once

#include "base/BString.h"

#include <memory>

class MidiDeviceFactory;

class MidiDeviceDescriptor
{
public:
    MidiDeviceDescriptor() = default;
    MidiDeviceDescriptor(MidiDeviceFactory* factory, bool isInput, int index, const BString& name);
    virtual ~MidiDeviceDescriptor() = default;

    // Copies every base field; a subclass copies its own fields too.
    virtual void assign(const MidiDeviceDescriptor& other);

    // A new descriptor of the same class holding a copy of all fields.
    virtual std::unique_ptr<MidiDeviceDescriptor> clone() const;

    // Same port, possibly renumbered. Ports with an identity (interface name or parent instance)
    // are compared by identity; ports without one by instance number.
    virtual bool matches(const MidiDeviceDescriptor* other) const;

    // other is the port of the opposite direction of the same physical device: same interface
    // path, or (same alternative name and) a common name and the same instance number.
    virtual bool isCounterpart(const MidiDeviceDescriptor* other) const;

    // Exactly equal: same factory, direction, instance, index and texts (case-sensitive).
    virtual bool equals(const MidiDeviceDescriptor* other) const;

    // The name for users, aliases and settings: name, or "name (n)" for the second and later of
    // equal names.
    BString displayName() const;

    // A backend's note on the port for the port dialog, shown after the display name (which stays
    // what aliases and settings store); empty for most ports.
    virtual BString displayNote() const { return BString(); }

    // Forgets the port's identity, so that the descriptor no longer matches the port that now
    // carries it.
    void clearIdentity();

    const BString& getName() const { return name; }
    const BString& getInterfaceName() const { return interfaceName; }
    const BString& getParentInstanceId() const { return parentInstanceId; }
    const BString& getExtraId() const { return extraId; }

    // The backend that produced it; null for a placeholder (e.g. restored from settings).
    MidiDeviceFactory* factory = nullptr;
    int isInput = 0;
    // Position of the port within its factory and direction; -1 for a placeholder.
    int index = -1;
    BString name;
    BString altName;
    // 0 when the name is unique among ports of the direction, else 1, 2, 3 ... in order.
    int instance = 0;
    BString interfaceName;
    BString parentInstanceId;
    BString extraId;

    // The common name of two port names in the sense of isCounterpart (exposed for tests and
    // for backends that pair ports): empty when there is none.
    static BString commonName(const BString& a, const BString& b);
    // name without a leading "<digits>-" and the blanks after it.
    static BString stripNumberPrefix(const BString& name);

    // Copies the base fields only; a subclass is copied whole through clone().
    MidiDeviceDescriptor(const MidiDeviceDescriptor&) = default;
    MidiDeviceDescriptor& operator=(const MidiDeviceDescriptor&) = default;
};
