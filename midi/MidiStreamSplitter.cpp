#include "midi/MidiStreamSplitter.h"

#include "midi/MidiStatus.h"

#include <cstdio>

namespace
{
std::string describe(const char* format, std::size_t a, std::size_t b = 0, unsigned c = 0)
{
    char text[160];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}
} // namespace

void MidiStreamSplitter::split(const std::uint8_t* data, std::size_t size, const MessageSink& deliver,
                               const ProblemSink& report)
{
    std::uint8_t piece[kSysExPieceSize];
    int pieceLength = 0;
    bool inSysEx = false;
    std::size_t sysExStart = 0;

    std::uint8_t shortMessage[3];
    int shortLength = 0;
    int shortNeeded = 0;
    std::size_t shortStart = 0;

    std::size_t strayStart = 0;
    std::size_t strayCount = 0;
    const auto reportStray = [&] {
        if (strayCount == 0)
            return;
        report(describe("%zu stray data byte(s) at offset %zu skipped", strayCount, strayStart));
        strayCount = 0;
    };

    for (std::size_t i = 0; i < size; ++i)
    {
        std::uint8_t byte = data[i];
        if (byte >= 0xF8)
        {
            // Real-time bytes may stand anywhere; the input hands them over on their own.
            deliver(&byte, 1);
            continue;
        }
        if (inSysEx)
        {
            if (byte < 0x80 || byte == 0xF7)
            {
                piece[pieceLength++] = byte;
                if (byte == 0xF7 || pieceLength == kSysExPieceSize)
                {
                    deliver(piece, pieceLength);
                    pieceLength = 0;
                    inSysEx = byte != 0xF7;
                }
                continue;
            }
            // Any other status byte ends the message on the wire; what came so far is delivered.
            if (pieceLength > 0)
                deliver(piece, pieceLength);
            pieceLength = 0;
            inSysEx = false;
            report(describe("System Exclusive message at offset %zu ends without F7 at offset %zu (status byte %02X)",
                            sysExStart, i, byte));
        }
        if (shortNeeded > 0)
        {
            if (byte < 0x80)
            {
                shortMessage[shortLength++] = byte;
                if (shortLength == shortNeeded)
                {
                    deliver(shortMessage, shortLength);
                    shortNeeded = 0;
                }
                continue;
            }
            report(describe("incomplete message at offset %zu skipped", shortStart));
            shortNeeded = 0;
        }
        if (byte < 0x80 || byte == 0xF7)
        {
            if (strayCount++ == 0)
                strayStart = i;
            continue;
        }
        reportStray();
        if (byte == 0xF0)
        {
            inSysEx = true;
            sysExStart = i;
            piece[0] = byte;
            pieceLength = 1;
            continue;
        }
        const int length = MidiStatus::statusLength(byte);
        if (length == 1)
        {
            deliver(&byte, 1);
            continue;
        }
        shortMessage[0] = byte;
        shortLength = 1;
        shortNeeded = length;
        shortStart = i;
    }

    if (inSysEx)
    {
        if (pieceLength > 0)
            deliver(piece, pieceLength);
        report(describe("System Exclusive message at offset %zu ends without F7 at the end of the file", sysExStart));
    }
    if (shortNeeded > 0)
        report(describe("incomplete message at offset %zu skipped", shortStart));
    reportStray();
}
