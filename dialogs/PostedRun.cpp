#include "dialogs/PostedRun.h"

#include "dialogs/JuceUtilsInternalUpdater.h"

PostedRun::PostedRun(Runnable& target_)
    : target(target_)
{
}

PostedRun::~PostedRun()
{
    // Delivery and detaching both happen on the message thread, so a waiting updater has not
    // started its call yet and never will.
    const std::lock_guard<std::mutex> guard(lock);
    if (waiting != nullptr)
        waiting->detach();
    waiting = nullptr;
}

bool PostedRun::post()
{
    const std::lock_guard<std::mutex> guard(lock);
    if (waiting != nullptr)
        return false;
    // Delivery takes the lock first, so it cannot forget the updater before it is stored here.
    waiting = JuceUtilsInternalUpdater::post(this, 0, 0);
    return true;
}

bool PostedRun::isWaiting() const
{
    const std::lock_guard<std::mutex> guard(lock);
    return waiting != nullptr;
}

void PostedRun::run(int first, int second)
{
    {
        const std::lock_guard<std::mutex> guard(lock);
        waiting = nullptr;
    }
    target.run(first, second);
}
