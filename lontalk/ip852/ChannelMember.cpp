#include "lontalk/ip852/ChannelMember.h"

#include <QDateTime>

namespace ip852 {

namespace {

// The routing packet's content, its dateTime aside.
bool sameRouting(RoutingPacket a, RoutingPacket b)
{
    a.dateTime = b.dateTime = 0;
    return a == b;
}

} // namespace

ChannelMember::ChannelMember(MemberSettings settings, Io io, DateTimeClock clock, MemberPace pace)
    : m_settings(std::move(settings)), m_io(std::move(io)), m_clock(std::move(clock)), m_pace(pace)
{
    if (!m_clock)
        m_clock = [] { return dateTimeOfUnix(QDateTime::currentSecsSinceEpoch()); };
    m_settings.routing.unicast = m_settings.self;
    m_settings.routing.dateTime = nextDateTime();
}

uint32_t ChannelMember::nextDateTime()
{
    // Strictly increasing, whatever the clock does.
    m_lastDateTime = std::max(m_clock(), m_lastDateTime + 1);
    return m_lastDateTime;
}

uint32_t ChannelMember::stamp() const
{
    // Acknowledgements and requests carry the time without taking a new dateTime: only the
    // packets whose dateTime is compared (the routing) move the count ahead of the clock.
    return std::max(m_clock(), m_lastDateTime);
}

void ChannelMember::trace(const QString &line) const
{
    if (m_io.trace)
        m_io.trace(line);
}

void ChannelMember::changed() const
{
    if (m_io.changed)
        m_io.changed();
}

void ChannelMember::restore(const Kept &k)
{
    m_lastDateTime = std::max(m_lastDateTime, k.lastDateTime);
    const bool unchanged =
        k.routing.dateTime != 0 && k.routing.unicast == m_settings.self && sameRouting(k.routing, m_settings.routing);
    if (unchanged) {
        m_settings.routing.dateTime = k.routing.dateTime;
        m_lastDateTime = std::max(m_lastDateTime, k.routing.dateTime);
    } else {
        m_settings.routing.dateTime = nextDateTime();   // newer than any kept
    }
    if (!k.membership)
        return;
    m_membership = k.membership;
    m_routes.clear();
    for (const RoutingPacket &r : k.routes) {
        const MembershipPacket::Member *entry = entryOf(r.unicast);
        if (entry && entry->endpoint == r.unicast && !(r.unicast == m_settings.self))
            m_routes[keyOf(r.unicast)] = r;
    }
    // The server holds this routing when the membership lists this member with its dateTime.
    for (const MembershipPacket::Member &entry : std::as_const(m_membership->members))
        if (entry.endpoint == m_settings.self)
            m_serverHasRouting = unchanged && entry.routingDateTime == m_settings.routing.dateTime;
    findWanted();
    updatePeers();
}

ChannelMember::Kept ChannelMember::kept() const
{
    Kept k;
    k.routing = m_settings.routing;
    k.membership = m_membership;
    for (const auto &[key, routing] : m_routes)
        k.routes.append(routing);
    k.lastDateTime = m_lastDateTime;
    return k;
}

void ChannelMember::send(uint8_t type, const QByteArray &body, uint16_t vendor)
{
    const QByteArray packet = buildConfigPacket(type, body, m_settings.secret, vendor);
    Packet p;
    p.header.type = type;
    p.header.vendor = vendor;
    p.body = body;
    trace(QStringLiteral("out %1 to %2").arg(describeConfigPacket(p), m_settings.server.toString()));
    m_io.send(packet, m_settings.server);
}

void ChannelMember::sendRequest(RequestPacket request)
{
    request.dateTime = stamp();
    send(request.type, encode(request));
}

void ChannelMember::askMembership()
{
    RequestPacket q;
    q.type = MembershipRequest;
    sendRequest(q);
}

void ChannelMember::acknowledge(uint8_t code, uint16_t requestId, uint8_t segmentId)
{
    send(ConfigResponse, encode(ResponsePacket{stamp(), code, requestId, segmentId}));
}

void ChannelMember::sendRegistration(uint8_t type)
{
    RegistrationPacket r;
    r.dateTime = stamp();
    r.routerType = m_settings.routing.routerType;
    r.lonTalkFlags = m_settings.routing.lonTalkFlags;
    r.nodeType = m_settings.routing.nodeType;
    r.unicast = m_settings.self;
    r.membershipDateTime = m_membership ? m_membership->dateTime : 0;
    r.server = m_settings.server;
    r.neuronIds = m_settings.routing.neuronIds;
    r.name = m_settings.name;
    send(type, encode(r));
}

void ChannelMember::sendOwnRouting()
{
    send(ChannelRouting, encode(m_settings.routing));
}

void ChannelMember::start(int64_t now)
{
    m_wants = WantConfiguration;
    cycle(now);
}

void ChannelMember::soon(int64_t now)
{
    m_repeats = 0;
    m_nextCycle = now + m_pace.quickMs;
}

void ChannelMember::again(int64_t now)
{
    m_repeats = 0;
    m_nextCycle = now + m_pace.repeatMs;
}

void ChannelMember::setRouting(const RoutingPacket &routing, int64_t now)
{
    RoutingPacket next = routing;
    next.unicast = m_settings.self;
    if (sameRouting(next, m_settings.routing))
        return;
    next.dateTime = nextDateTime();
    m_settings.routing = next;
    m_serverHasRouting = false;
    changed();
    if (!m_registered)
        return;         // it goes to the server once the server has taken this member
    sendOwnRouting();
    m_wants |= WantRoutingSent;
    again(now);
}

bool ChannelMember::packet(const Packet &p, const Endpoint &from, int64_t now)
{
    if (!(from == m_settings.server))
        return false;
    trace(QStringLiteral("in %1 from %2").arg(describeConfigPacket(p), from.toString()));
    switch (p.header.type) {
    case DeviceConfiguration:
        if (const auto d = decodeRegistration(p.body))
            configurationReceived(*d, now);
        break;
    case ChannelMembership:
        if (const auto m = decodeMembership(p.body))
            membershipReceived(*m, now);
        break;
    case ChannelRouting:
        if (const auto r = decodeRouting(p.body))
            routingReceived(*r, now);
        break;
    case ConfigResponse:
        if (const auto r = decodeResponse(p.body))
            responseReceived(*r, now);
        break;
    case Segment:
        if (const auto s = decodeSegment(p.body)) {
            if (const auto whole = m_segments.add(from, *s, now)) {
                // Put together from digest-checked pieces: the whole is not checked again.
                const DatagramParse inner = parseDatagram(*whole);
                for (const Packet &q : inner.packets)
                    if (q.header.type == ChannelMembership || q.header.type == ChannelRouting)
                        packet(q, from, now);
            }
        }
        break;
    default:
        if (isRequest(p.header.type))
            if (const auto q = decodeRequest(p.header.type, p.body, p.header.vendor == VendorEchelon))
                requestReceived(*q);
        break;
    }
    return true;
}

void ChannelMember::configurationReceived(const RegistrationPacket &d, int64_t now)
{
    acknowledge(RespOk);
    if (!(d.server == m_settings.server))
        trace(QStringLiteral("the server names itself %1; this member keeps %2")
                  .arg(d.server.toString(), m_settings.server.toString()));
    if (d.unicast.port != m_settings.self.port && d.unicast.port != 0)
        trace(QStringLiteral("the server gives this member port %1; it keeps %2").arg(d.unicast.port).arg(m_settings.self.port));
    m_registered = true;
    m_wants &= ~WantConfiguration;
    // A newer membership than the one held (or none): the server has news, or lost its
    // state; either way it gets this routing again. A routing it never acknowledged goes
    // to it too. Otherwise (kept from the last run) there is nothing to tell.
    const bool behind = !m_membership || d.membershipDateTime > m_membership->dateTime;
    if (behind || !m_serverHasRouting) {
        sendOwnRouting();
        m_wants |= WantRoutingSent;
    }
    if (behind)
        m_wants |= WantMembership;
    else if (!m_wanted.isEmpty())
        m_wants |= WantRoutings;
    if (m_wants)
        soon(now);
}

const MembershipPacket::Member *ChannelMember::entryOf(const Endpoint &e) const
{
    if (!m_membership)
        return nullptr;
    const MembershipPacket::Member *sameIp = nullptr;
    int sameIpCount = 0;
    for (const MembershipPacket::Member &m : m_membership->members) {
        if (m.endpoint == e)
            return &m;
        if (m.endpoint.ip == e.ip) {
            sameIp = &m;
            ++sameIpCount;
        }
    }
    // A member behind NAT reports another port; taken when its address is unique.
    return sameIpCount == 1 ? sameIp : nullptr;
}

void ChannelMember::membershipReceived(const MembershipPacket &m, int64_t now)
{
    m_wants &= ~WantMembership;
    if (m_membership && m.dateTime <= m_membership->dateTime) {
        askRoutings();      // up to date: only the routing packets still missing
        return;
    }
    m_membership = m;
    m_rejected = 0;
    for (auto it = m_routes.begin(); it != m_routes.end();) {
        const Endpoint e{it->first.first, it->first.second};
        const auto *entry = entryOf(e);
        it = entry && entry->endpoint == e ? std::next(it) : m_routes.erase(it);
    }
    findWanted();
    updatePeers();
    changed();
    if (!m_wanted.isEmpty()) {
        m_wants |= WantRoutings;
        askRoutings();
    } else {
        m_wants &= ~WantRoutings;
    }
    if (m_wants)
        again(now);
}

void ChannelMember::findWanted()
{
    m_wanted.clear();
    for (const MembershipPacket::Member &entry : m_membership->members) {
        if (entry.endpoint == m_settings.self)
            continue;
        const auto route = m_routes.find(keyOf(entry.endpoint));
        if (route == m_routes.end() || (entry.routingDateTime != 0 && route->second.dateTime != entry.routingDateTime))
            m_wanted.append(entry.endpoint);
    }
}

void ChannelMember::askRoutings()
{
    if (!m_membership)
        return;
    int asked = 0;
    for (const Endpoint &e : std::as_const(m_wanted)) {
        if (asked++ >= MaxRequestsPerCycle)
            break;
        qsizetype index = 0;
        while (index < m_membership->members.size() && !(m_membership->members[index].endpoint == e))
            ++index;
        RequestPacket q;
        q.type = RoutingRequest;
        q.reason = ReasonAll;
        q.requestId = uint16_t(RoutingRequestBase + index);
        q.ip = e.ip;
        sendRequest(q);
    }
}

void ChannelMember::routingReceived(const RoutingPacket &r, int64_t now)
{
    if (r.unicast == m_settings.self)
        return;     // our own, sent back with the others on our address
    const MembershipPacket::Member *entry = entryOf(r.unicast);
    if (!entry) {
        trace(QStringLiteral("routing of %1 ignored: not a member of the channel").arg(r.unicast.toString()));
        return;
    }
    const Endpoint member = entry->endpoint;
    const auto stored = m_routes.find(keyOf(member));
    if (stored != m_routes.end() && entry->routingDateTime != 0 && r.dateTime != entry->routingDateTime) {
        acknowledge(RespBadMessage);
        if (++m_rejected > 3) {
            // The membership is behind the routing packets: ask for it again.
            m_rejected = 0;
            m_wants |= WantMembership;
            askMembership();
            again(now);
        }
        return;
    }
    const auto held = m_routes.find(keyOf(member));
    const bool news = held == m_routes.end() || !(held->second == r);
    m_routes[keyOf(member)] = r;
    m_wanted.removeAll(member);
    if (m_wanted.isEmpty())
        m_wants &= ~WantRoutings;
    updatePeers();
    if (news)
        changed();
}

void ChannelMember::responseReceived(const ResponsePacket &c, int64_t)
{
    if (c.requestId >= RoutingRequestBase) {
        const int index = c.requestId - RoutingRequestBase;
        if (m_membership && index < m_membership->members.size()) {
            const Endpoint member = m_membership->members[index].endpoint;
            if (m_wanted.removeAll(member) > 0)
                trace(QStringLiteral("the server has no routing for %1 (code %2)").arg(member.toString()).arg(c.code));
        }
        if (m_wanted.isEmpty())
            m_wants &= ~WantRoutings;
        return;
    }
    if (c.code == RespRefused && (m_wants & WantConfiguration))
        trace(QStringLiteral("the server refuses this member (%1): it does not list it").arg(m_settings.self.toString()));
    if ((m_wants & WantRoutingSent) && c.code == RespBadMessage) {
        // The server holds a newer routing of this member (one a later run gave it and did
        // not keep): this one goes again under a newer dateTime.
        m_settings.routing.dateTime = nextDateTime();
        sendOwnRouting();
        changed();
        return;
    }
    if ((m_wants & WantRoutingSent) && c.code == RespOk)
        m_serverHasRouting = true;
    m_wants &= ~WantRoutingSent;
}

void ChannelMember::requestReceived(const RequestPacket &q)
{
    switch (q.type) {
    case DeviceConfigRequest:
        sendRegistration(DeviceConfiguration);
        break;
    case MembershipRequest:
        if (m_membership)
            send(ChannelMembership, encode(*m_membership));
        else
            acknowledge(RespCannotComply, q.requestId, q.segmentId);
        break;
    case RoutingRequest:
        if (q.ip == 0 || (q.ip == m_settings.self.ip && (!q.port || *q.port == m_settings.self.port)))
            sendOwnRouting();
        else
            acknowledge(RespRefused, q.requestId, q.segmentId);
        break;
    default:
        acknowledge(RespUnsupported, q.requestId, q.segmentId);     // statistics, send list
        break;
    }
}

void ChannelMember::tick(int64_t now)
{
    for (const SegmentAssembler::Wanted &w : m_segments.wanted(now)) {
        RequestPacket q;
        // Before segment 0 has come the packet's type is unknown; the request ID tells
        // which request the stream answers.
        const bool routing = w.innerType == ChannelRouting
                             || (w.innerType == 0 && w.requestId >= RoutingRequestBase);
        q.type = routing ? RoutingRequest : MembershipRequest;
        q.reason = ReasonAll;
        q.requestId = w.requestId;
        q.segmentId = w.segmentId;
        q.dateTime = w.dateTime;
        if (q.type == RoutingRequest && m_membership && w.requestId >= RoutingRequestBase
            && w.requestId - RoutingRequestBase < m_membership->members.size())
            q.ip = m_membership->members[w.requestId - RoutingRequestBase].endpoint.ip;
        send(q.type, encode(q));
    }
    if (m_nextCycle >= 0 && now >= m_nextCycle)
        cycle(now);
}

void ChannelMember::cycle(int64_t now)
{
    if (m_wants & WantConfiguration) {
        sendRegistration(DeviceRegistration);
    } else {
        if (m_wants & WantMembership) {
            if (!m_segments.arriving(m_settings.server, ChannelMembership))
                askMembership();
        } else if (m_wants & WantRoutings) {
            askRoutings();
        }
        if (m_wants & WantRoutingSent)
            sendOwnRouting();
    }
    if (!m_wants) {
        m_nextCycle = -1;
        return;
    }
    ++m_repeats;
    m_nextCycle = now + (m_repeats < m_pace.fastRepeats ? m_pace.repeatMs
                         : m_repeats == m_pace.fastRepeats ? m_pace.repeatMs / 2
                                                           : m_pace.slowMs);
}

void ChannelMember::updatePeers()
{
    QList<Endpoint> peers;
    if (m_membership)
        for (const MembershipPacket::Member &entry : m_membership->members)
            if (!(entry.endpoint == m_settings.self) && m_routes.count(keyOf(entry.endpoint)))
                peers.append(entry.endpoint);
    if (peers == m_peers)
        return;
    m_peers = peers;
    QStringList names;
    for (const Endpoint &e : std::as_const(m_peers))
        names.append(e.toString());
    trace(QStringLiteral("peers now: %1").arg(names.isEmpty() ? QStringLiteral("none") : names.join(QLatin1Char(' '))));
}

QString ChannelMember::state() const
{
    QStringList waiting;
    if (m_wants & WantConfiguration)
        waiting.append(QStringLiteral("its device configuration"));
    if (m_wants & WantRoutingSent)
        waiting.append(QStringLiteral("the acknowledgement of our routing"));
    if (m_wants & WantMembership)
        waiting.append(QStringLiteral("the membership"));
    if (m_wants & WantRoutings)
        waiting.append(QStringLiteral("%1 routing packet(s)").arg(m_wanted.size()));
    return QStringLiteral("configuration server %1: %2, %3 member(s) listed, %4 peer(s)%5")
        .arg(m_settings.server.toString(), m_registered ? QStringLiteral("registered") : QStringLiteral("not registered"))
        .arg(m_membership ? m_membership->members.size() : 0)
        .arg(m_peers.size())
        .arg(waiting.isEmpty() ? QString() : QStringLiteral(", waiting for ") + waiting.join(QStringLiteral(", ")));
}

} // namespace ip852
