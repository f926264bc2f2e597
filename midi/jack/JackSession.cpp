#include "midi/jack/JackSession.h"

#include "midi/jack/JackEventSink.h"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <thread>

namespace
{
// Set by the process callback while it delivers input: sends on this thread then go straight
// into the running cycle's buffers, at the time of the event being delivered.
thread_local JackSession* cycleSession = nullptr;
thread_local jack_nframes_t cycleEventTime = 0;

void quietError(const char*) {}

std::uint64_t monotonicNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1000000000ULL + static_cast<std::uint64_t>(ts.tv_nsec);
}
} // namespace

struct JackSession::Slot
{
    Slot() : ring(jack_ringbuffer_create(kRingBytes)) {}
    ~Slot() { jack_ringbuffer_free(ring); }

    bool isInput = false;
    // Delivering (input) or draining the ring (output). See processCallback for the ordering.
    std::atomic<bool> active{false};
    // Output: the buffer is cleared every cycle. Longer than active: until the port is
    // disconnected, since JACK hands the other side whatever the buffer last held.
    std::atomic<bool> clearing{false};
    std::atomic<std::uint64_t> token{0};
    // Written under controlMutex while inactive, read by the process callback while active.
    jack_port_t* port = nullptr;
    JackEventSink* sink = nullptr;
    std::string peer;
    int generation = 0;
    // Output side: the ring's single writer holds writerMutex.
    std::mutex writerMutex;
    jack_ringbuffer_t* const ring;
    std::atomic<std::uint64_t> queued{0};
    std::atomic<std::uint64_t> drained{0};
    // Process thread only.
    void* cycleBuffer = nullptr;
    jack_nframes_t lastTime = 0;
};

struct JackSession::Client
{
    JackSession* session = nullptr;
    jack_client_t* handle = nullptr;
    std::atomic<bool> shutDown{false};
    std::atomic<std::uint64_t> entered{0};
    std::atomic<std::uint64_t> completed{0};
    jack_nframes_t sampleRate = 48000;
    // Process thread only: the frame clock widened to 64 bits (JACK's wraps after a day).
    bool clockStarted = false;
    jack_nframes_t lastCycleStart = 0;
    std::int64_t cycleStart64 = 0;
};

struct JackSession::Counters
{
    std::atomic<std::uint64_t> cycles{0};
    std::atomic<std::uint64_t> eventsIn{0};
    std::atomic<std::uint64_t> eventsOut{0};
    std::atomic<std::uint64_t> drops{0};
    std::atomic<std::uint64_t> processNs{0};
};

