// AlsaSequencer: the one sequencer client of the process and the thread that reads it.
//
// The client is opened on demand (connect(), called by every scan), named as asked, with pools
// and buffers large enough for SysEx pieces. It owns a hidden port subscribed to the system's
// announce port, so that clients and ports coming, going or changing reach the Observer, and a
// queue that stamps the events arriving at our input ports with their time.
//
// Opening a device creates a port of ours for it and subscribes it to (input) or from (output)
// the other client's port; closing unsubscribes and deletes that port. Our ports carry no
// subscription rights for others: they exist for the one connection we make, so no one else
// lists them or attaches to them. The exception are the program's own ports (openOwnInput,
// openOwnOutput): they carry the subscription rights, we connect them to nothing, and others
// subscribe to them; they are still never listed by us.
//
// Sending: send() only copies the message into a lock-free queue (BMessageQueue) and wakes the
// sender thread, so that any thread may send, a real-time one too (thru from a JACK input): it
// takes no lock, allocates nothing and never waits. A message that does not fit is dropped,
// counted, and reported once on stderr by the sender thread. The sender thread writes the
// messages in order; there a full pool or receiver is waited out (the receiver reads meanwhile)
// up to kSendPatienceMs without progress, and a failure is counted (sendFailures).
//
// Threads and locks: control operations (connect, listing, open, close) take controlMutex.
// Writing to the client takes writeMutex for one event at a time (the library's write buffer is
// shared by the whole client). The reader thread delivers to the
// sinks while holding the delivering port's delivery mutex, which close takes to wait for a
// delivery under way. Observer calls come from the reader thread and must not block.
//
// Without a sequencer (no /dev/snd/seq), or when the system refuses the reader's wake-up
// descriptor (eventfd), connect fails and writes one line on stderr, once.
//
// Ownership: shared (std::shared_ptr) by the factory and its device objects, so a device that
// outlives the factory still closes safely.
#pragma once

#include "midi/DetachableObserver.h"
#include "base/BMessageQueue.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class AlsaEventSink;
class AlsaSystem;
struct AlsaEvent;

class AlsaSequencer
{
public:
    static constexpr int kSendPatienceMs = 2000;
    static constexpr int kPoolCells = 2000;
    static constexpr std::size_t kBufferBytes = 1 << 16;
    // The send queue: 2048 cells of 256 bytes (512 KiB, a message of at most that size).
    static constexpr int kSendQueueCells = 2048;
    static constexpr int kSendQueueCellBytes = 256;

    // Told, on the reader thread, that the sequencer's client or port set changed.
    class Observer
    {
    public:
        virtual ~Observer() = default;
        virtual void alsaPortsChanged() = 0;
    };

    struct PortInfo
    {
        int client = 0;
        int port = 0;
        std::string name; // "client name:port name"
    };

    struct Stats
    {
        std::uint64_t eventsIn = 0;
        std::uint64_t eventsOut = 0;
        std::uint64_t announcements = 0;
        std::uint64_t overruns = 0;
        std::uint64_t sendFailures = 0;
        // Messages refused because the send queue was full.
        std::uint64_t sendDrops = 0;
    };

    // clientName is the sequencer client's name. observer is not owned (see detachObserver). The
    // sequencer reaches libasound through the AlsaSystem installed now, for its whole life.
    AlsaSequencer(std::string clientName, Observer* observer);
    ~AlsaSequencer();

    AlsaSequencer(const AlsaSequencer&) = delete;
    AlsaSequencer& operator=(const AlsaSequencer&) = delete;

    // Opens the client if there is none. True when open.
    bool connect();
    bool isConnected() const;
    // Our client number; -1 when not connected.
    int clientId() const;

    // Ports of other clients (never ours, never the system's): those we can read from (sources)
    // or write to, by client and port number.
    std::vector<PortInfo> listPorts(bool sources);

