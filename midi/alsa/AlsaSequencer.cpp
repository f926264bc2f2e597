#include "midi/alsa/AlsaSequencer.h"

#include "midi/alsa/AlsaEventSink.h"
#include "midi/alsa/AlsaMidiSegments.h"
#include "midi/alsa/AlsaSystem.h"

#include <poll.h>
#include <semaphore.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace
{
constexpr int kDecodeBytes = 64;

std::string portAddress(int client, int port)
{
    return std::to_string(client) + ":" + std::to_string(port);
}
} // namespace

struct AlsaSequencer::Client
{
    AlsaSystem& system;
    AlsaSeqHandle seq = nullptr;
    int id = -1;
    int announcePort = -1;
    int queue = -1;

    explicit Client(AlsaSystem& system_) : system(system_) {}
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;
    ~Client()
    {
        if (seq != nullptr)
            system.close(seq);
    }
};

struct AlsaSequencer::Slot
{
    AlsaSystem& system;
    std::uint64_t token = 0;
    bool isInput = false;
    int ourPort = -1;
    int peerClient = -1;
    int peerPort = -1;
    AlsaEventSink* sink = nullptr;
    // Input: the decoder (reader thread only). Output: the encoder (sender thread only).
    AlsaCodecHandle codec = nullptr;
    // Input: held by the reader while it delivers; close takes it to wait for that.
    std::mutex deliveryMutex;
    std::atomic<bool> closed{false};
    // The other port went away or our connection to it was taken down.
    std::atomic<bool> dead{false};

    explicit Slot(AlsaSystem& system_) : system(system_) {}
    Slot(const Slot&) = delete;
    Slot& operator=(const Slot&) = delete;
    ~Slot()
    {
        if (codec != nullptr)
            system.codecFree(codec);
    }
};

// Wakes the sender thread: sem_post neither locks nor waits, so any thread may post.
struct AlsaSequencer::SenderWake
{
    sem_t semaphore;
    SenderWake() { sem_init(&semaphore, 0, 0); }
    ~SenderWake() { sem_destroy(&semaphore); }
    SenderWake(const SenderWake&) = delete;
    SenderWake& operator=(const SenderWake&) = delete;
    void post() { sem_post(&semaphore); }
    void wait()
    {
        while (sem_wait(&semaphore) != 0 && errno == EINTR)
        {
        }
    }
};

AlsaSequencer::AlsaSequencer(std::string clientName, Observer* observer_)
    : name(std::move(clientName)), system(AlsaSystem::get()), observer(observer_),
      senderWake(std::make_unique<SenderWake>())
{
}

AlsaSequencer::~AlsaSequencer()
{
    stopSender();
    stopReader();
    std::lock_guard<std::mutex> guard(controlMutex);
    if (client)
    {
        std::lock_guard<std::mutex> slotsGuard(slotsMutex);
        for (auto& entry : slots)
            system.deletePort(client->seq, entry.first);
        slots.clear();
    }
    live.store(nullptr);
    client.reset();
    if (wakeFd >= 0)
        ::close(wakeFd);
}

bool AlsaSequencer::connect()
{
    std::lock_guard<std::mutex> guard(controlMutex);
    if (client)
        return true;
    // The reader sleeps in poll() until this descriptor wakes it to end: without one, ending the
    // sequencer would wait for ever. Made first, so that a refusal leaves nothing to undo.
    if (wakeFd < 0)
        wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0)
    {
        if (!reportedNoWake)
        {
            reportedNoWake = true;
            std::fprintf(stderr, "%s: cannot make the sequencer reader's wake-up descriptor (eventfd: %s); ALSA MIDI "
                                 "ports are not available\n",
                         name.c_str(), std::strerror(errno));
        }
        return false;
    }
    AlsaSeqHandle seq = nullptr;
    const int opened = system.open(&seq);
    if (opened < 0)
    {
        if (!reportedMissing)
        {
            reportedMissing = true;
            std::fprintf(stderr, "%s: no ALSA sequencer here (/dev/snd/seq: %s); ALSA MIDI ports are not available\n",
                         name.c_str(), system.errorText(opened).c_str());
        }
        return false;
    }
    auto fresh = std::make_unique<Client>(system);
    fresh->seq = seq;
    system.setClientName(seq, name);
    // Room for SysEx pieces in both directions (the defaults take about 5,500 bytes).
    system.setPools(seq, kPoolCells, kPoolCells);
    system.setBufferSizes(seq, kBufferBytes, kBufferBytes);
    fresh->id = system.clientId(seq);
    fresh->announcePort = system.createSimplePort(seq, "announcements", AlsaSeq::kCapWrite | AlsaSeq::kCapNoExport,
                                                  AlsaSeq::kTypeApplication);
    if (fresh->announcePort >= 0)
        system.connectFrom(seq, fresh->announcePort, AlsaSeq::kClientSystem, AlsaSeq::kPortSystemAnnounce);
    fresh->queue = system.allocNamedQueue(seq, name);
    if (fresh->queue >= 0)
    {
        system.startQueue(seq, fresh->queue);
        system.drainOutput(seq);
    }
    client = std::move(fresh);
    live.store(client.get());
    stopping.store(false);
    reader = std::thread([this] { readerLoop(); });
    senderStopping.store(false);
    sender = std::thread([this] { senderLoop(); });
    return true;
}

