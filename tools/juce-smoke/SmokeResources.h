#pragma once

#include <juce_core/juce_core.h>

// Reads a program resource named after a file ("background.png") into memory; returns an empty
// block if the program carries no such resource.
juce::MemoryBlock readProgramResource(const juce::String& fileName);
