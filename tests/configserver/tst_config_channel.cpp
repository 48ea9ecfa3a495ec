// A unicast channel run by the configuration server, members and server wired in memory
// on one fake clock: members join and see each other, an unlisted member is refused, a
// member listed late is adopted and reached, a removed one dropped, the server restarted
// with and without its state, a routing change followed, lost packets recovered, a
// large membership in segments; and a member's own rules against a scripted server (the
// dateTime rule, requests answered, packets not from the server ignored).
#include "ChannelHarness.h"

#include <QtTest>

using namespace harness;

namespace {

QList<Endpoint> endpoints(QList<int> members)
{
    QList<Endpoint> out;
    for (int n : members)
        out.append(memberAt(n));
    return out;
}

Packet packetOf(uint8_t type, const QByteArray &body)
{
    return parseDatagram(buildConfigPacket(type, body)).packets.value(0);
}

} // namespace

class TestConfigChannel : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void membersJoinAndSeeEachOther_data()
    {
        QTest::addColumn<QByteArray>("secret");
        QTest::newRow("plain") << QByteArray();
        QTest::newRow("MD5") << QByteArray("0123456789abcdef");
    }

    void membersJoinAndSeeEachOther()
    {
        QFETCH(QByteArray, secret);
        Channel c({1, 2, 3}, secret);
        c.startServer();
        c.startMember(1);
        c.startMember(2);
        c.startMember(3);
        c.run(3000);
        for (int n : {1, 2, 3}) {
            QVERIFY2(c.member(n).settled(), qPrintable(c.member(n).state()));
            QList<int> others{1, 2, 3};
            others.removeAll(n);
            QCOMPARE(c.member(n).peers(), endpoints(others));
            QVERIFY(c.server().adopted(memberAt(n)));
        }
        QCOMPARE(c.server().membership().members.size(), 3);
        QCOMPARE(c.server().state().members.size(), 3);
        QVERIFY(c.stateChanges > 0);
        // Every packet is configuration: session, sequence and timestamp 0.
        for (const Sent &s : std::as_const(c.log))
            for (const Packet &p : parseDatagram(s.packet, secret).packets)
                QVERIFY(p.header.session == 0 && p.header.sequence == 0 && p.header.timestamp == 0);
        // Once settled, only the server's refresh (device configuration and its
        // acknowledgement) goes out: two packets per member and period.
        const qsizetype quiet = c.log.size();
        c.run(ConfigServer::RefreshMs);
        QCOMPARE(c.log.size(), quiet + 2 * 3);
    }

    // A member the channel file does not name is refused and never listed; the others
    // never hear of it.
    void unlistedMemberRefused()
    {
        Channel c({1, 2});
        c.startServer();
        c.startMember(1);
        c.startMember(2);
        ChannelMember &stranger = c.startMember(9);
        c.run(3000);
        QVERIFY(!stranger.registered());
        QVERIFY(stranger.peers().isEmpty());
        QCOMPARE(c.member(1).peers(), endpoints({2}));
        QVERIFY(!c.server().state().find(memberAt(9)));
        const QList<Packet> refusals = c.sent(ConfigResponse, ServerAt, memberAt(9));
        QVERIFY(!refusals.isEmpty());
        QCOMPARE(decodeResponse(refusals.first().body)->code, uint8_t(RespRefused));
        QVERIFY(c.serverTrace.filter(QStringLiteral("not a member of the channel")).size() > 0);
        QVERIFY(c.traces[9].filter(QStringLiteral("refuses this member")).size() > 0);
    }

    // A member listed after the others joined is adopted at once, and the others reach it.
    void memberListedLate()
    {
        Channel c({1, 2});
        c.startServer();
        c.startMember(1);
        c.startMember(2);
        c.startMember(3);
        c.run(15000);      // member 3 has long fallen back to asking every 30 s
        QVERIFY(!c.member(3).registered());
        ChannelFile more = c.server().channel();
        more.members.append({memberAt(3), "late"});
        c.server().setChannel(more, c.now);
        c.run(1000);
        QVERIFY(c.member(3).settled());
        QCOMPARE(c.member(1).peers(), endpoints({2, 3}));
        QCOMPARE(c.member(3).peers(), endpoints({1, 2}));

        // Taken off the list again: the others drop it.
        ChannelFile fewer = c.server().channel();
        fewer.members.removeLast();
        c.server().setChannel(fewer, c.now);
        c.run(1000);
        QCOMPARE(c.member(1).peers(), endpoints({2}));
        QCOMPARE(c.member(2).peers(), endpoints({1}));
        QVERIFY(!c.server().state().find(memberAt(3)));
    }

    void serverRestarted_data()
    {
        QTest::addColumn<bool>("keepsState");
        QTest::newRow("with its state") << true;
        QTest::newRow("state lost") << false;
    }

    // The server goes away and comes back: members keep their peers meanwhile, register
    // again when it adopts them, and a routing change after the restart reaches the others.
    void serverRestarted()
    {
        QFETCH(bool, keepsState);
        Channel c({1, 2});
        c.startServer();
        c.startMember(1);
        c.startMember(2);
        c.run(2000);
        const ServerState saved = c.server().state();
        c.stopServer();
        c.run(5000);
        QCOMPARE(c.member(1).peers(), endpoints({2}));
        const qsizetype before = c.sent(ChannelRouting, memberAt(1)).size();
        c.startServer(keepsState ? saved : ServerState{});
        c.run(2000);
        QVERIFY(c.member(1).settled() && c.member(2).settled());
        QCOMPARE(c.member(1).peers(), endpoints({2}));
        QCOMPARE(c.server().membership().members.size(), 2);
        // Without its state the server learns the routing again; with it, nothing is resent.
        QCOMPARE(c.sent(ChannelRouting, memberAt(1), ServerAt).size() > before, !keepsState);
        QVERIFY(c.server().membership().dateTime > saved.membershipDateTime || keepsState);

        RoutingPacket moved = routingOf(1, QByteArray::fromHex("123456"));
        c.member(1).setRouting(moved, c.now);
        c.run(2000);
        const MemberRecord *record = c.server().state().find(memberAt(1));
        QVERIFY(record);
        QCOMPARE(decodeRouting(record->routing)->domains.first().id, QByteArray::fromHex("123456"));
        // Member 2 asked for the new routing packet of member 1.
        QVERIFY(c.sent(ChannelRouting, ServerAt, memberAt(2)).size() >= 2);
        QVERIFY(c.member(2).settled());
    }

    void memberStartedAgainWithWhatItKept_data()
    {
        QTest::addColumn<bool>("routingChanged");
        QTest::addColumn<bool>("serverAway");
        QTest::addColumn<int>("memberships");
        QTest::newRow("unchanged") << false << false << 0;
        QTest::newRow("unchanged, server away") << false << true << 0;
        // The server issues a new membership to its three members.
        QTest::newRow("routing changed") << true << false << 3;
    }

    // A member's host runs again with what the member kept: an unchanged routing keeps its
    // dateTime, so the server has nothing to tell the channel; the peers are there before
    // the server answers, or without it.
    void memberStartedAgainWithWhatItKept()
    {
        QFETCH(bool, routingChanged);
        QFETCH(bool, serverAway);
        QFETCH(int, memberships);
        Channel c({1, 2, 3});
        c.startServer();
        for (int n : {1, 2, 3})
            c.startMember(n);
        c.run(3000);
        const ChannelMember::Kept kept = c.member(1).kept();
        QCOMPARE(kept.routes.size(), 2);
        if (serverAway)
            c.stopServer();
        c.run(1000);
        const qsizetype logged = c.log.size();
        ChannelMember &again = c.startMember(1, MemberPace(), &kept, QByteArray(routingChanged ? "\x4D" : "\x4C"));
        QCOMPARE(again.peers(), endpoints({2, 3}));
        QVERIFY(again.knowsChannel());
        c.run(3000);
        int sent = 0;
        for (const Sent &p : c.log.mid(logged))
            sent += p.from == ServerAt && parseDatagram(p.packet).packets.value(0).header.type == ChannelMembership;
        QCOMPARE(sent, memberships);
        QCOMPARE(again.peers(), endpoints({2, 3}));
        QCOMPARE(again.kept().routing.dateTime == kept.routing.dateTime, !routingChanged);
        QCOMPARE(again.settled(), !serverAway);
    }

    // A third of the packets lost: registrations, adoptions and requests are repeated until
    // the channel is complete.
    void lossyChannel()
    {
        Channel c({1, 2});
        QRandomGenerator random(42);
        c.lose = [&random](const Sent &) { return random.bounded(3) == 0; };
        c.startServer();
        c.startMember(1);
        c.startMember(2);
        c.run(2 * ConfigServer::RefreshMs + 5000);
        QVERIFY2(c.member(1).settled(), qPrintable(c.member(1).state()));
        QVERIFY2(c.member(2).settled(), qPrintable(c.member(2).state()));
        QCOMPARE(c.member(1).peers(), endpoints({2}));
        QCOMPARE(c.member(2).peers(), endpoints({1}));
    }

    // 60 members: the membership (736 bytes) comes in segments, and every routing
    // packet is asked for (at most 50 a cycle).
    void largeMembership()
    {
        QList<int> listed;
        for (int n = 1; n <= 60; ++n)
            listed.append(n);
        Channel c(listed);
        c.startServer(routingsKnown(2, 60));
        c.startMember(1);
        c.run(5000);
        QVERIFY2(c.member(1).settled(), qPrintable(c.member(1).state()));
        QCOMPARE(c.member(1).peers().size(), 59);
        QVERIFY(!c.sent(Segment, ServerAt, memberAt(1)).isEmpty());
        for (const Sent &s : std::as_const(c.log))
            QVERIFY(s.packet.size() <= MaxDatagram);
    }

    // A routing packet of 8 domains comes in segments; when its first segment is lost the
    // member asks for the missing one as a routing request (the request ID says which
    // packet it is), never as a membership request, and gets the routing.
    void lostFirstSegmentOfARouting()
    {
        Channel c({1, 2});
        ServerState state = routingsKnown(2, 2);
        RoutingPacket large = routingOf(2);
        for (char id = 1; large.domains.size() < 8; ++id) {
            RoutingPacket::Domain d = large.domains.first();
            d.id = QByteArray(1, id);
            large.domains.append(d);
        }
        large.dateTime = state.members.first().routingDateTime;
        large.unicast = memberAt(2);
        state.members.first().routing = encode(large);
        bool lost = false;
        c.lose = [&lost, &c](const Sent &s) {
            if (lost || s.to != memberAt(1))
                return false;
            for (const Packet &p : parseDatagram(s.packet, {}).packets) {
                const std::optional<SegmentPacket> segment = p.header.type == Segment ? decodeSegment(p.body) : std::nullopt;
                if (segment && segment->segmentId == 0 && segment->requestId >= ChannelMember::RoutingRequestBase)
                    return lost = true;
            }
            return false;
        };
        c.startServer(state);
        c.startMember(1);
        c.run(5000);
        QVERIFY(lost);
        for (const Packet &p : c.sent(MembershipRequest, memberAt(1)))
            QVERIFY(decodeRequest(MembershipRequest, p.body)->requestId < ChannelMember::RoutingRequestBase);
        QVERIFY2(c.member(1).settled(), qPrintable(c.member(1).state()));
        QCOMPARE(c.member(1).peers(), endpoints({2}));
    }

    // A routing packet whose dateTime is not the one the membership names is refused
    // (code 2); after more than three the member asks for the membership again.
    void dateTimeRule()
    {
        Channel c({});
        ChannelMember &m = c.startMember(1);
        m.packet(packetOf(DeviceConfiguration, encode(RegistrationPacket{})), ServerAt, c.now);
        MembershipPacket members;
        members.dateTime = StartDateTime + 5;
        members.members = {{memberAt(1), 0}, {memberAt(2), StartDateTime + 3}};
        m.packet(packetOf(ChannelMembership, encode(members)), ServerAt, c.now);
        RoutingPacket r = routingOf(2);
        r.unicast = memberAt(2);
        r.dateTime = StartDateTime + 3;
        m.packet(packetOf(ChannelRouting, encode(r)), ServerAt, c.now);
        QCOMPARE(m.peers(), endpoints({2}));

        const qsizetype asked = c.sent(MembershipRequest).size();
        for (int i = 1; i <= 4; ++i) {
            r.dateTime = StartDateTime + 3 + uint32_t(i);
            m.packet(packetOf(ChannelRouting, encode(r)), ServerAt, c.now);
        }
        c.deliver();
        const QList<Packet> refusals = c.sent(ConfigResponse, memberAt(1));
        QVERIFY(refusals.size() >= 4);
        QCOMPARE(decodeResponse(refusals.last().body)->code, uint8_t(RespBadMessage));
        QCOMPARE(c.sent(MembershipRequest).size(), asked + 1);

        // An older membership changes nothing; a newer one without member 2 drops it.
        MembershipPacket older = members;
        older.dateTime -= 1;
        older.members.removeLast();
        m.packet(packetOf(ChannelMembership, encode(older)), ServerAt, c.now);
        QCOMPARE(m.peers(), endpoints({2}));
        MembershipPacket newer = older;
        newer.dateTime = StartDateTime + 9;
        m.packet(packetOf(ChannelMembership, encode(newer)), ServerAt, c.now);
        QVERIFY(m.peers().isEmpty());
    }

    // The server's requests are answered from the member's own data; packets from
    // anyone but the server are ignored.
    void requestsAnswered()
    {
        Channel c({});
        ChannelMember &m = c.startMember(1);
        c.deliver();
        const auto ask = [&](uint8_t type, uint32_t ip = 0) {
            RequestPacket q;
            q.type = type;
            q.requestId = 77;
            q.ip = ip;
            const qsizetype before = c.log.size();
            m.packet(packetOf(type, encode(q)), ServerAt, c.now);
            c.deliver();
            return c.log.mid(before);
        };
        QList<Sent> answer = ask(DeviceConfigRequest);
        QCOMPARE(answer.size(), 1);
        Packet p = parseDatagram(answer.first().packet).packets.value(0);
        QCOMPARE(p.header.type, uint8_t(DeviceConfiguration));
        QCOMPARE(decodeRegistration(p.body)->unicast, memberAt(1));
        QCOMPARE(decodeRegistration(p.body)->name, QByteArray("host 1"));

        answer = ask(RoutingRequest, memberAt(1).ip);
        p = parseDatagram(answer.value(0).packet).packets.value(0);
        QCOMPARE(p.header.type, uint8_t(ChannelRouting));
        QCOMPARE(decodeRouting(p.body)->domains.size(), 1);

        answer = ask(RoutingRequest, 0x0A000001);
        p = parseDatagram(answer.value(0).packet).packets.value(0);
        QCOMPARE(decodeResponse(p.body)->code, uint8_t(RespRefused));
        QCOMPARE(decodeResponse(p.body)->requestId, uint16_t(77));
        answer = ask(SendListRequest);
        QCOMPARE(decodeResponse(parseDatagram(answer.value(0).packet).packets.value(0).body)->code, uint8_t(RespUnsupported));

        // A device configuration from a stranger is not taken.
        QVERIFY(!m.packet(packetOf(DeviceConfiguration, encode(RegistrationPacket{})), memberAt(5), c.now));
        QVERIFY(!m.registered());
    }
};

QTEST_GUILESS_MAIN(TestConfigChannel)
#include "tst_config_channel.moc"
