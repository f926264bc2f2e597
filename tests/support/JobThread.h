// The thread of a fake system that runs posted jobs one at a time and in order, as a driver's
// callback thread or a server's notification thread would. drain() waits until every job posted
// so far has run; stop() runs what is queued, then ends the thread.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace lumo_test
{
class JobThread
{
public:
    JobThread() : thread([this] { run(); }) {}
    ~JobThread() { stop(); }

    JobThread(const JobThread&) = delete;
    JobThread& operator=(const JobThread&) = delete;

    void post(std::function<void()> job)
    {
        {
            std::lock_guard<std::mutex> guard(mutex);
            jobs.push_back(std::move(job));
        }
        signal.notify_all();
    }

    // Not from a job: it would wait for itself.
    void drain()
    {
        std::unique_lock<std::mutex> guard(mutex);
        signal.wait(guard, [this] { return jobs.empty() && !busy; });
    }

    void stop()
    {
        {
            std::lock_guard<std::mutex> guard(mutex);
            stopping = true;
        }
        signal.notify_all();
        if (thread.joinable())
            thread.join();
    }

    std::thread::id id() const { return thread.get_id(); }

private:
    void run()
    {
        std::unique_lock<std::mutex> guard(mutex);
        for (;;)
        {
            signal.wait(guard, [this] { return stopping || !jobs.empty(); });
            if (jobs.empty())
                return;
            std::function<void()> job = std::move(jobs.front());
            jobs.pop_front();
            busy = true;
            guard.unlock();
            job();
            guard.lock();
            busy = false;
            signal.notify_all();
        }
    }

    std::mutex mutex;
    std::condition_variable signal;
    std::deque<std::function<void()>> jobs;
    bool busy = false;
    bool stopping = false;
    std::thread thread; // last: it starts once the rest exists
};
} // namespace lumo_test
