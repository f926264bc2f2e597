// JackMidiInput: an input device over JACK. Opening registers a port of ours and connects the
// other client's output to it (for one of our own ports: connects nothing, others do); closing
// disconnects and unregisters.
//
// Threads: open/close under the device lock (TMidiDeviceBase); jackEvent on JACK's process
// thread, where it cuts SysEx into pieces of at most 1024 bytes and hands everything to the
// manager without allocating or locking. Closing returns only after the process callback has
// stopped using the port, so no delivery reaches a closed or deleted object.
#pragma once

#include "midi/TMidiSessionInput.h"
#include "midi/jack/JackEventSink.h"

#include <memory>

class JackSession;

class JackMidiInput : public TMidiSessionInput, public JackEventSink
{
public:
    JackMidiInput(std::shared_ptr<JackSession> session, std::unique_ptr<MidiDeviceDescriptor> d);
    ~JackMidiInput() override;

    // Closes the device when its source went away or the server restarted.
    void poll() override;

    void jackEvent(const unsigned char* data, std::size_t size, std::int64_t timeMs) override;

protected:
    void open() override;
    void close(void* backendHandle) override;
    std::int64_t sessionNowMs() const override;

private:
    const std::shared_ptr<JackSession> session;
};
