#include "base/BThreadNative.h"

#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <ctime>
#include <memory>

namespace
{
struct PosixStart
{
    BThreadNative::Record* record;
    int priority;
};

// Nice values for the priority classes; raising above normal needs privileges we usually lack,
// so failures are ignored and the thread keeps the default.
int niceValue(int priority)
{
    switch (priority)
    {
    case 1:
        return -5;
    case 2:
        return -10;
    case 3:
        return 10;
    case 4:
        return 19;
    default:
        return 0;
    }
}

extern "C" void* threadProc(void* parameter)
{
    const std::unique_ptr<PosixStart> start(static_cast<PosixStart*>(parameter));
    if (start->priority != 0)
    {
        const auto tid = static_cast<id_t>(syscall(SYS_gettid));
        setpriority(PRIO_PROCESS, tid, niceValue(start->priority));
    }
    BThreadNative::entry(start->record);
    return nullptr;
}
} // namespace

bool BThreadNative::create(BThreadNative::Record* record, int stackSize, int priority, void*& handle)
{
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0)
        return false;
    // Detached: nobody joins; the end is observed through the shared state, and a thread that is
    // given up must never be joined.
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    if (stackSize > 0)
        pthread_attr_setstacksize(&attributes,
                                  std::max(static_cast<size_t>(stackSize), static_cast<size_t>(PTHREAD_STACK_MIN)));

    auto start = std::make_unique<PosixStart>(PosixStart{record, priority});
    pthread_t thread;
    const int result = pthread_create(&thread, &attributes, threadProc, start.get());
    pthread_attr_destroy(&attributes);
    if (result != 0)
        return false;
    start.release(); // owned by the new thread
    handle = nullptr;
    return true;
}

void BThreadNative::kill(void*)
{
    // No safe forced termination here: the thread is abandoned and left to return on its own.
}

void BThreadNative::release(void*)
{
}

void BThreadNative::sleep(int ms)
{
    if (ms <= 0)
    {
        sched_yield();
        return;
    }
    timespec remaining{ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR)
    {
    }
}
