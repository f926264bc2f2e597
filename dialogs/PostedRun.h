#pragma once

#include "dialogs/Runnable.h"

#include <mutex>

class JuceUtilsInternalUpdater;

// A hand-over of one Runnable's run(0, 0) to the message thread that is safe from both sides:
// any thread may post, and the owner may be destroyed on the message thread while a posted call
// still waits there.
//
// At most one call waits at a time: posts made before the message thread has delivered it
// change nothing, so a burst of requests gives one run. The target is called through this
// object, which forgets the waiting call first; a post made during the run waits anew.
//
// Threads: post() from any thread; the destructor on the message thread, after the owner has
// made sure that no post can start any more (e.g. after removing itself from whoever posts).
class PostedRun : private Runnable
{
public:
    explicit PostedRun(Runnable& target);
    // A waiting call is detached: it will not reach the target.
    ~PostedRun() override;

    // Any thread. Posts target.run(0, 0) unless a call is already waiting; true when it posted.
    bool post();
    // Any thread: a posted call has not been delivered yet.
    bool isWaiting() const;

    PostedRun(const PostedRun&) = delete;
    PostedRun& operator=(const PostedRun&) = delete;

private:
    // Runnable: the posted call arriving on the message thread.
    void run(int first, int second) override;

    Runnable& target;
    mutable std::mutex lock;
    JuceUtilsInternalUpdater* waiting = nullptr;   // self-owned; deletes itself once delivered
};
