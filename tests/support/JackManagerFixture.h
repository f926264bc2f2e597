// Fixture for tests of the JACK backend under the MIDI manager: a private JACK server per test
// (each test starts it when it wants it), a JACK factory of the test's own, and the two other
// clients most tests play with: a keyboard and a synthesizer.
#pragma once

#include "midi/jack/JackCompanion.h"
#include "midi/jack/JackMidiFactory.h"
#include "support/BackendManagerFixture.h"
#include "support/JackServerProcess.h"

#include <memory>
#include <string>

class JackManagerFixture : public BackendManagerFixture<JackMidiFactory>
{
protected:
    void SetUp() override { startManager(std::make_unique<JackMidiFactory>("lumo-test", listOwnPorts)); }

    // Starts the server, a keyboard client with an output port "out" (source) and a synthesizer
    // client with an input port "in" (destination), and waits until the manager lists both ports.
    // Use under ASSERT_NO_FATAL_FAILURE.
    void startKeyboardAndSynth()
    {
        ASSERT_TRUE(server.start());
        keyboard = JackCompanion::open("keyboard");
        synth = JackCompanion::open("synth");
        ASSERT_TRUE(keyboard && synth);
        ASSERT_TRUE(keyboard->addPort("out", true));
        ASSERT_TRUE(synth->addPort("in", false));
        source = keyboard->fullName("out");
        destination = synth->fullName("in");
        ASSERT_GE(waitForDevice(source, true), 0);
        ASSERT_GE(waitForDevice(destination, false), 0);
    }

    // Set by a derived fixture's constructor: the factory lists the program's own ports too.
    bool listOwnPorts = false;
    // Declared before the clients: they close before the server stops.
    JackServerProcess server;
    std::unique_ptr<JackCompanion> keyboard;
    std::unique_ptr<JackCompanion> synth;
    std::string source;
    std::string destination;
};
