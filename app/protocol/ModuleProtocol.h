// The display module's inbound protocol: its System Exclusive display message, its character set
// and the Program Change rule that shows a program's name.
//
// The protocol has no toolkit dependency so that the command-line decoder, the tests and the
// benchmarks run the very code that the main panel runs. The panel implements ModuleDisplay,
// owns one ModuleProtocol and forwards every incoming MIDI message to handleMessage.
#pragma once

#include "app/protocol/DumpFile.h"
#include "base/BString.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

class ProgramNameTable;
class TIniFile;

/** The display character for one code byte of a display message; every byte value has one. */
char displayCharFor(std::uint8_t code) noexcept;

/** The one-character string for one code byte of a display message (see displayCharFor). */
BString decodeDisplayChar(std::uint8_t code);

/**
 * The inverse of displayCharFor: the lowest code byte that shows `c`. False when the module has
 * no code for it.
 */
bool encodeDisplayChar(char c, std::uint8_t& code) noexcept;

/**
 * The display message that shows the two lines (at most 8 characters each; shorter lines are
 * padded with blanks). False when a line is too long or holds a character the module cannot
 * show; `problem` then says which.
 */
bool encodeDisplayMessage(const std::string& top, const std::string& bottom, std::vector<std::uint8_t>& message,
                          std::string& problem);

/**
 * Where the protocol puts what the module would show. Both operations are called on the thread
 * that handles the message: the MIDI input thread for incoming messages, the caller's thread for
 * ModuleProtocol::showProgram. An implementation must therefore hand its work to its own thread.
 */
class ModuleDisplay
{
public:
    virtual ~ModuleDisplay() = default;

    /**
     * Shows two lines (each at most eight characters; either may be empty). An empty top line is
     * shown as one space (see shownTopLine); showing text leaves the "program" display state.
     */
    virtual void setDisplayText(const BString& top, const BString& bottom) = 0;

    /**
     * Called right after setDisplayText when the two lines are the name of `program` (0 to 127):
     * the display is now in the "program" state and the program editor should follow it.
     */
    virtual void programShown(int program) = 0;

    /** The top line as the display shows it: one space instead of an empty line. */
    static BString shownTopLine(const BString& top);
};

/**
 * Turns incoming MIDI messages into display lines and keeps the dump file.
 *
 * Threads: handleMessage runs on the MIDI input thread; setReceiveChannel, the dump file's open
 * and close, and changes of the name table run on the message thread meanwhile. The receive
 * channel is atomic, the name table and the dump file lock internally for a few instructions, so
 * none of these need outside locking and none allocates on the path of a display message or a
 * Program Change except for the two display lines themselves.
 *
 * Lifetime: the display and the name table must outlive the protocol. Not copyable.
 */
class ModuleProtocol
{
public:
    /** Receive channel value that accepts Program Changes on every channel. */
    static constexpr int kOmni = -1;
    /** Settings section and key of the receive channel. */
    static const char* const kSettingsSection;     // "Current"
    static const char* const kReceiveChannelKey;   // "ReceiveChannel"

    ModuleProtocol(ModuleDisplay& display, const ProgramNameTable& programNames);
    ModuleProtocol(const ModuleProtocol&) = delete;
    ModuleProtocol& operator=(const ModuleProtocol&) = delete;

    /**
     * Handles one incoming message of `length` bytes (a short message, or one System Exclusive
     * piece of up to 1024 bytes): appends it to the dump file if one is open, then shows a display
     * message or the name of a Program Change on the receive channel. Other messages change
     * nothing. A null `data` or a length below 1 is ignored. Any thread; normally MIDI input.
     */
    void handleMessage(const std::uint8_t* data, int length);

    /**
     * Shows the name of `program` (its default name when the entry is empty): characters 1 to 8 on
     * top, 9 to 16 below, then tells the display with programShown. A program outside 0..127 is
     * ignored. Any thread.
     */
    void showProgram(int program);

    /** kOmni or a MIDI channel 0..15; any other value means kOmni. Any thread. */
    void setReceiveChannel(int channel) noexcept;
    int getReceiveChannel() const noexcept;

    /** The dump file that handleMessage appends to; opened and closed by the owner. */
    DumpFile& dumpFile() noexcept { return dump; }

    /** True for a display message: at least 4 bytes, F0 77 at the start and 75 F7 at the end. */
    static bool isDisplayMessage(const std::uint8_t* data, int length) noexcept;

    /** The receive channel that a stored or chosen value means: 0..15 as is, anything else OMNI. */
    static int normaliseReceiveChannel(int value) noexcept;

    /**
     * The raw "ReceiveChannel" value of the section "Current", or `fallback` when it is absent or
     * not an integer. Not normalised: the panel's channel selector decides what an out-of-range
     * value shows (normaliseReceiveChannel gives the channel it then means).
     */
    static int readReceiveChannel(const TIniFile& settings, int fallback);

    /** Stores the receive channel in decimal under "ReceiveChannel" in the section "Current". */
    static void writeReceiveChannel(TIniFile& settings, int channel);

private:
    void showDisplayMessage(const std::uint8_t* data, int length);

    ModuleDisplay& display;
    const ProgramNameTable& programNames;
    std::atomic<int> receiveChannel{kOmni};
    DumpFile dump;
};
