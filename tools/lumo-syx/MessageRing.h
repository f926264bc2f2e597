// MessageRing: hands MIDI messages from a driver's thread to the thread that prints them without
// a lock, an allocation or a wait on the driver's side (JACK's process thread among them). One
// producer, one consumer; a message that does not fit is dropped and counted.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

class MessageRing
{
public:
    // capacityBytes: a power of two; each message takes its length plus four bytes.
    explicit MessageRing(std::size_t capacityBytes) : bytes(capacityBytes), mask(capacityBytes - 1) {}

    MessageRing(const MessageRing&) = delete;
    MessageRing& operator=(const MessageRing&) = delete;

    // Producer thread. False (and a counted drop) when the message does not fit.
    bool push(const unsigned char* data, int length)
    {
        if (data == nullptr || length <= 0)
            return false;
        const std::size_t head = written.load(std::memory_order_relaxed);
        const std::size_t need = kLengthBytes + static_cast<std::size_t>(length);
        if (bytes.size() - (head - read.load(std::memory_order_acquire)) < need)
        {
            dropped.fetch_add(1, std::memory_order_relaxed);
            return false;
        }
        const auto size = static_cast<std::uint32_t>(length);
        for (std::size_t i = 0; i < kLengthBytes; ++i)
            bytes[(head + i) & mask] = static_cast<unsigned char>(size >> (8 * i));
        for (std::size_t i = 0; i < static_cast<std::size_t>(length); ++i)
            bytes[(head + kLengthBytes + i) & mask] = data[i];
        written.store(head + need, std::memory_order_release);
        return true;
    }

    // Consumer thread: calls handle(data, length) for every message in order.
    template <class Handler> void drain(Handler&& handle)
    {
        std::size_t tail = read.load(std::memory_order_relaxed);
        const std::size_t head = written.load(std::memory_order_acquire);
        while (tail != head)
        {
            std::uint32_t size = 0;
            for (std::size_t i = 0; i < kLengthBytes; ++i)
                size |= static_cast<std::uint32_t>(bytes[(tail + i) & mask]) << (8 * i);
            message.resize(size);
            for (std::size_t i = 0; i < size; ++i)
                message[i] = bytes[(tail + kLengthBytes + i) & mask];
            tail += kLengthBytes + size;
            read.store(tail, std::memory_order_release);
            handle(message.data(), static_cast<int>(size));
        }
    }

    std::uint64_t drops() const { return dropped.load(std::memory_order_relaxed); }

private:
    static constexpr std::size_t kLengthBytes = 4;
    std::vector<unsigned char> bytes;
    const std::size_t mask;
    std::atomic<std::size_t> written{0};
    std::atomic<std::size_t> read{0};
    std::atomic<std::uint64_t> dropped{0};
    // Consumer only.
    std::vector<unsigned char> message;
};
