// lumo-send's entry point: the tool (LumoSend.h) over the platform's MIDI ports.
#include "tools/lumo-send/LumoSend.h"

int main(int argc, char** argv)
{
    return runLumoSend(argc, argv, [] { return ToolPorts::forPlatform("lumo-send"); });
}
