// BString: the library's 8-bit string (UTF-8 where a wide form is needed).
//
// A BString is one pointer to a shared, reference-counted block holding the capacity, the
// NUL-terminated bytes and a cache of the UTF-16 form. Copies share the block; every changing
// operation first makes the block unique (copy-on-write), so a change is never visible through
// another BString. Reference counts are atomic: copies of one string may be handed to other
// threads and changed or destroyed there. A single BString object is not synchronised.
//
// The empty string is one immortal, constant-initialised block, so BStrings created during
// static initialisation of other globals are safe too.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>

// The UTF-16 code unit type: wchar_t where it is 16 bits wide (Windows, so WStr() goes straight
// to the wide system calls), char16_t elsewhere.
using BWideChar = std::conditional_t<sizeof(wchar_t) == 2, wchar_t, char16_t>;

class BString
{
public:
    // Length argument meaning "no limit".
    static constexpr int kNoLimit = 0x7fffffff;

    // The shared empty string; never allocates.
    BString() noexcept;
    // Copy of up to maxLength bytes of a NUL-terminated text; null or maxLength <= 0 gives "".
    BString(const char* text, int maxLength = kNoLimit);
    // One-character string; the NUL character gives "".
    explicit BString(char ch);
    explicit BString(const std::string& text);
    // Copies share the block (no allocation).
    BString(const BString& other) noexcept;
    BString(BString&& other) noexcept;
    ~BString();

    BString& operator=(const BString& other) noexcept;
    BString& operator=(BString&& other) noexcept;
    BString& operator=(const char* text);

    // Shares the other block; assigning a string to itself changes nothing.
    void Assign(const BString& other) noexcept;
    // As the constructor; reuses the own block when it is unshared and large enough. The text
    // may point into this string's own bytes.
    void Assign(const char* text, int maxLength = kNoLimit);

    // NUL-terminated bytes; valid until this object changes or is destroyed.
    const char* CStr() const noexcept;
    // Number of bytes before the first NUL.
    int Length() const noexcept;
    bool IsEmpty() const noexcept;
    // Number of text bytes the block holds without reallocating (terminating NUL not counted).
    int Capacity() const noexcept;

    // NUL-terminated UTF-16 form of the bytes read as UTF-8, held in the block's cache. Valid
    // until this object changes or is destroyed. Copies of one string may call it from
    // several threads at once.
    const BWideChar* WStr() const;
    // UTF-8 form of up to maxUnits UTF-16 units (stops at a 0 unit).
    static BString FromWide(const BWideChar* text, int maxUnits = kNoLimit);

    // Appends in place (the capacity grows to exactly the new length when it must grow).
    // The text may point into this string's own bytes.
    void Append(const BString& other);
    void Append(const char* text);
    void Append(char ch);
    BString& operator+=(const BString& other);
    BString& operator+=(const char* text);

    // Empty; an unshared block keeps its capacity, a shared one is exchanged for the empty string.
    void Clear();
    // Empty with at least the given capacity.
    void Reset(int capacity);
    // n >= length: capacity at least n, text unchanged; 0 <= n < length: cut at n;
    // n < 0: empty, capacity kept.
    void SetLength(int n);
    // Makes the block unique with a capacity of at least n (the text is kept).
    void Reserve(int n);
    // Writable bytes (Capacity() + 1 of them) of a now unique block, for filling by system
    // calls. Valid until the next operation on this object; the length is wherever the first
    // NUL ends up.
    char* Buffer();

    // Up to count bytes from start; count -1 means up to the end; a negative start counts as 0.
    BString SubString(int start, int count = -1) const;

