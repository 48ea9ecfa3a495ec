#include "lontalk/ip852/LonFrame.h"

namespace ip852 {

namespace {

constexpr int DomainBytes[4] = {0, 1, 3, 6};

bool validType(Pdu pdu, uint8_t type)
{
    switch (pdu) {
    case Pdu::Tpdu:
        return type == Ackd || type == UnackdRpt || type == Ack || type == TReminder || type == TRemMsg;
    case Pdu::Spdu:
        return type == Request || type == Response || type == SReminder || type == SRemMsg;
    default:
        return true;
    }
}

// A bounded reader over the frame without its CRC.
class Reader {
public:
    Reader(const uint8_t *bytes, int length) : m_bytes(bytes), m_length(length) {}
    bool has(int n) const { return m_offset + n <= m_length; }
    uint8_t byte() { return m_bytes[m_offset++]; }
    QByteArray take(int n)
    {
        QByteArray out(reinterpret_cast<const char *>(m_bytes + m_offset), n);
        m_offset += n;
        return out;
    }
    QByteArray rest() { return take(m_length - m_offset); }

private:
    const uint8_t *m_bytes;
    int m_length;
    int m_offset = 0;
};

std::optional<LonFrame> fail(FrameError *error, FrameError why)
{
    if (error)
        *error = why;
    return std::nullopt;
}

} // namespace

uint16_t crc16(const uint8_t *bytes, std::size_t length)
{
    uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < length; ++i) {
        crc ^= uint16_t(bytes[i] << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? uint16_t((crc << 1) ^ 0x1021) : uint16_t(crc << 1);
    }
    return uint16_t(crc ^ 0xFFFF);
}

uint16_t crc16(const QByteArray &bytes)
{
    return crc16(reinterpret_cast<const uint8_t *>(bytes.constData()), std::size_t(bytes.size()));
}

int domainLengthCode(int bytes)
{
    for (int code = 0; code < 4; ++code)
        if (DomainBytes[code] == bytes)
            return code;
    return -1;
}

int domainLengthOf(int code)
{
    return code >= 0 && code < 4 ? DomainBytes[code] : -1;
}

bool LonFrame::isReply() const
{
    return (pdu == Pdu::Tpdu && type == Ack) || (pdu == Pdu::Spdu && type == Response);
}

bool LonFrame::hasReminder() const
{
    return (pdu == Pdu::Tpdu || pdu == Pdu::Spdu) && (type == TReminder || type == TRemMsg);
}

const char *errorText(FrameError error)
{
    switch (error) {
    case FrameError::None: return "ok";
    case FrameError::Truncated: return "truncated frame";
    case FrameError::BadCrc: return "CRC mismatch";
    case FrameError::BadVersion: return "unknown LonTalk version";
    case FrameError::BadDomainLength: return "bad domain length";
    case FrameError::BadMemberList: return "member list longer than 8 bytes";
    case FrameError::BadType: return "unknown transport or session type";
    case FrameError::BadAddress: return "address that cannot be encoded";
    }
    return "?";
}

std::optional<LonFrame> parseFrame(const QByteArray &bytes, FrameError *error)
{
    if (error)
        *error = FrameError::None;
    const auto *b = reinterpret_cast<const uint8_t *>(bytes.constData());
    const int total = int(bytes.size());
    if (total < 2 + 2 + 1 + 2)     // L2, L3, source, one destination byte, CRC
        return fail(error, FrameError::Truncated);
    const int body = total - 2;
    if (crc16(b, std::size_t(body)) != uint16_t((b[body] << 8) | b[body + 1]))
        return fail(error, FrameError::BadCrc);

    Reader r(b, body);
    LonFrame f;
    const uint8_t l2 = r.byte();
    f.priority = l2 & 0x80;
    f.alternatePath = l2 & 0x40;
    f.backlog = l2 & 0x3F;
    const uint8_t l3 = r.byte();
    if (l3 >> 6)
        return fail(error, FrameError::BadVersion);
    f.pdu = Pdu((l3 >> 4) & 0x03);
    f.address.format = AddressFormat((l3 >> 2) & 0x03);
    const int domainLength = DomainBytes[l3 & 0x03];

    LonAddress &a = f.address;
    a.sourceSubnet = r.byte();
    const uint8_t source = r.byte();
    a.sourceNode = source & 0x7F;
    switch (a.format) {
    case AddressFormat::Broadcast:
        if (!r.has(1))
            return fail(error, FrameError::Truncated);
        a.subnet = r.byte();
        break;
    case AddressFormat::Group:
        if (!r.has(1))
            return fail(error, FrameError::Truncated);
        a.group = r.byte();
        break;
    case AddressFormat::SubnetNode:
        a.groupReply = !(source & 0x80);
        if (!r.has(a.groupReply ? 4 : 2))
            return fail(error, FrameError::Truncated);
        a.subnet = r.byte();
        a.node = r.byte() & 0x7F;
        if (a.groupReply) {
            a.group = r.byte();
            a.member = r.byte();
        }
        break;
    case AddressFormat::NeuronId:
        if (!r.has(7))
            return fail(error, FrameError::Truncated);
        a.subnet = r.byte();
        for (uint8_t &x : a.neuronId)
            x = r.byte();
        break;
    }
    if (!r.has(domainLength))
        return fail(error, FrameError::Truncated);
    f.domain = r.take(domainLength);

    if (f.pdu == Pdu::Apdu) {
        if (!r.has(1))
            return fail(error, FrameError::Truncated);
        f.apdu = r.rest();
        return f;
    }
    if (!r.has(1))
        return fail(error, FrameError::Truncated);
    const uint8_t l4 = r.byte();
    f.tid = l4 & 0x0F;
    if (f.pdu == Pdu::AuthPdu) {
        f.authFormat = l4 >> 6;
        f.type = (l4 >> 4) & 0x03;
        if (!r.has(8))
            return fail(error, FrameError::Truncated);
        f.apdu = r.rest();
        return f;
    }
    f.authenticated = l4 & 0x80;
    f.type = (l4 >> 4) & 0x07;
    if (!validType(f.pdu, f.type))
        return fail(error, FrameError::BadType);
    if (f.hasReminder()) {
        if (!r.has(1))
            return fail(error, FrameError::Truncated);
        const int listLength = r.byte();
        if (listLength > 8)
            return fail(error, FrameError::BadMemberList);
        if (!r.has(listLength))
            return fail(error, FrameError::Truncated);
        f.memberList = r.take(listLength);
        if (f.type == TReminder)
            return f;       // a reminder carries no message
    }
    if (f.pdu == Pdu::Tpdu && f.type == Ack)
        return f;
    if (!r.has(1))
        return fail(error, FrameError::Truncated);
    f.apdu = r.rest();
    return f;
}

QByteArray buildFrame(const LonFrame &f)
{
    const int domainCode = domainLengthCode(int(f.domain.size()));
    if (domainCode < 0 || f.memberList.size() > 8)
        return {};
    const LonAddress &a = f.address;
    if (a.groupReply && a.format != AddressFormat::SubnetNode)
        return {};
    QByteArray out;
    out.append(char((f.priority ? 0x80 : 0) | (f.alternatePath ? 0x40 : 0) | (f.backlog & 0x3F)));
    out.append(char((uint8_t(f.pdu) << 4) | (uint8_t(a.format) << 2) | domainCode));
    out.append(char(a.sourceSubnet));
    const bool sourceBit = !(a.format == AddressFormat::SubnetNode && a.groupReply);
    out.append(char((sourceBit ? 0x80 : 0) | (a.sourceNode & 0x7F)));
    switch (a.format) {
    case AddressFormat::Broadcast:
        out.append(char(a.subnet));
        break;
    case AddressFormat::Group:
        out.append(char(a.group));
        break;
    case AddressFormat::SubnetNode:
        out.append(char(a.subnet)).append(char(0x80 | (a.node & 0x7F)));
        if (a.groupReply)
            out.append(char(a.group)).append(char(a.member));
        break;
    case AddressFormat::NeuronId:
        out.append(char(a.subnet));
        for (uint8_t x : a.neuronId)
            out.append(char(x));
        break;
    }
    out.append(f.domain);
    if (f.pdu == Pdu::AuthPdu) {
        out.append(char(((f.authFormat & 0x03) << 6) | ((f.type & 0x03) << 4) | (f.tid & 0x0F)));
    } else if (f.pdu != Pdu::Apdu) {
        out.append(char((f.authenticated ? 0x80 : 0) | ((f.type & 0x07) << 4) | (f.tid & 0x0F)));
        if (f.hasReminder())
            out.append(char(f.memberList.size())).append(f.memberList);
    }
    out.append(f.apdu);
    const uint16_t crc = crc16(out);
    out.append(char(crc >> 8)).append(char(crc));
    return out;
}

} // namespace ip852
