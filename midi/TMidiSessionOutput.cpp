#include "midi/TMidiSessionOutput.h"

#include "midi/MidiDeviceDescriptor.h"
#include "midi/MidiStatus.h"

#include <algorithm>

TMidiSessionOutput::TMidiSessionOutput(std::unique_ptr<MidiDeviceDescriptor> d) : TMidiOutputBase(std::move(d)) {}

void TMidiSessionOutput::openedAs(std::uint64_t openedToken)
{
    if (openedToken == 0)
        return;
    token.store(openedToken);
    setHandle(this);
}

bool TMidiSessionOutput::sendShort(std::uint32_t message)
{
    const unsigned char bytes[3] = {static_cast<unsigned char>(message), static_cast<unsigned char>(message >> 8),
                                    static_cast<unsigned char>(message >> 16)};
    return sendLong(bytes, std::max(1, MidiStatus::statusLength(bytes[0])));
}

bool TMidiSessionOutput::sendLong(const unsigned char* data, int length)
{
    return isOpen() && data != nullptr && length > 0 && sessionSend(currentToken(), data, length);
}
