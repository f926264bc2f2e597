// TMidiDeviceBase, TMidiInputBase, TMidiOutputBase: the open-able device objects a backend
// makes for one port (MidiDeviceFactory::createDevice).
//
// A backend implements open/close (and start/stop, send*) against its driver; the generic
// openDevice/closeDevice here hold the device's own lock around them, so two threads never
// open or close one port at once. Nothing else takes that lock: data delivery and sending
// run lock-free on the driver's / caller's thread.
//
// Fields read on the driver thread while other threads change them (handle, owner, index,
// the input options and data listener) are atomics.
#pragma once

#include "base/BLock.h"
#include "midi/MidiStatus.h"
#include "midi/TMidiDeviceListeners.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

class MidiDeviceDescriptor;
class MidiManagerDev;

class TMidiDeviceBase
{
public:
    // Takes ownership of descriptor (a clone made for this object; may be null).
    explicit TMidiDeviceBase(std::unique_ptr<MidiDeviceDescriptor> descriptor);
    virtual ~TMidiDeviceBase();

    TMidiDeviceBase(const TMidiDeviceBase&) = delete;
    TMidiDeviceBase& operator=(const TMidiDeviceBase&) = delete;

    // Generic open: if not open, calls open() under the device lock, then afterOpen(). May throw
    // whatever the backend's open throws; the device is then left closed.
    void openDevice();
    // Generic close: if open, takes the handle (the device counts as closed from here on), calls
    // close(handle) under the device lock, then afterClose(). May throw the backend's exception.
    void closeDevice();
    // True while a backend handle is held.
    bool isOpen() const { return handle.load(std::memory_order_acquire) != nullptr; }

    // Replaces the own descriptor copy by a clone of d unless d is null or equal to it.
    // Control threads only (the manager calls it under its lock).
    void setDescriptor(const MidiDeviceDescriptor* d);
    const MidiDeviceDescriptor* getDescriptor() const { return descriptor.get(); }

    // Called by the manager now and then: a backend closes the device here (closeDevice) when
    // its driver reported that the port is gone. Default: nothing.
    virtual void poll() {}

    // Receives the failures the device notices by itself while data flows (not owned; may be
    // null; the manager sets itself). May be changed at any time.
    void setErrorListener(TMidiDeviceErrorListener* listener)
    {
        errorListener.store(listener, std::memory_order_release);
    }
    // Failures counted since the device was last opened (failed sends, exceptions stopped at a
    // driver callback).
    std::uint32_t failureCount() const { return failures.load(std::memory_order_relaxed); }

    // Index of the owning record in the manager's inputs or outputs, and that record.
    std::atomic<int> index{-1};
    std::atomic<MidiManagerDev*> owner{nullptr};

protected:
    // Opens the port and stores the backend handle with setHandle (leaves it null on failure, or
    // throws an Exception). Called under the device lock.
    virtual void open() = 0;
    // Closes the given handle. Called under the device lock, after the handle field was cleared.
    virtual void close(void* backendHandle) = 0;
    virtual void afterOpen() {}
    virtual void afterClose() {}

    // Counts one failure noticed on a data thread. True for the first since the device was
    // opened: the caller then tells it with reportFailure; later ones are only counted, so a
    // failing port cannot flood the user with one report per message.
    bool countFailure() { return failures.fetch_add(1, std::memory_order_relaxed) == 0; }
    // Tells the error listener. Never throws: it is called where an exception must not pass (a
    // driver callback); the listener must not block (it runs on the driver's thread).
    void reportFailure(const BString& text) noexcept;
    // The display name the device had when it was last opened: for texts made on data threads,
    // which must not read the descriptor (control threads may replace it).
    BString openedName() const;

    void setHandle(void* backendHandle) { handle.store(backendHandle, std::memory_order_release); }
    void* getHandle() const { return handle.load(std::memory_order_acquire); }

    BLock lock;
    std::unique_ptr<MidiDeviceDescriptor> descriptor;

private:
    std::atomic<void*> handle{nullptr};
    std::atomic<TMidiDeviceErrorListener*> errorListener{nullptr};
    std::atomic<std::uint32_t> failures{0};
    mutable std::mutex nameMutex;
    BString nameWhenOpened;
};

// An input port. The backend calls deliverShort / deliverLong from its driver thread; they drop
// Active Sensing and Timing Clock as configured and hand everything else to the data listener.
class TMidiInputBase : public TMidiDeviceBase
{
public:
    explicit TMidiInputBase(std::unique_ptr<MidiDeviceDescriptor> descriptor);

