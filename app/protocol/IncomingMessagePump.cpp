#include "app/protocol/IncomingMessagePump.h"

#include <utility>

IncomingMessagePump::IncomingMessagePump(Handler handler_, LossReport onFirstLoss_)
    : handler(std::move(handler_)), onFirstLoss(std::move(onFirstLoss_))
{
    worker = std::thread([this] { run(); });
}

IncomingMessagePump::~IncomingMessagePump()
{
    stop();
}

bool IncomingMessagePump::push(const std::uint8_t* data, int length) noexcept
{
    if (data == nullptr || length <= 0)
        return true;
    const bool queued = queue.push(data, length) != 0;
    if (!queued)
        lost.fetch_add(1);   // the worker reports it
    wake.release();
    return queued;
}

void IncomingMessagePump::drain()
{
    const std::uint64_t target = queue.reserved();
    std::unique_lock<std::mutex> guard(progressLock);
    progress.wait(guard, [&] { return finished || queue.consumed() >= target; });
}

void IncomingMessagePump::stop()
{
    if (stopping.exchange(true))
    {
        if (worker.joinable() && worker.get_id() != std::this_thread::get_id())
            worker.join();
        return;
    }
    wake.release();
    if (worker.joinable())
        worker.join();
}

void IncomingMessagePump::run()
{
    bool lossReported = false;
    for (;;)
    {
        wake.wait();
        const bool last = stopping.load();
        queue.popAll(handler);
        {
            const std::lock_guard<std::mutex> guard(progressLock);
            finished = last;
        }
        progress.notify_all();
        if (!lossReported && lost.load() != 0 && onFirstLoss)
        {
            lossReported = true;
            onFirstLoss(lost.load());
        }
        if (last)
            return;
    }
}
