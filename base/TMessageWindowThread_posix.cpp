// Linux layer of the message window thread. A "window" is a registration record; the thread's
// queue is a locked deque woken through an eventfd, and the device-change source is inotify on
// the ALSA device directory (plus its parent, to notice the directory itself appearing when the
// first sound device arrives).
#include "base/TMessageWindowThread.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

struct TMessageWindowThread::Platform
{
    struct Message
    {
        unsigned int message;
        std::uintptr_t wParam;
        std::intptr_t lParam;
    };

    std::mutex queueMutex;
    std::deque<Message> queue;
    // Posting is possible while the loop runs (the counterpart of a Windows thread queue).
    bool queueOpen = false;
    int wakeFd = -1;

    // Watched at thread start.
    std::string deviceDirectory;
    std::string parentDirectory;
    std::string directoryName;
    int inotifyFd = -1;
    int directoryWatch = -1;
    int parentWatch = -1;
};

namespace
{
std::mutex directoryMutex;
std::string& configuredDirectory()
{
    static std::string* const directory = new std::string("/dev/snd");
    return *directory;
}

// What a device appearing, vanishing or becoming accessible does to the directory.
constexpr std::uint32_t kDirectoryEvents = IN_CREATE | IN_DELETE | IN_ATTRIB | IN_MOVED_FROM | IN_MOVED_TO;
constexpr std::uint32_t kParentEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;

struct WindowRecord
{
    TWndMessageListener* listener = nullptr;
    BString name;
};

void drainWakeFd(int fd)
{
    std::uint64_t value = 0;
    while (read(fd, &value, sizeof value) > 0)
    {
    }
}
} // namespace

void TMessageWindowThread::setDeviceDirectory(const BString& path)
{
    std::lock_guard<std::mutex> guard(directoryMutex);
    configuredDirectory() = path.CStr();
}

void TMessageWindowThread::PlatformDeleter::operator()(Platform* p) const
{
    delete p;
}

void TMessageWindowThread::createPlatform()
{
    platform.reset(new Platform());
    platform->wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    std::lock_guard<std::mutex> guard(directoryMutex);
    std::string directory = configuredDirectory();
    while (directory.size() > 1 && directory.back() == '/')
        directory.pop_back();
    platform->deviceDirectory = directory;
    const std::string::size_type slash = directory.rfind('/');
    if (slash == std::string::npos)
    {
        platform->parentDirectory = ".";
        platform->directoryName = directory;
    }
    else
    {
        platform->parentDirectory = slash == 0 ? "/" : directory.substr(0, slash);
        platform->directoryName = directory.substr(slash + 1);
    }
}

void TMessageWindowThread::destroyPlatform()
{
    if (!platform)
        return;
    for (const Platform::Message& m : platform->queue)
        if (m.message == kCreateWindowMessage && m.lParam == static_cast<std::intptr_t>(kCreateWindowMessage))
            discardCreateRequest(m.wParam);
    if (platform->wakeFd >= 0)
        close(platform->wakeFd);
    platform.reset();
}

bool TMessageWindowThread::postToThread(unsigned int message, std::uintptr_t wParam, std::intptr_t lParam)
{
    if (!platform || platform->wakeFd < 0)
        return false;
    {
        std::lock_guard<std::mutex> guard(platform->queueMutex);
        if (!platform->queueOpen)
            return false;
        platform->queue.push_back({message, wParam, lParam});
    }
    const std::uint64_t one = 1;
    // Only fails when the counter is saturated, which still wakes the thread.
    [[maybe_unused]] const ssize_t written = write(platform->wakeFd, &one, sizeof one);
    return true;
}

bool TMessageWindowThread::broadcastDeviceChange()
{
    if (windowCount() == 0)
        return false;
    return postToThread(kWmDeviceChange, kDeviceNodesChanged, 0);
}

TWindowHandle TMessageWindowThread::createWindowOnThread(TWndMessageListener* listener, const BString& name)
{
    auto* record = new WindowRecord();
    record->listener = listener;
    record->name = name;
    return record;
}

void TMessageWindowThread::destroyWindowOnThread(TWindowHandle window, bool listed)
{
    // An unlisted handle was destroyed before (or never was one of ours): nothing to free.
    if (!listed)
        return;
    auto* record = static_cast<WindowRecord*>(window);
    record->listener = nullptr;
    delete record;
}

void TMessageWindowThread::destroyWindowDirectly(TWindowHandle /*window*/)
{
    // Without a running thread there are no records left: a finished thread destroyed its
    // windows on its way out.
}

