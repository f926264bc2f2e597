#include "midi/alsa/AlsaMidiSegments.h"

#include <algorithm>

namespace
{
constexpr unsigned char kSysExStart = 0xF0;
constexpr unsigned char kSysExEnd = 0xF7;

bool isStatus(unsigned char byte)
{
    return byte >= 0x80;
}

bool isRealTime(unsigned char byte)
{
    return byte >= 0xF8;
}

void addPieces(std::vector<AlsaMidiSegments::Segment>& out, std::size_t offset, std::size_t length, std::size_t piece)
{
    for (std::size_t done = 0; done < length; done += piece)
        out.push_back(AlsaMidiSegments::Segment{offset + done, std::min(piece, length - done), true});
}
} // namespace

std::vector<AlsaMidiSegments::Segment> AlsaMidiSegments::split(const unsigned char* data, std::size_t size,
                                                               std::size_t pieceBytes)
{
    std::vector<Segment> out;
    if (data == nullptr)
        return out;
    const std::size_t piece = std::max<std::size_t>(1, pieceBytes);
    std::size_t position = 0;
    // Leading data bytes, or a leading F7, belong to a SysEx whose start went out in an earlier
    // block: the encoder would make no event of a lone F7, and the SysEx would never end.
    bool inSysEx = size > 0 && (!isStatus(data[0]) || data[0] == kSysExEnd);
    while (position < size)
    {
        if (inSysEx || data[position] == kSysExStart)
        {
            std::size_t end = position + (inSysEx ? 0 : 1);
            while (end < size && data[end] != kSysExEnd && (!isStatus(data[end]) || isRealTime(data[end])))
                ++end;
            if (end < size && data[end] == kSysExEnd)
                ++end;
            addPieces(out, position, end - position, piece);
            position = end;
            inSysEx = false;
            continue;
        }
        std::size_t end = position + 1;
        while (end < size && data[end] != kSysExStart)
            ++end;
        out.push_back(Segment{position, end - position, false});
        position = end;
    }
    return out;
}
