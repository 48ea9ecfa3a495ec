#pragma once
// Fetching and updating the network variable of a point address on a site's interface.
// Address fields that cannot be sent (domain outside 0..1, subnet or node outside 0..255,
// index outside 0..65535) are refused with LonStatus::BadDomainIndex: nothing is sent.

#include "snvt/PointAddress.h"

#include <span>

class TniNetworkInterface;

// Whether the address's fields can be sent (domain 0..1, subnet and node 0..255, index 0..65535).
bool CanSendTo(const PointAddress &address, qint32 index);
// The variable `index` of the address's device; stores at most buffer.size() bytes.
qint16 FetchPointVariable(TniNetworkInterface &ni, const PointAddress &address, qint32 index,
                          std::span<quint8> buffer, quint8 &length);
qint16 UpdatePointVariable(TniNetworkInterface &ni, const PointAddress &address, qint32 index,
                           std::span<const quint8> value);
