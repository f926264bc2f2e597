// Windows layer of the message window thread: hidden "Message" windows, subclassed so that
// every message is offered to the listener before the class's own procedure.
#include "base/TMessageWindowThread.h"

#include <windows.h>

#include <atomic>

struct TMessageWindowThread::Platform
{
    // System identifier of the running message thread; 0 until its queue exists.
    std::atomic<DWORD> threadId {0};
};

namespace
{
// Attached to each window as its user data.
struct WindowRecord
{
    WNDPROC previous = nullptr;
    // Null once the window is being destroyed.
    TWndMessageListener* listener = nullptr;
};

WindowRecord* recordOf(HWND window)
{
    return reinterpret_cast<WindowRecord*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

LRESULT CALLBACK subclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    WindowRecord* record = recordOf(window);
    if (record == nullptr)
        return 0;
    // Read first: a listener may destroy its own window, which frees the record.
    const WNDPROC previous = record->previous;
    if (record->listener != nullptr)
    {
        int handled = 0;
        try
        {
            record->listener->onWindowMessage(window, message, wParam, lParam, &handled);
        }
        catch (...)
        {
            // An exception must not unwind through the system's dispatching; the message is
            // then treated as not handled.
            handled = 0;
        }
        if (handled != 0)
            return 0;
    }
    return CallWindowProcW(previous, window, message, wParam, lParam);
}

void destroyWithRecord(HWND window)
{
    WindowRecord* record = recordOf(window);
    if (record != nullptr)
        record->listener = nullptr;
    DestroyWindow(window);
    if (record != nullptr)
    {
        // The procedure finds no record from now on (if the window still exists at all).
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        delete record;
    }
}
} // namespace

void TMessageWindowThread::PlatformDeleter::operator()(Platform* p) const
{
    delete p;
}

void TMessageWindowThread::createPlatform()
{
    platform.reset(new Platform());
}

void TMessageWindowThread::destroyPlatform()
{
    platform.reset();
}

bool TMessageWindowThread::postToThread(unsigned int message, std::uintptr_t wParam, std::intptr_t lParam)
{
    const DWORD threadId = platform ? platform->threadId.load() : 0;
    if (threadId == 0)
        return false;
    return PostThreadMessageW(threadId, message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam)) != 0;
}

bool TMessageWindowThread::broadcastDeviceChange()
{
    BLockGuard guard(windowsLock);
    bool any = false;
    for (TWindowHandle window : windows)
        if (window != nullptr && PostMessageW(static_cast<HWND>(window), kWmDeviceChange, kDeviceNodesChanged, 0))
            any = true;
    return any;
}

TWindowHandle TMessageWindowThread::createWindowOnThread(TWndMessageListener* listener, const BString& name)
{
    HWND window = CreateWindowExA(0, "Message", name.CStr(), 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    if (window == nullptr)
        return nullptr;
    // Other programs find the window by its name. A class procedure that leaves WM_NCCREATE to
    // nobody (Wine's does) would leave it nameless; set the name without going through it.
    if (!name.IsEmpty())
    {
        wchar_t first[2] = {};
        if (InternalGetWindowText(window, first, 2) == 0)
            DefWindowProcA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name.CStr()));
    }
    auto* record = new WindowRecord();
    record->previous = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(window, GWLP_WNDPROC));
    record->listener = listener;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(record));
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&subclassProc));
    return window;
}

void TMessageWindowThread::destroyWindowOnThread(TWindowHandle window, bool /*listed*/)
{
    // Windows this thread made but no longer lists are still its own; destroy them all the same.
    destroyWithRecord(static_cast<HWND>(window));
}

void TMessageWindowThread::destroyWindowDirectly(TWindowHandle window)
{
    destroyWithRecord(static_cast<HWND>(window));
}

void TMessageWindowThread::loop()
{
    MSG message;
    // Any message call creates the thread's queue; only then can requests be posted to it.
    PeekMessageW(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    platform->threadId = GetCurrentThreadId();

    while (GetMessageW(&message, nullptr, 0, 0) > 0)
    {
        const bool isThreadMessage = message.hwnd == nullptr;
        if (isThreadMessage && message.message == kCreateWindowMessage
            && message.lParam == static_cast<LPARAM>(kCreateWindowMessage))
        {
            handleCreateRequest(message.wParam);
        }
        else if (isThreadMessage && message.message == kDestroyWindowMessage
                 && message.lParam == static_cast<LPARAM>(kDestroyWindowMessage))
        {
            if (handleDestroyRequest(reinterpret_cast<TWindowHandle>(message.wParam)))
                break;
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }

    destroyRemainingWindows();
    platform->threadId = 0;
    // Creation requests still queued die with the queue; free what they carry.
    while (PeekMessageW(&message, nullptr, kCreateWindowMessage, kCreateWindowMessage, PM_REMOVE))
        if (message.hwnd == nullptr && message.lParam == static_cast<LPARAM>(kCreateWindowMessage))
            discardCreateRequest(message.wParam);
    BThread::terminate();
}

void TMessageWindowThread::setDeviceDirectory(const BString& /*path*/)
{
}
