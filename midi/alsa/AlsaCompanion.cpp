#include "midi/alsa/AlsaCompanion.h"

#include "midi/alsa/AlsaMidiSegments.h"

#include <alsa/asoundlib.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace
{
void quietLibrary(const char*, int, const char*, int, const char*, ...) {}
} // namespace

struct AlsaCompanion::Impl
{
    snd_seq_t* seq = nullptr;
    snd_midi_event_t* encoder = nullptr;
    snd_midi_event_t* decoder = nullptr;
    std::map<int, std::string> portNames;
};

std::unique_ptr<AlsaCompanion> AlsaCompanion::open(const std::string& clientName)
{
    snd_seq_t* seq = nullptr;
    snd_lib_error_set_handler(quietLibrary);
    const int opened = snd_seq_open(&seq, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK);
    snd_lib_error_set_handler(nullptr);
    if (opened < 0)
        return nullptr;
    std::unique_ptr<AlsaCompanion> companion(new AlsaCompanion());
    companion->impl = std::make_unique<Impl>();
    companion->impl->seq = seq;
    companion->name = clientName;
    snd_seq_set_client_name(seq, clientName.c_str());
    snd_seq_set_client_pool_output(seq, 2000);
    snd_seq_set_client_pool_input(seq, 2000);
    snd_seq_set_output_buffer_size(seq, 1 << 16);
    snd_seq_set_input_buffer_size(seq, 1 << 16);
    snd_midi_event_new(256, &companion->impl->encoder);
    snd_midi_event_new(256, &companion->impl->decoder);
    snd_midi_event_no_status(companion->impl->decoder, 1);
    companion->id = snd_seq_client_id(seq);
    companion->wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    companion->reader = std::thread([c = companion.get()] { c->readerLoop(); });
    return companion;
}

