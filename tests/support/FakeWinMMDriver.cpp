#include "support/FakeWinMMDriver.h"

#include <algorithm>
#include <cstring>

namespace
{
constexpr unsigned kUnprepared = 64;

std::string lower(const BString& text)
{
    return text.ToLower().CStr();
}
} // namespace

struct FakeWinMMDriver::Handle
{
    bool isInput = false;
    int id = 0;
    WinMidiCallback callback = nullptr;
    void* instance = nullptr;
    bool open = true;
    std::set<WinMidiHeader*> prepared;
    std::deque<WinMidiHeader*> held; // queued input buffers / long messages in flight
};

struct FakeWinMMDriver::Key
{
    std::string path;
    bool open = true;
};

FakeWinMMDriver::FakeWinMMDriver() = default;

FakeWinMMDriver::~FakeWinMMDriver()
{
    callbacks.stop();
}

void FakeWinMMDriver::post(std::function<void()> job)
{
    callbacks.post(std::move(job));
}

void FakeWinMMDriver::drain()
{
    callbacks.drain();
}

void FakeWinMMDriver::callBack(Handle* h, unsigned message, std::uintptr_t param1, std::uintptr_t param2)
{
    try
    {
        h->callback(h, message, h->instance, param1, param2);
    }
    catch (...)
    {
        escaped.fetch_add(1);
    }
}

FakeWinMMDriver::Handle* FakeWinMMDriver::live(WinMidiHandle handle) const
{
    for (const auto& h : handles)
        if (h.get() == handle && h->open)
            return h.get();
    return nullptr;
}

// --- Set-up ---------------------------------------------------------------------------------

int FakeWinMMDriver::addPort(bool isInput, const Port& port)
{
    std::lock_guard<std::mutex> guard(mutex);
    std::vector<Port>& ports = portsOf(isInput);
    ports.push_back(port);
    return static_cast<int>(ports.size()) - 1;
}

void FakeWinMMDriver::removeLastPort(bool isInput)
{
    std::lock_guard<std::mutex> guard(mutex);
    std::vector<Port>& ports = portsOf(isInput);
    if (!ports.empty())
        ports.pop_back();
}

void FakeWinMMDriver::setRegistryValue(const BString& keyPath, const BString& valueName, const BString& value)
{
    std::lock_guard<std::mutex> guard(mutex);
    registry[lower(keyPath)][lower(valueName)] = value;
    originalPaths[lower(keyPath)] = keyPath;
}

// --- Devices --------------------------------------------------------------------------------

int FakeWinMMDriver::portCount(bool isInput)
{
    std::lock_guard<std::mutex> guard(mutex);
    return static_cast<int>(portsOf(isInput).size());
}

unsigned FakeWinMMDriver::caps(bool isInput, int id, BString& productName)
{
    std::lock_guard<std::mutex> guard(mutex);
    std::vector<Port>& ports = portsOf(isInput);
    if (!isInput && id == WinMM::kMapperId && !ports.empty())
    {
        productName = mapperName;
        return WinMM::kNoError;
    }
    if (id < 0 || id >= static_cast<int>(ports.size()))
        return WinMM::kBadDeviceId;
    Port& port = ports[static_cast<size_t>(id)];
    if (port.capsFailures > 0)
    {
        --port.capsFailures;
        return WinMM::kError;
    }
    productName = port.name;
    return WinMM::kNoError;
}

bool FakeWinMMDriver::interfacePath(bool isInput, int id, BString& path)
{
    std::lock_guard<std::mutex> guard(mutex);
    const std::vector<Port>& ports = portsOf(isInput);
    if (id < 0 || id >= static_cast<int>(ports.size()) || ports[static_cast<size_t>(id)].interfacePath.IsEmpty())
        return false;
    path = ports[static_cast<size_t>(id)].interfacePath;
    return true;
}

bool FakeWinMMDriver::errorText(bool isInput, unsigned code, BString& text)
{
    if (code == 99)
        return false;
    text = BString::Format("%s error %u", isInput ? "Input" : "Output", code);
    return true;
}

// --- Input ----------------------------------------------------------------------------------

unsigned FakeWinMMDriver::inOpen(WinMidiHandle* handle, int id, WinMidiCallback callback, void* instance)
{
    return openHandle(true, handle, id, callback, instance);
}

