// Copies of one string handed to several threads: the shared block is released correctly on
// whichever thread lets go last, and changes made on one thread never show in another copy.
// Run under ThreadSanitizer and AddressSanitizer to catch races and double frees.
#include "base/BString.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace
{
constexpr int kThreads = 4;
constexpr int kRounds = 2000;

std::vector<std::uint16_t> UnitsOf(const BWideChar* text)
{
    std::vector<std::uint16_t> units;
    while (*text != 0)
        units.push_back(static_cast<std::uint16_t>(*text++));
    return units;
}

TEST(BStringThreads, CopiesChangedOnOtherThreadsLeaveTheOriginalUnchanged)
{
    const BString original("shared \xC3\xA9 text");
    std::atomic<int> failures{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
    {
        threads.emplace_back([&, t] {
            BString mine(original); // copied on the worker: atomic count increment
            while (!go.load())
                std::this_thread::yield();
            for (int round = 0; round < kRounds; ++round)
            {
                BString copy(mine);
                if (copy.CStr() != mine.CStr())
                    ++failures;
                copy.Append(static_cast<char>('a' + t));
                if (copy.Length() != original.Length() + 1 || !copy.StartsWith(original))
                    ++failures;
                BString other(copy);
                other.SetLength(3);
                other.Buffer()[0] = 'X';
                if (!(other == "Xha") || copy.CStr()[0] != 's')
                    ++failures;
                // The wide form of the shared original from many threads at once.
                if (UnitsOf(mine.WStr()).size() != 13)
                    ++failures;
            }
        });
    }
    go = true;
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_STREQ(original.CStr(), "shared \xC3\xA9 text");
}

TEST(BStringThreads, TheLastReleaseMayHappenOnAnyThread)
{
    for (int round = 0; round < 200; ++round)
    {
        auto* original = new BString(BString::Format("round %d", round));
        const BString expected = BString::Format("round %d", round);
        std::vector<BString> copies(kThreads, *original);
        std::atomic<bool> go{false};
        std::atomic<int> failures{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
        {
            threads.emplace_back([&, t] {
                BString copy(std::move(copies[static_cast<size_t>(t)]));
                while (!go.load())
                    std::this_thread::yield();
                if (t % 2 == 0)
                    copy.Append("!");
                if (!copy.StartsWith(expected) || copy.Length() != expected.Length() + (t % 2 == 0 ? 1 : 0))
                    ++failures;
                // copy goes out of scope here: one of the threads frees the block
            });
        }
        go = true;
        delete original; // races with the workers' releases
        for (std::thread& thread : threads)
            thread.join();
        ASSERT_EQ(failures.load(), 0) << "round " << round;
    }
}

TEST(BStringThreads, SharedWideCacheIsFilledOnceForConcurrentReaders)
{
    for (int round = 0; round < 100; ++round)
    {
        const BString original(BString::Format("\xE2\x82\xAC%d", round));
        std::vector<const BWideChar*> seen(kThreads, nullptr);
        std::vector<std::thread> threads;
        std::atomic<bool> go{false};
        for (int t = 0; t < kThreads; ++t)
        {
            threads.emplace_back([&, t] {
                const BString copy(original);
                while (!go.load())
                    std::this_thread::yield();
                seen[static_cast<size_t>(t)] = copy.WStr();
            });
        }
        go = true;
        for (std::thread& thread : threads)
            thread.join();
        for (const BWideChar* p : seen)
            EXPECT_EQ(p, seen[0]) << "every copy sees the same cached form";
        EXPECT_EQ(static_cast<std::uint16_t>(original.WStr()[0]), 0x20AC);
    }
}
} // namespace
