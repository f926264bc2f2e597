// TIniFile: the settings file, a sectioned text file of name=value lines.
//
// A TIniFile is short-lived: construct it for the settings path, Load, read or change values,
// Save if anything changed, destroy it. Every writer loads first, so that the sections other
// modules stored survive its save. Nothing is cached between objects and the file is not locked
// against other processes. One object is used on one thread at a time. Not copyable.
//
// Format: 8-bit text without byte-order mark; sections in strcmp order of their names, each
// written as the line "[name]", its non-empty lines in stored order and one empty line; every
// line ends with a single LF. On reading, lines end at LF, CR or CR LF and a NUL ends the text; a
// header is a line of at least 4 bytes that starts with '[' and ends with ']'; lines before the
// first header are dropped. Section lines are kept verbatim (comments and malformed lines too);
// TStringList reads them as entries through IniLineSyntax.
#pragma once

#include "base/BString.h"
#include "base/TStringList.h"

#include <map>
#include <memory>
#include <string>

class TIniFile
{
public:
    /** Keeps the path; does not touch the file. */
    explicit TIniFile(const BString& path);
    virtual ~TIniFile();

    TIniFile(const TIniFile&) = delete;
    TIniFile& operator=(const TIniFile&) = delete;

    /**
     * Replaces the sections by the file's. Returns false, with no sections, when the file cannot
     * be read or when it is an XML or JSON document (IsXml / IsJson then say which); such a file
     * is left untouched until the next Save replaces it.
     */
    bool Load();

    /**
     * Writes every section to the file, creating the missing folders above it first. The file is
     * replaced in one step through a temporary file beside it, so a crash or a full disk during
     * the save leaves the previous file complete. Returns false, with the old file unchanged,
     * when the new content could not be written.
     */
    bool Save();

    /** The value of `key` in `section` (both case-sensitive), or `defaultValue` when absent. */
    BString ReadString(const BString& section, const BString& key, const BString& defaultValue) const;

    /**
     * The section's lines for changing, created empty when absent. The reference stays valid
     * until this object is destroyed or Load runs again.
     */
    TStringList& GetSection(const BString& name);

    /**
     * The section's lines, or one shared list that is always empty when there is no such section;
     * never creates a section. Valid until this object changes its sections.
     */
    const TStringList& FindSection(const BString& name) const;

    /** True when the last Load refused an XML document. */
    bool IsXml() const { return isXml; }
    /** True when the last Load refused a JSON document. */
    bool IsJson() const { return isJson; }

    /** The file's path, as given at construction. */
    const BString& Path() const { return path; }

private:
    void ParseLines(const TStringList& lines);
    // The file's complete new content.
    std::string Serialise() const;

    const BString path;
    // BString's operator< is strcmp order: case-sensitive, upper-case before lower-case.
    std::map<BString, std::unique_ptr<TStringList>> sections;
    bool isXml = false;
    bool isJson = false;
};
