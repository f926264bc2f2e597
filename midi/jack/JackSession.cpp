#include "midi/jack/JackSession.h"

#include "midi/jack/JackEventSink.h"
#include "midi/jack/JackSystem.h"

#include <jack/ringbuffer.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>

namespace
{
// Set by the process callback while it delivers input: sends on this thread then go straight
// into the running cycle's buffers, at the time of the event being delivered.
thread_local JackSession* cycleSession = nullptr;
thread_local JackSystem::Frames cycleEventTime = 0;

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
    JackSystem::PortHandle* port = nullptr;
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
    JackSystem::Frames lastTime = 0;
};

struct JackSession::Client
{
    JackSession* session = nullptr;
    JackSystem* system = nullptr;
    JackSystem::ClientHandle* handle = nullptr;
    std::atomic<bool> shutDown{false};
    std::atomic<std::uint64_t> entered{0};
    std::atomic<std::uint64_t> completed{0};
    JackSystem::Frames sampleRate = 48000;
    // Process thread only: the frame clock widened to 64 bits (JACK's wraps after a day).
    bool clockStarted = false;
    JackSystem::Frames lastCycleStart = 0;
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
bool writeEvent(JackSystem& system, JackSession::Slot& slot, JackSystem::Frames time, const unsigned char* data,
                std::size_t length)
{
    const JackSystem::Frames at = std::max(time, slot.lastTime);
    if (system.midiEventWrite(slot.cycleBuffer, at, data, length) != 0)
        return false;
    slot.lastTime = at;
    return true;
}

// Moves queued messages of the ring into the cycle's buffer, at the start of the cycle. A message
// that cannot fit even an empty buffer is dropped; one that does not fit now waits for the next.
void drainRing(JackSystem& system, JackSession::Slot& slot, JackSession::Counters& counters)
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
        unsigned char* target = system.midiEventReserve(slot.cycleBuffer, slot.lastTime, length);
        if (target == nullptr)
        {
            if (system.midiEventCount(slot.cycleBuffer) != 0)
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
int processCallback(JackSystem::Frames frames, void* arg)
{
    auto* client = static_cast<JackSession::Client*>(arg);
    JackSystem& system = *client->system;
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
        void* buffer = system.portBuffer(slot->port, frames);
        system.midiClearBuffer(buffer);
        if (!draining)
            continue;
        slot->cycleBuffer = buffer;
        slot->lastTime = 0;
        drainRing(system, *slot, counters);
    }
    const JackSystem::Frames cycleStart = system.lastFrameTime(client->handle);
    if (client->clockStarted)
        client->cycleStart64 += static_cast<JackSystem::Frames>(cycleStart - client->lastCycleStart);
    else
        client->cycleStart64 = cycleStart;
    client->clockStarted = true;
    client->lastCycleStart = cycleStart;
    cycleSession = client->session;
    for (auto& slot : slots)
    {
        if (!slot->isInput || !slot->active.load(std::memory_order_seq_cst))
            continue;
        void* buffer = system.portBuffer(slot->port, frames);
        const std::uint32_t count = system.midiEventCount(buffer);
        for (std::uint32_t i = 0; i < count; ++i)
        {
            JackSystem::MidiEvent event;
            if (system.midiEventGet(&event, buffer, i) != 0)
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

void portRegistrationCallback(std::uint32_t, int, void* arg)
{
    static_cast<JackSession::Client*>(arg)->session->notifyPortsChanged();
}

void portRenameCallback(std::uint32_t, const char*, const char*, void* arg)
{
    static_cast<JackSession::Client*>(arg)->session->notifyPortsChanged();
}

void clientRegistrationCallback(const char*, int, void* arg)
{
    static_cast<JackSession::Client*>(arg)->session->notifyPortsChanged();
}
} // namespace

JackSession::JackSession(std::string clientName, Observer* observer_)
    : system(JackSystem::get()), requestedName(std::move(clientName)), observer(observer_),
      counters(std::make_unique<Counters>())
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
        system.deactivate(client->handle);
    system.closeClient(client->handle);
    client.reset();
}

bool JackSession::connect()
{
    std::lock_guard<std::mutex> guard(controlMutex);
    if (client && !client->shutDown.load())
        return true;
    disconnectLocked();
    // libjack reports a missing server with several lines of its own; ours says it once.
    system.setErrorFunction(quietError);
    JackSystem::ClientHandle* handle = system.openClient(requestedName, JackSystem::kNoStartServer);
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
    opened->system = &system;
    opened->handle = handle;
    opened->sampleRate = std::max<JackSystem::Frames>(1, system.sampleRate(handle));
    system.setProcessCallback(handle, processCallback, opened.get());
    system.onShutdown(handle, shutdownCallback, opened.get());
    system.setPortRegistrationCallback(handle, portRegistrationCallback, opened.get());
    system.setPortRenameCallback(handle, portRenameCallback, opened.get());
    system.setClientRegistrationCallback(handle, clientRegistrationCallback, opened.get());
    if (system.activate(handle) != 0)
    {
        system.closeClient(handle);
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
    const std::string own = system.clientName(client->handle) + ":";
    for (const std::string& name :
         system.midiPorts(client->handle, sources ? JackSystem::kPortIsOutput : JackSystem::kPortIsInput))
    {
        if (name.compare(0, own.size(), own) == 0)
            continue;
        PortInfo info;
        info.name = name;
        if (JackSystem::PortHandle* port = system.portByName(client->handle, name))
        {
            const std::vector<std::string> aliases = system.portAliases(port);
            if (!aliases.empty())
                info.prettyName = aliases.front();
        }
        result.push_back(info);
    }
    return result;
}

bool JackSession::portExists(const std::string& fullName)
{
    std::lock_guard<std::mutex> guard(controlMutex);
    return client && !client->shutDown.load() && system.portByName(client->handle, fullName) != nullptr;
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
    if (free == nullptr || (own ? ownName.empty() : system.portByName(client->handle, peer) == nullptr))
        return 0;
    const std::string shortName =
        own ? ownName : std::string(isInput ? "in_" : "out_") + std::to_string(nextPortNumber.fetch_add(1));
    JackSystem::PortHandle* port = system.registerMidiPort(
        client->handle, shortName, isInput ? JackSystem::kPortIsInput : JackSystem::kPortIsOutput);
    if (port == nullptr)
        return 0;
    if (!own)
    {
        const std::string ours = system.portName(port);
        const int connected =
            isInput ? system.connect(client->handle, peer, ours) : system.connect(client->handle, ours, peer);
        if (connected != 0 && connected != JackSystem::kAlreadyConnected)
        {
            system.unregisterPort(client->handle, port);
            return 0;
        }
        // The server applies a connection to the running graph some cycles later: until then
        // events would not travel through it, so the port counts as open only once a cycle ran
        // with it.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (system.isConnectedTo(port, peer) == 0 && !client->shutDown.load() &&
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
            system.unregisterPort(client->handle, slot->port);
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
    system.disconnectPort(client->handle, slot.port);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (system.connectionCount(slot.port) != 0 && !client->shutDown.load() &&
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
    JackSystem::PortHandle* other = system.portByName(client->handle, peer);
    return other != nullptr && system.isConnectedTo(slot->port, peer) != 0;
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
        if (slot->cycleBuffer == nullptr ||
            !writeEvent(system, *slot, cycleEventTime, data, static_cast<std::size_t>(length)))
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
    return static_cast<std::int64_t>(system.frameTime(client->handle)) * 1000 / client->sampleRate;
}

std::string JackSession::clientName() const
{
    std::lock_guard<std::mutex> guard(controlMutex);
    if (!client)
        return requestedName;
    return system.clientName(client->handle);
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
