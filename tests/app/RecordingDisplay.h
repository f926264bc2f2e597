// A ModuleDisplay that records every call, for the protocol tests.
#pragma once

#include "app/protocol/ModuleProtocol.h"

#include <mutex>
#include <ostream>
#include <string>
#include <vector>

struct DisplayEvent
{
    std::string top;
    std::string bottom;
    int program = -1;   // set by programShown; -1 for plain text

    bool operator==(const DisplayEvent& other) const
    {
        return top == other.top && bottom == other.bottom && program == other.program;
    }
};

inline void PrintTo(const DisplayEvent& event, std::ostream* out)
{
    *out << '"' << event.top << "\" \"" << event.bottom << "\" program " << event.program;
}

class RecordingDisplay : public ModuleDisplay
{
public:
    void setDisplayText(const BString& top, const BString& bottom) override
    {
        const std::lock_guard<std::mutex> guard(lock);
        events.push_back({top.CStr(), bottom.CStr(), -1});
    }

    void programShown(int program) override
    {
        const std::lock_guard<std::mutex> guard(lock);
        if (events.empty())
            orphanProgramCalls++;
        else
            events.back().program = program;
    }

    std::vector<DisplayEvent> take()
    {
        const std::lock_guard<std::mutex> guard(lock);
        std::vector<DisplayEvent> result;
        result.swap(events);
        return result;
    }

    int orphanProgramCalls = 0;

private:
    std::mutex lock;
    std::vector<DisplayEvent> events;
};
