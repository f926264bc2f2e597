// FakeAlsaSequencer: a scripted stand-in for the ALSA sequencer behind the backend's seam
// (AlsaSystem). Tests add and remove other clients' ports, inject events from them and read what
// the program wrote to each destination.
//
// As the kernel does, the fake announces ports that come and go (ours too) and subscriptions that
// someone ends to the subscribers of the system client's announce port; a port's removal first
// ends its subscriptions, telling only our port at the other end, then announces its exit.
// Subscriptions made are not announced (the backend ignores those). Events for our client wait
// in a queue; its poll descriptor is readable while any wait. Input ports made with a timestamp
// queue get events stamped with their arrival time. The MIDI coder is the fake's own: it keeps
// running status while encoding and writes every status byte while decoding.
//
// One client of ours at a time (number kOurClient). Threads: every operation may be called from
// any thread.
#pragma once

#include "midi/alsa/AlsaSystem.h"

#include <atomic>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

class FakeAlsaSequencer : public AlsaSystem
{
public:
    static constexpr int kOurClient = 128;
    // A port others read from / write to / both.
    static constexpr unsigned kSource = AlsaSeq::kCapRead | AlsaSeq::kCapSubsRead;
    static constexpr unsigned kDestination = AlsaSeq::kCapWrite | AlsaSeq::kCapSubsWrite;
    static constexpr unsigned kDuplex = kSource | kDestination;

    // With the system client (0) and its Timer and Announce ports.
    FakeAlsaSequencer();
    ~FakeAlsaSequencer() override;
    FakeAlsaSequencer(const FakeAlsaSequencer&) = delete;
    FakeAlsaSequencer& operator=(const FakeAlsaSequencer&) = delete;

    // --- System set-up ---
    void addClient(int client, const std::string& name);
    void addPort(AlsaAddress address, const std::string& name, unsigned capability);
    void removePort(AlsaAddress address);
    // Another program ends every subscription of a port (announced); returns how many.
    int disconnectAll(AlsaAddress address);

    // --- The other side ---
    // One event with message (SysEx when it starts with F0) from a port to each of its
    // subscribers on our client; returns how many were reached. arrivalMs: the queue's time when
    // it arrived (what a port with a timestamp queue stamps it with); -1 for the time now.
    int inject(AlsaAddress from, const std::vector<unsigned char>& message, std::int64_t arrivalMs = -1);
    void setQueueTimeMs(std::int64_t ms) { queueMs.store(ms); }
    // The next n writes find the pool full (-EAGAIN).
    std::atomic<int> fullPoolWrites{0};

    // --- Observations ---
    // Each event our client wrote that reached dest, as MIDI bytes, in order.
    std::vector<std::vector<unsigned char>> writtenTo(AlsaAddress dest) const;
    bool isSubscribed(AlsaAddress sender, AlsaAddress dest) const;
    int codecsInUse() const { return codecs.load(); }

    // AlsaSystem
    int open(AlsaSeqHandle* seq) override;
    void close(AlsaSeqHandle seq) override;
    std::string errorText(int error) override;
    int setClientName(AlsaSeqHandle seq, const std::string& name) override;
    int setPools(AlsaSeqHandle, int, int) override { return 0; }
    int setBufferSizes(AlsaSeqHandle, std::size_t, std::size_t) override { return 0; }
    int clientId(AlsaSeqHandle) override { return kOurClient; }
    int nextClient(AlsaSeqHandle seq, AlsaClientInfo& info) override;
    int nextPort(AlsaSeqHandle seq, int client, AlsaPortInfo& info) override;
    int createSimplePort(AlsaSeqHandle seq, const std::string& name, unsigned capability, unsigned type) override;
    int createPort(AlsaSeqHandle seq, const AlsaPortSettings& settings) override;
    int deletePort(AlsaSeqHandle seq, int port) override;
    int connectFrom(AlsaSeqHandle seq, int ourPort, int client, int port) override;
    int connectTo(AlsaSeqHandle seq, int ourPort, int client, int port) override;
    int disconnectFrom(AlsaSeqHandle seq, int ourPort, int client, int port) override;
    int disconnectTo(AlsaSeqHandle seq, int ourPort, int client, int port) override;
    int getSubscription(AlsaSeqHandle seq, AlsaAddress sender, AlsaAddress dest) override;
    int allocNamedQueue(AlsaSeqHandle, const std::string&) override { return kQueue; }
    int startQueue(AlsaSeqHandle, int) override { return 0; }
    int queueRealTime(AlsaSeqHandle seq, int queue, std::uint32_t& seconds, std::uint32_t& nanoseconds) override;
    int pollDescriptorCount(AlsaSeqHandle) override { return 1; }
    int pollDescriptors(AlsaSeqHandle seq, pollfd* fds, unsigned space) override;
    int eventInput(AlsaSeqHandle seq, AlsaEvent& event) override;
    int eventOutputDirect(AlsaSeqHandle seq, const AlsaEvent& event) override;
    int drainOutput(AlsaSeqHandle) override { return 0; }
    int codecNew(std::size_t bufferBytes, AlsaCodecHandle* codec) override;
    void codecFree(AlsaCodecHandle codec) override;
    void codecNoStatus(AlsaCodecHandle, bool) override {}
    void codecResetEncode(AlsaCodecHandle codec) override;
    long encode(AlsaCodecHandle codec, const unsigned char* data, long size, AlsaEvent& event) override;
    long decode(AlsaCodecHandle codec, unsigned char* buf, long size, const AlsaEvent& event) override;

private:
    static constexpr int kQueue = 0;
    using Address = std::pair<int, int>;
    struct Port
    {
        std::string name;
        unsigned capability = 0;
        int timestampQueue = -1;
    };
    struct Client
    {
        std::string name;
        std::map<int, Port> ports;
    };
    // An event waiting for our client, with the bytes a SysEx event points into.
    struct Arrival
    {
        AlsaEvent event;
        std::vector<unsigned char> bytes;
    };

    // Under mutex.
    void queueEvent(Arrival arrival);
    // A notice of the system client to our port to; announce() sends one to each subscriber of
    // the announce port.
    void notify(Address to, int type, AlsaAddress subject, Address sender, Address dest);
    void announce(int type, AlsaAddress subject, Address sender = {}, Address dest = {});
    int subscribe(Address sender, Address dest);
    int unsubscribe(Address sender, Address dest);
    int addOwnPort(const AlsaPortSettings& settings);
    // portGone: the port is being deleted (else another program unsubscribes).
    int endSubscriptionsOf(Address address, bool portGone);
    void dropPort(Address address);

    mutable std::mutex mutex;
    std::map<int, Client> clients;
    std::set<std::pair<Address, Address>> subscriptions;
    std::deque<Arrival> arrivals;
    // What eventInput handed out last (its SysEx bytes stay valid until the next call).
    Arrival current;
    std::map<Address, std::vector<std::vector<unsigned char>>> written;
    bool clientOpen = false;
    int wakeFd = -1;
    std::atomic<std::int64_t> queueMs{0};
    std::atomic<int> codecs{0};
};
