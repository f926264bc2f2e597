// JackDeviceObserver: turns the JACK server's announcements (ports and clients registered,
// unregistered or renamed; the server going away) into the device-change service's
// notification, so the manager rescans after the notifier's debounce. While no server is
// reachable it also asks for a rescan every ten seconds, so that a server started later is found.
//
// Threads: the Observer calls arrive on JACK's notification thread and only post; the retry
// runs on a thread of its own, owned here and joined by the destructor.
#pragma once

#include "midi/MIDIDevChangeNotifier.h"
#include "midi/jack/JackSession.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class JackDeviceObserver : public JackSession::Observer
{
public:
    // As often as the device poll where no device-change broadcast exists: a server started
    // later is found within about ten seconds, and an idle program without one sleeps.
    static constexpr int kRetryIntervalMs = MIDIDevChangeNotifier::kPollIntervalMs;

    JackDeviceObserver() = default;
    ~JackDeviceObserver() override;

    JackDeviceObserver(const JackDeviceObserver&) = delete;
    JackDeviceObserver& operator=(const JackDeviceObserver&) = delete;

    // Starts the retry thread, which asks isConnected before each retry. Once only.
    void startRetrying(std::function<bool()> isConnected);

    // Number of announcements seen (diagnostics and tests).
    int changesSeen() const { return changes.load(); }

    void jackPortsChanged() override;
    void jackServerGone() override;

private:
    void announce();
    void retryLoop();

    std::function<bool()> connected;
    std::atomic<int> changes{0};
    std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
    std::thread retry;
};
