// MMDevIn: the MIDI manager's record of one input device, with its thru targets and its two
// pass options. See MidiManagerDev for what all records share (lifetime, threads).
#pragma once

#include "midi/MidiManagerDev.h"

#include <atomic>
#include <memory>
#include <vector>

class MMDevOut;

// The output records an input's data is copied to: an immutable snapshot, replaced as a whole.
struct MidiThruTargets
{
    std::vector<MMDevOut*> outputs;
};

class MMDevIn : public MidiManagerDev
{
public:
    MMDevIn(MidiManager& manager, int index, std::unique_ptr<MidiDeviceDescriptor> descriptor);
    ~MMDevIn() override;

    void adoptDevice(std::unique_ptr<TMidiDeviceBase> d) override;
    void createDevice() override;
    void loadState(const TIniFile& file, int n) override;
    void saveState(TIniFile& file, int n) const override;
    bool hasState() const override;
    void assign(const MidiManagerDev& other) override;
    // If present: rebuilds thru from the router and publishes the resolved output records as the
    // new thru targets. Control threads, after alias resolution.
    virtual void reloadThru();
    // assign plus thru and the two options.
    virtual void assignAll(const MMDevIn& other);

    // Deliver Timing Clock (default 1) / Active Sensing (default 0); handed to the device object.
    void setPassClock(int pass);
    void setPassActiveSensing(int pass);
    int getPassClock() const { return passClock.load(); }
    int getPassActiveSensing() const { return passActiveSensing.load(); }

    // The current thru targets. Data path only, inside the manager's data path guard.
    const MidiThruTargets* thruTargets() const { return targets.load(std::memory_order_acquire); }

    // The output aliases this input's data is forwarded to (control threads).
    TMidiAliasList thru;

private:
    void publishTargets(std::unique_ptr<MidiThruTargets> next);

    std::atomic<int> passClock{1};
    std::atomic<int> passActiveSensing{0};
    std::atomic<const MidiThruTargets*> targets{nullptr};
};
