// Deferred deletion for the lock-free data path.
#include "midi/MidiDataPathGuard.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace
{
struct Tracked
{
    explicit Tracked(std::atomic<int>& counter) : deleted(counter) {}
    ~Tracked() { deleted.fetch_add(1); }
    std::atomic<int>& deleted;
};
} // namespace

TEST(MidiDataPathGuard, RetiredObjectIsDeletedAtOnceWhenNoReaderIsInside)
{
    std::atomic<int> deleted{0};
    MidiDataPathGuard guard;
    guard.retire(std::unique_ptr<Tracked>(new Tracked(deleted)));
    EXPECT_EQ(deleted.load(), 1);
    EXPECT_EQ(guard.retiredCount(), 0u);
}

TEST(MidiDataPathGuard, ObjectRetiredWhileAReaderIsInsideOutlivesThatReader)
{
    std::atomic<int> deleted{0};
    MidiDataPathGuard guard;
    std::atomic<bool> inside{false};
    std::atomic<bool> release{false};
    std::thread reader([&] {
        MidiDataPathGuard::Reader scope(guard);
        inside.store(true);
        while (!release.load())
            std::this_thread::yield();
    });
    while (!inside.load())
        std::this_thread::yield();

    guard.retire(std::unique_ptr<Tracked>(new Tracked(deleted)));
    guard.reclaim();
    EXPECT_EQ(deleted.load(), 0) << "a reader that entered before the retire may still hold it";

    release.store(true);
    reader.join();
    guard.reclaim();
    EXPECT_EQ(deleted.load(), 1);
}

TEST(MidiDataPathGuard, SynchronizeInsideAReaderDoesNotWaitForItself)
{
    std::atomic<int> deleted{0}; // outlives the guard, which may delete the object last
    MidiDataPathGuard guard;
    {
        MidiDataPathGuard::Reader inside(guard);
        guard.retire(std::unique_ptr<Tracked>(new Tracked(deleted)));
        EXPECT_EQ(deleted.load(), 0);
        EXPECT_FALSE(guard.synchronize()) << "a reader cannot wait for itself";
        EXPECT_EQ(deleted.load(), 0);
    }
    EXPECT_TRUE(guard.synchronize());
    EXPECT_EQ(deleted.load(), 1);
}

TEST(MidiDataPathGuard, SynchronizeWaitsForReadersInside)
{
    MidiDataPathGuard guard;
    std::atomic<bool> inside{false};
    std::atomic<bool> left{false};
    std::thread reader([&] {
        MidiDataPathGuard::Reader scope(guard);
        inside.store(true);
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        left.store(true);
    });
    while (!inside.load())
        std::this_thread::yield();
    EXPECT_TRUE(guard.synchronize());
    EXPECT_TRUE(left.load()) << "synchronize returned while a reader was still inside";
    reader.join();
}

TEST(MidiDataPathGuard, ManyReadersAndRetiresNeverFreeWhatAReaderHolds)
{
    MidiDataPathGuard guard;
    struct Box
    {
        std::atomic<int> alive{1};
        ~Box() { alive.store(0); }
    };
    std::atomic<Box*> published{new Box};
    std::atomic<bool> stop{false};
    std::atomic<int> violations{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 3; ++t)
        readers.emplace_back([&] {
            while (!stop.load())
            {
                MidiDataPathGuard::Reader scope(guard);
                Box* box = published.load();
                for (int i = 0; i < 20; ++i)
                    if (box->alive.load() != 1)
                        violations.fetch_add(1);
            }
        });
    for (int i = 0; i < 3000; ++i)
    {
        std::unique_ptr<Box> old(published.exchange(new Box));
        guard.retire(std::move(old));
    }
    stop.store(true);
    for (std::thread& t : readers)
        t.join();
    EXPECT_EQ(violations.load(), 0);
    guard.synchronize();
    EXPECT_EQ(guard.retiredCount(), 0u);
    delete published.load();
}
