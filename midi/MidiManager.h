// MidiManager: the one object through which the application reaches MIDI ports.
//
// It keeps a record per input and output device ever seen (indices never change while the
// program runs), asks the registered factories what devices exist (updateDevices), opens and
// closes devices with status and error texts for its device-control listeners, and carries
// every incoming message through the input filters to the data listener and on to the thru
// outputs of the input's routes.
//
// Lifecycle: created by the first getInstance(), which runs the registered initializers (a
// backend adds its factory in managerReady) and creates the device-change notifier. Suspended
// until start(): opens only mark records pending, nothing is delivered, the notifier does not
// scan. Deleted at program exit through AutoDelete; getInstance() then throws. Destruction
// waits for an update pass that the notifier is running on the timer thread, so listeners
// must not wait for the destroying (GUI) thread; code reached from a pass uses peekInstance().
//
// Threads and locks
// - The manager's recursive lock is held for a whole updateDevices pass and around every open
//   and close (GUI thread and the notifier's timer thread both do these). Control listeners
//   are called with it held, on either thread: they must not wait for the GUI thread (post
//   work to it instead) or they can deadlock against a GUI thread that opens a port.
// - Queries (counts, getDevice, find*) take only short internal locks and may be called on any
//   thread.
// - The data path (onMidiData, on each input driver's thread) takes no lock and allocates
//   nothing. What it reads is either atomic (suspended, dataListener, a record's present flag
//   and device object, the input options) or an immutable snapshot published with an atomic
//   pointer (an input's thru targets, the two filter lists). Control threads never change a
//   snapshot in place; they publish a new one and retire the old through a MidiDataPathGuard,
//   which deletes it only after every driver thread that could still read it has left the data
//   path. Output device objects that are replaced or dropped are retired the same way, so a
//   thru send never touches a deleted object. Removing a filter or changing the data listener
//   waits (briefly) until no driver thread can still be inside the old one, so the caller may
//   destroy it afterwards.
#pragma once

#include "base/AutoDelete.h"
#include "base/BList.h"
#include "base/BListenerList.h"
#include "base/BLock.h"
#include "base/BString.h"
#include "midi/MidiDataPathGuard.h"
#include "midi/MidiFilterList.h"
#include "midi/MMDevIn.h"
#include "midi/MMDevOut.h"
#include "midi/MidiManagerListeners.h"
#include "midi/TMidiAliasChangeListener.h"
#include "midi/TMidiDeviceListListener.h"
#include "midi/TMidiDeviceListeners.h"
#include "midi/TMidiRouteChangeListener.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

class MIDIDevChangeNotifier;
class MidiDeviceDescriptor;
class MidiDeviceFactory;
class TMidiAliasList;

