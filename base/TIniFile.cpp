#include "base/TIniFile.h"

#include "base/BFileSystem.h"

#include <cstdint>
#include <string>

namespace
{
// A header needs '[', ']' and at least two bytes between them.
constexpr int kMinHeaderLength = 4;

bool isHeader(const BString& line)
{
    const int length = line.Length();
    const char* text = line.CStr();
    return length >= kMinHeaderLength && text[0] == '[' && text[length - 1] == ']';
}
} // namespace

TIniFile::TIniFile(const BString& filePath)
    : path(filePath)
{
}

TIniFile::~TIniFile() = default;

bool TIniFile::Load()
{
    isXml = false;
    isJson = false;

    std::int64_t size = 0;
    const std::unique_ptr<char[]> data = BFileSystem::ReadWholeFile(path, size);
    if (!data)
    {
        sections.clear();
        return false;
    }
    TStringList lines;
    lines.SetText(data.get(), static_cast<int>(size));

    // A document of another format in our place is not ours to interpret; the flags let a
    // caller tell it apart from a missing file.
    for (int i = 0; i < lines.Count(); ++i)
    {
        const BString content = lines.Get(i).Trim();
        if (content.IsEmpty())
            continue;
        if (content.StartsWith("<?xml", true))
            isXml = true;
        else if (content.CStr()[0] == '{')
            isJson = true;
        break;
    }
    if (isXml || isJson)
    {
        sections.clear();
        return false;
    }

    ParseLines(lines);
    return true;
}

void TIniFile::ParseLines(const TStringList& lines)
{
    sections.clear();
    BString current;
    for (int i = 0; i < lines.Count(); ++i)
    {
        const BString line = lines.Get(i);
        if (isHeader(line))
            current = line.SubString(1, line.Length() - 2);
        else if (!current.IsEmpty())
            GetSection(current).Add(line);
    }
}

std::string TIniFile::Serialise() const
{
    std::string content;
    for (const auto& [name, lines] : sections)
    {
        // Built directly rather than through a fixed formatting buffer, so that no name is too
        // long to be written back.
        content += '[';
        content.append(name.CStr(), static_cast<std::size_t>(name.Length()));
        content += "]\n";
        for (int i = 0; i < lines->Count(); ++i)
        {
            const BString line = lines->Get(i);
            if (line.IsEmpty())
                continue;
            content.append(line.CStr(), static_cast<std::size_t>(line.Length()));
            content += '\n';
        }
        content += '\n';
    }
    return content;
}

bool TIniFile::Save()
{
    // A failure here shows as the failure to create the file below.
    BFileSystem::ForceDirectories(path.DirectoryOf());

    const std::string content = Serialise();
    BAtomicFileWriter writer(path);
    if (!writer.IsOpen())
        return false;
    if (!writer.Write(content.data(), content.size()))
        return false;
    return writer.Commit();
}

BString TIniFile::ReadString(const BString& section, const BString& key, const BString& defaultValue) const
{
    // An absent section is answered here rather than through the shared empty list, whose lazily
    // built name index would otherwise be written by every TIniFile on every thread.
    const auto found = sections.find(section);
    return found != sections.end() ? found->second->GetValue(key, defaultValue) : defaultValue;
}

TStringList& TIniFile::GetSection(const BString& name)
{
    std::unique_ptr<TStringList>& list = sections[name];
    if (!list)
        list = std::make_unique<TStringList>();
    return *list;
}

const TStringList& TIniFile::FindSection(const BString& name) const
{
    // Shared by every caller and never changed: only const references to it are handed out.
    static const TStringList emptySection;
    const auto found = sections.find(name);
    return found != sections.end() ? *found->second : emptySection;
}