namespace
{
// Writes one event into an output buffer at or after time, keeping times non-decreasing.
bool writeEvent(JackSession::Slot& slot, jack_nframes_t time, const unsigned char* data, std::size_t length)
{
    const jack_nframes_t at = std::max(time, slot.lastTime);
    if (jack_midi_event_write(slot.cycleBuffer, at, data, length) != 0)
        return false;
    slot.lastTime = at;
    return true;
}

// Moves queued messages of the ring into the cycle's buffer, at the start of the cycle. A message
// that cannot fit even an empty buffer is dropped; one that does not fit now waits for the next.
void drainRing(JackSession::Slot& slot, JackSession::Counters& counters)
{
    jack_ringbuffer_t* ring = slot.ring;
    for (;;)
    {
        std::uint32_t length = 0;
        if (jack_ringbuffer_read_space(ring) < sizeof(length))
            return;
        jack_ringbuffer_peek(ring, reinterpret_cast<char*>(&length), sizeof(length));
        // The writer puts the length and the bytes in two steps: until both are in, the message
        // is not there yet (taking it early would read past it and lose the ring's framing).
        if (jack_ringbuffer_read_space(ring) < sizeof(length) + length)
            return;
        jack_midi_data_t* target = jack_midi_event_reserve(slot.cycleBuffer, slot.lastTime, length);
        if (target == nullptr)
        {
            if (jack_midi_get_event_count(slot.cycleBuffer) != 0)
                return;
            jack_ringbuffer_read_advance(ring, sizeof(length) + length);
            counters.drops.fetch_add(1, std::memory_order_relaxed);
        }
        else
        {
            jack_ringbuffer_read_advance(ring, sizeof(length));
            jack_ringbuffer_read(ring, reinterpret_cast<char*>(target), length);
            counters.eventsOut.fetch_add(1, std::memory_order_relaxed);
        }
        slot.drained.fetch_add(1, std::memory_order_release);
    }
}

// Hand-shake with JackSession::close (and open): the closer stores active = false (or
// clearing = false) and then reads `entered`; a cycle increments `entered` and then reads the
// flags. Each side is a store followed by a load of the other variable, which the processor may
// reorder unless both stores and both loads are sequentially consistent: with release/acquire
// the closer could read the count from before a cycle that still saw active = true, return at
// once, and let that cycle deliver to a sink that is being destroyed. With seq_cst on all four
// there is one order of them: either the cycle's load of the flag follows the closer's store (it
// sees false), or the closer's load of `entered` follows the cycle's increment (it waits for
// that cycle to complete).
int processCallback(jack_nframes_t frames, void* arg)
{
    auto* client = static_cast<JackSession::Client*>(arg);
    const std::uint64_t cycle = client->entered.fetch_add(1, std::memory_order_seq_cst) + 1;
    const std::uint64_t started = monotonicNs();
    std::vector<std::unique_ptr<JackSession::Slot>>& slots = client->session->slotsForProcess();
    JackSession::Counters& counters = client->session->countersForProcess();
    for (auto& slot : slots)
    {
        if (slot->isInput)
            continue;
        const bool draining = slot->active.load(std::memory_order_seq_cst);
        if (!draining && !slot->clearing.load(std::memory_order_seq_cst))
            continue;
        void* buffer = jack_port_get_buffer(slot->port, frames);
        jack_midi_clear_buffer(buffer);
        if (!draining)
            continue;
        slot->cycleBuffer = buffer;
        slot->lastTime = 0;
        drainRing(*slot, counters);
    }
    const jack_nframes_t cycleStart = jack_last_frame_time(client->handle);
    if (client->clockStarted)
        client->cycleStart64 += static_cast<jack_nframes_t>(cycleStart - client->lastCycleStart);
    else
        client->cycleStart64 = cycleStart;
    client->clockStarted = true;
    client->lastCycleStart = cycleStart;
    cycleSession = client->session;
    for (auto& slot : slots)
    {
        if (!slot->isInput || !slot->active.load(std::memory_order_seq_cst))
            continue;
        void* buffer = jack_port_get_buffer(slot->port, frames);
        const std::uint32_t count = jack_midi_get_event_count(buffer);
        for (std::uint32_t i = 0; i < count; ++i)
        {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, buffer, i) != 0)
                continue;
            cycleEventTime = event.time;
            const std::int64_t frame = client->cycleStart64 + event.time;
            counters.eventsIn.fetch_add(1, std::memory_order_relaxed);
            slot->sink->jackEvent(event.buffer, event.size, frame * 1000 / client->sampleRate);
        }
    }
    cycleSession = nullptr;
    for (auto& slot : slots)
        slot->cycleBuffer = nullptr;
    counters.cycles.fetch_add(1, std::memory_order_relaxed);
    counters.processNs.fetch_add(monotonicNs() - started, std::memory_order_relaxed);
    client->completed.store(cycle, std::memory_order_release);
    return 0;
}

void shutdownCallback(void* arg)
{
    auto* client = static_cast<JackSession::Client*>(arg);
    client->shutDown.store(true);
    client->session->notifyServerGone();
}

void portRegistrationCallback(jack_port_id_t, int, void* arg)
{
    static_cast<JackSession::Client*>(arg)->session->notifyPortsChanged();
}

void portRenameCallback(jack_port_id_t, const char*, const char*, void* arg)
{
    static_cast<JackSession::Client*>(arg)->session->notifyPortsChanged();
}

