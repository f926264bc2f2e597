// The port-alias section ("MIDI.alias") loaded from arbitrary settings text, saved, and loaded
// again. The alias manager is the program's singleton and keeps every alias it ever loaded, so
// the round trip is checked on what it holds: loading what it has just saved must neither add an
// alias nor change one, and saving again must write the same section.
#include "base/TIniFile.h"
#include "fuzz/FuzzTempFolder.h"
#include "midi/TMidiAlias.h"
#include "midi/TMidiAliasManager.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace
{
std::string savedSection(TMidiAliasManager& aliases, const std::string& path)
{
    fuzz::removeFile(path);
    TIniFile file{BString(path.c_str())};
    aliases.save(file);
    if (!file.Save())
        fuzz::fail("saving the aliases failed");
    return fuzz::readFile(path);
}

std::string describe(TMidiAliasManager& aliases)
{
    std::string all;
    for (int i = 0; i < aliases.aliasCount(); ++i)
    {
        const TMidiAlias* alias = aliases.aliasAt(i);
        all += std::string(alias->name().CStr()) + "\t" + alias->deviceName().CStr() + "\t"
            + std::to_string(alias->direction.load()) + "\n";
    }
    return all;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::string input = fuzz::scratchFile("aliases-in.ini");
    static const std::string saved = fuzz::scratchFile("aliases-saved.ini");
    TMidiAliasManager& aliases = *TMidiAliasManager::getInstance();

    fuzz::writeFile(input, data, size);
    TIniFile settings{BString(input.c_str())};
    if (!settings.Load())
        return 0;
    aliases.load(settings);
    const std::string first = savedSection(aliases, saved);
    const std::string before = describe(aliases);

    TIniFile reread{BString(saved.c_str())};
    if (!reread.Load())
        fuzz::fail("the saved aliases do not load", first);
    aliases.load(reread);
    const std::string after = describe(aliases);
    if (after != before)
        fuzz::fail("loading the saved aliases changed them", before + "----\n" + after);
    if (savedSection(aliases, saved) != first)
        fuzz::fail("the aliases saved differently the second time", first);
    return 0;
}
