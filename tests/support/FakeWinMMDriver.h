// FakeWinMMDriver: a scripted stand-in for WinMM, the registry and the version query behind the
// WinMM backend's seam (WinMMSystem). Tests list ports, feed input and read what outputs sent.
//
// As WinMM, the fake calls the backend back on a thread of its own: every completion, incoming
// message and close notice is queued to that thread in order. It behaves like a strict driver
// (an unprepare of a buffer it holds fails, closing over held buffers is counted as a fault) and
// can misbehave on purpose: keep buffers through a reset, report a long message done before
// midiOutLongMsg returns, hold long messages until a reset, close a port by itself, refuse to
// prepare or take long messages. An exception that leaves a callback (which would end the
// process under WinMM) is caught and counted as a fault.
//
// Threads: every operation may be called from any thread but the callback thread; drain()
// waits until the callback thread has run everything queued so far.
#pragma once

#include "midi/winmm/WinMMSystem.h"
#include "support/JobThread.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

class FakeWinMMDriver : public WinMMSystem
{
public:
    struct Port
    {
        BString name;
        BString interfacePath;
        // The next n capability queries fail.
        int capsFailures = 0;
        // Result of opening (kAllocated: held by another program).
        unsigned openResult = WinMM::kNoError;
    };

    // One message an output sent.
    struct Sent
    {
        bool isShort = false;
        std::uint32_t packed = 0;
        std::vector<unsigned char> bytes;
    };

    FakeWinMMDriver();
    ~FakeWinMMDriver() override;

    // --- System set-up ---
    int addInput(const Port& port) { return addPort(true, port); }
    int addOutput(const Port& port) { return addPort(false, port); }
    void removeLastInput() { removeLastPort(true); }
    void removeLastOutput() { removeLastPort(false); }
    void setMapperName(const BString& name) { mapperName = name; }
    void setRegistryValue(const BString& keyPath, const BString& valueName, const BString& value);
    void setMajorVersion(int major) { major_ = major; }

    // --- Misbehaviour ---
    // false: a reset leaves the buffers with the driver.
    std::atomic<bool> resetReturnsBuffers{true};
    // true: MOM_DONE runs (and finishes) before midiOutLongMsg returns.
    std::atomic<bool> doneBeforeLongMsgReturns{false};
    // false: long messages stay with the driver until a reset.
    std::atomic<bool> completeLongMessages{true};
    // >= 0: midiInAddBuffer fails once this many more buffers were accepted.
    std::atomic<int> addBufferFailsAfter{-1};
    // Not kNoError: midiOutPrepareHeader / midiOutLongMsg fail with this result.
    std::atomic<unsigned> outPrepareResult{WinMM::kNoError};
    std::atomic<unsigned> outLongMsgResult{WinMM::kNoError};

    // --- Driver side ---
    // Queues one short message for input id; false when it is not open.
    bool feedShort(int id, std::uint32_t packed, std::uint32_t timestamp);
    // Queues data for input id in pieces filling the queued buffers; returns the pieces queued
    // (the fill happens on the callback thread; pieces without a free buffer are lost).
    int feedSysEx(int id, const unsigned char* data, int length, std::uint32_t timestamp);
    // The driver closes the open port by itself (MIM_CLOSE / MOM_CLOSE), as on an unplug.
    void closeFromDriver(bool isInput, int id);
    // Delivers one short message on the calling thread, which stands in for the driver's thread
    // (for benchmarks: nothing is queued). False when input id is not open.
    bool deliverShortNow(int id, std::uint32_t packed, std::uint32_t timestamp);
    // Off: short messages sent are only counted (for benchmarks).
    std::atomic<bool> recordShortMessages{true};
    std::uint64_t shortMessagesSent() const { return shortCount.load(); }
    void drain();

    // --- Observations ---
    std::vector<Sent> sentTo(int outputId) const;
    int resetCount() const { return resets.load(); }
    // Buffers a close found still held by the driver: memory the backend could free too early.
    int closedOverHeldBuffers() const { return closedOverHeld.load(); }
    int failedUnprepares() const { return unprepareFailures.load(); }
    int lostPieces() const { return lost.load(); }
    // Exceptions that left a callback of the backend.
    int escapedExceptions() const { return escaped.load(); }
    int lastOpenedOutputId() const { return lastOutputId.load(); }
    int openRegistryKeys() const;
    int heldByDriver() const;

