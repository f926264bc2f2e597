// The JACK seam over libjack: each operation is the libjack call of the same meaning. Handles are
// libjack's own pointers under the seam's opaque names.
#include "midi/jack/JackSystem.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <type_traits>

// The seam spells libjack's types and constants in plain C++; they must stay the same.
static_assert(std::is_same<JackSystem::Frames, jack_nframes_t>::value, "frame type");
static_assert(std::is_same<JackSystem::ProcessCallback, JackProcessCallback>::value, "process callback");
static_assert(std::is_same<JackSystem::ShutdownCallback, JackShutdownCallback>::value, "shutdown callback");
static_assert(std::is_same<JackSystem::PortRegistrationCallback, JackPortRegistrationCallback>::value,
              "port registration callback");
static_assert(std::is_same<JackSystem::PortRenameCallback, JackPortRenameCallback>::value, "port rename callback");
static_assert(std::is_same<JackSystem::ClientRegistrationCallback, JackClientRegistrationCallback>::value,
              "client registration callback");
static_assert(JackSystem::kNoStartServer == JackNoStartServer, "open option");
static_assert(JackSystem::kPortIsInput == JackPortIsInput && JackSystem::kPortIsOutput == JackPortIsOutput,
              "port flags");
static_assert(std::is_same<unsigned char, jack_midi_data_t>::value, "MIDI data type");

namespace
{
jack_client_t* jackClient(JackSystem::ClientHandle* client)
{
    return reinterpret_cast<jack_client_t*>(client);
}

jack_port_t* jackPort(JackSystem::PortHandle* port)
{
    return reinterpret_cast<jack_port_t*>(port);
}

JackSystem::PortHandle* handleOf(jack_port_t* port)
{
    return reinterpret_cast<JackSystem::PortHandle*>(port);
}

class LibjackSystem : public JackSystem
{
public:
    void setErrorFunction(ErrorFunction function) override { jack_set_error_function(function); }

    ClientHandle* openClient(const std::string& name, unsigned options) override
    {
        jack_status_t status{};
        return reinterpret_cast<ClientHandle*>(
            jack_client_open(name.c_str(), static_cast<jack_options_t>(options), &status));
    }

    int closeClient(ClientHandle* client) override { return jack_client_close(jackClient(client)); }
    int activate(ClientHandle* client) override { return jack_activate(jackClient(client)); }
    int deactivate(ClientHandle* client) override { return jack_deactivate(jackClient(client)); }
    std::string clientName(ClientHandle* client) override { return jack_get_client_name(jackClient(client)); }
    Frames sampleRate(ClientHandle* client) override { return jack_get_sample_rate(jackClient(client)); }
    Frames frameTime(ClientHandle* client) override { return jack_frame_time(jackClient(client)); }

    int setProcessCallback(ClientHandle* client, ProcessCallback callback, void* arg) override
    {
        return jack_set_process_callback(jackClient(client), callback, arg);
    }

    void onShutdown(ClientHandle* client, ShutdownCallback callback, void* arg) override
    {
        jack_on_shutdown(jackClient(client), callback, arg);
    }

    int setPortRegistrationCallback(ClientHandle* client, PortRegistrationCallback callback, void* arg) override
    {
        return jack_set_port_registration_callback(jackClient(client), callback, arg);
    }

    int setPortRenameCallback(ClientHandle* client, PortRenameCallback callback, void* arg) override
    {
        return jack_set_port_rename_callback(jackClient(client), callback, arg);
    }

    int setClientRegistrationCallback(ClientHandle* client, ClientRegistrationCallback callback, void* arg) override
    {
        return jack_set_client_registration_callback(jackClient(client), callback, arg);
    }

    std::vector<std::string> midiPorts(ClientHandle* client, unsigned long flags) override
    {
        std::vector<std::string> result;
        const char** names = jack_get_ports(jackClient(client), nullptr, JACK_DEFAULT_MIDI_TYPE, flags);
        if (names == nullptr)
            return result;
        for (const char** name = names; *name != nullptr; ++name)
            result.emplace_back(*name);
        jack_free(names);
        return result;
    }

    PortHandle* portByName(ClientHandle* client, const std::string& fullName) override
    {
        return handleOf(jack_port_by_name(jackClient(client), fullName.c_str()));
    }

    std::vector<std::string> portAliases(PortHandle* port) override
    {
        std::vector<std::string> result;
        const int size = jack_port_name_size();
        std::string first(static_cast<std::size_t>(size), '\0');
        std::string second(static_cast<std::size_t>(size), '\0');
        char* aliases[2] = {&first[0], &second[0]};
        const int count = jack_port_get_aliases(jackPort(port), aliases);
        for (int i = 0; i < count && i < 2; ++i)
            result.emplace_back(aliases[i]);
        return result;
    }

    PortHandle* registerMidiPort(ClientHandle* client, const std::string& shortName, unsigned long flags) override
    {
        return handleOf(jack_port_register(jackClient(client), shortName.c_str(), JACK_DEFAULT_MIDI_TYPE, flags, 0));
    }

    int unregisterPort(ClientHandle* client, PortHandle* port) override
    {
        return jack_port_unregister(jackClient(client), jackPort(port));
    }

    std::string portName(PortHandle* port) override { return jack_port_name(jackPort(port)); }

    int connect(ClientHandle* client, const std::string& source, const std::string& destination) override
    {
        const int result = jack_connect(jackClient(client), source.c_str(), destination.c_str());
        return result == EEXIST ? kAlreadyConnected : result;
    }

    int disconnectPort(ClientHandle* client, PortHandle* port) override
    {
        return jack_port_disconnect(jackClient(client), jackPort(port));
    }

    int connectionCount(PortHandle* port) override { return jack_port_connected(jackPort(port)); }

    int isConnectedTo(PortHandle* port, const std::string& otherName) override
    {
        return jack_port_connected_to(jackPort(port), otherName.c_str());
    }

    void* portBuffer(PortHandle* port, Frames frames) override { return jack_port_get_buffer(jackPort(port), frames); }
    Frames lastFrameTime(ClientHandle* client) override { return jack_last_frame_time(jackClient(client)); }
    void midiClearBuffer(void* buffer) override { jack_midi_clear_buffer(buffer); }
    std::uint32_t midiEventCount(void* buffer) override { return jack_midi_get_event_count(buffer); }

    int midiEventGet(MidiEvent* event, void* buffer, std::uint32_t index) override
    {
        jack_midi_event_t jackEvent;
        const int result = jack_midi_event_get(&jackEvent, buffer, index);
        if (result == 0)
        {
            event->time = jackEvent.time;
            event->size = jackEvent.size;
            event->buffer = jackEvent.buffer;
        }
        return result;
    }

    int midiEventWrite(void* buffer, Frames time, const unsigned char* data, std::size_t size) override
    {
        return jack_midi_event_write(buffer, time, data, size);
    }

    unsigned char* midiEventReserve(void* buffer, Frames time, std::size_t size) override
    {
        return jack_midi_event_reserve(buffer, time, size);
    }
};
} // namespace

JackSystem& JackSystem::real()
{
    static LibjackSystem system;
    return system;
}
