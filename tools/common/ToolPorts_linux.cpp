#include "tools/common/LinuxToolPorts.h"

std::unique_ptr<ToolPorts> ToolPorts::forPlatform(const std::string& clientName)
{
    return std::make_unique<LinuxToolPorts>(clientName);
}
