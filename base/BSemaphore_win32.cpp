#include "base/BSemaphore.h"

#include <climits>
#include <windows.h>

struct BSemaphore::Handle
{
    HANDLE semaphore = nullptr;
};

BSemaphore::BSemaphore() : handle(std::make_unique<Handle>())
{
    handle->semaphore = CreateSemaphoreW(nullptr, 0, LONG_MAX, nullptr);
}

BSemaphore::~BSemaphore()
{
    if (handle->semaphore != nullptr)
        CloseHandle(handle->semaphore);
}

void BSemaphore::release() noexcept
{
    // At the maximum count the release fails; the waiter has plenty to take already.
    ReleaseSemaphore(handle->semaphore, 1, nullptr);
}

void BSemaphore::wait() noexcept
{
    WaitForSingleObject(handle->semaphore, INFINITE);
}
