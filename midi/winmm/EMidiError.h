// EMidiError: the exception of the WinMM backend, and the rule that turns a WinMM result into
// its message. Plain values; any thread.
#pragma once

#include "base/Exception.h"

class EMidiError : public Exception
{
public:
    using Exception::Exception;

    // The message for a WinMM result: a port held by another program gets its own sentence,
    // every other code the driver's text ("Unspecified error" without one). A non-empty prefix
    // goes first, on a line of its own.
    static BString textFor(unsigned code, bool isInput, const BString& prefix = BString());
};
