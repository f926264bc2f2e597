#include "dialogs/JuceUtilsInternalUpdater.h"

JuceUtilsInternalUpdater* JuceUtilsInternalUpdater::post(Runnable* target, int first, int second)
{
    return new JuceUtilsInternalUpdater(target, first, second);
}

JuceUtilsInternalUpdater::JuceUtilsInternalUpdater(Runnable* target_, int first_, int second_)
    : target(target_), first(first_), second(second_)
{
    triggerAsyncUpdate();
}

void JuceUtilsInternalUpdater::handleAsyncUpdate()
{
    // Deleting ourselves here is safe: the message that called us holds no reference back.
    if (target != nullptr)
        target->run(first, second);
    delete this;
}
