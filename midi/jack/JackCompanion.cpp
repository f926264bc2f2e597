#include "midi/jack/JackCompanion.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>
#include <deque>
#include <map>
#include <mutex>

namespace
{
void quietError(const char*) {}

struct CompanionPort
{
    jack_port_t* port = nullptr;
    bool isOutput = false;
    // Being removed: cleared every cycle, takes nothing new.
    bool closing = false;
    std::deque<std::vector<unsigned char>> queue;
    std::vector<JackCompanion::Event> sent;
    std::vector<JackCompanion::Event> received;
};
} // namespace

struct JackCompanion::State
{
    jack_client_t* client = nullptr;
    mutable std::mutex mutex;
    std::map<std::string, CompanionPort> ports;
    std::atomic<std::uint64_t> cycles{0};

    jack_port_t* find(const std::string& port) const;
};

namespace
{
int companionProcess(jack_nframes_t frames, void* arg)
{
    auto* state = static_cast<JackCompanion::State*>(arg);
    // A test client may wait briefly: the operations never hold the mutex across a JACK call.
    std::lock_guard<std::mutex> lock(state->mutex);
    const jack_nframes_t cycleStart = jack_last_frame_time(state->client);
    for (auto& entry : state->ports)
    {
        CompanionPort& port = entry.second;
        void* buffer = jack_port_get_buffer(port.port, frames);
        if (port.isOutput)
        {
            jack_midi_clear_buffer(buffer);
            while (!port.closing && !port.queue.empty())
            {
                const std::vector<unsigned char>& bytes = port.queue.front();
                if (jack_midi_event_write(buffer, 0, bytes.data(), bytes.size()) != 0)
                    break;
                port.sent.push_back({bytes, cycleStart, cycleStart});
                port.queue.pop_front();
            }
            continue;
        }
        const std::uint32_t count = jack_midi_get_event_count(buffer);
        for (std::uint32_t i = 0; i < count; ++i)
        {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, buffer, i) == 0)
                port.received.push_back(
                    {std::vector<unsigned char>(event.buffer, event.buffer + event.size), cycleStart + event.time, cycleStart});
        }
    }
    state->cycles.fetch_add(1, std::memory_order_release);
    return 0;
}
} // namespace

JackCompanion::JackCompanion() : state(std::make_unique<State>()) {}

JackCompanion::~JackCompanion()
{
    if (state->client != nullptr)
    {
        jack_deactivate(state->client);
        jack_client_close(state->client);
    }
}

std::unique_ptr<JackCompanion> JackCompanion::open(const std::string& name)
{
    jack_set_error_function(quietError);
    jack_status_t status{};
    jack_client_t* client = jack_client_open(name.c_str(), JackNoStartServer, &status);
    if (client == nullptr)
        return nullptr;
    std::unique_ptr<JackCompanion> companion(new JackCompanion());
    companion->state->client = client;
    jack_set_process_callback(client, companionProcess, companion->state.get());
    if (jack_activate(client) != 0)
        return nullptr;
    return companion;
}

std::string JackCompanion::name() const
{
    return jack_get_client_name(state->client);
}

std::string JackCompanion::fullName(const std::string& port) const
{
    return name() + ":" + port;
}

bool JackCompanion::addPort(const std::string& port, bool isOutput)
{
    jack_port_t* registered = jack_port_register(state->client, port.c_str(), JACK_DEFAULT_MIDI_TYPE,
                                                 isOutput ? JackPortIsOutput : JackPortIsInput, 0);
    if (registered == nullptr)
        return false;
    std::lock_guard<std::mutex> guard(state->mutex);
    CompanionPort& entry = state->ports[port];
    entry.port = registered;
    entry.isOutput = isOutput;
    entry.queue.clear();
    return true;
}

bool JackCompanion::removePort(const std::string& port)
{
    jack_port_t* gone = nullptr;
    bool isOutput = false;
    {
        std::lock_guard<std::mutex> guard(state->mutex);
        auto found = state->ports.find(port);
        if (found == state->ports.end())
            return false;
        gone = found->second.port;
        isOutput = found->second.isOutput;
        found->second.closing = true;
        found->second.queue.clear();
    }
    if (isOutput)
    {
        // Cleared while the disconnection reaches the running graph, and for one cycle after.
        jack_port_disconnect(state->client, gone);
        for (int waited = 0; jack_port_connected(gone) > 0 && waited < 2000; ++waited)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        waitForCycles(2, 1000);
    }
    {
        std::lock_guard<std::mutex> guard(state->mutex);
        state->ports.erase(port);
    }
    // The process callback no longer sees the port: unregistering cannot race with it.
    return jack_port_unregister(state->client, gone) == 0;
}

bool JackCompanion::waitForCycles(int count, int timeoutMs) const
{
    const std::uint64_t target = state->cycles.load(std::memory_order_acquire) + static_cast<std::uint64_t>(count);
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (state->cycles.load(std::memory_order_acquire) < target)
    {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

bool JackCompanion::connect(const std::string& source, const std::string& destination)
{
    const int result = jack_connect(state->client, source.c_str(), destination.c_str());
    return result == 0 || result == EEXIST;
}

jack_port_t* JackCompanion::State::find(const std::string& port) const
{
    std::lock_guard<std::mutex> guard(mutex);
    auto found = ports.find(port);
    return found == ports.end() ? nullptr : found->second.port;
}

int JackCompanion::connectionCount(const std::string& port) const
{
    jack_port_t* ours = state->find(port);
    return ours != nullptr ? jack_port_connected(ours) : -1;
}

bool JackCompanion::disconnectAll(const std::string& port)
{
    jack_port_t* ours = state->find(port);
    return ours != nullptr && jack_port_disconnect(state->client, ours) == 0;
}

bool JackCompanion::send(const std::string& port, const std::vector<unsigned char>& bytes)
{
    std::lock_guard<std::mutex> guard(state->mutex);
    auto found = state->ports.find(port);
    if (found == state->ports.end() || !found->second.isOutput || found->second.closing)
        return false;
    found->second.queue.push_back(bytes);
    return true;
}

std::size_t JackCompanion::pendingSends() const
{
    std::lock_guard<std::mutex> guard(state->mutex);
    std::size_t pending = 0;
    for (const auto& entry : state->ports)
        pending += entry.second.queue.size();
    return pending;
}

std::vector<JackCompanion::Event> JackCompanion::sent(const std::string& port) const
{
    std::lock_guard<std::mutex> guard(state->mutex);
    auto found = state->ports.find(port);
    return found == state->ports.end() ? std::vector<Event>() : found->second.sent;
}

std::vector<JackCompanion::Event> JackCompanion::received(const std::string& port) const
{
    std::lock_guard<std::mutex> guard(state->mutex);
    auto found = state->ports.find(port);
    return found == state->ports.end() ? std::vector<Event>() : found->second.received;
}

std::size_t JackCompanion::receivedCount(const std::string& port) const
{
    std::lock_guard<std::mutex> guard(state->mutex);
    auto found = state->ports.find(port);
    return found == state->ports.end() ? 0 : found->second.received.size();
}

void JackCompanion::clearRecords()
{
    std::lock_guard<std::mutex> guard(state->mutex);
    for (auto& entry : state->ports)
    {
        entry.second.sent.clear();
        entry.second.received.clear();
    }
}

std::uint32_t JackCompanion::sampleRate() const
{
    return jack_get_sample_rate(state->client);
}
