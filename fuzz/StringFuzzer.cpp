// The string conversions on arbitrary bytes: UTF-8 to UTF-16 and back, UTF-16 to UTF-8 and back,
// and the decimal numbers. Well-formed text must survive the round trip unchanged. Malformed text
// is converted by fixed lossy rules (stray bytes stand for themselves, a surrogate takes the next
// unit unchecked), so for it only the absence of faults is checked.
#include "base/BString.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace
{
[[noreturn]] void fail(const char* what, const std::string& text)
{
    std::fprintf(stderr, "FUZZ CHECK FAILED: %s\n", what);
    for (unsigned char c : text)
        std::fprintf(stderr, "%02X ", c);
    std::fprintf(stderr, "\n");
    std::abort();
}

// Well-formed UTF-8 in the strict sense (no overlong forms, no surrogates, nothing above
// U+10FFFF): written independently of BString as the oracle.
bool isValidUtf8(const std::string& s)
{
    std::size_t i = 0;
    while (i < s.size())
    {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        int extra;
        std::uint32_t cp;
        if (c < 0x80) { ++i; continue; }
        if (c >= 0xC2 && c <= 0xDF) { extra = 1; cp = c & 0x1F; }
        else if (c >= 0xE0 && c <= 0xEF) { extra = 2; cp = c & 0x0F; }
        else if (c >= 0xF0 && c <= 0xF4) { extra = 3; cp = c & 0x07; }
        else return false;
        if (i + static_cast<std::size_t>(extra) >= s.size())
            return false;
        for (int k = 1; k <= extra; ++k)
        {
            const unsigned char t = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
            if ((t & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (t & 0x3F);
        }
        if ((extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000) || cp > 0x10FFFF
            || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += static_cast<std::size_t>(extra) + 1;
    }
    return true;
}

void checkUtf8(const std::string& bytes)
{
    const BString text(bytes);
    const std::string stored(text.CStr());
    if (stored != bytes.substr(0, std::strlen(bytes.c_str())))
        fail("BString did not keep the bytes up to the first NUL", bytes);
    const BString back = BString::FromWide(text.WStr());
    if (isValidUtf8(stored) && back != text)
        fail("valid UTF-8 did not survive UTF-16 and back", stored);
}

// Well-formed UTF-16 up to the first 0 unit: every surrogate is part of a high-low pair.
bool isValidUtf16(const std::vector<BWideChar>& units, std::size_t count)
{
    for (std::size_t i = 0; i < count && units[i] != 0; ++i)
    {
        const std::uint16_t u = static_cast<std::uint16_t>(units[i]);
        if (u >= 0xDC00 && u <= 0xDFFF)
            return false;
        if (u >= 0xD800 && u <= 0xDBFF)
        {
            if (i + 1 >= count)
                return false;
            const std::uint16_t low = static_cast<std::uint16_t>(units[i + 1]);
            if (low < 0xDC00 || low > 0xDFFF)
                return false;
            ++i;
        }
    }
    return true;
}

void checkUtf16(const std::uint8_t* data, std::size_t size)
{
    std::vector<BWideChar> units(size / 2 + 1, 0);
    for (std::size_t i = 0; i + 1 < size; i += 2)
        units[i / 2] = static_cast<BWideChar>(data[i] | (data[i + 1] << 8));
    const int limit = size > 0 ? static_cast<int>(data[0] % (units.size() + 1)) : 0;
    const BString text = BString::FromWide(units.data(), limit == 0 ? BString::kNoLimit : limit);
    const std::size_t count = limit == 0 ? units.size() : static_cast<std::size_t>(limit);
    if (!isValidUtf16(units, count))
        return;
    if (!isValidUtf8(text.CStr()))
        fail("well-formed UTF-16 gave malformed UTF-8", text.CStr());
    const BWideChar* back = text.WStr();
    for (std::size_t i = 0; i < count && units[i] != 0; ++i)
        if (back[i] != units[i])
            fail("well-formed UTF-16 did not survive UTF-8 and back", text.CStr());
}

void checkNumbers(const std::string& bytes)
{
    const BString text(bytes);
    int value = 12345;
    const int start = bytes.empty() ? 0 : static_cast<unsigned char>(bytes[0]) % 8;
    if (text.ToInt(start, value))
    {
        int back = ~value;
        if (!BString::FromInt(value).ToInt(0, back) || back != value)
            fail("a number read did not read back from its decimal form", bytes);
    }
    else if (value != 12345)
    {
        fail("a failed number read changed the value", bytes);
    }
    if (bytes.size() >= 4)
    {
        std::int32_t n;
        std::memcpy(&n, bytes.data(), 4);
        int back = ~n;
        if (!BString::FromInt(n).ToInt(0, back) || back != n)
            fail("FromInt did not read back", bytes);
        if (BString::ToHex8(static_cast<std::uint32_t>(n)).Length() != 8)
            fail("ToHex8 did not give eight digits", bytes);
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    checkUtf8(bytes);
    checkUtf16(data, size);
    checkNumbers(bytes);
    return 0;
}
