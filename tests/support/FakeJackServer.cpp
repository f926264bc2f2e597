#include "support/FakeJackServer.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

struct FakeJackServer::Client
{
    std::string name;
    // Under mutex.
    bool open = true;
    bool active = false;
    bool dead = false; // the server went away under it
    bool told = false; // and its shutdown callback has run: it knows
    int processing = 0;
    int notifying = 0;
    // Set before activate.
    ProcessCallback process = nullptr;
    void* processArg = nullptr;
    ShutdownCallback shutdown = nullptr;
    void* shutdownArg = nullptr;
    PortRegistrationCallback registration = nullptr;
    void* registrationArg = nullptr;
};

// A MIDI port buffer: the bytes of its events in one block of fixed size, as JACK's.
struct FakeJackServer::Buffer
{
    struct Entry
    {
        Frames time;
        std::size_t offset;
        std::size_t size;
    };

    explicit Buffer(std::size_t capacity) : data(capacity) {}
    void clear()
    {
        used = 0;
        events.clear();
    }
    unsigned char* reserve(Frames time, std::size_t size)
    {
        if (used + size > data.size())
            return nullptr;
        events.push_back({time, used, size});
        used += size;
        return &data[events.back().offset];
    }

    std::vector<unsigned char> data;
    std::size_t used = 0;
    std::vector<Entry> events;
    Frames frames = 0;
};

struct FakeJackServer::Port
{
    Port(std::string name, Client* owner_, bool isOutput_, std::size_t bufferBytes)
        : fullName(std::move(name)), owner(owner_), isOutput(isOutput_), buffer(bufferBytes)
    {
    }

    const std::string fullName;
    Client* const owner; // null: a port of another client, played by the test
    const bool isOutput;
    std::string alias;
    std::atomic<bool> registered{true};
    std::atomic<bool> diedWithServer{false};
    Buffer buffer;               // ours: the process thread's
    std::vector<Event> queued;   // another client's output, for the next cycle (under mutex)
    std::vector<Event> received; // another client's input (under mutex)
};

FakeJackServer::FakeJackServer() = default;

FakeJackServer::~FakeJackServer()
{
    notifier.stop();
}

// --- Notification thread --------------------------------------------------------------------

void FakeJackServer::post(Client* client, std::function<void()> call)
{
    notifier.post([this, client, call = std::move(call)] {
        {
            std::lock_guard<std::mutex> state(mutex);
            if (!client->open)
                return;
            ++client->notifying;
        }
        call();
        std::lock_guard<std::mutex> state(mutex);
        --client->notifying;
        idle.notify_all();
    });
}

void FakeJackServer::drainNotifications()
{
    notifier.drain();
}

void FakeJackServer::notifyPortRegistration()
{
    for (const auto& client : clients)
    {
        if (client->open && client->active && !client->dead && client->registration != nullptr)
        {
            const auto callback = client->registration;
            post(client.get(), [callback, arg = client->registrationArg] { callback(0, 1, arg); });
        }
    }
}

// --- The server -----------------------------------------------------------------------------

void FakeJackServer::addPort(const std::string& fullName, bool isOutput, const std::string& alias)
{
    std::lock_guard<std::mutex> guard(mutex);
    ports.push_back(std::make_unique<Port>(fullName, nullptr, isOutput, bufferBytes.load()));
    ports.back()->alias = alias;
    notifyPortRegistration();
}

void FakeJackServer::removePort(const std::string& fullName)
{
    std::lock_guard<std::mutex> guard(mutex);
    Port* port = findPort(fullName);
    if (port == nullptr || port->owner != nullptr)
        return;
    port->registered.store(false);
    dropConnections(port);
    notifyPortRegistration();
}

