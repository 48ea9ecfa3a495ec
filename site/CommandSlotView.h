#pragma once
// TCommandSlotView: what a status poll reads of a site's command slot, copied as one
// value: who holds the slot and the lock, the command's state and texts, and whether the
// site is busy. The site's thread takes it; the bus thread answers polls from it.

#include <QString>

class TSiteClient;

struct TCommandSlotView
{
    const TSiteClient *CommandClient = nullptr;
    int CommandState = 0;
    QString StatusText;
    QString ErrorText;
    bool Busy = false;
    bool Locked = false;
    const TSiteClient *LockOwner = nullptr;
    QString LockComment;

    bool operator==(const TCommandSlotView &) const = default;

    // FCommandState for the holder, for anyone while the slot is free and for the lock's
    // owner; 4 for the others while the site is locked, else -1.
    int StatusFor(const TSiteClient *client) const
    {
        if (CommandClient == client || CommandClient == nullptr || client == LockOwner)
            return CommandState;
        return Locked ? 4 : -1;
    }
};
