// lumo-send: sends display text, a Program Change or the messages of dump files to a MIDI port,
// through the program's own MIDI library and the platform's backends (Linux: JACK and the ALSA
// sequencer; Windows: WinMM).
//
//   lumo-send --list
//   lumo-send --version
//   lumo-send --help
//   lumo-send --port NAME --text TOP BOTTOM
//   lumo-send --port NAME --program N [--channel C]
//   lumo-send --port NAME FILE.syx...
//
// Exit status: 0 sent, 1 nothing could be sent (no MIDI system, no such port, a port that cannot
// be opened, unreadable file), 2 wrong usage or text the module cannot show.
//
// The tool itself is runLumoSend, so that tests run it over a stand-in for the platform's ports.
#pragma once

#include "tools/common/ToolPorts.h"

#include <functional>
#include <memory>

// Runs the tool with the command line; makePorts is called once there is something to send or
// list. Returns the exit status.
int runLumoSend(int argc, char** argv, const std::function<std::unique_ptr<ToolPorts>()>& makePorts);
