// BEvent: an auto-reset wake-up event.
//
// Created not signalled. signal() wakes at most one waiter and the event resets itself as that
// waiter returns; a signal given while nobody waits is kept until the next wait consumes it.
// Any thread may signal; waiting is done by the event's owner. Not copyable.
#pragma once

#include <memory>

class BEvent
{
public:
    // Wait time meaning "without limit".
    static constexpr int kInfinite = -1;

    BEvent();
    virtual ~BEvent();

    BEvent(const BEvent&) = delete;
    BEvent& operator=(const BEvent&) = delete;

    // Sets the event: releases one waiter, or the next wait if nobody waits now.
    void signal();

    // Waits until the event is signalled (and resets it) or timeoutMs milliseconds have passed;
    // kInfinite (any negative value) waits without limit. True when the event was signalled.
    bool wait(int timeoutMs = kInfinite);

private:
    struct Handle;
    std::unique_ptr<Handle> handle;
};
