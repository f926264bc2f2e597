// Adds the JACK backend to the MIDI manager when the manager is created, the way every platform
// registers its own backend. Linked into the program as an object file so that the static
// registration below is always part of the executable.
#include "midi/MidiManager.h"
#include "midi/jack/JackMidiFactory.h"

namespace
{
class JackMidiInitializer : public MidiManagerInitializer
{
public:
    void managerReady() override
    {
        // Factories belong to the AutoDelete registry.
        MidiManager::peekInstance()->addFactory(new JackMidiFactory("lumo", true));
    }
};

const int registered = MidiManager::registerInitializer(new JackMidiInitializer);
} // namespace
