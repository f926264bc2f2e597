// BString's path helpers: file name, directory, extension and base name of a path.
#include "base/BString.h"

namespace
{
int LastIndexOf(const char* text, int length, char ch)
{
    for (int i = length - 1; i >= 0; --i)
        if (text[i] == ch)
            return i;
    return -1;
}
} // namespace

BString BString::FileNameOf() const
{
    return FileNameOf(PathSeparator());
}

BString BString::FileNameOf(char separator) const
{
    const int length = Length();
    const int slash = LastIndexOf(CStr(), length, separator);
    return slash < 0 ? *this : SubString(slash + 1);
}

BString BString::DirectoryOf() const
{
    return DirectoryOf(PathSeparator());
}

BString BString::DirectoryOf(char separator) const
{
    int length = Length();
    if (length > 0 && CStr()[length - 1] == separator)
        --length;
    const int slash = LastIndexOf(CStr(), length, separator);
    if (slash < 0)
        return BString();
    if (slash == 0)
        return BString(separator);
    return BString(CStr(), slash);
}

BString BString::ExtensionOf() const
{
    return ExtensionOf(PathSeparator());
}

BString BString::ExtensionOf(char separator) const
{
    const int length = Length();
    const int dot = LastIndexOf(CStr(), length, '.');
    const int slash = LastIndexOf(CStr(), length, separator);
    return dot > slash ? SubString(dot) : BString();
}

BString BString::WithoutExtension() const
{
    return WithoutExtension(PathSeparator());
}

BString BString::WithoutExtension(char separator) const
{
    const int length = Length();
    const int dot = LastIndexOf(CStr(), length, '.');
    const int slash = LastIndexOf(CStr(), length, separator);
    return dot > slash ? SubString(0, dot) : *this;
}

BString BString::BaseNameOf() const
{
    return BaseNameOf(PathSeparator());
}

BString BString::BaseNameOf(char separator) const
{
    return FileNameOf(separator).WithoutExtension(separator);
}

BString BString::ReplaceExtension(const BString& extension) const
{
    return ReplaceExtension(extension, PathSeparator());
}

BString BString::ReplaceExtension(const BString& extension, char separator) const
{
    return WithoutExtension(separator) + extension;
}