void clientRegistrationCallback(const char*, int, void* arg)
{
    static_cast<JackSession::Client*>(arg)->session->notifyPortsChanged();
}
} // namespace

JackSession::JackSession(std::string clientName, Observer* observer_)
    : requestedName(std::move(clientName)), observer(observer_), counters(std::make_unique<Counters>())
{
    for (int i = 0; i < 2 * kMaxPorts; ++i)
    {
        slots.push_back(std::make_unique<Slot>());
        slots.back()->isInput = i < kMaxPorts;
    }
}

JackSession::~JackSession()
{
    std::lock_guard<std::mutex> guard(controlMutex);
    disconnectLocked();
}

void JackSession::notifyPortsChanged()
{
    observer.call([](Observer& current) { current.jackPortsChanged(); });
}

void JackSession::notifyServerGone()
{
    observer.call([](Observer& current) { current.jackServerGone(); });
}

void JackSession::disconnectLocked()
{
    if (!client)
        return;
    for (auto& slot : slots)
    {
        slot->active.store(false);
        slot->clearing.store(false);
        slot->token.store(0);
        slot->port = nullptr;
        slot->sink = nullptr;
    }
    if (!client->shutDown.load())
        jack_deactivate(client->handle);
    jack_client_close(client->handle);
    client.reset();
}

bool JackSession::connect()
{
    std::lock_guard<std::mutex> guard(controlMutex);
    if (client && !client->shutDown.load())
        return true;
    disconnectLocked();
    // libjack reports a missing server with several lines of its own; ours says it once.
    jack_set_error_function(quietError);
    jack_status_t status{};
    jack_client_t* handle = jack_client_open(requestedName.c_str(), JackNoStartServer, &status);
    if (handle == nullptr)
    {
        if (!reportedMissingServer)
            std::fprintf(stderr, "%s: no JACK server is running; MIDI ports appear once one starts\n",
                         requestedName.c_str());
        reportedMissingServer = true;
        return false;
    }
    reportedMissingServer = false;
    auto opened = std::make_unique<Client>();
    opened->session = this;
    opened->handle = handle;
    opened->sampleRate = std::max<jack_nframes_t>(1, jack_get_sample_rate(handle));
    jack_set_process_callback(handle, processCallback, opened.get());
    jack_on_shutdown(handle, shutdownCallback, opened.get());
    jack_set_port_registration_callback(handle, portRegistrationCallback, opened.get());
    jack_set_port_rename_callback(handle, portRenameCallback, opened.get());
    jack_set_client_registration_callback(handle, clientRegistrationCallback, opened.get());
    if (jack_activate(handle) != 0)
    {
        jack_client_close(handle);
        return false;
    }
    client = std::move(opened);
    clientGeneration.fetch_add(1);
    return true;
}

bool JackSession::isConnected() const
{
    std::lock_guard<std::mutex> guard(controlMutex);
    return client && !client->shutDown.load();
}

std::vector<JackSession::PortInfo> JackSession::listPorts(bool sources)
{
    std::vector<PortInfo> result;
    std::lock_guard<std::mutex> guard(controlMutex);
    if (!client || client->shutDown.load())
        return result;
    const std::string own = std::string(jack_get_client_name(client->handle)) + ":";
    const char** names =
        jack_get_ports(client->handle, nullptr, JACK_DEFAULT_MIDI_TYPE, sources ? JackPortIsOutput : JackPortIsInput);
    if (names == nullptr)
        return result;
    for (const char** name = names; *name != nullptr; ++name)
    {
        if (std::strncmp(*name, own.c_str(), own.size()) == 0)
            continue;
        PortInfo info;
        info.name = *name;
        if (jack_port_t* port = jack_port_by_name(client->handle, *name))
        {
            char* aliases[2] = {new char[jack_port_name_size()], new char[jack_port_name_size()]};
            if (jack_port_get_aliases(port, aliases) > 0)
                info.prettyName = aliases[0];
            delete[] aliases[0];
            delete[] aliases[1];
        }
        result.push_back(info);
    }
    jack_free(names);
    return result;
}

