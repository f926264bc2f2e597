#include "base/TMessageWindowThread.h"

#include <atomic>
#include <memory>

struct TMessageWindowThread::CreateRequest
{
    enum State
    {
        kWaiting,
        kTaken,
        kDone,
        kAbandoned
    };

    TWndMessageListener* listener = nullptr;
    BString name;
    std::atomic<int> state {kWaiting};
    // Written by the message thread before state becomes kDone.
    TWindowHandle window = nullptr;
};

namespace
{
constexpr int kProbeAttempts = 2500;
constexpr int kCreatePolls = 2000;
constexpr int kDestroyPolls = 2000;

// Serialises window creation and destruction (and so the birth and death of the thread). Held
// for seconds at worst, so nothing that must answer quickly takes it.
BLock& globalLock()
{
    static BLock* const lock = new BLock();
    return *lock;
}

// Guards `current` itself; held only for moments, so notifyDeviceListChanged never waits long.
BLock& instanceLock()
{
    static BLock* const lock = new BLock();
    return *lock;
}

TMessageWindowThread* current = nullptr;
std::atomic<int> startedCount {0};
std::atomic<int> objectCount {0};

void setCurrent(TMessageWindowThread* thread)
{
    BLockGuard guard(instanceLock());
    current = thread;
}
} // namespace

TMessageWindowThread::TMessageWindowThread() : BThread(BString("Window Message Thread"))
{
    objectCount.fetch_add(1);
    createPlatform();
}

TMessageWindowThread::~TMessageWindowThread()
{
    terminate();
    if (stop())
        destroyPlatform();
    else
        platform.release(); // the thread was given up and may still use it
    objectCount.fetch_sub(1);
}

void TMessageWindowThread::run()
{
    loop();
    // The last touch of the object: after a hand-over this thread is its only user.
    if (handOver.exchange(kRunEnded) == kHandedOver)
        delete this;
}

void TMessageWindowThread::deleteStopped(TMessageWindowThread* thread, bool ended)
{
    if (ended || thread->handOver.exchange(kHandedOver) == kRunEnded)
        delete thread;
}

bool TMessageWindowThread::isListed(TWindowHandle window) const
{
    BLockGuard guard(windowsLock);
    return windows.Contains(window);
}

int TMessageWindowThread::windowCount() const
{
    BLockGuard guard(windowsLock);
    return windows.Count();
}

void TMessageWindowThread::terminate()
{
    BThread::terminate();
    postToThread(kDestroyWindowMessage, 0, kDestroyWindowMessage);
}

void TMessageWindowThread::handleCreateRequest(std::uintptr_t wParam)
{
    const std::unique_ptr<RequestHolder> holder(reinterpret_cast<RequestHolder*>(wParam));
    if (!holder || !*holder)
        return;
    CreateRequest& request = **holder;
    int expected = CreateRequest::kWaiting;
    // A caller that gave up waiting must not get a window it no longer knows of.
    if (!request.state.compare_exchange_strong(expected, CreateRequest::kTaken))
        return;
    TWindowHandle window = createWindowOnThread(request.listener, request.name);
    {
        BLockGuard guard(windowsLock);
        windows.Add(window);
    }
    request.window = window;
    request.state = CreateRequest::kDone;
    if (request.listener != nullptr)
        request.listener->windowCreated(window);
}

void TMessageWindowThread::discardCreateRequest(std::uintptr_t wParam)
{
    delete reinterpret_cast<RequestHolder*>(wParam);
}

bool TMessageWindowThread::handleDestroyRequest(TWindowHandle window)
{
    bool empty = false;
    int index = -1;
    {
        BLockGuard guard(windowsLock);
        index = windows.IndexOf(window);
        if (index >= 0)
            windows.Delete(index);
        empty = windows.IsEmpty();
    }
    if (window != nullptr)
        destroyWindowOnThread(window, index >= 0);
    destroysDone.fetch_add(1);
    return empty || terminated();
}

void TMessageWindowThread::destroyRemainingWindows()
{
    for (;;)
    {
        TWindowHandle window = nullptr;
        {
            BLockGuard guard(windowsLock);
            if (windows.IsEmpty())
                return;
            window = windows.Get(windows.Count() - 1);
            windows.Delete(windows.Count() - 1);
        }
        if (window != nullptr)
            destroyWindowOnThread(window, true);
    }
}

namespace
{
// The running thread object when called on it (from a listener), else null. Such a call must
// not take the global lock: another caller may hold it while waiting for this very thread.
TMessageWindowThread* ownThread()
{
    BLockGuard guard(instanceLock());
    return current != nullptr && current->isCurrentThread() ? current : nullptr;
}
} // namespace

