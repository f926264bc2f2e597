// Fixture for component tests of the MIDI dialogs and the panel's MIDI side: a new lifetime of
// the MIDI singletons per test, started, with a virtual backend whose port changes are seen at
// the next update. The test's thread is the message thread.
#pragma once

#include "JuceTestSupport.h"

#include "base/AutoDelete.h"
#include "midi/MidiManager.h"
#include "midi/TMidiAliasManager.h"
#include "support/VirtualMidiBackend.h"

#include <gtest/gtest.h>

#include <memory>

class MidiGuiFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        JuceTestSupport::initialiseOnce();
        AutoDelete::beginNewLifetime();
        factory = new VirtualMidiFactory();   // factories belong to the AutoDelete registry
        factory->setRescanOnChange(true);
    }

    void TearDown() override
    {
        AutoDelete::deleteAll();
        factory = nullptr;
    }

    // The manager with the virtual backend, started (the panel's startMidi does this itself).
    MidiManager& startManager()
    {
        MidiManager* manager = MidiManager::getInstance();
        manager->addFactory(factory);
        manager->start();
        manager->updateDevices(true, true);
        return *manager;
    }

    int recordOf(const char* displayName, bool isInput)
    {
        MidiManager* manager = MidiManager::getInstance();
        manager->updateDevices(true, true);
        return manager->findDeviceByName(BString(displayName), isInput);
    }

    TMidiAliasManager& aliases() { return *TMidiAliasManager::getInstance(); }

    VirtualMidiFactory* factory = nullptr;
};
