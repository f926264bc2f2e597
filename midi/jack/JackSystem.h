// JackSystem: the one seam between the JACK backend (JackSession) and libjack. Every client,
// port, connection, MIDI buffer and clock call of the session goes through it, with the backend's
// own small types instead of libjack's, so that a test can stand in for the server. libjack's
// ring buffers are not behind it: they are memory utilities that never reach the server.
//
// The program uses libjack (JackSystem_libjack.cpp); tests install a scripted server with
// install(). Each operation mirrors the libjack function of its name (or named beside it) and
// answers as it does.
//
// Threads: as libjack's. The process callback runs on the system's process thread and calls only
// the "process thread" operations below; the shutdown and graph callbacks run on the system's
// notification thread; everything else is called from control threads.
#pragma once

#include "midi/SystemSeam.h"

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class JackSystem : public SystemSeam<JackSystem>
{
public:
    // Opaque handles: the system's client and port objects, never dereferenced by the backend.
    struct ClientHandle;
    struct PortHandle;
    // A frame count or a time on the server's frame clock (jack_nframes_t).
    using Frames = std::uint32_t;

    // One event of a MIDI buffer (jack_midi_event_t): time within the cycle, bytes owned by the
    // buffer.
    struct MidiEvent
    {
        Frames time = 0;
        std::size_t size = 0;
        unsigned char* buffer = nullptr;
    };

    // The callbacks' signatures are libjack's, spelt in plain types.
    using ErrorFunction = void (*)(const char* message);
    using ProcessCallback = int (*)(Frames frames, void* arg);
    using ShutdownCallback = void (*)(void* arg);
    using PortRegistrationCallback = void (*)(std::uint32_t portId, int registered, void* arg);
    using PortRenameCallback = void (*)(std::uint32_t portId, const char* oldName, const char* newName, void* arg);
    using ClientRegistrationCallback = void (*)(const char* name, int registered, void* arg);

    // Open options (JackOptions).
    static constexpr unsigned kNoStartServer = 0x01;
    // Port flags (JackPortFlags).
    static constexpr unsigned long kPortIsInput = 0x1;
    static constexpr unsigned long kPortIsOutput = 0x2;
    // What connect() returns for a connection that exists already.
    static constexpr int kAlreadyConnected = EEXIST;

    virtual ~JackSystem() = default;

    // libjack's system (JackSystem_libjack.cpp). Tests install theirs (SystemSeam) while no
    // JackSession exists: a session keeps the system it was made with.
    static JackSystem& real();

    // --- Client (control threads) ---
    virtual void setErrorFunction(ErrorFunction function) = 0;                       // jack_set_error_function
    virtual ClientHandle* openClient(const std::string& name, unsigned options) = 0; // jack_client_open
    virtual int closeClient(ClientHandle* client) = 0;                               // jack_client_close
    virtual int activate(ClientHandle* client) = 0;                                  // jack_activate
    virtual int deactivate(ClientHandle* client) = 0;                                // jack_deactivate
    virtual std::string clientName(ClientHandle* client) = 0;                        // jack_get_client_name
    virtual Frames sampleRate(ClientHandle* client) = 0;                             // jack_get_sample_rate
    virtual Frames frameTime(ClientHandle* client) = 0;                              // jack_frame_time

    // --- Callbacks, set before activate ---
    virtual int setProcessCallback(ClientHandle* client, ProcessCallback callback, void* arg) = 0;
    virtual void onShutdown(ClientHandle* client, ShutdownCallback callback, void* arg) = 0;
    virtual int setPortRegistrationCallback(ClientHandle* client, PortRegistrationCallback callback, void* arg) = 0;
    virtual int setPortRenameCallback(ClientHandle* client, PortRenameCallback callback, void* arg) = 0;
    virtual int setClientRegistrationCallback(ClientHandle* client, ClientRegistrationCallback callback,
                                              void* arg) = 0;

    // --- Ports and connections (control threads; MIDI ports only) ---
    // Full names of the MIDI ports whose flags include flags (jack_get_ports).
    virtual std::vector<std::string> midiPorts(ClientHandle* client, unsigned long flags) = 0;
    virtual PortHandle* portByName(ClientHandle* client, const std::string& fullName) = 0; // jack_port_by_name
    // The port's aliases, at most two (jack_port_get_aliases).
    virtual std::vector<std::string> portAliases(PortHandle* port) = 0;
    // Null when the name is taken or the server refuses (jack_port_register).
    virtual PortHandle* registerMidiPort(ClientHandle* client, const std::string& shortName,
                                         unsigned long flags) = 0;
    virtual int unregisterPort(ClientHandle* client, PortHandle* port) = 0;        // jack_port_unregister
    virtual std::string portName(PortHandle* port) = 0;                            // jack_port_name
    virtual int connect(ClientHandle* client, const std::string& source,
                        const std::string& destination) = 0;                       // jack_connect
    virtual int disconnectPort(ClientHandle* client, PortHandle* port) = 0;        // jack_port_disconnect
    virtual int connectionCount(PortHandle* port) = 0;                             // jack_port_connected
    virtual int isConnectedTo(PortHandle* port, const std::string& otherName) = 0; // jack_port_connected_to

    // --- Process thread: no allocation, no lock, no blocking ---
    virtual void* portBuffer(PortHandle* port, Frames frames) = 0; // jack_port_get_buffer
    virtual Frames lastFrameTime(ClientHandle* client) = 0;        // jack_last_frame_time
    virtual void midiClearBuffer(void* buffer) = 0;                // jack_midi_clear_buffer
    virtual std::uint32_t midiEventCount(void* buffer) = 0;        // jack_midi_get_event_count
    virtual int midiEventGet(MidiEvent* event, void* buffer, std::uint32_t index) = 0; // jack_midi_event_get
    virtual int midiEventWrite(void* buffer, Frames time, const unsigned char* data,
                               std::size_t size) = 0; // jack_midi_event_write
    virtual unsigned char* midiEventReserve(void* buffer, Frames time, std::size_t size) = 0; // jack_midi_event_reserve
};
