// Worker threads: start and finish bookkeeping, cooperative stop, the bounded wait and what
// happens to a thread that does not stop.
#include "base/BErrorReport.h"
#include "base/BThread.h"
#include "support/WaitFor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <thread>

using lumo_test::Stopwatch;
using lumo_test::waitFor;

namespace
{
// Loops until asked to end, like every well-behaved run body.
class CooperativeThread : public BThread
{
public:
    CooperativeThread() : BThread(BString("cooperative")) {}
    ~CooperativeThread() override { stop(); }

    void run() override
    {
        // Before counting the run: the test reads the depth as soon as it sees the count.
        sawRunDepth = runDepth();
        ++runs;
        while (!terminated())
            wakeEvent().wait(1000);
        ++returns;
    }

    std::atomic<int> runs{0};
    std::atomic<int> returns{0};
    std::atomic<int> sawRunDepth{-1};
};

class CountingFinishListener : public BThread::FinishListener
{
public:
    void threadFinished(BThread* thread) override
    {
        last = thread;
        stillRunning = thread->running();
        ++calls;
    }
    std::atomic<int> calls{0};
    std::atomic<BThread*> last{nullptr};
    std::atomic<bool> stillRunning{true};
};

// A run body that ignores stop requests until the test lets it go. It never touches the thread
// object, so it stays valid after the object is gone.
class StubbornTarget : public BThread::RunTarget
{
public:
    void run(BThread*) override
    {
        entered = true;
        while (!release.load())
            BThread::sleep(1);
        returned = true;
    }
    std::atomic<bool> entered{false};
    std::atomic<bool> release{false};
    std::atomic<bool> returned{false};
};

// On Windows a thread given up is killed, elsewhere it is abandoned and returns later; either
// way, let it go and give it the chance to run into trouble before the test ends.
void releaseAbandoned(StubbornTarget& target)
{
    target.release = true;
    waitFor([&] { return target.returned.load(); }, 1000);
    BThread::sleep(50);
}
} // namespace

TEST(BThread, RunsOnItsOwnThreadAndFinishesWhenTerminated)
{
    CountingFinishListener listener;
    CooperativeThread thread;
    thread.finishListener = &listener;
    EXPECT_FALSE(thread.running());

    ASSERT_TRUE(thread.start());
    EXPECT_TRUE(thread.running());
    EXPECT_FALSE(thread.terminated());
    ASSERT_TRUE(waitFor([&] { return thread.runs.load() == 1; }));
    EXPECT_EQ(thread.sawRunDepth.load(), 1);
    EXPECT_FALSE(thread.isCurrentThread());

    thread.terminate();
    EXPECT_TRUE(thread.terminated());
    ASSERT_TRUE(waitFor([&] { return !thread.running(); }));
    EXPECT_EQ(thread.returns.load(), 1);
    EXPECT_EQ(thread.runDepth(), 0);
    ASSERT_TRUE(waitFor([&] { return listener.calls.load() == 1; }));
    EXPECT_EQ(listener.last.load(), &thread);
    EXPECT_FALSE(listener.stillRunning.load()) << "bookkeeping is done before the listener hears";
}

TEST(BThread, StopOfACooperativeThreadReturnsTrueQuickly)
{
    CooperativeThread thread;
    ASSERT_TRUE(thread.start());
    ASSERT_TRUE(waitFor([&] { return thread.runs.load() == 1; }));
    const Stopwatch watch;
    EXPECT_TRUE(thread.stop());
    EXPECT_LT(watch.elapsedMs(), 1500);
    EXPECT_FALSE(thread.running());
    EXPECT_TRUE(thread.terminated());
    EXPECT_TRUE(thread.stop()) << "stopping a stopped thread is harmless";
}

TEST(BThread, CanBeStartedAgainAfterItFinished)
{
    CountingFinishListener listener;
    CooperativeThread thread;
    thread.finishListener = &listener;
    for (int round = 1; round <= 3; ++round)
    {
        ASSERT_TRUE(thread.start());
        ASSERT_TRUE(waitFor([&] { return thread.runs.load() == round; }));
        EXPECT_TRUE(thread.stop());
    }
    EXPECT_EQ(thread.returns.load(), 3);
    EXPECT_TRUE(waitFor([&] { return listener.calls.load() == 3; }));
}

