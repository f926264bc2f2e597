#include "base/BThreadNative.h"

#include <windows.h>

namespace
{
DWORD WINAPI threadProc(LPVOID parameter)
{
    BThreadNative::entry(static_cast<BThreadNative::Record*>(parameter));
    return 0;
}

int systemPriority(int priority)
{
    switch (priority)
    {
    case 1:
        return THREAD_PRIORITY_HIGHEST;
    case 2:
        return THREAD_PRIORITY_TIME_CRITICAL;
    case 3:
        return THREAD_PRIORITY_LOWEST;
    case 4:
        return THREAD_PRIORITY_IDLE;
    default:
        return THREAD_PRIORITY_NORMAL;
    }
}
} // namespace

bool BThreadNative::create(BThreadNative::Record* record, int stackSize, int priority, void*& handle)
{
    DWORD threadId = 0;
    HANDLE thread = CreateThread(nullptr, static_cast<SIZE_T>(stackSize > 0 ? stackSize : 0),
                                 threadProc, record, 0, &threadId);
    if (thread == nullptr)
        return false;
    if (priority != 0)
        SetThreadPriority(thread, systemPriority(priority));
    handle = thread;
    return true;
}

void BThreadNative::kill(void* handle)
{
    if (handle != nullptr)
        TerminateThread(static_cast<HANDLE>(handle), 0);
}

void BThreadNative::release(void* handle)
{
    if (handle != nullptr)
        CloseHandle(static_cast<HANDLE>(handle));
}

void BThreadNative::sleep(int ms)
{
    Sleep(static_cast<DWORD>(ms > 0 ? ms : 0));
}
