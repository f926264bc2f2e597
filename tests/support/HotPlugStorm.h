// What the hot-plug storm tests of every backend share: numbered traffic (short messages and
// SysEx) sent from a thread of its own, the "both ports present and bound" epoch that the storm
// opens and closes and the traffic reads, and the check that the thru output received every
// message sent inside an epoch, in order and byte for byte.
//
// Hand-shakes instead of timing: the storm flips the epoch under the exclusive side of a lock,
// the traffic sends each message under the shared side, so a message counts as sent "while
// present" exactly when the flag was up for the whole send. The traffic sends a bounded burst
// per phase and then waits for the storm's next phase, so every phase (ports gone, ports back
// but not yet bound, bound) sees traffic whatever the machine's speed.
#pragma once

#include "midi/MidiManager.h"
#include "midi/TMidiAlias.h"
#include "midi/TMidiAliasManager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <shared_mutex>
#include <sstream>
#include <thread>
#include <vector>

namespace lumo_test
{
using Bytes = std::vector<unsigned char>;

// The aliases of the main panel.
inline const BString& inputAliasName()
{
    static const BString name("MIDI Input");
    return name;
}
inline const BString& thruAliasName()
{
    static const BString name("MIDI Thru");
    return name;
}
inline TMidiAlias* panelAlias(bool isInput)
{
    return TMidiAliasManager::getInstance()->getAlias(isInput ? inputAliasName() : thruAliasName(),
                                                      isInput ? TMidiAlias::kInput : TMidiAlias::kOutput, false, -1);
}

// The panel's alias of that direction is bound to the record of port, which is present with its
// device open.
inline bool boundAndOpen(MidiManager& manager, const BString& port, bool isInput)
{
    const int index = manager.findDeviceByName(port, isInput);
    const MidiManagerDev* record = manager.getDevice(index, isInput);
    const TMidiAlias* alias = panelAlias(isInput);
    return alias != nullptr && index >= 0 && alias->deviceIndex.load() == index && alias->deviceName() == port &&
           record != nullptr && record->present.load() != 0 && record->isDeviceOpen();
}

// The record of port is absent and its device closed.
inline bool goneAndClosed(MidiManager& manager, const BString& port, bool isInput)
{
    const MidiManagerDev* record = manager.getDevice(manager.findDeviceByName(port, isInput), isInput);
    return record != nullptr && record->present.load() == 0 && !record->isDeviceOpen();
}

// Number of unplug/replug cycles: LUMO_HOTPLUG_CYCLES when set (for longer or shorter runs),
// else byDefault.
inline int hotPlugCycles(int byDefault)
{
    const char* configured = std::getenv("LUMO_HOTPLUG_CYCLES");
    const int cycles = configured != nullptr ? std::atoi(configured) : 0;
    return cycles > 0 ? cycles : byDefault;
}

// Message number n: mostly 3-byte channel messages carrying n in their channel and data bytes
// (unique for 2^18 messages); every eighth a SysEx F0 7D n0 n1 n2 payload F7 of 8 to
// maxSysExLength bytes whose payload also follows from n.
inline Bytes taggedMessage(std::uint32_t n, int maxSysExLength)
{
    const auto low7 = [](std::uint32_t v) { return static_cast<unsigned char>(v & 0x7F); };
    if (n % 8 != 7)
    {
        static const unsigned char kStatus[] = {0x90, 0x80, 0xB0, 0xE0, 0xA0};
        const unsigned char status =
            static_cast<unsigned char>(kStatus[(n / 8) % 5] | static_cast<unsigned char>((n >> 14) & 0x0F));
        return Bytes{status, low7(n), low7(n >> 7)};
    }
    // A quarter of them at the edges of a driver's 1024-byte pieces (a last piece of 1 to 4
    // bytes), the others of any length.
    static const std::size_t kEdges[] = {8, 1022, 1023, 1024, 1025, 1026, 1027, 1028};
    const std::uint32_t sysExNumber = n / 8;
    const std::uint32_t span = static_cast<std::uint32_t>(std::max(8, maxSysExLength) - 7);
    const std::size_t length = sysExNumber % 4 == 0
                                   ? std::min(kEdges[(sysExNumber / 4) % 8], static_cast<std::size_t>(std::max(8, maxSysExLength)))
                                   : 8 + (n * 2654435761u) % span;
    Bytes bytes(length);
    bytes[0] = 0xF0;
    bytes[1] = 0x7D;
    bytes[2] = low7(n);
    bytes[3] = low7(n >> 7);
    bytes[4] = low7(n >> 14);
    for (std::size_t i = 5; i + 1 < length; ++i)
        bytes[i] = low7(n + static_cast<std::uint32_t>(i));
    bytes.back() = 0xF7;
    return bytes;
}

// The messages as a driver hands them on: SysEx longer than pieceSize in pieces of that size.
inline std::vector<Bytes> inPieces(const std::vector<Bytes>& messages, std::size_t pieceSize)
{
    std::vector<Bytes> pieces;
    for (const Bytes& message : messages)
        for (std::size_t at = 0; at < message.size(); at += pieceSize)
            pieces.emplace_back(message.begin() + static_cast<std::ptrdiff_t>(at),
                                message.begin() + static_cast<std::ptrdiff_t>(std::min(message.size(), at + pieceSize)));
    return pieces;
}

// Where the expected messages stop appearing, in order, in the received ones (extra received
// messages are skipped): success, or the first missing message with its neighbourhood.
inline ::testing::AssertionResult receivedInOrder(const std::vector<Bytes>& expected, const std::vector<Bytes>& received)
{
    std::size_t at = 0;
    for (std::size_t i = 0; i < expected.size(); ++i)
    {
        const auto found = std::find(received.begin() + static_cast<std::ptrdiff_t>(at), received.end(), expected[i]);
        if (found == received.end())
        {
            std::ostringstream text;
            text << "expected message " << i << " of " << expected.size() << " (" << expected[i].size()
                 << " bytes, starting";
            for (std::size_t b = 0; b < std::min<std::size_t>(5, expected[i].size()); ++b)
                text << ' ' << std::hex << static_cast<int>(expected[i][b]) << std::dec;
            text << ") is missing after received message " << at << " of " << received.size();
            return ::testing::AssertionFailure() << text.str();
        }
        at = static_cast<std::size_t>(found - received.begin()) + 1;
    }
    return ::testing::AssertionSuccess();
}

// No message arrived twice. Every message of the traffic is unique (for 2^18 messages), and so
// is every piece that starts with a status byte other than F7; the tail pieces of long SysEx
// (data bytes, or F7 alone) are not compared.
inline ::testing::AssertionResult noneTwice(const std::vector<Bytes>& received)
{
    std::vector<const Bytes*> tagged;
    for (const Bytes& message : received)
        if (!message.empty() && message[0] >= 0x80 && message[0] != 0xF7)
            tagged.push_back(&message);
    std::sort(tagged.begin(), tagged.end(), [](const Bytes* a, const Bytes* b) { return *a < *b; });
    const auto twice =
        std::adjacent_find(tagged.begin(), tagged.end(), [](const Bytes* a, const Bytes* b) { return *a == *b; });
    if (twice == tagged.end())
        return ::testing::AssertionSuccess();
    std::ostringstream text;
    text << "a message of " << (*twice)->size() << " bytes, starting";
    for (std::size_t b = 0; b < std::min<std::size_t>(5, (*twice)->size()); ++b)
        text << ' ' << std::hex << static_cast<int>((**twice)[b]) << std::dec;
    text << ", arrived twice";
    return ::testing::AssertionFailure() << text.str();
}

// The traffic thread and the epoch it reads. send(bytes) hands one message to the input's
// driver side and returns whether the driver took it.
class StormTraffic
{
public:
    using Send = std::function<bool(const Bytes&)>;