void FakeJackServer::shutDown()
{
    std::lock_guard<std::mutex> guard(mutex);
    running = false;
    for (auto& port : ports)
    {
        if (port->registered.load())
            port->diedWithServer.store(true);
        port->registered.store(false);
    }
    connections.clear();
    for (auto& client : clients)
    {
        if (!client->open || client->dead)
            continue;
        client->dead = true;
        client->active = false;
        Client* dead = client.get();
        post(dead, [this, dead, callback = client->shutdown, arg = client->shutdownArg] {
            if (callback != nullptr)
                callback(arg);
            std::lock_guard<std::mutex> guard(mutex);
            dead->told = true;
        });
    }
}

void FakeJackServer::start()
{
    std::lock_guard<std::mutex> guard(mutex);
    running = true;
}

void FakeJackServer::setFrameTime(Frames time)
{
    std::lock_guard<std::mutex> cycle(cycleMutex);
    frameClock.store(time);
}

// --- Cycles ---------------------------------------------------------------------------------

void FakeJackServer::queueEvent(const std::string& sourcePort, Frames time, std::vector<unsigned char> bytes)
{
    std::lock_guard<std::mutex> guard(mutex);
    Port* port = findPort(sourcePort);
    if (port != nullptr && port->owner == nullptr && port->isOutput)
        port->queued.push_back({time, std::move(bytes)});
}

void FakeJackServer::runCycle(Frames frames)
{
    std::lock_guard<std::mutex> cycle(cycleMutex);
    std::vector<Client*> ran;
    const Frames start = frameClock.load();
    {
        std::lock_guard<std::mutex> guard(mutex);
        if (!running)
            return;
        cycleStart.store(start);
        for (auto& port : ports)
        {
            if (port->owner == nullptr || !port->registered.load())
                continue;
            port->buffer.frames = frames;
            if (port->isOutput)
                continue; // keeps what it held: the client clears it
            // Our input: what the sources connected to it put out in this cycle, in time order.
            std::vector<Event> mixed;
            for (const auto& connection : connections)
                if (connection.second == port.get())
                    mixed.insert(mixed.end(), connection.first->queued.begin(), connection.first->queued.end());
            std::stable_sort(mixed.begin(), mixed.end(),
                             [](const Event& a, const Event& b) { return a.time < b.time; });
            port->buffer.clear();
            for (const Event& event : mixed)
                if (unsigned char* target = port->buffer.reserve(event.time, event.bytes.size()))
                    std::memcpy(target, event.bytes.data(), event.bytes.size());
        }
        for (auto& client : clients)
        {
            if (client->open && client->active && !client->dead && client->process != nullptr)
            {
                ++client->processing;
                ran.push_back(client.get());
            }
        }
    }
    inCycle.store(true);
    for (Client* client : ran)
        client->process(frames, client->processArg);
    inCycle.store(false);
    std::lock_guard<std::mutex> guard(mutex);
    for (Client* client : ran)
        --client->processing;
    idle.notify_all();
    // Whatever our outputs hold now reaches the ports connected to them.
    for (const auto& connection : connections)
    {
        const Port& source = *connection.first;
        if (source.owner == nullptr)
            continue;
        for (const Buffer::Entry& entry : source.buffer.events)
        {
            const unsigned char* bytes = &source.buffer.data[entry.offset];
            connection.second->received.push_back({entry.time, std::vector<unsigned char>(bytes, bytes + entry.size)});
        }
    }
    for (auto& port : ports)
        port->queued.clear();
    frameClock.store(start + frames);
}

