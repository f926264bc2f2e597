// AlsaSystem: the one seam between the ALSA sequencer backend (AlsaSequencer) and libasound.
// Every sequencer and MIDI-coder call of the backend goes through it, with the backend's own
// handles, event record and constants instead of the library's, so the backend's logic is tested
// without a sequencer (tests install a scripted one with install()).
//
// Results are the library's: 0 or more on success, a negative errno value on failure (-EAGAIN or
// -ENOMEM for a full pool, -ENOSPC for an overrun of our input pool).
//
// Threads: as the library, a system may be called from any thread; the caller keeps a client's
// output and its input each on one thread at a time. The event that eventInput fills stays valid
// (its SysEx bytes too) until the next eventInput on that client.
#pragma once

#include "midi/SystemSeam.h"

#include <poll.h>

#include <cstddef>
#include <cstdint>
#include <string>

using AlsaSeqHandle = void*;
using AlsaCodecHandle = void*;

// The library's values, so the real system passes them on as they are.
namespace AlsaSeq
{
constexpr int kEventNone = 255;
constexpr int kEventClientStart = 60;
constexpr int kEventClientExit = 61;
constexpr int kEventClientChange = 62;
constexpr int kEventPortStart = 63;
constexpr int kEventPortExit = 64;
constexpr int kEventPortChange = 65;
constexpr int kEventPortUnsubscribed = 67;
constexpr int kEventSysEx = 130;

constexpr int kClientSystem = 0;
constexpr int kPortSystemAnnounce = 1;
// Event destination: every subscriber of the source port.
constexpr int kAddressSubscribers = 254;
constexpr int kAddressUnknown = 253;
constexpr int kQueueDirect = 253;

constexpr unsigned kCapRead = 1u << 0;
constexpr unsigned kCapWrite = 1u << 1;
constexpr unsigned kCapSubsRead = 1u << 5;
constexpr unsigned kCapSubsWrite = 1u << 6;
constexpr unsigned kCapNoExport = 1u << 7;

constexpr unsigned kTypeMidiGeneric = 1u << 1;
constexpr unsigned kTypeApplication = 1u << 20;
} // namespace AlsaSeq

struct AlsaAddress
{
    int client = 0;
    int port = 0;
};

// The sequencer's event, as far as the backend reads or writes it.
struct AlsaEvent
{
    static constexpr std::size_t kPayloadBytes = 12;

    int type = AlsaSeq::kEventNone;
    AlsaAddress source;
    AlsaAddress dest;
    int queue = 0;
    // Stamped with the real time of queue (time of arrival at our port).
    bool realTime = false;
    std::uint32_t seconds = 0;
    std::uint32_t nanoseconds = 0;
    // Variable length (SysEx): the bytes, not owned.
    bool variable = false;
    const unsigned char* data = nullptr;
    std::size_t length = 0;
    // Announcements of the system client: the client (and port) concerned; for a subscription's
    // end, the connection (sender and dest).
    AlsaAddress subject;
    AlsaAddress connectSender;
    AlsaAddress connectDest;
    // A fixed-length event's content as the MIDI coder reads and writes it; opaque otherwise.
    unsigned char payload[kPayloadBytes] = {};
};

// What createPort makes.
struct AlsaPortSettings
{
    std::string name;
    unsigned capability = 0;
    unsigned type = 0;
    int midiChannels = 0;
    // >= 0: events arriving are stamped with this queue's real time.
    int timestampQueue = -1;
};

// One client or port of a listing; the next() calls take the previous number (-1 to start).
struct AlsaClientInfo
{
    int client = -1;
    std::string name;
};

struct AlsaPortInfo
{
    int port = -1;
    unsigned capability = 0;
    std::string name;
};

class AlsaSystem : public SystemSeam<AlsaSystem>
{
public:
    virtual ~AlsaSystem() = default;

    // libasound's system (AlsaSystem_libasound.cpp). Tests install theirs (SystemSeam) while no
    // sequencer exists: a sequencer keeps the system it was made with.
    static AlsaSystem& real();