bool JackSession::portExists(const std::string& fullName)
{
    std::lock_guard<std::mutex> guard(controlMutex);
    return client && !client->shutDown.load() && jack_port_by_name(client->handle, fullName.c_str()) != nullptr;
}

std::uint64_t JackSession::openPort(bool isInput, const std::string& peer, const std::string& ownName,
                                    JackEventSink* sink)
{
    std::lock_guard<std::mutex> guard(controlMutex);
    if (!client || client->shutDown.load())
        return 0;
    Slot* free = nullptr;
    for (auto& slot : slots)
    {
        if (slot->isInput == isInput && slot->token.load() == 0)
        {
            free = slot.get();
            break;
        }
    }
    const bool own = peer.empty();
    if (free == nullptr || (own ? ownName.empty() : jack_port_by_name(client->handle, peer.c_str()) == nullptr))
        return 0;
    const std::string shortName =
        own ? ownName : std::string(isInput ? "in_" : "out_") + std::to_string(nextPortNumber.fetch_add(1));
    jack_port_t* port = jack_port_register(client->handle, shortName.c_str(), JACK_DEFAULT_MIDI_TYPE,
                                           isInput ? JackPortIsInput : JackPortIsOutput, 0);
    if (port == nullptr)
        return 0;
    if (!own)
    {
        const char* ours = jack_port_name(port);
        const int connected = isInput ? jack_connect(client->handle, peer.c_str(), ours)
                                      : jack_connect(client->handle, ours, peer.c_str());
        if (connected != 0 && connected != EEXIST)
        {
            jack_port_unregister(client->handle, port);
            return 0;
        }
        // The server applies a connection to the running graph some cycles later: until then
        // events would not travel through it, so the port counts as open only once a cycle ran
        // with it.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (jack_port_connected_to(port, peer.c_str()) == 0 && !client->shutDown.load() &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    waitForCycles(2);
    const std::uint64_t token = nextToken.fetch_add(1);
    {
        std::lock_guard<std::mutex> writer(free->writerMutex);
        jack_ringbuffer_reset(free->ring);
        free->queued.store(0);
        free->drained.store(0);
        free->port = port;
        free->sink = sink;
        free->peer = peer;
        free->generation = clientGeneration.load();
        free->token.store(token);
    }
    free->clearing.store(!isInput, std::memory_order_seq_cst);
    free->active.store(true, std::memory_order_seq_cst);
    return token;
}

std::uint64_t JackSession::openInput(const std::string& source, JackEventSink* sink)
{
    return openPort(true, source, std::string(), sink);
}

std::uint64_t JackSession::openOwnInput(const std::string& ownName, JackEventSink* sink)
{
    return openPort(true, std::string(), ownName, sink);
}

std::uint64_t JackSession::openOwnOutput(const std::string& ownName)
{
    return openPort(false, std::string(), ownName, nullptr);
}

std::uint64_t JackSession::openOutput(const std::string& destination)
{
    return openPort(false, destination, std::string(), nullptr);
}

void JackSession::waitForCycles(int count)
{
    // Any cycle that began before the caller's change has ended once completed reaches entered;
    // each further count is one whole cycle that began after it.
    // seq_cst: the load half of the hand-shake described at processCallback.
    const std::uint64_t target =
        client->entered.load(std::memory_order_seq_cst) + static_cast<std::uint64_t>(count - 1);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (client->completed.load(std::memory_order_acquire) < target && !client->shutDown.load() &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

JackSession::Slot* JackSession::slotFor(std::uint64_t token) const
{
    if (token == 0)
        return nullptr;
    for (const auto& slot : slots)
        if (slot->token.load(std::memory_order_acquire) == token)
            return slot.get();
    return nullptr;
}

void JackSession::close(std::uint64_t token)
{
    std::lock_guard<std::mutex> guard(controlMutex);
    Slot* slot = slotFor(token);
    if (slot == nullptr)
        return;
    // seq_cst: see processCallback. From here no cycle delivers to the sink or drains the ring.
    slot->active.store(false, std::memory_order_seq_cst);
    if (client && slot->generation == clientGeneration.load())
    {
        if (!slot->isInput && !client->shutDown.load())
            disconnectOutput(*slot);
        slot->clearing.store(false, std::memory_order_seq_cst);
        waitForCycles(1);
        if (!client->shutDown.load())
            jack_port_unregister(client->handle, slot->port);
    }
    std::lock_guard<std::mutex> writer(slot->writerMutex);
    slot->port = nullptr;
    slot->sink = nullptr;
    slot->token.store(0);
}

void JackSession::disconnectOutput(Slot& slot)
{
    // The other side reads our buffer in every cycle while connected, cleared or not: the
    // process callback keeps clearing it until the running graph no longer has the connection
    // and the last cycle that began with it has ended.
    jack_port_disconnect(client->handle, slot.port);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (jack_port_connected(slot.port) != 0 && !client->shutDown.load() &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    waitForCycles(1);
}

bool JackSession::isLive(std::uint64_t token, const std::string& peer)
{
    std::lock_guard<std::mutex> guard(controlMutex);
    Slot* slot = slotFor(token);
    if (slot == nullptr || !client || client->shutDown.load() || slot->generation != clientGeneration.load())
        return false;
    if (peer.empty())
        return true; // our own port: others' connections come and go
    jack_port_t* other = jack_port_by_name(client->handle, peer.c_str());
    return other != nullptr && jack_port_connected_to(slot->port, peer.c_str()) != 0;
}

bool JackSession::send(std::uint64_t token, const unsigned char* data, int length)
{
    if (data == nullptr || length <= 0)
        return false;
    Slot* slot = slotFor(token);
    if (slot == nullptr || slot->isInput)
        return false;
    if (cycleSession == this)
    {
        // Thru from the delivery of an input: this cycle's buffer, at the event's time.
        if (slot->cycleBuffer == nullptr || !writeEvent(*slot, cycleEventTime, data, static_cast<std::size_t>(length)))
        {
            counters->drops.fetch_add(1, std::memory_order_relaxed);
            return false;
        }
        counters->eventsOut.fetch_add(1, std::memory_order_relaxed);
        return true;
    }
    std::lock_guard<std::mutex> writer(slot->writerMutex);
    const std::uint32_t size = static_cast<std::uint32_t>(length);
    if (slot->token.load() != token || jack_ringbuffer_write_space(slot->ring) < sizeof(size) + size)
    {
        counters->drops.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
    jack_ringbuffer_write(slot->ring, reinterpret_cast<const char*>(&size), sizeof(size));
    jack_ringbuffer_write(slot->ring, reinterpret_cast<const char*>(data), size);
    slot->queued.fetch_add(1, std::memory_order_release);
    return true;
}

int JackSession::pending(std::uint64_t token) const
{
    Slot* slot = slotFor(token);
    if (slot == nullptr)
        return 0;
    return static_cast<int>(slot->queued.load(std::memory_order_acquire) - slot->drained.load(std::memory_order_acquire));
}

std::int64_t JackSession::nowMs() const
{
    std::lock_guard<std::mutex> guard(controlMutex);
    if (!client || client->shutDown.load())
        return 0;
    return static_cast<std::int64_t>(jack_frame_time(client->handle)) * 1000 / client->sampleRate;
}

std::string JackSession::clientName() const
{
    std::lock_guard<std::mutex> guard(controlMutex);
    if (!client)
        return requestedName;
    return jack_get_client_name(client->handle);
}

JackSession::Stats JackSession::stats() const
{
    Stats out;
    out.cycles = counters->cycles.load();
    out.eventsIn = counters->eventsIn.load();
    out.eventsOut = counters->eventsOut.load();
    out.drops = counters->drops.load();
    out.processNanoseconds = counters->processNs.load();
    return out;
}
