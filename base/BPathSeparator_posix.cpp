#include "base/BString.h"

char BString::PathSeparator() noexcept
{
    return '/';
}
