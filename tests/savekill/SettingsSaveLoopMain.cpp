// Saves the settings file over and over (or once with --once), each save one generation newer
// than the file it found; the kill test ends it with SIGKILL at random moments.
#include "base/TIniFile.h"

#include "support/SaveLoopContent.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc < 2)
    {
        std::fprintf(stderr, "usage: settings_save_loop FILE [--once]\n");
        return 2;
    }
    const bool once = argc > 2 && std::strcmp(argv[2], "--once") == 0;
    const BString section(lumo_test::kSaveLoopSection);
    // Tells the test that start-up is over and saving begins (a sanitizer's start-up alone can
    // take longer than many saves).
    std::fputc('r', stdout);
    std::fflush(stdout);
    for (;;)
    {
        TIniFile settings{BString(argv[1])};
        settings.Load();
        int generation = 0;
        settings.ReadString(section, "Generation", "0").ToInt(0, generation);
        TStringList& lines = settings.GetSection(section);
        lines.Clear();
        for (const std::string& line : lumo_test::saveLoopLines(static_cast<unsigned>(generation) + 1))
            lines.Add(BString(line));
        if (!settings.Save())
        {
            std::fprintf(stderr, "save failed\n");
            return 1;
        }
        if (once)
            return 0;
    }
}
