// WinMMToolPorts: the tools' ports over WinMM: its inputs, and its outputs with the MIDI Mapper
// first, named as the port dialog names them. Portable code over the backend's seam, so that the
// fake driver stands in for WinMM in tests on any system.
#pragma once

#include "tools/common/ToolPorts.h"

class MidiWinFactory;

class WinMMToolPorts : public ToolPorts
{
public:
    bool connect() override;
    std::vector<std::string> names(bool isInput) override;
    std::unique_ptr<TMidiDeviceBase> create(const std::string& name, bool isInput) override;
    bool waitUntilSent(TMidiOutputBase& output) override;

private:
    // The backend's singleton (AutoDelete registry).
    MidiWinFactory* factory = nullptr;
};
