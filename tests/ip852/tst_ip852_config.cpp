// The configuration packets of a unicast IP-852 channel: the example exchange between a
// configuration server, a device and a host decoded and rebuilt byte for byte, every
// truncated length refused, counts out of bounds refused, and segments cut and put
// together (in and out of order, older and newer packets, missing ones asked for).
#include "lontalk/ip852/ConfigPackets.h"
#include "lontalk/ip852/Segments.h"

#include <QtTest>

using namespace ip852;

namespace {

const QByteArray Zero16(16, '\0');
constexpr uint32_t T = 0xE8FE6F80;
const Endpoint Server{0x7F000001, 1629};
const Endpoint Device{0x7F000002, 1628};
const Endpoint Host{0x7F000003, 1628};
const NeuronId DeviceId{0xFE, 0xA6, 0x57, 0xCF, 0x7D, 0x91};

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// The packet's header: its size, version 1, the type, everything else 0.
QByteArray header(int size, uint8_t type)
{
    QByteArray h;
    h.append(char(size >> 8)).append(char(size)).append(char(1)).append(char(type));
    return h + Zero16;
}

RegistrationPacket exampleConfiguration()
{
    RegistrationPacket d;
    d.dateTime = T;
    d.ipFlags = 1;
    d.routerType = 0;
    d.lonTalkFlags = 2;
    d.nodeType = 1;
    d.channelTimeoutMs = 1000;
    d.unicast = Device;
    d.membershipDateTime = T + 1;
    d.server = Server;
    d.neuronIds = {DeviceId};
    d.name = "dev";
    return d;
}

RoutingPacket exampleHostRouting()
{
    RoutingPacket r;
    r.dateTime = T + 3;
    r.unicast = Host;
    r.ipFlags = 1;
    r.routerType = RouterRepeater;
    r.lonTalkFlags = 3;
    r.nodeType = 1;
    r.neuronIds = {NeuronId{0x02, 0xAB, 0xCD, 0x00, 0x00, 0x01}};
    r.subnetNodes = {RoutingPacket::SubnetNode{1, 0x7E, 0, 0}};
    RoutingPacket::Domain d;
    d.subnets.fill(0xFF);
    d.groups.fill(0xFF);
    d.id = QByteArray(1, '\x42');
    r.domains = {d};
    return r;
}

// The body of the packet with that type, decoded and encoded again.
QByteArray roundTrip(uint8_t type, const QByteArray &body, bool extended)
{
    switch (type) {
    case DeviceRegistration:
    case DeviceConfiguration: {
        const auto d = decodeRegistration(body);
        return d ? encode(*d) : QByteArray();
    }
    case ChannelMembership: {
        const auto d = decodeMembership(body);
        return d ? encode(*d) : QByteArray();
    }
    case ConfigResponse: {
        const auto d = decodeResponse(body);
        return d ? encode(*d) : QByteArray();
    }
    case ChannelRouting: {
        const auto d = decodeRouting(body);
        return d ? encode(*d) : QByteArray();
    }
    case SendList: {
        const auto d = decodeSendList(body);
        return d ? encode(*d) : QByteArray();
    }
    case Segment: {
        const auto d = decodeSegment(body);
        return d ? encode(*d) : QByteArray();
    }
    default: {
        const auto d = decodeRequest(type, body, extended);
        return d ? encode(*d) : QByteArray();
    }
    }
}

bool decodes(uint8_t type, const QByteArray &body, bool extended = false)
{
    switch (type) {
    case DeviceRegistration:
    case DeviceConfiguration:
        return decodeRegistration(body).has_value();
    case ChannelMembership:
        return decodeMembership(body).has_value();
    case ConfigResponse:
        return decodeResponse(body).has_value();
    case ChannelRouting:
        return decodeRouting(body).has_value();
    case SendList:
        return decodeSendList(body).has_value();
    case Segment:
        return decodeSegment(body).has_value();
    default:
        return decodeRequest(type, body, extended).has_value();
    }
}

MembershipPacket membershipOf(int count, uint32_t dateTime)
{
    MembershipPacket m;
    m.dateTime = dateTime;
    for (int i = 0; i < count; ++i)
        m.members.append({Endpoint{0x0A000000u + uint32_t(i), uint16_t(1628 + i)}, dateTime - 1});
    return m;
}

} // namespace