    // Milliseconds since start() (library clock).
    virtual std::int64_t now() const;

    // Begin / stop delivering data. Called by the manager after open / before close.
    virtual void start() = 0;
    virtual void stop() = 0;
    virtual bool isStarted() const = 0;

    virtual int getPassActiveSensing() const { return passActiveSensing.load(std::memory_order_relaxed); }
    virtual void setPassActiveSensing(int pass) { passActiveSensing.store(pass, std::memory_order_relaxed); }
    virtual int getPassClock() const { return passClock.load(std::memory_order_relaxed); }
    virtual void setPassClock(int pass) { passClock.store(pass, std::memory_order_relaxed); }
    // The receiver of the data; not owned. May be changed while data flows.
    virtual void setDataListener(TMidiDeviceDataListener* listener)
    {
        dataListener.store(listener, std::memory_order_release);
    }
    TMidiDeviceDataListener* getDataListener() const { return dataListener.load(std::memory_order_acquire); }

    // Messages and SysEx pieces delivered since the last open.
    std::uint32_t deliveredCount() const { return delivered.load(std::memory_order_relaxed); }

protected:
    // Resets the delivery state.
    void afterClose() override;

    // For backends, on the driver thread. A short message is given as its bytes (status
    // first); its length is taken from the status byte. Returns true when it was delivered.
    bool deliverShort(const unsigned char* bytes, std::int64_t timestamp);
    // One SysEx piece (or any block) as the driver filled it; always delivered.
    bool deliverLong(const unsigned char* data, int length, std::int64_t timestamp);
    // A driver event of raw bytes: the whole short messages at its start one by one; from the
    // first byte that starts none (SysEx, stray data bytes) on, the rest as long pieces of at
    // most kLongPieceSize bytes. With asLong the whole event goes as pieces.
    static constexpr int kLongPieceSize = MidiStatus::kSysExPieceBytes;
    void deliverBytes(const unsigned char* data, std::size_t size, bool asLong, std::int64_t timestamp);

    // Marks delivery started and sets the time origin of now().
    void markStarted(bool isRunning);

private:
    std::atomic<TMidiDeviceDataListener*> dataListener{nullptr};
    // A bare input object passes both; the manager hands its record's options on.
    std::atomic<int> passActiveSensing{1};
    std::atomic<int> passClock{1};
    std::atomic<int> running{0};
    std::atomic<std::uint32_t> delivered{0};
    std::atomic<std::uint32_t> startTime{0};
};

// Progress of TMidiOutputBase::sendLongInBlocks.
struct TMidiSendProgress
{
    // The listener sets 0 to abort.
    int proceed = 1;
    int sent = 0;
};

class TMidiOutputBase;

class TMidiSendProgressListener
{
public:
    virtual ~TMidiSendProgressListener() = default;
    virtual void progress(TMidiOutputBase* device, TMidiSendProgress& progress) = 0;
};

// An output port. Sending may happen on any thread (GUI thread, input driver threads for thru)
// concurrently; a backend must allow that. Sending on a closed device returns false.
class TMidiOutputBase : public TMidiDeviceBase
{
public:
    static constexpr int kBlockSize = MidiStatus::kSysExPieceBytes;
    static constexpr int kMaxBlocksInFlight = 10;

    explicit TMidiOutputBase(std::unique_ptr<MidiDeviceDescriptor> descriptor);

    // A short message packed as status | data1 << 8 | data2 << 16. True on success.
    virtual bool sendShort(std::uint32_t message) = 0;
    // The same from three values (each taken as 8 bits).
    virtual bool sendShortBytes(int status, int data1, int data2);
    // A block (SysEx) unchanged. True on success.
    virtual bool sendLong(const unsigned char* data, int length) = 0;
    // data in blocks of 1024 bytes through sendLong; with a listener, waits (calling it) while
    // more than 10 blocks are in flight and stops when it clears proceed. Returns the bytes sent.
    virtual int sendLongInBlocks(const unsigned char* data, int length, TMidiSendProgressListener* listener);
    // Long messages handed to the driver and not yet reported done.
    virtual int pendingLongCount() const { return 0; }

protected:
    // One piece of sendLongInBlocks; `first` tells the first piece of the message from the later
    // ones, which a backend that sends short blocks in short form must still send as long ones.
    virtual bool sendBlock(const unsigned char* data, int length, bool first);
};
