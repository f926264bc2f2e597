#include "tools/lumo-syx/LivePort.h"

#include <cstdio>

// Builds without a MIDI backend (sanitizer and fuzzing trees) decode files only.
int listenOnPort(const std::string&, const std::function<void(const std::uint8_t*, int)>&)
{
    std::fputs("lumo-syx: this build has no MIDI ports; --port is not available\n", stderr);
    return 2;
}
