#include "support/FakeAlsaSequencer.h"

#include "midi/MidiStatus.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace
{
// The library's note-on type: the backend tells short events only from SysEx and announcements.
constexpr int kShortEvent = 6;

struct Codec
{
    unsigned char runningStatus = 0;
    std::vector<unsigned char> partial;
};

Codec& codecOf(AlsaCodecHandle codec)
{
    return *static_cast<Codec*>(codec);
}
} // namespace

FakeAlsaSequencer::FakeAlsaSequencer() : wakeFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    clients[AlsaSeq::kClientSystem].name = "System";
    clients[AlsaSeq::kClientSystem].ports[0] = Port{"Timer", kDuplex};
    clients[AlsaSeq::kClientSystem].ports[AlsaSeq::kPortSystemAnnounce] = Port{"Announce", kSource};
}

FakeAlsaSequencer::~FakeAlsaSequencer()
{
    if (wakeFd >= 0)
        ::close(wakeFd);
}

void FakeAlsaSequencer::addClient(int client, const std::string& name)
{
    std::lock_guard<std::mutex> guard(mutex);
    clients[client].name = name;
    announce(AlsaSeq::kEventClientStart, AlsaAddress{client, 0});
}

void FakeAlsaSequencer::addPort(AlsaAddress address, const std::string& name, unsigned capability)
{
    std::lock_guard<std::mutex> guard(mutex);
    clients[address.client].ports[address.port] = Port{name, capability};
    announce(AlsaSeq::kEventPortStart, address);
}

void FakeAlsaSequencer::removePort(AlsaAddress address)
{
    std::lock_guard<std::mutex> guard(mutex);
    dropPort(Address{address.client, address.port});
}

int FakeAlsaSequencer::disconnectAll(AlsaAddress address)
{
    std::lock_guard<std::mutex> guard(mutex);
    return endSubscriptionsOf(Address{address.client, address.port}, false);
}

int FakeAlsaSequencer::inject(AlsaAddress from, const std::vector<unsigned char>& message, std::int64_t arrivalMs)
{
    if (arrivalMs < 0)
        arrivalMs = queueMs.load();
    std::lock_guard<std::mutex> guard(mutex);
    int reached = 0;
    for (const auto& subscription : subscriptions)
    {
        if (subscription.first != Address{from.client, from.port} || subscription.second.first != kOurClient)
            continue;
        Arrival arrival;
        AlsaEvent& ev = arrival.event;
        ev.source = from;
        ev.dest = AlsaAddress{kOurClient, subscription.second.second};
        const Port& port = clients[kOurClient].ports[ev.dest.port];
        if (port.timestampQueue >= 0)
        {
            ev.queue = port.timestampQueue;
            ev.realTime = true;
            ev.seconds = static_cast<std::uint32_t>(arrivalMs / 1000);
            ev.nanoseconds = static_cast<std::uint32_t>(arrivalMs % 1000 * 1000000);
        }
        if (!message.empty() && message[0] == MidiStatus::kSysExStart)
        {
            ev.type = AlsaSeq::kEventSysEx;
            ev.variable = true;
            arrival.bytes = message;
        }
        else
        {
            ev.type = kShortEvent;
            ev.payload[0] = static_cast<unsigned char>(std::min(message.size(), AlsaEvent::kPayloadBytes - 1));
            std::copy_n(message.begin(), ev.payload[0], ev.payload + 1);
        }
        queueEvent(std::move(arrival));
        ++reached;
    }
    return reached;
}

std::vector<std::vector<unsigned char>> FakeAlsaSequencer::writtenTo(AlsaAddress dest) const
{
    std::lock_guard<std::mutex> guard(mutex);
    const auto it = written.find(Address{dest.client, dest.port});
    return it != written.end() ? it->second : std::vector<std::vector<unsigned char>>();
}

bool FakeAlsaSequencer::isSubscribed(AlsaAddress sender, AlsaAddress dest) const
{
    std::lock_guard<std::mutex> guard(mutex);
    return subscriptions.count({Address{sender.client, sender.port}, Address{dest.client, dest.port}}) != 0;
}