TEST(BThread, RunTargetReplacesTheThreadsOwnRun)
{
    struct Target : BThread::RunTarget
    {
        void run(BThread* thread) override
        {
            seen = thread;
            onThread = thread->isCurrentThread();
        }
        std::atomic<BThread*> seen{nullptr};
        std::atomic<bool> onThread{false};
    } target;
    CooperativeThread thread;
    thread.runTarget = &target;
    ASSERT_TRUE(thread.start());
    ASSERT_TRUE(waitFor([&] { return !thread.running(); }));
    EXPECT_EQ(target.seen.load(), &thread);
    EXPECT_TRUE(target.onThread.load());
    EXPECT_EQ(thread.runs.load(), 0) << "the thread's own run must not be called";
}

TEST(BThread, StopFromTheThreadItselfOnlyRequestsTheEnd)
{
    struct SelfStopping : BThread
    {
        SelfStopping() : BThread(BString("self")) {}
        ~SelfStopping() override { stop(); }
        void run() override
        {
            const Stopwatch watch;
            result = stop();
            took = watch.elapsedMs();
            sawTerminated = terminated();
            stillRunning = running();
        }
        std::atomic<bool> result{false};
        std::atomic<long long> took{-1};
        std::atomic<bool> sawTerminated{false};
        std::atomic<bool> stillRunning{false};
    } thread;
    ASSERT_TRUE(thread.start());
    ASSERT_TRUE(waitFor([&] { return !thread.running(); }));
    EXPECT_TRUE(thread.result.load());
    EXPECT_GE(thread.took.load(), 0);
    EXPECT_LT(thread.took.load(), 500) << "must not wait for itself";
    EXPECT_TRUE(thread.sawTerminated.load());
    EXPECT_TRUE(thread.stillRunning.load()) << "the run had not returned yet";
}

TEST(BThread, DeleteWhenDoneThreadDeletesItselfAndStopDoesNotWait)
{
    static std::atomic<int> destroyed{0};
    static std::atomic<bool> stopReturned{false};
    destroyed = 0;
    stopReturned = false;
    struct SelfDeleting : BThread
    {
        SelfDeleting() : BThread(BString("self-deleting")) {}
        ~SelfDeleting() override { ++destroyed; }
        void run() override
        {
            while (!terminated())
                wakeEvent().wait(1000);
            // Still busy until the caller of stop() is done with the object.
            while (!stopReturned.load())
                BThread::sleep(1);
        }
    };
    auto owner = std::make_unique<SelfDeleting>();
    owner->deleteWhenDone = true;
    ASSERT_TRUE(owner->start());
    SelfDeleting* thread = owner.release(); // from now on it owns itself
    const Stopwatch watch;
    EXPECT_TRUE(thread->stop());
    const long long took = watch.elapsedMs();
    stopReturned = true;
    EXPECT_LT(took, 500) << "stop() must not wait for a self-deleting thread";
    EXPECT_TRUE(waitFor([&] { return destroyed.load() == 1; }));
    BThread::sleep(20);
    EXPECT_EQ(destroyed.load(), 1);
}

TEST(BThread, DestructorRequestsTheEndAndWaitsForTheRunToReturn)
{
    struct Polite : BThread::RunTarget
    {
        void run(BThread* thread) override
        {
            entered = true;
            while (!thread->terminated())
                thread->wakeEvent().wait(5000);
            returned = true;
        }
        std::atomic<bool> entered{false};
        std::atomic<bool> returned{false};
    } target;
    auto thread = std::make_unique<BThread>(BString("polite"));
    thread->runTarget = &target;
    ASSERT_TRUE(thread->start());
    ASSERT_TRUE(waitFor([&] { return target.entered.load(); }));
    const Stopwatch watch;
    thread.reset();
    EXPECT_LT(watch.elapsedMs(), 1500) << "the wake must cut the 5 s wait short";
    EXPECT_TRUE(target.returned.load());
}