class MidiManager : public TMidiDeviceDataListener,
                    public TMidiDeviceErrorListener,
                    public TMidiAliasChangeListener,
                    public TMidiRouteChangeListener,
                    public AutoDelete
{
public:
    // The singleton, created on first use. Throws Exception "Cannot re-instanciate MidiManager!"
    // after it was destroyed. Any thread; the first call should come from the GUI thread.
    static MidiManager* getInstance();
    // The singleton if it exists; null before the first getInstance and after destruction.
    static MidiManager* peekInstance();
    // Appends to the global initializer list unless already there, taking ownership (the
    // initializer is deleted with the manager). Returns its position. Before the manager exists.
    static int registerInitializer(MidiManagerInitializer* initializer);

    ~MidiManager() override;
    MidiManager(const MidiManager&) = delete;
    MidiManager& operator=(const MidiManager&) = delete;

    // --- Registration (unique add, removal by identity; any thread) ---
    // Adds a factory (not owned); the next access scans in full.
    void addFactory(MidiDeviceFactory* factory);
    // Removes a factory: records of its devices become absent, their device objects are closed
    // and dropped. Called by the factory's destructor.
    void removeFactory(MidiDeviceFactory* factory);
    // Listeners are not owned. Removal returns once no other thread is still inside a call to
    // the listener, so it may be destroyed right after; a listener may remove itself from
    // inside its own call. A listener must therefore not wait, inside a call, for a thread that
    // may be removing it (the GUI thread: post work to it instead).
    void addDeviceControlListener(MidiManagerDeviceControlListener* listener);
    void removeDeviceControlListener(MidiManagerDeviceControlListener* listener);
    void addDeviceListListener(TMidiDeviceListListener* listener);
    void removeDeviceListListener(TMidiDeviceListListener* listener);
    // Filters are not owned. Removal returns once no driver thread can be inside the filter.
    void addInputFilter(MidiInDeviceFilter* filter);
    void removeInputFilter(MidiInDeviceFilter* filter);
    void addOutputFilter(MidiOutDeviceFilter* filter);
    void removeOutputFilter(MidiOutDeviceFilter* filter);

    // The one receiver of incoming data; not owned. May be assigned directly; setDataListener
    // also waits until no driver thread is still inside the previous listener.
    std::atomic<MidiManagerDataListener*> dataListener{nullptr};
    void setDataListener(MidiManagerDataListener* listener);

    // --- Queries (any thread) ---
    // Numbers of records; never trigger a scan.
    int getInputCount() const;
    int getOutputCount() const;
    // The record, or null for an index out of range or a record without display name. Runs the
    // first full update if none has run yet and the manager is started.
    MidiManagerDev* getDevice(int index, bool isInput);
    MMDevIn* getInput(int index);
    MMDevOut* getOutput(int index);
    // The highest index whose display name equals name exactly; -1 if none or name is empty.
    int findDeviceByName(const BString& name, bool isInput);
    // The highest index whose descriptor matches d; -1 if none.
    int findDeviceByDescriptor(const MidiDeviceDescriptor& d, bool isInput);
    bool isSuspended() const { return suspended.load() != 0; }
    // Runs the first full update (with notification) if none has run yet and the manager is
    // started, as the queries above do. Control threads.
    void ensureScanned();
    // The registered factory of that type identifier, or null.
    MidiDeviceFactory* findFactoryByType(std::uint32_t type);
    MIDIDevChangeNotifier* getNotifier() const { return notifier.get(); }

    // Holds the manager's lock for its lifetime: a control thread that reads the aliases'
    // resolution and opens or closes devices by it sees no update pass in between (a pass
    // re-resolves every alias from scratch).
    class ControlGuard
    {
    public:
        explicit ControlGuard(MidiManager& manager) : hold(manager.lock) {}
        ControlGuard(const ControlGuard&) = delete;
        ControlGuard& operator=(const ControlGuard&) = delete;

    private:
        BLockGuard hold;
    };

    // --- Actions (control threads) ---
    // Ends the suspended state: initializers' managerStarted, then an update that reopens
    // every pending device.
    void start();
    // Brings the records in step with the factories; true when anything changed. force
    // enumerates every factory even if its device count is unchanged; notify tells the
    // device-list listeners (after the lock is released). A nested call on the same thread
    // (a listener reacting inside a pass) only makes the running pass repeat and returns false.
    bool updateDevices(bool force, bool notify);
    // One factory (at position k of the factories) and one direction; part of updateDevices.
    bool syncFactoryDevices(int k, MidiDeviceFactory* factory, bool isInput, bool force);
    // Errors are reported to the control listeners, never thrown.
    void openInput(int index);
    void openOutput(int index);
    void closeInput(int index, bool force);
    void closeOutput(int index, bool force);

    // Forwards one message to the output aliases of list (last first), through the output
    // filters. Reads the aliases' resolution: for control threads. The data path uses the
    // inputs' published thru targets instead.
    void routeThru(const TMidiAliasList& list, const unsigned char* data, int length);

    // TMidiDeviceDataListener: on the input driver's thread (see above).
    void onMidiData(TMidiDeviceBase* device, std::int64_t timestamp, const unsigned char* data, int length) override;
    // TMidiDeviceErrorListener: deviceError to every control listener, last registered first.
    // Devices call it on their driver threads (a failed thru send): no lock is taken, and the
    // control listeners must post rather than block.
    void onMidiError(TMidiDeviceBase* device, const BString& text) override;
    // TMidiAliasChangeListener: re-resolves all aliases, then routesChanged.
    void aliasesChanged() override;
    // TMidiRouteChangeListener: every input record reloads its thru targets.
    void routesChanged() override;

    // The guard that protects the data path's snapshots (records retire through it).
    MidiDataPathGuard& dataPathGuard() { return guard; }
    // Number of update passes run, repetitions included (diagnostics and tests).
    int updatePassCount() const { return passCount.load(); }

private:
    MidiManager();
    void initialise();

    void reconcileRecords(bool isInput, bool& changed);
    void pollDevice(int index, bool isInput, MidiManagerDev* record);

    void openDevice(int index, bool isInput);
    void closeDevice(int index, bool isInput, bool force);
    void reportError(const BString& text, int index, bool isInput);
    // "Opened MIDI IN: name" (verb "Opened" / "Closed") and the state change, to every control
    // listener.
    void announceStateChange(int index, bool isInput, const char* verb, const MidiManagerDev& record);

    // Calls f on every control listener, last registered first.
    template <typename F>
    void tellControlListeners(F&& f)
    {
        controlListeners.forEach(true, f);
    }
    void forwardThru(const MidiThruTargets* targets, const unsigned char* data, int length);
    // true when the message may go on to further targets.
    bool sendToOutput(MMDevOut* output, const unsigned char* data, int length);
    std::vector<int>& countsFor(bool isInput) { return isInput ? inputCountByFactory : outputCountByFactory; }

    // Re-entrant; held by updateDevices passes and by open / close.
    BLock lock;
    std::atomic<int> restartUpdate{0};
    std::unique_ptr<MIDIDevChangeNotifier> notifier;
    BList<MidiDeviceFactory*> factories;
    // Device count per factory (parallel to factories) at its last synchronisation.
    std::vector<int> inputCountByFactory;
    std::vector<int> outputCountByFactory;

    // Guards the two record lists' structure (records are appended under lock too).
    mutable std::mutex recordsMutex;
    BOwnedList<MMDevIn*> inputs;
    BOwnedList<MMDevOut*> outputs;

    std::atomic<int> suspended{1};
    std::atomic<int> scannedOnce{0};
    std::atomic<int> passCount{0};

    BListenerList<MidiManagerDeviceControlListener> controlListeners;
    BListenerList<TMidiDeviceListListener> deviceListListeners;
    MidiDataPathGuard guard;
    // After the guard, which they retire their old snapshots through.
    using InputFilterList = MidiFilterList<MidiInDeviceFilter>;
    using OutputFilterList = MidiFilterList<MidiOutDeviceFilter>;
    InputFilterList inputFilters{guard, InputFilterList::Order::FirstRegisteredFirst};
    OutputFilterList outputFilters{guard, OutputFilterList::Order::LastRegisteredFirst};
};