int FakeAlsaSequencer::open(AlsaSeqHandle* seq)
{
    std::lock_guard<std::mutex> guard(mutex);
    if (clientOpen)
        return -EBUSY;
    clientOpen = true;
    clients[kOurClient] = Client();
    *seq = this;
    return 0;
}

void FakeAlsaSequencer::close(AlsaSeqHandle)
{
    std::lock_guard<std::mutex> guard(mutex);
    for (auto it = subscriptions.begin(); it != subscriptions.end();)
    {
        const bool ours = it->first.first == kOurClient || it->second.first == kOurClient;
        it = ours ? subscriptions.erase(it) : std::next(it);
    }
    clients.erase(kOurClient);
    arrivals.clear();
    clientOpen = false;
}

std::string FakeAlsaSequencer::errorText(int error)
{
    return std::strerror(-error);
}

int FakeAlsaSequencer::setClientName(AlsaSeqHandle, const std::string& name)
{
    std::lock_guard<std::mutex> guard(mutex);
    clients[kOurClient].name = name;
    return 0;
}

int FakeAlsaSequencer::nextClient(AlsaSeqHandle, AlsaClientInfo& info)
{
    std::lock_guard<std::mutex> guard(mutex);
    const auto it = clients.upper_bound(info.client);
    if (it == clients.end())
        return -ENOENT;
    info.client = it->first;
    info.name = it->second.name;
    return 0;
}

int FakeAlsaSequencer::nextPort(AlsaSeqHandle, int client, AlsaPortInfo& info)
{
    std::lock_guard<std::mutex> guard(mutex);
    const auto owner = clients.find(client);
    if (owner == clients.end())
        return -ENOENT;
    const auto it = owner->second.ports.upper_bound(info.port);
    if (it == owner->second.ports.end())
        return -ENOENT;
    info.port = it->first;
    info.capability = it->second.capability;
    info.name = it->second.name;
    return 0;
}

int FakeAlsaSequencer::createSimplePort(AlsaSeqHandle, const std::string& name, unsigned capability, unsigned type)
{
    std::lock_guard<std::mutex> guard(mutex);
    AlsaPortSettings settings;
    settings.name = name;
    settings.capability = capability;
    settings.type = type;
    return addOwnPort(settings);
}

int FakeAlsaSequencer::createPort(AlsaSeqHandle, const AlsaPortSettings& settings)
{
    std::lock_guard<std::mutex> guard(mutex);
    return addOwnPort(settings);
}

int FakeAlsaSequencer::deletePort(AlsaSeqHandle, int port)
{
    std::lock_guard<std::mutex> guard(mutex);
    if (clients[kOurClient].ports.count(port) == 0)
        return -ENOENT;
    dropPort(Address{kOurClient, port});
    return 0;
}

int FakeAlsaSequencer::connectFrom(AlsaSeqHandle, int ourPort, int client, int port)
{
    std::lock_guard<std::mutex> guard(mutex);
    return subscribe(Address{client, port}, Address{kOurClient, ourPort});
}

int FakeAlsaSequencer::connectTo(AlsaSeqHandle, int ourPort, int client, int port)
{
    std::lock_guard<std::mutex> guard(mutex);
    return subscribe(Address{kOurClient, ourPort}, Address{client, port});
}

int FakeAlsaSequencer::disconnectFrom(AlsaSeqHandle, int ourPort, int client, int port)
{
    std::lock_guard<std::mutex> guard(mutex);
    return unsubscribe(Address{client, port}, Address{kOurClient, ourPort});
}

int FakeAlsaSequencer::disconnectTo(AlsaSeqHandle, int ourPort, int client, int port)
{
    std::lock_guard<std::mutex> guard(mutex);
    return unsubscribe(Address{kOurClient, ourPort}, Address{client, port});
}