bool AlsaSequencer::isConnected() const
{
    std::lock_guard<std::mutex> guard(controlMutex);
    return client != nullptr;
}

int AlsaSequencer::clientId() const
{
    std::lock_guard<std::mutex> guard(controlMutex);
    return client ? client->id : -1;
}

std::vector<AlsaSequencer::PortInfo> AlsaSequencer::listPorts(bool sources)
{
    std::vector<PortInfo> result;
    if (!connect())
        return result;
    std::lock_guard<std::mutex> guard(controlMutex);
    const unsigned int needed = sources ? (AlsaSeq::kCapRead | AlsaSeq::kCapSubsRead)
                                        : (AlsaSeq::kCapWrite | AlsaSeq::kCapSubsWrite);
    AlsaClientInfo clientInfo;
    while (system.nextClient(client->seq, clientInfo) >= 0)
    {
        const int other = clientInfo.client;
        if (other == AlsaSeq::kClientSystem || other == client->id)
            continue;
        AlsaPortInfo portInfo;
        while (system.nextPort(client->seq, other, portInfo) >= 0)
        {
            const unsigned int caps = portInfo.capability;
            if ((caps & needed) != needed || (caps & AlsaSeq::kCapNoExport) != 0)
                continue;
            result.push_back(PortInfo{other, portInfo.port, clientInfo.name + ":" + portInfo.name});
        }
    }
    return result;
}

std::uint64_t AlsaSequencer::openInput(int peerClient, int peerPort, AlsaEventSink* sink)
{
    return openPort(true, peerClient, peerPort, std::string(), sink);
}

std::uint64_t AlsaSequencer::openOwnInput(const std::string& portName, AlsaEventSink* sink)
{
    return portName.empty() ? 0 : openPort(true, -1, -1, portName, sink);
}

std::uint64_t AlsaSequencer::openOwnOutput(const std::string& portName)
{
    return portName.empty() ? 0 : openPort(false, -1, -1, portName, nullptr);
}

std::uint64_t AlsaSequencer::openOutput(int peerClient, int peerPort)
{
    return openPort(false, peerClient, peerPort, std::string(), nullptr);
}

std::uint64_t AlsaSequencer::openPort(bool isInput, int peerClient, int peerPort, const std::string& ownName,
                                      AlsaEventSink* sink)
{
    if (!connect())
        return 0;
    std::lock_guard<std::mutex> guard(controlMutex);
    auto slot = std::make_shared<Slot>(system);
    if (system.codecNew(kDecodeBytes, &slot->codec) < 0)
        return 0;
    if (isInput)
        system.codecNoStatus(slot->codec, true);

    AlsaPortSettings settings;
    const bool own = peerClient < 0;
    settings.name = own ? ownName : (isInput ? "in " : "out ") + portAddress(peerClient, peerPort);
    // A port for our own connection gets only the capability that needs: others neither list
    // nor attach to it. An own port is there for others to subscribe to.
    const unsigned int subscribable = isInput ? AlsaSeq::kCapSubsWrite : AlsaSeq::kCapSubsRead;
    settings.capability = (isInput ? AlsaSeq::kCapWrite : AlsaSeq::kCapRead) | (own ? subscribable : 0u);
    settings.type = AlsaSeq::kTypeMidiGeneric | AlsaSeq::kTypeApplication;
    settings.midiChannels = 16;
    if (isInput && client->queue >= 0)
        settings.timestampQueue = client->queue;
    const int created = system.createPort(client->seq, settings);
    if (created < 0)
        return 0;
    slot->token = nextToken.fetch_add(1);
    slot->isInput = isInput;
    slot->ourPort = created;
    slot->peerClient = peerClient;
    slot->peerPort = peerPort;
    slot->sink = sink;
    {
        // Published before subscribing, so that the first events find their sink.
        std::lock_guard<std::mutex> slotsGuard(slotsMutex);
        slots[slot->ourPort] = slot;
    }
    if (own)
        return slot->token;
    const int subscribed = isInput ? system.connectFrom(client->seq, slot->ourPort, peerClient, peerPort)
                                   : system.connectTo(client->seq, slot->ourPort, peerClient, peerPort);
    if (subscribed < 0)
    {
        {
            std::lock_guard<std::mutex> slotsGuard(slotsMutex);
            slots.erase(slot->ourPort);
        }
        slot->closed.store(true);
        system.deletePort(client->seq, slot->ourPort);
        std::lock_guard<std::mutex> waitForDelivery(slot->deliveryMutex);
        return 0;
    }
    return slot->token;
}

