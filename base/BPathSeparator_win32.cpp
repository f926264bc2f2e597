#include "base/BString.h"

// Only the backslash separates path components; forward slashes are ordinary characters.
char BString::PathSeparator() noexcept
{
    return '\\';
}
