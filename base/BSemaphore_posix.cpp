#include "base/BSemaphore.h"

#include <cerrno>
#include <semaphore.h>

// sem_post is a lock-free atomic increment that enters the kernel only when a waiter sleeps.
struct BSemaphore::Handle
{
    sem_t semaphore;
};

BSemaphore::BSemaphore() : handle(std::make_unique<Handle>())
{
    sem_init(&handle->semaphore, 0, 0);
}

BSemaphore::~BSemaphore()
{
    sem_destroy(&handle->semaphore);
}

void BSemaphore::release() noexcept
{
    sem_post(&handle->semaphore);
}

void BSemaphore::wait() noexcept
{
    while (sem_wait(&handle->semaphore) != 0 && errno == EINTR)
    {
    }
}
