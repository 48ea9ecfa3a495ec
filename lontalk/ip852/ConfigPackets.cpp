#include "lontalk/ip852/ConfigPackets.h"

#include "lontalk/ip852/BigEndian.h"

namespace ip852 {

namespace {

constexpr int DomainEntryLength = 72;

void putEndpointEntry(QByteArray &out, const Endpoint &e)
{
    put32(out, e.ip);
    put16(out, e.port);
    put16(out, 0);
}

Endpoint endpointEntry(BodyReader &r)
{
    Endpoint e;
    e.ip = r.u32();
    e.port = r.u16();
    r.skip(2);
    return e;
}

NeuronId neuronIdOf(const QByteArray &bytes)
{
    NeuronId id{};
    std::copy_n(reinterpret_cast<const uint8_t *>(bytes.constData()), std::min<qsizetype>(6, bytes.size()), id.begin());
    return id;
}

void putNeuronId(QByteArray &out, const NeuronId &id)
{
    out.append(reinterpret_cast<const char *>(id.data()), 6);
}

} // namespace

uint32_t dateTimeOfUnix(int64_t unixSeconds)
{
    return uint32_t(uint64_t(unixSeconds) + Unix1900Offset);
}

bool isRequest(uint8_t type)
{
    return type == StatisticsRequest || type == DeviceConfigRequest || type == MembershipRequest
           || type == SendListRequest || type == RoutingRequest;
}

std::optional<RegistrationPacket> decodeRegistration(const QByteArray &body)
{
    BodyReader r(body);
    RegistrationPacket d;
    d.dateTime = r.u32();
    d.ipFlags = r.u8();
    d.routerType = r.u8();
    d.lonTalkFlags = r.u8();
    d.nodeType = r.u8();
    const int multicastCount = r.u8();
    r.skip(1);
    d.channelTimeoutMs = r.u16();
    const int neuronIdBytes = r.u16();
    d.unicast.port = r.u16();
    d.unicast.ip = r.u32();
    d.membershipDateTime = r.u32();
    d.sendListDateTime = r.u32();
    d.server.ip = r.u32();
    d.timeServer.ip = r.u32();
    d.timeServer2.ip = r.u32();
    d.server.port = r.u16();
    d.timeServer.port = r.u16();
    d.timeServer2.port = r.u16();
    r.skip(2);
    if (!r.ok() || neuronIdBytes % 6 || !r.has(8 * multicastCount + neuronIdBytes))
        return std::nullopt;
    for (int i = 0; i < multicastCount; ++i)
        d.multicast.append(endpointEntry(r));
    for (int i = 0; i < neuronIdBytes / 6; ++i)
        d.neuronIds.append(neuronIdOf(r.bytes(6)));
    // The name (its length counting the NUL) may be left out altogether.
    if (r.left() > 0) {
        const int length = r.u8();
        if (length > MaxNameBytes + 1 || !r.has(length))
            return std::nullopt;
        QByteArray name = r.bytes(length);
        const qsizetype nul = name.indexOf('\0');
        d.name = nul >= 0 ? name.left(nul) : name;
    }
    return d;
}

QByteArray encode(const RegistrationPacket &d)
{
    QByteArray out;
    put32(out, d.dateTime);
    put8(out, d.ipFlags);
    put8(out, d.routerType);
    put8(out, d.lonTalkFlags);
    put8(out, d.nodeType);
    put8(out, uint8_t(std::min<qsizetype>(d.multicast.size(), 255)));
    put8(out, 0);
    put16(out, d.channelTimeoutMs);
    put16(out, uint16_t(6 * std::min<qsizetype>(d.neuronIds.size(), 0xFFFF / 6)));
    put16(out, d.unicast.port);
    put32(out, d.unicast.ip);
    put32(out, d.membershipDateTime);
    put32(out, d.sendListDateTime);
    put32(out, d.server.ip);
    put32(out, d.timeServer.ip);
    put32(out, d.timeServer2.ip);
    put16(out, d.server.port);
    put16(out, d.timeServer.port);
    put16(out, d.timeServer2.port);
    put16(out, 0);
    for (qsizetype i = 0; i < std::min<qsizetype>(d.multicast.size(), 255); ++i)
        putEndpointEntry(out, d.multicast.at(i));
    for (qsizetype i = 0; i < std::min<qsizetype>(d.neuronIds.size(), 0xFFFF / 6); ++i)
        putNeuronId(out, d.neuronIds.at(i));
    const QByteArray name = d.name.left(MaxNameBytes);
    put8(out, uint8_t(name.size() + 1));
    out.append(name).append('\0');
    return out;
}

std::optional<MembershipPacket> decodeMembership(const QByteArray &body)
{
    BodyReader r(body);
    MembershipPacket m;
    m.dateTime = r.u32();
    m.sendListDateTime = r.u32();
    r.skip(4);
    const int count = r.u16();
    r.skip(2);
    if (!r.ok() || count > MaxMembers || !r.has(12 * count))
        return std::nullopt;
    for (int i = 0; i < count; ++i) {
        MembershipPacket::Member member;
        member.endpoint = endpointEntry(r);
        member.routingDateTime = r.u32();
        m.members.append(member);
    }
    return m;
}

QByteArray encode(const MembershipPacket &m)
{
    QByteArray out;
    const qsizetype count = std::min<qsizetype>(m.members.size(), MaxMembers);
    put32(out, m.dateTime);
    put32(out, m.sendListDateTime);
    put32(out, 0);
    put16(out, uint16_t(count));
    put16(out, 0);
    for (qsizetype i = 0; i < count; ++i) {
        putEndpointEntry(out, m.members.at(i).endpoint);
        put32(out, m.members.at(i).routingDateTime);
    }
    return out;
}

std::optional<SendListPacket> decodeSendList(const QByteArray &body)
{
    BodyReader r(body);
    SendListPacket s;
    s.dateTime = r.u32();
    const int count = r.u8();
    r.skip(3);
    if (!r.ok() || !r.has(8 * count))
        return std::nullopt;
    for (int i = 0; i < count; ++i)
        s.members.append(endpointEntry(r));
    return s;
}

QByteArray encode(const SendListPacket &s)
{
    QByteArray out;
    const qsizetype count = std::min<qsizetype>(s.members.size(), 255);
    put32(out, s.dateTime);
    put8(out, uint8_t(count));
    put8(out, 0);
    put16(out, 0);
    for (qsizetype i = 0; i < count; ++i)
        putEndpointEntry(out, s.members.at(i));
    return out;
}

std::optional<ResponsePacket> decodeResponse(const QByteArray &body)
{
    BodyReader r(body);
    ResponsePacket c;
    c.dateTime = r.u32();
    c.code = r.u8();
    c.requestId = r.u16();
    c.segmentId = r.u8();
    if (!r.ok())
        return std::nullopt;
    return c;
}

QByteArray encode(const ResponsePacket &c)
{
    QByteArray out;
    put32(out, c.dateTime);
    put8(out, c.code);
    put16(out, c.requestId);
    put8(out, c.segmentId);
    return out;
}

std::optional<RoutingPacket> decodeRouting(const QByteArray &body)
{
    BodyReader r(body);
    RoutingPacket c;
    c.dateTime = r.u32();
    c.multicast.port = r.u16();
    c.unicast.port = r.u16();
    c.multicast.ip = r.u32();
    c.unicast.ip = r.u32();
    c.ipFlags = r.u8();
    c.routerType = r.u8();
    c.lonTalkFlags = r.u8();
    c.nodeType = r.u8();
    const int neuronIdBytes = r.u16();
    r.skip(2);
    const int subnetNodeBytes = r.u16();
    const int domainBytes = r.u16();
    if (!r.ok() || neuronIdBytes % 6 || subnetNodeBytes % 6 || domainBytes % DomainEntryLength
        || !r.has(neuronIdBytes + subnetNodeBytes + domainBytes))
        return std::nullopt;
    for (int i = 0; i < neuronIdBytes / 6; ++i)
        c.neuronIds.append(neuronIdOf(r.bytes(6)));
    for (int i = 0; i < subnetNodeBytes / 6; ++i) {
        RoutingPacket::SubnetNode sn;
        sn.subnet = r.u8();
        sn.node = r.u8();
        sn.domainIndex = r.u16();
        sn.neuronIdIndex = r.u16();
        c.subnetNodes.append(sn);
    }
    for (int i = 0; i < domainBytes / DomainEntryLength; ++i) {
        RoutingPacket::Domain d;
        const QByteArray subnets = r.bytes(32);
        const QByteArray groups = r.bytes(32);
        std::copy_n(subnets.constData(), 32, d.subnets.begin());
        std::copy_n(groups.constData(), 32, d.groups.begin());
        const int length = r.u8();
        r.skip(1);
        const QByteArray id = r.bytes(6);
        if (domainLengthCode(length) < 0)
            return std::nullopt;
        d.id = id.left(length);
        c.domains.append(d);
    }
    if (!r.ok())
        return std::nullopt;
    return c;
}

QByteArray encode(const RoutingPacket &c)
{
    // Counts are bounded by what the 16-bit byte counts can say.
    const qsizetype neuronIds = std::min<qsizetype>(c.neuronIds.size(), 0xFFFF / 6);
    const qsizetype subnetNodes = std::min<qsizetype>(c.subnetNodes.size(), 0xFFFF / 6);
    const qsizetype domains = std::min<qsizetype>(c.domains.size(), 0xFFFF / DomainEntryLength);
    QByteArray out;
    put32(out, c.dateTime);
    put16(out, c.multicast.port);
    put16(out, c.unicast.port);
    put32(out, c.multicast.ip);
    put32(out, c.unicast.ip);
    put8(out, c.ipFlags);
    put8(out, c.routerType);
    put8(out, c.lonTalkFlags);
    put8(out, c.nodeType);
    put16(out, uint16_t(6 * neuronIds));
    put16(out, 0);
    put16(out, uint16_t(6 * subnetNodes));
    put16(out, uint16_t(DomainEntryLength * domains));
    for (qsizetype i = 0; i < neuronIds; ++i)
        putNeuronId(out, c.neuronIds.at(i));
    for (qsizetype i = 0; i < subnetNodes; ++i) {
        const RoutingPacket::SubnetNode &sn = c.subnetNodes.at(i);
        put8(out, sn.subnet);
        put8(out, sn.node);
        put16(out, sn.domainIndex);
        put16(out, sn.neuronIdIndex);
    }
    for (qsizetype i = 0; i < domains; ++i) {
        const RoutingPacket::Domain &d = c.domains.at(i);
        out.append(reinterpret_cast<const char *>(d.subnets.data()), 32);
        out.append(reinterpret_cast<const char *>(d.groups.data()), 32);
        const QByteArray id = domainLengthCode(int(d.id.size())) >= 0 ? d.id : QByteArray();
        put8(out, uint8_t(id.size()));
        put8(out, 0);
        out.append(id.leftJustified(6, '\0'));
    }
    return out;
}

std::optional<RequestPacket> decodeRequest(uint8_t type, const QByteArray &body, bool vendorExtended)
{
    if (!isRequest(type))
        return std::nullopt;
    BodyReader r(body);
    RequestPacket q;
    q.type = type;
    q.dateTime = r.u32();
    q.reason = r.u8();
    q.requestId = r.u16();
    q.segmentId = r.u8();
    q.since = r.u32();
    q.ip = r.u32();
    if (vendorExtended && type == RoutingRequest) {
        r.skip(2);      // list size, always 0
        q.port = r.u16();
    }
    if (!r.ok())
        return std::nullopt;
    return q;
}

QByteArray encode(const RequestPacket &q)
{
    QByteArray out;
    put32(out, q.dateTime);
    put8(out, q.reason);
    put16(out, q.requestId);
    put8(out, q.segmentId);
    put32(out, q.since);
    put32(out, q.ip);
    if (q.port && q.type == RoutingRequest) {
        put16(out, 0);
        put16(out, *q.port);
    }
    return out;
}

std::optional<SegmentPacket> decodeSegment(const QByteArray &body)
{
    BodyReader r(body);
    SegmentPacket s;
    s.dateTime = r.u32();
    s.flags = r.u8();
    s.requestId = r.u16();
    s.segmentId = r.u8();
    if (!r.ok())
        return std::nullopt;
    s.chunk = r.bytes(r.left());
    return s;
}

QByteArray encode(const SegmentPacket &s)
{
    QByteArray out;
    put32(out, s.dateTime);
    put8(out, s.flags);
    put16(out, s.requestId);
    put8(out, s.segmentId);
    out.append(s.chunk);
    return out;
}

QByteArray buildConfigPacket(uint8_t type, const QByteArray &body, const QByteArray &secret, uint16_t vendor)
{
    Header h;
    h.type = type;
    h.vendor = vendor;
    return buildPacket(h, body, secret);
}

QByteArray buildRequestPacket(const RequestPacket &request, const QByteArray &secret)
{
    const bool extended = request.type == RoutingRequest && request.port.has_value();
    return buildConfigPacket(request.type, encode(request), secret, extended ? VendorEchelon : 0);
}

const char *configTypeName(uint8_t type)
{
    switch (type) {
    case DataPacket: return "data";
    case DeviceRegistration: return "device registration";
    case ChannelMembership: return "channel membership";
    case SendList: return "send list";
    case ConfigResponse: return "response";
    case ChannelRouting: return "channel routing";
    case StatisticsRequest: return "statistics request";
    case DeviceConfigRequest: return "device configuration request";
    case MembershipRequest: return "membership request";
    case SendListRequest: return "send list request";
    case RoutingRequest: return "routing request";
    case Statistics: return "statistics";
    case DeviceConfiguration: return "device configuration";
    case Segment: return "segment";
    default: return "unknown packet";
    }
}

QString describeConfigPacket(const Packet &p)
{
    const uint8_t type = p.header.type;
    QString text = QStringLiteral("%1 (0x%2)").arg(QLatin1String(configTypeName(type))).arg(type, 2, 16, QLatin1Char('0'));
    const auto bad = [&text] { return text + QStringLiteral(" that does not decode"); };
    switch (type) {
    case DeviceRegistration:
    case DeviceConfiguration: {
        const auto d = decodeRegistration(p.body);
        if (!d)
            return bad();
        return text + QStringLiteral(" dateTime %1 member %2 server %3 membership %4 name \"%5\"")
                          .arg(d->dateTime)
                          .arg(d->unicast.toString(), d->server.toString())
                          .arg(d->membershipDateTime)
                          .arg(QString::fromLatin1(d->name));
    }
    case ChannelMembership: {
        const auto m = decodeMembership(p.body);
        if (!m)
            return bad();
        QStringList members;
        for (const MembershipPacket::Member &e : m->members)
            members.append(QStringLiteral("%1@%2").arg(e.endpoint.toString()).arg(e.routingDateTime));
        return text + QStringLiteral(" dateTime %1 members [%2]").arg(m->dateTime).arg(members.join(QLatin1Char(' ')));
    }
    case ConfigResponse: {
        const auto c = decodeResponse(p.body);
        if (!c)
            return bad();
        return text + QStringLiteral(" code %1 request %2 segment %3").arg(c->code).arg(c->requestId).arg(c->segmentId);
    }
    case ChannelRouting: {
        const auto c = decodeRouting(p.body);
        if (!c)
            return bad();
        return text + QStringLiteral(" dateTime %1 member %2 router type %3 flags %4: %5 Neuron ID(s), %6 subnet/node, "
                                     "%7 domain(s)")
                          .arg(c->dateTime)
                          .arg(c->unicast.toString())
                          .arg(c->routerType)
                          .arg(c->lonTalkFlags)
                          .arg(c->neuronIds.size())
                          .arg(c->subnetNodes.size())
                          .arg(c->domains.size());
    }
    case SendList: {
        const auto s = decodeSendList(p.body);
        return s ? text + QStringLiteral(" %1 entries").arg(s->members.size()) : bad();
    }
    case Segment: {
        const auto s = decodeSegment(p.body);
        if (!s)
            return bad();
        return text + QStringLiteral(" request %1 segment %2 flags 0x%3, %4 bytes")
                          .arg(s->requestId)
                          .arg(s->segmentId)
                          .arg(s->flags, 2, 16, QLatin1Char('0'))
                          .arg(s->chunk.size());
    }
    default:
        break;
    }
    if (isRequest(type)) {
        const auto q = decodeRequest(type, p.body, p.header.vendor == VendorEchelon);
        if (!q)
            return bad();
        text += QStringLiteral(" reason %1 request %2 segment %3").arg(q->reason).arg(q->requestId).arg(q->segmentId);
        if (type == RoutingRequest)
            text += QStringLiteral(" for %1").arg(q->port ? Endpoint{q->ip, *q->port}.toString() : Endpoint{q->ip, 0}.toString().section(QLatin1Char(':'), 0, 0));
        return text;
    }
    return text + QStringLiteral(", %1 bytes").arg(p.body.size());
}

} // namespace ip852
