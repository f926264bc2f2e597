#include "base/AutoDelete.h"

#include "base/BList.h"

#include <memory>
#include <mutex>

namespace
{
// Guards the registry pointer and its entries; never held while an object is deleted, so
// destructors may create or destroy other AutoDelete objects.
std::mutex& registryMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::unique_ptr<BList<AutoDelete*>>& registry()
{
    static std::unique_ptr<BList<AutoDelete*>> list;
    return list;
}

bool deleting = false;
std::atomic<int> currentLifetime{0};
} // namespace

AutoDelete::AutoDelete()
{
    std::lock_guard<std::mutex> guard(registryMutex());
    if (deleting)
        return;
    auto& list = registry();
    if (!list)
        list = std::make_unique<BList<AutoDelete*>>();
    if (!list->Contains(this))
        list->Add(this);
}

AutoDelete::~AutoDelete()
{
    std::lock_guard<std::mutex> guard(registryMutex());
    auto& list = registry();
    if (!list)
        return;
    const int index = list->IndexOf(this);
    if (index >= 0)
        list->Set(index, nullptr);
}

void AutoDelete::deleteAll()
{
    {
        std::lock_guard<std::mutex> guard(registryMutex());
        if (!registry() || deleting)
            return;
        deleting = true;
    }
    for (int i = 0;; ++i)
    {
        AutoDelete* object = nullptr;
        {
            std::lock_guard<std::mutex> guard(registryMutex());
            if (i >= registry()->Count())
                break;
            object = registry()->Get(i);
            // Nulled before the delete so that its destructor, or anything it destroys in
            // turn, never finds it again.
            registry()->Set(i, nullptr);
        }
        delete object;
    }
    std::unique_ptr<BList<AutoDelete*>> emptied;
    {
        std::lock_guard<std::mutex> guard(registryMutex());
        emptied = std::move(registry());
        deleting = false;
    }
}

int AutoDelete::registeredCount()
{
    std::lock_guard<std::mutex> guard(registryMutex());
    if (!registry())
        return 0;
    int live = 0;
    for (AutoDelete* object : *registry())
        if (object != nullptr)
            ++live;
    return live;
}

int AutoDelete::lifetime()
{
    return currentLifetime.load();
}

void AutoDelete::beginNewLifetime()
{
    currentLifetime.fetch_add(1);
}
