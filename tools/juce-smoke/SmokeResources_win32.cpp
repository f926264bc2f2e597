#include "SmokeResources.h"

#include <windows.h>

juce::MemoryBlock readProgramResource(const juce::String& fileName)
{
    // "background.png" is the resource BACKGROUND of type PNG.
    const juce::String name = fileName.upToLastOccurrenceOf(".", false, false).toUpperCase();
    const juce::String type = fileName.fromLastOccurrenceOf(".", false, false).toUpperCase();
    HRSRC info = FindResourceA(nullptr, name.toRawUTF8(), type.toRawUTF8());
    if (info == nullptr)
        return {};
    HGLOBAL handle = LoadResource(nullptr, info);
    if (handle == nullptr)
        return {};
    const DWORD size = SizeofResource(nullptr, info);
    const void* data = LockResource(handle);
    juce::MemoryBlock block;
    if (data != nullptr)
        block.append(data, size);
    FreeResource(handle);
    return block;
}
