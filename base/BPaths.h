// Where the program and its settings live on this machine.
//
// All functions may be called from any thread; they keep no state.
#pragma once

#include "base/BString.h"

/** Full path of the running program's executable file; "" when the system does not tell. */
BString executablePath();

/**
 * The company's folder for per-user data, which is not created here: the roaming application-data
 * folder + "\Vantor Quorvel" on Windows ("\Vantor Quorvel" alone when the system does not tell
 * the folder), $XDG_CONFIG_HOME (or ~/.config when that is unset or not absolute) +
 * "/Vantor Quorvel" elsewhere.
 */
BString companyDataFolder();

/** The settings file of this program: settingsFilePath(executablePath(), companyDataFolder()). */
BString settingsFilePath();

/**
 * The settings-file rule. The candidate is `executable` with its extension replaced by ".qrcf"
 * (appended when it has none). When the candidate exists and is not a directory, a settings file
 * placed next to the program, it is the result; otherwise the result is `dataFolder`, a path
 * separator and the candidate's file name.
 */
BString settingsFilePath(const BString& executable, const BString& dataFolder);
