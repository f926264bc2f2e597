#include "app/ErrorReports.h"

#include "app/ErrorBox.h"

ErrorReports::ErrorReports()
    : ErrorReports([](const BString& text, std::function<void()> closed) { showErrorAsync(text, std::move(closed)); })
{
}

ErrorReports::ErrorReports(Presenter presenter_)
    : presenter(std::move(presenter_))
{
}

ErrorReports::~ErrorReports()
{
    cancelPendingUpdate();
    const std::lock_guard<std::mutex> guard(state->lock);
    state->texts.clear();
}

void ErrorReports::report(const BString& text)
{
    {
        const std::lock_guard<std::mutex> guard(state->lock);
        state->texts.push_back(text);
    }
    triggerAsyncUpdate();
}

int ErrorReports::waitingCount() const
{
    const std::lock_guard<std::mutex> guard(state->lock);
    return static_cast<int>(state->texts.size());
}

bool ErrorReports::isShowing() const
{
    const std::lock_guard<std::mutex> guard(state->lock);
    return state->showing;
}

void ErrorReports::handleAsyncUpdate()
{
    BString text;
    {
        const std::lock_guard<std::mutex> guard(state->lock);
        if (state->showing || state->texts.empty())
            return;
        text = state->texts.front();
        state->texts.pop_front();
        state->showing = true;
    }

    // The callback may run after this object is gone (the box outlives the panel at exit): it
    // holds the state, and reaches the object only while the state says it is alive.
    std::weak_ptr<State> weak = state;
    presenter(text, [this, weak] {
        const std::shared_ptr<State> alive = weak.lock();
        if (alive == nullptr)
            return;
        bool more = false;
        {
            const std::lock_guard<std::mutex> guard(alive->lock);
            alive->showing = false;
            more = ! alive->texts.empty();
        }
        if (more)
            triggerAsyncUpdate();
    });
}