    // Negative, 0 or positive. Ignoring case compares ASCII upper-cased bytes as signed 8-bit
    // values; case-sensitive compares unsigned bytes (strncmp with a limit).
    static int Compare(const BString& a, const BString& b, bool ignoreCase = false, int maxLength = kNoLimit);
    bool Equals(const BString& other, bool ignoreCase = false) const;
    // False for an empty prefix.
    bool StartsWith(const BString& prefix, bool ignoreCase = false) const;
    // Always ignoring case; false when the suffix is empty or longer than the text.
    bool EndsWith(const BString& suffix) const;
    // Byte index of the first occurrence ignoring case, or -1 (also for an empty pattern).
    int FindNoCase(const BString& pattern) const;
    // Copy with the first occurrence of pattern (ignoring case) replaced.
    BString ReplaceFirst(const BString& pattern, const BString& replacement) const;
    // Copies with ASCII letters mapped; bytes 0x80-0xFF stay.
    BString ToLower() const;
    BString ToUpper() const;
    // Copy without leading and trailing bytes 0x00-0x20; shares the block when nothing goes.
    BString Trim() const;

    // Reads the '#'-separated field starting at position and moves position past its '#'.
    // A negative position becomes the length and gives "".
    BString NextToken(int& position) const;
    // Parses a decimal integer at start (leading blanks, one minus sign, digits up to a blank
    // or the end). Returns false and leaves value unchanged on failure. Wraps on overflow.
    bool ToInt(int start, int& value) const;
    static BString FromInt(int value);
    // Exactly eight upper-case hexadecimal digits.
    static BString ToHex8(std::uint32_t value);
    // printf-style formatting; output of 32768 bytes or more (or a formatting error) gives "".
#if defined(__clang__)
    // clang knows no gnu_printf; its printf checks are the same on the platforms it builds here.
    static BString Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
#else
    static BString Format(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));
#endif

    // Path helpers. Without an argument they split at the platform's path separator
    // (PathSeparator()); the overloads take the separator explicitly.
    static char PathSeparator() noexcept;
    // Part after the last separator; the whole text when there is none.
    BString FileNameOf() const;
    BString FileNameOf(char separator) const;
    // After dropping one trailing separator: the part before the last separator; a lone
    // separator when it is the first byte; "" when there is none.
    BString DirectoryOf() const;
    BString DirectoryOf(char separator) const;
    // From the last dot (included) when it comes after the last separator; else "".
    BString ExtensionOf() const;
    BString ExtensionOf(char separator) const;
    // Up to the last dot (excluded) when it comes after the last separator; else the whole text.
    BString WithoutExtension() const;
    BString WithoutExtension(char separator) const;
    // File name without directory and extension.
    BString BaseNameOf() const;
    BString BaseNameOf(char separator) const;
    // WithoutExtension() + extension (given with its dot).
    BString ReplaceExtension(const BString& extension) const;
    BString ReplaceExtension(const BString& extension, char separator) const;

private:
    struct Block;
    explicit BString(Block* block) noexcept : block_(block) {}
    static Block emptyBlock;
    static Block* EmptyBlock() noexcept;
    static Block* Allocate(int capacity);
    static void Release(Block* block) noexcept;
    bool IsUnique() const noexcept;
    char* Text() const noexcept;
    // Makes the block unique with capacity >= n, keeps the text, drops the wide form.
    char* MakeWritable(int n);
    // A copy with every byte passed through map (the ASCII case mappings).
    BString MappedCopy(unsigned char (*map)(unsigned char)) const;

    Block* block_;
};

// Case-sensitive byte comparison.
bool operator==(const BString& a, const BString& b);
bool operator==(const BString& a, const char* b);
bool operator==(const char* a, const BString& b);
bool operator!=(const BString& a, const BString& b);
bool operator!=(const BString& a, const char* b);
bool operator!=(const char* a, const BString& b);
// Unsigned byte order (strcmp order): for ordered maps keyed by BString.
bool operator<(const BString& a, const BString& b);

// New strings of exactly the combined length.
BString operator+(const BString& a, const BString& b);
BString operator+(const BString& a, const char* b);
BString operator+(const char* a, const BString& b);
