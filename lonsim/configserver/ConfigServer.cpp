#include "lonsim/configserver/ConfigServer.h"

#include "lontalk/ip852/BigEndian.h"

#include <QDateTime>

namespace lonsim::configserver {

using namespace ip852;

ConfigServer::ConfigServer(ChannelFile channel, ServerState state, Io io, DateTimeClock clock)
    : m_channel(std::move(channel)), m_state(std::move(state)), m_io(std::move(io)), m_clock(std::move(clock))
{
    if (!m_clock)
        m_clock = [] { return dateTimeOfUnix(QDateTime::currentSecsSinceEpoch()); };
    // Routing kept for members the channel file no longer lists is dropped.
    const qsizetype before = m_state.members.size();
    m_state.members.removeIf([this](const MemberRecord &m) { return !m_channel.member(m.endpoint); });
    // A server without a membership yet starts a new one: members that hold an older one
    // (from before the server lost its state) then send their routing again.
    if (m_state.members.size() != before || m_state.membershipDateTime == 0)
        m_state.membershipDateTime = nextDateTime();
}

uint32_t ConfigServer::nextDateTime()
{
    m_state.lastDateTime = std::max(m_clock(), m_state.lastDateTime + 1);
    return m_state.lastDateTime;
}

uint32_t ConfigServer::stamp() const
{
    // Only the membership takes a new dateTime; the other packets carry the time, so the
    // count does not run ahead of the clock.
    return std::max(m_clock(), m_state.lastDateTime);
}

void ConfigServer::trace(const QString &line) const
{
    if (m_io.trace)
        m_io.trace(line);
}

void ConfigServer::send(uint8_t type, const QByteArray &body, const Endpoint &to, uint16_t requestId, int fromSegment,
                        bool all, uint16_t vendor)
{
    Packet p;
    p.header.type = type;
    p.header.vendor = vendor;
    p.body = body;
    const QByteArray whole = buildConfigPacket(type, body, {}, vendor);
    if (!needsSegments(int(whole.size()), m_channel.secret)) {
        trace(QStringLiteral("out %1 to %2").arg(describeConfigPacket(p), to.toString()));
        m_io.send(buildConfigPacket(type, body, m_channel.secret, vendor), to);
        return;
    }
    const uint32_t dateTime = body.size() >= 4 ? be32(reinterpret_cast<const uint8_t *>(body.constData())) : 0;
    const QList<QByteArray> segments = segmentPackets(whole, dateTime, requestId, m_channel.secret, fromSegment, all);
    trace(QStringLiteral("out %1 to %2 in %3 segment(s) from %4 (request %5)")
              .arg(describeConfigPacket(p), to.toString())
              .arg(segments.size())
              .arg(fromSegment)
              .arg(requestId));
    if (segments.isEmpty())
        m_io.send(missingSegmentPacket(dateTime, requestId, uint8_t(fromSegment), m_channel.secret), to);
    for (const QByteArray &segment : segments)
        m_io.send(segment, to);
}

void ConfigServer::respond(const Endpoint &to, uint8_t code, uint16_t requestId, uint8_t segmentId)
{
    send(ConfigResponse, encode(ResponsePacket{stamp(), code, requestId, segmentId}), to);
}

MembershipPacket ConfigServer::membership() const
{
    MembershipPacket m;
    m.dateTime = m_state.membershipDateTime;
    // In the channel file's order; a member is listed once its routing is known.
    for (const ChannelMember &member : m_channel.members)
        if (const MemberRecord *record = m_state.find(member.endpoint))
            m.members.append({member.endpoint, record->routingDateTime});
    return m;
}

bool ConfigServer::adopted(const Endpoint &member) const
{
    const auto it = m_adoptions.find(keyOf(member));
    return it != m_adoptions.end() && it->second.acknowledged;
}

void ConfigServer::acknowledged(const Endpoint &member, int64_t now)
{
    Adoption &a = m_adoptions[keyOf(member)];
    if (a.acknowledged)
        return;
    a.acknowledged = true;
    a.tries = 0;
    // Its routing is asked for unless it comes by then; once known, the next refresh.
    a.next = now + (m_state.find(member) ? RefreshMs : AdoptRepeatMs);
}

void ConfigServer::adopt(const ChannelMember &member, int64_t now)
{
    RegistrationPacket d;
    d.dateTime = stamp();
    d.lonTalkFlags = 2;
    d.channelTimeoutMs = m_channel.channelTimeoutMs;
    d.unicast = member.endpoint;
    d.membershipDateTime = m_state.membershipDateTime;
    d.server = m_channel.server;
    d.name = member.name;
    if (const MemberRecord *record = m_state.find(member.endpoint)) {
        if (const auto routing = decodeRouting(record->routing)) {
            d.routerType = routing->routerType;
            d.lonTalkFlags = routing->lonTalkFlags;
            d.nodeType = routing->nodeType;
            d.neuronIds = routing->neuronIds;
        }
    }
    send(DeviceConfiguration, encode(d), member.endpoint);
    Adoption &a = m_adoptions[keyOf(member.endpoint)];
    ++a.tries;
    a.next = now + (a.tries < AdoptFastTries ? AdoptRepeatMs : AdoptSlowMs);
}

void ConfigServer::refresh(const ChannelMember &member, int64_t now)
{
    // A membership sent unasked may be lost, and nothing would tell: a member that holds
    // an older one answers this device configuration by catching up.
    adopt(member, now);
    m_adoptions[keyOf(member.endpoint)].next = now + RefreshMs;
}

void ConfigServer::askRouting(const ChannelMember &member, int64_t now)
{
    RequestPacket q;
    q.type = RoutingRequest;
    q.dateTime = stamp();
    q.ip = member.endpoint.ip;
    q.port = member.endpoint.port;
    send(RoutingRequest, encode(q), member.endpoint, UnsolicitedRequestId, 0, true, VendorEchelon);
    Adoption &a = m_adoptions[keyOf(member.endpoint)];
    ++a.tries;
    a.next = now + (a.tries < AdoptFastTries ? AdoptRepeatMs : AdoptSlowMs);
}

void ConfigServer::start(int64_t now)
{
    for (const ChannelMember &member : m_channel.members) {
        m_adoptions[keyOf(member.endpoint)] = Adoption{};
        adopt(member, now);
    }
}

void ConfigServer::tick(int64_t now)
{
    for (const ChannelMember &member : m_channel.members) {
        const Adoption &a = m_adoptions[keyOf(member.endpoint)];
        if (now < a.next)
            continue;
        // Adopted but its routing unknown (a server that lost its state, or a routing
        // packet lost on the way): it is asked for it.
        if (!a.acknowledged)
            adopt(member, now);
        else if (!m_state.find(member.endpoint))
            askRouting(member, now);
        else
            refresh(member, now);
    }
    for (const SegmentAssembler::Wanted &w : m_segments.wanted(now)) {
        RequestPacket q;
        q.type = RoutingRequest;
        q.dateTime = w.dateTime;
        q.reason = ReasonAll;
        q.requestId = w.requestId;
        q.segmentId = w.segmentId;
        q.ip = w.from.ip;
        send(RoutingRequest, encode(q), w.from);
    }
}

void ConfigServer::setChannel(const ChannelFile &channel, int64_t now)
{
    if (!(channel.server == m_channel.server))
        trace(QStringLiteral("the channel file names the server %1; it keeps serving on %2 until it is started again")
                  .arg(channel.server.toString(), m_channel.server.toString()));
    const ChannelFile before = m_channel;
    const MembershipPacket listed = membership();
    m_channel.members = channel.members;
    m_channel.secret = channel.secret;
    m_channel.channelTimeoutMs = channel.channelTimeoutMs;
    m_state.members.removeIf([this](const MemberRecord &m) { return !m_channel.member(m.endpoint); });
    for (auto it = m_adoptions.begin(); it != m_adoptions.end();)
        it = m_channel.member({it->first.first, it->first.second}) ? std::next(it) : m_adoptions.erase(it);
    for (const ChannelMember &member : m_channel.members) {
        const ChannelMember *old = before.member(member.endpoint);
        if (!old || old->name != member.name) {
            m_adoptions[keyOf(member.endpoint)] = Adoption{};
            adopt(member, now);
        }
    }
    MembershipPacket after = membership();
    after.dateTime = listed.dateTime;
    if (!(after == listed))
        membershipChanged();
}

void ConfigServer::membershipChanged()
{
    m_state.membershipDateTime = nextDateTime();
    const MembershipPacket m = membership();
    const QByteArray body = encode(m);
    for (const ChannelMember &member : m_channel.members)
        send(ChannelMembership, body, member.endpoint);
    if (m_io.stateChanged)
        m_io.stateChanged();
}

void ConfigServer::routingReceived(const RoutingPacket &r, const QByteArray &body, const ChannelMember &from,
                                   int64_t now)
{
    m_adoptions[keyOf(from.endpoint)].acknowledged = true;     // it has taken our configuration
    if (!(r.unicast == from.endpoint))
        trace(QStringLiteral("the routing of %1 names %2 as its address").arg(from.endpoint.toString(), r.unicast.toString()));
    Adoption &a = m_adoptions[keyOf(from.endpoint)];
    a.next = std::max(a.next, now + RefreshMs);
    MemberRecord *record = m_state.find(from.endpoint);
    if (record && r.dateTime < record->routingDateTime) {
        respond(from.endpoint, RespBadMessage);     // older than the one kept
        return;
    }
    respond(from.endpoint, RespOk);
    if (record && record->routingDateTime == r.dateTime && record->routing == body)
        return;
    if (record) {
        record->routing = body;
        record->routingDateTime = r.dateTime;
    } else {
        m_state.members.append(MemberRecord{from.endpoint, body, r.dateTime});
    }
    membershipChanged();
}

void ConfigServer::requestReceived(const RequestPacket &q, const ChannelMember &from)
{
    const bool all = q.reason & ReasonAll;
    switch (q.type) {
    case MembershipRequest:
        send(ChannelMembership, encode(membership()), from.endpoint, q.requestId, q.segmentId, all);
        break;
    case RoutingRequest: {
        // The member with that address (and port, when the request names it); without a
        // port every member on the address, which the asker tells apart by their contents.
        int sent = 0;
        for (const ChannelMember &member : m_channel.members) {
            if (member.endpoint.ip != q.ip || (q.port && *q.port != member.endpoint.port))
                continue;
            if (const MemberRecord *record = m_state.find(member.endpoint)) {
                send(ChannelRouting, record->routing, from.endpoint, q.requestId, q.segmentId, all);
                ++sent;
            }
        }
        if (!sent)
            respond(from.endpoint, RespRefused, q.requestId, q.segmentId);
        break;
    }
    default:
        respond(from.endpoint, RespUnsupported, q.requestId, q.segmentId);   // statistics, send list, device configuration
        break;
    }
}

void ConfigServer::packet(const Packet &p, const Endpoint &from, int64_t now)
{
    const ChannelMember *member = m_channel.member(from);
    if (!member) {
        trace(QStringLiteral("refused %1 from %2: not a member of the channel").arg(describeConfigPacket(p), from.toString()));
        if (p.header.type == DeviceRegistration)
            respond(from, RespRefused);
        return;
    }
    trace(QStringLiteral("in %1 from %2").arg(describeConfigPacket(p), from.toString()));
    switch (p.header.type) {
    case DeviceRegistration:
        m_adoptions[keyOf(from)] = Adoption{};
        adopt(*member, now);
        break;
    case ConfigResponse:
        if (const auto r = decodeResponse(p.body); r && r->code == RespOk)
            acknowledged(from, now);
        break;
    case ChannelRouting:
        if (const auto r = decodeRouting(p.body))
            routingReceived(*r, p.body, *member, now);
        else
            respond(from, RespBadMessage);
        break;
    case Segment:
        if (const auto s = decodeSegment(p.body)) {
            if (const auto whole = m_segments.add(from, *s, now)) {
                for (const Packet &inner : parseDatagram(*whole).packets)
                    if (inner.header.type == ChannelRouting)
                        packet(inner, from, now);
            }
        }
        break;
    default:
        if (isRequest(p.header.type)) {
            if (const auto q = decodeRequest(p.header.type, p.body, p.header.vendor == VendorEchelon))
                requestReceived(*q, *member);
            else
                respond(from, RespBadMessage);
        }
        break;
    }
}

} // namespace lonsim::configserver
