// TMidiRouter: the program's MIDI thru connections. A route says that everything arriving on the
// device bound to an input alias is also sent to the device bound to an output alias. Routes
// connect aliases, not devices, so they follow re-binding and device changes; the forwarding
// itself is done by the MIDI manager from the thru lists it builds with collectThru.
//
// Threads: routes are added on the GUI thread; collectThru and aliasesChanged run on whatever
// thread handles alias or route changes. The routes are guarded by the router's own lock, which
// is never held while listeners are called (lock order: MIDI manager, aliases, router).
#pragma once

#include "base/AutoDelete.h"
#include "base/BList.h"
#include "base/BLock.h"
#include "midi/TMidiAlias.h"
#include "midi/TMidiAliasChangeListener.h"
#include "midi/TMidiRouteChangeListener.h"

class TMidiRouter;

// One thru connection. Aliases are not owned (the alias manager owns them).
class TMidiRoute
{
public:
    TMidiRoute(TMidiAlias* input, TMidiAlias* output, int position)
        : input(input), output(output), position(position)
    {
    }
    virtual ~TMidiRoute() = default;
    TMidiRoute(const TMidiRoute&) = delete;
    TMidiRoute& operator=(const TMidiRoute&) = delete;

    // Source alias (direction input); null once the route is disabled.
    TMidiAlias* input;
    // Target alias (direction output).
    TMidiAlias* output;
    // Number of routes that existed when this one was added.
    int position;
};

// The router's list of routes; deletes them when ownsRoutes is set.
class TMidiRoutes
{
public:
    explicit TMidiRoutes(TMidiRouter* router, bool ownsRoutes = true) : ownsRoutes(ownsRoutes ? 1 : 0), router(router) {}
    virtual ~TMidiRoutes();
    TMidiRoutes(const TMidiRoutes&) = delete;
    TMidiRoutes& operator=(const TMidiRoutes&) = delete;

    void clear();

    BList<TMidiRoute*> routeList;
    int ownsRoutes;
    TMidiRouter* router;
};

class TMidiRouter : public TMidiAliasChangeListener, public AutoDelete
{
public:
    // The singleton, created on first use and registered with the alias manager. Throws
    // Exception "Cannot re-instanciate TMidiRouter!" once it has been destroyed.
    static TMidiRouter* getInstance();
    // The singleton if it exists now; null before the first getInstance and after destruction.
    static TMidiRouter* peekInstance();

    ~TMidiRouter() override;
    TMidiRouter(const TMidiRouter&) = delete;
    TMidiRouter& operator=(const TMidiRouter&) = delete;

    // Adds the route input -> output. -1 when input is an output alias or output an input alias
    // (direction 0 is accepted) or either is null. An existing identical route gives its index
    // and changes nothing; a new one is appended, the listeners are told, and its index returned.
    int addRoute(TMidiAlias* output, TMidiAlias* input);
    // Index of the first route with exactly these aliases; -1 if none or either is null.
    int findRoute(const TMidiAlias* output, const TMidiAlias* input) const;
    // Empties list, then (for inputIndex >= 0) adds once each output alias of every enabled route
    // whose input alias currently resolves to inputIndex, in route order. Any thread.
    void collectThru(TMidiAliasList& list, int inputIndex) const;
    // Number of routes, disabled ones included.
    int routeCount() const;

    // Unique add; removal by identity. Listeners are called first registered first.
    void addListener(TMidiRouteChangeListener* listener);
    void removeListener(TMidiRouteChangeListener* listener);

    // TMidiAliasChangeListener: disables every route one of whose aliases lost its direction.
    void aliasesChanged() override;

    // The alias manager is going away with all aliases (shutdown): every route is deleted, so
    // that nothing reads an alias afterwards, and the listeners are told (their thru lists
    // empty). Called by the alias manager's destructor.
    void releaseAliases();

private:
    TMidiRouter();
    void notifyListeners();

    mutable BLock lock;
    TMidiRoutes routes;
    BList<TMidiRouteChangeListener*> listeners;
};
