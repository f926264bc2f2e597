#include "app/protocol/ModuleProtocol.h"

#include "app/protocol/CurrentSection.h"
#include "app/protocol/ProgramNameTable.h"
#include "base/TIniFile.h"

#include <array>

const char* const ModuleProtocol::kSettingsSection = CurrentSection::kName;
const char* const ModuleProtocol::kReceiveChannelKey = "ReceiveChannel";

namespace
{
constexpr std::uint8_t kSysExStart = 0xF0;
constexpr std::uint8_t kSysExEnd = 0xF7;
constexpr std::uint8_t kManufacturer = 0x77;
constexpr std::uint8_t kEndOfText = 0x75;
constexpr int kLineLength = 8;
constexpr int kTopFieldOffset = 2;
constexpr int kBottomFieldOffset = 10;

constexpr char charForCode(int code)
{
    if (code == 0)
        return ' ';
    if (code <= 26)
        return static_cast<char>('A' + code - 1);
    if (code <= 46)
        return static_cast<char>('0' + (code - 27) / 2);
    if (code <= 58)
    {
        constexpr const char* symbols = "+-*/\\><._|||";
        return symbols[code - 47];
    }
    if (code <= 81)
        return ' ';
    if (code <= 99)
        return 'e';
    if (code <= 109)
        return static_cast<char>('0' + code - 100);
    return 'e';
}

constexpr std::array<char, 256> makeCharTable()
{
    std::array<char, 256> table{};
    for (int code = 0; code < 256; ++code)
        table[static_cast<std::size_t>(code)] = charForCode(code);
    return table;
}

constexpr std::array<char, 256> kCharTable = makeCharTable();

// Decodes up to eight codes of one line field. `limit` is the exclusive end offset that keeps the
// field clear of the closing 75 F7; the text is built on the stack so a line costs one allocation.
BString decodeField(const std::uint8_t* data, int offset, int limit)
{
    char text[kLineLength + 1];
    int count = 0;
    while (count < kLineLength && offset + count < limit)
    {
        text[count] = kCharTable[data[offset + count]];
        ++count;
    }
    text[count] = '\0';
    return BString(text);
}

// Byte length of the first `characters` UTF-8 characters of `text` (continuation bytes belong to
// the character before them), so that a name is never cut inside a character.
int byteLengthOfCharacters(const char* text, int length, int characters)
{
    int position = 0;
    int started = 0;
    while (position < length)
    {
        const bool continuation = (static_cast<unsigned char>(text[position]) & 0xC0) == 0x80;
        if (!continuation)
        {
            if (started == characters)
                break;
            ++started;
        }
        ++position;
    }
    return position;
}
} // namespace

char displayCharFor(std::uint8_t code) noexcept
{
    return kCharTable[code];
}

BString decodeDisplayChar(std::uint8_t code)
{
    return BString(kCharTable[code]);
}

bool encodeDisplayChar(char c, std::uint8_t& code) noexcept
{
    for (int candidate = 0; candidate < 256; ++candidate)
    {
        if (kCharTable[static_cast<std::size_t>(candidate)] == c)
        {
            code = static_cast<std::uint8_t>(candidate);
            return true;
        }
    }
    return false;
}

bool encodeDisplayMessage(const std::string& top, const std::string& bottom, std::vector<std::uint8_t>& message,
                          std::string& problem)
{
    message.assign({kSysExStart, kManufacturer});
    for (const std::string* line : {&top, &bottom})
    {
        if (line->size() > static_cast<std::size_t>(kLineLength))
        {
            problem = "the line \"" + *line + "\" is longer than " + std::to_string(kLineLength) + " characters";
            return false;
        }
        for (int i = 0; i < kLineLength; ++i)
        {
            const char c = i < static_cast<int>(line->size()) ? (*line)[static_cast<std::size_t>(i)] : ' ';
            std::uint8_t code = 0;
            if (!encodeDisplayChar(c, code))
            {
                problem = std::string("the module cannot show the character '") + c + "' (in \"" + *line + "\")";
                return false;
            }
            message.push_back(code);
        }
    }
    message.push_back(kEndOfText);
    message.push_back(kSysExEnd);
    return true;
}

BString ModuleDisplay::shownTopLine(const BString& top)
{
    return top.IsEmpty() ? BString(" ") : top;
}

ModuleProtocol::ModuleProtocol(ModuleDisplay& display_, const ProgramNameTable& programNames_)
    : display(display_), programNames(programNames_)
{
}

bool ModuleProtocol::isDisplayMessage(const std::uint8_t* data, int length) noexcept
{
    return data != nullptr && length >= 4 && data[0] == kSysExStart && data[1] == kManufacturer
        && data[length - 2] == kEndOfText && data[length - 1] == kSysExEnd;
}

void ModuleProtocol::handleMessage(const std::uint8_t* data, int length)
{
    if (data == nullptr || length <= 0)
        return;
    dump.append(data, length);

    if (isDisplayMessage(data, length))
    {
        showDisplayMessage(data, length);
        return;
    }
    if (length == 2 && (data[0] & 0xF0) == 0xC0)
    {
        const int channel = receiveChannel.load(std::memory_order_relaxed);
        if (channel < 0 || channel == (data[0] & 0x0F))
            showProgram(data[1]);
    }
}

void ModuleProtocol::showDisplayMessage(const std::uint8_t* data, int length)
{
    // Each field stops before the closing 75 F7: offsets 2..9 on top, 10..17 below, at most.
    const BString top = decodeField(data, kTopFieldOffset, length - 2);
    const BString bottom = decodeField(data, kBottomFieldOffset, length - 2);
    display.setDisplayText(top, bottom);
}

void ModuleProtocol::showProgram(int program)
{
    if (static_cast<unsigned>(program) >= static_cast<unsigned>(ProgramNameTable::kCount))
        return;
    const BString name = programNames.displayName(program);
    const char* const text = name.CStr();
    const int length = name.Length();
    const int topEnd = byteLengthOfCharacters(text, length, kLineLength);
    const int bottomEnd = topEnd + byteLengthOfCharacters(text + topEnd, length - topEnd, kLineLength);
    display.setDisplayText(name.SubString(0, topEnd), name.SubString(topEnd, bottomEnd - topEnd));
    display.programShown(program);
}

void ModuleProtocol::setReceiveChannel(int channel) noexcept
{
    receiveChannel.store(normaliseReceiveChannel(channel), std::memory_order_relaxed);
}

int ModuleProtocol::getReceiveChannel() const noexcept
{
    return receiveChannel.load(std::memory_order_relaxed);
}

int ModuleProtocol::normaliseReceiveChannel(int value) noexcept
{
    return value >= 0 && value <= 15 ? value : kOmni;
}

int ModuleProtocol::readReceiveChannel(const TIniFile& settings, int fallback)
{
    const BString text = settings.ReadString(BString(kSettingsSection), BString(kReceiveChannelKey), BString());
    int value = fallback;
    return text.ToInt(0, value) ? value : fallback;
}

void ModuleProtocol::writeReceiveChannel(TIniFile& settings, int channel)
{
    settings.GetSection(BString(kSettingsSection)).SetValue(BString(kReceiveChannelKey), BString::FromInt(channel));
}
