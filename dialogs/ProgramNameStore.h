#pragma once

#include "base/BString.h"

// The table of program names that the Program Names editor edits, as the editor sees it.
// The application's table implements it; the editor reads it once and writes it on "OK".
class ProgramNameStore
{
public:
    static constexpr int kCount = 128;

    virtual ~ProgramNameStore() = default;

    // Copies all kCount names into `names` (an array of kCount strings).
    virtual void copyNamesTo(BString* names) const = 0;
    // Replaces all kCount names with `names` (an array of kCount strings) in one step.
    virtual void assignNames(const BString* names) = 0;
};
