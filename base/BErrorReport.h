// BErrorReport: where failures go that nobody is left to catch.
//
// An exception that escapes a thread body or a timer listener would end the process. The
// thread entry and the timer manager catch it and hand its text here instead, and the thread
// or timer carries on (a thread body that threw has finished). By default the report goes to
// standard error; the application or a test may install its own handler.
//
// Threads: report() on any thread; the handler runs on the reporting thread and must not
// throw. setHandler() any time; a handler may still be called once after being replaced.
#pragma once

#include "base/BString.h"

class BErrorReport
{
public:
    // where: the thread or timer name; what: the exception's text.
    using Handler = void (*)(const BString& where, const BString& what);

    // Installs handler (null restores the default) and returns the previous one.
    static Handler setHandler(Handler handler);
    static void report(const BString& where, const BString& what);

    BErrorReport() = delete;
};
