// TStringList: lines of text, each with an untyped object pointer (not owned), and a name index
// that reads the lines as name=value entries of the settings-file syntax (IniLineSyntax).
//
// The index is built on the first lookup after a change and dropped by every change; lookups
// are const (they may rebuild the index). Not synchronised: concurrent use of one object,
// lookups included, needs the owner's lock; only an empty list may be read by several threads.
#pragma once

#include "base/BString.h"

#include <cstddef>
#include <functional>
#include <unordered_map>
#include <utility>
#include <vector>

class TStringList
{
public:
    TStringList();
    virtual ~TStringList();
    TStringList(const TStringList&) = default;
    TStringList& operator=(const TStringList&) = default;
    TStringList(TStringList&&) = default;
    TStringList& operator=(TStringList&&) = default;

    // Appends a line with its object (not owned).
    void Add(const BString& line, void* object = nullptr);
    // Removes the line at index; false when out of range.
    bool Delete(int index);
    // Removes every line.
    void Clear();
    // Removes every line for which remove(line) is true, in one pass; the others keep their
    // order. Returns how many went. remove must not change the list.
    int DeleteIf(const std::function<bool(const BString& line)>& remove);
    // Removes every line whose entry name equals name byte for byte; returns how many went.
    int DeleteName(const BString& name);

    // Removes all lines, then splits length bytes into lines at LF, CR and CR LF. A NUL ends
    // the text; a last line without a line end is a line too.
    void SetText(const char* data, int length);
    // Reads the whole file and runs SetText; false (list unchanged) when it cannot be read.
    bool LoadFromFile(const BString& path);
    // Every line followed by the separator.
    BString Text() const;

    int Count() const;
    bool IsEmpty() const;
    // The line at index, or "" when out of range.
    BString Get(int index) const;
    BString operator[](int index) const;
    // The object of the line at index, or null when out of range.
    void* Object(int index) const;

    // Position of the first line whose entry name equals name byte for byte, or -1.
    int IndexOfName(const BString& name) const;
    // The value of name (for repeated names the last line's), or defaultValue when absent.
    BString GetValue(const BString& name, const BString& defaultValue = BString()) const;
    // True and value filled when name has an entry.
    bool FindValue(const BString& name, BString& value) const;
    // Removes the first line with that name, then appends name=value (verbatim, unquoted).
    // Costs one pass over the lines, however large the list.
    void SetValue(const BString& name, const BString& value);

    const BString& Separator() const;
    void SetSeparator(const BString& separator);

private:
    void DropIndex();
    void BuildIndex() const;

    // Byte hash of a name (FNV-1a): the index is looked up, never walked in order.
    struct NameHash
    {
        std::size_t operator()(const BString& name) const noexcept;
    };

    std::vector<std::pair<BString, void*>> lines;
    mutable std::unordered_map<BString, BString, NameHash> nameIndex;
    mutable bool indexValid = false;
    BString separator;
};
