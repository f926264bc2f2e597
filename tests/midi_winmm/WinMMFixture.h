// A fake WinMM driver installed behind the backend's seam for the duration of one test, with a
// fresh factory singleton, and a data listener that records what an input delivers.
#pragma once

#include "midi/MidiDeviceDescriptor.h"
#include "midi/TMidiDeviceBase.h"
#include "midi/winmm/MidiWinFactory.h"
#include "support/FakeWinMMDriver.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <vector>

class WinMMTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        WinMMSystem::install(&driver);
        MidiWinFactory::allowRecreationForTests();
    }
    void TearDown() override
    {
        MidiWinFactory::destroyInstance();
        MidiWinFactory::allowRecreationForTests();
        WinMMSystem::install(nullptr);
    }

    // Descriptor clones of one direction, as the manager gets them.
    std::vector<std::unique_ptr<MidiDeviceDescriptor>> descriptors(bool isInput)
    {
        BOwnedList<MidiDeviceDescriptor*> list;
        MidiWinFactory::getInstance()->copyDescriptors(isInput, list);
        std::vector<std::unique_ptr<MidiDeviceDescriptor>> out;
        for (MidiDeviceDescriptor* d : list)
            out.push_back(d->clone());
        return out;
    }

    std::unique_ptr<TMidiDeviceBase> device(bool isInput, int index)
    {
        auto all = descriptors(isInput);
        return MidiWinFactory::getInstance()->createDevice(*all.at(static_cast<size_t>(index)));
    }

    FakeWinMMDriver driver;
};

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
