// Fixture for tests of a real backend (JACK, the ALSA sequencer) under the MIDI manager singleton.
// The manager serves every test of the process; each test gets a factory of the backend of its
// own, which the fixture owns and deletes when the test ends (taking its ports out of the
// manager while the backend's server still runs). Helpers wait, through the device-change
// notifications alone, until the manager lists the ports of other clients.
#pragma once

#include "midi/MidiManager.h"
#include "support/MidiTestListeners.h"
#include "support/ThruRoute.h"
#include "support/WaitFor.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

template <typename Factory>
class BackendManagerFixture : public ::testing::Test
{
protected:
    // Starts the manager with a new factory of the backend, owned by the fixture.
    void startManager(std::unique_ptr<Factory> made)
    {
        manager = MidiManager::getInstance();
        manager->addDeviceControlListener(&control);
        factory = std::move(made);
        manager->addFactory(factory.get());
        manager->start();
    }

    void TearDown() override
    {
        if (manager == nullptr)
            return;
        manager->setDataListener(nullptr);
        manager->removeDeviceControlListener(&control);
        factory.reset();
    }

    MidiManagerDev* record(const std::string& port, bool isInput)
    {
        const int index = manager->findDeviceByName(BString(port.c_str()), isInput);
        return index >= 0 ? manager->getDevice(index, isInput) : nullptr;
    }

    // The record index of that port once the manager lists it as present, or -1 after timeoutMs.
    int waitForDevice(const std::string& port, bool isInput, int timeoutMs = 15000)
    {
        int index = -1;
        lumo_test::waitFor(
            [&] {
                index = manager->findDeviceByName(BString(port.c_str()), isInput);
                const MidiManagerDev* found = index >= 0 ? manager->getDevice(index, isInput) : nullptr;
                return found != nullptr && found->present.load() != 0;
            },
            timeoutMs);
        return index;
    }

    bool isOpen(int index, bool isInput)
    {
        MidiManagerDev* found = manager->getDevice(index, isInput);
        return found != nullptr && found->isDeviceOpen();
    }

    // Binds the aliases "MIDI Input" and "MIDI Thru" to the two ports and routes the first to the
    // second, as the main panel does.
    void route(const std::string& inputPort, const std::string& outputPort)
    {
        routeThru(inputPort.c_str(), outputPort.c_str());
    }

    // route(), then both devices opened; their record indices land in thruInput and thruOutput.
    // Use under ASSERT_NO_FATAL_FAILURE.
    void openThru(const std::string& inputPort, const std::string& outputPort)
    {
        thruInput = waitForDevice(inputPort, true);
        thruOutput = waitForDevice(outputPort, false);
        ASSERT_TRUE(thruInput >= 0 && thruOutput >= 0) << inputPort << " → " << outputPort << " not listed";
        route(inputPort, outputPort);
        manager->openInput(thruInput);
        manager->openOutput(thruOutput);
        ASSERT_TRUE(lumo_test::waitFor([&] { return isOpen(thruInput, true) && isOpen(thruOutput, false); }, 10000));
    }

    MidiManager* manager = nullptr;
    std::unique_ptr<Factory> factory;
    RecordingControlListener control;
    int thruInput = -1;
    int thruOutput = -1;
};
