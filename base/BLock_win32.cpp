#include "base/BLock.h"

#include <windows.h>

struct BLock::Section
{
    CRITICAL_SECTION criticalSection;
};

BLock::BLock() : section(std::make_unique<Section>())
{
    InitializeCriticalSection(&section->criticalSection);
}

BLock::~BLock()
{
    DeleteCriticalSection(&section->criticalSection);
}

void BLock::lock()
{
    EnterCriticalSection(&section->criticalSection);
}

void BLock::unlock()
{
    LeaveCriticalSection(&section->criticalSection);
}
