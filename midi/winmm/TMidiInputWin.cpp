#include "midi/winmm/TMidiInputWin.h"

#include "midi/MidiDeviceDescriptor.h"
#include "midi/winmm/EMidiError.h"
#include "midi/winmm/MidiDeviceDescriptorWin.h"

#include <chrono>

TMidiInputWin::TMidiInputWin(std::unique_ptr<MidiDeviceDescriptor> d) : TMidiInputBase(std::move(d)) {}

TMidiInputWin::~TMidiInputWin()
{
    try
    {
        closeDevice();
    }
    catch (...)
    {
    }
}

void TMidiInputWin::open()
{
    closing.store(false, std::memory_order_release);
    WinMMSystem& system = WinMMSystem::get();
    const int id = descriptor ? descriptor->index : -1;
    WinMidiHandle handle = nullptr;
    const unsigned result = system.inOpen(&handle, id, &TMidiInputWin::callback, this);
    if ((result != WinMM::kNoError && handle == nullptr) ||
        (handle != nullptr && system.inGetId(handle) == WinMM::kInvalidHandle))
    {
        const BString name = descriptor ? descriptor->displayName() : BString();
        throw EMidiError(EMidiError::textFor(
            result, true, BString::Format("Cannot open MIDI input device \"%s\":", name.CStr())));
    }
    try
    {
        for (int i = 0; i < kBufferCount; ++i)
        {
            auto header = std::make_unique<TMidiInHdr>(kBufferSize);
            buffers.push_back(std::move(header));
            buffers.back()->queue(handle);
        }
    }
    catch (...)
    {
        // The device stays closed: nothing may be left with the driver or behind the handle.
        closing.store(true, std::memory_order_release);
        system.inReset(handle);
        waitForBuffers();
        releaseBuffers(handle);
        closeHandle(handle);
        throw;
    }
    setHandle(handle);
}

void TMidiInputWin::close(void* backendHandle)
{
    WinMidiHandle handle = backendHandle;
    // From here on the callback neither delivers nor hands buffers back.
    const bool driverClosed = closing.exchange(true, std::memory_order_acq_rel);
    started.store(false, std::memory_order_release);
    markStarted(false);
    WinMMSystem& system = WinMMSystem::get();

    const bool isYoke = descriptor && descriptor->displayName().FindNoCase("Yoke") >= 0;
    if (handle != nullptr && !driverClosed && !isYoke)
    {
        // The reset makes the driver return every buffer; wait for that rather than for a fixed
        // time. A second reset catches a buffer the callback re-queued just before closing was set.
        system.inReset(handle);
        if (!waitForBuffers())
        {
            system.inReset(handle);
            waitForBuffers();
        }
    }
    releaseBuffers(handle);
    if (handle != nullptr)
        closeHandle(handle);
}

void TMidiInputWin::closeHandle(WinMidiHandle handle)
{
    // Once the driver has closed the port it no longer touches any buffer; if it refuses, the
    // buffers it kept stay allocated for good.
    if (WinMMSystem::get().inClose(handle) != WinMM::kNoError)
        for (auto& header : parked)
            header.release();
    parked.clear();
}

void TMidiInputWin::releaseBuffers(WinMidiHandle handle)
{
    for (auto& header : buffers)
    {
        if (handle != nullptr && header->unprepare(handle) != WinMM::kNoError)
        {
            // The driver still holds it: freeing it now would let the driver write into freed
            // memory. It waits until the port is closed.
            parked.push_back(std::move(header));
            ++abandoned;
        }
    }
    buffers.clear();
}

bool TMidiInputWin::waitForBuffers()
{
    const auto allBack = [this] {
        for (const auto& header : buffers)
            if (header->atDriver.load(std::memory_order_acquire))
                return false;
        return true;
    };
    std::unique_lock<std::mutex> guard(returnMutex);
    return returnSignal.wait_for(guard, std::chrono::milliseconds(kReturnTimeoutMs), allBack);
}

void TMidiInputWin::bufferReturned(TMidiInHdr* header)
{
    {
        std::lock_guard<std::mutex> guard(returnMutex);
        header->atDriver.store(false, std::memory_order_release);
    }
    returnSignal.notify_all();
}

