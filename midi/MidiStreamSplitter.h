// Splits a raw byte stream (a dump file: MIDI messages written one after another) into the
// messages that a MIDI input would deliver, so that each can be run through the module protocol.
#pragma once

#include "midi/MidiStatus.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

/**
 * Rules (running status is not used by the dump, so none is assumed):
 * - F0 starts a System Exclusive message that runs to F7. It is delivered whole when it has at
 *   most 1024 bytes, otherwise in consecutive pieces of 1024 bytes with the rest last, as the
 *   input's 1024-byte buffers hand it over.
 * - Real-time bytes (F8-FF) are delivered on their own wherever they stand, also inside a System
 *   Exclusive message or a channel message, which then simply continue around them.
 * - Any other status byte inside an unterminated System Exclusive message ends it: the bytes so
 *   far are delivered as they are (no F7 added) and the status byte starts the next message. The
 *   same happens at the end of the stream. Both are reported as problems.
 * - Messages take the length MidiStatus::statusLength gives: channel messages 2 (C0-DF) or 3
 *   bytes; F1 and F3 take 2, F2 takes 3; F6 and the undefined F4 and F5 take 1.
 *   A message cut short by a status byte or the end of the stream is dropped and reported.
 * - Data bytes outside a message, and an F7 outside System Exclusive, are skipped and reported
 *   (one report per run of such bytes).
 */
class MidiStreamSplitter
{
public:
    static constexpr int kSysExPieceSize = MidiStatus::kSysExPieceBytes;

    /** Receives one message: its bytes (valid during the call) and its length. */
    using MessageSink = std::function<void(const std::uint8_t* data, int length)>;
    /** Receives one problem: a sentence naming the byte offset in the stream. */
    using ProblemSink = std::function<void(const std::string& problem)>;

    /** Splits the whole stream, calling the sinks in stream order. */
    static void split(const std::uint8_t* data, std::size_t size, const MessageSink& deliver,
                      const ProblemSink& report);
};
