#include "base/IniLineSyntax.h"

#include <algorithm>

namespace
{
bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

char Unescape(char c)
{
    switch (c)
    {
    case 'a': return '\a';
    case 'b': return '\b';
    case 'f': return '\f';
    case 'n': return '\n';
    case 'r': return '\r';
    case 't': return '\t';
    case 'v': return '\v';
    default: return c;
    }
}

// Reads a quoted text whose opening quote is at text[pos]. On success returns true, fills out
// and leaves pos just after the closing quote.
bool ReadQuoted(const char* text, int length, int& pos, BString& out)
{
    BString result;
    result.Reserve(length - pos);
    int i = pos + 1;
    while (i < length)
    {
        char c = text[i];
        if (c == '"')
        {
            // A copy of exact size: the working string was sized for the whole line.
            out = BString(result.CStr());
            pos = i + 1;
            return true;
        }
        if (c == '\\')
        {
            if (i + 1 >= length)
                return false;
            c = Unescape(text[++i]);
        }
        result.Append(c);
        ++i;
    }
    return false;
}
} // namespace

namespace IniLineSyntax
{
bool ParseEntry(const char* text, int length, BString& name, BString& value)
{
    if (text == nullptr || length <= 0)
        return false;
    // Only the first kMaxLineBytes bytes count, and a NUL ends the line early.
    const int limit = std::min(length, kMaxLineBytes);
    int end = 0;
    while (end < limit && text[end] != 0)
        ++end;

    int pos = 0;
    while (pos < end && IsBlank(text[pos]))
        ++pos;
    if (pos >= end || text[pos] == ';')
        return false;

    BString parsedName;
    if (text[pos] == '"')
    {
        if (!ReadQuoted(text, end, pos, parsedName))
            return false;
        while (pos < end && text[pos] != '=')
            ++pos;
        if (pos >= end)
            return false;
    }
    else
    {
        const int start = pos;
        while (pos < end && text[pos] != '=')
            ++pos;
        if (pos >= end)
            return false;
        int nameEnd = pos;
        while (nameEnd > start && IsBlank(text[nameEnd - 1]))
            --nameEnd;
        parsedName = BString(text + start, nameEnd - start);
    }
    if (parsedName.IsEmpty())
        return false;

    ++pos; // the '='
    while (pos < end && IsBlank(text[pos]))
        ++pos;
    BString parsedValue;
    if (pos < end && text[pos] == '"')
    {
        if (!ReadQuoted(text, end, pos, parsedValue))
            return false;
    }
    else
    {
        parsedValue = BString(text + pos, end - pos);
    }
    name = parsedName;
    value = parsedValue;
    return true;
}

bool ParseEntry(const BString& line, BString& name, BString& value)
{
    return ParseEntry(line.CStr(), line.Length(), name, value);
}
} // namespace IniLineSyntax