int FakeAlsaSequencer::getSubscription(AlsaSeqHandle, AlsaAddress sender, AlsaAddress dest)
{
    return isSubscribed(sender, dest) ? 0 : -ENOENT;
}

int FakeAlsaSequencer::queueRealTime(AlsaSeqHandle, int queue, std::uint32_t& seconds, std::uint32_t& nanoseconds)
{
    if (queue != kQueue)
        return -EINVAL;
    const std::int64_t ms = queueMs.load();
    seconds = static_cast<std::uint32_t>(ms / 1000);
    nanoseconds = static_cast<std::uint32_t>(ms % 1000 * 1000000);
    return 0;
}

int FakeAlsaSequencer::pollDescriptors(AlsaSeqHandle, pollfd* fds, unsigned space)
{
    if (space < 1)
        return 0;
    fds[0] = pollfd{wakeFd, POLLIN, 0};
    return 1;
}

int FakeAlsaSequencer::eventInput(AlsaSeqHandle, AlsaEvent& event)
{
    std::lock_guard<std::mutex> guard(mutex);
    if (arrivals.empty())
    {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t ignored = ::read(wakeFd, &count, sizeof count);
        return -EAGAIN;
    }
    current = std::move(arrivals.front());
    arrivals.pop_front();
    event = current.event;
    if (event.variable)
    {
        event.data = current.bytes.data();
        event.length = current.bytes.size();
    }
    return static_cast<int>(arrivals.size());
}

int FakeAlsaSequencer::eventOutputDirect(AlsaSeqHandle, const AlsaEvent& event)
{
    std::lock_guard<std::mutex> guard(mutex);
    if (fullPoolWrites.load() > 0)
    {
        fullPoolWrites.fetch_sub(1);
        return -EAGAIN;
    }
    std::vector<unsigned char> bytes;
    if (event.variable)
        bytes.assign(event.data, event.data + event.length);
    else
        bytes.assign(event.payload + 1, event.payload + 1 + event.payload[0]);
    const Address source{kOurClient, event.source.port};
    if (event.dest.client != AlsaSeq::kAddressSubscribers)
    {
        written[Address{event.dest.client, event.dest.port}].push_back(bytes);
        return 0;
    }
    for (const auto& subscription : subscriptions)
        if (subscription.first == source)
            written[subscription.second].push_back(bytes);
    return 0;
}

int FakeAlsaSequencer::codecNew(std::size_t, AlsaCodecHandle* codec)
{
    *codec = new Codec();
    codecs.fetch_add(1);
    return 0;
}

void FakeAlsaSequencer::codecFree(AlsaCodecHandle codec)
{
    delete static_cast<Codec*>(codec);
    codecs.fetch_sub(1);
}

void FakeAlsaSequencer::codecResetEncode(AlsaCodecHandle codec)
{
    codecOf(codec) = Codec();
}

long FakeAlsaSequencer::encode(AlsaCodecHandle codec, const unsigned char* data, long size, AlsaEvent& event)
{
    Codec& c = codecOf(codec);
    event.type = AlsaSeq::kEventNone;
    const auto complete = [&event](const unsigned char* bytes, std::size_t length) {
        event.type = kShortEvent;
        event.variable = false;
        event.payload[0] = static_cast<unsigned char>(length);
        std::copy_n(bytes, length, event.payload + 1);
    };
    for (long i = 0; i < size; ++i)
    {
        const unsigned char byte = data[i];
        if (byte >= MidiStatus::kTimingClock)
        {
            complete(&byte, 1);
            return i + 1;
        }
        if (byte >= 0x80)
            c.partial.assign(1, byte);
        else if (!c.partial.empty())
            c.partial.push_back(byte);
        else if (c.runningStatus != 0)
            c.partial = {c.runningStatus, byte};
        else
            continue; // a data byte without a status
        const std::size_t needed = static_cast<std::size_t>(MidiStatus::statusLength(c.partial[0]));
        if (needed == 0)
        {
            c.partial.clear(); // SysEx goes as events of its own
            c.runningStatus = 0;
        }
        else if (c.partial.size() == needed)
        {
            complete(c.partial.data(), needed);
            c.runningStatus = c.partial[0] < 0xF0 ? c.partial[0] : 0;
            c.partial.clear();
            return i + 1;
        }
    }
    return size;
}

