#pragma once

#include "base/BString.h"

#include <juce_core/juce_core.h>

// Conversions between the library's 8-bit strings and the toolkit's strings.
//
// Library strings are UTF-8 by convention, but settings files may hold any bytes. Text that is
// not valid UTF-8 is shown byte by byte (each byte as the character of the same code, as in
// ISO 8859-1) instead of being rejected or garbled further.
namespace JuceText
{
    juce::String toJuce(const BString& text);
    // The UTF-8 bytes of the toolkit string.
    BString fromJuce(const juce::String& text);
}
