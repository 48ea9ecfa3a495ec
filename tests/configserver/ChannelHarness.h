#pragma once
// A configuration server and its members wired together in memory, on one fake clock:
// every packet goes through a queue (where a test may lose some), and run() steps time
// forward 10 ms at a time, serving timers and the queue.

#include "lonsim/configserver/ConfigServer.h"

#include "lontalk/ip852/ChannelMember.h"

#include <QList>

#include <functional>
#include <map>
#include <memory>

namespace harness {

using namespace ip852;
using lonsim::configserver::ChannelFile;
using lonsim::configserver::ConfigServer;
using lonsim::configserver::MemberRecord;
using lonsim::configserver::ServerState;

constexpr uint32_t StartDateTime = 0xE8FE6F80;
const Endpoint ServerAt{0x7F000001, 1629};

inline Endpoint memberAt(int n)
{
    return Endpoint{0x7F000001, uint16_t(1700 + n)};
}

// A member's routing: one domain, subnet n, node 1.
inline RoutingPacket routingOf(int n, QByteArray domain = QByteArray(1, '\x4C'))
{
    RoutingPacket r;
    r.routerType = RouterRepeater;
    r.lonTalkFlags = 3;
    r.neuronIds = {NeuronId{2, 0, 0, 0, 0, uint8_t(n)}};
    r.subnetNodes = {RoutingPacket::SubnetNode{uint8_t(n), 1, 0, 0}};
    RoutingPacket::Domain d;
    d.subnets.fill(0xFF);
    d.groups.fill(0xFF);
    d.id = domain;
    r.domains = {d};
    return r;
}

// A server's state that already holds the routing of members first..last (each a
// little older than the start).
inline ServerState routingsKnown(int first, int last)
{
    ServerState state;
    for (int n = first; n <= last; ++n) {
        RoutingPacket r = routingOf(n);
        r.dateTime = StartDateTime - 100 + uint32_t(n);
        r.unicast = memberAt(n);
        state.members.append({memberAt(n), encode(r), r.dateTime});
    }
    return state;
}

struct Sent {
    QByteArray packet;
    Endpoint from;
    Endpoint to;
};

class Channel {
public:
    explicit Channel(QList<int> listed, QByteArray secret = {})
    {
        m_channel.server = ServerAt;
        m_channel.secret = secret;
        for (int n : listed)
            m_channel.members.append({memberAt(n), QByteArray("member ") + QByteArray::number(n)});
    }

    void startServer(ServerState state = {})
    {
        ConfigServer::Io io;
        io.send = [this](const QByteArray &packet, const Endpoint &to) { m_queue.append({packet, ServerAt, to}); };
        io.trace = [this](const QString &line) { serverTrace.append(line); };
        io.stateChanged = [this] { ++stateChanges; };
        m_server = std::make_unique<ConfigServer>(m_channel, std::move(state), io, [this] { return seconds(); });
        m_server->start(now);
    }
    void stopServer() { m_server.reset(); }

    // Starts member n (again, when it ran), with what it kept from a run before.
    ChannelMember &startMember(int n, MemberPace pace = MemberPace(), const ChannelMember::Kept *kept = nullptr,
                               const QByteArray &domain = QByteArray(1, '\x4C'))
    {
        MemberSettings s;
        s.self = memberAt(n);
        s.server = ServerAt;
        s.routing = routingOf(n, domain);
        s.name = QByteArray("host ") + QByteArray::number(n);
        s.secret = m_channel.secret;
        ChannelMember::Io io;
        io.send = [this, n](const QByteArray &packet, const Endpoint &to) { m_queue.append({packet, memberAt(n), to}); };
        io.trace = [this, n](const QString &line) { traces[n].append(line); };
        auto member = std::make_unique<ChannelMember>(s, io, [this] { return seconds(); }, pace);
        ChannelMember &m = *member;
        m_members[n] = std::move(member);
        if (kept)
            m.restore(*kept);
        m.start(now);
        return m;
    }
    ChannelMember &member(int n) { return *m_members.at(n); }
    ConfigServer &server() { return *m_server; }

    // Steps time by ms, 10 ms at a time, delivering every packet sent.
    void run(int ms)
    {
        for (int t = 0; t < ms; t += 10) {
            now += 10;
            if (m_server)
                m_server->tick(now);
            for (auto &[n, m] : m_members)
                m->tick(now);
            deliver();
        }
    }

    void deliver()
    {
        while (!m_queue.isEmpty()) {
            const Sent s = m_queue.takeFirst();
            log.append(s);
            if (lose && lose(s))
                continue;
            const DatagramParse parsed = parseDatagram(s.packet, m_channel.secret);
            for (const Packet &p : parsed.packets) {
                if (s.to == ServerAt) {
                    if (m_server)
                        m_server->packet(p, s.from, now);
                    continue;
                }
                for (auto &[n, m] : m_members)
                    if (memberAt(n) == s.to)
                        m->packet(p, s.from, now);
            }
        }
    }

    // Packets of a type sent so far (from anyone when from.ip is 0).
    QList<Packet> sent(uint8_t type, Endpoint from = {}, Endpoint to = {}) const
    {
        QList<Packet> out;
        for (const Sent &s : log)
            if ((from.ip == 0 || s.from == from) && (to.ip == 0 || s.to == to))
                for (const Packet &p : parseDatagram(s.packet, m_channel.secret).packets)
                    if (p.header.type == type)
                        out.append(p);
        return out;
    }

    uint32_t seconds() const { return StartDateTime + uint32_t(now / 1000); }

    int64_t now = 0;
    QList<Sent> log;
    QStringList serverTrace;
    std::map<int, QStringList> traces;
    int stateChanges = 0;
    std::function<bool(const Sent &)> lose;

private:
    ChannelFile m_channel;
    std::unique_ptr<ConfigServer> m_server;
    std::map<int, std::unique_ptr<ChannelMember>> m_members;
    QList<Sent> m_queue;
};

} // namespace harness
