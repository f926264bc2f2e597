// AlsaMidiInput: an input device over the ALSA sequencer. Opening creates a port of ours and
// subscribes it to the other client's port; closing unsubscribes and deletes it.
//
// Threads: open/close under the device lock (TMidiDeviceBase); alsaEvent on the sequencer's
// reader thread, where SysEx is handed to the manager in pieces of at most 1024 bytes.
// Closing returns only after the reader has stopped delivering to this object.
#pragma once

#include "midi/TMidiSessionInput.h"
#include "midi/alsa/AlsaEventSink.h"

#include <memory>

class AlsaSequencer;

class AlsaMidiInput : public TMidiSessionInput, public AlsaEventSink
{
public:
    AlsaMidiInput(std::shared_ptr<AlsaSequencer> sequencer, std::unique_ptr<MidiDeviceDescriptor> d);
    ~AlsaMidiInput() override;

    // Closes the device when its source went away or our connection to it was taken down.
    void poll() override;

    void alsaEvent(const unsigned char* data, std::size_t size, bool sysEx, std::int64_t timeMs) override;

protected:
    void open() override;
    void close(void* backendHandle) override;
    std::int64_t sessionNowMs() const override;

private:
    const std::shared_ptr<AlsaSequencer> sequencer;
};
