#include "base/TStringList.h"

#include "base/IniLineSyntax.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

TStringList::TStringList() : separator("\n") {}

TStringList::~TStringList() = default;

void TStringList::Add(const BString& line, void* object)
{
    lines.emplace_back(line, object);
    DropIndex();
}

bool TStringList::Delete(int index)
{
    if (index < 0 || index >= Count())
        return false;
    lines.erase(lines.begin() + index);
    DropIndex();
    return true;
}

void TStringList::Clear()
{
    lines.clear();
    DropIndex();
}

int TStringList::DeleteIf(const std::function<bool(const BString& line)>& remove)
{
    // Lines are asked in order (callers may count occurrences) and kept ones moved down in place.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < lines.size(); ++i)
    {
        if (remove(lines[i].first))
            continue;
        if (kept != i)
            lines[kept] = std::move(lines[i]);
        ++kept;
    }
    const int removed = static_cast<int>(lines.size() - kept);
    if (removed > 0)
    {
        lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(kept), lines.end());
        DropIndex();
    }
    return removed;
}

int TStringList::DeleteName(const BString& name)
{
    BString lineName;
    BString lineValue;
    return DeleteIf([&](const BString& line)
                    { return IniLineSyntax::ParseEntry(line, lineName, lineValue) && lineName == name; });
}

void TStringList::SetText(const char* data, int length)
{
    Clear();
    if (data == nullptr)
        return;
    int start = 0;
    int pos = 0;
    while (pos < length && data[pos] != 0)
    {
        const char c = data[pos];
        if (c == '\n' || c == '\r')
        {
            lines.emplace_back(BString(data + start, pos - start), nullptr);
            // CR LF is one line end.
            if (c == '\r' && pos + 1 < length && data[pos + 1] == '\n')
                ++pos;
            start = pos + 1;
        }
        ++pos;
    }
    if (pos > start)
        lines.emplace_back(BString(data + start, pos - start), nullptr);
}

bool TStringList::LoadFromFile(const BString& path)
{
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.CStr(), "rb"), &std::fclose);
    if (!file)
        return false;
    std::vector<char> data;
    char chunk[16384];
    for (;;)
    {
        const size_t got = std::fread(chunk, 1, sizeof chunk, file.get());
        data.insert(data.end(), chunk, chunk + got);
        // The text is addressed with int positions: refuse files of 2 GB and more.
        if (data.size() >= static_cast<size_t>(BString::kNoLimit))
            return false;
        if (got < sizeof chunk)
            break;
    }
    if (std::ferror(file.get()))
        return false;
    SetText(data.data(), static_cast<int>(data.size()));
    return true;
}

BString TStringList::Text() const
{
    int total = 0;
    for (const auto& line : lines)
        total += line.first.Length() + separator.Length();
    BString result;
    result.Reserve(total);
    for (const auto& line : lines)
    {
        result.Append(line.first);
        result.Append(separator);
    }
    return result;
}

int TStringList::Count() const
{
    return static_cast<int>(lines.size());
}

bool TStringList::IsEmpty() const
{
    return lines.empty();
}

BString TStringList::Get(int index) const
{
    return index >= 0 && index < Count() ? lines[static_cast<size_t>(index)].first : BString();
}

BString TStringList::operator[](int index) const
{
    return Get(index);
}

void* TStringList::Object(int index) const
{
    return index >= 0 && index < Count() ? lines[static_cast<size_t>(index)].second : nullptr;
}

int TStringList::IndexOfName(const BString& name) const
{
    if (lines.empty())
        return -1;
    // A valid index answers "absent" at once; building one only for that would cost more than the
    // scan, and every change drops it again (a series of SetValue calls would rebuild it each time).
    if (indexValid && nameIndex.find(name) == nameIndex.end())
        return -1;
    BString lineName;
    BString lineValue;
    for (size_t i = 0; i < lines.size(); ++i)
        if (IniLineSyntax::ParseEntry(lines[i].first, lineName, lineValue) && lineName == name)
            return static_cast<int>(i);
    return -1;
}

BString TStringList::GetValue(const BString& name, const BString& defaultValue) const
{
    BString value;
    return FindValue(name, value) ? value : defaultValue;
}

bool TStringList::FindValue(const BString& name, BString& value) const
{
    // An empty list answers without touching its index, so one shared empty list may be read
    // from several threads at once.
    if (lines.empty())
        return false;
    BuildIndex();
    const auto found = nameIndex.find(name);
    if (found == nameIndex.end())
        return false;
    value = found->second;
    return true;
}

void TStringList::SetValue(const BString& name, const BString& value)
{
    const int index = IndexOfName(name);
    if (index >= 0)
        lines.erase(lines.begin() + index);
    Add(name + "=" + value);
}

const BString& TStringList::Separator() const
{
    return separator;
}

void TStringList::SetSeparator(const BString& newSeparator)
{
    separator = newSeparator;
}

std::size_t TStringList::NameHash::operator()(const BString& name) const noexcept
{
    std::uint64_t hash = 1469598103934665603ull;
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(name.CStr());
    for (int i = 0; i < name.Length(); ++i)
        hash = (hash ^ bytes[i]) * 1099511628211ull;
    return static_cast<std::size_t>(hash);
}

void TStringList::DropIndex()
{
    // Clearing a hash table costs its whole bucket array even when it is empty, and every Add
    // drops the index: only a table with something in it is released (buckets and all).
    if (!nameIndex.empty())
        decltype(nameIndex)().swap(nameIndex);
    indexValid = false;
}

void TStringList::BuildIndex() const
{
    if (indexValid)
        return;
    decltype(nameIndex)().swap(nameIndex);
    nameIndex.reserve(lines.size());
    BString name;
    BString value;
    // Later lines overwrite earlier ones: for a repeated name the last value counts.
    for (const auto& line : lines)
        if (IniLineSyntax::ParseEntry(line.first, name, value))
            nameIndex[name] = value;
    indexValid = true;
}