    StormTraffic(Send send_, int perPhase_, int maxSysExLength_)
        : send(std::move(send_)), perPhase(perPhase_), maxSysExLength(maxSysExLength_)
    {
    }
    ~StormTraffic() { stop(); }

    StormTraffic(const StormTraffic&) = delete;
    StormTraffic& operator=(const StormTraffic&) = delete;

    void start()
    {
        worker = std::thread([this] { run(); });
    }
    void stop()
    {
        {
            std::lock_guard<std::mutex> guard(mutex);
            stopping = true;
        }
        changed.notify_all();
        if (worker.joinable())
            worker.join();
    }

    // --- Storm side ---
    // Opens (after both ports were seen bound and open) or closes (before a port goes) the
    // epoch; either starts a new phase.
    void setPresent(bool on)
    {
        {
            // The count restarts with the flag, before any message of the new epoch is counted.
            std::unique_lock<std::shared_mutex> exclusive(epochLock);
            std::lock_guard<std::mutex> guard(mutex);
            present = on;
            sentInEpoch = 0;
            ++phase;
        }
        changed.notify_all();
    }
    // Lets the traffic send another burst.
    void nextPhase()
    {
        std::lock_guard<std::mutex> guard(mutex);
        ++phase;
        changed.notify_all();
    }
    // Waits until the traffic sent n messages inside the current epoch (true) or timeoutMs passed.
    bool waitForSentInEpoch(int n, int timeoutMs)
    {
        std::unique_lock<std::mutex> guard(mutex);
        return changed.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] { return sentInEpoch >= n; });
    }

    // --- Results (after stop, or from the storm between phases) ---
    std::vector<Bytes> expected() const
    {
        std::lock_guard<std::mutex> guard(mutex);
        return expectedMessages;
    }
    // The expected messages from position from on (those of the epochs not yet checked).
    std::vector<Bytes> expectedSince(std::size_t from) const
    {
        std::lock_guard<std::mutex> guard(mutex);
        return std::vector<Bytes>(expectedMessages.begin() + static_cast<std::ptrdiff_t>(std::min(from, expectedMessages.size())),
                                  expectedMessages.end());
    }
    std::size_t expectedCount() const
    {
        std::lock_guard<std::mutex> guard(mutex);
        return expectedMessages.size();
    }
    std::uint32_t sentCount() const { return next.load(); }
    // Messages the driver side refused although the epoch was open.
    int refusedWhilePresent() const { return refused.load(); }
    int epochs() const { return epochCount.load(); }

