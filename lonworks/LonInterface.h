#pragma once
// TniNetworkInterface: one site's network interface: the driver handle, the local
// interface's read-only structure and domains, the tag counter and the message lists.

#include "lonworks/LonMessage.h"
#include "lonworks/LonRecords.h"

class TniNetworkInterface
{
public:
    qint16 Handle = -1;
    TniReadOnlyStructure ReadOnly;
    quint8 TagCounter = 0;
    TListOfniMessage Unsolicited{32};
    TListOfniMessage Responses{32};
    TniDomainTableEntry Domain0;
    TniDomainTableEntry Domain1;

    void ClearUnsolicited() { Unsolicited.Clear(); }
    void ClearResponses() { Responses.Clear(); }
    void AddUnsolicited(std::unique_ptr<TniMessage> message) { Unsolicited.Add(std::move(message)); }
    void AddResponse(std::unique_ptr<TniMessage> message) { Responses.Add(std::move(message)); }
};
