#include "midi/TMidiAlias.h"

#include "base/BLock.h"
#include "base/TIniFile.h"

const char* const TMidiAlias::kNonePersistentText = "(none persistent)";
const char* const TMidiAlias::kSection = "MIDI.alias";

BLock& TMidiAlias::aliasLock()
{
    // Never destroyed: aliases may be read from other threads during static destruction.
    static BLock* const lock = new BLock();
    return *lock;
}

TMidiAlias::TMidiAlias(const BString& name, const BString& deviceName, int direction)
    : direction(direction), name_(name), deviceName_(deviceName)
{
}

TMidiAlias::TMidiAlias(const BString& name, const TIniFile& file, int n) : direction(kNone), name_(name)
{
    int parsedDirection = kNone;
    bool nonePersistent = false;
    parseDeviceEntry(file.ReadString(kSection, BString("Device") + BString::FromInt(n), BString()),
                     parsedDirection, deviceName_, nonePersistent);
    direction = parsedDirection;
    if (nonePersistent)
        flags = kNonePersistent;
}

TMidiAlias::~TMidiAlias() = default;

BString TMidiAlias::name() const
{
    BLockGuard guard(aliasLock());
    return name_;
}

BString TMidiAlias::altName() const
{
    BLockGuard guard(aliasLock());
    return altName_;
}

BString TMidiAlias::deviceName() const
{
    BLockGuard guard(aliasLock());
    return deviceName_;
}

void TMidiAlias::setFlag(int bit, bool on)
{
    if (on)
        flags.fetch_or(bit);
    else
        flags.fetch_and(~bit);
}

BString TMidiAlias::baseName() const
{
    return baseNameOf(name(), direction.load());
}

namespace
{
BString withoutPrefix(const BString& text, const char* prefix)
{
    const BString p(prefix);
    return text.StartsWith(p, true) ? text.SubString(p.Length()) : text;
}

BString withoutSuffix(const BString& text, const char* suffix)
{
    const BString s(suffix);
    return text.EndsWith(s) ? text.SubString(0, text.Length() - s.Length()) : text;
}
} // namespace

BString TMidiAlias::baseNameOf(const BString& name, int direction)
{
    if (direction == kInput)
        return withoutSuffix(withoutSuffix(withoutPrefix(name, "From "), " In"), " Input");
    if (direction == kOutput)
        return withoutSuffix(withoutSuffix(withoutPrefix(name, "To "), " Out"), " Output");
    return name;
}

void TMidiAlias::parseDeviceEntry(const BString& value, int& direction, BString& deviceName,
                                  bool& nonePersistent)
{
    direction = kNone;
    deviceName = BString();
    nonePersistent = false;

    const char* text = value.CStr();
    int colon = -1;
    for (int i = 0; text[i] != '\0'; ++i)
    {
        if (text[i] == ':')
        {
            colon = i;
            break;
        }
    }
    if (colon <= 0)
        return;
    // Only plain digits: ToInt would accept blanks and a sign, which no saved file contains.
    int number = 0;
    for (int i = 0; i < colon; ++i)
    {
        if (text[i] < '0' || text[i] > '9')
            return;
        number = number * 10 + (text[i] - '0');
        if (number > kOutput)
            return;
    }
    direction = number;
    deviceName = value.SubString(colon + 1);
    if (deviceName.Equals(BString(kNonePersistentText), true))
    {
        deviceName = BString();
        nonePersistent = true;
    }
}

BString TMidiAlias::deviceEntry() const
{
    BString device = deviceName();
    if (device.IsEmpty() && hasFlag(kNonePersistent))
        device = kNonePersistentText;
    return BString::FromInt(direction.load()) + ":" + device;
}

void TMidiAliasList::addUnique(TMidiAlias* a)
{
    if (a != nullptr && !Contains(a))
        Add(a);
}

void TMidiAliasList::addAll(const BList<TMidiAlias*>& other)
{
    for (TMidiAlias* a : other)
        addUnique(a);
}
