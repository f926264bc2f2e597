// Adds the ALSA sequencer backend to the MIDI manager when the manager is created, next to the
// JACK backend. Linked into the program as an object file so that the static registration below
// is always part of the executable.
#include "midi/MidiManager.h"
#include "midi/alsa/AlsaMidiFactory.h"

namespace
{
class AlsaMidiInitializer : public MidiManagerInitializer
{
public:
    void managerReady() override
    {
        // Factories belong to the AutoDelete registry.
        MidiManager::peekInstance()->addFactory(new AlsaMidiFactory("lumo", true));
    }
};

const int registered = MidiManager::registerInitializer(new AlsaMidiInitializer);
} // namespace
