#include "midi/winmm/TMidiOutputWin.h"

#include "midi/MidiDeviceDescriptor.h"
#include "midi/MidiStatus.h"
#include "midi/winmm/EMidiError.h"
#include "midi/winmm/MidiDeviceDescriptorWin.h"

#include <chrono>
#include <thread>

TMidiOutputWin::TMidiOutputWin(std::unique_ptr<MidiDeviceDescriptor> d) : TMidiOutputBase(std::move(d)) {}

TMidiOutputWin::~TMidiOutputWin()
{
    try
    {
        closeDevice();
    }
    catch (...)
    {
    }
    releaseLeftOverHeaders();
}

void TMidiOutputWin::open()
{
    closing.store(false, std::memory_order_release);
    releaseLeftOverHeaders();
    WinMMSystem& system = WinMMSystem::get();
    const auto* winDescriptor = dynamic_cast<const MidiDeviceDescriptorWin*>(descriptor.get());
    const int id = winDescriptor != nullptr ? winDescriptor->winmmId() : (descriptor ? descriptor->index - 1 : -1);
    WinMidiHandle handle = nullptr;
    const unsigned result = system.outOpen(&handle, id, &TMidiOutputWin::callback, this);
    if ((result != WinMM::kNoError && handle == nullptr) ||
        (handle != nullptr && system.outShortMsg(handle, 0) == WinMM::kInvalidHandle))
    {
        const BString name = descriptor ? descriptor->displayName() : BString();
        throw EMidiError(EMidiError::textFor(
            result, false, BString::Format("Cannot open MIDI output device \"%s\":", name.CStr())));
    }
    setHandle(handle);
}

void TMidiOutputWin::close(void* backendHandle)
{
    WinMidiHandle handle = backendHandle;
    if (handle != nullptr)
    {
        WinMMSystem& system = WinMMSystem::get();
        // The reset makes the driver report every long message done (the callback frees them);
        // wait for that, bounded, rather than closing over buffers it still holds.
        system.outReset(handle);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kDoneTimeoutMs);
        while (headersInFlight() > 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        releaseLeftOverHeaders();
        // Once the driver has closed the port it no longer touches any header; if it refuses,
        // the headers it kept stay allocated for good.
        const bool closed = system.outClose(handle) == WinMM::kNoError;
        BLockGuard guard(headersLock);
        if (!closed)
            for (auto& header : parked)
                header.release();
        parked.clear();
    }
    pendingLong.store(0, std::memory_order_release);
}

void TMidiOutputWin::poll()
{
    if (isOpen() && closing.load(std::memory_order_acquire))
        closeDevice();
}

int TMidiOutputWin::headersInFlight() const
{
    BLockGuard guard(headersLock);
    int count = 0;
    for (const TMidiOutHdr* header : headers)
        if (header != nullptr)
            ++count;
    return count;
}

void TMidiOutputWin::releaseLeftOverHeaders()
{
    BLockGuard guard(headersLock);
    for (TMidiOutHdr*& header : headers)
    {
        if (header == nullptr)
            continue;
        // The driver never reported it done, so it may still read it: it stays allocated until
        // the port is closed.
        header->slot = TMidiOutHdr::kAbandoned;
        parked.emplace_back(header);
        header = nullptr;
        abandoned.fetch_add(1);
    }
    headers.clear();
}

bool TMidiOutputWin::sendShort(std::uint32_t message)
{
    WinMidiHandle handle = getHandle();
    if (handle == nullptr || closing.load(std::memory_order_acquire))
        return false;
    const unsigned result = WinMMSystem::get().outShortMsg(handle, message);
    if (result == WinMM::kNoError)
        return true;
    sendFailed(result);
    return false;
}

bool TMidiOutputWin::sendLong(const unsigned char* data, int length)
{
    if (getHandle() == nullptr || length <= 0 || closing.load(std::memory_order_acquire))
        return false;
    // Only a block headed by a status byte is a short message. One that begins with a data byte
    // or with F7 is the end of a longer SysEx (data bytes up to F7, or F7 alone): as a short
    // message the driver would keep only what a status byte calls for and corrupt the SysEx.
    // F0 with one or two bytes after it is a whole SysEx; a lone F0 stays a short message.
    const unsigned char first = data[0];
    const bool headedByStatus = first >= 0x80 && first != MidiStatus::kSysExEnd;
    if (length <= 3 && headedByStatus && (length == 1 || first != MidiStatus::kSysExStart))
    {
        std::uint32_t packed = first;
        if (length >= 2)
            packed |= static_cast<std::uint32_t>(data[1]) << 8;
        if (length >= 3)
            packed |= static_cast<std::uint32_t>(data[2]) << 16;
        return sendShort(packed);
    }
    return sendAsLong(data, length);
}

