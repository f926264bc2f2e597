// The lock-free queue between MIDI driver threads and the incoming-message worker (pieces), and
// between the threads that send to ALSA outputs and the sequencer's sender thread (whole
// messages): messages of any size up to the whole queue come out whole and in order, a full queue
// refuses without waiting, and several producers at once lose and mix up nothing.
#include "base/BMessageQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

namespace
{
std::vector<std::vector<std::uint8_t>> popAll(BMessageQueue& queue)
{
    std::vector<std::vector<std::uint8_t>> pieces;
    queue.popAll([&](const std::uint8_t* data, int length) { pieces.emplace_back(data, data + length); });
    return pieces;
}
} // namespace

TEST(BMessageQueue, ALongMessageComesOutInSlotSizedPiecesOrARefusedOneLeavesNothing)
{
    BMessageQueue queue(4);
    std::vector<std::uint8_t> sysex(2 * BMessageQueue::kSlotBytes + 5, 0x11);
    sysex.front() = 0xF0;
    sysex.back() = 0xF7;
    const std::uint8_t note[3] = {0x90, 60, 100};
    ASSERT_EQ(queue.push(note, 3), 1);
    ASSERT_EQ(queue.push(sysex.data(), static_cast<int>(sysex.size())), 3);
    EXPECT_EQ(queue.push(note, 3), 0) << "full";
    EXPECT_EQ(queue.push(sysex.data(), 5 * BMessageQueue::kSlotBytes), 0) << "larger than the queue";

    auto pieces = popAll(queue);
    ASSERT_EQ(pieces.size(), 4u);
    std::vector<std::uint8_t> joined;
    for (std::size_t i = 1; i < pieces.size(); ++i)
        joined.insert(joined.end(), pieces[i].begin(), pieces[i].end());
    EXPECT_EQ(joined, sysex);

    // Two slots free at the end of the ring and two at its start: a three-piece message wraps.
    ASSERT_EQ(queue.push(note, 3), 1);
    EXPECT_EQ(queue.push(sysex.data(), static_cast<int>(sysex.size())), 3);
    EXPECT_EQ(queue.push(note, 3), 0);
    pieces = popAll(queue);
    ASSERT_EQ(pieces.size(), 4u);
    EXPECT_EQ(pieces[3].size(), 5u);
    EXPECT_EQ(pieces[3].back(), 0xF7);
}

TEST(BMessageQueue, ConcurrentProducersKeepEachOnesOrderAndLoseNothingThatWasTaken)
{
    constexpr int kPerProducer = 20000;
    BMessageQueue queue(64);
    std::atomic<int> producersDone{0};
    const auto produce = [&](std::uint8_t tag) {
        for (int i = 0; i < kPerProducer;)
        {
            const std::uint8_t message[3] = {tag, static_cast<std::uint8_t>(i & 0x7F), static_cast<std::uint8_t>((i >> 7) & 0x7F)};
            if (queue.push(message, 3) == 1)
                ++i;   // full: the consumer makes room; this producer tries again
        }
        producersDone.fetch_add(1);
    };
    std::thread first(produce, std::uint8_t{0x90});
    std::thread second(produce, std::uint8_t{0x80});

    int next[2] = {0, 0};
    bool ordered = true;
    const auto consume = [&] {
        queue.popAll([&](const std::uint8_t* data, int length) {
            ASSERT_EQ(length, 3);
            int& expected = next[data[0] == 0x90 ? 0 : 1];
            ordered = ordered && (data[1] | (data[2] << 7)) == (expected & 0x3FFF);
            ++expected;
        });
    };
    while (producersDone.load() < 2)
        consume();
    first.join();
    second.join();
    consume();
    EXPECT_TRUE(ordered);
    EXPECT_EQ(next[0], kPerProducer);
    EXPECT_EQ(next[1], kPerProducer);
}

namespace
{
// Whole messages with tags, as the ALSA sender takes them: 256-byte slots.
constexpr int kCell = 256;

std::vector<unsigned char> message(std::size_t size, unsigned seed)
{
    std::vector<unsigned char> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<unsigned char>((i * 31 + seed) & 0xFF);
    return bytes;
}

bool pushWhole(BMessageQueue& queue, std::uint64_t tag, const unsigned char* data, std::size_t size)
{
    return queue.push(data, static_cast<int>(size), tag) > 0;
}
} // namespace

TEST(BMessageQueueWhole, MessagesComeOutWholeAndInOrderAcrossTheRingsEnd)
{
    BMessageQueue queue(8, kCell); // 2 KiB
    const std::size_t cell = kCell;
    std::vector<unsigned char> out;
    std::uint64_t tag = 0;
    unsigned seed = 0;
    // Sizes that straddle cells and the end of the ring, round after round.
    for (std::size_t size : {std::size_t(3), cell, cell + 1, 3 * cell, 7 * cell + 5, std::size_t(1), 8 * cell})
    {
        for (int round = 0; round < 3; ++round)
        {
            const auto bytes = message(size, ++seed);
            ASSERT_TRUE(pushWhole(queue, seed, bytes.data(), bytes.size())) << size;
            ASSERT_TRUE(queue.pop(tag, out)) << size;
            EXPECT_EQ(tag, seed);
            EXPECT_EQ(out, bytes) << size;
            EXPECT_FALSE(queue.pop(tag, out));
            EXPECT_EQ(queue.consumed(), queue.reserved());
        }
    }
}

TEST(BMessageQueueWhole, AFullQueueRefusesWithoutWaitingAndTakesMoreOnceRead)
{
    BMessageQueue queue(8, kCell);
    const auto big = message(5 * kCell, 1);
    const auto note = message(3, 2);
    std::vector<unsigned char> out;
    std::uint64_t tag = 0;
    EXPECT_FALSE(pushWhole(queue, 1, note.data(), 0));
    const auto tooLarge = message(queue.capacityBytes() + 1, 3);
    EXPECT_FALSE(pushWhole(queue, 1, tooLarge.data(), tooLarge.size()));
    ASSERT_TRUE(pushWhole(queue, 1, big.data(), big.size()));
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(pushWhole(queue, 2, note.data(), note.size()));
    EXPECT_FALSE(pushWhole(queue, 3, note.data(), note.size()));
    EXPECT_FALSE(pushWhole(queue, 3, big.data(), big.size()));
    ASSERT_TRUE(queue.pop(tag, out));
    EXPECT_EQ(out, big);
    EXPECT_TRUE(pushWhole(queue, 3, big.data(), big.size()));
}

TEST(BMessageQueueWhole, SeveralProducersAtOnceLoseAndMixNothing)
{
    BMessageQueue queue(64, kCell);
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
                while (!pushWhole(queue, static_cast<std::uint64_t>(p), bytes.data(), bytes.size()))
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
