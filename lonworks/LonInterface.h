#pragma once
// TniNetworkInterface: one site's network interface: the driver library's handle, the
// local interface's read-only structure and domains as last read, the tag counter and the
// messages collected by the exchange under way.

#include "lonworks/LonMessage.h"
#include "lonworks/LonPending.h"
#include "lonworks/LonRecords.h"

#include <QByteArray>

class TniNetworkInterface
{
public:
    // Opens the interface by name (ldv_open); the library's status, 0 when open.
    qint16 Open(const QByteArray &name);
    // Closes an open interface (ldv_close); 0 when there was none.
    qint16 Close();
    // The library's handle; -1 while closed.
    qint16 Handle() const { return FHandle; }

    // The tag for the next transaction that asks for one: 0..14 round (15 means "give one"),
    // past the tags of fetches in flight.
    quint8 NextTag();
    // Fetches in flight (the poller's budget mode), matched by tag.
    TniPendingFetches &Pending() { return FPending; }

    // What the library answered the last read or write: a device error (an adapter
    // unplugged) marks the interface lost until a read or write succeeds again.
    void NoteLibraryStatus(qint16 status);
    bool Lost() const { return FLostStatus != 0; }
    qint16 LostStatus() const { return FLostStatus; }

    const TniReadOnlyStructure &ReadOnly() const { return FReadOnly; }
    void SetReadOnly(const TniReadOnlyStructure &structure) { FReadOnly = structure; }
    const TniDomainTableEntry &Domain0() const { return FDomain0; }
    const TniDomainTableEntry &Domain1() const { return FDomain1; }
    // index 0 or 1 (the low bit counts).
    const TniDomainTableEntry &Domain(int index) const { return index & 1 ? FDomain1 : FDomain0; }
    void SetDomain(int index, const TniDomainTableEntry &entry) { (index & 1 ? FDomain1 : FDomain0) = entry; }

    // The messages of the current exchange: answers to its request, and the rest.
    const TListOfniMessage &Responses() const { return FResponses; }
    const TListOfniMessage &Unsolicited() const { return FUnsolicited; }
    void ClearUnsolicited() { FUnsolicited.Clear(); }
    void ClearResponses() { FResponses.Clear(); }
    void AddUnsolicited(std::unique_ptr<TniMessage> message) { FUnsolicited.Add(std::move(message)); }
    void AddResponse(std::unique_ptr<TniMessage> message) { FResponses.Add(std::move(message)); }

    // Takes a handle the test opened otherwise (a library without ldv_open).
    void SetHandleForTest(qint16 handle) { FHandle = handle; }

private:
    qint16 FHandle = -1;
    TniReadOnlyStructure FReadOnly;
    quint8 FTagCounter = 0;
    qint16 FLostStatus = 0;
    TListOfniMessage FUnsolicited{32};
    TListOfniMessage FResponses{32};
    TniDomainTableEntry FDomain0;
    TniDomainTableEntry FDomain1;
    TniPendingFetches FPending;
};
