#include "app/ProgramNameTable.h"

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
    const BString section(kSettingsSection);
    BString loaded[kCount];
    for (int p = 0; p < kCount; ++p)
        loaded[p] = settings.ReadString(section, settingsKey(p), BString());
    assign(loaded);
}

void ProgramNameTable::save(TIniFile& settings) const
{
    BString current[kCount];
    copyTo(current);
    TStringList& lines = settings.GetSection(BString(kSettingsSection));
    for (int p = 0; p < kCount; ++p)
    {
        const BString key = settingsKey(p);
        if (current[p].IsEmpty())
        {
            // Every line of the key goes, so that no older duplicate brings the name back.
            for (int index = lines.IndexOfName(key); index >= 0; index = lines.IndexOfName(key))
                lines.Delete(index);
        }
        else
        {
            lines.SetValue(key, current[p]);
        }
    }
}
