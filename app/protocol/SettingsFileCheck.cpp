#include "app/protocol/SettingsFileCheck.h"

#include "base/BFileSystem.h"
#include "base/TIniFile.h"

bool SettingsFileCheck::mayReplace(const TIniFile& settings, bool loaded)
{
    return loaded || settings.IsXml() || settings.IsJson() || !BFileSystem::FileExists(settings.Path());
}

SettingsFileCheck::SettingsFileCheck(const TIniFile& settings, bool loaded)
{
    const BString& path = settings.Path();
    if (!mayReplace(settings, loaded))
    {
        replaceable = false;
        readText = BString::Format("The settings file \"%s\" cannot be read. This run starts with the default "
                                   "settings and leaves that file as it is; changes made now are not saved.",
                                   path.CStr());
        return;
    }

    // Only a folder that exists can be tried without leaving a trace: a missing one is created
    // by the save itself. The trial file is removed at once.
    const BString folder = path.DirectoryOf();
    if (!BFileSystem::DirectoryExists(folder))
        return;
    if (BFileSystem::IsReadOnlyFile(path))
    {
        saveText = BString::Format("The settings cannot be saved: the file \"%s\" is read-only. Changes made in "
                                   "this run will be lost when the program ends.",
                                   path.CStr());
        return;
    }
    BAtomicFileWriter trial(path);
    const bool writable = trial.IsOpen();
    trial.Discard();
    if (!writable)
        saveText = BString::Format("The settings cannot be saved: no file can be written in the folder \"%s\". "
                                   "Changes made in this run will be lost when the program ends.",
                                   folder.CStr());
}

BString SettingsFileCheck::saveFailure(const BString& path)
{
    return BString::Format("The settings could not be saved to \"%s\" (is the disk full?); the previous "
                           "file is unchanged.",
                           path.CStr());
}
