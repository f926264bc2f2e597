#include "app/protocol/ProgramNameTable.h"

#include "base/IniLineSyntax.h"
#include "base/TIniFile.h"
#include "base/TStringList.h"

#include <utility>

const char* const ProgramNameTable::kSettingsSection = "Program Names";

namespace
{
bool isProgram(int program)
{
    return program >= 0 && program < ProgramNameTable::kCount;
}

// Only a line whose name starts with 'P', plain or quoted, can hold a program key; the others
// are passed over without being parsed.
bool mayBeProgramKey(const BString& line)
{
    const char* text = line.CStr();
    while (*text == ' ' || *text == '\t')
        ++text;
    return *text == 'P' || *text == '"';
}

// The program whose settings key `name` is, or -1: "Program" and the number in plain decimal.
int programOfKey(const BString& name)
{
    static const BString prefix("Program");
    const int length = name.Length();
    if (length <= prefix.Length() || length > prefix.Length() + 3 || !name.StartsWith(prefix, false))
        return -1;
    int program = 0;
    const char* digits = name.CStr() + prefix.Length();
    for (const char* d = digits; *d != 0; ++d)
    {
        if (*d < '0' || *d > '9')
            return -1;
        program = program * 10 + (*d - '0');
    }
    // "Program007" is some other key, not program 7's.
    if (digits[0] == '0' && digits[1] != 0)
        return -1;
    return isProgram(program) ? program : -1;
}
} // namespace

BString defaultProgramName(int program)
{
    return BString::Format("PROGRAM %03d", program + 1);
}

BString ProgramNameTable::name(int program) const
{
    if (!isProgram(program))
        return BString();
    const std::lock_guard<std::mutex> guard(lock);
    return names[program];
}

BString ProgramNameTable::displayName(int program) const
{
    BString stored = name(program);
    return stored.IsEmpty() ? defaultProgramName(program) : stored;
}

void ProgramNameTable::setName(int program, const BString& name)
{
    if (!isProgram(program))
        return;
    BString previous = name;
    {
        const std::lock_guard<std::mutex> guard(lock);
        std::swap(names[program], previous);
    }
    // `previous` now holds the old entry; releasing it outside the lock keeps a possible free
    // away from the MIDI thread's wait.
}

void ProgramNameTable::copyTo(BString* target) const
{
    const std::lock_guard<std::mutex> guard(lock);
    for (int p = 0; p < kCount; ++p)
        target[p] = names[p];
}

void ProgramNameTable::assign(const BString* source)
{
    BString previous[kCount];
    for (int p = 0; p < kCount; ++p)
        previous[p] = source[p];
    {
        const std::lock_guard<std::mutex> guard(lock);
        for (int p = 0; p < kCount; ++p)
            std::swap(names[p], previous[p]);
    }
}

void ProgramNameTable::clear()
{
    const BString empty[kCount];
    assign(empty);
}

BString ProgramNameTable::settingsKey(int program)
{
    return "Program" + BString::FromInt(program);
}

void ProgramNameTable::load(const TIniFile& settings)
{
    // One pass over the section's lines instead of a name index of all of them: the section may
    // hold far more than the 128 keys, and only those are wanted. Later lines win, as in a lookup.
    const TStringList& lines = settings.FindSection(BString(kSettingsSection));
    BString loaded[kCount];
    BString name;
    BString value;
    for (int i = 0; i < lines.Count(); ++i)
    {
        const BString line = lines.Get(i);
        if (!mayBeProgramKey(line) || !IniLineSyntax::ParseEntry(line, name, value))
            continue;
        const int p = programOfKey(name);
        if (p >= 0)
            loaded[p] = value;
    }
    assign(loaded);
}

void ProgramNameTable::save(TIniFile& settings) const
{
    BString current[kCount];
    copyTo(current);
    TStringList& lines = settings.GetSection(BString(kSettingsSection));
    // One pass over the section, whatever its size (a key at a time would pass over it once per
    // key): a cleared name takes every line of its key, so that no older duplicate brings it
    // back; a stored name replaces its key's first line, as SetValue would.
    bool replaced[kCount] = {};
    BString name;
    BString value;
    lines.DeleteIf(
        [&](const BString& line)
        {
            if (!mayBeProgramKey(line) || !IniLineSyntax::ParseEntry(line, name, value))
                return false;
            const int p = programOfKey(name);
            if (p < 0)
                return false;
            if (current[p].IsEmpty())
                return true;
            if (replaced[p])
                return false;
            replaced[p] = true;
            return true;
        });
    for (int p = 0; p < kCount; ++p)
        if (!current[p].IsEmpty())
            lines.Add(settingsKey(p) + "=" + current[p]);
}
