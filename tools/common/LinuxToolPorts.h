// LinuxToolPorts: the tools' ports over JACK and the ALSA sequencer, JACK's first. Neither
// backend lists the program's own ports here: a tool reaches them as another client's ports
// ("lumo:LUMO In").
#pragma once

#include "tools/common/ToolPorts.h"

class AlsaMidiFactory;
class JackMidiFactory;

class LinuxToolPorts : public ToolPorts
{
public:
    explicit LinuxToolPorts(const std::string& clientName);

    bool connect() override;
    std::vector<std::string> names(bool isInput) override;
    std::unique_ptr<TMidiDeviceBase> create(const std::string& name, bool isInput) override;
    bool waitUntilSent(TMidiOutputBase& output) override;

private:
    // Both belong to the AutoDelete registry.
    JackMidiFactory* jack = nullptr;
    AlsaMidiFactory* alsa = nullptr;
    bool haveJack = false;
    bool haveAlsa = false;
};
