#include "support/VirtualMidiBackend.h"

#include "base/Exception.h"
#include "midi/MidiDeviceDescriptor.h"
#include "midi/MidiStatus.h"

#include <algorithm>

struct VirtualMidiFactory::Port
{
    int id = 0;
    bool isInput = false;
    // Under State::mutex.
    BString name;
    BString interfaceName;
    BString parentInstanceId;

    std::atomic<int> behaviour{static_cast<int>(OpenBehaviour::Normal)};
    // Bumped when the driver loses the port: connections of older generations are dead.
    std::atomic<int> generation{0};
    std::atomic<int> opens{0};

    // Serialises deliveries with the opening and closing of the input.
    std::mutex deliverMutex;
    VirtualMidiInput* input = nullptr;
    int inputGeneration = 0;

    mutable std::mutex sentMutex;
    std::vector<Sent> sent;
    std::atomic<bool> recording{true};
    std::atomic<std::uint64_t> sentMessages{0};
    std::atomic<std::uint64_t> sentByteCount{0};
};

struct VirtualMidiFactory::State
{
    mutable std::mutex mutex;
    std::vector<std::shared_ptr<Port>> ports; // in system order
    std::vector<std::shared_ptr<Port>> all;   // every port ever added, by id - 1
    MidiDeviceFactory* factory = nullptr;

    std::shared_ptr<Port> byId(int id) const
    {
        std::lock_guard<std::mutex> guard(mutex);
        return id >= 1 && id <= static_cast<int>(all.size()) ? all[static_cast<size_t>(id - 1)] : nullptr;
    }
    bool listed(const Port* port) const
    {
        std::lock_guard<std::mutex> guard(mutex);
        for (const auto& p : ports)
            if (p.get() == port)
                return true;
        return false;
    }
};

namespace
{
BString extraIdFor(int id)
{
    return BString::Format("virt:%d", id);
}

int idFromExtraId(const BString& extraId)
{
    int id = 0;
    if (!extraId.StartsWith("virt:") || !extraId.ToInt(5, id))
        return 0;
    return id;
}

std::shared_ptr<VirtualMidiFactory::Port> portFor(const std::shared_ptr<VirtualMidiFactory::State>& state,
                                                  const MidiDeviceDescriptor* d)
{
    return d == nullptr ? nullptr : state->byId(idFromExtraId(d->extraId));
}
} // namespace

// ---------------------------------------------------------------------------------------------

VirtualMidiFactory::VirtualMidiFactory(std::uint32_t typeId) : type(typeId), state(std::make_shared<State>())
{
    state->factory = this;
}

VirtualMidiFactory::~VirtualMidiFactory()
{
    // While our own operations still work: the manager closes and drops our device objects.
    unregisterFromManager();
}

int VirtualMidiFactory::addPort(bool isInput, const BString& name, const BString& interfaceName,
                                const BString& parentInstanceId)
{
    auto port = std::make_shared<Port>();
    port->isInput = isInput;
    port->name = name;
    port->interfaceName = interfaceName;
    port->parentInstanceId = parentInstanceId;
    std::lock_guard<std::mutex> guard(state->mutex);
    port->id = static_cast<int>(state->all.size()) + 1;
    state->all.push_back(port);
    state->ports.push_back(port);
    portsChanged();
    return port->id;
}

void VirtualMidiFactory::portsChanged()
{
    if (rescanOnChange.load())
        forgetLastRescanRequest();
}

bool VirtualMidiFactory::removePort(int id)
{
    std::shared_ptr<Port> port;
    {
        std::lock_guard<std::mutex> guard(state->mutex);
        auto found = std::find_if(state->ports.begin(), state->ports.end(),
                                  [id](const std::shared_ptr<Port>& p) { return p->id == id; });
        if (found == state->ports.end())
            return false;
        port = *found;
        state->ports.erase(found);
    }
    port->generation.fetch_add(1);
    portsChanged();
    return true;
}

bool VirtualMidiFactory::renamePort(int id, const BString& name)
{
    std::shared_ptr<Port> port = state->byId(id);
    if (!port)
        return false;
    {
        std::lock_guard<std::mutex> guard(state->mutex);
        port->name = name;
    }
    portsChanged();
    return true;
}

bool VirtualMidiFactory::losePort(int id)
{
    std::shared_ptr<Port> port = state->byId(id);
    if (!port)
        return false;
    port->generation.fetch_add(1);
    return true;
}

void VirtualMidiFactory::setOpenBehaviour(int id, OpenBehaviour behaviour)
{
    if (std::shared_ptr<Port> port = state->byId(id))
        port->behaviour.store(static_cast<int>(behaviour));
}

BString VirtualMidiFactory::failureText(const BString& portName)
{
    return BString::Format("Cannot open MIDI device \"%s\":\r\nThe port refused to open.", portName.CStr());
}

std::shared_ptr<VirtualMidiFactory::Port> VirtualMidiFactory::findPort(int id) const
{
    return state->byId(id);
}

