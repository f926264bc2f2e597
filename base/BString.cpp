#include "base/BString.h"

#include "base/BStringUtf.h"

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

namespace
{
// The UTF-16 form of a block's text. While the block is shared its text cannot change, so a
// valid form is only ever read; it is written only while invalid, under the cache lock.
struct WideCache
{
    std::unique_ptr<BWideChar[]> buffer;
    int capacity = 0; // in units, terminating 0 included
    std::atomic<bool> valid{false};
};

std::mutex& WideCacheLock()
{
    static std::mutex lock;
    return lock;
}

const BWideChar kEmptyWide[1] = {0};

unsigned char Upper(unsigned char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

unsigned char Lower(unsigned char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

int LengthOf(const char* text, int maxLength)
{
    if (text == nullptr || maxLength <= 0)
        return 0;
    if (maxLength == BString::kNoLimit)
        return static_cast<int>(std::strlen(text));
    int length = 0;
    while (length < maxLength && text[length] != 0)
        ++length;
    return length;
}
} // namespace

struct BString::Block
{
    std::atomic<std::int32_t> refs;
    std::atomic<WideCache*> wide;
    std::int32_t capacity;
    char text[1]; // capacity + 1 bytes in allocated blocks
};

// The empty string: constant-initialised, so it exists before any dynamic initialisation, and
// never counted or freed. It is always treated as shared, so nothing ever writes into it.
BString::Block BString::emptyBlock{{1}, {nullptr}, 0, {0}};

BString::Block* BString::EmptyBlock() noexcept
{
    return &emptyBlock;
}

// ---- block management -------------------------------------------------------------------

BString::Block* BString::Allocate(int capacity)
{
    capacity = std::max(capacity, 0);
    void* memory = ::operator new(offsetof(Block, text) + static_cast<size_t>(capacity) + 1);
    Block* block = static_cast<Block*>(memory);
    new (&block->refs) std::atomic<std::int32_t>(1);
    new (&block->wide) std::atomic<WideCache*>(nullptr);
    block->capacity = capacity;
    block->text[0] = 0;
    return block;
}

void BString::Release(Block* block) noexcept
{
    if (block == EmptyBlock())
        return;
    if (block->refs.fetch_sub(1, std::memory_order_acq_rel) == 1)
    {
        delete block->wide.load(std::memory_order_relaxed);
        ::operator delete(block);
    }
}

bool BString::IsUnique() const noexcept
{
    return block_ != EmptyBlock() && block_->refs.load(std::memory_order_acquire) < 2;
}

char* BString::Text() const noexcept
{
    return block_->text;
}

char* BString::MakeWritable(int n)
{
    Reserve(n);
    if (WideCache* wide = block_->wide.load(std::memory_order_relaxed))
        wide->valid.store(false, std::memory_order_relaxed);
    return block_->text;
}

// ---- construction and assignment --------------------------------------------------------

BString::BString() noexcept : block_(EmptyBlock()) {}

BString::BString(const char* text, int maxLength) : block_(EmptyBlock())
{
    Assign(text, maxLength);
}

BString::BString(char ch) : block_(EmptyBlock())
{
    if (ch != 0)
    {
        block_ = Allocate(1);
        block_->text[0] = ch;
        block_->text[1] = 0;
    }
}

BString::BString(const std::string& text) : BString(text.c_str(), static_cast<int>(std::min<size_t>(text.size(), kNoLimit)))
{
}

BString::BString(const BString& other) noexcept : block_(other.block_)
{
    if (block_ != EmptyBlock())
        block_->refs.fetch_add(1, std::memory_order_relaxed);
}

BString::BString(BString&& other) noexcept : block_(other.block_)
{
    other.block_ = EmptyBlock();
}

BString::~BString()
{
    Release(block_);
}

BString& BString::operator=(const BString& other) noexcept
{
    Assign(other);
    return *this;
}

BString& BString::operator=(BString&& other) noexcept
{
    if (this != &other)
    {
        Release(block_);
        block_ = other.block_;
        other.block_ = EmptyBlock();
    }
    return *this;
}

BString& BString::operator=(const char* text)
{
    Assign(text);
    return *this;
}

void BString::Assign(const BString& other) noexcept
{
    if (block_ == other.block_)
        return;
    if (other.block_ != EmptyBlock())
        other.block_->refs.fetch_add(1, std::memory_order_relaxed);
    Release(block_);
    block_ = other.block_;
}

void BString::Assign(const char* text, int maxLength)
{
    const int length = LengthOf(text, maxLength);
    if (length == 0)
    {
        Clear();
        return;
    }
    if (IsUnique() && block_->capacity >= length)
    {
        // memmove: the text may be a part of this very block.
        std::memmove(block_->text, text, static_cast<size_t>(length));
        block_->text[length] = 0;
        if (WideCache* wide = block_->wide.load(std::memory_order_relaxed))
            wide->valid.store(false, std::memory_order_relaxed);
        return;
    }
    Block* fresh = Allocate(length);
    std::memcpy(fresh->text, text, static_cast<size_t>(length));
    fresh->text[length] = 0;
    Release(block_);
    block_ = fresh;
}

// ---- access ------------------------------------------------------------------------------

const char* BString::CStr() const noexcept
{
    return block_->text;
}

int BString::Length() const noexcept
{
    return static_cast<int>(std::strlen(block_->text));
}

bool BString::IsEmpty() const noexcept
{
    return block_->text[0] == 0;
}

int BString::Capacity() const noexcept
{
    return block_->capacity;
}

// ---- UTF-8 and UTF-16 ----------------------------------------------------------------------


const BWideChar* BString::WStr() const
{
    if (block_->text[0] == 0)
        return kEmptyWide;
    WideCache* wide = block_->wide.load(std::memory_order_acquire);
    if (wide != nullptr && wide->valid.load(std::memory_order_acquire))
        return wide->buffer.get();

    std::lock_guard<std::mutex> guard(WideCacheLock());
    wide = block_->wide.load(std::memory_order_acquire);
    if (wide != nullptr && wide->valid.load(std::memory_order_acquire))
        return wide->buffer.get();
    if (wide == nullptr)
    {
        wide = new WideCache;
        block_->wide.store(wide, std::memory_order_release);
    }
    const int units = BStringUtf::Utf8ToUtf16(block_->text, block_->capacity, nullptr);
    if (wide->capacity < units + 1)
    {
        wide->buffer.reset(new BWideChar[static_cast<size_t>(units) + 1]);
        wide->capacity = units + 1;
    }
    BStringUtf::Utf8ToUtf16(block_->text, block_->capacity, wide->buffer.get());
    wide->valid.store(true, std::memory_order_release);
    return wide->buffer.get();
}

BString BString::FromWide(const BWideChar* text, int maxUnits)
{
    if (text == nullptr || maxUnits <= 0)
        return BString();
    const int bytes = BStringUtf::Utf16ToUtf8(text, maxUnits, nullptr);
    if (bytes == 0)
        return BString();
    BString result(Allocate(bytes));
    BStringUtf::Utf16ToUtf8(text, maxUnits, result.block_->text);
    result.block_->text[bytes] = 0;
    return result;
}

// ---- changing ----------------------------------------------------------------------------

void BString::Append(const BString& other)
{
    const int add = other.Length();
    if (add == 0)
        return;
    // Holding a reference keeps the other text alive even when it is this string's own block.
    const BString keep(other);
    const int length = Length();
    char* text = MakeWritable(length + add);
    std::memcpy(text + length, keep.block_->text, static_cast<size_t>(add));
    text[length + add] = 0;
}

void BString::Append(const char* text)
{
    if (text == nullptr || text[0] == 0)
        return;
    const char* own = block_->text;
    if (text >= own && text <= own + block_->capacity)
    {
        // Part of our own bytes: the block may be replaced while appending.
        Append(BString(text));
        return;
    }
    const int add = static_cast<int>(std::strlen(text));
    const int length = Length();
    char* target = MakeWritable(length + add);
    std::memcpy(target + length, text, static_cast<size_t>(add));
    target[length + add] = 0;
}

void BString::Append(char ch)
{
    if (ch == 0)
        return;
    const int length = Length();
    char* text = MakeWritable(length + 1);
    text[length] = ch;
    text[length + 1] = 0;
}

BString& BString::operator+=(const BString& other)
{
    Append(other);
    return *this;
}

BString& BString::operator+=(const char* text)
{
    Append(text);
    return *this;
}

void BString::Clear()
{
    if (IsUnique())
    {
        MakeWritable(0)[0] = 0;
        return;
    }
    Release(block_);
    block_ = EmptyBlock();
}

void BString::Reset(int capacity)
{
    capacity = std::max(capacity, 0);
    if (IsUnique() && block_->capacity >= capacity)
    {
        MakeWritable(capacity)[0] = 0;
        return;
    }
    Block* fresh = Allocate(capacity);
    Release(block_);
    block_ = fresh;
}

void BString::SetLength(int n)
{
    const int length = Length();
    if (n >= length)
    {
        Reserve(n);
        return;
    }
    if (n < 0)
    {
        MakeWritable(block_->capacity)[0] = 0;
        return;
    }
    MakeWritable(length)[n] = 0;
}

void BString::Reserve(int n)
{
    if (IsUnique() && block_->capacity >= n)
        return;
    const int length = Length();
    Block* fresh = Allocate(std::max(n, static_cast<int>(block_->capacity)));
    std::memcpy(fresh->text, block_->text, static_cast<size_t>(length) + 1);
    Release(block_);
    block_ = fresh;
}

char* BString::Buffer()
{
    return MakeWritable(block_->capacity);
}

// ---- derived strings ---------------------------------------------------------------------

BString BString::SubString(int start, int count) const
{
    const int length = Length();
    start = std::max(start, 0);
    if (count == 0 || start >= length)
        return BString();
    const int available = length - start;
    const int taken = count < 0 ? available : std::min(count, available);
    if (start == 0 && taken == length)
        return *this;
    return BString(block_->text + start, taken);
}

int BString::Compare(const BString& a, const BString& b, bool ignoreCase, int maxLength)
{
    const char* x = a.block_->text;
    const char* y = b.block_->text;
    if (!ignoreCase)
    {
        if (maxLength == kNoLimit)
            return std::strcmp(x, y);
        return maxLength <= 0 ? 0 : std::strncmp(x, y, static_cast<size_t>(maxLength));
    }
    for (int i = 0; i < maxLength; ++i)
    {
        const unsigned char cx = static_cast<unsigned char>(x[i]);
        const unsigned char cy = static_cast<unsigned char>(y[i]);
        if (cx == 0 || cy == 0)
            return (cx != 0) - (cy != 0);
        // Signed 8-bit order: bytes 0x80-0xFF come before every ASCII byte.
        const int ux = static_cast<signed char>(Upper(cx));
        const int uy = static_cast<signed char>(Upper(cy));
        if (ux != uy)
            return ux - uy;
    }
    return 0;
}

bool BString::Equals(const BString& other, bool ignoreCase) const
{
    return Compare(*this, other, ignoreCase) == 0;
}

bool BString::StartsWith(const BString& prefix, bool ignoreCase) const
{
    const int n = prefix.Length();
    if (n == 0 || n > Length())
        return false;
    return Compare(*this, prefix, ignoreCase, n) == 0;
}

bool BString::EndsWith(const BString& suffix) const
{
    const int n = suffix.Length();
    const int length = Length();
    if (n == 0 || n > length)
        return false;
    const unsigned char* tail = reinterpret_cast<const unsigned char*>(block_->text + length - n);
    const unsigned char* s = reinterpret_cast<const unsigned char*>(suffix.block_->text);
    for (int i = 0; i < n; ++i)
        if (Upper(tail[i]) != Upper(s[i]))
            return false;
    return true;
}

int BString::FindNoCase(const BString& pattern) const
{
    const int n = pattern.Length();
    const int length = Length();
    if (n == 0 || n > length)
        return -1;
    const unsigned char* text = reinterpret_cast<const unsigned char*>(block_->text);
    const unsigned char* p = reinterpret_cast<const unsigned char*>(pattern.block_->text);
    for (int start = 0; start + n <= length; ++start)
    {
        int i = 0;
        while (i < n && Upper(text[start + i]) == Upper(p[i]))
            ++i;
        if (i == n)
            return start;
    }
    return -1;
}

BString BString::ReplaceFirst(const BString& pattern, const BString& replacement) const
{
    const int at = FindNoCase(pattern);
    if (at < 0)
        return *this;
    const int length = Length();
    const int patternLength = pattern.Length();
    const int replacementLength = replacement.Length();
    BString result(Allocate(length - patternLength + replacementLength));
    char* out = result.block_->text;
    std::memcpy(out, block_->text, static_cast<size_t>(at));
    std::memcpy(out + at, replacement.block_->text, static_cast<size_t>(replacementLength));
    std::memcpy(out + at + replacementLength, block_->text + at + patternLength,
                static_cast<size_t>(length - at - patternLength) + 1);
    return result;
}

BString BString::MappedCopy(unsigned char (*map)(unsigned char)) const
{
    BString result(*this);
    const int length = Length();
    if (length == 0)
        return result;
    char* text = result.MakeWritable(length);
    for (int i = 0; i < length; ++i)
        text[i] = static_cast<char>(map(static_cast<unsigned char>(text[i])));
    return result;
}

BString BString::ToLower() const
{
    return MappedCopy(Lower);
}

BString BString::ToUpper() const
{
    return MappedCopy(Upper);
}

BString BString::Trim() const
{
    const unsigned char* text = reinterpret_cast<const unsigned char*>(block_->text);
    const int length = Length();
    int first = 0;
    while (first < length && text[first] <= 0x20)
        ++first;
    int last = length;
    while (last > first && text[last - 1] <= 0x20)
        --last;
    if (first == 0 && last == length)
        return *this;
    return BString(block_->text + first, last - first);
}

BString BString::NextToken(int& position) const
{
    const int length = Length();
    if (position < 0 || position >= length)
    {
        position = length;
        return BString();
    }
    const char* text = block_->text;
    int end = position;
    while (end < length && text[end] != '#')
        ++end;
    BString token(text + position, end - position);
    position = end < length ? end + 1 : end;
    return token;
}

bool BString::ToInt(int start, int& value) const
{
    const int length = Length();
    if (start < 0 || (start > 0 && start >= length))
        return false;
    const unsigned char* text = reinterpret_cast<const unsigned char*>(block_->text);
    int pos = start;
    if (text[pos] == 0)
        return false;
    while (pos < length && text[pos] < 0x21)
        ++pos;
    bool negative = false;
    if (pos < length && text[pos] == '-')
    {
        negative = true;
        ++pos;
    }
    // Unsigned arithmetic: overflow wraps instead of being undefined.
    std::uint32_t result = 0;
    while (pos < length && text[pos] >= 0x21)
    {
        if (text[pos] < '0' || text[pos] > '9')
            return false;
        result = result * 10u + static_cast<std::uint32_t>(text[pos] - '0');
        ++pos;
    }
    if (negative)
        result = 0u - result;
    value = static_cast<int>(result);
    return true;
}

BString BString::FromInt(int value)
{
    char digits[16];
    // Unsigned magnitude, so the most negative value needs no special case.
    std::uint32_t magnitude = value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
    int pos = static_cast<int>(sizeof digits) - 1;
    digits[pos] = 0;
    do
    {
        digits[--pos] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0)
        digits[--pos] = '-';
    return BString(digits + pos);
}

BString BString::ToHex8(std::uint32_t value)
{
    static const char kDigits[] = "0123456789ABCDEF";
    char text[9];
    for (int i = 7; i >= 0; --i)
    {
        text[i] = kDigits[value & 0xF];
        value >>= 4;
    }
    text[8] = 0;
    return BString(text);
}

BString BString::Format(const char* format, ...)
{
    if (format == nullptr)
        return BString();
    constexpr int kFirstSize = 1024;
    constexpr int kLastSize = 32768;
    char scratch[kFirstSize];
    std::vector<char> heap;
    char* buffer = scratch;
    for (int size = kFirstSize; size <= kLastSize; size *= 2)
    {
        if (size > kFirstSize)
        {
            heap.resize(static_cast<size_t>(size));
            buffer = heap.data();
        }
        va_list args;
        va_start(args, format);
        const int written = std::vsnprintf(buffer, static_cast<size_t>(size), format, args);
        va_end(args);
        // Some runtimes report a too small buffer with -1 rather than the needed length.
        if (written >= 0 && written < size)
            return BString(buffer, written);
    }
    return BString();
}

// ---- operators ---------------------------------------------------------------------------

bool operator==(const BString& a, const BString& b)
{
    return BString::Compare(a, b) == 0;
}

bool operator==(const BString& a, const char* b)
{
    return std::strcmp(a.CStr(), b != nullptr ? b : "") == 0;
}

bool operator==(const char* a, const BString& b)
{
    return b == a;
}

bool operator!=(const BString& a, const BString& b)
{
    return !(a == b);
}

bool operator!=(const BString& a, const char* b)
{
    return !(a == b);
}

bool operator!=(const char* a, const BString& b)
{
    return !(b == a);
}

bool operator<(const BString& a, const BString& b)
{
    return BString::Compare(a, b) < 0;
}

namespace
{
BString Concatenate(const char* a, int lengthA, const char* b, int lengthB)
{
    BString result;
    if (lengthA + lengthB == 0)
        return result;
    result.Reset(lengthA + lengthB);
    char* out = result.Buffer();
    std::memcpy(out, a, static_cast<size_t>(lengthA));
    std::memcpy(out + lengthA, b, static_cast<size_t>(lengthB));
    out[lengthA + lengthB] = 0;
    return result;
}
} // namespace

BString operator+(const BString& a, const BString& b)
{
    return Concatenate(a.CStr(), a.Length(), b.CStr(), b.Length());
}

BString operator+(const BString& a, const char* b)
{
    return Concatenate(a.CStr(), a.Length(), b ? b : "", b ? static_cast<int>(std::strlen(b)) : 0);
}

BString operator+(const char* a, const BString& b)
{
    return Concatenate(a ? a : "", a ? static_cast<int>(std::strlen(a)) : 0, b.CStr(), b.Length());
}
