// AutoDelete: the registry of library singletons that the application deletes at shutdown.
//
// Every AutoDelete registers itself on construction and unregisters on destruction.
// deleteAll() deletes the registered objects, first registered first, so that no library
// thread or callback outlives what the application tears down after it. Objects created while
// deleteAll() runs are not registered and survive it. Registration may happen on any thread;
// deleteAll() is meant for the GUI thread at shutdown. Not copyable.
#pragma once

class AutoDelete
{
public:
    AutoDelete();
    virtual ~AutoDelete();

    AutoDelete(const AutoDelete&) = delete;
    AutoDelete& operator=(const AutoDelete&) = delete;

    // Deletes every registered object in registration order, then the registry itself (a later
    // AutoDelete starts a new one). Does nothing when called again while it runs.
    static void deleteAll();

    // Number of registered, not yet deleted objects.
    static int registeredCount();
};
