// The lock-free queue between MIDI driver threads and the incoming-message worker.
#include "base/BMessageQueue.h"

#include <gtest/gtest.h>

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
