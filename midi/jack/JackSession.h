// JackSession: the one JACK client of the process and its real-time side.
//
// The client is opened on demand (connect(), called by every scan), on the server that libjack's
// usual rule picks, and never starts a server. Our ports live in fixed slot tables, so the
// process callback walks them without a lock: a slot is published with an atomic flag and a
// token that changes with every open. Each output slot owns a ring buffer (allocated once and
// kept) that carries sends from threads other than the process thread; a send made on the
// process thread while it delivers input (thru) is written into the output port's buffer of the
// running cycle. The process callback allocates nothing, takes no lock and never blocks; a full
// buffer is a counted drop.
//
// Threads and locks: control operations (connect, open, close, listing) take controlMutex. Sends
// from non-process threads take the slot's writer mutex (the ring has one writer at a time). The
// process callback and the server's notification thread take nothing; notifications reach the
// Observer on JACK's notification thread. When the server goes away the session counts as
// disconnected; the next connect() closes the dead client and tries again.
//
// Ownership: shared (std::shared_ptr) by the factory and its device objects, so a device that
// outlives the factory still closes safely.
//
// The server is reached through JackSystem: the one installed when the session is made.
#pragma once

#include "midi/DetachableObserver.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class JackEventSink;
class JackSystem;

class JackSession
{
public:
    static constexpr int kMaxPorts = 64;
    static constexpr std::size_t kRingBytes = 1 << 16;

    // Told about changes of the server's port set and about the server going away, on JACK's
    // notification thread. Must not block.
    class Observer
    {
    public:
        virtual ~Observer() = default;
        virtual void jackPortsChanged() = 0;
        virtual void jackServerGone() = 0;
    };

    struct PortInfo
    {
        std::string name;       // "client:port"
        std::string prettyName; // the port's first alias, if any
    };

    // Counters for diagnostics, tests and measurements.
    struct Stats
    {
        std::uint64_t cycles = 0;
        std::uint64_t eventsIn = 0;
        std::uint64_t eventsOut = 0;
        std::uint64_t drops = 0;
        std::uint64_t processNanoseconds = 0;
    };

    // clientName is the name asked for; the server may add a suffix. observer is not owned.
    JackSession(std::string clientName, Observer* observer);
    ~JackSession();

    JackSession(const JackSession&) = delete;
    JackSession& operator=(const JackSession&) = delete;

    // Opens the client if there is none (or the server went away since). True when connected.
    // Writes one line on stderr when no server can be reached, once per disconnected period.
    bool connect();
    bool isConnected() const;
    // Incremented each time a client is opened; device objects compare it to notice a restart.
    int generation() const { return clientGeneration.load(); }

    // MIDI ports of other clients: sources (their outputs) or destinations (their inputs).
    std::vector<PortInfo> listPorts(bool sources);
    // True when a port of that full name exists on the current server.
    bool portExists(const std::string& fullName);

    // Registers a port of ours and connects source to it; deliveries go to sink (not owned) on
    // the process thread. Returns a token (0 on failure).
    std::uint64_t openInput(const std::string& source, JackEventSink* sink);
    // Registers a port of ours and connects it to destination. Returns a token (0 on failure).
    std::uint64_t openOutput(const std::string& destination);
    // Registers a port of ours named ownName ("client:ownName" for others) and connects it to
    // nothing: others connect to it. Input deliveries go to sink as above. 0 on failure (a port
    // of that name exists already, or no server).
    std::uint64_t openOwnInput(const std::string& ownName, JackEventSink* sink);
    std::uint64_t openOwnOutput(const std::string& ownName);
    // Disconnects and unregisters; returns once the process callback no longer uses the port
    // (for an input: no delivery to its sink is under way or will come). An output's buffer is
    // cleared in every cycle until it is disconnected, so that nothing goes out twice.
    void close(std::uint64_t token);
    // False when the port of token is gone (server restarted or the other side unregistered).
    // An own port (empty peer) lives as long as the client that registered it.
    bool isLive(std::uint64_t token, const std::string& peer);

    // Any thread. On the process thread during delivery: into this cycle's buffer; elsewhere:
    // through the ring for the next cycle. False (and a counted drop) when it does not fit.
    bool send(std::uint64_t token, const unsigned char* data, int length);
    // Messages queued in the ring of that output and not yet written to a cycle.
    int pending(std::uint64_t token) const;

    // Milliseconds of the server's frame clock (for timestamps); 0 when disconnected.
    std::int64_t nowMs() const;
    std::string clientName() const;
    // No more Observer calls after this returns: it waits for one under way. Not from inside
    // an Observer call.
    void detachObserver() { observer.detach(); }
    Stats stats() const;

    // For the client's callbacks (see the source file).
    struct Slot;
    struct Client;
    struct Counters;
    std::vector<std::unique_ptr<Slot>>& slotsForProcess() { return slots; }
    Counters& countersForProcess() { return *counters; }
    void notifyPortsChanged();
    void notifyServerGone();

private:
    Slot* slotFor(std::uint64_t token) const;
    // An empty peer registers an own port named ownName and connects nothing.
    std::uint64_t openPort(bool isInput, const std::string& peer, const std::string& ownName, JackEventSink* sink);
    // Waits until the cycle under way (count 1) and count - 1 more have ended; gives up after 5 s
    // or when the server goes away. Control threads, under controlMutex.
    void waitForCycles(int count);
    void disconnectLocked();
    // Closing an output: disconnects its port and waits until the running graph has no
    // connection of it left. Under controlMutex, with the port still cleared every cycle.
    void disconnectOutput(Slot& slot);

    JackSystem& system;
    const std::string requestedName;
    DetachableObserver<Observer> observer;
    mutable std::mutex controlMutex;
    std::unique_ptr<Client> client;
    std::vector<std::unique_ptr<Slot>> slots;
    const std::unique_ptr<Counters> counters;
    std::atomic<int> clientGeneration{0};
    std::atomic<std::uint64_t> nextToken{1};
    std::atomic<std::uint64_t> nextPortNumber{1};
    bool reportedMissingServer = false;
};
