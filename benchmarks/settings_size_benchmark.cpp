// What a large settings file costs at each step of a start and a quit: reading the file, taking
// the program names out of it, putting them back (the quit's change) and writing the file.
//
//   settings_size_benchmark [lines [duplicates]]
//
// Writes a settings file with `lines` extra lines in "Program Names" (2,000,000 by default, about
// 100 MB) into the temporary folder, then times each step for a quarter, half and all of the
// lines, so that the growth shows: every step should take about twice as long for twice the
// lines. With `duplicates`, that many of the lines repeat the program keys instead of being
// foreign entries.
#include "app/protocol/ProgramNameTable.h"
#include "base/BFileSystem.h"
#include "base/TIniFile.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace
{
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void writeSettings(const std::string& path, long lines, long duplicates)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << "[Current]\nMainLeft=100\nMainTop=100\n\n[Program Names]\n";
    for (int p = 0; p < ProgramNameTable::kCount; ++p)
        out << "Program" << p << "=Name of program " << p << "\n";
    char line[96];
    for (long i = 0; i < lines; ++i)
    {
        const int length = i < duplicates
            ? std::snprintf(line, sizeof line, "Program%ld=duplicate %ld of a program name\n", i % 128, i)
            : std::snprintf(line, sizeof line, "Extra%08ld=a line that is not a program name at all\n", i);
        out.write(line, length);
    }
    out << "\n[Window]\nLeft=1\n\n";
}

void measure(const std::string& path, long lines, long duplicates)
{
    writeSettings(path, lines, duplicates);
    const double megabytes = static_cast<double>(std::filesystem::file_size(path)) / 1e6;

    auto start = Clock::now();
    TIniFile settings{BString(path)};
    settings.Load();
    const double load = secondsSince(start);

    ProgramNameTable names;
    start = Clock::now();
    names.load(settings);
    const double read = secondsSince(start);

    // The quit: half the names changed, a quarter cleared.
    for (int p = 0; p < ProgramNameTable::kCount; p += 2)
        names.setName(p, BString::Format("Renamed %d", p));
    for (int p = 1; p < ProgramNameTable::kCount; p += 4)
        names.setName(p, BString());
    start = Clock::now();
    names.save(settings);
    const double change = secondsSince(start);

    start = Clock::now();
    const bool saved = settings.Save();
    const double write = secondsSince(start);

    std::printf("%9ld lines %7.1f MB  load %7.3f s  names %7.3f s  change %8.3f s  save %7.3f s%s\n", lines,
                megabytes, load, read, change, write, saved ? "" : "  (SAVE FAILED)");
    std::fflush(stdout);
}
} // namespace

int main(int argc, char** argv)
{
    const long lines = argc > 1 ? std::atol(argv[1]) : 2000000;
    const long duplicates = argc > 2 ? std::atol(argv[2]) : 0;
    const std::string path = (std::filesystem::temp_directory_path() / "lumo-settings-size-benchmark.qrcf").string();
    for (const long part : {lines / 4, lines / 2, lines})
        measure(path, part, duplicates < part ? duplicates : part);
    std::filesystem::remove(path);
    return 0;
}
