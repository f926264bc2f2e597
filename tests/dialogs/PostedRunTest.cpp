// The hand-over of a Runnable to the message thread: bursts coalesce, a post during the run is
// delivered again, and an owner destroyed with a call still waiting is never called. The
// toolkit's real event loop runs on the test's main thread; run under the sanitizers, the
// destruction cases catch any call that reaches a freed owner.
#include "dialogs/PostedRun.h"

#include <juce_events/juce_events.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace
{
class EventLoopEnvironment : public ::testing::Environment
{
public:
    void SetUp() override { loop = std::make_unique<juce::ScopedJuceInitialiser_GUI>(); }
    void TearDown() override { loop.reset(); }

private:
    std::unique_ptr<juce::ScopedJuceInitialiser_GUI> loop;
};

::testing::Environment* const eventLoop = ::testing::AddGlobalTestEnvironment(new EventLoopEnvironment);

void pump(int ms)
{
    juce::MessageManager::getInstance()->runDispatchLoopUntil(ms);
}

template <typename Condition>
bool pumpUntil(Condition done, int timeoutMs = 10000)
{
    const auto end = juce::Time::getMillisecondCounter() + static_cast<juce::uint32>(timeoutMs);
    while (! done())
    {
        if (juce::Time::getMillisecondCounter() >= end)
            return done();
        pump(2);
    }
    return true;
}

// An owner as a combo box is one: the target and its hand-over die together.
struct Owner : Runnable
{
    void run(int first, int second) override
    {
        EXPECT_TRUE(juce::MessageManager::existsAndIsCurrentThread());
        EXPECT_EQ(first, 0);
        EXPECT_EQ(second, 0);
        ++runs;
        ++totalRuns;
        if (onRun)
            onRun();
    }

    std::atomic<int> runs { 0 };
    static inline std::atomic<int> totalRuns { 0 };
    std::function<void()> onRun;
    PostedRun posted { *this };
};

TEST(PostedRun, ABurstFromSeveralThreadsBeforeTheMessageThreadRunsGivesOneRun)
{
    Owner owner;
    std::atomic<int> posted { 0 };
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 250; ++i)
                if (owner.posted.post())
                    ++posted;
        });
    for (auto& thread : threads)
        thread.join();

    EXPECT_EQ(posted.load(), 1);
    EXPECT_TRUE(owner.posted.isWaiting());
    ASSERT_TRUE(pumpUntil([&] { return owner.runs.load() == 1; }));
    pump(50);
    EXPECT_EQ(owner.runs.load(), 1);
    EXPECT_FALSE(owner.posted.isWaiting());
}

TEST(PostedRun, APostMadeDuringTheRunIsDeliveredAgain)
{
    Owner owner;
    owner.onRun = [&] {
        if (owner.runs.load() == 1)
        {
            EXPECT_TRUE(owner.posted.post());
        }
    };
    ASSERT_TRUE(owner.posted.post());
    ASSERT_TRUE(pumpUntil([&] { return owner.runs.load() == 2; }));
    pump(50);
    EXPECT_EQ(owner.runs.load(), 2);
}

TEST(PostedRun, AnOwnerDestroyedWithACallWaitingIsNeverCalled)
{
    const int before = Owner::totalRuns.load();
    for (int i = 0; i < 20; ++i)
    {
        auto owner = std::make_unique<Owner>();
        std::thread poster([&] { EXPECT_TRUE(owner->posted.post()); });
        poster.join();
        ASSERT_TRUE(owner->posted.isWaiting());
        owner.reset();
    }
    // The detached calls are delivered now and must not reach anybody.
    Owner witness;
    ASSERT_TRUE(witness.posted.post());
    ASSERT_TRUE(pumpUntil([&] { return witness.runs.load() == 1; }));
    pump(50);
    EXPECT_EQ(Owner::totalRuns.load() - before, 1);
}

TEST(PostedRun, OwnersComeAndGoWhilePostersRunUntilTheyAreStopped)
{
    // Posters stop (as a manager's listener removal waits for them) before their owner is
    // destroyed on the message thread, often with a call still waiting.
    int destroyedWaiting = 0;
    for (int round = 0; round < 60; ++round)
    {
        auto owner = std::make_unique<Owner>();
        std::atomic<bool> stop { false };
        std::vector<std::thread> posters;
        for (int t = 0; t < 2; ++t)
            posters.emplace_back([&] {
                while (! stop.load())
                {
                    owner->posted.post();
                    std::this_thread::yield();
                }
            });
        pumpUntil([&] { return owner->runs.load() >= 1 + round % 3; }, 5000);
        stop = true;
        for (auto& poster : posters)
            poster.join();
        if (owner->posted.isWaiting())
            ++destroyedWaiting;
        owner.reset();
        pump(1);
    }
    pump(50);
    // The interesting case happened (posters almost always leave a call waiting).
    EXPECT_GT(destroyedWaiting, 0);
}
} // namespace
