// The settings file from arbitrary bytes: read, saved, read again, changed, saved and read again.
// What was read must come back the same each time: the first save is the file's canonical form,
// which must save to itself, and a change of one value must leave every other section as it was.
#include "base/TIniFile.h"
#include "fuzz/FuzzTempFolder.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace
{
const char* const kChangedSection = "Fuzz.changed";
const char* const kChangedKey = "Value";

// The section names of a saved file: its header lines, found by the file's own rule (a line of
// at least 4 bytes from '[' to ']').
std::vector<std::string> headersOf(const std::string& saved)
{
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start < saved.size())
    {
        std::size_t end = saved.find('\n', start);
        if (end == std::string::npos)
            end = saved.size();
        const std::string line = saved.substr(start, end - start);
        if (line.size() >= 4 && line.front() == '[' && line.back() == ']')
            names.push_back(line.substr(1, line.size() - 2));
        start = end + 1;
    }
    return names;
}

// A section's lines as the file keeps them: empty lines are not written.
std::string keptLines(const TStringList& section)
{
    std::string kept;
    for (int i = 0; i < section.Count(); ++i)
    {
        const BString line = section.Get(i);
        if (!line.IsEmpty())
            kept.append(line.CStr()).append("\n");
    }
    return kept;
}

// A value the settings file stores verbatim (values needing the quoted form are the caller's to
// quote): the input's bytes without line breaks and NULs, without the blanks that reading trims
// from either end and without a leading quote, which would start the quoted form.
BString valueFrom(const std::uint8_t* data, std::size_t size)
{
    std::string value;
    for (std::size_t i = 0; i < size && value.size() < 64; ++i)
        if (data[i] != 0 && data[i] != '\r' && data[i] != '\n')
            value.push_back(static_cast<char>(data[i]));
    BString trimmed = BString(value).Trim();
    while (trimmed.CStr()[0] == '"')
        trimmed = trimmed.SubString(1).Trim();
    return trimmed;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::string path = fuzz::scratchFile("settings.ini");
    fuzz::writeFile(path, data, size);

    TIniFile first{BString(path.c_str())};
    if (!first.Load())
        return 0;   // XML or JSON: refused, and left alone
    if (!first.Save())
        fuzz::fail("the first save failed");
    const std::string canonical = fuzz::readFile(path);

    TIniFile second{BString(path.c_str())};
    if (!second.Load())
        fuzz::fail("the saved file does not load");
    for (const std::string& name : headersOf(canonical))
        if (keptLines(second.FindSection(BString(name))) != keptLines(first.FindSection(BString(name))))
            fuzz::fail("a section read back differently", name);
    if (!second.Save())
        fuzz::fail("the second save failed");
    if (fuzz::readFile(path) != canonical)
        fuzz::fail("the saved file does not save to itself", canonical);

    const BString value = valueFrom(data, size);
    second.GetSection(BString(kChangedSection)).SetValue(BString(kChangedKey), value);
    if (!second.Save())
        fuzz::fail("the save after the change failed");

    TIniFile third{BString(path.c_str())};
    if (!third.Load())
        fuzz::fail("the changed file does not load");
    if (third.ReadString(BString(kChangedSection), BString(kChangedKey), BString("<absent>")) != value)
        fuzz::fail("the changed value did not read back", value.CStr());
    for (const std::string& name : headersOf(canonical))
        if (name != kChangedSection
            && keptLines(third.FindSection(BString(name))) != keptLines(first.FindSection(BString(name))))
            fuzz::fail("a section the change did not touch read back differently", name);
    fuzz::removeFile(path);
    return 0;
}
