#pragma once

#include "dialogs/Runnable.h"

#include <juce_events/juce_events.h>

// One-shot hand-over of a Runnable call to the message thread.
//
// Created on the heap with `new` (it owns itself): the constructor triggers an asynchronous
// update, and handleAsyncUpdate, on the message thread, calls target->run(first, second) and then
// deletes the updater. Anyone may post from any thread. If the target may die before the call is
// delivered, its owner keeps the returned pointer and calls detach() from the message thread;
// the updater then deletes itself without calling anything.
class JuceUtilsInternalUpdater : public juce::AsyncUpdater
{
public:
    // Posts target->run(first, second); returns the self-owned updater (valid until it has run).
    static JuceUtilsInternalUpdater* post(Runnable* target, int first, int second);

    // Message thread only: the pending call will not reach its target.
    void detach() noexcept { target = nullptr; }

    void handleAsyncUpdate() override;

    JuceUtilsInternalUpdater(const JuceUtilsInternalUpdater&) = delete;
    JuceUtilsInternalUpdater& operator=(const JuceUtilsInternalUpdater&) = delete;

private:
    JuceUtilsInternalUpdater(Runnable* target, int first, int second);
    ~JuceUtilsInternalUpdater() override = default;

    Runnable* target;   // not owned
    const int first;
    const int second;
};
