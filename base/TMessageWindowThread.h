// TMessageWindowThread: the "Window Message Thread", a background thread that owns hidden
// windows and delivers what reaches them to TWndMessageListeners, so that library objects hear
// system broadcasts (device arrival and removal) without the GUI toolkit's message loop.
//
// At most one such thread exists at a time. It is created by the first createWindow and
// stopped by the destroyWindow of its last window; the next createWindow starts a new one.
// All listener calls run on that thread.
//
// Windows: real hidden top-level windows of the system class "Message" (created with
// CreateWindowExA, so they receive the WM_DEVICECHANGE broadcast), subclassed so that every
// message is offered to the listener first.
// Linux: there are no window messages. A window is a registration; the thread watches the ALSA
// device directory (/dev/snd) with inotify, including that directory appearing and vanishing,
// and takes explicit notifications from notifyDeviceListChanged() (for backends that hear of
// changes themselves, such as the ALSA sequencer's announcements). Each change reaches every
// listener as the message kWmDeviceChange with wParam kDeviceNodesChanged, exactly as the
// Windows broadcast does, so users need no platform code.
#pragma once

#include "base/BList.h"
#include "base/BLock.h"
#include "base/BString.h"
#include "base/BThread.h"
#include "base/TWndMessageListener.h"

#include <atomic>
#include <cstdint>
#include <memory>

class TMessageWindowThread : public BThread
{
public:
    // Private thread messages; each carries its own number again in lParam.
    static constexpr unsigned int kCreateWindowMessage = 0x8C8;  // wParam: creation request
    static constexpr unsigned int kDestroyWindowMessage = 0x8C7; // wParam: window, or 0 to re-check
    static constexpr unsigned int kProbeMessage = 0x0400;        // WM_USER, lParam 0: queue probe

    // A new hidden window named name whose messages go to listener (not owned; it must outlive
    // the window). Blocks for at most about 2.5 s + 2 s; null when the thread or the window could
    // not be had, in which case the caller should fall back to polling. Any thread but the
    // message window thread itself.
    static TWindowHandle createWindow(TWndMessageListener* listener, const BString& name);

    // Destroys a window from createWindow (null does nothing). When it returns, the window's
    // listener is not called any more. Destroying the last window stops the thread (at most
    // about 2 s). Any thread; from a listener of the message window thread too.
    static void destroyWindow(TWindowHandle window);

    // Delivers a device-change message (kWmDeviceChange, kDeviceNodesChanged) to every window,
    // asynchronously. Any thread; never blocks for long. False when there is no window.
    static bool notifyDeviceListChanged();

    // Linux only (ignored on Windows): the device directory that the next started thread
    // watches; "/dev/snd" by default. Lets tests and unusual systems point elsewhere.
    static void setDeviceDirectory(const BString& path);

    // Diagnostics: whether a message window thread is running now, and how many were started
    // in this process so far.
    static bool isThreadRunning();
    static int threadsStarted();
    // Diagnostics: thread objects that exist now, including one whose thread a stop gave up
    // on and which lives until that thread has ended.
    static int threadObjects();

    // Number of windows this thread created and has not destroyed (failed creations count as
    // null entries). Any thread.
    int windowCount() const;

    // Requests the end: sets terminated and posts a destroy request without a window.
    void terminate() override;

    ~TMessageWindowThread() override;

protected:
    // The message loop; then frees the object if it was handed over to this thread.
    void run() override;

private:
    struct CreateRequest;
    struct Platform;
    // Shared by the caller and the message thread, whoever finishes last frees it; the create
    // message carries a heap copy of the shared pointer.
    using RequestHolder = std::shared_ptr<CreateRequest>;

    TMessageWindowThread();

    // Deletes a thread object after stop(); when the stop gave up on a thread that is still
    // running (it is abandoned, not killed, on some platforms), the object is handed over to
    // that thread instead, which deletes it when it has really ended.
    static void deleteStopped(TMessageWindowThread* thread, bool ended);

    // Platform layer (TMessageWindowThread_win32.cpp / _posix.cpp).
    // The message loop itself.
    void loop();
    void createPlatform();
    void destroyPlatform();
    bool postToThread(unsigned int message, std::uintptr_t wParam, std::intptr_t lParam);
    bool broadcastDeviceChange();
    TWindowHandle createWindowOnThread(TWndMessageListener* listener, const BString& name);
    // Clears the window's listener, destroys it and frees its record (on the message thread).
    // listed: the window was still in `windows` (elsewhere than on Windows an unlisted handle
    // names nothing that still exists).
    void destroyWindowOnThread(TWindowHandle window, bool listed);
    // The fallback when no usable thread is left.
    static void destroyWindowDirectly(TWindowHandle window);

    // Shared steps of the loop (TMessageWindowThread.cpp).
    void handleCreateRequest(std::uintptr_t wParam);
    // True when the loop should end.
    bool handleDestroyRequest(TWindowHandle window);
    void destroyRemainingWindows();
    // The window is still one of this thread's (its record has not been freed).
    bool isListed(TWindowHandle window) const;
    static void discardCreateRequest(std::uintptr_t wParam);

    BList<TWindowHandle> windows;
    mutable BLock windowsLock;
    // Destroy requests this thread has finished, so that destroyWindow can wait for its own.
    std::atomic<unsigned int> destroysDone {0};
    // Who deletes the object: its owner, unless run() ended first or the owner handed it over.
    enum HandOver
    {
        kOwned,
        kRunEnded,
        kHandedOver
    };
    std::atomic<int> handOver {kOwned};
    // Defined by the platform layer, which alone knows Platform.
    struct PlatformDeleter
    {
        void operator()(Platform* p) const;
    };
    std::unique_ptr<Platform, PlatformDeleter> platform;
};
