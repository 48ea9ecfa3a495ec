#include "lonworks/LonWire.h"

#include <algorithm>

namespace LonWire {

bool ParseFilePacket(std::span<const quint8> bytes, TFilePacket &packet)
{
    // Header, code and the sequence byte must all have been delivered.
    if (bytes.size() < size_t(HeaderLength + 1))
        return false;
    const size_t available = std::min<size_t>(bytes.size(), size_t(bytes[1]) + 2);
    if (available < size_t(HeaderLength + 1))
        return false;
    if (bytes[0] != (CmdNetwork << 4 | QueueIncoming) || bytes[16] != CodeFilePacket)
        return false;
    packet.SourceNode = bytes[7] & 0x7F;
    packet.Block = bytes[17] >> 4;
    packet.Packet = bytes[17] & 0x0F;
    packet.Data = bytes.subspan(HeaderLength + 1, available - (HeaderLength + 1));
    return true;
}

std::array<quint8, FileAckLength> BuildFileAck(quint8 receivedTagByte, quint8 localSubnet,
                                              quint8 localNode, quint8 subnet, quint8 node,
                                              quint8 ackValue)
{
    std::array<quint8, FileAckLength> a{};
    a[0] = quint8(CmdNetwork << 4 | QueueTransaction);
    a[1] = FileAckLength - 2;
    a[2] = quint8((receivedTagByte & 0x0F) | 0x60);
    a[3] = 0x01;   // a response
    a[4] = 0x01;   // the code byte only
    a[5] = 0x02;
    a[6] = localSubnet;
    a[7] = quint8(localNode | 0x80);
    a[8] = subnet;
    a[9] = quint8(node | 0x80);
    a[16] = ackValue;
    return a;
}

} // namespace LonWire
