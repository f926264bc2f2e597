// A fake WinMM driver installed behind the backend's seam for the duration of one test, with a
// fresh factory singleton.
#pragma once

#include "midi/MidiDeviceDescriptor.h"
#include "midi/TMidiDeviceBase.h"
#include "midi/winmm/MidiWinFactory.h"
#include "support/FakeWinMMDriver.h"
#include "support/MidiTestListeners.h"

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