    // WinMMSystem
    int inCount() override { return portCount(true); }
    int outCount() override { return portCount(false); }
    unsigned inCaps(int id, BString& productName) override { return caps(true, id, productName); }
    unsigned outCaps(int id, BString& productName) override { return caps(false, id, productName); }
    bool inInterfacePath(int id, BString& path) override { return interfacePath(true, id, path); }
    bool outInterfacePath(int id, BString& path) override { return interfacePath(false, id, path); }
    bool errorText(bool isInput, unsigned code, BString& text) override;
    unsigned inOpen(WinMidiHandle* handle, int id, WinMidiCallback callback, void* instance) override;
    unsigned inGetId(WinMidiHandle handle) override;
    unsigned inStart(WinMidiHandle handle) override;
    unsigned inStop(WinMidiHandle handle) override;
    unsigned inReset(WinMidiHandle handle) override;
    unsigned inClose(WinMidiHandle handle) override;
    unsigned inPrepare(WinMidiHandle handle, WinMidiHeader* header) override;
    unsigned inUnprepare(WinMidiHandle handle, WinMidiHeader* header) override;
    unsigned inAddBuffer(WinMidiHandle handle, WinMidiHeader* header) override;
    unsigned outOpen(WinMidiHandle* handle, int id, WinMidiCallback callback, void* instance) override;
    unsigned outShortMsg(WinMidiHandle handle, std::uint32_t message) override;
    unsigned outPrepare(WinMidiHandle handle, WinMidiHeader* header) override;
    unsigned outUnprepare(WinMidiHandle handle, WinMidiHeader* header) override;
    unsigned outLongMsg(WinMidiHandle handle, WinMidiHeader* header) override;
    unsigned outReset(WinMidiHandle handle) override;
    unsigned outClose(WinMidiHandle handle) override;
    bool regOpen(const BString& path, std::uint32_t access, WinRegKey* key) override;
    bool regQueryString(WinRegKey key, const char* valueName, int maxBytes, BString& value) override;
    bool regSubkeyCount(WinRegKey key, int& count) override;
    bool regEnumKey(WinRegKey key, int index, BString& name) override;
    void regClose(WinRegKey key) override;
    bool majorVersion(int& major) override;

private:
    // The two directions' port lists are alike; these serve both (under mutex where they read).
    std::vector<Port>& portsOf(bool isInput) { return isInput ? inputs : outputs; }
    int addPort(bool isInput, const Port& port);
    void removeLastPort(bool isInput);
    int portCount(bool isInput);
    unsigned caps(bool isInput, int id, BString& productName);
    bool interfacePath(bool isInput, int id, BString& path);
    struct Handle;
    struct Key;

    void post(std::function<void()> job);
    Handle* live(WinMidiHandle handle) const;
    unsigned openHandle(bool isInput, WinMidiHandle* handle, int id, WinMidiCallback callback, void* instance);
    std::vector<BString> children(const std::string& path) const;
    void completeLong(Handle* handle, WinMidiHeader* header);
    // Calls the port's callback as WinMM does, stopping (and counting) an exception.
    void callBack(Handle* handle, unsigned message, std::uintptr_t param1, std::uintptr_t param2);

    mutable std::mutex mutex;
    std::vector<Port> inputs;
    std::vector<Port> outputs;
    BString mapperName = "MIDI Mapper";
    std::vector<std::unique_ptr<Handle>> handles;
    std::map<int, std::vector<Sent>> sentLog; // by WinMM output id
    std::map<std::string, std::map<std::string, BString>> registry; // lower-case paths
    std::map<std::string, BString> originalPaths;
    std::vector<std::unique_ptr<Key>> keys;
    std::atomic<int> major_{10};
    std::atomic<int> resets{0};
    std::atomic<int> closedOverHeld{0};
    std::atomic<int> unprepareFailures{0};
    std::atomic<int> lost{0};
    std::atomic<int> escaped{0};
    std::atomic<std::uint64_t> shortCount{0};
    std::atomic<int> lastOutputId{-99};

    lumo_test::JobThread callbacks; // last: its jobs use everything above
};
