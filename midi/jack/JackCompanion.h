// JackCompanion: another JACK client with MIDI ports of its own, playing the other side of our
// backend in tests and measurements (a keyboard, a synthesizer, a patchbay). Not part of the
// program.
//
// Threads: every operation may be called from any thread. The companion's process callback
// sends what was queued and records what arrives; it shares one mutex with the operations here,
// which never hold it across a JACK call (unlike our backend, a test client may wait briefly).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class JackCompanion
{
public:
    struct Event
    {
        std::vector<unsigned char> bytes;
        // Absolute frame (cycle start + offset) and the cycle's start frame.
        std::uint32_t frame = 0;
        std::uint32_t cycleStart = 0;
    };

    // Null when no server can be reached (never starts one).
    static std::unique_ptr<JackCompanion> open(const std::string& name);
    ~JackCompanion();

    JackCompanion(const JackCompanion&) = delete;
    JackCompanion& operator=(const JackCompanion&) = delete;

    // The client's name on the server.
    std::string name() const;
    // "client:port" of one of our ports.
    std::string fullName(const std::string& port) const;

    bool addPort(const std::string& port, bool isOutput);
    // An output is disconnected and cleared for a cycle before it goes: JACK would otherwise read
    // its last events again from the buffer nobody clears any more. Waits a few cycles at most.
    bool removePort(const std::string& port);
    bool connect(const std::string& source, const std::string& destination);
    // Connections of one of our ports; -1 when there is no such port.
    int connectionCount(const std::string& port) const;
    // Breaks every connection of one of our ports, as a driver that drops its clients would.
    bool disconnectAll(const std::string& port);

    // Queues one event for an output port; sent at the start of a following cycle.
    bool send(const std::string& port, const std::vector<unsigned char>& bytes);
    // Queued events not yet sent.
    std::size_t pendingSends() const;
    std::vector<Event> sent(const std::string& port) const;
    std::vector<Event> received(const std::string& port) const;
    std::size_t receivedCount(const std::string& port) const;
    void clearRecords();
    // Returns once `count` more process cycles have run, or false after timeoutMs.
    bool waitForCycles(int count, int timeoutMs) const;
    std::uint32_t sampleRate() const;

    struct State;

private:
    JackCompanion();
    std::unique_ptr<State> state;
};
