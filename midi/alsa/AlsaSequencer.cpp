#include "midi/alsa/AlsaSequencer.h"

#include "midi/alsa/AlsaEventSink.h"
#include "midi/alsa/AlsaMidiSegments.h"

#include <alsa/asoundlib.h>
#include <poll.h>
#include <semaphore.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace
{
constexpr int kDecodeBytes = 64;

// The library prints its own complaints to stderr; a missing sequencer is reported by us, once.
void quietLibrary(const char*, int, const char*, int, const char*, ...) {}

std::string portAddress(int client, int port)
{
    return std::to_string(client) + ":" + std::to_string(port);
}
} // namespace

struct AlsaSequencer::Client
{
    snd_seq_t* seq = nullptr;
    int id = -1;
    int announcePort = -1;
    int queue = -1;

    Client() = default;
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;
    ~Client()
    {
        if (seq != nullptr)
            snd_seq_close(seq);
    }
};

struct AlsaSequencer::Slot
{
    std::uint64_t token = 0;
    bool isInput = false;
    int ourPort = -1;
    int peerClient = -1;
    int peerPort = -1;
    AlsaEventSink* sink = nullptr;
    // Input: the decoder (reader thread only). Output: the encoder (sender thread only).
    snd_midi_event_t* codec = nullptr;
    // Input: held by the reader while it delivers; close takes it to wait for that.
    std::mutex deliveryMutex;
    std::atomic<bool> closed{false};
    // The other port went away or our connection to it was taken down.
    std::atomic<bool> dead{false};