AlsaCompanion::~AlsaCompanion()
{
    {
        std::lock_guard<std::mutex> guard(mutex);
        stopping = true;
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(wakeFd, &one, sizeof one);
    if (reader.joinable())
        reader.join();
    ::close(wakeFd);
    snd_midi_event_free(impl->encoder);
    snd_midi_event_free(impl->decoder);
    snd_seq_close(impl->seq);
}

std::string AlsaCompanion::fullName(const std::string& portName) const
{
    return name + ":" + portName;
}

int AlsaCompanion::addPort(const std::string& portName, bool source)
{
    const unsigned int caps = source ? (SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ)
                                     : (SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE);
    const int port = snd_seq_create_simple_port(impl->seq, portName.c_str(), caps,
                                                SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    if (port >= 0)
    {
        std::lock_guard<std::mutex> guard(mutex);
        impl->portNames[port] = portName;
    }
    return port;
}

bool AlsaCompanion::removePort(int port)
{
    {
        std::lock_guard<std::mutex> guard(mutex);
        impl->portNames.erase(port);
    }
    return snd_seq_delete_simple_port(impl->seq, port) >= 0;
}

bool AlsaCompanion::write(void* event)
{
    const auto start = std::chrono::steady_clock::now();
    for (;;)
    {
        int written = 0;
        {
            std::lock_guard<std::mutex> guard(writeMutex);
            written = snd_seq_event_output_direct(impl->seq, static_cast<snd_seq_event_t*>(event));
        }
        if (written >= 0)
            return true;
        if ((written != -EAGAIN && written != -ENOMEM) ||
            std::chrono::steady_clock::now() - start > std::chrono::seconds(5))
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
}

bool AlsaCompanion::send(int port, const std::vector<unsigned char>& bytes, std::size_t pieceBytes)
{
    // One message at a time: the encoder is shared and the pieces of one stay together.
    std::lock_guard<std::mutex> message(sendMutex);
    for (const AlsaMidiSegments::Segment& segment : AlsaMidiSegments::split(bytes.data(), bytes.size(), pieceBytes))
    {
        snd_seq_event_t ev;
        if (segment.sysEx)
        {
            snd_seq_ev_clear(&ev);
            snd_seq_ev_set_sysex(&ev, static_cast<unsigned int>(segment.length),
                                 const_cast<unsigned char*>(bytes.data() + segment.offset));
            snd_seq_ev_set_source(&ev, port);
            snd_seq_ev_set_subs(&ev);
            snd_seq_ev_set_direct(&ev);
            if (!write(&ev))
                return false;
            continue;
        }
        snd_midi_event_reset_encode(impl->encoder);
        const unsigned char* data = bytes.data() + segment.offset;
        long left = static_cast<long>(segment.length);
        while (left > 0)
        {
            snd_seq_ev_clear(&ev);
            const long used = snd_midi_event_encode(impl->encoder, data, left, &ev);
            if (used <= 0)
                return false;
            data += used;
            left -= used;
            if (ev.type == SND_SEQ_EVENT_NONE)
                continue;
            snd_seq_ev_set_source(&ev, port);
            snd_seq_ev_set_subs(&ev);
            snd_seq_ev_set_direct(&ev);
            if (!write(&ev))
                return false;
        }
    }
    return true;
}

bool AlsaCompanion::connect(int fromClient, int fromPort, int toClient, int toPort)
{
    snd_seq_port_subscribe_t* subscription = nullptr;
    snd_seq_port_subscribe_alloca(&subscription);
    snd_seq_addr_t sender{static_cast<unsigned char>(fromClient), static_cast<unsigned char>(fromPort)};
    snd_seq_addr_t dest{static_cast<unsigned char>(toClient), static_cast<unsigned char>(toPort)};
    snd_seq_port_subscribe_set_sender(subscription, &sender);
    snd_seq_port_subscribe_set_dest(subscription, &dest);
    return snd_seq_subscribe_port(impl->seq, subscription) >= 0;
}

bool AlsaCompanion::disconnect(int fromClient, int fromPort, int toClient, int toPort)
{
    snd_seq_port_subscribe_t* subscription = nullptr;
    snd_seq_port_subscribe_alloca(&subscription);
    snd_seq_addr_t sender{static_cast<unsigned char>(fromClient), static_cast<unsigned char>(fromPort)};
    snd_seq_addr_t dest{static_cast<unsigned char>(toClient), static_cast<unsigned char>(toPort)};
    snd_seq_port_subscribe_set_sender(subscription, &sender);
    snd_seq_port_subscribe_set_dest(subscription, &dest);
    return snd_seq_unsubscribe_port(impl->seq, subscription) >= 0;
}

std::vector<std::vector<unsigned char>> AlsaCompanion::received(int port) const
{
    std::lock_guard<std::mutex> guard(mutex);
    const auto it = arrivals.find(port);
    return it != arrivals.end() ? it->second : std::vector<std::vector<unsigned char>>();
}

std::vector<unsigned char> AlsaCompanion::receivedBytes(int port) const
{
    std::vector<unsigned char> all;
    for (const auto& event : received(port))
        all.insert(all.end(), event.begin(), event.end());
    return all;
}

std::size_t AlsaCompanion::receivedCount(int port) const
{
    std::lock_guard<std::mutex> guard(mutex);
    const auto it = arrivals.find(port);
    return it != arrivals.end() ? it->second.size() : 0;
}

bool AlsaCompanion::waitForCount(int port, std::size_t count, int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(mutex);
    return arrived.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        const auto it = arrivals.find(port);
        return it != arrivals.end() && it->second.size() >= count;
    });
}

void AlsaCompanion::clearReceived(int port)
{
    std::lock_guard<std::mutex> guard(mutex);
    arrivals.erase(port);
}

void AlsaCompanion::readerLoop()
{
    const int count = snd_seq_poll_descriptors_count(impl->seq, POLLIN);
    std::vector<pollfd> fds(static_cast<std::size_t>(count) + 1);
    snd_seq_poll_descriptors(impl->seq, fds.data(), static_cast<unsigned int>(count), POLLIN);
    fds[static_cast<std::size_t>(count)] = pollfd{wakeFd, POLLIN, 0};
    for (;;)
    {
        {
            std::lock_guard<std::mutex> guard(mutex);
            if (stopping)
                return;
        }
        if (poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR)
            return;
        for (;;)
        {
            snd_seq_event_t* ev = nullptr;
            const int read = snd_seq_event_input(impl->seq, &ev);
            if (read == -ENOSPC)
                continue;
            if (read < 0 || ev == nullptr)
                break;
            std::vector<unsigned char> bytes;
            if (ev->type == SND_SEQ_EVENT_SYSEX)
            {
                const auto* data = static_cast<const unsigned char*>(ev->data.ext.ptr);
                bytes.assign(data, data + ev->data.ext.len);
            }
            else
            {
                unsigned char buffer[64];
                const long decoded = snd_midi_event_decode(impl->decoder, buffer, sizeof buffer, ev);
                if (decoded <= 0)
                    continue;
                bytes.assign(buffer, buffer + decoded);
            }
            {
                std::lock_guard<std::mutex> guard(mutex);
                arrivals[ev->dest.port].push_back(std::move(bytes));
            }
            arrived.notify_all();
        }
    }
}
