#include "midi/jack/JackDeviceObserver.h"

#include "midi/MidiDeviceFactory.h"

#include <chrono>

JackDeviceObserver::~JackDeviceObserver()
{
    {
        std::lock_guard<std::mutex> guard(mutex);
        stopping = true;
    }
    wake.notify_all();
    if (retry.joinable())
        retry.join();
}

void JackDeviceObserver::startRetrying(std::function<bool()> isConnected)
{
    if (retry.joinable())
        return;
    connected = std::move(isConnected);
    retry = std::thread([this] { retryLoop(); });
}

void JackDeviceObserver::jackPortsChanged()
{
    announce();
}

void JackDeviceObserver::jackServerGone()
{
    announce();
}

void JackDeviceObserver::announce()
{
    MidiDeviceFactory::announceSystemDeviceChange();
    // Counted last, so that a waiter that saw the count also finds the rescan limit lifted.
    changes.fetch_add(1);
}

void JackDeviceObserver::retryLoop()
{
    std::unique_lock<std::mutex> lock(mutex);
    while (!stopping)
    {
        wake.wait_for(lock, std::chrono::milliseconds(kRetryIntervalMs));
        if (stopping)
            break;
        lock.unlock();
        if (!connected())
            MidiDeviceFactory::announceSystemDeviceChange();
        lock.lock();
    }
}
