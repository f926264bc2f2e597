// Fixture for tests of the JACK backend under the MIDI manager: a private JACK server per test,
// the manager singleton with a JACK factory of its own, and helpers that wait (through the
// device-change notifications alone) for ports of other clients to be listed.
#pragma once

#include "midi/MidiManager.h"
#include "midi/TMidiAlias.h"
#include "midi/TMidiAliasManager.h"
#include "midi/TMidiRouter.h"
#include "midi/jack/JackMidiFactory.h"
#include "support/JackServerProcess.h"
#include "support/MidiTestListeners.h"
#include "support/WaitFor.h"

#include <gtest/gtest.h>

#include <string>

class JackManagerFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        manager = MidiManager::getInstance();
        manager->addDeviceControlListener(&control);
        factory = new JackMidiFactory("lumo-test", listOwnPorts); // belongs to the AutoDelete registry
        manager->addFactory(factory);
        manager->start();
    }

    void TearDown() override
    {
        manager->setDataListener(nullptr);
        manager->removeDeviceControlListener(&control);
    }

    // The record index of that port, waiting (through the device-change notifications alone)
    // until the manager lists it.
    int waitForDevice(const std::string& port, bool isInput, int timeoutMs = 15000)
    {
        int index = -1;
        lumo_test::waitFor(
            [&] {
                index = manager->findDeviceByName(BString(port.c_str()), isInput);
                return index >= 0 && manager->getDevice(index, isInput) != nullptr &&
                       manager->getDevice(index, isInput)->present.load() != 0;
            },
            timeoutMs);
        return index;
    }

    bool isOpen(int index, bool isInput)
    {
        MidiManagerDev* record = manager->getDevice(index, isInput);
        return record != nullptr && record->isDeviceOpen();
    }

    // Binds an input alias and an output alias to the two ports and routes the first to the
    // second.
    void route(const std::string& inputPort, const std::string& outputPort)
    {
        TMidiAliasManager* aliases = TMidiAliasManager::getInstance();
        TMidiAlias* in = aliases->getAlias(BString("MIDI Input"), TMidiAlias::kInput, true, -1);
        TMidiAlias* out = aliases->getAlias(BString("MIDI Thru"), TMidiAlias::kOutput, true, -1);
        aliases->setAlias(BString("MIDI Input"), TMidiAlias::kInput, BString("MIDI Input"),
                          BString(inputPort.c_str()), true);
        aliases->setAlias(BString("MIDI Thru"), TMidiAlias::kOutput, BString("MIDI Thru"),
                          BString(outputPort.c_str()), true);
        TMidiRouter::getInstance()->addRoute(out, in);
    }

    // Set by a derived fixture's constructor: the factory lists the program's own ports too.
    bool listOwnPorts = false;
    JackServerProcess server;
    MidiManager* manager = nullptr;
    JackMidiFactory* factory = nullptr;
    RecordingControlListener control;
};
