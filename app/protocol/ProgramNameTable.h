// The table of 128 program names that the display shows for a Program Change, and its place in
// the settings file (section "Program Names", keys Program0 ... Program127).
#pragma once

#include "base/BString.h"

#include <mutex>

class TIniFile;

/** "PROGRAM %03d" of program + 1: program 0 is "PROGRAM 001", program 127 "PROGRAM 128". */
BString defaultProgramName(int program);

/**
 * 128 names, index = program number. An empty entry means "no name" (the default name is shown
 * but never stored). Entries have no length limit; the display shows the first 16 characters.
 *
 * Threads: the message thread changes the table (settings, the program editor) while the MIDI
 * input thread reads entries for Program Changes. Every operation locks for the few instructions
 * it needs; reading an entry copies a shared string and never allocates. Not copyable: the
 * editor works on a plain array that copyTo fills and assign publishes.
 */
class ProgramNameTable
{
public:
    static constexpr int kCount = 128;
    static const char* const kSettingsSection;   // "Program Names"

    ProgramNameTable() = default;
    ProgramNameTable(const ProgramNameTable&) = delete;
    ProgramNameTable& operator=(const ProgramNameTable&) = delete;

    /** The stored name; empty when the entry is empty or `program` is outside 0..127. */
    BString name(int program) const;

    /** The stored name, or defaultProgramName(program) for an empty entry. */
    BString displayName(int program) const;

    /** Stores a name; ignored for a program outside 0..127. */
    void setName(int program, const BString& name);

    /** Copies all 128 entries into `names` (an array of kCount strings). */
    void copyTo(BString* names) const;

    /** Replaces all 128 entries with `names` (an array of kCount strings) in one step. */
    void assign(const BString* names);

    /** Empties every entry. */
    void clear();

    /** The settings key of a program: "Program" followed by the index in decimal. */
    static BString settingsKey(int program);

    /**
     * Replaces every entry from the section "Program Names" of a loaded settings file; an
     * absent key gives an empty entry.
     */
    void load(const TIniFile& settings);

    /**
     * Writes the table into the section "Program Names" of a loaded settings file: a named
     * entry replaces its key's line (the new line goes to the end of the section); the key of an
     * empty entry is removed, so that a name the user cleared does not return at the next start.
     */
    void save(TIniFile& settings) const;

private:
    mutable std::mutex lock;
    BString names[kCount];
};
