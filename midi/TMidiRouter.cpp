#include "midi/TMidiRouter.h"

#include "base/AutoDeleteSingleton.h"
#include "base/Exception.h"
#include "midi/TMidiAliasManager.h"

#include <atomic>

namespace
{
AutoDeleteSingleton<TMidiRouter> theInstance;
} // namespace

TMidiRoutes::~TMidiRoutes()
{
    clear();
}

void TMidiRoutes::clear()
{
    if (ownsRoutes != 0)
        for (TMidiRoute* route : routeList)
            delete route;
    routeList.Clear();
}

TMidiRouter* TMidiRouter::getInstance()
{
    return theInstance.get("Cannot re-instanciate TMidiRouter!", [] {
        // Owned by the AutoDelete registry; the constructor publishes the instance.
        return new TMidiRouter();
    });
}

TMidiRouter* TMidiRouter::peekInstance()
{
    return theInstance.peek();
}

TMidiRouter::TMidiRouter() : routes(this)
{
    theInstance.publish(this);
    try
    {
        TMidiAliasManager::getInstance()->addListener(this);
    }
    catch (...)
    {
        theInstance.withdraw();
        throw;
    }
}

TMidiRouter::~TMidiRouter()
{
    theInstance.withdraw();
    theInstance.markDestroyed();
    if (TMidiAliasManager* aliases = TMidiAliasManager::peekInstance())
        aliases->removeListener(this);
    BLockGuard guard(lock);
    routes.clear();
    listeners.Clear();
}

int TMidiRouter::addRoute(TMidiAlias* output, TMidiAlias* input)
{
    if (output == nullptr || input == nullptr)
        return -1;
    if (input->direction.load() == TMidiAlias::kOutput || output->direction.load() == TMidiAlias::kInput)
        return -1;
    int index = 0;
    {
        BLockGuard guard(lock);
        const int existing = findRoute(output, input);
        if (existing >= 0)
            return existing;
        index = routes.routeList.Count();
        routes.routeList.Add(new TMidiRoute(input, output, index));
    }
    notifyListeners();
    return index;
}

int TMidiRouter::findRoute(const TMidiAlias* output, const TMidiAlias* input) const
{
    if (output == nullptr || input == nullptr)
        return -1;
    BLockGuard guard(lock);
    for (int i = 0; i < routes.routeList.Count(); ++i)
    {
        const TMidiRoute* route = routes.routeList[i];
        if (route->input == input && route->output == output)
            return i;
    }
    return -1;
}

void TMidiRouter::collectThru(TMidiAliasList& list, int inputIndex) const
{
    list.Clear();
    if (inputIndex < 0)
        return;
    BLockGuard guard(lock);
    for (const TMidiRoute* route : routes.routeList)
    {
        if (route->input == nullptr || route->output == nullptr)
            continue;
        if (route->input->deviceIndex.load() == inputIndex)
            list.addUnique(route->output);
    }
}

int TMidiRouter::routeCount() const
{
    BLockGuard guard(lock);
    return routes.routeList.Count();
}

void TMidiRouter::addListener(TMidiRouteChangeListener* listener)
{
    BLockGuard guard(lock);
    if (listener != nullptr && !listeners.Contains(listener))
        listeners.Add(listener);
}

void TMidiRouter::removeListener(TMidiRouteChangeListener* listener)
{
    BLockGuard guard(lock);
    const int i = listeners.IndexOf(listener);
    if (i >= 0)
        listeners.Delete(i);
}

void TMidiRouter::aliasesChanged()
{
    bool disabled = false;
    {
        BLockGuard guard(lock);
        for (TMidiRoute* route : routes.routeList)
        {
            if (route->input == nullptr || route->output == nullptr)
                continue;
            if (route->input->direction.load() == TMidiAlias::kNone
                || route->output->direction.load() == TMidiAlias::kNone)
            {
                route->input = nullptr;
                disabled = true;
            }
        }
    }
    if (disabled)
        notifyListeners();
}

void TMidiRouter::releaseAliases()
{
    {
        BLockGuard guard(lock);
        if (routes.routeList.IsEmpty())
            return;
        routes.clear();
    }
    notifyListeners();
}

void TMidiRouter::notifyListeners()
{
    BList<TMidiRouteChangeListener*> snapshot;
    {
        BLockGuard guard(lock);
        snapshot = listeners;
    }
    for (TMidiRouteChangeListener* listener : snapshot)
    {
        bool stillRegistered = false;
        {
            BLockGuard guard(lock);
            stillRegistered = listeners.Contains(listener);
        }
        if (stillRegistered)
            listener->routesChanged();
    }
}
