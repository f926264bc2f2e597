// TMidiAlias: a named role ("MIDI Input", "MIDI Thru") bound to a device by its display name, and
// TMidiAliasList, a non-owning list of aliases.
//
// Aliases are owned by TMidiAliasManager and live until it is destroyed, so pointers to them stay
// valid for the whole run. The numeric fields are atomics: the MIDI manager resolves aliases on
// the device-change thread while the GUI reads them. The texts are shared with that thread too,
// so they are read through copies taken under the alias lock (name(), altName(), deviceName())
// and changed only by the alias manager.
#pragma once

#include "base/BList.h"
#include "base/BString.h"

#include <atomic>
#include <cstdint>

class TIniFile;
class BLock;

class TMidiAlias
{
public:
    // Values of direction.
    static constexpr int kNone = 0;
    static constexpr int kInput = 1;
    static constexpr int kOutput = 2;

    // Bits of flags.
    static constexpr int kRequested = 0x1;          // asked for by the application (getAlias, flag value < 0)
    static constexpr int kHidden = 0x2;             // never saved, not offered to the user
    static constexpr int kNonePersistent = 0x4;     // explicitly bound to no device
    static constexpr int kAutoMark = 0x8;           // transient, during automatic creation
    static constexpr int kPairMark = 0x800000;      // transient, used by the port settings dialog

    // The texts stored for an explicit "no device" binding and the settings section.
    static const char* const kNonePersistentText;   // "(none persistent)"
    static const char* const kSection;              // "MIDI.alias"

    TMidiAlias(const BString& name, const BString& deviceName, int direction);
    // Built from entry n of the settings section: name "Name<n>" given by the caller, direction
    // and device from "Device<n>" (see parseDeviceEntry).
    TMidiAlias(const BString& name, const TIniFile& file, int n);
    virtual ~TMidiAlias();

    TMidiAlias(const TMidiAlias&) = delete;
    TMidiAlias& operator=(const TMidiAlias&) = delete;

    // Copies of the texts, taken under the alias lock; callable from any thread.
    BString name() const;
    BString altName() const;
    BString deviceName() const;

    // The name without its direction words: for an input a leading "From ", then a trailing
    // " In", then a trailing " Input"; for an output a leading "To ", then a trailing " Out",
    // then a trailing " Output" (each ignoring case, each only when present).
    BString baseName() const;
    static BString baseNameOf(const BString& name, int direction);

    // Parses a stored "Device" value "<direction>:<device>". Only the first ":" separates; the
    // direction must be a non-empty decimal 0, 1 or 2, anything else gives direction 0 and no
    // device. "(none persistent)" (any case) gives an empty device and nonePersistent = true.
    static void parseDeviceEntry(const BString& value, int& direction, BString& deviceName,
                                 bool& nonePersistent);
    // The stored form of this alias's binding.
    BString deviceEntry() const;

    // The lock that guards the texts of all aliases and the alias manager's lists. Recursive.
    static BLock& aliasLock();

    std::atomic<int> direction;
    std::atomic<int> flags {0};
    // Index of the bound device in the MIDI manager's inputs or outputs; -1 when not resolved.
    std::atomic<int> deviceIndex {-1};
    // Type identifier of the resolved device's factory; 0 when not resolved.
    std::atomic<std::uint32_t> factoryType {0};

    bool hasFlag(int bit) const { return (flags.load() & bit) != 0; }
    void setFlag(int bit, bool on);

private:
    friend class TMidiAliasManager;

    // Under aliasLock().
    BString name_;
    BString altName_;
    BString deviceName_;
};

// A non-owning list of aliases.
class TMidiAliasList : public BList<TMidiAlias*>
{
public:
    // Appends a unless it is null or already in the list.
    virtual void addUnique(TMidiAlias* a);
    // addUnique of every entry of other, in order.
    void addAll(const BList<TMidiAlias*>& other);
};
