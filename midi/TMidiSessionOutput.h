// TMidiSessionOutput: what the outputs of the Linux backends (JACK, the ALSA sequencer) share.
// Each opens its port through the backend's one client session, which hands back a token, and
// sends through the session by that token.
//
// Here: the token, and both kinds of send turned into the bytes of one message (a short message
// takes as many bytes as its status says). A backend supplies open and close (through openedAs /
// releaseToken) and the session's send.
//
// Threads: sends from any thread at once (the GUI, an input's delivery thread doing thru), as the
// session's send allows; open and close on control threads under the device lock.
#pragma once

#include "midi/TMidiDeviceBase.h"

#include <atomic>
#include <cstdint>
#include <memory>

class TMidiSessionOutput : public TMidiOutputBase
{
public:
    bool sendShort(std::uint32_t message) override;
    bool sendLong(const unsigned char* data, int length) override;

protected:
    explicit TMidiSessionOutput(std::unique_ptr<MidiDeviceDescriptor> d);

    // The session's send of one message (length > 0) to the port of that token.
    virtual bool sessionSend(std::uint64_t sendToken, const unsigned char* data, int length) = 0;

    // From open(): the session's token for the opened port (0: the open failed, the device
    // stays closed).
    void openedAs(std::uint64_t openedToken);
    // From close(): the token for the session's close.
    std::uint64_t releaseToken() { return token.exchange(0); }
    std::uint64_t currentToken() const { return token.load(std::memory_order_acquire); }

private:
    std::atomic<std::uint64_t> token{0};
};
