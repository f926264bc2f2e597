#include "midi/TMidiAliasBinding.h"

#include "midi/MidiManager.h"
#include "midi/TMidiAlias.h"
#include "midi/TMidiAliasManager.h"

TMidiAliasBinding::TMidiAliasBinding(const BString& inputAlias_, const BString& outputAlias_)
    : inputAlias(inputAlias_), outputAlias(outputAlias_)
{
}

void TMidiAliasBinding::apply() const
{
    MidiManager* manager = MidiManager::peekInstance();
    TMidiAliasManager* aliases = TMidiAliasManager::peekInstance();
    if (manager == nullptr || aliases == nullptr)
        return;   // shutting down

    for (const bool isInput : { false, true })
    {
        TMidiAlias* alias = aliases->getAlias(isInput ? inputAlias : outputAlias,
                                              isInput ? TMidiAlias::kInput : TMidiAlias::kOutput, true, -1);
        manager->ensureScanned();
        // An update pass re-resolves every alias from -1; reading the resolution in the middle of
        // one would close the bound device.
        const MidiManager::ControlGuard noUpdateMeanwhile(*manager);
        const int wanted = alias != nullptr ? alias->deviceIndex.load() : -1;
        const int count = isInput ? manager->getInputCount() : manager->getOutputCount();
        for (int i = 0; i < count; ++i)
        {
            if (i == wanted)
                isInput ? manager->openInput(i) : manager->openOutput(i);
            else
                isInput ? manager->closeInput(i, false) : manager->closeOutput(i, false);
        }
    }
}
