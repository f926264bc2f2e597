// AlsaMidiOutput: an output device over the ALSA sequencer. Opening creates a port of ours and
// subscribes the other client's port to it; closing unsubscribes and deletes it.
//
// Threads: sends may come from any thread at once, real-time ones too (see AlsaSequencer::send):
// a send only queues the message for the sequencer's sender thread, without locking, allocating
// or waiting, and is false when the queue has no room. A message of up to 512 KiB is accepted:
// SysEx goes out in pieces the receiver's pool can take, the sender thread waiting for room
// while the receiver reads. Closing writes what was queued first.
#pragma once

#include "midi/TMidiSessionOutput.h"

#include <atomic>
#include <memory>

class AlsaSequencer;

class AlsaMidiOutput : public TMidiSessionOutput
{
public:
    AlsaMidiOutput(std::shared_ptr<AlsaSequencer> sequencer, std::unique_ptr<MidiDeviceDescriptor> d);
    ~AlsaMidiOutput() override;

    // Messages queued for the sequencer's outputs and not yet written.
    int pendingLongCount() const override;
    // Closes the device when its destination went away or our connection to it was taken down.
    void poll() override;

protected:
    void open() override;
    void close(void* backendHandle) override;
    bool sessionSend(std::uint64_t sendToken, const unsigned char* data, int length) override;

private:
    const std::shared_ptr<AlsaSequencer> sequencer;
};