long FakeAlsaSequencer::decode(AlsaCodecHandle, unsigned char* buf, long size, const AlsaEvent& event)
{
    const unsigned char* bytes = event.variable ? event.data : event.payload + 1;
    const long length = event.variable ? static_cast<long>(event.length) : event.payload[0];
    if (length > size)
        return -ENOMEM;
    std::copy_n(bytes, length, buf);
    return length;
}

void FakeAlsaSequencer::queueEvent(Arrival arrival)
{
    arrivals.push_back(std::move(arrival));
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(wakeFd, &one, sizeof one);
}

void FakeAlsaSequencer::notify(Address to, int type, AlsaAddress subject, Address sender, Address dest)
{
    Arrival arrival;
    arrival.event.type = type;
    arrival.event.source = AlsaAddress{AlsaSeq::kClientSystem, AlsaSeq::kPortSystemAnnounce};
    arrival.event.dest = AlsaAddress{to.first, to.second};
    arrival.event.subject = subject;
    arrival.event.connectSender = AlsaAddress{sender.first, sender.second};
    arrival.event.connectDest = AlsaAddress{dest.first, dest.second};
    queueEvent(std::move(arrival));
}

void FakeAlsaSequencer::announce(int type, AlsaAddress subject, Address sender, Address dest)
{
    const Address announcer{AlsaSeq::kClientSystem, AlsaSeq::kPortSystemAnnounce};
    for (const auto& subscription : subscriptions)
        if (subscription.first == announcer && subscription.second.first == kOurClient)
            notify(subscription.second, type, subject, sender, dest);
}

int FakeAlsaSequencer::subscribe(Address sender, Address dest)
{
    for (const Address& end : {sender, dest})
    {
        const auto owner = clients.find(end.first);
        if (owner == clients.end() || owner->second.ports.count(end.second) == 0)
            return -ENOENT;
    }
    return subscriptions.insert({sender, dest}).second ? 0 : -EBUSY;
}

int FakeAlsaSequencer::unsubscribe(Address sender, Address dest)
{
    if (subscriptions.erase({sender, dest}) == 0)
        return -ENOENT;
    announce(AlsaSeq::kEventPortUnsubscribed, AlsaAddress{}, sender, dest);
    return 0;
}

int FakeAlsaSequencer::addOwnPort(const AlsaPortSettings& settings)
{
    std::map<int, Port>& ports = clients[kOurClient].ports;
    int number = 0;
    while (ports.count(number) != 0)
        ++number;
    ports[number] = Port{settings.name, settings.capability, settings.timestampQueue};
    announce(AlsaSeq::kEventPortStart, AlsaAddress{kOurClient, number});
    return number;
}

int FakeAlsaSequencer::endSubscriptionsOf(Address address, bool portGone)
{
    std::vector<std::pair<Address, Address>> ending;
    for (const auto& subscription : subscriptions)
        if (subscription.first == address || subscription.second == address)
            ending.push_back(subscription);
    for (const auto& subscription : ending)
    {
        if (!portGone)
        {
            unsubscribe(subscription.first, subscription.second);
            continue;
        }
        // A port's deletion tells only the port at the other end, when it is ours.
        subscriptions.erase(subscription);
        const Address other = subscription.first == address ? subscription.second : subscription.first;
        if (other.first == kOurClient)
            notify(other, AlsaSeq::kEventPortUnsubscribed, AlsaAddress{}, subscription.first, subscription.second);
    }
    return static_cast<int>(ending.size());
}

void FakeAlsaSequencer::dropPort(Address address)
{
    endSubscriptionsOf(address, true);
    clients[address.first].ports.erase(address.second);
    announce(AlsaSeq::kEventPortExit, AlsaAddress{address.first, address.second});
}
