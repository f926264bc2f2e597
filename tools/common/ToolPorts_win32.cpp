#include "tools/common/WinMMToolPorts.h"

std::unique_ptr<ToolPorts> ToolPorts::forPlatform(const std::string&)
{
    return std::make_unique<WinMMToolPorts>();
}