namespace
{
// Delivers one message to every registered window, on the message thread. A listener may
// destroy windows (its own or later ones in the snapshot), which frees their records at once:
// each record is read only while its window is still listed.
template <typename IsListed>
void deliverToAll(const BList<TWindowHandle>& snapshot, IsListed isListed, unsigned int message,
                  std::uintptr_t wParam, std::intptr_t lParam)
{
    for (TWindowHandle window : snapshot)
    {
        if (window == nullptr || !isListed(window))
            continue;
        auto* record = static_cast<WindowRecord*>(window);
        if (record->listener == nullptr)
            continue;
        int handled = 0;
        try
        {
            record->listener->onWindowMessage(window, message, wParam, lParam, &handled);
        }
        catch (...)
        {
            // One listener's failure must not end the thread or starve the others.
        }
    }
}
} // namespace

void TMessageWindowThread::loop()
{
    Platform& p = *platform;
    const auto listed = [this](TWindowHandle window) { return isListed(window); };

    p.inotifyFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (p.inotifyFd >= 0)
    {
        p.directoryWatch = inotify_add_watch(p.inotifyFd, p.deviceDirectory.c_str(), kDirectoryEvents);
        p.parentWatch = inotify_add_watch(p.inotifyFd, p.parentDirectory.c_str(), kParentEvents);
    }
    {
        std::lock_guard<std::mutex> guard(p.queueMutex);
        p.queueOpen = true;
    }

    // Sleeps until a request or a device event comes: a terminate() from now on wakes the thread
    // through the queue, and one from before the queue opened is seen here first.
    bool leave = terminated();
    while (!leave)
    {
        pollfd fds[2] = {{p.wakeFd, POLLIN, 0}, {p.inotifyFd, POLLIN, 0}};
        const int count = p.inotifyFd >= 0 ? 2 : 1;
        const int ready = poll(fds, static_cast<nfds_t>(count), -1);
        if (ready < 0 && errno != EINTR)
            break;

        bool deviceChanged = false;
        if (count == 2 && (fds[1].revents & POLLIN) != 0)
        {
            alignas(inotify_event) char buffer[4096];
            for (;;)
            {
                const ssize_t length = read(p.inotifyFd, buffer, sizeof buffer);
                if (length <= 0)
                    break;
                for (ssize_t offset = 0; offset < length;)
                {
                    const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
                    offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
                    if ((event->mask & IN_Q_OVERFLOW) != 0)
                        deviceChanged = true; // events were lost; assume the worst
                    if (event->wd == p.directoryWatch && p.directoryWatch >= 0)
                    {
                        if ((event->mask & IN_IGNORED) != 0)
                            p.directoryWatch = -1; // the directory went away
                        else
                            deviceChanged = true;
                    }
                    else if (event->wd == p.parentWatch && event->len > 0
                             && p.directoryName == event->name)
                    {
                        deviceChanged = true;
                        if ((event->mask & (IN_CREATE | IN_MOVED_TO)) != 0)
                            p.directoryWatch = inotify_add_watch(p.inotifyFd, p.deviceDirectory.c_str(), kDirectoryEvents);
                    }
                }
            }
        }
        if ((fds[0].revents & POLLIN) != 0)
            drainWakeFd(p.wakeFd);

        if (deviceChanged)
        {
            BList<TWindowHandle> snapshot;
            {
                BLockGuard guard(windowsLock);
                snapshot = windows;
            }
            deliverToAll(snapshot, listed, kWmDeviceChange, kDeviceNodesChanged, 0);
        }

        for (;;)
        {
            Platform::Message m {};
            {
                std::lock_guard<std::mutex> guard(p.queueMutex);
                if (p.queue.empty())
                    break;
                m = p.queue.front();
                p.queue.pop_front();
            }
            if (m.message == kCreateWindowMessage && m.lParam == static_cast<std::intptr_t>(kCreateWindowMessage))
            {
                handleCreateRequest(m.wParam);
            }
            else if (m.message == kDestroyWindowMessage && m.lParam == static_cast<std::intptr_t>(kDestroyWindowMessage))
            {
                if (handleDestroyRequest(reinterpret_cast<TWindowHandle>(m.wParam)))
                {
                    leave = true;
                    break;
                }
            }
            else if (m.message == kProbeMessage && m.lParam == 0)
            {
                // Only shows that the queue exists.
            }
            else
            {
                BList<TWindowHandle> snapshot;
                {
                    BLockGuard guard(windowsLock);
                    snapshot = windows;
                }
                deliverToAll(snapshot, listed, m.message, m.wParam, m.lParam);
            }
        }
        if (terminated())
            leave = true;
    }

    destroyRemainingWindows();
    {
        std::lock_guard<std::mutex> guard(p.queueMutex);
        p.queueOpen = false;
        for (const Platform::Message& m : p.queue)
            if (m.message == kCreateWindowMessage && m.lParam == static_cast<std::intptr_t>(kCreateWindowMessage))
                discardCreateRequest(m.wParam);
        p.queue.clear();
    }
    if (p.inotifyFd >= 0)
    {
        close(p.inotifyFd);
        p.inotifyFd = -1;
        p.directoryWatch = -1;
        p.parentWatch = -1;
    }
    BThread::terminate();
}
