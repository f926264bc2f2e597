#include "midi/alsa/AlsaSystem.h"

#include <alsa/asoundlib.h>

#include <cstring>

namespace
{
static_assert(AlsaSeq::kEventNone == SND_SEQ_EVENT_NONE && AlsaSeq::kEventSysEx == SND_SEQ_EVENT_SYSEX &&
              AlsaSeq::kEventClientStart == SND_SEQ_EVENT_CLIENT_START &&
              AlsaSeq::kEventClientExit == SND_SEQ_EVENT_CLIENT_EXIT &&
              AlsaSeq::kEventClientChange == SND_SEQ_EVENT_CLIENT_CHANGE &&
              AlsaSeq::kEventPortStart == SND_SEQ_EVENT_PORT_START &&
              AlsaSeq::kEventPortExit == SND_SEQ_EVENT_PORT_EXIT &&
              AlsaSeq::kEventPortChange == SND_SEQ_EVENT_PORT_CHANGE &&
              AlsaSeq::kEventPortUnsubscribed == SND_SEQ_EVENT_PORT_UNSUBSCRIBED);
static_assert(AlsaSeq::kClientSystem == SND_SEQ_CLIENT_SYSTEM &&
              AlsaSeq::kPortSystemAnnounce == SND_SEQ_PORT_SYSTEM_ANNOUNCE &&
              AlsaSeq::kAddressSubscribers == SND_SEQ_ADDRESS_SUBSCRIBERS &&
              AlsaSeq::kAddressUnknown == SND_SEQ_ADDRESS_UNKNOWN && AlsaSeq::kQueueDirect == SND_SEQ_QUEUE_DIRECT);
static_assert(AlsaSeq::kCapRead == SND_SEQ_PORT_CAP_READ && AlsaSeq::kCapWrite == SND_SEQ_PORT_CAP_WRITE &&
              AlsaSeq::kCapSubsRead == SND_SEQ_PORT_CAP_SUBS_READ &&
              AlsaSeq::kCapSubsWrite == SND_SEQ_PORT_CAP_SUBS_WRITE &&
              AlsaSeq::kCapNoExport == SND_SEQ_PORT_CAP_NO_EXPORT);
static_assert(AlsaSeq::kTypeMidiGeneric == SND_SEQ_PORT_TYPE_MIDI_GENERIC &&
              AlsaSeq::kTypeApplication == SND_SEQ_PORT_TYPE_APPLICATION);
static_assert(sizeof(snd_seq_event_t::data) == AlsaEvent::kPayloadBytes, "the payload holds an event's data");

snd_seq_t* seqOf(AlsaSeqHandle seq)
{
    return static_cast<snd_seq_t*>(seq);
}

snd_midi_event_t* codecOf(AlsaCodecHandle codec)
{
    return static_cast<snd_midi_event_t*>(codec);
}

// The library prints its own complaints to stderr; a missing sequencer is reported by the caller.
void quietLibrary(const char*, int, const char*, int, const char*, ...) {}

AlsaAddress addressOf(const snd_seq_addr_t& address)
{
    return AlsaAddress{address.client, address.port};
}

snd_seq_addr_t libraryAddress(AlsaAddress address)
{
    return snd_seq_addr_t{static_cast<unsigned char>(address.client), static_cast<unsigned char>(address.port)};
}

void toEvent(const snd_seq_event_t& from, AlsaEvent& to)
{
    to = AlsaEvent();
    to.type = from.type;
    to.source = addressOf(from.source);
    to.dest = addressOf(from.dest);
    to.queue = from.queue;
    to.realTime = snd_seq_ev_is_real(&from);
    to.seconds = from.time.time.tv_sec;
    to.nanoseconds = from.time.time.tv_nsec;
    to.variable = snd_seq_ev_is_variable(&from);
    if (to.variable)
    {
        to.data = static_cast<const unsigned char*>(from.data.ext.ptr);
        to.length = from.data.ext.len;
        return;
    }
    std::memcpy(to.payload, &from.data, sizeof to.payload);
    to.subject = addressOf(from.data.addr);
    to.connectSender = addressOf(from.data.connect.sender);
    to.connectDest = addressOf(from.data.connect.dest);
}

void toLibrary(const AlsaEvent& from, snd_seq_event_t& to)
{
    snd_seq_ev_clear(&to);
    to.type = static_cast<snd_seq_event_type_t>(from.type);
    to.queue = static_cast<unsigned char>(from.queue);
    to.source = libraryAddress(from.source);
    to.dest = libraryAddress(from.dest);
    if (from.realTime)
    {
        to.flags |= SND_SEQ_TIME_STAMP_REAL;
        to.time.time.tv_sec = from.seconds;
        to.time.time.tv_nsec = from.nanoseconds;
    }
    if (from.variable)
    {
        to.flags |= SND_SEQ_EVENT_LENGTH_VARIABLE;
        to.data.ext.len = static_cast<unsigned int>(from.length);
        to.data.ext.ptr = const_cast<unsigned char*>(from.data);
    }
    else
        std::memcpy(&to.data, from.payload, sizeof from.payload);
}

class LibasoundSystem : public AlsaSystem
{
public:
    int open(AlsaSeqHandle* seq) override
    {
        snd_seq_t* opened = nullptr;
        snd_lib_error_set_handler(quietLibrary);
        const int result = snd_seq_open(&opened, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK);
        snd_lib_error_set_handler(nullptr);
        *seq = result < 0 ? nullptr : opened;
        return result;
    }
    void close(AlsaSeqHandle seq) override { snd_seq_close(seqOf(seq)); }
    std::string errorText(int error) override { return snd_strerror(error); }
    int setClientName(AlsaSeqHandle seq, const std::string& name) override
    {
        return snd_seq_set_client_name(seqOf(seq), name.c_str());
    }
    int setPools(AlsaSeqHandle seq, int outputCells, int inputCells) override
    {
        const int output = snd_seq_set_client_pool_output(seqOf(seq), static_cast<std::size_t>(outputCells));
        const int input = snd_seq_set_client_pool_input(seqOf(seq), static_cast<std::size_t>(inputCells));
        return output < 0 ? output : input;
    }
    int setBufferSizes(AlsaSeqHandle seq, std::size_t outputBytes, std::size_t inputBytes) override
    {
        const int output = snd_seq_set_output_buffer_size(seqOf(seq), outputBytes);
        const int input = snd_seq_set_input_buffer_size(seqOf(seq), inputBytes);
        return output < 0 ? output : input;
    }
    int clientId(AlsaSeqHandle seq) override { return snd_seq_client_id(seqOf(seq)); }

