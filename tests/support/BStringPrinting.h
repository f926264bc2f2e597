// Lets GoogleTest print BString values as their text in failure messages.
#pragma once

#include "base/BString.h"

#include <ostream>

inline void PrintTo(const BString& text, std::ostream* out)
{
    *out << '"' << text.CStr() << '"';
}
