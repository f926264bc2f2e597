// AlsaMidiInput: an input device over the ALSA sequencer. Opening creates a port of ours and
// subscribes it to the other client's port; closing unsubscribes and deletes it.
//
// Threads: open/close under the device lock (TMidiDeviceBase); alsaEvent on the sequencer's
// reader thread, where SysEx is handed to the manager in pieces of at most 1024 bytes.
// Closing returns only after the reader has stopped delivering to this object.
#pragma once

#include "midi/TMidiDeviceBase.h"
#include "midi/alsa/AlsaEventSink.h"

#include <atomic>
#include <memory>

class AlsaSequencer;

class AlsaMidiInput : public TMidiInputBase, public AlsaEventSink
{
public:
    AlsaMidiInput(std::shared_ptr<AlsaSequencer> sequencer, std::unique_ptr<MidiDeviceDescriptor> d);
    ~AlsaMidiInput() override;

    void start() override;
    void stop() override;
    bool isStarted() const override { return started.load() != 0; }
    // Closes the device when its source went away or our connection to it was taken down.
    void poll() override;

    void alsaEvent(const unsigned char* data, std::size_t size, bool sysEx, std::int64_t timeMs) override;

protected:
    void open() override;
    void close(void* backendHandle) override;

private:
    const std::shared_ptr<AlsaSequencer> sequencer;
    std::atomic<std::uint64_t> token{0};
    // The run number of the current start (counted by runs), 0 while stopped.
    std::atomic<int> started{0};
    std::atomic<int> runs{0};
    std::atomic<std::int64_t> originMs{0};
    // Reader thread only: the run it last delivered for, and the timestamp floor within that run.
    int deliveryRun = 0;
    std::int64_t lastTimestamp = 0;
};
