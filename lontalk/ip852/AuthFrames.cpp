#include "lontalk/ip852/AuthFrames.h"

namespace ip852 {

namespace {

QByteArray bytesOf(const lontalk::AuthBytes &b)
{
    return QByteArray(reinterpret_cast<const char *>(b.data()), int(b.size()));
}

} // namespace

LonFrame challengeFrame(const LonFrame &m, uint8_t mySubnet, uint8_t myNode, const lontalk::AuthBytes &challenge,
                        uint8_t groupMember)
{
    LonFrame c;
    c.priority = m.priority;
    c.alternatePath = m.alternatePath;
    c.pdu = Pdu::AuthPdu;
    c.type = Challenge;
    c.tid = m.tid;
    c.authFormat = uint8_t(m.address.format);
    c.domain = m.domain;
    LonAddress &a = c.address;
    a.format = AddressFormat::SubnetNode;
    a.subnet = m.address.sourceSubnet;
    a.node = m.address.sourceNode & 0x7F;
    // A message sent to our subnet/node is challenged from that address; any other from
    // our own address in the domain.
    const bool direct = m.address.format == AddressFormat::SubnetNode;
    a.sourceSubnet = direct ? m.address.subnet : mySubnet;
    a.sourceNode = direct ? m.address.node : uint8_t(myNode & 0x7F);
    c.apdu = bytesOf(challenge);
    if (m.address.format == AddressFormat::Group) {
        a.groupReply = true;
        a.group = m.address.group;
        a.member = groupMember;
        c.apdu.append(char(m.address.group));
    }
    return c;
}

LonFrame replyFrame(const LonFrame &challenge, const LonFrame &original, const lontalk::AuthBytes &reply)
{
    LonFrame r;
    r.priority = challenge.priority;
    r.pdu = Pdu::AuthPdu;
    r.type = Reply;
    r.tid = challenge.tid;
    r.authFormat = challenge.authFormat;
    r.domain = challenge.domain;
    LonAddress &a = r.address;
    a.sourceSubnet = challenge.address.subnet;
    a.sourceNode = challenge.address.node;
    if (challenge.address.sourceNode == 0 && original.address.format == AddressFormat::NeuronId) {
        a.format = AddressFormat::NeuronId;
        a.subnet = original.address.subnet;
        a.neuronId = original.address.neuronId;
    } else {
        a.format = AddressFormat::SubnetNode;
        a.subnet = challenge.address.sourceSubnet;
        a.node = challenge.address.sourceNode;
    }
    r.apdu = bytesOf(reply);
    r.apdu.append(challenge.apdu.mid(8, 1));
    return r;
}

std::optional<lontalk::AuthBytes> authBytesOf(const LonFrame &f)
{
    if (f.pdu != Pdu::AuthPdu || f.apdu.size() < 8)
        return std::nullopt;
    lontalk::AuthBytes b;
    std::copy_n(reinterpret_cast<const uint8_t *>(f.apdu.constData()), 8, b.begin());
    return b;
}

bool isChallenge(const LonFrame &f)
{
    return f.pdu == Pdu::AuthPdu && f.type == Challenge;
}

bool isAuthReply(const LonFrame &f)
{
    return f.pdu == Pdu::AuthPdu && f.type == Reply;
}

} // namespace ip852