bool VirtualMidiFactory::feedShort(int id, unsigned char status, unsigned char data1, unsigned char data2)
{
    std::shared_ptr<Port> port = findPort(id);
    if (!port)
        return false;
    const unsigned char bytes[3] = {status, data1, data2};
    std::lock_guard<std::mutex> guard(port->deliverMutex);
    if (port->input == nullptr || port->inputGeneration != port->generation.load() || !port->input->isStarted())
        return false;
    port->input->driverShort(bytes);
    return true;
}

int VirtualMidiFactory::feedSysEx(int id, const unsigned char* data, int length)
{
    std::shared_ptr<Port> port = findPort(id);
    if (!port)
        return 0;
    int pieces = 0;
    while (length > 0)
    {
        const int piece = std::min(length, TMidiOutputBase::kBlockSize);
        {
            // Released between pieces, as a driver returns each buffer on its own.
            std::lock_guard<std::mutex> guard(port->deliverMutex);
            if (port->input == nullptr || port->inputGeneration != port->generation.load() ||
                !port->input->isStarted())
                return pieces;
            port->input->driverLong(data, piece);
        }
        ++pieces;
        data += piece;
        length -= piece;
    }
    return pieces;
}

std::vector<VirtualMidiFactory::Sent> VirtualMidiFactory::sentTo(int id) const
{
    std::shared_ptr<Port> port = findPort(id);
    if (!port)
        return {};
    std::lock_guard<std::mutex> guard(port->sentMutex);
    return port->sent;
}

void VirtualMidiFactory::clearSent(int id)
{
    if (std::shared_ptr<Port> port = findPort(id))
    {
        std::lock_guard<std::mutex> guard(port->sentMutex);
        port->sent.clear();
    }
}

void VirtualMidiFactory::setRecording(int id, bool on)
{
    if (std::shared_ptr<Port> port = findPort(id))
        port->recording.store(on);
}

std::uint64_t VirtualMidiFactory::sentCount(int id) const
{
    std::shared_ptr<Port> port = findPort(id);
    return port ? port->sentMessages.load() : 0;
}

std::uint64_t VirtualMidiFactory::sentBytes(int id) const
{
    std::shared_ptr<Port> port = findPort(id);
    return port ? port->sentByteCount.load() : 0;
}

bool VirtualMidiFactory::isPortOpen(int id) const
{
    return openCount(id) > 0;
}

int VirtualMidiFactory::openCount(int id) const
{
    std::shared_ptr<Port> port = findPort(id);
    return port ? port->opens.load() : 0;
}

int VirtualMidiFactory::portCount(bool isInput) const
{
    std::lock_guard<std::mutex> guard(state->mutex);
    return static_cast<int>(std::count_if(state->ports.begin(), state->ports.end(),
                                          [isInput](const std::shared_ptr<Port>& p) { return p->isInput == isInput; }));
}

int VirtualMidiFactory::deviceCount(bool isInput)
{
    // A cheap system query, as real backends answer it.
    return portCount(isInput);
}

BString VirtualMidiFactory::directionName(bool isInput) const
{
    return isInput ? "Virtual Input" : "Virtual Output";
}

std::unique_ptr<TMidiDeviceBase> VirtualMidiFactory::createDevice(const MidiDeviceDescriptor& d)
{
    if (d.isInput != 0)
        return std::unique_ptr<TMidiDeviceBase>(new VirtualMidiInput(state, d.clone()));
    return std::unique_ptr<TMidiDeviceBase>(new VirtualMidiOutput(state, d.clone()));
}

void VirtualMidiFactory::refreshDescriptors(bool isInput, BOwnedList<MidiDeviceDescriptor*>& list)
{
    refreshes.fetch_add(1);
    std::lock_guard<std::mutex> guard(state->mutex);
    int position = 0;
    for (const auto& port : state->ports)
    {
        if (port->isInput != isInput)
            continue;
        MidiDeviceDescriptor* d = list.Get(position);
        if (d == nullptr)
        {
            d = new MidiDeviceDescriptor(this, isInput, position, port->name);
            list.Add(d);
        }
        d->factory = this;
        d->isInput = isInput ? 1 : 0;
        d->index = position;
        d->name = port->name;
        d->interfaceName = port->interfaceName;
        d->parentInstanceId = port->parentInstanceId;
        d->extraId = extraIdFor(port->id);
        ++position;
    }
    list.SetCapacity(std::max(list.Capacity(), position), true);
    while (list.Count() > position)
        list.Delete(list.Count() - 1);
}

namespace
{
// The listed port a device object opens, or null when the port is gone or told to fail the open;
// throws when the port is told to throw from its open.
std::shared_ptr<VirtualMidiFactory::Port> portToOpen(const std::shared_ptr<VirtualMidiFactory::State>& state,
                                                     const MidiDeviceDescriptor* descriptor)
{
    std::shared_ptr<VirtualMidiFactory::Port> target = portFor(state, descriptor);
    if (!target || !state->listed(target.get()))
        return nullptr;
    const auto behaviour = static_cast<VirtualMidiFactory::OpenBehaviour>(target->behaviour.load());
    if (behaviour == VirtualMidiFactory::OpenBehaviour::Fail)
        return nullptr;
    if (behaviour == VirtualMidiFactory::OpenBehaviour::Throw)
        throw Exception(VirtualMidiFactory::failureText(descriptor->displayName()));
    return target;
}
} // namespace

