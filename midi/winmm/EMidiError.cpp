#include "midi/winmm/EMidiError.h"

#include "midi/winmm/WinMMSystem.h"

BString EMidiError::textFor(unsigned code, bool isInput, const BString& prefix)
{
    BString text;
    if (code == WinMM::kAllocated)
        text = "It seems that the MIDI port is already open in another application.";
    else if (!WinMMSystem::get().errorText(isInput, code, text))
        text = "Unspecified error";
    if (prefix.IsEmpty())
        return text;
    return BString::Format("%s\r\n%s", prefix.CStr(), text.CStr());
}
