#pragma once

#include "base/BString.h"

#include <juce_events/juce_events.h>

#include <deque>
#include <functional>
#include <memory>
#include <mutex>

// Error texts reported from any thread, shown to the user one box at a time, in the order they
// were reported, from the message thread. Reporting never waits for the user: the reporting
// thread (a MIDI driver or timer thread, possibly holding the MIDI manager's lock) only queues
// the text.
//
// The presenter shows one text and calls `closed` (on the message thread) once the user has
// dismissed it; the next text is shown after that. The default presenter is the program's error
// box, shown without a nested message loop. Destroying the queue (message thread) drops the
// texts not shown yet; a box still open then closes without effect.
class ErrorReports : private juce::AsyncUpdater
{
public:
    using Presenter = std::function<void(const BString& text, std::function<void()> closed)>;

    ErrorReports();
    explicit ErrorReports(Presenter presenter);
    ~ErrorReports() override;

    // Message thread, before the first report: replaces the presenter (tests record instead).
    void setPresenter(Presenter newPresenter) { presenter = std::move(newPresenter); }

    // Any thread.
    void report(const BString& text);
    // Texts not shown yet, the open one not counted. Any thread.
    int waitingCount() const;
    // A box is open. Any thread.
    bool isShowing() const;

    ErrorReports(const ErrorReports&) = delete;
    ErrorReports& operator=(const ErrorReports&) = delete;

private:
    struct State
    {
        std::mutex lock;
        std::deque<BString> texts;
        bool showing = false;
    };

    void handleAsyncUpdate() override;

    Presenter presenter;
    // Shared with the close callback of an open box, which may outlive this object.
    std::shared_ptr<State> state = std::make_shared<State>();
};
