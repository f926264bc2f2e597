#include "midi/MidiDeviceDescriptor.h"

#include <string>

namespace
{
using WideText = std::basic_string<BWideChar>;

WideText toWide(const BString& text)
{
    return WideText(text.WStr());
}

// Number of leading units equal in x (from xFrom) and y (from yFrom); counted as 0 unless it
// covers at least half (rounded down) of x's rest, so that short accidental overlaps of long
// names do not count.
int commonPrefix(const WideText& x, size_t xFrom, const WideText& y, size_t yFrom)
{
    const size_t xLength = x.size() - xFrom;
    size_t n = 0;
    while (xFrom + n < x.size() && yFrom + n < y.size() && x[xFrom + n] == y[yFrom + n])
        ++n;
    return n >= xLength / 2 ? static_cast<int>(n) : 0;
}

size_t skipControlAndBlanks(const WideText& text, size_t position)
{
    while (position < text.size() && text[position] <= 32)
        ++position;
    return position;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Ports without an identity exist; an empty text never identifies anything.
bool bothFactoriesDiffer(const MidiDeviceDescriptor& a, const MidiDeviceDescriptor* b)
{
    return a.factory != nullptr && b->factory != nullptr && a.factory != b->factory;
}
} // namespace

MidiDeviceDescriptor::MidiDeviceDescriptor(MidiDeviceFactory* factory_, bool isInput_, int index_, const BString& name_)
    : factory(factory_), isInput(isInput_ ? 1 : 0), index(index_), name(name_)
{
}

void MidiDeviceDescriptor::assign(const MidiDeviceDescriptor& other)
{
    if (&other != this)
        MidiDeviceDescriptor::operator=(other);
}

std::unique_ptr<MidiDeviceDescriptor> MidiDeviceDescriptor::clone() const
{
    return std::unique_ptr<MidiDeviceDescriptor>(new MidiDeviceDescriptor(*this));
}

bool MidiDeviceDescriptor::matches(const MidiDeviceDescriptor* other) const
{
    if (other == nullptr || bothFactoriesDiffer(*this, other))
        return false;
    if ((isInput != 0) != (other->isInput != 0))
        return false;
    if (name != other->name || altName != other->altName)
        return false;
    if (parentInstanceId.IsEmpty() && interfaceName.IsEmpty())
        return instance == other->instance;
    return parentInstanceId.Equals(other->parentInstanceId, true) && interfaceName.Equals(other->interfaceName, true);
}

bool MidiDeviceDescriptor::isCounterpart(const MidiDeviceDescriptor* other) const
{
    if (other == nullptr || bothFactoriesDiffer(*this, other))
        return false;
    if ((isInput != 0) == (other->isInput != 0))
        return false;
    if (!interfaceName.IsEmpty() && interfaceName == other->interfaceName)
        return true;
    if (altName != other->altName)
        return false;
    if (commonName(stripNumberPrefix(name), stripNumberPrefix(other->name)).IsEmpty())
        return false;
    return instance == other->instance;
}

bool MidiDeviceDescriptor::equals(const MidiDeviceDescriptor* other) const
{
    if (other == nullptr)
        return false;
    return factory == other->factory && (isInput != 0) == (other->isInput != 0) && instance == other->instance &&
           index == other->index && name == other->name && altName == other->altName &&
           parentInstanceId == other->parentInstanceId && extraId == other->extraId &&
           interfaceName == other->interfaceName;
}

BString MidiDeviceDescriptor::displayName() const
{
    if (instance > 1)
        return BString::Format("%s (%d)", name.CStr(), instance);
    return name;
}

void MidiDeviceDescriptor::clearIdentity()
{
    interfaceName.Clear();
    parentInstanceId.Clear();
}

BString MidiDeviceDescriptor::stripNumberPrefix(const BString& text)
{
    const char* bytes = text.CStr();
    int position = 0;
    while (isDigit(bytes[position]))
        ++position;
    if (position == 0 || bytes[position] != '-')
        return text;
    ++position;
    while (bytes[position] == ' ' || bytes[position] == '\t')
        ++position;
    return text.SubString(position);
}

BString MidiDeviceDescriptor::commonName(const BString& aText, const BString& bText)
{
    const WideText a = toWide(aText);
    const WideText b = toWide(bText);
    if (a.empty())
        return BString();

    // The first pair of positions from which both names share at least half of each.
    const size_t halfA = a.size() / 2;
    const size_t halfB = b.size() / 2;
    bool found = false;
    size_t i = 0;
    size_t j = 0;
    for (size_t ii = 0; ii < a.size() && !found; ++ii)
    {
        for (size_t jj = 0; jj < b.size(); ++jj)
        {
            const size_t c = static_cast<size_t>(commonPrefix(a, ii, b, jj));
            if (c >= halfA && c >= halfB)
            {
                i = ii;
                j = jj;
                found = true;
                break;
            }
        }
    }
    if (!found)
        return BString();

    i = skipControlAndBlanks(a, i);
    j = skipControlAndBlanks(b, j);
    const size_t l = static_cast<size_t>(commonPrefix(a, i, b, j));

    const WideText restA = a.substr(i + l);
    const WideText restB = b.substr(j + l);
    const BString trimmedA = BString::FromWide(restA.c_str()).Trim();
    const BString trimmedB = BString::FromWide(restB.c_str()).Trim();
    // "Port 1" and "Port 2" share "Port " but are different ports.
    if (!trimmedA.IsEmpty() && !trimmedB.IsEmpty() && (isDigit(trimmedA.CStr()[0]) || isDigit(trimmedB.CStr()[0])))
        return BString();

    const WideText common = a.substr(i, l);
    return BString::FromWide(common.c_str()).Trim();
}
