// TMidiSessionInput: what the inputs of the Linux backends (JACK, the ALSA sequencer) share. Each
// opens its port through the backend's one client session, which hands back a token, and gets
// its events on the session's delivery thread (JACK's process thread, the sequencer's reader).
//
// Here: the token, starting and stopping (each start is a new run whose timestamps begin at 0),
// and the delivery of one event with its timestamp, never running backwards within a run. A
// backend supplies open and close (through openedAs / releaseToken) and its clock.
//
// Threads: start, stop, open and close on control threads under the device lock; deliverEvent on
// the session's delivery thread, without locking or allocating. The session's close must return
// only once no delivery to this input is under way (and none can start), so that the input may be
// destroyed right after it.
#pragma once

#include "midi/TMidiDeviceBase.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

class TMidiSessionInput : public TMidiInputBase
{
public:
    void start() override;
    void stop() override;
    bool isStarted() const override { return started.load() != 0; }

protected:
    explicit TMidiSessionInput(std::unique_ptr<MidiDeviceDescriptor> d);

    // The backend's clock, in milliseconds.
    virtual std::int64_t sessionNowMs() const = 0;

    // From open(): the session's token for the opened port (0: the open failed, the device
    // stays closed).
    void openedAs(std::uint64_t openedToken);
    // From close(): stops deliveries and gives the token back for the session's close.
    std::uint64_t releaseToken();
    std::uint64_t currentToken() const { return token.load(); }

    // Delivery thread: one event of the session at its time on the backend's clock; asLong
    // hands the bytes on as System Exclusive pieces, else as the short messages they hold.
    void deliverEvent(const unsigned char* data, std::size_t size, bool asLong, std::int64_t timeMs);

private:
    std::atomic<std::uint64_t> token{0};
    // The run number of the current start (counted by runs), 0 while stopped.
    std::atomic<int> started{0};
    std::atomic<int> runs{0};
    std::atomic<std::int64_t> originMs{0};
    // Delivery thread only: the run it last delivered for, and the timestamp floor within it.
    int deliveryRun = 0;
    std::int64_t lastTimestamp = 0;
};