void FakeJackServer::whileCycling(const std::function<void()>& action)
{
    std::atomic<bool> done{false};
    std::thread cycler([&] {
        while (!done.load())
        {
            runCycle(64);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    try
    {
        action();
    }
    catch (...)
    {
        done.store(true);
        cycler.join();
        throw;
    }
    done.store(true);
    cycler.join();
}

// --- Observations ---------------------------------------------------------------------------

std::vector<FakeJackServer::Event> FakeJackServer::received(const std::string& destinationPort) const
{
    std::lock_guard<std::mutex> guard(mutex);
    for (auto port = ports.rbegin(); port != ports.rend(); ++port)
        if ((*port)->fullName == destinationPort)
            return (*port)->received;
    return {};
}

int FakeJackServer::openClients() const
{
    std::lock_guard<std::mutex> guard(mutex);
    return static_cast<int>(std::count_if(clients.begin(), clients.end(), [](const auto& c) { return c->open; }));
}

int FakeJackServer::clientsOpened() const
{
    std::lock_guard<std::mutex> guard(mutex);
    return static_cast<int>(clients.size());
}

// --- Look-ups (under mutex) -----------------------------------------------------------------

FakeJackServer::Client* FakeJackServer::liveClient(ClientHandle* handle)
{
    for (const auto& client : clients)
        if (reinterpret_cast<ClientHandle*>(client.get()) == handle && client->open)
            return client.get();
    fault();
    return nullptr;
}

FakeJackServer::Client* FakeJackServer::serverClient(ClientHandle* handle)
{
    Client* client = liveClient(handle);
    if (client == nullptr || !client->dead)
        return client;
    if (client->told)
        fault(); // libjack's client is unusable once it told of the shutdown
    return nullptr;
}

FakeJackServer::Port* FakeJackServer::findPort(const std::string& fullName) const
{
    for (const auto& port : ports)
        if (port->registered.load() && port->fullName == fullName)
            return port.get();
    return nullptr;
}

FakeJackServer::Port* FakeJackServer::livePort(PortHandle* handle)
{
    for (const auto& port : ports)
    {
        if (reinterpret_cast<PortHandle*>(port.get()) != handle)
            continue;
        if (port->registered.load())
            return port.get();
        // A stale handle: unregistered by its owner, or its client was told the server is gone.
        if (!port->diedWithServer.load() || (port->owner != nullptr && port->owner->told))
            fault();
        return nullptr;
    }
    fault();
    return nullptr;
}

bool FakeJackServer::connected(const Port* source, const Port* destination) const
{
    return std::any_of(connections.begin(), connections.end(),
                       [&](const auto& c) { return c.first == source && c.second == destination; });
}

void FakeJackServer::dropConnections(const Port* port)
{
    connections.erase(std::remove_if(connections.begin(), connections.end(),
                                     [port](const auto& c) { return c.first == port || c.second == port; }),
                      connections.end());
}

// --- JackSystem: client ---------------------------------------------------------------------

JackSystem::ClientHandle* FakeJackServer::openClient(const std::string& name, unsigned)
{
    std::lock_guard<std::mutex> guard(mutex);
    if (!running)
        return nullptr;
    clients.push_back(std::make_unique<Client>());
    clients.back()->name = name;
    return reinterpret_cast<ClientHandle*>(clients.back().get());
}

int FakeJackServer::closeClient(ClientHandle* handle)
{
    std::unique_lock<std::mutex> guard(mutex);
    Client* client = liveClient(handle);
    if (client == nullptr)
        return -1;
    client->open = false;
    client->active = false;
    for (auto& port : ports)
    {
        if (port->owner == client)
        {
            port->registered.store(false);
            dropConnections(port.get());
        }
    }
    if (std::this_thread::get_id() == notifier.id())
        fault(); // libjack forbids closing from a callback
    else
        idle.wait(guard, [client] { return client->processing == 0 && client->notifying == 0; });
    return 0;
}

int FakeJackServer::activate(ClientHandle* handle)
{
    std::lock_guard<std::mutex> guard(mutex);
    Client* client = serverClient(handle);
    if (client == nullptr)
        return -1;
    client->active = true;
    return 0;
}

int FakeJackServer::deactivate(ClientHandle* handle)
{
    std::unique_lock<std::mutex> guard(mutex);
    Client* client = serverClient(handle);
    if (client == nullptr)
        return -1;
    client->active = false;
    idle.wait(guard, [client] { return client->processing == 0; });
    return 0;
}

std::string FakeJackServer::clientName(ClientHandle* handle)
{
    std::lock_guard<std::mutex> guard(mutex);
    Client* client = liveClient(handle);
    return client != nullptr ? client->name : std::string();
}

int FakeJackServer::setProcessCallback(ClientHandle* handle, ProcessCallback callback, void* arg)
{
    std::lock_guard<std::mutex> guard(mutex);
    Client* client = liveClient(handle);
    if (client == nullptr || client->active)
        return -1;
    client->process = callback;
    client->processArg = arg;
    return 0;
}

void FakeJackServer::onShutdown(ClientHandle* handle, ShutdownCallback callback, void* arg)
{
    std::lock_guard<std::mutex> guard(mutex);
    if (Client* client = liveClient(handle))
    {
        client->shutdown = callback;
        client->shutdownArg = arg;
    }
}

int FakeJackServer::setPortRegistrationCallback(ClientHandle* handle, PortRegistrationCallback callback, void* arg)
{
    std::lock_guard<std::mutex> guard(mutex);
    Client* client = liveClient(handle);
    if (client == nullptr || client->active)
        return -1;
    client->registration = callback;
    client->registrationArg = arg;
    return 0;
}

int FakeJackServer::setPortRenameCallback(ClientHandle* handle, PortRenameCallback, void*)
{
    std::lock_guard<std::mutex> guard(mutex);
    return liveClient(handle) != nullptr ? 0 : -1;
}

int FakeJackServer::setClientRegistrationCallback(ClientHandle* handle, ClientRegistrationCallback, void*)
{
    std::lock_guard<std::mutex> guard(mutex);
    return liveClient(handle) != nullptr ? 0 : -1;
}

// --- JackSystem: ports and connections ------------------------------------------------------

std::vector<std::string> FakeJackServer::midiPorts(ClientHandle* handle, unsigned long flags)
{
    std::lock_guard<std::mutex> guard(mutex);
    std::vector<std::string> names;
    Client* client = serverClient(handle);
    if (client == nullptr)
        return names;
    for (const auto& port : ports)
    {
        const unsigned long portFlags = port->isOutput ? kPortIsOutput : kPortIsInput;
        if (port->registered.load() && (portFlags & flags) == flags)
            names.push_back(port->fullName);
    }
    return names;
}

JackSystem::PortHandle* FakeJackServer::portByName(ClientHandle* handle, const std::string& fullName)
{
    std::lock_guard<std::mutex> guard(mutex);
    Client* client = serverClient(handle);
    if (client == nullptr)
        return nullptr;
    return reinterpret_cast<PortHandle*>(findPort(fullName));
}

std::vector<std::string> FakeJackServer::portAliases(PortHandle* handle)
{
    std::lock_guard<std::mutex> guard(mutex);
    Port* port = livePort(handle);
    if (port == nullptr || port->alias.empty())
        return {};
    return {port->alias};
}

JackSystem::PortHandle* FakeJackServer::registerMidiPort(ClientHandle* handle, const std::string& shortName,
                                                         unsigned long flags)
{
    std::lock_guard<std::mutex> guard(mutex);
    Client* client = serverClient(handle);
    if (client == nullptr)
        return nullptr;
    const std::string fullName = client->name + ":" + shortName;
    if (findPort(fullName) != nullptr)
        return nullptr;
    ports.push_back(std::make_unique<Port>(fullName, client, (flags & kPortIsOutput) != 0, bufferBytes.load()));
    notifyPortRegistration();
    return reinterpret_cast<PortHandle*>(ports.back().get());
}

int FakeJackServer::unregisterPort(ClientHandle* handle, PortHandle* portHandle)
{
    std::lock_guard<std::mutex> guard(mutex);
    Client* client = serverClient(handle);
    Port* port = livePort(portHandle);
    if (client == nullptr || port == nullptr)
        return -1;
    if (port->owner != client)
    {
        fault();
        return -1;
    }
    port->registered.store(false);
    dropConnections(port);
    notifyPortRegistration();
    return 0;
}

std::string FakeJackServer::portName(PortHandle* handle)
{
    std::lock_guard<std::mutex> guard(mutex);
    Port* port = livePort(handle);
    return port != nullptr ? port->fullName : std::string();
}

int FakeJackServer::connect(ClientHandle* handle, const std::string& source, const std::string& destination)
{
    std::lock_guard<std::mutex> guard(mutex);
    Client* client = serverClient(handle);
    if (client == nullptr)
        return -1;
    Port* from = findPort(source);
    Port* to = findPort(destination);
    if (from == nullptr || to == nullptr || !from->isOutput || to->isOutput)
        return -1;
    if (connected(from, to))
        return kAlreadyConnected;
    connections.emplace_back(from, to);
    return 0;
}

int FakeJackServer::disconnectPort(ClientHandle* handle, PortHandle* portHandle)
{
    std::lock_guard<std::mutex> guard(mutex);
    Client* client = serverClient(handle);
    Port* port = livePort(portHandle);
    if (client == nullptr || port == nullptr)
        return -1;
    dropConnections(port);
    return 0;
}

int FakeJackServer::connectionCount(PortHandle* handle)
{
    std::lock_guard<std::mutex> guard(mutex);
    Port* port = livePort(handle);
    if (port == nullptr)
        return 0;
    return static_cast<int>(std::count_if(connections.begin(), connections.end(), [port](const auto& c) {
        return c.first == port || c.second == port;
    }));
}

int FakeJackServer::isConnectedTo(PortHandle* handle, const std::string& otherName)
{
    std::lock_guard<std::mutex> guard(mutex);
    Port* port = livePort(handle);
    Port* other = findPort(otherName);
    if (port == nullptr || other == nullptr)
        return 0;
    return connected(port, other) || connected(other, port) ? 1 : 0;
}

// --- JackSystem: process thread -------------------------------------------------------------

FakeJackServer::Buffer* FakeJackServer::cycleBuffer(void* buffer)
{
    if (!inCycle.load())
        fault();
    return static_cast<Buffer*>(buffer);
}

void* FakeJackServer::portBuffer(PortHandle* handle, Frames frames)
{
    auto* port = reinterpret_cast<Port*>(handle);
    if (!inCycle.load() || !port->registered.load() || port->owner == nullptr)
        fault();
    port->buffer.frames = frames;
    return &port->buffer;
}

void FakeJackServer::midiClearBuffer(void* buffer)
{
    cycleBuffer(buffer)->clear();
}

std::uint32_t FakeJackServer::midiEventCount(void* buffer)
{
    return static_cast<std::uint32_t>(cycleBuffer(buffer)->events.size());
}

int FakeJackServer::midiEventGet(MidiEvent* event, void* buffer, std::uint32_t index)
{
    Buffer* midi = cycleBuffer(buffer);
    if (index >= midi->events.size())
        return ENODATA;
    const Buffer::Entry& entry = midi->events[index];
    event->time = entry.time;
    event->size = entry.size;
    event->buffer = &midi->data[entry.offset];
    return 0;
}

int FakeJackServer::midiEventWrite(void* buffer, Frames time, const unsigned char* data, std::size_t size)
{
    unsigned char* target = midiEventReserve(buffer, time, size);
    if (target == nullptr)
        return ENOBUFS;
    std::memcpy(target, data, size);
    return 0;
}

unsigned char* FakeJackServer::midiEventReserve(void* buffer, Frames time, std::size_t size)
{
    Buffer* midi = cycleBuffer(buffer);
    if (time >= midi->frames || (!midi->events.empty() && time < midi->events.back().time))
    {
        fault(); // libjack drops such an event and counts it as lost
        return nullptr;
    }
    return midi->reserve(time, size);
}
