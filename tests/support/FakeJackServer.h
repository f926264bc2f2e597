// FakeJackServer: a scripted stand-in for libjack behind the JACK backend's seam (JackSystem).
// Tests add and remove ports of other clients, fill those clients' output buffers, run process
// cycles and read what reached their input ports, and make the server go away.
//
// As JACK: port registrations and the shutdown are told to our clients on a notification thread
// of the fake's own, in order; runCycle() runs the process callback of every active client on the
// calling thread, which stands in for the process thread (cycles never overlap). After
// deactivate / closeClient returns, no process callback (and after closeClient no notification)
// of that client runs any more. Our output buffers keep what they held until the client clears
// them, and whatever they hold at the end of a cycle reaches the ports connected to them.
// Client registration and rename notifications are never sent; connections apply at once.
//
// Misuse that libjack would not forgive is counted in faults(): a call with a closed client or
// an unregistered port, a server call by a client that was told of the shutdown (but closing
// it), a MIDI buffer call outside a cycle, an event written before the previous one or beyond
// the cycle.
//
// Threads: every operation may be called from any thread but the notification thread.
#pragma once

#include "midi/jack/JackSystem.h"
#include "support/JobThread.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class FakeJackServer : public JackSystem
{
public:
    struct Event
    {
        Frames time = 0;
        std::vector<unsigned char> bytes;
    };

    FakeJackServer();
    ~FakeJackServer() override;

    // --- The server ---
    // A MIDI port of another client ("client:port"): a source when isOutput, else a destination.
    void addPort(const std::string& fullName, bool isOutput, const std::string& alias = std::string());
    void removePort(const std::string& fullName);
    // The server goes away: every client is told on the notification thread; all ports but
    // those of our (now dead) clients and all connections are gone; opens fail until start().
    void shutDown();
    void start();
    void setSampleRate(Frames rate) { sampleRate_.store(rate); }
    // The frame time at which the next cycle starts.
    void setFrameTime(Frames time);
    // Bytes of MIDI data that one port buffer holds (for the ports registered from now on).
    void setBufferBytes(std::size_t bytes) { bufferBytes.store(bytes); }

    // --- Cycles ---
    // Puts an event into the buffer of another client's output port for the next cycle.
    void queueEvent(const std::string& sourcePort, Frames time, std::vector<unsigned char> bytes);
    // One cycle of frames frames for every active client, on the calling thread.
    void runCycle(Frames frames);
    // Runs cycles on a thread of the fake's while action runs on the calling thread (our
    // opens wait for a cycle).
    void whileCycling(const std::function<void()>& action);

    // --- Observations ---
    // Events that reached another client's input port, over all cycles so far.
    std::vector<Event> received(const std::string& destinationPort) const;
    // Waits until the notification thread has run everything queued so far.
    void drainNotifications();
    std::thread::id notificationThread() const { return notifier.id(); }
    int openClients() const;
    int clientsOpened() const;
    int faults() const { return faultCount.load(); }

    // JackSystem
    void setErrorFunction(ErrorFunction) override {}
    ClientHandle* openClient(const std::string& name, unsigned options) override;
    int closeClient(ClientHandle* client) override;
    int activate(ClientHandle* client) override;
    int deactivate(ClientHandle* client) override;
    std::string clientName(ClientHandle* client) override;
    Frames sampleRate(ClientHandle*) override { return sampleRate_.load(); }
    Frames frameTime(ClientHandle*) override { return frameClock.load(); }
    int setProcessCallback(ClientHandle* client, ProcessCallback callback, void* arg) override;
    void onShutdown(ClientHandle* client, ShutdownCallback callback, void* arg) override;
    int setPortRegistrationCallback(ClientHandle* client, PortRegistrationCallback callback, void* arg) override;
    int setPortRenameCallback(ClientHandle* client, PortRenameCallback, void*) override;
    int setClientRegistrationCallback(ClientHandle* client, ClientRegistrationCallback, void*) override;
    std::vector<std::string> midiPorts(ClientHandle* client, unsigned long flags) override;
    PortHandle* portByName(ClientHandle* client, const std::string& fullName) override;
    std::vector<std::string> portAliases(PortHandle* port) override;
    PortHandle* registerMidiPort(ClientHandle* client, const std::string& shortName, unsigned long flags) override;
    int unregisterPort(ClientHandle* client, PortHandle* port) override;
    std::string portName(PortHandle* port) override;
    int connect(ClientHandle* client, const std::string& source, const std::string& destination) override;
    int disconnectPort(ClientHandle* client, PortHandle* port) override;
    int connectionCount(PortHandle* port) override;
    int isConnectedTo(PortHandle* port, const std::string& otherName) override;
    void* portBuffer(PortHandle* port, Frames frames) override;
    Frames lastFrameTime(ClientHandle*) override { return cycleStart.load(); }
    void midiClearBuffer(void* buffer) override;
    std::uint32_t midiEventCount(void* buffer) override;
    int midiEventGet(MidiEvent* event, void* buffer, std::uint32_t index) override;
    int midiEventWrite(void* buffer, Frames time, const unsigned char* data, std::size_t size) override;
    unsigned char* midiEventReserve(void* buffer, Frames time, std::size_t size) override;

private:
    struct Client;
    struct Port;
    struct Buffer;

    // Under mutex.
    Client* liveClient(ClientHandle* handle);
    // liveClient, and null when the server went away under it.
    Client* serverClient(ClientHandle* handle);
    Port* findPort(const std::string& fullName) const;
    Port* livePort(PortHandle* handle);
    bool connected(const Port* source, const Port* destination) const;
    void dropConnections(const Port* port);
    void notifyPortRegistration();
    void fault() { faultCount.fetch_add(1); }
    // Process thread: a buffer that may be used now.
    Buffer* cycleBuffer(void* buffer);

    void post(Client* client, std::function<void()> call);

    mutable std::mutex mutex;
    std::condition_variable idle; // a callback ended (under mutex)
    std::vector<std::unique_ptr<Client>> clients; // kept until the end: handles stay addresses
    std::vector<std::unique_ptr<Port>> ports;     // likewise
    std::vector<std::pair<Port*, Port*>> connections; // source, destination
    bool running = true;
    std::atomic<Frames> sampleRate_{48000};
    std::atomic<Frames> frameClock{0};
    std::atomic<Frames> cycleStart{0};
    std::atomic<std::size_t> bufferBytes{4096};
    std::atomic<bool> inCycle{false};
    std::atomic<int> faultCount{0};
    std::mutex cycleMutex; // one cycle at a time

    lumo_test::JobThread notifier; // last: its jobs use everything above
};
