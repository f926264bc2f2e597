#include "base/BLock.h"

#include <mutex>

struct BLock::Section
{
    std::recursive_mutex mutex;
};

BLock::BLock() : section(std::make_unique<Section>())
{
}

BLock::~BLock() = default;

void BLock::lock()
{
    section->mutex.lock();
}

void BLock::unlock()
{
    section->mutex.unlock();
}
