// The queue between the threads that send to ALSA outputs and the sequencer's sender thread:
// messages of any size up to the whole queue come out whole and in order, a full queue refuses
// without waiting, and several producers at once lose and mix up nothing.
#include "midi/alsa/AlsaSendQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace
{
std::vector<unsigned char> message(std::size_t size, unsigned seed)
{
    std::vector<unsigned char> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<unsigned char>((i * 31 + seed) & 0xFF);
    return bytes;
}
} // namespace

TEST(AlsaSendQueue, MessagesComeOutWholeAndInOrderAcrossTheRingsEnd)
{
    AlsaSendQueue queue(8); // 2 KiB
    const std::size_t cell = AlsaSendQueue::kCellBytes;
    std::vector<unsigned char> out;
    std::uint64_t tag = 0;
    unsigned seed = 0;
    // Sizes that straddle cells and the end of the ring, round after round.
    for (std::size_t size : {std::size_t(3), cell, cell + 1, 3 * cell, 7 * cell + 5, std::size_t(1), 8 * cell})
    {
        for (int round = 0; round < 3; ++round)
        {
            const auto bytes = message(size, ++seed);
            ASSERT_TRUE(queue.push(seed, bytes.data(), bytes.size())) << size;
            ASSERT_TRUE(queue.pop(tag, out)) << size;
            EXPECT_EQ(tag, seed);
            EXPECT_EQ(out, bytes) << size;
            EXPECT_FALSE(queue.pop(tag, out));
            EXPECT_EQ(queue.consumed(), queue.reserved());
        }
    }
}

TEST(AlsaSendQueue, AFullQueueRefusesWithoutWaitingAndTakesMoreOnceRead)
{
    AlsaSendQueue queue(8);
    const auto big = message(5 * AlsaSendQueue::kCellBytes, 1);
    const auto note = message(3, 2);
    std::vector<unsigned char> out;
    std::uint64_t tag = 0;
    EXPECT_FALSE(queue.push(1, note.data(), 0));
    const auto tooLarge = message(queue.capacityBytes() + 1, 3);
    EXPECT_FALSE(queue.push(1, tooLarge.data(), tooLarge.size()));
    ASSERT_TRUE(queue.push(1, big.data(), big.size()));
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(queue.push(2, note.data(), note.size()));
    EXPECT_FALSE(queue.push(3, note.data(), note.size()));
    EXPECT_FALSE(queue.push(3, big.data(), big.size()));
    ASSERT_TRUE(queue.pop(tag, out));
    EXPECT_EQ(out, big);
    EXPECT_TRUE(queue.push(3, big.data(), big.size()));
}

TEST(AlsaSendQueue, SeveralProducersAtOnceLoseAndMixNothing)
{
    AlsaSendQueue queue(64);
    constexpr int kProducers = 3;
    constexpr int kEach = 3000;
    std::atomic<int> refused{0};
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p)
        producers.emplace_back([&, p] {
            for (int n = 0; n < kEach; ++n)
            {
                // The producer and its count in the first bytes, then a body of 1 to 700 bytes.
                std::vector<unsigned char> bytes = message(4 + static_cast<std::size_t>(n * 37 % 700), n);
                bytes[0] = static_cast<unsigned char>(p);
                bytes[1] = static_cast<unsigned char>(n >> 8);
                bytes[2] = static_cast<unsigned char>(n & 0xFF);
                while (!queue.push(static_cast<std::uint64_t>(p), bytes.data(), bytes.size()))
                {
                    refused.fetch_add(1);
                    std::this_thread::yield();
                }
            }
        });
    std::vector<int> next(kProducers, 0);
    std::vector<unsigned char> out;
    std::uint64_t tag = 0;
    int received = 0;
    while (received < kProducers * kEach)
    {
        if (!queue.pop(tag, out))
        {
            std::this_thread::yield();
            continue;
        }
        ++received;
        ASSERT_LT(tag, static_cast<std::uint64_t>(kProducers));
        const int p = static_cast<int>(tag);
        const int n = out[1] << 8 | out[2];
        ASSERT_EQ(out[0], p);
        ASSERT_EQ(n, next[static_cast<std::size_t>(p)]) << "producer " << p;
        std::vector<unsigned char> expected = message(4 + static_cast<std::size_t>(n * 37 % 700), n);
        expected[0] = out[0];
        expected[1] = out[1];
        expected[2] = out[2];
        ASSERT_EQ(out, expected) << "producer " << p << " message " << n;
        ++next[static_cast<std::size_t>(p)];
    }
    for (auto& producer : producers)
        producer.join();
    EXPECT_FALSE(queue.pop(tag, out));
    EXPECT_GT(refused.load(), 0) << "the queue never filled: the test did not try the full case";
}