class TestIp852Config : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void exampleExchange_data()
    {
        QTest::addColumn<QByteArray>("packet");
        QTest::addColumn<QByteArray>("built");
        QTest::newRow("1 device configuration")
            << header(79, 0x71) + hex("E8FE6F80 01000201 000003E8 0006065C 7F000002 E8FE6F81 00000000 7F000001 "
                                      "00000000 00000000 065D0000 00000000 FEA657CF7D91 04 64657600")
            << buildConfigPacket(DeviceConfiguration, encode(exampleConfiguration()));
        QTest::newRow("2 acknowledgement") << header(28, 0x07) + hex("E8FE6F85 00 0000 00")
                                           << buildConfigPacket(ConfigResponse, encode(ResponsePacket{T + 5, 0, 0, 0}));
        RoutingPacket device;
        device.dateTime = T + 2;
        device.unicast = Device;
        device.lonTalkFlags = 3;
        device.neuronIds = {DeviceId};
        QTest::newRow("3 device routing")
            << header(54, 0x08) + hex("E8FE6F82 0000 065C 00000000 7F000002 01 00 03 01 0006 0000 0000 0000 FEA657CF7D91")
            << buildConfigPacket(ChannelRouting, encode(device));
        RequestPacket members;
        members.type = MembershipRequest;
        members.dateTime = T + 5;
        QTest::newRow("5 membership request") << header(36, 0x64) + hex("E8FE6F85 00 0000 00 00000000 00000000")
                                              << buildRequestPacket(members);
        MembershipPacket m;
        m.dateTime = T + 1;
        m.members = {{Device, T + 2}, {Host, T + 3}};
        QTest::newRow("6 membership")
            << header(60, 0x04) + hex("E8FE6F81 00000000 00000000 0002 0000 7F000002 065C 0000 E8FE6F82 "
                                      "7F000003 065C 0000 E8FE6F83")
            << buildConfigPacket(ChannelMembership, encode(m));
        RequestPacket routing;
        routing.type = RoutingRequest;
        routing.dateTime = T + 5;
        routing.reason = ReasonAll;
        routing.requestId = 1001;
        routing.ip = Host.ip;
        QTest::newRow("7 routing request") << header(36, 0x68) + hex("E8FE6F85 04 03E9 00 00000000 7F000003")
                                           << buildRequestPacket(routing);
        QTest::newRow("8 host routing")
            << header(132, 0x08) + hex("E8FE6F83 0000 065C 00000000 7F000003 01 03 03 01 0006 0000 0006 0048 "
                                       "02ABCD000001 01 7E 0000 0000")
                   + QByteArray(64, '\xFF') + hex("01 00 42 00 00 00 00 00")
            << buildConfigPacket(ChannelRouting, encode(exampleHostRouting()));
    }

    // Each packet of the example exchange is built byte for byte, and decodes to a body
    // that encodes to the same bytes again.
    void exampleExchange()
    {
        QFETCH(QByteArray, packet);
        QFETCH(QByteArray, built);
        QCOMPARE(built.toHex(' '), packet.toHex(' '));
        const DatagramParse parsed = parseDatagram(packet);
        QCOMPARE(parsed.error, PacketError::None);
        QCOMPARE(parsed.packets.size(), 1);
        const Packet &p = parsed.packets.first();
        QCOMPARE(roundTrip(p.header.type, p.body, false).toHex(' '), p.body.toHex(' '));
        QVERIFY(!describeConfigPacket(p).contains(QLatin1String("does not decode")));
    }

    void decodedFields()
    {
        const auto d = decodeRegistration(encode(exampleConfiguration()));
        QVERIFY(d);
        QCOMPARE(*d, exampleConfiguration());
        QCOMPARE(d->server, Server);
        QCOMPARE(d->name, QByteArray("dev"));
        const auto r = decodeRouting(encode(exampleHostRouting()));
        QVERIFY(r);
        QCOMPARE(*r, exampleHostRouting());
        QCOMPARE(r->domains.first().id, QByteArray(1, '\x42'));
        // The vendor-1 routing request names the member's port too.
        RequestPacket q;
        q.type = RoutingRequest;
        q.requestId = 1000;
        q.ip = Device.ip;
        q.port = 1628;
        const QByteArray packet = buildRequestPacket(q);
        const Packet p = parseDatagram(packet).packets.value(0);
        QCOMPARE(p.header.vendor, VendorEchelon);
        QCOMPARE(p.body.size(), 20);
        QCOMPARE(decodeRequest(RoutingRequest, p.body, true), std::optional<RequestPacket>(q));
        QCOMPARE(decodeRequest(RoutingRequest, p.body, false)->port, std::optional<uint16_t>());
        QVERIFY(!decodeRequest(ChannelRouting, p.body));     // not a request type
    }

    void truncations_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("firstWhole");      // prefixes of these lengths are packets too
        QTest::addColumn<int>("lastWhole");
        QTest::newRow("registration") << int(DeviceRegistration) << encode(exampleConfiguration()) << 54 << 54;
        QTest::newRow("membership") << int(ChannelMembership) << encode(membershipOf(3, T)) << -1 << -1;
        QTest::newRow("response") << int(ConfigResponse) << encode(ResponsePacket{T, 4, 1001, 0}) << -1 << -1;
        QTest::newRow("routing") << int(ChannelRouting) << encode(exampleHostRouting()) << -1 << -1;
        SendListPacket s{T, {Device, Host}};
        QTest::newRow("send list") << int(SendList) << encode(s) << -1 << -1;
        RequestPacket q;
        q.type = RoutingRequest;
        q.ip = Host.ip;
        QTest::newRow("request") << int(RoutingRequest) << encode(q) << -1 << -1;
        SegmentPacket seg{T, SegmentPacket::Valid, 100, 0, QByteArray(10, 'x')};
        QTest::newRow("segment") << int(Segment) << encode(seg) << 8 << 18;
    }

    // Every prefix of a body shorter than the body is refused (a registration may stop
    // before its name; a segment's chunk may be of any length).
    void truncations()
    {
        QFETCH(int, type);
        QFETCH(QByteArray, body);
        QFETCH(int, firstWhole);
        QFETCH(int, lastWhole);
        QVERIFY(decodes(uint8_t(type), body));
        for (int length = 0; length < body.size(); ++length) {
            const bool whole = length >= firstWhole && length <= lastWhole;
            QVERIFY2(decodes(uint8_t(type), body.left(length)) == whole, qPrintable(QString::number(length)));
        }
    }

    void outOfBounds_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QByteArray>("body");
        QByteArray tooMany = encode(membershipOf(1, T));
        tooMany[12] = char(0x01);       // count 257
        tooMany[13] = char(0x01);
        tooMany.append(QByteArray(12 * 256, '\0'));
        QTest::newRow("membership of 257") << int(ChannelMembership) << tooMany;
        QByteArray oddIds = encode(exampleHostRouting());
        oddIds[21] = 7;                 // Neuron-ID bytes not a multiple of 6
        QTest::newRow("routing, Neuron IDs") << int(ChannelRouting) << oddIds;
        QByteArray domainLength = encode(exampleHostRouting());
        domainLength[28 + 12 + 64] = 2; // a domain ID of 2 bytes
        QTest::newRow("routing, domain length") << int(ChannelRouting) << domainLength;
        QByteArray longName = encode(exampleConfiguration());
        longName[54] = char(200);
        longName.append(QByteArray(200, 'n'));
        QTest::newRow("registration, name of 200") << int(DeviceRegistration) << longName;
        QByteArray ids = encode(exampleConfiguration());
        ids[13] = 5;
        QTest::newRow("registration, Neuron IDs") << int(DeviceRegistration) << ids;
    }

    void outOfBounds()
    {
        QFETCH(int, type);
        QFETCH(QByteArray, body);
        QVERIFY(!decodes(uint8_t(type), body));
    }

    void segmentsPutTogether_data()
    {
        QTest::addColumn<QList<int>>("order");
        QTest::newRow("in order") << QList<int>{0, 1, 2};
        QTest::newRow("reversed") << QList<int>{2, 1, 0};
        QTest::newRow("repeated") << QList<int>{0, 0, 2, 2, 1};
    }

    // A membership of 100 members (1236 bytes) in three segments, whatever their order.
    void segmentsPutTogether()
    {
        QFETCH(QList<int>, order);
        const QByteArray whole = buildConfigPacket(ChannelMembership, encode(membershipOf(100, T)));
        QVERIFY(needsSegments(int(whole.size()), {}));
        const QList<QByteArray> segments = segmentPackets(whole, T, 100, {});
        QCOMPARE(segments.size(), 3);
        SegmentAssembler assembler;
        std::optional<QByteArray> out;
        for (int i : order) {
            const Packet p = parseDatagram(segments[i]).packets.value(0);
            QVERIFY(p.body.size() <= MaxDatagram);
            QVERIFY(!out);
            out = assembler.add(Server, *decodeSegment(p.body), 0);
        }
        QVERIFY(out);
        QCOMPARE(*out, whole);
        QCOMPARE(assembler.streams(), 0);
        QCOMPARE(decodeMembership(parseDatagram(*out).packets.value(0).body)->members.size(), 100);
    }

    // Missing segments are asked for once a second; an older packet's segments are
    // dropped, a newer packet's start over; a quiet stream is given up.
    void segmentsMissingAndReplaced()
    {
        const QByteArray whole = buildConfigPacket(ChannelMembership, encode(membershipOf(100, T)));
        const QList<QByteArray> segments = segmentPackets(whole, T, 7, {});
        const auto seg = [](const QByteArray &packet) { return *decodeSegment(parseDatagram(packet).packets.value(0).body); };
        SegmentAssembler a;
        QVERIFY(!a.add(Server, seg(segments[0]), 0));
        QVERIFY(!a.add(Server, seg(segments[2]), 10));
        QVERIFY(a.wanted(500).isEmpty());
        const QList<SegmentAssembler::Wanted> wanted = a.wanted(1000);
        QCOMPARE(wanted.size(), 1);
        QCOMPARE(wanted[0].segmentId, uint8_t(1));
        QCOMPARE(wanted[0].requestId, uint16_t(7));
        QCOMPARE(wanted[0].innerType, uint8_t(ChannelMembership));
        QCOMPARE(wanted[0].dateTime, T);
        QVERIFY(a.arriving(Server, ChannelMembership));
        QVERIFY(!a.arriving(Device, ChannelMembership));

        // An older packet's segment changes nothing; a newer one replaces the stream.
        SegmentPacket older = seg(segments[1]);
        older.dateTime = T - 1;
        QVERIFY(!a.add(Server, older, 1100));
        const QList<QByteArray> newer = segmentPackets(buildConfigPacket(ChannelMembership, encode(membershipOf(100, T + 9))),
                                                       T + 9, 7, {});
        QVERIFY(!a.add(Server, seg(newer[1]), 1200));
        QCOMPARE(a.streams(), 1);
        QVERIFY(!a.add(Server, seg(segments[1]), 1300));   // the old packet's middle: too old now
        QVERIFY(a.add(Server, seg(newer[0]), 1400) == std::nullopt);
        const auto done = a.add(Server, seg(newer[2]), 1500);
        QVERIFY(done);
        QCOMPARE(decodeMembership(parseDatagram(*done).packets.value(0).body)->dateTime, T + 9);

        QVERIFY(!a.add(Server, seg(segments[0]), 2000));
        QCOMPARE(a.streams(), 1);
        a.wanted(2000 + SegmentAssembler::IdleMs + 1);
        QCOMPARE(a.streams(), 0);
    }

    void segmentsRefused()
    {
        SegmentAssembler a;
        // Only memberships and routing packets come in segments.
        const QByteArray registration = buildConfigPacket(DeviceConfiguration, encode(exampleConfiguration()));
        SegmentPacket s{T, SegmentPacket::Valid | SegmentPacket::Final, 1, 0, registration};
        QVERIFY(!a.add(Server, s, 0));
        QCOMPARE(a.streams(), 0);
        // A packet whose size field claims more than its segments hold.
        QByteArray lying = buildConfigPacket(ChannelRouting, encode(exampleHostRouting()));
        lying[0] = char(0x7F);
        s.chunk = lying;
        QVERIFY(!a.add(Server, s, 0));
        QCOMPARE(a.streams(), 0);
        // Segment numbers past the limit, and "no such segment" answers, end a stream.
        s.flags = SegmentPacket::Valid;
        s.segmentId = MaxSegmentCount;
        QVERIFY(!a.add(Server, s, 0));
        s.segmentId = 0;
        s.chunk = buildConfigPacket(ChannelRouting, encode(exampleHostRouting()));
        QVERIFY(!a.add(Server, s, 0));
        QCOMPARE(a.streams(), 1);
        QVERIFY(!a.add(Server, SegmentPacket{T, SegmentPacket::Final, 1, 1, {}}, 0));
        QCOMPARE(a.streams(), 0);
        // Streams are bounded: the quietest gives way.
        for (uint16_t id = 0; id < 20; ++id)
            a.add(Server, SegmentPacket{T, SegmentPacket::Valid, id, 0, s.chunk}, id);
        QCOMPARE(a.streams(), int(SegmentAssembler::MaxStreams));
        // A packet of more than 40 segments is not cut.
        QVERIFY(segmentPackets(QByteArray(41 * SegmentChunk, 'x'), T, 1, {}).isEmpty());
        QCOMPARE(segmentPackets(QByteArray(3 * SegmentChunk, 'x'), T, 1, {}, 1, false).size(), 1);
        QVERIFY(segmentPackets(QByteArray(3 * SegmentChunk, 'x'), T, 1, {}, 3).isEmpty());
    }

    void dateTimeCountsFrom1900()
    {
        QCOMPARE(dateTimeOfUnix(0), 2208988800u);   // 70 years and 17 leap days
        QCOMPARE(dateTimeOfUnix(1700000000), 3908988800u);
    }
};

QTEST_GUILESS_MAIN(TestIp852Config)
#include "tst_ip852_config.moc"
