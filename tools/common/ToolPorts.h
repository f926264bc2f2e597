// ToolPorts: the MIDI ports the command-line tools reach, over every backend of the platform
// (Linux: JACK and the ALSA sequencer; Windows: WinMM), named as the program's port dialog names
// them. The tools use the backends' device objects directly, without the program's MIDI manager.
//
// Threads: one thread (the tool's main thread) calls everything here; device objects deliver
// input on their backends' threads as usual.
// Ownership: the backends' factories live in the AutoDelete registry; deleteAll at the end of
// the tool (see ToolShutdown) closes their clients.
#pragma once

#include "base/AutoDelete.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class TMidiDeviceBase;
class TMidiOutputBase;

class ToolPorts
{
public:
    virtual ~ToolPorts() = default;

    // Reaches the platform's MIDI systems; false when none can be reached (each absent one says
    // so in one line on stderr).
    virtual bool connect() = 0;
    // The display names of the ports of a direction, in the backends' order.
    virtual std::vector<std::string> names(bool isInput) = 0;
    // A closed device object for the port of that display name; null when there is none.
    virtual std::unique_ptr<TMidiDeviceBase> create(const std::string& name, bool isInput) = 0;
    // Waits until everything handed to output has left for the port (a backend may write it
    // later on a thread of its own); false when it did not within a generous time.
    virtual bool waitUntilSent(TMidiOutputBase& output) = 0;

    // The platform's ports, for a client named clientName where a backend names its clients.
    static std::unique_ptr<ToolPorts> forPlatform(const std::string& clientName);
};

// Deletes the library's singletons (the backends' clients among them) on every way out of a
// tool: a JACK client that exits without closing stalls a synchronous server's cycles.
struct ToolShutdown
{
    ToolShutdown() = default;
    ~ToolShutdown() { AutoDelete::deleteAll(); }
    ToolShutdown(const ToolShutdown&) = delete;
    ToolShutdown& operator=(const ToolShutdown&) = delete;
};
