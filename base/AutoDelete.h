// AutoDelete: the registry of library singletons that the application deletes at shutdown.
//
// Every AutoDelete registers itself on construction and unregisters on destruction.
// deleteAll() deletes the registered objects, first registered first, so that no library
// thread or callback outlives what the application tears down after it. Objects created while
// deleteAll() runs are not registered and survive it. Registration may happen on any thread;
// deleteAll() is meant for the GUI thread at shutdown. Not copyable.
#pragma once

#include <atomic>

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

    // The program runs its singletons for one lifetime, ended by deleteAll. Test programs that
    // start the application's panel several times in one process begin a new lifetime after
    // deleteAll, so that the singletons may be created again; the program never does.
    static int lifetime();
    static void beginNewLifetime();
};

// A singleton's mark that it was destroyed in the current lifetime: getInstance refuses to
// create it again until a new lifetime begins.
class AutoDeleteTombstone
{
public:
    void mark() { lifetime.store(AutoDelete::lifetime()); }
    bool isMarked() const { return lifetime.load() == AutoDelete::lifetime(); }
    // Tests only: the mark is gone, as if the singleton had never been destroyed.
    void clear() { lifetime.store(-1); }

private:
    std::atomic<int> lifetime{-1};
};