    // Creates a port of ours and subscribes it from/to the other port. Deliveries go to sink (not
    // owned) on the reader thread. A token, 0 on failure.
    std::uint64_t openInput(int client, int port, AlsaEventSink* sink);
    std::uint64_t openOutput(int client, int port);
    // Creates a port of ours named portName that others subscribe to (input: write and
    // subscribe-write rights; output: read and subscribe-read) and subscribes it to nothing.
    // Deliveries as above; what an own output sends goes to its subscribers. 0 on failure.
    std::uint64_t openOwnInput(const std::string& portName, AlsaEventSink* sink);
    std::uint64_t openOwnOutput(const std::string& portName);
    // Unsubscribes and deletes our port; returns once no delivery to its sink is under way. For
    // an output, what was queued for it before is written first (giving up after a while).
    void close(std::uint64_t token);
    // False when the other port of token went away or its connection was taken down.
    bool isLive(std::uint64_t token) const;

    // Any thread, real-time ones too. Queues data (see AlsaMidiSegments for how it goes out) for
    // our port of token. False when not connected or the queue has no room for it (a counted
    // drop); the writing itself happens on the sender thread.
    bool send(std::uint64_t token, const unsigned char* data, std::size_t size);
    // Messages queued and not yet written (of all our outputs).
    int pendingSends() const;

    // Milliseconds of our queue's clock (the time base of the sinks' timestamps).
    std::int64_t nowMs() const;
    // No more Observer calls after this returns: it waits for one under way. Not from inside
    // an Observer call.
    void detachObserver() { observer.detach(); }
    Stats stats() const;

    // Defined in the source file.
    struct Client;
    struct Slot;

private:
    std::shared_ptr<Slot> slotFor(std::uint64_t token) const;
    std::shared_ptr<Slot> slotForPort(int ourPort) const;
    // peerClient -1: an own port named ownName, subscribed to nothing.
    std::uint64_t openPort(bool isInput, int peerClient, int peerPort, const std::string& ownName,
                           AlsaEventSink* sink);
    bool writeEvent(const AlsaEvent& event);
    // The sender thread's writing of one message (locks, may wait for the receiver).
    bool sendNow(std::uint64_t token, const unsigned char* data, std::size_t size);
    void senderLoop();
    void stopSender();
    void readerLoop();
    void dispatch(const AlsaEvent& event);
    void announced(const AlsaEvent& event);
    void stopReader();

    const std::string name;
    AlsaSystem& system;
    DetachableObserver<Observer> observer;
    mutable std::mutex controlMutex;
    std::mutex writeMutex;
    mutable std::mutex slotsMutex;
    std::unique_ptr<Client> client;
    // The open client for the send and delivery paths, which must not wait for a scan holding
    // controlMutex. Set once connected; the client lives until the destructor.
    std::atomic<Client*> live{nullptr};
    std::map<int, std::shared_ptr<Slot>> slots; // by our port number
    std::thread reader;
    struct SenderWake;
    const std::unique_ptr<SenderWake> senderWake;
    BMessageQueue sendQueue{kSendQueueCells, kSendQueueCellBytes};
    std::thread sender;
    std::atomic<bool> senderStopping{false};
    // Cell position of the queue up to which the sender has written (or given up on) everything.
    std::atomic<std::uint64_t> sentThrough{0};
    std::atomic<std::uint64_t> accepted{0};
    std::atomic<std::uint64_t> written{0};
    std::atomic<std::uint64_t> sendDrops{0};
    int wakeFd = -1;
    std::atomic<bool> stopping{false};
    std::atomic<std::uint64_t> nextToken{1};
    std::atomic<std::uint64_t> eventsIn{0};
    std::atomic<std::uint64_t> eventsOut{0};
    std::atomic<std::uint64_t> announcements{0};
    std::atomic<std::uint64_t> overruns{0};
    std::atomic<std::uint64_t> sendFailures{0};
    bool reportedMissing = false;
    bool reportedNoWake = false;
};
