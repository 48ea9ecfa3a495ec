#include "lonworks/LonWire.h"

#include <algorithm>

namespace LonWire {

namespace {

quint8 FlagsByte(const TniMessage &m)
{
    return quint8((m.Priority ? 0x80 : 0) | ((m.Path & 1) << 6) | ((m.CompletionCode & 3) << 4)
                  | (m.ExplicitAddress ? 0x08 : 0) | (m.AlternatePath ? 0x04 : 0)
                  | (m.Pool ? 0x02 : 0) | (m.Response ? 0x01 : 0));
}

void WriteAddress(const TniMessage &m, quint8 *a)
{
    const quint8 domainBit = quint8((m.Domain & 1) << 7);
    const quint8 timers = quint8((m.RepeatTimer & 0x0F) << 4 | (m.Retry & 0x0F));
    a[0] = m.AddressType;
    switch (m.AddressType) {
    case AddrSubnetNode:
        a[1] = quint8(domainBit | (m.Node & 0x7F));
        a[2] = timers;
        a[3] = m.TxTimer;
        a[4] = m.Subnet;
        break;
    case AddrNeuronId:
        a[1] = domainBit;
        a[2] = timers;
        a[3] = m.TxTimer;
        a[4] = m.Subnet;
        std::copy(m.NeuronId.begin(), m.NeuronId.end(), a + 5);
        break;
    case AddrBroadcast:
        a[1] = quint8(domainBit | (m.Backlog & 0x7F));
        a[2] = timers;
        a[3] = m.TxTimer;
        a[4] = m.Subnet;
        break;
    case AddrGroup:
        a[1] = quint8(domainBit | (m.GroupMember & 0x7F));
        a[2] = timers;
        a[3] = m.TxTimer;
        a[4] = m.Group;
        break;
    default:   // the local interface (0x7F) takes no network address
        break;
    }
}

} // namespace

QByteArray BuildFrame(const TniMessage &m)
{
    const int dataLength = std::min<int>(m.DataLength, MaxDataLength);
    QByteArray frame(HeaderLength + dataLength, '\0');
    auto *f = reinterpret_cast<quint8 *>(frame.data());
    f[0] = quint8((m.Command & 0x0F) << 4 | (m.Queue & 0x0F));
    f[1] = quint8(dataLength + 15);
    f[2] = quint8((m.ServiceType & 3) << 5 | (m.Authenticated ? 0x10 : 0) | (m.Tag & 0x0F));
    f[3] = FlagsByte(m);
    f[4] = quint8(dataLength + 1);
    WriteAddress(m, f + 5);
    f[16] = m.Code;
    std::copy_n(m.Data.begin(), dataLength, f + HeaderLength);
    return frame;
}

std::unique_ptr<TniMessage> ParseFrame(std::span<const quint8> bytes)
{
    // The frame's own length byte limits the parse, and so do the bytes delivered.
    size_t available = bytes.size();
    if (available >= 2)
        available = std::min<size_t>(available, size_t(bytes[1]) + 2);
    const auto at = [&](size_t i) -> quint8 { return i < available ? bytes[i] : 0; };

    auto m = std::make_unique<TniMessage>();
    m->Command = at(0) >> 4;
    m->Queue = at(0) & 0x0F;
    m->ServiceType = (at(2) >> 5) & 3;
    m->Authenticated = at(2) & 0x10;
    m->Tag = at(2) & 0x0F;
    const quint8 flags = at(3);
    m->Priority = flags & 0x80;
    m->Path = (flags >> 6) & 1;
    m->CompletionCode = (flags >> 4) & 3;
    m->ExplicitAddress = flags & 0x08;
    m->AlternatePath = flags & 0x04;
    m->Pool = flags & 0x02;
    m->Response = flags & 0x01;

    const int claimed = int(at(4)) - 1;
    const int delivered = int(available) - HeaderLength;
    m->ReceivedLength = quint8(std::clamp(std::min(claimed, delivered), 0, 255));
    m->Domain = at(5) >> 7;

    if (m->Queue == QueueResponse) {
        m->SourceSubnet = at(6);
        m->SourceNode = at(7) & 0x7F;
        m->Subnet = at(8);
        m->Node = at(9) & 0x7F;
        if (!(at(7) & 0x80)) {
            m->Group = at(10);
            m->GroupMember = at(11);
        }
    } else if (m->Queue == QueueIncoming) {
        const quint8 format = at(5) & 0x3F;
        if (format == 0 || format == 1 || format == 2 || format == 4) {
            m->SourceSubnet = at(6);
            m->SourceNode = at(7) & 0x7F;
        }
        if (format == 0 || format == 4)
            m->Subnet = at(8);
        else if (format == 1)
            m->Group = at(8);
        else if (format == 2) {
            m->Subnet = at(8);
            m->Node = at(9) & 0x7F;
        }
    }

    m->Code = at(16);
    if (m->ReceivedLength > 0)
        std::copy_n(bytes.subspan(HeaderLength).begin(), m->ReceivedLength, m->ReceivedData.begin());
    const size_t raw = std::min<size_t>({size_t(m->ReceivedLength) + HeaderLength,
                                         m->RawFrame.size(), available});
    std::copy_n(bytes.begin(), raw, m->RawFrame.begin());
    m->RawLength = m->ReceivedLength + HeaderLength;
    return m;
}

} // namespace LonWire
