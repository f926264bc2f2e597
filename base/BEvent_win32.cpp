#include "base/BEvent.h"

#include <windows.h>

struct BEvent::Handle
{
    HANDLE event = nullptr;
};

BEvent::BEvent() : handle(std::make_unique<Handle>())
{
    // Unnamed, auto-reset, initially not signalled.
    handle->event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
}

BEvent::~BEvent()
{
    if (handle->event != nullptr)
        CloseHandle(handle->event);
}

void BEvent::signal()
{
    if (handle->event != nullptr)
        SetEvent(handle->event);
}

bool BEvent::wait(int timeoutMs)
{
    if (handle->event == nullptr)
        return false;
    const DWORD limit = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
    return WaitForSingleObject(handle->event, limit) == WAIT_OBJECT_0;
}