void TMidiInputWin::start()
{
    WinMidiHandle handle = getHandle();
    if (handle == nullptr)
        return;
    const unsigned result = WinMMSystem::get().inStart(handle);
    if (result != WinMM::kNoError)
        throw EMidiError(EMidiError::textFor(result, true));
    markStarted(true);
    started.store(true, std::memory_order_release);
}

void TMidiInputWin::stop()
{
    WinMidiHandle handle = getHandle();
    if (handle != nullptr && !closing.load(std::memory_order_acquire))
        WinMMSystem::get().inStop(handle);
    started.store(false, std::memory_order_release);
    markStarted(false);
}

void TMidiInputWin::poll()
{
    if (isOpen() && closing.load(std::memory_order_acquire))
        closeDevice();
}

void TMidiInputWin::callback(WinMidiHandle handle, unsigned message, void* instance, std::uintptr_t param1,
                             std::uintptr_t param2)
{
    if (instance == nullptr)
        return;
    auto* self = static_cast<TMidiInputWin*>(instance);
    try
    {
        self->onDriverMessage(handle, message, param1, param2);
    }
    catch (const std::exception& error)
    {
        // An exception must not leave the driver's callback: the system would end the process.
        self->deliveryFailed(error.what());
    }
    catch (...)
    {
        self->deliveryFailed("Unspecified error");
    }
}

template <typename Deliver>
void TMidiInputWin::deliverGuarded(Deliver&& deliver) noexcept
{
    try
    {
        deliver();
    }
    catch (const std::exception& error)
    {
        deliveryFailed(error.what());
    }
    catch (...)
    {
        deliveryFailed("Unspecified error");
    }
}

void TMidiInputWin::deliveryFailed(const char* reason) noexcept
{
    if (!countFailure())
        return;
    try
    {
        reportFailure(BString::Format("Data from MIDI input device \"%s\" was lost:\r\n%s", openedName().CStr(),
                                      reason));
    }
    catch (...)
    {
        // Counted all the same.
    }
}

void TMidiInputWin::onDriverMessage(WinMidiHandle handle, unsigned message, std::uintptr_t param1,
                                    std::uintptr_t param2)
{
    const bool isBuffer = message == WinMM::kInLongData || message == WinMM::kInLongError;
    auto* header = isBuffer ? static_cast<TMidiInHdr*>(
                                  TMidiHdrBase::fromHeader(reinterpret_cast<const WinMidiHeader*>(param1)))
                            : nullptr;
    if (closing.load(std::memory_order_acquire) || !started.load(std::memory_order_acquire))
    {
        if (header != nullptr)
            bufferReturned(header);
        return;
    }

    const std::int64_t timestamp = static_cast<std::int64_t>(static_cast<std::uint32_t>(param2));
    switch (message)
    {
    case WinMM::kInClose:
        closing.store(true, std::memory_order_release);
        break;
    case WinMM::kInData:
    case WinMM::kInError:
    case WinMM::kInMoreData:
    {
        // The packed message's bytes in memory order: status, data 1, data 2.
        const std::uint32_t packed = static_cast<std::uint32_t>(param1);
        const unsigned char bytes[3] = {static_cast<unsigned char>(packed), static_cast<unsigned char>(packed >> 8),
                                        static_cast<unsigned char>(packed >> 16)};
        deliverGuarded([&] { deliverShort(bytes, timestamp); });
        break;
    }
    case WinMM::kInLongData:
    case WinMM::kInLongError:
        if (header == nullptr)
            break;
        if (getDataListener() == nullptr)
        {
            bufferReturned(header);
            break;
        }
        deliverGuarded(
            [&] { deliverLong(header->header.data, static_cast<int>(header->header.bytesRecorded), timestamp); });
        if (closing.load(std::memory_order_acquire))
        {
            bufferReturned(header);
        }
        else
        {
            header->header.bytesRecorded = 0;
            if (WinMMSystem::get().inAddBuffer(handle, &header->header) != WinMM::kNoError)
                bufferReturned(header);
        }
        break;
    default:
        break;
    }
}
