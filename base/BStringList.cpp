#include "base/BStringList.h"

BStringList::BStringList() : separator("\n") {}

BStringList::~BStringList() = default;

void BStringList::Add(const BString& text)
{
    strings.Add(text);
}

void BStringList::Set(int index, const BString& text)
{
    strings.Set(index, text);
}

bool BStringList::Delete(int index)
{
    return strings.Delete(index);
}

void BStringList::Clear()
{
    strings.Clear();
}

int BStringList::Count() const
{
    return strings.Count();
}

bool BStringList::IsEmpty() const
{
    return strings.IsEmpty();
}

BString BStringList::Get(int index) const
{
    return strings.Get(index);
}

BString BStringList::operator[](int index) const
{
    return strings.Get(index);
}

int BStringList::IndexOf(const BString& text) const
{
    for (int i = 0; i < strings.Count(); ++i)
        if (strings.Get(i).Equals(text, true))
            return i;
    return -1;
}

const BString& BStringList::Separator() const
{
    return separator;
}

void BStringList::SetSeparator(const BString& newSeparator)
{
    separator = newSeparator;
}

BString BStringList::Join() const
{
    int total = 0;
    for (const BString& s : strings)
        total += s.Length();
    total += separator.Length() * (strings.Count() > 0 ? strings.Count() - 1 : 0);
    BString result;
    result.Reserve(total);
    for (int i = 0; i < strings.Count(); ++i)
    {
        if (i > 0)
            result.Append(separator);
        result.Append(strings.Get(i));
    }
    return result;
}

const BList<BString>& BStringList::Strings() const
{
    return strings;
}