bool TMidiOutputWin::sendAsLong(const unsigned char* data, int length)
{
    WinMidiHandle handle = getHandle();
    if (handle == nullptr || length <= 0 || closing.load(std::memory_order_acquire))
        return false;
    auto header = std::make_unique<TMidiOutHdr>(length);
    std::copy(data, data + length, header->header.data);
    try
    {
        header->queue(handle);
    }
    catch (const EMidiError& error)
    {
        // Thru sends run inside an input driver's callback, which nothing may leave by an
        // exception: a failed prepare is a failed send like any other.
        sendFailed(WinMM::kError, error.what());
        return false;
    }
    // Counted before the driver can report it done, so the count never goes below zero.
    pendingLong.fetch_add(1, std::memory_order_acq_rel);
    const unsigned result = WinMMSystem::get().outLongMsg(handle, &header->header);
    if (result != WinMM::kNoError)
    {
        pendingLong.fetch_sub(1, std::memory_order_acq_rel);
        header->unprepare(handle);
        sendFailed(result);
        return false;
    }

    TMidiOutHdr* finishedEarly = nullptr;
    {
        BLockGuard guard(headersLock);
        TMidiOutHdr* raw = header.release();
        if (raw->slot == TMidiOutHdr::kUnregistered)
        {
            int free = -1;
            for (size_t i = 0; i < headers.size(); ++i)
                if (headers[i] == nullptr)
                {
                    free = static_cast<int>(i);
                    break;
                }
            if (free < 0)
            {
                headers.push_back(raw);
                free = static_cast<int>(headers.size()) - 1;
            }
            else
            {
                headers[static_cast<size_t>(free)] = raw;
            }
            raw->slot = free;
        }
        else
        {
            finishedEarly = raw;
        }
    }
    delete finishedEarly;
    return true;
}

void TMidiOutputWin::sendFailed(unsigned result, const char* reason) noexcept
{
    if (!isOpen() || closing.load(std::memory_order_acquire) || !countFailure())
        return;
    try
    {
        const BString prefix = BString::Format("Cannot send to MIDI output device \"%s\":", openedName().CStr());
        reportFailure(reason != nullptr ? prefix + "\r\n" + reason : EMidiError::textFor(result, false, prefix));
    }
    catch (...)
    {
        // Counted all the same.
    }
}

bool TMidiOutputWin::sendBlock(const unsigned char* data, int length, bool first)
{
    // Only a whole message may take the short form; a piece of a longer one never does.
    return first ? sendLong(data, length) : sendAsLong(data, length);
}

void TMidiOutputWin::callback(WinMidiHandle handle, unsigned message, void* instance, std::uintptr_t param1,
                              std::uintptr_t)
{
    if (instance == nullptr)
        return;
    auto* self = static_cast<TMidiOutputWin*>(instance);
    try
    {
        if (message == WinMM::kOutClose)
            self->closing.store(true, std::memory_order_release);
        else if (message == WinMM::kOutDone)
            self->onDone(handle, static_cast<TMidiOutHdr*>(
                                     TMidiHdrBase::fromHeader(reinterpret_cast<const WinMidiHeader*>(param1))));
    }
    catch (const std::exception& error)
    {
        // An exception must not leave the driver's callback: the system would end the process.
        self->sendFailed(WinMM::kError, error.what());
    }
    catch (...)
    {
        self->sendFailed(WinMM::kError, "Unspecified error");
    }
}

void TMidiOutputWin::onDone(WinMidiHandle handle, TMidiOutHdr* header)
{
    pendingLong.fetch_sub(1, std::memory_order_acq_rel);
    if (header == nullptr)
        return;
    const bool released = header->unprepare(handle) == WinMM::kNoError;
    TMidiOutHdr* doomed = nullptr;
    {
        BLockGuard guard(headersLock);
        if (header->slot == TMidiOutHdr::kAbandoned)
        {
            // Owned by the parked list; freed when the port is closed.
        }
        else if (header->slot >= 0)
        {
            if (released)
            {
                headers[static_cast<size_t>(header->slot)] = nullptr;
                doomed = header;
            }
        }
        else
        {
            header->slot = TMidiOutHdr::kFinishedEarly;
        }
    }
    delete doomed;
}