TWindowHandle TMessageWindowThread::createWindow(TWndMessageListener* listener, const BString& name)
{
    if (TMessageWindowThread* thread = ownThread())
    {
        // The thread cannot wait for itself, but it can create the window directly.
        TWindowHandle window = thread->createWindowOnThread(listener, name);
        {
            BLockGuard windowsGuard(thread->windowsLock);
            thread->windows.Add(window);
        }
        if (listener != nullptr)
            listener->windowCreated(window);
        return window;
    }

    BLockGuard guard(globalLock());
    // A second attempt covers a thread that ended (its last window destroyed from a listener)
    // just before it could take the request.
    for (int attempt = 0; attempt < 2; ++attempt)
    {
        if (current != nullptr && current->terminated())
        {
            TMessageWindowThread* old = current;
            const bool ended = old->stop();
            setCurrent(nullptr);
            deleteStopped(old, ended);
        }

        if (current == nullptr)
        {
            auto thread = std::unique_ptr<TMessageWindowThread>(new TMessageWindowThread());
            if (!thread->start())
                return nullptr;
            startedCount.fetch_add(1);
            BThread::sleep(1);
            bool probed = false;
            for (int probe = 0; probe < kProbeAttempts && !probed; ++probe)
            {
                probed = thread->postToThread(kProbeMessage, 0, 0);
                if (!probed)
                    BThread::sleep(1);
            }
            if (!probed)
            {
                // The thread never got its queue; let it end and clean up after itself.
                TMessageWindowThread* abandoned = thread.release();
                abandoned->deleteWhenDone = true;
                abandoned->terminate();
                return nullptr;
            }
            setCurrent(thread.release());
        }

        TMessageWindowThread* thread = current;
        auto request = std::make_shared<CreateRequest>();
        request->listener = listener;
        request->name = name;
        auto holder = std::make_unique<RequestHolder>(request);
        if (!thread->postToThread(kCreateWindowMessage, reinterpret_cast<std::uintptr_t>(holder.get()),
                                  kCreateWindowMessage))
        {
            if (thread->terminated())
                continue;
            return nullptr;
        }
        holder.release(); // now the thread's

        bool threadEnded = false;
        for (int poll = 0; poll < kCreatePolls; ++poll)
        {
            if (request->state.load() == CreateRequest::kDone)
                return request->window;
            if (!thread->running())
            {
                threadEnded = true;
                break;
            }
            BThread::sleep(1);
        }
        int expected = CreateRequest::kWaiting;
        if (request->state.compare_exchange_strong(expected, CreateRequest::kAbandoned))
        {
            if (threadEnded)
                continue;
            return nullptr;
        }
        // The thread is creating it right now; a window must not be left behind unknown.
        for (int poll = 0; poll < kCreatePolls; ++poll)
        {
            if (request->state.load() == CreateRequest::kDone)
                return request->window;
            BThread::sleep(1);
        }
        return nullptr;
    }
    return nullptr;
}

void TMessageWindowThread::destroyWindow(TWindowHandle window)
{
    if (window == nullptr)
        return;
    if (TMessageWindowThread* own = ownThread())
    {
        // From a listener: destroy at once; an emptied thread ends through its queue.
        if (own->handleDestroyRequest(window))
            own->postToThread(kDestroyWindowMessage, 0, kDestroyWindowMessage);
        return;
    }

    BLockGuard guard(globalLock());
    TMessageWindowThread* thread = current;
    if (thread != nullptr && thread->running() && !thread->terminated())
    {
        bool last = false;
        {
            BLockGuard windowsGuard(thread->windowsLock);
            last = thread->windows.Count() == 1 && thread->windows.Get(0) == window;
        }
        const unsigned int doneBefore = thread->destroysDone.load();
        if (thread->postToThread(kDestroyWindowMessage, reinterpret_cast<std::uintptr_t>(window),
                                 kDestroyWindowMessage))
        {
            if (last)
            {
                thread->deleteWhenDone = false;
                const bool ended = thread->stop();
                setCurrent(nullptr);
                deleteStopped(thread, ended);
                return;
            }
            // Wait for the thread to have done it, so that the caller may delete the listener.
            for (int poll = 0; poll < kDestroyPolls && thread->running(); ++poll)
            {
                if (thread->destroysDone.load() != doneBefore)
                    return;
                BThread::sleep(1);
            }
            return;
        }
    }
    destroyWindowDirectly(window);
}

bool TMessageWindowThread::notifyDeviceListChanged()
{
    BLockGuard guard(instanceLock());
    if (current == nullptr || !current->running() || current->terminated())
        return false;
    return current->broadcastDeviceChange();
}

bool TMessageWindowThread::isThreadRunning()
{
    BLockGuard guard(instanceLock());
    return current != nullptr && current->running() && !current->terminated();
}

int TMessageWindowThread::threadsStarted()
{
    return startedCount.load();
}

int TMessageWindowThread::threadObjects()
{
    return objectCount.load();
}
