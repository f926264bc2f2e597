// PanelSettingsFile: the main panel's settings file, read at start and written at exit.
//
// Reading reports what the user would otherwise lose without knowing (a file that cannot be read,
// a folder that takes no new file) while something can still be done about it, then hands the
// file's sections over. Writing keeps every section the program does not write, never replaces a
// file that could not be read (its content is unknown), and says on standard error when the write
// failed: the message loop has ended by then, so no box can be shown, and the old file is intact.
//
// What the panel keeps in the file is the caller's; the file's safety is this class's.
// Threads: the message thread. No toolkit dependency.
#pragma once

#include "base/BString.h"

#include <functional>

class TIniFile;

class PanelSettingsFile
{
public:
    explicit PanelSettingsFile(BString path);

    // Reads the file (a missing or refused one simply has no sections), tells report about each
    // problem, then lets read take its values.
    void load(const std::function<void(const BString&)>& report, const std::function<void(TIniFile&)>& read) const;
    // Reads the file again, lets write put its values in and writes it; when nothing can be
    // written, says why on standard error.
    void save(const std::function<void(TIniFile&)>& write) const;

    const BString& path() const noexcept { return filePath; }

private:
    const BString filePath;
};
