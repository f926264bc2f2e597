// TMidiInputWin: one WinMM input port. Short messages and filled SysEx buffers go straight from
// the driver's callback thread to the data listener; a pool of 16 buffers of 1024 bytes stays
// queued at the driver, each handed back right after its delivery (SysEx longer than a buffer
// arrives in pieces).
//
// Threads: open/close/start/stop run on a control thread under the device lock (generic
// open/close). The callback runs on the driver's thread and reads only atomics; while `closing`
// is set it neither delivers nor re-queues, so the control thread alone touches the buffers.
// Failures: no exception leaves the callback; one from the data listener is counted and the
// first since the open goes to the error listener.
// Ownership: the buffers are owned here and are freed only once the driver gave them back.
#pragma once

#include "midi/TMidiDeviceBase.h"
#include "midi/winmm/TMidiHdrBase.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <vector>

class TMidiInputWin : public TMidiInputBase
{
public:
    static constexpr int kBufferSize = 1024;
    static constexpr int kBufferCount = 16;
    // How long close waits for the driver to return its buffers after the reset.
    static constexpr int kReturnTimeoutMs = 2000;

    explicit TMidiInputWin(std::unique_ptr<MidiDeviceDescriptor> descriptor);
    ~TMidiInputWin() override;

    void start() override;
    void stop() override;
    bool isStarted() const override { return started.load(std::memory_order_acquire); }
    // Closes the device when the driver closed the port by itself.
    void poll() override;

    // Buffers that close could not take back from the driver and therefore left allocated.
    int abandonedBufferCount() const { return abandoned; }

protected:
    void open() override;
    void close(void* backendHandle) override;

private:
    static void callback(WinMidiHandle handle, unsigned message, void* instance, std::uintptr_t param1,
                         std::uintptr_t param2);
    void onDriverMessage(WinMidiHandle handle, unsigned message, std::uintptr_t param1, std::uintptr_t param2);
    // Runs one delivery. What the listener behind it throws (a thru send, the application)
    // stops here: it must not leave the driver's callback, and the buffer must go back.
    template <typename Deliver>
    void deliverGuarded(Deliver&& deliver) noexcept;
    // Counts a lost delivery; the first since the open is told to the error listener.
    void deliveryFailed(const char* reason) noexcept;
    void bufferReturned(TMidiInHdr* header);
    bool waitForBuffers();
    void releaseBuffers(WinMidiHandle handle);
    void closeHandle(WinMidiHandle handle);

    std::atomic<bool> started{false};
    std::atomic<bool> closing{false};
    std::vector<std::unique_ptr<TMidiInHdr>> buffers;
    // Buffers the driver would not give back, kept until it has closed the port.
    std::vector<std::unique_ptr<TMidiInHdr>> parked;
    int abandoned = 0;

    // Wakes close when the driver returns a buffer.
    std::mutex returnMutex;
    std::condition_variable returnSignal;
};
