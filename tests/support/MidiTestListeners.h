// Listeners for MIDI manager tests: they record what they are told, from any thread.
#pragma once

#include "base/BClock.h"
#include "midi/MidiManagerListeners.h"
#include "midi/TMidiDeviceBase.h"
#include "midi/TMidiDeviceListListener.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Records every control-listener call as one line, e.g. "message 3 in Opened MIDI IN: X".
class RecordingControlListener : public MidiManagerDeviceControlListener
{
public:
    explicit RecordingControlListener(std::string tag = std::string()) : tag(std::move(tag)) {}

    void deviceWillOpen(int index, bool isInput) override { add("willOpen", index, isInput, ""); }
    void deviceStateChanged(int index, bool isInput) override { add("stateChanged", index, isInput, ""); }
    void deviceWillClose(int index, bool isInput) override { add("willClose", index, isInput, ""); }
    void deviceMessage(int index, bool isInput, const BString& text) override
    {
        add("message", index, isInput, text.CStr());
    }
    void deviceError(int index, bool isInput, const BString& text) override { add("error", index, isInput, text.CStr()); }

    std::vector<std::string> lines() const
    {
        std::lock_guard<std::mutex> guard(mutex);
        return recorded;
    }
    // Only the lines of one kind ("message", "error", ...), text only.
    std::vector<std::string> texts(const std::string& kind) const
    {
        std::vector<std::string> result;
        std::lock_guard<std::mutex> guard(mutex);
        for (size_t i = 0; i < recorded.size(); ++i)
            if (kinds[i] == kind)
                result.push_back(textsOf[i]);
        return result;
    }
    void clear()
    {
        std::lock_guard<std::mutex> guard(mutex);
        recorded.clear();
        kinds.clear();
        textsOf.clear();
    }

    // Called (outside the recorder's lock) after each state change, on the manager's thread.
    std::function<void(int, bool)> onStateChanged;

private:
    void add(const char* kind, int index, bool isInput, const std::string& text)
    {
        {
            std::lock_guard<std::mutex> guard(mutex);
            recorded.push_back(tag + kind + " " + std::to_string(index) + (isInput ? " in" : " out") +
                               (text.empty() ? "" : " " + text));
            kinds.push_back(kind);
            textsOf.push_back(text);
        }
        if (std::string(kind) == "stateChanged" && onStateChanged)
            onStateChanged(index, isInput);
    }

    const std::string tag;
    mutable std::mutex mutex;
    std::vector<std::string> recorded;
    std::vector<std::string> kinds;
    std::vector<std::string> textsOf;
};

// Counts deviceListChanged calls and remembers when they came (library clock).
class CountingListListener : public TMidiDeviceListListener
{
public:
    void deviceListChanged() override
    {
        {
            // Notified under the lock, so a waiter that saw the count may destroy this at once.
            std::lock_guard<std::mutex> guard(mutex);
            times.push_back(BClock::now());
            changed.notify_all();
        }
        if (onChanged)
            onChanged();
    }
    int count() const
    {
        std::lock_guard<std::mutex> guard(mutex);
        return static_cast<int>(times.size());
    }
    std::vector<std::uint32_t> when() const
    {
        std::lock_guard<std::mutex> guard(mutex);
        return times;
    }
    // Waits at most timeoutMs for the count to reach n.
    bool waitFor(int n, int timeoutMs)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                [&] { return static_cast<int>(times.size()) >= n; });
    }

    std::function<void()> onChanged;

private:
    mutable std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::uint32_t> times;
};

// The application's data listener: collects what arrives; can mark messages handled.
class CollectingDataListener : public MidiManagerDataListener
{
public:
    void midiDataReceived(int inputIndex, std::int64_t, const unsigned char* data, int length, int* handled) override
    {
        {
            std::lock_guard<std::mutex> guard(mutex);
            received.emplace_back(inputIndex, std::vector<unsigned char>(data, data + length));
        }
        calls.fetch_add(1);
        if (handleAll.load())
            *handled = 1;
    }
    std::vector<std::pair<int, std::vector<unsigned char>>> messages() const
    {
        std::lock_guard<std::mutex> guard(mutex);
        return received;
    }
    std::atomic<bool> handleAll{false};
    std::atomic<int> calls{0};

private:
    mutable std::mutex mutex;
    std::vector<std::pair<int, std::vector<unsigned char>>> received;
};

// Polls cond every millisecond for at most timeoutMs.
inline bool waitUntil(const std::function<bool()>& cond, int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!cond())
    {
        if (std::chrono::steady_clock::now() > end)
            return cond();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Records what one device object delivers, piece by piece, with its timestamps.
class RecordingDataListener : public TMidiDeviceDataListener
{
public:
    struct Delivery
    {
        std::int64_t timestamp;
        std::vector<unsigned char> bytes;
    };

    void onMidiData(TMidiDeviceBase*, std::int64_t timestamp, const unsigned char* data, int length) override
    {
        {
            std::lock_guard<std::mutex> guard(mutex);
            deliveries.push_back({timestamp, std::vector<unsigned char>(data, data + length)});
        }
        signal.notify_all();
    }

    std::vector<Delivery> snapshot()
    {
        std::lock_guard<std::mutex> guard(mutex);
        return deliveries;
    }

    std::size_t byteCount()
    {
        std::lock_guard<std::mutex> guard(mutex);
        std::size_t total = 0;
        for (const Delivery& delivery : deliveries)
            total += delivery.bytes.size();
        return total;
    }

    bool waitForCount(size_t count, int timeoutMs = 10000)
    {
        std::unique_lock<std::mutex> guard(mutex);
        return signal.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                               [&] { return deliveries.size() >= count; });
    }

private:
    std::mutex mutex;
    std::condition_variable signal;
    std::vector<Delivery> deliveries;
};
