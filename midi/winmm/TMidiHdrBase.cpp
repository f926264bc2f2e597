#include "midi/winmm/TMidiHdrBase.h"

#include "midi/winmm/EMidiError.h"

TMidiHdrBase::TMidiHdrBase(int size)
{
    if (size > 0)
        buffer = std::make_unique<unsigned char[]>(static_cast<size_t>(size));
    header.data = buffer.get();
    header.bufferLength = size > 0 ? static_cast<std::uint32_t>(size) : 0;
    header.user = this;
}

void TMidiInHdr::queue(WinMidiHandle handle)
{
    WinMMSystem& system = WinMMSystem::get();
    if (!prepared)
    {
        const unsigned result = system.inPrepare(handle, &header);
        if (result != WinMM::kNoError)
            throw EMidiError(EMidiError::textFor(result, true));
        prepared = true;
    }
    header.bytesRecorded = 0;
    atDriver.store(true, std::memory_order_release);
    const unsigned result = system.inAddBuffer(handle, &header);
    if (result != WinMM::kNoError)
    {
        atDriver.store(false, std::memory_order_release);
        throw EMidiError(EMidiError::textFor(result, true));
    }
}

unsigned TMidiInHdr::unprepare(WinMidiHandle handle)
{
    const unsigned result = WinMMSystem::get().inUnprepare(handle, &header);
    // A header the driver still holds stays prepared: it must not be freed.
    if (result == WinMM::kNoError)
        prepared = false;
    return result;
}

void TMidiOutHdr::queue(WinMidiHandle handle)
{
    const unsigned result = WinMMSystem::get().outPrepare(handle, &header);
    if (result != WinMM::kNoError)
        throw EMidiError(EMidiError::textFor(result, false));
}

unsigned TMidiOutHdr::unprepare(WinMidiHandle handle)
{
    return WinMMSystem::get().outUnprepare(handle, &header);
}
