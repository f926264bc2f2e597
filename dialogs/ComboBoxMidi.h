#pragma once

#include "base/BList.h"
#include "dialogs/PostedRun.h"
#include "dialogs/Runnable.h"
#include "midi/TMidiDeviceListListener.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <atomic>

class MidiManager;
class MidiManagerDev;
class TMidiAlias;

// A combo box of the MIDI devices of one direction, showing which device an alias is bound to
// and writing the user's choice back into the alias on request (applyToAlias).
//
// Item ids: -1 "(none)" (or "(no assignment)" in don't-ask mode), -2 "(none - don't ask again)"
// (don't-ask mode only), and record index + 1 for each listed device record, whose text is the
// record's extra text or display name, with " (pending)" for a pending record. Items are sorted
// by text ignoring case; ids stay the record indexes + 1.
//
// Threads: all item, selection and alias work happens on the message thread. deviceListChanged
// may arrive on any thread; it only marks the box and hands the rebuild to the message thread,
// one waiting hand-over per box, so a burst of notifications gives one rebuild. Destroying the
// box (message thread) unregisters it from the MIDI manager, which waits for a notification in
// progress, and cancels a hand-over still waiting; it never creates the manager.
class ComboBoxMidi : public juce::ComboBox,
                     public juce::ComboBox::Listener,
                     public TMidiDeviceListListener,
                     public Runnable
{
public:
    static constexpr int kNoneId = -1;
    static constexpr int kDontAskId = -2;

    // Told (message thread) when the selected id changed.
    class Listener
    {
    public:
        virtual ~Listener() = default;
        virtual void comboBoxMidiChanged(ComboBoxMidi* box) = 0;
    };

    // Message thread. Creates the MIDI manager if it does not exist yet (throws once it is gone).
    explicit ComboBoxMidi(bool isInput);
    ~ComboBoxMidi() override;

    // The alias shown and edited (not owned; null for none) and the box's direction.
    void setAlias(TMidiAlias* newAlias) { alias = newAlias; }
    TMidiAlias* getAlias() const noexcept { return alias; }
    void setIsInput(bool listInputs) { isInput = listInputs; }
    bool getIsInput() const noexcept { return isInput; }

    // List pending (wanted but absent) devices too; on by default.
    void setShowPending(bool on);
    // Offer "(no assignment)" and "(none - don't ask again)" instead of "(none)".
    void setDontAskMode(bool on);
    // Selecting from the alias counts a device only while it is open.
    void setOnlyOpenDevices(bool on) { onlyOpenDevices = on; }

    // Selects the alias's current device, now on the message thread or soon from elsewhere.
    void requestSelectFromAlias();
    // Runs `run` now on the message thread, else hands it to the message thread.
    void requestUpdate();
    // Writes the selection into the alias in one change batch; true when the alias changed.
    // Throws what the alias manager throws (e.g. after shutdown); the batch is closed anyway.
    bool applyToAlias();

    void addListener(Listener* listener);
    void removeListener(Listener* listener);

    // Runnable: the pending rebuild and select steps (message thread; both integers ignored).
    void run(int first, int second) override;
    // TMidiDeviceListListener: any thread.
    void deviceListChanged() override;
    // juce::ComboBox::Listener (the box listens to itself).
    void comboBoxChanged(juce::ComboBox* box) override;

    // Number of item rebuilds so far (message thread; diagnostics and tests).
    int getRebuildCount() const noexcept { return rebuildCount; }

    // The item text a record is listed with (extra text, or display name and the backend's note on
    // the port; " (pending)" added).
    static juce::String itemTextOf(MidiManagerDev& record);

    using juce::ComboBox::addListener;
    using juce::ComboBox::removeListener;

    ComboBoxMidi(const ComboBoxMidi&) = delete;
    ComboBoxMidi& operator=(const ComboBoxMidi&) = delete;

private:
    void rebuildItems();
    void selectFromAlias();
    void notifyIfChanged();
    bool aliasMatchesDirection() const;

    bool isInput;
    bool showPending = true;
    bool dontAskMode = false;
    bool onlyOpenDevices = false;
    TMidiAlias* alias = nullptr;
    std::atomic<bool> needsSelect { false };
    std::atomic<bool> needsRebuild { false };
    BList<Listener*> listeners;
    int lastNotifiedId = -10;
    int rebuildCount = 0;
    // Last member: destroyed first, after the destructor has stopped the notifications.
    PostedRun posted { *this };
};