    Slot() = default;
    Slot(const Slot&) = delete;
    Slot& operator=(const Slot&) = delete;
    ~Slot()
    {
        if (codec != nullptr)
            snd_midi_event_free(codec);
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
    : name(std::move(clientName)), observer(observer_), senderWake(std::make_unique<SenderWake>())
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
            snd_seq_delete_port(client->seq, entry.first);
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
    snd_seq_t* seq = nullptr;
    snd_lib_error_set_handler(quietLibrary);
    const int opened = snd_seq_open(&seq, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK);
    snd_lib_error_set_handler(nullptr);
    if (opened < 0)
    {
        if (!reportedMissing)
        {
            reportedMissing = true;
            std::fprintf(stderr, "%s: no ALSA sequencer here (/dev/snd/seq: %s); ALSA MIDI ports are not available\n",
                         name.c_str(), snd_strerror(opened));
        }
        return false;
    }
    auto fresh = std::make_unique<Client>();
    fresh->seq = seq;
    snd_seq_set_client_name(seq, name.c_str());
    // Room for SysEx pieces in both directions (the defaults take about 5,500 bytes).
    snd_seq_set_client_pool_output(seq, kPoolCells);
    snd_seq_set_client_pool_input(seq, kPoolCells);
    snd_seq_set_output_buffer_size(seq, kBufferBytes);
    snd_seq_set_input_buffer_size(seq, kBufferBytes);
    fresh->id = snd_seq_client_id(seq);
    fresh->announcePort = snd_seq_create_simple_port(seq, "announcements",
                                                     SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_NO_EXPORT,
                                                     SND_SEQ_PORT_TYPE_APPLICATION);
    if (fresh->announcePort >= 0)
        snd_seq_connect_from(seq, fresh->announcePort, SND_SEQ_CLIENT_SYSTEM, SND_SEQ_PORT_SYSTEM_ANNOUNCE);
    fresh->queue = snd_seq_alloc_named_queue(seq, name.c_str());
    if (fresh->queue >= 0)
    {
        snd_seq_start_queue(seq, fresh->queue, nullptr);
        snd_seq_drain_output(seq);
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
    snd_seq_client_info_t* clientInfo = nullptr;
    snd_seq_port_info_t* portInfo = nullptr;
    snd_seq_client_info_alloca(&clientInfo);
    snd_seq_port_info_alloca(&portInfo);
    const unsigned int needed = sources ? (SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ)
                                        : (SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE);
    snd_seq_client_info_set_client(clientInfo, -1);
    while (snd_seq_query_next_client(client->seq, clientInfo) >= 0)
    {
        const int other = snd_seq_client_info_get_client(clientInfo);
        if (other == SND_SEQ_CLIENT_SYSTEM || other == client->id)
            continue;
        const std::string clientName = snd_seq_client_info_get_name(clientInfo);
        snd_seq_port_info_set_client(portInfo, other);
        snd_seq_port_info_set_port(portInfo, -1);
        while (snd_seq_query_next_port(client->seq, portInfo) >= 0)
        {
            const unsigned int caps = snd_seq_port_info_get_capability(portInfo);
            if ((caps & needed) != needed || (caps & SND_SEQ_PORT_CAP_NO_EXPORT) != 0)
                continue;
            result.push_back(PortInfo{other, snd_seq_port_info_get_port(portInfo),
                                      clientName + ":" + snd_seq_port_info_get_name(portInfo)});
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
    auto slot = std::make_shared<Slot>();
    if (snd_midi_event_new(kDecodeBytes, &slot->codec) < 0)
        return 0;
    if (isInput)
        snd_midi_event_no_status(slot->codec, 1);

    snd_seq_port_info_t* info = nullptr;
    snd_seq_port_info_alloca(&info);
    const bool own = peerClient < 0;
    const std::string portName = own ? ownName : (isInput ? "in " : "out ") + portAddress(peerClient, peerPort);
    snd_seq_port_info_set_name(info, portName.c_str());
    // A port for our own connection gets only the capability that needs: others neither list
    // nor attach to it. An own port is there for others to subscribe to.
    const unsigned int subscribable = isInput ? SND_SEQ_PORT_CAP_SUBS_WRITE : SND_SEQ_PORT_CAP_SUBS_READ;
    const unsigned int caps = (isInput ? SND_SEQ_PORT_CAP_WRITE : SND_SEQ_PORT_CAP_READ) | (own ? subscribable : 0u);
    snd_seq_port_info_set_capability(info, caps);
    snd_seq_port_info_set_type(info, SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    snd_seq_port_info_set_midi_channels(info, 16);
    if (isInput && client->queue >= 0)
    {
        snd_seq_port_info_set_timestamping(info, 1);
        snd_seq_port_info_set_timestamp_real(info, 1);
        snd_seq_port_info_set_timestamp_queue(info, client->queue);
    }
    if (snd_seq_create_port(client->seq, info) < 0)
        return 0;
    slot->token = nextToken.fetch_add(1);
    slot->isInput = isInput;
    slot->ourPort = snd_seq_port_info_get_port(info);
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
    const int subscribed = isInput ? snd_seq_connect_from(client->seq, slot->ourPort, peerClient, peerPort)
                                   : snd_seq_connect_to(client->seq, slot->ourPort, peerClient, peerPort);
    if (subscribed < 0)
    {
        {
            std::lock_guard<std::mutex> slotsGuard(slotsMutex);
            slots.erase(slot->ourPort);
        }
        slot->closed.store(true);
        snd_seq_delete_port(client->seq, slot->ourPort);
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
                snd_seq_disconnect_from(client->seq, slot->ourPort, slot->peerClient, slot->peerPort);
            else if (slot->peerClient >= 0)
                snd_seq_disconnect_to(client->seq, slot->ourPort, slot->peerClient, slot->peerPort);
            snd_seq_delete_port(client->seq, slot->ourPort);
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
    snd_seq_port_subscribe_t* subscription = nullptr;
    snd_seq_port_subscribe_alloca(&subscription);
    const snd_seq_addr_t ours{static_cast<unsigned char>(client->id), static_cast<unsigned char>(slot->ourPort)};
    const snd_seq_addr_t peer{static_cast<unsigned char>(slot->peerClient), static_cast<unsigned char>(slot->peerPort)};
    snd_seq_port_subscribe_set_sender(subscription, slot->isInput ? &peer : &ours);
    snd_seq_port_subscribe_set_dest(subscription, slot->isInput ? &ours : &peer);
    if (snd_seq_get_port_subscription(client->seq, subscription) < 0)
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
    const auto prepare = [&slot](snd_seq_event_t& ev) {
        snd_seq_ev_set_source(&ev, slot->ourPort);
        snd_seq_ev_set_subs(&ev);
        snd_seq_ev_set_direct(&ev);
    };
    // Short-message bytes through the encoder, which keeps running status within the run.
    const auto encodeRun = [&](const unsigned char* bytes, long left) {
        snd_midi_event_reset_encode(slot->codec);
        while (left > 0)
        {
            snd_seq_event_t ev;
            snd_seq_ev_clear(&ev);
            const long used = snd_midi_event_encode(slot->codec, bytes, left, &ev);
            if (used <= 0)
                break;
            bytes += used;
            left -= used;
            if (ev.type == SND_SEQ_EVENT_NONE)
                continue;
            prepare(ev);
            if (!writeEvent(&ev))
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
        snd_seq_event_t ev;
        snd_seq_ev_clear(&ev);
        snd_seq_ev_set_sysex(&ev, static_cast<unsigned int>(segment.length),
                             const_cast<unsigned char*>(data + segment.offset));
        prepare(ev);
        if (!writeEvent(&ev))
            return false;
    }
    return true;
}

bool AlsaSequencer::writeEvent(void* event)
{
    auto* ev = static_cast<snd_seq_event_t*>(event);
    const Client* open = live.load();
    if (open == nullptr)
        return false;
    snd_seq_t* const seq = open->seq;
    const auto start = std::chrono::steady_clock::now();
    for (;;)
    {
        int written = 0;
        {
            std::lock_guard<std::mutex> guard(writeMutex);
            written = snd_seq_event_output_direct(seq, ev);
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
    snd_seq_queue_status_t* status = nullptr;
    snd_seq_queue_status_alloca(&status);
    if (snd_seq_get_queue_status(open->seq, open->queue, status) < 0)
        return 0;
    const snd_seq_real_time_t* time = snd_seq_queue_status_get_real_time(status);
    return static_cast<std::int64_t>(time->tv_sec) * 1000 + time->tv_nsec / 1000000;
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
    snd_seq_t* seq = live.load()->seq;
    const int count = snd_seq_poll_descriptors_count(seq, POLLIN);
    std::vector<pollfd> fds(static_cast<std::size_t>(count) + 1);
    snd_seq_poll_descriptors(seq, fds.data(), static_cast<unsigned int>(count), POLLIN);
    fds[static_cast<std::size_t>(count)] = pollfd{wakeFd, POLLIN, 0};
    while (!stopping.load())
    {
        if (poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR)
            break;
        if (stopping.load())
            break;
        for (;;)
        {
            snd_seq_event_t* ev = nullptr;
            const int read = snd_seq_event_input(seq, &ev);
            if (read == -ENOSPC)
            {
                // Our input pool overflowed: events were lost in the kernel.
                overruns.fetch_add(1, std::memory_order_relaxed);
                continue;
            }
            if (read < 0)
                break;
            if (ev != nullptr)
                dispatch(ev);
        }
    }
}

void AlsaSequencer::dispatch(void* event)
{
    auto* ev = static_cast<snd_seq_event_t*>(event);
    if (ev->dest.port == live.load()->announcePort || ev->source.client == SND_SEQ_CLIENT_SYSTEM)
    {
        announced(ev);
        return;
    }
    const std::shared_ptr<Slot> slot = slotForPort(ev->dest.port);
    if (!slot || !slot->isInput)
        return;
    eventsIn.fetch_add(1, std::memory_order_relaxed);
    std::int64_t timeMs = 0;
    if (snd_seq_ev_is_real(ev) && ev->queue == live.load()->queue)
        timeMs = static_cast<std::int64_t>(ev->time.time.tv_sec) * 1000 + ev->time.time.tv_nsec / 1000000;
    else
        timeMs = nowMs();

    std::lock_guard<std::mutex> delivering(slot->deliveryMutex);
    if (slot->closed.load() || slot->sink == nullptr)
        return;
    if (ev->type == SND_SEQ_EVENT_SYSEX)
    {
        if (ev->data.ext.len > 0 && ev->data.ext.ptr != nullptr)
            slot->sink->alsaEvent(static_cast<const unsigned char*>(ev->data.ext.ptr), ev->data.ext.len, true, timeMs);
        return;
    }
    unsigned char bytes[kDecodeBytes];
    const long decoded = snd_midi_event_decode(slot->codec, bytes, sizeof bytes, ev);
    if (decoded > 0)
        slot->sink->alsaEvent(bytes, static_cast<std::size_t>(decoded), false, timeMs);
}

void AlsaSequencer::announced(void* event)
{
    auto* ev = static_cast<snd_seq_event_t*>(event);
    const int own = live.load()->id;
    bool relevant = false;
    switch (ev->type)
    {
    case SND_SEQ_EVENT_CLIENT_START:
    case SND_SEQ_EVENT_CLIENT_CHANGE:
    case SND_SEQ_EVENT_PORT_START:
    case SND_SEQ_EVENT_PORT_CHANGE:
        // Our own ports come and go with every open and close; they are never listed.
        relevant = ev->data.addr.client != own;
        break;
    case SND_SEQ_EVENT_CLIENT_EXIT:
    case SND_SEQ_EVENT_PORT_EXIT:
    {
        const bool wholeClient = ev->type == SND_SEQ_EVENT_CLIENT_EXIT;
        std::lock_guard<std::mutex> slotsGuard(slotsMutex);
        for (auto& entry : slots)
        {
            Slot& slot = *entry.second;
            if (slot.peerClient == ev->data.addr.client && (wholeClient || slot.peerPort == ev->data.addr.port))
                slot.dead.store(true);
        }
        relevant = ev->data.addr.client != own;
        break;
    }
    case SND_SEQ_EVENT_PORT_UNSUBSCRIBED:
    {
        // Someone else took one of our connections down: the device is to be reopened.
        const snd_seq_connect_t& c = ev->data.connect;
        std::lock_guard<std::mutex> slotsGuard(slotsMutex);
        for (auto& entry : slots)
        {
            Slot& slot = *entry.second;
            const bool ours = slot.isInput ? (c.dest.client == own && c.dest.port == slot.ourPort &&
                                              c.sender.client == slot.peerClient && c.sender.port == slot.peerPort)
                                           : (c.sender.client == own && c.sender.port == slot.ourPort &&
                                              c.dest.client == slot.peerClient && c.dest.port == slot.peerPort);
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
