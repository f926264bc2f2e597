// UTF-8 / UTF-16 conversion used by BString (WStr, FromWide). Internal to the foundation.
#pragma once

#include "base/BString.h"

namespace BStringUtf
{
// Converts NUL-terminated UTF-8 text of a buffer of `capacity` bytes; counts the units when out
// is null. Returns the number of units (terminating 0 not included). A stray byte stands for
// itself; a sequence that would run past the buffer ends the conversion.
int Utf8ToUtf16(const char* bytes, int capacity, BWideChar* out);
// Converts up to maxUnits UTF-16 units (or to the first 0) to UTF-8; counts the bytes when out
// is null.
int Utf16ToUtf8(const BWideChar* text, int maxUnits, char* out);
} // namespace BStringUtf