void AlsaSequencer::close(std::uint64_t token)
{
    std::shared_ptr<Slot> slot;
    {
        std::lock_guard<std::mutex> slotsGuard(slotsMutex);
        for (auto it = slots.begin(); it != slots.end(); ++it)
        {
            if (it->second->token == token)
            {
                slot = it->second;
                if (slot->isInput)
                    slots.erase(it);
                break;
            }
        }
    }
    if (!slot)
        return;
    if (!slot->isInput)
    {
        // What was queued for this output goes out first (the slot stays listed for the sender
        // meanwhile): a program may close right after its last send.
        const std::uint64_t queued = sendQueue.reserved();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(2 * kSendPatienceMs);
        while (sender.joinable() && std::this_thread::get_id() != sender.get_id() &&
               sentThrough.load(std::memory_order_acquire) < queued && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::lock_guard<std::mutex> slotsGuard(slotsMutex);
        slots.erase(slot->ourPort);
    }
    slot->closed.store(true);
    {
        std::lock_guard<std::mutex> guard(controlMutex);
        if (client)
        {
            // Fails harmlessly when the other port is gone (and the subscription with it). An own
            // port's subscriptions are others'; deleting the port ends them.
            if (slot->peerClient >= 0 && slot->isInput)
                system.disconnectFrom(client->seq, slot->ourPort, slot->peerClient, slot->peerPort);
            else if (slot->peerClient >= 0)
                system.disconnectTo(client->seq, slot->ourPort, slot->peerClient, slot->peerPort);
            system.deletePort(client->seq, slot->ourPort);
        }
    }
    // A sink may be destroyed right after we return; a close from inside a delivery (on the
    // reader thread) is past the point where the reader looks at the sink.
    if (std::this_thread::get_id() != reader.get_id())
    {
        std::lock_guard<std::mutex> waitForDelivery(slot->deliveryMutex);
    }
}

bool AlsaSequencer::isLive(std::uint64_t token) const
{
    const std::shared_ptr<Slot> slot = slotFor(token);
    if (!slot)
        return false;
    if (!slot->dead.load())
        return true;
    // Port numbers come back: an announcement about an earlier port at the same addresses may
    // have been read after this connection was made. The kernel's subscription list decides.
    std::lock_guard<std::mutex> guard(controlMutex);
    if (!client)
        return false;
    const AlsaAddress ours{client->id, slot->ourPort};
    const AlsaAddress peer{slot->peerClient, slot->peerPort};
    if (system.getSubscription(client->seq, slot->isInput ? peer : ours, slot->isInput ? ours : peer) < 0)
        return false;
    slot->dead.store(false);
    return true;
}

std::shared_ptr<AlsaSequencer::Slot> AlsaSequencer::slotFor(std::uint64_t token) const
{
    std::lock_guard<std::mutex> slotsGuard(slotsMutex);
    for (const auto& entry : slots)
        if (entry.second->token == token)
            return entry.second;
    return nullptr;
}

std::shared_ptr<AlsaSequencer::Slot> AlsaSequencer::slotForPort(int ourPort) const
{
    std::lock_guard<std::mutex> slotsGuard(slotsMutex);
    const auto it = slots.find(ourPort);
    return it != slots.end() ? it->second : nullptr;
}

bool AlsaSequencer::send(std::uint64_t token, const unsigned char* data, std::size_t size)
{
    if (token == 0 || data == nullptr || live.load(std::memory_order_acquire) == nullptr)
        return false;
    if (size == 0)
        return true;
    if (size > sendQueue.capacityBytes() || sendQueue.push(data, static_cast<int>(size), token) == 0)
    {
        sendDrops.fetch_add(1, std::memory_order_relaxed);
        senderWake->post(); // the sender reports it
        return false;
    }
    accepted.fetch_add(1, std::memory_order_relaxed);
    senderWake->post();
    return true;
}

int AlsaSequencer::pendingSends() const
{
    return static_cast<int>(accepted.load(std::memory_order_relaxed) - written.load(std::memory_order_relaxed));
}

void AlsaSequencer::stopSender()
{
    senderStopping.store(true);
    senderWake->post();
    if (sender.joinable())
        sender.join();
}

void AlsaSequencer::senderLoop()
{
    std::vector<unsigned char> message;
    message.reserve(AlsaMidiSegments::kSysExPieceBytes);
    bool reportedDrops = false;
    for (;;)
    {
        senderWake->wait();
        std::uint64_t token = 0;
        while (sendQueue.pop(token, message))
        {
            sendNow(token, message.data(), message.size());
            written.fetch_add(1, std::memory_order_relaxed);
            sentThrough.store(sendQueue.consumed(), std::memory_order_release);
        }
        if (!reportedDrops && sendDrops.load(std::memory_order_relaxed) != 0)
        {
            reportedDrops = true;
            std::fprintf(stderr, "%s: the ALSA send queue was full; messages were dropped\n", name.c_str());
        }
        // Ends once what was queued before the stop is written.
        if (senderStopping.load() && sendQueue.consumed() == sendQueue.reserved())
            return;
    }
}

bool AlsaSequencer::sendNow(std::uint64_t token, const unsigned char* data, std::size_t size)
{
    const std::shared_ptr<Slot> slot = slotFor(token);
    if (!slot || slot->isInput || data == nullptr)
        return false;
    if (size == 0)
        return true;
    // From our port, directly to its subscribers.
    const auto prepare = [&slot](AlsaEvent& ev) {
        ev.source.port = slot->ourPort;
        ev.dest = AlsaAddress{AlsaSeq::kAddressSubscribers, AlsaSeq::kAddressUnknown};
        ev.queue = AlsaSeq::kQueueDirect;
    };
    // Short-message bytes through the encoder, which keeps running status within the run.
    const auto encodeRun = [&](const unsigned char* bytes, long left) {
        system.codecResetEncode(slot->codec);
        while (left > 0)
        {
            AlsaEvent ev;
            const long used = system.encode(slot->codec, bytes, left, ev);
            if (used <= 0)
                break;
            bytes += used;
            left -= used;
            if (ev.type == AlsaSeq::kEventNone)
                continue;
            prepare(ev);
            if (!writeEvent(ev))
                return false;
        }
        return true;
    };
    // The thru path's usual case, without cutting anything up (and without allocating).
    if (size <= 3 && data[0] >= 0x80 && data[0] != 0xF0 && data[0] != 0xF7)
        return encodeRun(data, static_cast<long>(size));

    for (const AlsaMidiSegments::Segment& segment : AlsaMidiSegments::split(data, size))
    {
        if (!segment.sysEx)
        {
            if (!encodeRun(data + segment.offset, static_cast<long>(segment.length)))
                return false;
            continue;
        }
        AlsaEvent ev;
        ev.type = AlsaSeq::kEventSysEx;
        ev.variable = true;
        ev.data = data + segment.offset;
        ev.length = segment.length;
        prepare(ev);
        if (!writeEvent(ev))
            return false;
    }
    return true;
}

bool AlsaSequencer::writeEvent(const AlsaEvent& ev)
{
    const Client* open = live.load();
    if (open == nullptr)
        return false;
    const AlsaSeqHandle seq = open->seq;
    const auto start = std::chrono::steady_clock::now();
    for (;;)
    {
        int written = 0;
        {
            std::lock_guard<std::mutex> guard(writeMutex);
            written = system.eventOutputDirect(seq, ev);
        }
        if (written >= 0)
        {
            eventsOut.fetch_add(1, std::memory_order_relaxed);
            return true;
        }
        // Our pool or the receiver's is full: the receiver is reading, wait for room.
        const bool full = written == -EAGAIN || written == -ENOMEM;
        const auto waited = std::chrono::steady_clock::now() - start;
        if (!full || waited > std::chrono::milliseconds(kSendPatienceMs))
        {
            sendFailures.fetch_add(1, std::memory_order_relaxed);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
}

std::int64_t AlsaSequencer::nowMs() const
{
    const Client* open = live.load();
    if (open == nullptr || open->queue < 0)
        return 0;
    std::uint32_t seconds = 0;
    std::uint32_t nanoseconds = 0;
    if (system.queueRealTime(open->seq, open->queue, seconds, nanoseconds) < 0)
        return 0;
    return static_cast<std::int64_t>(seconds) * 1000 + nanoseconds / 1000000;
}

AlsaSequencer::Stats AlsaSequencer::stats() const
{
    Stats s;
    s.eventsIn = eventsIn.load();
    s.eventsOut = eventsOut.load();
    s.announcements = announcements.load();
    s.overruns = overruns.load();
    s.sendFailures = sendFailures.load();
    s.sendDrops = sendDrops.load();
    return s;
}

void AlsaSequencer::stopReader()
{
    stopping.store(true);
    if (wakeFd >= 0)
    {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t ignored = ::write(wakeFd, &one, sizeof one);
    }
    if (reader.joinable())
        reader.join();
}

void AlsaSequencer::readerLoop()
{
    const AlsaSeqHandle seq = live.load()->seq;
    const int count = system.pollDescriptorCount(seq);
    std::vector<pollfd> fds(static_cast<std::size_t>(count) + 1);
    system.pollDescriptors(seq, fds.data(), static_cast<unsigned int>(count));
    fds[static_cast<std::size_t>(count)] = pollfd{wakeFd, POLLIN, 0};
    while (!stopping.load())
    {
        if (poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR)
            break;
        if (stopping.load())
            break;
        AlsaEvent ev;
        for (;;)
        {
            const int read = system.eventInput(seq, ev);
            if (read == -ENOSPC)
            {
                // Our input pool overflowed: events were lost in the kernel.
                overruns.fetch_add(1, std::memory_order_relaxed);
                continue;
            }
            if (read < 0)
                break;
            dispatch(ev);
        }
    }
}

void AlsaSequencer::dispatch(const AlsaEvent& ev)
{
    if (ev.dest.port == live.load()->announcePort || ev.source.client == AlsaSeq::kClientSystem)
    {
        announced(ev);
        return;
    }
    const std::shared_ptr<Slot> slot = slotForPort(ev.dest.port);
    if (!slot || !slot->isInput)
        return;
    eventsIn.fetch_add(1, std::memory_order_relaxed);
    std::int64_t timeMs = 0;
    if (ev.realTime && ev.queue == live.load()->queue)
        timeMs = static_cast<std::int64_t>(ev.seconds) * 1000 + ev.nanoseconds / 1000000;
    else
        timeMs = nowMs();

    std::lock_guard<std::mutex> delivering(slot->deliveryMutex);
    if (slot->closed.load() || slot->sink == nullptr)
        return;
    if (ev.type == AlsaSeq::kEventSysEx)
    {
        if (ev.length > 0 && ev.data != nullptr)
            slot->sink->alsaEvent(ev.data, ev.length, true, timeMs);
        return;
    }
    unsigned char bytes[kDecodeBytes];
    const long decoded = system.decode(slot->codec, bytes, sizeof bytes, ev);
    if (decoded > 0)
        slot->sink->alsaEvent(bytes, static_cast<std::size_t>(decoded), false, timeMs);
}

void AlsaSequencer::announced(const AlsaEvent& ev)
{
    const int own = live.load()->id;
    bool relevant = false;
    switch (ev.type)
    {
    case AlsaSeq::kEventClientStart:
    case AlsaSeq::kEventClientChange:
    case AlsaSeq::kEventPortStart:
    case AlsaSeq::kEventPortChange:
        // Our own ports come and go with every open and close; they are never listed.
        relevant = ev.subject.client != own;
        break;
    case AlsaSeq::kEventClientExit:
    case AlsaSeq::kEventPortExit:
    {
        const bool wholeClient = ev.type == AlsaSeq::kEventClientExit;
        std::lock_guard<std::mutex> slotsGuard(slotsMutex);
        for (auto& entry : slots)
        {
            Slot& slot = *entry.second;
            if (slot.peerClient == ev.subject.client && (wholeClient || slot.peerPort == ev.subject.port))
                slot.dead.store(true);
        }
        relevant = ev.subject.client != own;
        break;
    }
    case AlsaSeq::kEventPortUnsubscribed:
    {
        // Someone else took one of our connections down: the device is to be reopened.
        const AlsaAddress& sender = ev.connectSender;
        const AlsaAddress& dest = ev.connectDest;
        std::lock_guard<std::mutex> slotsGuard(slotsMutex);
        for (auto& entry : slots)
        {
            Slot& slot = *entry.second;
            const bool ours = slot.isInput ? (dest.client == own && dest.port == slot.ourPort &&
                                              sender.client == slot.peerClient && sender.port == slot.peerPort)
                                           : (sender.client == own && sender.port == slot.ourPort &&
                                              dest.client == slot.peerClient && dest.port == slot.peerPort);
            if (ours)
            {
                slot.dead.store(true);
                relevant = true;
            }
        }
        break;
    }
    default:
        break;
    }
    if (!relevant)
        return;
    announcements.fetch_add(1, std::memory_order_relaxed);
    observer.call([](Observer& current) { current.alsaPortsChanged(); });
}
