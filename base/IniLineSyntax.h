// The name=value line syntax of the settings file.
//
// A line gives an entry (a name and a value) or nothing. Leading blanks (space, tab) are
// skipped; a ';' starts a comment. A name is plain (up to the first '=', trailing blanks
// removed) or quoted with '"' and backslash escapes (\a \b \f \n \r \t \v, any other escaped
// character stands for itself); text between a closing quote and the '=' is ignored. The value
// follows the '=' with leading blanks skipped; it is quoted like a name when it starts with '"'
// (text after the closing quote ignored), otherwise it is the rest of the line unchanged.
// Empty names, missing '=' and unclosed quotes give no entry. Only the first kMaxLineBytes
// bytes of a line take part. Pure functions: safe on any thread.
#pragma once

#include "base/BString.h"

namespace IniLineSyntax
{
// Bytes of a line that take part in the syntax.
constexpr int kMaxLineBytes = 8000;

// Parses length bytes of text (stopping earlier at a NUL). Returns true and fills name and
// value when the line gives an entry; otherwise returns false and leaves them unchanged.
bool ParseEntry(const char* text, int length, BString& name, BString& value);
bool ParseEntry(const BString& line, BString& name, BString& value);
} // namespace IniLineSyntax
