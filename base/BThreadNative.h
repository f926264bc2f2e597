// The platform layer under BThread (BThread_win32.cpp, BThread_posix.cpp). Internal to base/.
#pragma once

#include "base/BThread.h"

struct BThreadNative
{
    using Record = BThread::StartRecord;

    // Starts a system thread that calls BThread::threadEntry(record) and then releases nothing
    // else; sets handle (may stay null where the platform needs none). The thread owns record
    // only when this returns true.
    static bool create(Record* record, int stackSize, int priority, void*& handle);

    // Ends a thread that did not stop in time, where the platform can; elsewhere nothing (the
    // thread is abandoned and must not be reached again).
    static void kill(void* handle);

    // Releases a handle from create() without affecting the thread.
    static void release(void* handle);

    static void sleep(int ms);

    static void entry(Record* record) { BThread::threadEntry(record); }
};
