// TMidiAliasChangeListener: told by the alias manager after aliases changed (once per change
// batch). Called on the thread that made the change (GUI thread, or the device-change thread
// for aliases created automatically), never while the alias manager holds its lock.
#pragma once

class TMidiAliasChangeListener
{
public:
    virtual void aliasesChanged() = 0;

protected:
    ~TMidiAliasChangeListener() = default;
};
