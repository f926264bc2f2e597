// TMidiHdrBase, TMidiInHdr, TMidiOutHdr: a WinMM buffer header bound to a heap buffer of its
// own. header.user points back at the object, so a driver callback finds it.
//
// Ownership: the device object that made a header owns it, but must not free it while the
// driver holds it (between queue and its return / a successful unprepare). Not synchronised:
// the device's own rules say who touches a header when.
#pragma once

#include "midi/winmm/WinMMSystem.h"

#include <atomic>
#include <memory>

class TMidiHdrBase
{
public:
    explicit TMidiHdrBase(int size);
    virtual ~TMidiHdrBase() = default;

    TMidiHdrBase(const TMidiHdrBase&) = delete;
    TMidiHdrBase& operator=(const TMidiHdrBase&) = delete;

    // Prepares the header if needed and hands it to the driver. Raises EMidiError.
    virtual void queue(WinMidiHandle handle) = 0;
    // Takes the header back from the driver; the WinMM result (kStillPlaying while it holds it).
    virtual unsigned unprepare(WinMidiHandle handle) = 0;

    static TMidiHdrBase* fromHeader(const WinMidiHeader* header)
    {
        return header == nullptr ? nullptr : static_cast<TMidiHdrBase*>(header->user);
    }

    WinMidiHeader header;

private:
    std::unique_ptr<unsigned char[]> buffer;
};

class TMidiInHdr : public TMidiHdrBase
{
public:
    using TMidiHdrBase::TMidiHdrBase;

    void queue(WinMidiHandle handle) override;
    unsigned unprepare(WinMidiHandle handle) override;

    // True from queue until the driver returned the buffer (set by the input's callback).
    std::atomic<bool> atDriver{false};

private:
    bool prepared = false;
};

class TMidiOutHdr : public TMidiHdrBase
{
public:
    // Not yet registered in the output's list.
    static constexpr int kUnregistered = -1;
    // The driver finished it before the sender registered it: the sender frees it.
    static constexpr int kFinishedEarly = -2;
    // Left by a close that the driver did not answer in time: freed once the port is closed.
    static constexpr int kAbandoned = -3;

    using TMidiHdrBase::TMidiHdrBase;

    void queue(WinMidiHandle handle) override;
    unsigned unprepare(WinMidiHandle handle) override;

    // Position in the output's header list; guarded by the output's headersLock.
    int slot = kUnregistered;
};