// Both directions: the port's scripted open result, else a new handle whose open message comes
// on the callback thread. The output mapper id opens whenever there is an output.
unsigned FakeWinMMDriver::openHandle(bool isInput, WinMidiHandle* handle, int id, WinMidiCallback callback,
                                     void* instance)
{
    std::lock_guard<std::mutex> guard(mutex);
    *handle = nullptr;
    const std::vector<Port>& ports = portsOf(isInput);
    const bool mapper = !isInput && id == WinMM::kMapperId && !ports.empty();
    if (!mapper && (id < 0 || id >= static_cast<int>(ports.size())))
        return WinMM::kBadDeviceId;
    if (!mapper && ports[static_cast<size_t>(id)].openResult != WinMM::kNoError)
        return ports[static_cast<size_t>(id)].openResult;
    auto h = std::make_unique<Handle>();
    h->isInput = isInput;
    h->id = id;
    h->callback = callback;
    h->instance = instance;
    *handle = h.get();
    Handle* raw = h.get();
    handles.push_back(std::move(h));
    if (!isInput)
        lastOutputId.store(id);
    const unsigned message = isInput ? WinMM::kInOpen : WinMM::kOutOpen;
    post([this, raw, message] { callBack(raw, message, 0, 0); });
    return WinMM::kNoError;
}

unsigned FakeWinMMDriver::inGetId(WinMidiHandle handle)
{
    std::lock_guard<std::mutex> guard(mutex);
    return live(handle) != nullptr ? WinMM::kNoError : WinMM::kInvalidHandle;
}

unsigned FakeWinMMDriver::inStart(WinMidiHandle handle)
{
    std::lock_guard<std::mutex> guard(mutex);
    return live(handle) != nullptr ? WinMM::kNoError : WinMM::kInvalidHandle;
}

unsigned FakeWinMMDriver::inStop(WinMidiHandle handle)
{
    return inStart(handle);
}

unsigned FakeWinMMDriver::inReset(WinMidiHandle handle)
{
    std::lock_guard<std::mutex> guard(mutex);
    Handle* h = live(handle);
    if (h == nullptr)
        return WinMM::kInvalidHandle;
    resets.fetch_add(1);
    if (!resetReturnsBuffers.load())
        return WinMM::kNoError;
    // Returned on the callback thread, possibly after the reset call returned.
    while (!h->held.empty())
    {
        WinMidiHeader* header = h->held.front();
        h->held.pop_front();
        header->bytesRecorded = 0;
        post([this, h, header] { callBack(h, WinMM::kInLongData, reinterpret_cast<std::uintptr_t>(header), 0); });
    }
    return WinMM::kNoError;
}

unsigned FakeWinMMDriver::inClose(WinMidiHandle handle)
{
    Handle* h = nullptr;
    {
        std::lock_guard<std::mutex> guard(mutex);
        h = live(handle);
        if (h == nullptr)
            return WinMM::kInvalidHandle;
        closedOverHeld.fetch_add(static_cast<int>(h->held.size()));
        h->held.clear();
    }
    post([this, h] { callBack(h, WinMM::kInClose, 0, 0); });
    drain();
    std::lock_guard<std::mutex> guard(mutex);
    h->open = false;
    return WinMM::kNoError;
}

unsigned FakeWinMMDriver::inPrepare(WinMidiHandle handle, WinMidiHeader* header)
{
    std::lock_guard<std::mutex> guard(mutex);
    Handle* h = live(handle);
    if (h == nullptr)
        return WinMM::kInvalidHandle;
    h->prepared.insert(header);
    return WinMM::kNoError;
}

unsigned FakeWinMMDriver::inUnprepare(WinMidiHandle handle, WinMidiHeader* header)
{
    std::lock_guard<std::mutex> guard(mutex);
    Handle* h = live(handle);
    if (h == nullptr)
        return WinMM::kInvalidHandle;
    if (std::find(h->held.begin(), h->held.end(), header) != h->held.end())
    {
        unprepareFailures.fetch_add(1);
        return WinMM::kStillPlaying;
    }
    h->prepared.erase(header);
    return WinMM::kNoError;
}

unsigned FakeWinMMDriver::inAddBuffer(WinMidiHandle handle, WinMidiHeader* header)
{
    std::lock_guard<std::mutex> guard(mutex);
    Handle* h = live(handle);
    if (h == nullptr)
        return WinMM::kInvalidHandle;
    if (h->prepared.count(header) == 0)
        return kUnprepared;
    if (addBufferFailsAfter.load() == 0)
        return WinMM::kError;
    if (addBufferFailsAfter.load() > 0)
        addBufferFailsAfter.fetch_sub(1);
    h->held.push_back(header);
    return WinMM::kNoError;
}

bool FakeWinMMDriver::feedShort(int id, std::uint32_t packed, std::uint32_t timestamp)
{
    std::lock_guard<std::mutex> guard(mutex);
    for (const auto& h : handles)
    {
        if (h->open && h->isInput && h->id == id)
        {
            Handle* raw = h.get();
            post([this, raw, packed, timestamp] { callBack(raw, WinMM::kInData, packed, timestamp); });
            return true;
        }
    }
    return false;
}

