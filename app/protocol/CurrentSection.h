// The settings file's section of the program's current state: the window's position, the
// receive channel and the display's own settings are keys of this one section.
#pragma once

namespace CurrentSection
{
constexpr const char* kName = "Current";
} // namespace CurrentSection
