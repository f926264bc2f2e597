// UTF-8 / UTF-16 conversion for BString's wide form, without the string's block management.
#include "base/BStringUtf.h"

#include <cstdint>
#include <cstring>

namespace
{
// Decodes one sequence at text[pos]; returns the number of bytes consumed or 0 when the
// sequence is longer than the bytes still allowed (which ends the conversion).
int DecodeUtf8(const unsigned char* text, int pos, int allowed, std::uint32_t& codePoint)
{
    const unsigned char lead = text[pos];
    int length;
    std::uint32_t cp;
    if (lead < 0x80)
    {
        length = 1;
        cp = lead;
    }
    else if ((lead & 0xE0) == 0xC0)
    {
        length = 2;
        cp = lead & 0x1F;
    }
    else if ((lead & 0xF0) == 0xE0)
    {
        length = 3;
        cp = lead & 0x0F;
    }
    else if (lead >= 0xF0 && lead <= 0xF7)
    {
        length = 4;
        cp = lead & 0x07;
    }
    else
    {
        // A stray continuation byte or 0xF8-0xFF stands for itself.
        codePoint = lead;
        return 1;
    }
    if (length > allowed)
        return 0;
    int used = 1;
    // Continuation bytes only give their low six bits; a NUL shortens the sequence.
    while (used < length && text[pos + used] != 0)
    {
        cp = (cp << 6) | (text[pos + used] & 0x3F);
        ++used;
    }
    codePoint = cp;
    return used;
}
} // namespace

namespace BStringUtf
{
int Utf8ToUtf16(const char* bytes, int capacity, BWideChar* out)
{
    const unsigned char* text = reinterpret_cast<const unsigned char*>(bytes);
    int pos = 0;
    int units = 0;
    while (text[pos] != 0)
    {
        std::uint32_t cp = 0;
        const int used = DecodeUtf8(text, pos, capacity - pos, cp);
        if (used == 0)
            break;
        pos += used;
        if (cp < 0x10000)
        {
            if (out)
                out[units] = static_cast<BWideChar>(cp);
            ++units;
        }
        else
        {
            if (out)
            {
                out[units] = static_cast<BWideChar>(0xD800 + ((cp - 0x10000) >> 10));
                out[units + 1] = static_cast<BWideChar>(0xDC00 + (cp & 0x3FF));
            }
            units += 2;
        }
    }
    if (out)
        out[units] = 0;
    return units;
}

int Utf16ToUtf8(const BWideChar* text, int maxUnits, char* out)
{
    int bytes = 0;
    int i = 0;
    while (i < maxUnits && text[i] != 0)
    {
        std::uint32_t cp = static_cast<std::uint16_t>(text[i]);
        if (cp >= 0xD800 && cp <= 0xDFFF)
        {
            // A surrogate pairs with the next unit unchecked; at the last allowed unit, or
            // before the terminating 0, it ends the conversion (never read past the text).
            if (i + 1 >= maxUnits || text[i + 1] == 0)
                break;
            const std::uint32_t low = static_cast<std::uint16_t>(text[i + 1]);
            cp = (cp - 0xD800) * 0x400 + low - 0xDC00 + 0x10000;
            i += 2;
        }
        else
        {
            ++i;
        }
        unsigned char encoded[4];
        int n;
        if (cp < 0x80)
        {
            encoded[0] = static_cast<unsigned char>(cp);
            n = 1;
        }
        else if (cp < 0x800)
        {
            encoded[0] = static_cast<unsigned char>(0xC0 | (cp >> 6));
            encoded[1] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
            n = 2;
        }
        else if (cp < 0x10000)
        {
            encoded[0] = static_cast<unsigned char>(0xE0 | (cp >> 12));
            encoded[1] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
            encoded[2] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
            n = 3;
        }
        else
        {
            encoded[0] = static_cast<unsigned char>(0xF0 | ((cp >> 18) & 0x0F));
            encoded[1] = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
            encoded[2] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
            encoded[3] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
            n = 4;
        }
        if (out)
            std::memcpy(out + bytes, encoded, static_cast<size_t>(n));
        bytes += n;
    }
    return bytes;
}
} // namespace BStringUtf
