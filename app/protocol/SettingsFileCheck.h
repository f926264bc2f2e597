// What the user must be told about the settings file at start, and whether the program may
// replace the file at exit. No toolkit: the checks run in the tests as they run in the program.
#pragma once

#include "base/BString.h"

class TIniFile;

class SettingsFileCheck
{
public:
    /**
     * Judges the file after `settings.Load()` returned `loaded`, and whether its folder takes a
     * new file. A file that exists but cannot be read is never replaced: its content is unknown,
     * and a save would throw it away. (An XML or JSON document in its place is replaced, as the
     * format says; a missing file is simply created.)
     */
    SettingsFileCheck(const TIniFile& settings, bool loaded);

    /** False when a save at exit would destroy a file that could not be read. */
    bool mayReplace() const { return replaceable; }

    /** The same judgement alone, for the load that precedes every save. */
    static bool mayReplace(const TIniFile& settings, bool loaded);

    /**
     * The texts to show the user at start, one per problem (empty when there is none): the file
     * cannot be read, or the settings cannot be saved where the file lives.
     */
    const BString& readProblem() const { return readText; }
    const BString& saveProblem() const { return saveText; }

    /** The text for a save that failed at exit. */
    static BString saveFailure(const BString& path);

private:
    bool replaceable = true;
    BString readText;
    BString saveText;
};