int FakeWinMMDriver::feedSysEx(int id, const unsigned char* data, int length, std::uint32_t timestamp)
{
    Handle* target = nullptr;
    {
        std::lock_guard<std::mutex> guard(mutex);
        for (const auto& h : handles)
            if (h->open && h->isInput && h->id == id)
                target = h.get();
    }
    if (target == nullptr)
        return 0;
    int pieces = 0;
    int offset = 0;
    while (offset < length)
    {
        // The piece size is the buffer size; the fill happens in order on the callback thread.
        std::vector<unsigned char> rest(data + offset, data + length);
        const std::uint32_t stamp = timestamp + static_cast<std::uint32_t>(pieces);
        post([this, target, rest, stamp] {
            WinMidiHeader* header = nullptr;
            {
                std::lock_guard<std::mutex> guard(mutex);
                if (!target->open || target->held.empty())
                {
                    lost.fetch_add(1);
                    return;
                }
                header = target->held.front();
                target->held.pop_front();
                const size_t n = std::min<size_t>(rest.size(), header->bufferLength);
                std::memcpy(header->data, rest.data(), n);
                header->bytesRecorded = static_cast<std::uint32_t>(n);
            }
            callBack(target, WinMM::kInLongData, reinterpret_cast<std::uintptr_t>(header), stamp);
        });
        // Buffers of the backend are 1024 bytes; the fake's pieces follow that size.
        offset += 1024;
        ++pieces;
    }
    return pieces;
}

bool FakeWinMMDriver::deliverShortNow(int id, std::uint32_t packed, std::uint32_t timestamp)
{
    Handle* target = nullptr;
    {
        std::lock_guard<std::mutex> guard(mutex);
        for (const auto& h : handles)
            if (h->open && h->isInput && h->id == id)
                target = h.get();
    }
    if (target == nullptr)
        return false;
    callBack(target, WinMM::kInData, packed, timestamp);
    return true;
}

void FakeWinMMDriver::closeFromDriver(bool isInput, int id)
{
    std::lock_guard<std::mutex> guard(mutex);
    for (const auto& h : handles)
    {
        if (h->open && h->isInput == isInput && h->id == id)
        {
            Handle* raw = h.get();
            const unsigned message = isInput ? WinMM::kInClose : WinMM::kOutClose;
            post([this, raw, message] { callBack(raw, message, 0, 0); });
        }
    }
}

// --- Output ---------------------------------------------------------------------------------

unsigned FakeWinMMDriver::outOpen(WinMidiHandle* handle, int id, WinMidiCallback callback, void* instance)
{
    return openHandle(false, handle, id, callback, instance);
}

unsigned FakeWinMMDriver::outShortMsg(WinMidiHandle handle, std::uint32_t message)
{
    std::lock_guard<std::mutex> guard(mutex);
    Handle* h = live(handle);
    if (h == nullptr)
        return WinMM::kInvalidHandle;
    shortCount.fetch_add(1);
    if (!recordShortMessages.load())
        return WinMM::kNoError;
    auto& log = sentLog[h->id];
    Sent sent;
    sent.isShort = true;
    sent.packed = message;
    log.push_back(sent);
    return WinMM::kNoError;
}

unsigned FakeWinMMDriver::outPrepare(WinMidiHandle handle, WinMidiHeader* header)
{
    if (outPrepareResult.load() != WinMM::kNoError)
        return outPrepareResult.load();
    return inPrepare(handle, header);
}

unsigned FakeWinMMDriver::outUnprepare(WinMidiHandle handle, WinMidiHeader* header)
{
    return inUnprepare(handle, header);
}

unsigned FakeWinMMDriver::outLongMsg(WinMidiHandle handle, WinMidiHeader* header)
{
    Handle* h = nullptr;
    {
        std::lock_guard<std::mutex> guard(mutex);
        h = live(handle);
        if (h == nullptr)
            return WinMM::kInvalidHandle;
        if (h->prepared.count(header) == 0)
            return kUnprepared;
        if (outLongMsgResult.load() != WinMM::kNoError)
            return outLongMsgResult.load();
        Sent sent;
        sent.bytes.assign(header->data, header->data + header->bufferLength);
        sentLog[h->id].push_back(sent);
        h->held.push_back(header);
    }
    if (!completeLongMessages.load())
        return WinMM::kNoError;
    if (doneBeforeLongMsgReturns.load())
    {
        // The completion runs, on the callback thread, before the sender learns of success.
        std::mutex doneMutex;
        std::condition_variable doneSignal;
        bool done = false;
        post([&] {
            completeLong(h, header);
            // Notified under the lock: the waiter destroys the condition when it returns.
            std::lock_guard<std::mutex> guard(doneMutex);
            done = true;
            doneSignal.notify_all();
        });
        std::unique_lock<std::mutex> guard(doneMutex);
        doneSignal.wait(guard, [&] { return done; });
    }
    else
    {
        post([this, h, header] { completeLong(h, header); });
    }
    return WinMM::kNoError;
}

