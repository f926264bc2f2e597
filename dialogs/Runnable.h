#pragma once

// Work that another object posts to the message thread (see JuceUtilsInternalUpdater).
class Runnable
{
public:
    virtual ~Runnable() = default;

    // Called on the message thread with the two integers given when the work was posted.
    virtual void run(int first, int second) = 0;
};