    int nextClient(AlsaSeqHandle seq, AlsaClientInfo& info) override
    {
        snd_seq_client_info_t* clientInfo = nullptr;
        snd_seq_client_info_alloca(&clientInfo);
        snd_seq_client_info_set_client(clientInfo, info.client);
        const int result = snd_seq_query_next_client(seqOf(seq), clientInfo);
        if (result < 0)
            return result;
        info.client = snd_seq_client_info_get_client(clientInfo);
        info.name = snd_seq_client_info_get_name(clientInfo);
        return result;
    }
    int nextPort(AlsaSeqHandle seq, int client, AlsaPortInfo& info) override
    {
        snd_seq_port_info_t* portInfo = nullptr;
        snd_seq_port_info_alloca(&portInfo);
        snd_seq_port_info_set_client(portInfo, client);
        snd_seq_port_info_set_port(portInfo, info.port);
        const int result = snd_seq_query_next_port(seqOf(seq), portInfo);
        if (result < 0)
            return result;
        info.port = snd_seq_port_info_get_port(portInfo);
        info.capability = snd_seq_port_info_get_capability(portInfo);
        info.name = snd_seq_port_info_get_name(portInfo);
        return result;
    }

    int createSimplePort(AlsaSeqHandle seq, const std::string& name, unsigned capability, unsigned type) override
    {
        return snd_seq_create_simple_port(seqOf(seq), name.c_str(), capability, type);
    }
    int createPort(AlsaSeqHandle seq, const AlsaPortSettings& settings) override
    {
        snd_seq_port_info_t* info = nullptr;
        snd_seq_port_info_alloca(&info);
        snd_seq_port_info_set_name(info, settings.name.c_str());
        snd_seq_port_info_set_capability(info, settings.capability);
        snd_seq_port_info_set_type(info, settings.type);
        snd_seq_port_info_set_midi_channels(info, settings.midiChannels);
        if (settings.timestampQueue >= 0)
        {
            snd_seq_port_info_set_timestamping(info, 1);
            snd_seq_port_info_set_timestamp_real(info, 1);
            snd_seq_port_info_set_timestamp_queue(info, settings.timestampQueue);
        }
        const int result = snd_seq_create_port(seqOf(seq), info);
        return result < 0 ? result : snd_seq_port_info_get_port(info);
    }
    int deletePort(AlsaSeqHandle seq, int port) override { return snd_seq_delete_port(seqOf(seq), port); }
    int connectFrom(AlsaSeqHandle seq, int ourPort, int client, int port) override
    {
        return snd_seq_connect_from(seqOf(seq), ourPort, client, port);
    }
    int connectTo(AlsaSeqHandle seq, int ourPort, int client, int port) override
    {
        return snd_seq_connect_to(seqOf(seq), ourPort, client, port);
    }
    int disconnectFrom(AlsaSeqHandle seq, int ourPort, int client, int port) override
    {
        return snd_seq_disconnect_from(seqOf(seq), ourPort, client, port);
    }
    int disconnectTo(AlsaSeqHandle seq, int ourPort, int client, int port) override
    {
        return snd_seq_disconnect_to(seqOf(seq), ourPort, client, port);
    }
    int getSubscription(AlsaSeqHandle seq, AlsaAddress sender, AlsaAddress dest) override
    {
        snd_seq_port_subscribe_t* subscription = nullptr;
        snd_seq_port_subscribe_alloca(&subscription);
        const snd_seq_addr_t from = libraryAddress(sender);
        const snd_seq_addr_t to = libraryAddress(dest);
        snd_seq_port_subscribe_set_sender(subscription, &from);
        snd_seq_port_subscribe_set_dest(subscription, &to);
        return snd_seq_get_port_subscription(seqOf(seq), subscription);
    }