TEST(BThread, AnOldThreadFinishingLateLeavesANewerStartAlone)
{
    struct Generations : BThread
    {
        Generations() : BThread(BString("generations")) {}
        ~Generations() override { stop(); }
        void run() override
        {
            const int generation = ++started;
            while (!terminated())
                wakeEvent().wait(1000);
            if (generation == 1)
            {
                leaving = true;
                BThread::sleep(150); // the first generation leaves late
            }
            ++finished;
        }
        std::atomic<bool> leaving{false};
        std::atomic<int> started{0};
        std::atomic<int> finished{0};
    } thread;

    ASSERT_TRUE(thread.start());
    ASSERT_TRUE(waitFor([&] { return thread.started.load() == 1; }));
    thread.terminate();
    ASSERT_TRUE(waitFor([&] { return thread.leaving.load(); }));
    ASSERT_TRUE(thread.start()); // while the first is still on its way out
    ASSERT_TRUE(waitFor([&] { return thread.started.load() == 2; }));
    ASSERT_TRUE(waitFor([&] { return thread.finished.load() == 1; }));
    BThread::sleep(20);
    EXPECT_TRUE(thread.running()) << "the old thread must not clear the new one's bookkeeping";
    EXPECT_FALSE(thread.terminated());
    EXPECT_TRUE(thread.stop());
    EXPECT_EQ(thread.finished.load(), 2);
}

TEST(BThread, StopGivesUpAfterAboutTwoSecondsWhenRunNeverReturns)
{
    static StubbornTarget target; // outlives the thread whatever happens
    CountingFinishListener listener;
    auto thread = std::make_unique<BThread>(BString("stubborn"));
    thread->runTarget = &target;
    thread->finishListener = &listener;
    ASSERT_TRUE(thread->start());
    ASSERT_TRUE(waitFor([&] { return target.entered.load(); }));

    const Stopwatch watch;
    EXPECT_FALSE(thread->stop());
    const long long took = watch.elapsedMs();
    EXPECT_GE(took, 1950);
    EXPECT_LT(took, 6000);
    EXPECT_FALSE(thread->running());
    EXPECT_TRUE(thread->terminated());
    EXPECT_FALSE(target.returned.load());

    // The object goes first; the abandoned thread (where it is not killed) returns afterwards
    // and must leave the freed object alone.
    thread.reset();
    releaseAbandoned(target);
    EXPECT_EQ(listener.calls.load(), 0) << "a thread given up is never reported as finished";
}

TEST(BThread, StopRequestedLongAfterTerminateGivesAboutAHundredMillisecondsMore)
{
    static StubbornTarget target;
    auto thread = std::make_unique<BThread>(BString("late stop"));
    thread->runTarget = &target;
    ASSERT_TRUE(thread->start());
    ASSERT_TRUE(waitFor([&] { return target.entered.load(); }));

    thread->terminate();
    BThread::sleep(2300); // well past the 2 s allowed since the request
    const Stopwatch watch;
    EXPECT_FALSE(thread->stop());
    const long long took = watch.elapsedMs();
    EXPECT_GE(took, 80);
    EXPECT_LT(took, 1500);

    thread.reset();
    releaseAbandoned(target);
}

namespace
{
std::atomic<int> threadReports{0};
BString lastThreadReport;

void countThreadReport(const BString& where, const BString& what)
{
    lastThreadReport = where + ": " + what;
    ++threadReports;
}

class ThrowingThread : public BThread
{
public:
    ThrowingThread() : BThread(BString("throwing")) {}
    ~ThrowingThread() override { stop(); }
    void run() override { throw std::runtime_error("body failed"); }
};
} // namespace

TEST(BThread, BodyThatThrowsIsReportedAndFinishesNormally)
{
    const BErrorReport::Handler previous = BErrorReport::setHandler(countThreadReport);
    threadReports = 0;
    CountingFinishListener finished;
    {
        ThrowingThread thread;
        thread.finishListener = &finished;
        ASSERT_TRUE(thread.start());
        EXPECT_TRUE(waitFor([&] { return finished.calls.load() == 1; }));
        EXPECT_FALSE(thread.running());
        EXPECT_TRUE(thread.terminated());
    }
    BErrorReport::setHandler(previous);
    ASSERT_EQ(threadReports.load(), 1);
    EXPECT_EQ(lastThreadReport, BString("throwing: body failed"));
}
