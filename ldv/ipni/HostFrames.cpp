#include "ldv/ipni/HostFrames.h"

#include <algorithm>

namespace ldv::ni {

namespace {

// Bytes 0..16 and the data, as the simulated interface lays them out.
QByteArray frameOf(uint8_t byte0, uint8_t byte2, uint8_t byte3, const QByteArray &apdu)
{
    const QByteArray code = apdu.left(1);
    const QByteArray data = apdu.mid(1).left(lontalk::wire::MaxFrameLength - lontalk::wire::HeaderLength);
    QByteArray frame(lontalk::wire::HeaderLength + data.size(), '\0');
    frame[0] = char(byte0);
    frame[1] = char(data.size() + 15);
    frame[2] = char(byte2);
    frame[3] = char(byte3);
    frame[4] = char(data.size() + 1);
    frame[16] = code.isEmpty() ? '\0' : code[0];
    std::copy(data.begin(), data.end(), frame.begin() + lontalk::wire::HeaderLength);
    return frame;
}

} // namespace

std::optional<HostMessage> parseHostMessage(const uint8_t *bytes, int length)
{
    const auto frame = lontalk::wire::parseHostFrame(bytes, length);
    if (!frame)
        return std::nullopt;
    HostMessage m;
    m.frame = *frame;
    m.priority = bytes[3] & 0x80;
    m.alternatePath = bytes[3] & 0x40;
    m.pathSpecified = bytes[3] & 0x04;
    const uint8_t *a = bytes + 5;
    HostAddress &h = m.address;
    h.domainIndex = a[1] >> 7;
    h.repeatTimer = a[2] >> 4;
    h.retries = a[2] & 0x0F;
    h.txTimer = a[3] & 0x0F;
    if (a[0] == HostAddress::Local) {
        h.kind = HostAddress::Local;
    } else if (a[0] & 0x80) {
        h.kind = HostAddress::Group;
        h.groupSize = a[0] & 0x7F;
        h.member = a[1] & 0x3F;
        h.groupReceiveTimer = a[3] >> 4;
        h.group = a[4];
    } else {
        h.longTimers = a[0] & 0x10;
        switch (a[0] & ~0x5C) {    // key override, long timers, zero-sync and attenuate flags cleared
        case HostAddress::SubnetNode:
            h.kind = HostAddress::SubnetNode;
            h.node = a[1] & 0x7F;
            h.subnet = a[4];
            break;
        case HostAddress::NeuronId:
            h.kind = HostAddress::NeuronId;
            h.subnet = a[4];
            std::copy_n(a + 5, 6, h.neuronId.begin());
            break;
        case HostAddress::Broadcast:
            h.kind = HostAddress::Broadcast;
            h.backlog = a[1] & 0x3F;
            h.subnet = a[4];
            break;
        default:
            // A local command or a response (sent back under its request's tag) does not
            // use the address; any other message cannot go without one.
            if (frame->command != 2 && !frame->response)
                return std::nullopt;
            h.kind = frame->command == 2 ? HostAddress::Local : HostAddress::SubnetNode;
        }
    }
    return m;
}

uint8_t hostService(const ip852::LonFrame &f)
{
    switch (f.pdu) {
    case ip852::Pdu::Tpdu:
        return f.type == ip852::UnackdRpt ? 1 : 0;
    case ip852::Pdu::Spdu:
        return 3;
    default:
        return 2;
    }
}

QByteArray responseFrame(uint8_t tag, uint8_t domainIndex, const ip852::LonFrame &reply)
{
    QByteArray frame = frameOf(0x16, uint8_t((3 << 5) | (tag & 0x0F)), 0x01, reply.apdu);
    const ip852::LonAddress &a = reply.address;
    frame[5] = char((domainIndex & 1) << 7);
    frame[6] = char(a.sourceSubnet);
    frame[7] = char((a.groupReply ? 0 : 0x80) | a.sourceNode);
    frame[8] = char(a.subnet);
    frame[9] = char(0x80 | a.node);
    if (a.groupReply) {
        frame[10] = char(a.group);
        frame[11] = char(a.member);
    }
    return frame;
}

QByteArray incomingFrame(uint8_t tag, uint8_t domainIndex, const ip852::LonFrame &m, bool authenticated)
{
    const uint8_t service = hostService(m);
    QByteArray frame = frameOf(0x18, uint8_t((service << 5) | (authenticated ? 0x10 : 0) | (tag & 0x0F)),
                               m.priority ? 0x80 : 0x00, m.apdu);
    const ip852::LonAddress &a = m.address;
    frame[5] = char(((domainIndex & 1) << 7) | uint8_t(a.format));
    frame[6] = char(a.sourceSubnet);
    frame[7] = char(0x80 | a.sourceNode);
    switch (a.format) {
    case ip852::AddressFormat::Broadcast:
    case ip852::AddressFormat::NeuronId:
        frame[8] = char(a.subnet);
        break;
    case ip852::AddressFormat::Group:
        frame[8] = char(a.group);
        break;
    case ip852::AddressFormat::SubnetNode:
        frame[8] = char(a.subnet);
        frame[9] = char(0x80 | a.node);
        break;
    }
    return frame;
}

QByteArray localAnswer(const HostMessage &request, uint8_t code, const QByteArray &data, uint8_t subnet, uint8_t node)
{
    const lontalk::wire::Endpoint self{0, subnet, node};
    return lontalk::wire::response(request.frame, code, data, self, self);
}

QByteArray completionFrame(const HostMessage &request, bool success)
{
    return lontalk::wire::completion(request.frame, success ? lontalk::wire::Success : lontalk::wire::Failure);
}

} // namespace ldv::ni