// ---------------------------------------------------------------------------------------------

VirtualMidiInput::VirtualMidiInput(std::shared_ptr<VirtualMidiFactory::State> state_,
                                   std::unique_ptr<MidiDeviceDescriptor> d)
    : TMidiInputBase(std::move(d)), state(std::move(state_))
{
}

VirtualMidiInput::~VirtualMidiInput()
{
    closeDevice();
}

void VirtualMidiInput::open()
{
    std::shared_ptr<VirtualMidiFactory::Port> target = portToOpen(state, getDescriptor());
    if (!target)
        return;
    {
        std::lock_guard<std::mutex> guard(target->deliverMutex);
        target->input = this;
        target->inputGeneration = target->generation.load();
    }
    target->opens.fetch_add(1);
    port = target;
    setHandle(port.get());
}

void VirtualMidiInput::close(void*)
{
    started.store(0);
    if (!port)
        return;
    {
        // Waits for a delivery in progress.
        std::lock_guard<std::mutex> guard(port->deliverMutex);
        if (port->input == this)
            port->input = nullptr;
    }
    port->opens.fetch_sub(1);
    port.reset();
}

void VirtualMidiInput::start()
{
    if (!isOpen())
        return;
    markStarted(true);
    started.store(1);
}

void VirtualMidiInput::stop()
{
    started.store(0);
    markStarted(false);
}

void VirtualMidiInput::poll()
{
    std::shared_ptr<VirtualMidiFactory::Port> current = port;
    if (isOpen() && current)
    {
        std::lock_guard<std::mutex> guard(current->deliverMutex);
        if (current->inputGeneration == current->generation.load())
            return;
    }
    else
    {
        return;
    }
    closeDevice();
}

void VirtualMidiInput::driverShort(const unsigned char* bytes)
{
    deliverShort(bytes, now());
}

void VirtualMidiInput::driverLong(const unsigned char* data, int length)
{
    deliverLong(data, length, now());
}

// ---------------------------------------------------------------------------------------------

VirtualMidiOutput::VirtualMidiOutput(std::shared_ptr<VirtualMidiFactory::State> state_,
                                     std::unique_ptr<MidiDeviceDescriptor> d)
    : TMidiOutputBase(std::move(d)), state(std::move(state_))
{
}

VirtualMidiOutput::~VirtualMidiOutput()
{
    closeDevice();
}

void VirtualMidiOutput::open()
{
    std::shared_ptr<VirtualMidiFactory::Port> target = portToOpen(state, getDescriptor());
    if (!target)
        return;
    target->opens.fetch_add(1);
    generationAtOpen.store(target->generation.load());
    port = target;
    setHandle(port.get());
}

void VirtualMidiOutput::close(void* backendHandle)
{
    // The handle is the port; the port object itself lives on (shared with the factory).
    auto* closed = static_cast<VirtualMidiFactory::Port*>(backendHandle);
    closed->opens.fetch_sub(1);
}

VirtualMidiFactory::Port* VirtualMidiOutput::livePort() const
{
    auto* current = static_cast<VirtualMidiFactory::Port*>(getHandle());
    if (current == nullptr || current->generation.load() != generationAtOpen.load())
        return nullptr;
    return current;
}

bool VirtualMidiOutput::sendShort(std::uint32_t message)
{
    VirtualMidiFactory::Port* target = livePort();
    if (target == nullptr)
        return false;
    const int length = std::max(1, MidiStatus::statusLength(static_cast<unsigned char>(message & 0xFF)));
    target->sentMessages.fetch_add(1, std::memory_order_relaxed);
    target->sentByteCount.fetch_add(static_cast<std::uint64_t>(length), std::memory_order_relaxed);
    if (target->recording.load(std::memory_order_relaxed))
    {
        VirtualMidiFactory::Sent sent;
        sent.isShort = true;
        sent.packed = message;
        for (int i = 0; i < length; ++i)
            sent.bytes.push_back(static_cast<unsigned char>(message >> (8 * i)));
        std::lock_guard<std::mutex> guard(target->sentMutex);
        target->sent.push_back(std::move(sent));
    }
    return true;
}

bool VirtualMidiOutput::sendLong(const unsigned char* data, int length)
{
    VirtualMidiFactory::Port* target = livePort();
    if (target == nullptr || data == nullptr || length <= 0)
        return false;
    target->sentMessages.fetch_add(1, std::memory_order_relaxed);
    target->sentByteCount.fetch_add(static_cast<std::uint64_t>(length), std::memory_order_relaxed);
    if (target->recording.load(std::memory_order_relaxed))
    {
        VirtualMidiFactory::Sent sent;
        sent.bytes.assign(data, data + length);
        std::lock_guard<std::mutex> guard(target->sentMutex);
        target->sent.push_back(std::move(sent));
    }
    return true;
}

void VirtualMidiOutput::poll()
{
    if (isOpen() && livePort() == nullptr)
        closeDevice();
}
