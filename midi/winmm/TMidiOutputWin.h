// TMidiOutputWin: one WinMM output port (index 0 is the MIDI Mapper). Short messages go out
// directly; anything longer, in a header of its own that the driver's completion frees. Sending
// never waits for completion.
//
// Failures: sending never throws (a thru send runs inside an input driver's callback); a failed
// send returns false and is counted, and the first since the open goes to the error listener.
//
// Threads: sending may happen on several threads at once (GUI thread, input driver threads for
// thru); the completion callback runs on the driver's thread. headersLock guards `headers` and
// every header's slot; the slot values -1 / -2 settle a completion that arrives before the
// sender registered its header (whichever side comes second frees it).
// Ownership: headers are owned here while registered, and are freed only after the driver gave
// them back (completion with a successful unprepare).
#pragma once

#include "base/BLock.h"
#include "midi/TMidiDeviceBase.h"
#include "midi/winmm/TMidiHdrBase.h"

#include <atomic>
#include <memory>
#include <vector>

class TMidiOutputWin : public TMidiOutputBase
{
public:
    // How long close waits for the driver to report the long messages done after the reset.
    static constexpr int kDoneTimeoutMs = 2000;

    explicit TMidiOutputWin(std::unique_ptr<MidiDeviceDescriptor> descriptor);
    ~TMidiOutputWin() override;

    bool sendShort(std::uint32_t message) override;
    bool sendLong(const unsigned char* data, int length) override;
    int pendingLongCount() const override { return pendingLong.load(std::memory_order_acquire); }
    void poll() override;

    // Headers still registered (in flight); for tests and diagnostics.
    int headersInFlight() const;
    // Headers that the driver never gave back and that were therefore left allocated.
    int abandonedHeaderCount() const { return abandoned.load(); }

protected:
    void open() override;
    void close(void* backendHandle) override;

private:
    static void callback(WinMidiHandle handle, unsigned message, void* instance, std::uintptr_t param1,
                         std::uintptr_t param2);
    void onDone(WinMidiHandle handle, TMidiOutHdr* header);
    bool sendAsLong(const unsigned char* data, int length);
    // A send failed while the port is open: counted, and the first since the open is told to
    // the error listener. Closing or closed ports fail quietly (the close is not an error).
    // The text is the result's, or reason when given.
    void sendFailed(unsigned result, const char* reason = nullptr) noexcept;
    // Every piece of sendLongInBlocks after the first leaves as a long message: a tail of 1 to 3
    // bytes sent as a short message would corrupt the SysEx on the wire.
    bool sendBlock(const unsigned char* data, int length, bool first) override;
    void releaseLeftOverHeaders();

    std::atomic<int> pendingLong{0};
    std::atomic<bool> closing{false};
    std::atomic<int> abandoned{0};
    mutable BLock headersLock;
    // Freed entries are null and reused.
    std::vector<TMidiOutHdr*> headers;
    // Headers the driver never reported done, kept until it has closed the port.
    std::vector<std::unique_ptr<TMidiOutHdr>> parked;
};