    int allocNamedQueue(AlsaSeqHandle seq, const std::string& name) override
    {
        return snd_seq_alloc_named_queue(seqOf(seq), name.c_str());
    }
    int startQueue(AlsaSeqHandle seq, int queue) override { return snd_seq_start_queue(seqOf(seq), queue, nullptr); }
    int queueRealTime(AlsaSeqHandle seq, int queue, std::uint32_t& seconds, std::uint32_t& nanoseconds) override
    {
        snd_seq_queue_status_t* status = nullptr;
        snd_seq_queue_status_alloca(&status);
        const int result = snd_seq_get_queue_status(seqOf(seq), queue, status);
        if (result < 0)
            return result;
        const snd_seq_real_time_t* time = snd_seq_queue_status_get_real_time(status);
        seconds = time->tv_sec;
        nanoseconds = time->tv_nsec;
        return result;
    }

    int pollDescriptorCount(AlsaSeqHandle seq) override { return snd_seq_poll_descriptors_count(seqOf(seq), POLLIN); }
    int pollDescriptors(AlsaSeqHandle seq, pollfd* fds, unsigned space) override
    {
        return snd_seq_poll_descriptors(seqOf(seq), fds, space, POLLIN);
    }
    int eventInput(AlsaSeqHandle seq, AlsaEvent& event) override
    {
        snd_seq_event_t* ev = nullptr;
        const int result = snd_seq_event_input(seqOf(seq), &ev);
        if (result >= 0 && ev != nullptr)
            toEvent(*ev, event);
        else if (result >= 0)
            event = AlsaEvent();
        return result;
    }
    int eventOutputDirect(AlsaSeqHandle seq, const AlsaEvent& event) override
    {
        snd_seq_event_t ev;
        toLibrary(event, ev);
        return snd_seq_event_output_direct(seqOf(seq), &ev);
    }
    int drainOutput(AlsaSeqHandle seq) override { return snd_seq_drain_output(seqOf(seq)); }

    int codecNew(std::size_t bufferBytes, AlsaCodecHandle* codec) override
    {
        snd_midi_event_t* made = nullptr;
        const int result = snd_midi_event_new(bufferBytes, &made);
        *codec = result < 0 ? nullptr : made;
        return result;
    }
    void codecFree(AlsaCodecHandle codec) override { snd_midi_event_free(codecOf(codec)); }
    void codecNoStatus(AlsaCodecHandle codec, bool on) override
    {
        snd_midi_event_no_status(codecOf(codec), on ? 1 : 0);
    }
    void codecResetEncode(AlsaCodecHandle codec) override { snd_midi_event_reset_encode(codecOf(codec)); }
    long encode(AlsaCodecHandle codec, const unsigned char* data, long size, AlsaEvent& event) override
    {
        snd_seq_event_t ev;
        toLibrary(event, ev);
        const long used = snd_midi_event_encode(codecOf(codec), data, size, &ev);
        toEvent(ev, event);
        return used;
    }
    long decode(AlsaCodecHandle codec, unsigned char* buf, long size, const AlsaEvent& event) override
    {
        snd_seq_event_t ev;
        toLibrary(event, ev);
        return snd_midi_event_decode(codecOf(codec), buf, size, &ev);
    }
};
} // namespace

AlsaSystem& AlsaSystem::real()
{
    static LibasoundSystem system;
    return system;
}
