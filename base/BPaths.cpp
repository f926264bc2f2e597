// The portable part of the program's paths.
#include "base/BPaths.h"

#include "base/BFileSystem.h"

BString settingsFilePath()
{
    return settingsFilePath(executablePath(), companyDataFolder());
}

BString settingsFilePath(const BString& executable, const BString& dataFolder)
{
    const BString candidate = executable.ReplaceExtension(".qrcf");
    if (BFileSystem::FileExists(candidate))
        return candidate;
    BString path = dataFolder;
    path.Append(BString::PathSeparator());
    path.Append(candidate.FileNameOf());
    return path;
}
