// Fixture for tests of the MIDI manager singleton. One manager serves every test of a process
// (it cannot be created twice), started once; each test brings its own virtual factory with
// ports named after the test, so records of different tests never meet.
#pragma once

#include "midi/MidiManager.h"
#include "midi/TMidiAliasManager.h"
#include "midi/TMidiDeviceBase.h"
#include "midi/TMidiRouter.h"
#include "support/MidiTestListeners.h"
#include "support/VirtualMidiBackend.h"

#include <gtest/gtest.h>

#include <string>

class MidiManagerFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        factory.setRescanOnChange(true);
        manager = MidiManager::getInstance();
        manager->addDeviceControlListener(&control);
        manager->addFactory(&factory);
        manager->start();
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        prefix = std::string(info->name()).substr(0, 24) + " ";
    }

    void TearDown() override
    {
        manager->setDataListener(nullptr);
        manager->removeDeviceControlListener(&control);
    }

    // A port name unique to this test.
    BString name(const char* base) const { return BString((prefix + base).c_str()); }

    // Runs a full update and returns the record index of the port with that display name.
    int indexOf(const BString& displayName, bool isInput)
    {
        manager->updateDevices(true, true);
        return manager->findDeviceByName(displayName, isInput);
    }

    // Binds a new input alias and output alias of this test to the two devices and routes them.
    void route(const BString& inputDevice, const BString& outputDevice)
    {
        TMidiAliasManager* aliases = TMidiAliasManager::getInstance();
        TMidiAlias* in = aliases->getAlias(name("route in"), TMidiAlias::kInput, true, -1);
        TMidiAlias* out = aliases->getAlias(name("route out"), TMidiAlias::kOutput, true, -1);
        aliases->setAlias(name("route in"), TMidiAlias::kInput, name("route in"), inputDevice, true);
        aliases->setAlias(name("route out"), TMidiAlias::kOutput, name("route out"), outputDevice, true);
        TMidiRouter::getInstance()->addRoute(out, in);
    }

    MidiManager* manager = nullptr;
    VirtualMidiFactory factory;
    RecordingControlListener control;
    std::string prefix;
};
