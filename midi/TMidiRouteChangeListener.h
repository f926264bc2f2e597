// TMidiRouteChangeListener: told by the router after routes were added or disabled. Called on the
// thread that changed the routes, never while the router holds its lock.
#pragma once

class TMidiRouteChangeListener
{
public:
    virtual void routesChanged() = 0;

protected:
    ~TMidiRouteChangeListener() = default;
};