    // --- Client ---
    // A duplex, non-blocking client; the library's own complaints are not printed.
    virtual int open(AlsaSeqHandle* seq) = 0;
    virtual void close(AlsaSeqHandle seq) = 0;
    virtual std::string errorText(int error) = 0;
    virtual int setClientName(AlsaSeqHandle seq, const std::string& name) = 0;
    virtual int setPools(AlsaSeqHandle seq, int outputCells, int inputCells) = 0;
    virtual int setBufferSizes(AlsaSeqHandle seq, std::size_t outputBytes, std::size_t inputBytes) = 0;
    virtual int clientId(AlsaSeqHandle seq) = 0;

    // --- Listing ---
    // The client after info.client; fills info. Negative when there is none.
    virtual int nextClient(AlsaSeqHandle seq, AlsaClientInfo& info) = 0;
    // The port of client after info.port; fills info. Negative when there is none.
    virtual int nextPort(AlsaSeqHandle seq, int client, AlsaPortInfo& info) = 0;

    // --- Our ports and their subscriptions ---
    // The new port's number, or negative.
    virtual int createSimplePort(AlsaSeqHandle seq, const std::string& name, unsigned capability, unsigned type) = 0;
    virtual int createPort(AlsaSeqHandle seq, const AlsaPortSettings& settings) = 0;
    virtual int deletePort(AlsaSeqHandle seq, int port) = 0;
    // Subscribes our port from the other one (we read it) / to it (we write to it), and back.
    virtual int connectFrom(AlsaSeqHandle seq, int ourPort, int client, int port) = 0;
    virtual int connectTo(AlsaSeqHandle seq, int ourPort, int client, int port) = 0;
    virtual int disconnectFrom(AlsaSeqHandle seq, int ourPort, int client, int port) = 0;
    virtual int disconnectTo(AlsaSeqHandle seq, int ourPort, int client, int port) = 0;
    // Negative when sender is not subscribed to dest.
    virtual int getSubscription(AlsaSeqHandle seq, AlsaAddress sender, AlsaAddress dest) = 0;

    // --- Queue ---
    // The new queue's number, or negative.
    virtual int allocNamedQueue(AlsaSeqHandle seq, const std::string& name) = 0;
    virtual int startQueue(AlsaSeqHandle seq, int queue) = 0;
    virtual int queueRealTime(AlsaSeqHandle seq, int queue, std::uint32_t& seconds, std::uint32_t& nanoseconds) = 0;

    // --- Events ---
    virtual int pollDescriptorCount(AlsaSeqHandle seq) = 0;
    // Fills at most space descriptors to poll for input.
    virtual int pollDescriptors(AlsaSeqHandle seq, pollfd* fds, unsigned space) = 0;
    // The next event that arrived; -EAGAIN when there is none.
    virtual int eventInput(AlsaSeqHandle seq, AlsaEvent& event) = 0;
    // Writes event past the output buffer.
    virtual int eventOutputDirect(AlsaSeqHandle seq, const AlsaEvent& event) = 0;
    virtual int drainOutput(AlsaSeqHandle seq) = 0;

    // --- MIDI coder (bytes to events and back) ---
    virtual int codecNew(std::size_t bufferBytes, AlsaCodecHandle* codec) = 0;
    virtual void codecFree(AlsaCodecHandle codec) = 0;
    // Decoding writes every message with its status byte (no running status).
    virtual void codecNoStatus(AlsaCodecHandle codec, bool on) = 0;
    virtual void codecResetEncode(AlsaCodecHandle codec) = 0;
    // Bytes used of data; event's type stays kEventNone until they make a complete event.
    virtual long encode(AlsaCodecHandle codec, const unsigned char* data, long size, AlsaEvent& event) = 0;
    // Bytes written to buf, or negative.
    virtual long decode(AlsaCodecHandle codec, unsigned char* buf, long size, const AlsaEvent& event) = 0;
};
