// JackMidiOutput: an output device over JACK. Opening registers a port of ours and connects it
// to the other client's input; closing disconnects and unregisters.
//
// Threads: sends may come from any thread at once (see JackSession::send): from the process
// thread (thru) they land in the running cycle, from elsewhere they pass the port's ring buffer.
// A message that does not fit is dropped and counted, and the send returns false.
#pragma once

#include "midi/TMidiSessionOutput.h"

#include <atomic>
#include <memory>

class JackSession;

class JackMidiOutput : public TMidiSessionOutput
{
public:
    JackMidiOutput(std::shared_ptr<JackSession> session, std::unique_ptr<MidiDeviceDescriptor> d);
    ~JackMidiOutput() override;

    // Messages queued for the next cycles and not yet written.
    int pendingLongCount() const override;
    // Closes the device when its destination went away or the server restarted.
    void poll() override;

protected:
    void open() override;
    void close(void* backendHandle) override;
    bool sessionSend(std::uint64_t sendToken, const unsigned char* data, int length) override;

private:
    const std::shared_ptr<JackSession> session;
};
