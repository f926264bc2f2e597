// LivePort: lumo-syx's live mode. Listens on one MIDI input port of the platform's backends and
// hands every message, in order, to the caller's thread until SIGINT or SIGTERM.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// Runs until interrupted, calling handle on the calling thread. Returns the exit status: 0 when
// interrupted (the port closed), 2 when the port is not there, cannot be opened or goes away.
int listenOnPort(const std::string& name, const std::function<void(const std::uint8_t*, int)>& handle);
