// BStringList: a list of strings with a separator (initially "\n") for joining them.
// Not synchronised: concurrent use of one object needs the owner's lock.
#pragma once

#include "base/BList.h"
#include "base/BString.h"

class BStringList
{
public:
    BStringList();
    virtual ~BStringList();
    BStringList(const BStringList&) = default;
    BStringList& operator=(const BStringList&) = default;
    BStringList(BStringList&&) = default;
    BStringList& operator=(BStringList&&) = default;

    void Add(const BString& text);
    // Replaces the string at index; does nothing when out of range.
    void Set(int index, const BString& text);
    // Removes the string at index; false when out of range.
    bool Delete(int index);
    void Clear();

    int Count() const;
    bool IsEmpty() const;
    // The string at index, or "" when out of range.
    BString Get(int index) const;
    BString operator[](int index) const;

    // Index of the first string equal to text ignoring (ASCII) case, or -1.
    int IndexOf(const BString& text) const;

    const BString& Separator() const;
    void SetSeparator(const BString& separator);
    // The strings joined with the separator between them.
    BString Join() const;

    // The underlying list (for iteration).
    const BList<BString>& Strings() const;

private:
    BList<BString> strings;
    BString separator;
};
