// The raw dump of received MIDI data that the "/dump" command-line option switches on: every
// message the panel receives, appended unchanged in arrival order, nothing between messages.
#pragma once

#include "base/BString.h"

#include <cstdint>
#include <cstdio>
#include <mutex>

class DumpFile
{
public:
    /** The dump file's name; it is created in the working directory. */
    static const char* const kDefaultFileName;   // "LUMO_dump.syx"

    /**
     * True when the command line asks for a dump: it contains "/dump" or "-dump" anywhere, in any
     * letter case (so "-DUMP" and "--dumpfile" count too).
     */
    static bool isRequested(const BString& commandLine);

    DumpFile() = default;
    /** Closes the file if it is open. */
    ~DumpFile();
    DumpFile(const DumpFile&) = delete;
    DumpFile& operator=(const DumpFile&) = delete;

    /**
     * Prints "Dumping to <path>...\n" to standard output, then creates (or empties) the file at
     * `path` for writing. Returns false if the file cannot be opened; the dump then stays off and
     * the program runs on. An already open dump file is closed first. Message thread.
     */
    bool open(const BString& path = BString(kDefaultFileName));

    /**
     * Appends `length` bytes if the file is open and flushes them, so that the dump survives a
     * crash of the program. Returns false only when the file is open and the write fails.
     * Any thread; safe against a concurrent close.
     */
    bool append(const std::uint8_t* data, int length);

    /** Closes the file (nothing happens when none is open). Any thread. */
    void close();

    bool isOpen() const;

private:
    mutable std::mutex lock;
    std::FILE* file = nullptr;
};
