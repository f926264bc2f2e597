#include "dialogs/JuceText.h"

namespace JuceText
{

juce::String toJuce(const BString& text)
{
    const char* bytes = text.CStr();
    const int length = text.Length();
    if (length == 0)
        return {};

    if (juce::CharPointer_UTF8::isValidString(bytes, length))
        return juce::String::fromUTF8(bytes, length);

    juce::String result;
    result.preallocateBytes(static_cast<size_t>(length) * 2);
    for (int i = 0; i < length; ++i)
        result += juce::String::charToString(static_cast<juce::juce_wchar>(static_cast<unsigned char>(bytes[i])));
    return result;
}

BString fromJuce(const juce::String& text)
{
    return BString(text.toRawUTF8());
}

} // namespace JuceText
