#include "site/PointNetwork.h"

#include "lonworks/LonLib.h"

bool CanSendTo(const PointAddress &address, qint32 index)
{
    return address.Domain >= 0 && address.Domain <= 1 && address.Subnet >= 0
        && address.Subnet <= 255 && address.Node >= 0 && address.Node <= 255 && index >= 0
        && index <= 0xFFFF;
}

qint16 FetchPointVariable(TniNetworkInterface &ni, const PointAddress &address, qint32 index,
                          std::span<quint8> buffer, quint8 &length)
{
    length = 0;
    if (!CanSendTo(address, index))
        return LonStatus::BadDomainIndex;
    return FetchNetworkVariable(ni, quint8(address.Domain), quint8(address.Subnet),
                                quint8(address.Node), quint16(index), buffer, length);
}

qint16 UpdatePointVariable(TniNetworkInterface &ni, const PointAddress &address, qint32 index,
                           std::span<const quint8> value)
{
    if (!CanSendTo(address, index))
        return LonStatus::BadDomainIndex;
    return UpdateNetworkVariable(ni, quint8(address.Domain), quint8(address.Subnet),
                                 quint8(address.Node), quint16(index), value);
}
