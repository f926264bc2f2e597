#include "app/PanelSettingsFile.h"

#include "app/protocol/SettingsFileCheck.h"
#include "base/TIniFile.h"

#include <cstdio>
#include <utility>

PanelSettingsFile::PanelSettingsFile(BString path) : filePath(std::move(path)) {}

void PanelSettingsFile::load(const std::function<void(const BString&)>& report,
                             const std::function<void(TIniFile&)>& read) const
{
    TIniFile settings(filePath);
    const bool loaded = settings.Load();
    const SettingsFileCheck check(settings, loaded);
    for (const BString* problem : {&check.readProblem(), &check.saveProblem()})
        if (!problem->IsEmpty())
            report(*problem);
    read(settings);
}

void PanelSettingsFile::save(const std::function<void(TIniFile&)>& write) const
{
    TIniFile settings(filePath);
    const bool loaded = settings.Load();   // keeps every other section of the file
    if (!SettingsFileCheck::mayReplace(settings, loaded))
    {
        // The user was told at start; the unread file is worth more than this run's changes.
        std::fprintf(stderr, "lumo: settings not saved: \"%s\" cannot be read and is left as it is\n",
                     filePath.CStr());
        return;
    }
    write(settings);
    if (!settings.Save())
        std::fprintf(stderr, "lumo: %s\n", SettingsFileCheck::saveFailure(filePath).CStr());
}