private:
    void run()
    {
        std::uint64_t servedPhase = 0;
        int inPhase = 0;
        for (;;)
        {
            {
                std::unique_lock<std::mutex> guard(mutex);
                if (inPhase >= perPhase)
                    changed.wait(guard, [&] { return stopping || phase != servedPhase; });
                if (stopping)
                    return;
                if (phase != servedPhase)
                {
                    // A new phase gets a whole burst, however far the last one had got.
                    servedPhase = phase;
                    inPhase = 0;
                }
            }
            const Bytes message = taggedMessage(next.fetch_add(1), maxSysExLength);
            bool wasPresent = false;
            bool taken = false;
            {
                std::shared_lock<std::shared_mutex> shared(epochLock);
                wasPresent = present;
                taken = send(message);
                if (wasPresent)
                {
                    std::lock_guard<std::mutex> guard(mutex);
                    expectedMessages.push_back(message);
                    if (++sentInEpoch == 1)
                        epochCount.fetch_add(1);
                }
            }
            if (wasPresent)
            {
                if (!taken)
                    refused.fetch_add(1);
                changed.notify_all();
            }
            ++inPhase;
        }
    }

    const Send send;
    const int perPhase;
    const int maxSysExLength;

    std::shared_mutex epochLock;
    bool present = false; // under epochLock

    mutable std::mutex mutex;
    std::condition_variable changed;
    bool stopping = false;
    std::uint64_t phase = 0;
    int sentInEpoch = 0;
    std::vector<Bytes> expectedMessages;

    std::atomic<std::uint32_t> next{0};
    std::atomic<int> refused{0};
    std::atomic<int> epochCount{0};
    std::thread worker;
};
} // namespace lumo_test
