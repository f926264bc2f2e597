#include "SmokeResources.h"

#include <LumoResources.h>

juce::MemoryBlock readProgramResource(const juce::String& fileName)
{
    for (int i = 0; i < LumoResources::namedResourceListSize; ++i)
    {
        const char* name = LumoResources::namedResourceList[i];
        if (fileName.equalsIgnoreCase(LumoResources::getNamedResourceOriginalFilename(name)))
        {
            int size = 0;
            const char* data = LumoResources::getNamedResource(name, size);
            return juce::MemoryBlock(data, static_cast<size_t>(size));
        }
    }
    return {};
}
