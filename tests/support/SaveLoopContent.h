// The settings content that the save-loop helper writes for each generation, so that a test can
// tell a complete file of some generation from a truncated or mixed one byte for byte.
#pragma once

#include <string>
#include <vector>

namespace lumo_test
{
constexpr const char* kSaveLoopSection = "Kill Test";
constexpr int kSaveLoopLines = 1500;

// The section's lines of one generation: "Generation=<g>" first, then numbered lines.
inline std::vector<std::string> saveLoopLines(unsigned generation)
{
    std::vector<std::string> lines;
    lines.reserve(kSaveLoopLines + 1);
    lines.push_back("Generation=" + std::to_string(generation));
    const std::string mark = std::to_string(generation);
    for (int i = 0; i < kSaveLoopLines; ++i)
        lines.push_back("Line" + std::to_string(i) + "=" + mark + " abcdefghijklmnopqrstuvwxyz " + mark);
    return lines;
}

// The whole file as the settings writer lays it out for the lines above.
inline std::string saveLoopFile(unsigned generation)
{
    std::string file = std::string("[") + kSaveLoopSection + "]\n";
    for (const std::string& line : saveLoopLines(generation))
        file += line + "\n";
    return file + "\n";
}
} // namespace lumo_test
