#include "midi/TMidiDeviceBase.h"

#include "base/BClock.h"
#include "midi/MidiDeviceDescriptor.h"
#include "midi/MidiStatus.h"

#include <algorithm>

TMidiDeviceBase::TMidiDeviceBase(std::unique_ptr<MidiDeviceDescriptor> descriptor_)
    : descriptor(std::move(descriptor_))
{
}

TMidiDeviceBase::~TMidiDeviceBase() = default;

void TMidiDeviceBase::openDevice()
{
    {
        BLockGuard guard(lock);
        if (isOpen())
            return;
        // Before open: data may flow as soon as the backend holds its handle.
        failures.store(0, std::memory_order_relaxed);
        {
            const BString name = descriptor ? descriptor->displayName() : BString();
            std::lock_guard<std::mutex> names(nameMutex);
            nameWhenOpened = name;
        }
        open();
    }
    afterOpen();
}

void TMidiDeviceBase::closeDevice()
{
    void* taken = handle.exchange(nullptr, std::memory_order_acq_rel);
    if (taken == nullptr)
        return;
    {
        BLockGuard guard(lock);
        close(taken);
    }
    afterClose();
}

void TMidiDeviceBase::reportFailure(const BString& text) noexcept
{
    TMidiDeviceErrorListener* listener = errorListener.load(std::memory_order_acquire);
    if (listener == nullptr)
        return;
    try
    {
        listener->onMidiError(this, text);
    }
    catch (...)
    {
        // Nobody further up could take it: the caller is a driver callback.
    }
}

BString TMidiDeviceBase::openedName() const
{
    std::lock_guard<std::mutex> guard(nameMutex);
    return nameWhenOpened;
}

void TMidiDeviceBase::setDescriptor(const MidiDeviceDescriptor* d)
{
    if (d == nullptr || (descriptor && descriptor->equals(d)))
        return;
    descriptor = d->clone();
}

TMidiInputBase::TMidiInputBase(std::unique_ptr<MidiDeviceDescriptor> descriptor_)
    : TMidiDeviceBase(std::move(descriptor_))
{
}

std::int64_t TMidiInputBase::now() const
{
    return static_cast<std::int64_t>(static_cast<std::uint32_t>(BClock::now() - startTime.load()));
}

void TMidiInputBase::afterClose()
{
    running.store(0);
    delivered.store(0);
}

void TMidiInputBase::markStarted(bool isRunning)
{
    if (isRunning)
        startTime.store(BClock::now());
    running.store(isRunning ? 1 : 0);
}

bool TMidiInputBase::deliverShort(const unsigned char* bytes, std::int64_t timestamp)
{
    const unsigned char status = bytes[0];
    if (status == MidiStatus::kActiveSensing && passActiveSensing.load(std::memory_order_relaxed) == 0)
        return false;
    if (status == MidiStatus::kTimingClock && passClock.load(std::memory_order_relaxed) == 0)
        return false;
    TMidiDeviceDataListener* listener = dataListener.load(std::memory_order_acquire);
    if (listener == nullptr)
        return false;
    delivered.fetch_add(1, std::memory_order_relaxed);
    listener->onMidiData(this, timestamp, bytes, MidiStatus::statusLength(status));
    return true;
}

bool TMidiInputBase::deliverLong(const unsigned char* data, int length, std::int64_t timestamp)
{
    TMidiDeviceDataListener* listener = dataListener.load(std::memory_order_acquire);
    if (listener == nullptr)
        return false;
    delivered.fetch_add(1, std::memory_order_relaxed);
    listener->onMidiData(this, timestamp, data, length);
    return true;
}

void TMidiInputBase::deliverBytes(const unsigned char* data, std::size_t size, bool asLong, std::int64_t timestamp)
{
    std::size_t offset = 0;
    while (!asLong && offset < size)
    {
        const int length = MidiStatus::statusLength(data[offset]);
        if (length <= 0 || offset + static_cast<std::size_t>(length) > size || data[offset] == MidiStatus::kSysExStart)
            break;
        unsigned char message[3] = {0, 0, 0};
        std::copy(data + offset, data + offset + length, message);
        deliverShort(message, timestamp);
        offset += static_cast<std::size_t>(length);
    }
    for (; offset < size; offset += kLongPieceSize)
    {
        const std::size_t piece = std::min<std::size_t>(kLongPieceSize, size - offset);
        deliverLong(data + offset, static_cast<int>(piece), timestamp);
    }
}

TMidiOutputBase::TMidiOutputBase(std::unique_ptr<MidiDeviceDescriptor> descriptor_)
    : TMidiDeviceBase(std::move(descriptor_))
{
}

bool TMidiOutputBase::sendShortBytes(int status, int data1, int data2)
{
    return sendShort(static_cast<std::uint32_t>(status & 0xFF) | static_cast<std::uint32_t>(data1 & 0xFF) << 8 |
                     static_cast<std::uint32_t>(data2 & 0xFF) << 16);
}

bool TMidiOutputBase::sendBlock(const unsigned char* data, int length, bool)
{
    return sendLong(data, length);
}

int TMidiOutputBase::sendLongInBlocks(const unsigned char* data, int length, TMidiSendProgressListener* listener)
{
    TMidiSendProgress progress;
    int block = kBlockSize;
    while (length > 0 && isOpen())
    {
        if (listener != nullptr)
        {
            while (pendingLongCount() > kMaxBlocksInFlight)
            {
                listener->progress(this, progress);
                if (progress.proceed == 0)
                    return progress.sent;
            }
        }
        if (length < block)
            block = length;
        if (!sendBlock(data, block, progress.sent == 0))
            break;
        progress.sent += block;
        length -= block;
        if (listener != nullptr)
        {
            if (length <= 0)
                break;
            listener->progress(this, progress);
            if (progress.proceed == 0)
                break;
        }
        data += block;
    }
    return progress.sent;
}
