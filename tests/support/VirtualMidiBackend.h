// VirtualMidiBackend: a MIDI backend for tests and benchmarks (not part of the product).
//
// VirtualMidiFactory lists ports that a test adds, removes and renames at any time, as a
// system would when devices are plugged in and out. Inputs can be fed bytes from any thread the
// way a driver delivers them (short messages, SysEx in pieces of up to 1024 bytes, each piece
// with its own timestamp); outputs record what they were sent. A port can be told to refuse an
// open, to throw from it, or to be lost while open (the driver closes it under our feet).
//
// Threads: every operation may be called from any thread. Feeding one input is serialised per
// port (a driver delivers on one thread per port); closing an input waits for a delivery in
// progress, so no delivery reaches a closed or deleted device object.
#pragma once

#include "base/BString.h"
#include "midi/MidiDeviceFactory.h"
#include "midi/TMidiDeviceBase.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class VirtualMidiFactory : public MidiDeviceFactory
{
public:
    static constexpr std::uint32_t kDefaultTypeId = 0x54524956; // "VIRT"

    enum class OpenBehaviour
    {
        Normal,
        Fail,  // open leaves the device closed
        Throw, // open throws an Exception with failureText()
    };

    // One message as an output received it.
    struct Sent
    {
        bool isShort = false;
        std::uint32_t packed = 0;         // short messages
        std::vector<unsigned char> bytes; // long messages (short ones unpacked here too)
    };

    explicit VirtualMidiFactory(std::uint32_t typeId = kDefaultTypeId);
    ~VirtualMidiFactory() override;

    // --- The system's port list ---
    // Appends a port (plugged in); returns its id.
    int addPort(bool isInput, const BString& name, const BString& interfaceName = BString(),
                const BString& parentInstanceId = BString());
    // Unplugs the port: it leaves the list, and an open connection to it is lost.
    bool removePort(int id);
    bool renamePort(int id, const BString& name);
    // The driver loses the open connection (sends fail, nothing is delivered, poll() closes the
    // device); the port stays in the list.
    bool losePort(int id);
    void setOpenBehaviour(int id, OpenBehaviour behaviour);
    // On: every change of the port list lifts the 1500 ms rescan limit once, as if the system
    // had announced the change (tests of the manager need each change seen at once). Off by
    // default, so the rate limit itself can be tested.
    void setRescanOnChange(bool on) { rescanOnChange.store(on); }
    static BString failureText(const BString& portName);

    // --- Driver side of inputs ---
    // One short message (the length follows from the status byte). False when the port has no
    // started, open input.
    bool feedShort(int id, unsigned char status, unsigned char data1 = 0, unsigned char data2 = 0);
    // A block as the driver fills SysEx buffers: pieces of at most 1024 bytes, each delivered on
    // its own. Returns the number of pieces delivered.
    int feedSysEx(int id, const unsigned char* data, int length);

    // --- Outputs ---
    std::vector<Sent> sentTo(int id) const;
    void clearSent(int id);
    // Off: only count (for benchmarks); counting always happens.
    void setRecording(int id, bool on);
    std::uint64_t sentCount(int id) const;
    std::uint64_t sentBytes(int id) const;

    // --- State ---
    bool isPortOpen(int id) const;
    int openCount(int id) const;
    int portCount(bool isInput) const;
    // Number of refreshDescriptors calls (each rescan refreshes both directions).
    int refreshCount() const { return refreshes.load(); }

    // MidiDeviceFactory
    int deviceCount(bool isInput) override;
    std::uint32_t typeId() const override { return type; }
    BString directionName(bool isInput) const override;
    std::unique_ptr<TMidiDeviceBase> createDevice(const MidiDeviceDescriptor& d) override;

    struct Port;
    struct State;

protected:
    void refreshDescriptors(bool isInput, BOwnedList<MidiDeviceDescriptor*>& list) override;

private:
    std::shared_ptr<Port> findPort(int id) const;

    void portsChanged();

    const std::uint32_t type;
    std::shared_ptr<State> state;
    std::atomic<bool> rescanOnChange{false};
    std::atomic<int> refreshes{0};
};

// The input device object of the virtual backend.
class VirtualMidiInput : public TMidiInputBase
{
public:
    VirtualMidiInput(std::shared_ptr<VirtualMidiFactory::State> state, std::unique_ptr<MidiDeviceDescriptor> d);
    ~VirtualMidiInput() override;

    void start() override;
    void stop() override;
    bool isStarted() const override { return started.load() != 0; }
    void poll() override;

    // Driver side: called by the factory with the port's delivery lock held.
    void driverShort(const unsigned char* bytes);
    void driverLong(const unsigned char* data, int length);

protected:
    void open() override;
    void close(void* backendHandle) override;

private:
    std::shared_ptr<VirtualMidiFactory::State> state;
    std::shared_ptr<VirtualMidiFactory::Port> port;
    std::atomic<int> started{0};
};

// The output device object of the virtual backend.
class VirtualMidiOutput : public TMidiOutputBase
{
public:
    VirtualMidiOutput(std::shared_ptr<VirtualMidiFactory::State> state, std::unique_ptr<MidiDeviceDescriptor> d);
    ~VirtualMidiOutput() override;

    bool sendShort(std::uint32_t message) override;
    bool sendLong(const unsigned char* data, int length) override;
    void poll() override;

protected:
    void open() override;
    void close(void* backendHandle) override;

private:
    VirtualMidiFactory::Port* livePort() const;

    std::shared_ptr<VirtualMidiFactory::State> state;
    // Keeps the port object alive while the handle points at it.
    std::shared_ptr<VirtualMidiFactory::Port> port;
    std::atomic<int> generationAtOpen{0};
};