void FakeWinMMDriver::completeLong(Handle* h, WinMidiHeader* header)
{
    {
        std::lock_guard<std::mutex> guard(mutex);
        auto found = std::find(h->held.begin(), h->held.end(), header);
        if (found == h->held.end())
            return;
        h->held.erase(found);
    }
    callBack(h, WinMM::kOutDone, reinterpret_cast<std::uintptr_t>(header), 0);
}

unsigned FakeWinMMDriver::outReset(WinMidiHandle handle)
{
    std::lock_guard<std::mutex> guard(mutex);
    Handle* h = live(handle);
    if (h == nullptr)
        return WinMM::kInvalidHandle;
    resets.fetch_add(1);
    for (WinMidiHeader* header : h->held)
        post([this, h, header] { completeLong(h, header); });
    return WinMM::kNoError;
}

unsigned FakeWinMMDriver::outClose(WinMidiHandle handle)
{
    return inClose(handle);
}

std::vector<FakeWinMMDriver::Sent> FakeWinMMDriver::sentTo(int outputId) const
{
    std::lock_guard<std::mutex> guard(mutex);
    auto found = sentLog.find(outputId);
    return found == sentLog.end() ? std::vector<Sent>() : found->second;
}

int FakeWinMMDriver::heldByDriver() const
{
    std::lock_guard<std::mutex> guard(mutex);
    int count = 0;
    for (const auto& h : handles)
        count += static_cast<int>(h->held.size());
    return count;
}

// --- Registry and version -------------------------------------------------------------------

std::vector<BString> FakeWinMMDriver::children(const std::string& path) const
{
    std::vector<BString> names;
    const std::string prefix = path + "\\";
    for (const auto& entry : registry)
    {
        if (entry.first.compare(0, prefix.size(), prefix) != 0)
            continue;
        // Subkey names keep the case they were written in.
        std::string rest = originalPaths.at(entry.first).CStr();
        rest = rest.substr(prefix.size());
        rest = rest.substr(0, rest.find('\\'));
        const BString name(rest);
        if (std::find_if(names.begin(), names.end(), [&](const BString& n) { return n.Equals(name, true); }) ==
            names.end())
            names.push_back(name);
    }
    return names;
}

bool FakeWinMMDriver::regOpen(const BString& path, std::uint32_t, WinRegKey* key)
{
    std::lock_guard<std::mutex> guard(mutex);
    const std::string wanted = lower(path);
    if (registry.count(wanted) == 0 && children(wanted).empty())
        return false;
    auto k = std::make_unique<Key>();
    k->path = wanted;
    *key = k.get();
    keys.push_back(std::move(k));
    return true;
}

bool FakeWinMMDriver::regQueryString(WinRegKey key, const char* valueName, int maxBytes, BString& value)
{
    std::lock_guard<std::mutex> guard(mutex);
    auto* k = static_cast<Key*>(key);
    auto entry = registry.find(k->path);
    if (entry == registry.end())
        return false;
    auto found = entry->second.find(lower(BString(valueName)));
    if (found == entry->second.end() || found->second.Length() + 1 > maxBytes)
        return false;
    value = found->second;
    return true;
}

bool FakeWinMMDriver::regSubkeyCount(WinRegKey key, int& count)
{
    std::lock_guard<std::mutex> guard(mutex);
    count = static_cast<int>(children(static_cast<Key*>(key)->path).size());
    return true;
}

bool FakeWinMMDriver::regEnumKey(WinRegKey key, int index, BString& name)
{
    std::lock_guard<std::mutex> guard(mutex);
    const std::vector<BString> names = children(static_cast<Key*>(key)->path);
    if (index < 0 || index >= static_cast<int>(names.size()))
        return false;
    name = names[static_cast<size_t>(index)];
    return true;
}

void FakeWinMMDriver::regClose(WinRegKey key)
{
    std::lock_guard<std::mutex> guard(mutex);
    static_cast<Key*>(key)->open = false;
}

int FakeWinMMDriver::openRegistryKeys() const
{
    std::lock_guard<std::mutex> guard(mutex);
    return static_cast<int>(std::count_if(keys.begin(), keys.end(), [](const auto& k) { return k->open; }));
}

bool FakeWinMMDriver::majorVersion(int& major)
{
    major = major_.load();
    return true;
}
