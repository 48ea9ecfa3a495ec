// An independent referee for the codec: packets of every address form, domain length and
// PDU type are written to a capture file and decoded by tshark's CN/IP and LON dissectors,
// which must find every frame and nothing malformed. (tshark does not check the CRC; the
// codec tests pair this with their own CRC check.) The same for the configuration packets
// of a channel run by a configuration server: a whole exchange between the server and its
// members, large packets in segments included, and the requests members seldom send.
// Skipped where tshark is not installed.
#include "ChannelHarness.h"

#include "lontalk/ip852/ConfigPackets.h"
#include "lontalk/ip852/LonFrame.h"
#include "lontalk/ip852/Packet.h"

#include <QtTest>

using namespace ip852;

namespace {

void put32le(QByteArray &out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.append(char(v >> (8 * i)));
}

// A pcap file of raw IPv4 packets (link type 101), each one UDP datagram 192.0.2.1 -> group:1628.
QByteArray capture(const QList<QByteArray> &datagrams)
{
    QByteArray file;
    put32le(file, 0xA1B2C3D4);
    file.append(char(2)).append(char(0)).append(char(4)).append(char(0));
    put32le(file, 0);
    put32le(file, 0);
    put32le(file, 65535);
    put32le(file, 101);
    uint32_t second = 1;
    for (const QByteArray &d : datagrams) {
        QByteArray ip = QByteArray::fromHex("450000000000400001110000c0000201efc0544c");
        const int total = 20 + 8 + int(d.size());
        ip[2] = char(total >> 8);
        ip[3] = char(total);
        QByteArray udp = QByteArray::fromHex("c001065c00000000");
        udp[4] = char((8 + d.size()) >> 8);
        udp[5] = char(8 + d.size());
        const QByteArray packet = ip + udp + d;
        put32le(file, second++);
        put32le(file, 0);
        put32le(file, uint32_t(packet.size()));
        put32le(file, uint32_t(packet.size()));
        file.append(packet);
    }
    return file;
}

// tshark's expert severity "error" (PI_ERROR); below it are notes such as "this dissector
// does not decode packets of this type", which is all it says of configuration packets.
constexpr int ErrorSeverity = 0x00800000;

// tshark's fields of every frame of datagrams, comma-separated, one line per frame.
QStringList decode(const QString &tshark, const QList<QByteArray> &datagrams, const QStringList &fields)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("channel.pcap"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write(capture(datagrams));
    file.close();
    QStringList arguments{QStringLiteral("-r"), path, QStringLiteral("-T"), QStringLiteral("fields"), QStringLiteral("-E"),
                          QStringLiteral("separator=,")};
    for (const QString &field : fields)
        arguments << QStringLiteral("-e") << field;
    QProcess p;
    p.start(tshark, arguments);
    if (!p.waitForFinished(120000) || p.exitCode() != 0)
        return {};
    return QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace

class TestIp852Tshark : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void dissectorsAgree()
    {
        const QString tshark = QStandardPaths::findExecutable(QStringLiteral("tshark"));
        if (tshark.isEmpty())
            QSKIP("tshark is not installed");
        QList<QByteArray> datagrams;
        QStringList expected;   // address format and PDU format as tshark names them, per frame
        uint32_t sequence = 0;
        const AddressFormat formats[] = {AddressFormat::Broadcast, AddressFormat::Group, AddressFormat::SubnetNode,
                                         AddressFormat::NeuronId};
        const struct {
            Pdu pdu;
            uint8_t type;
        } kinds[] = {{Pdu::Tpdu, Ackd}, {Pdu::Spdu, Request}, {Pdu::Apdu, 0}, {Pdu::Spdu, Response}};
        for (AddressFormat format : formats)
            for (int domain : {0, 1, 3, 6})
                for (const auto &kind : kinds) {
                    LonFrame f;
                    f.pdu = kind.pdu;
                    f.type = kind.type;
                    f.tid = uint8_t(sequence % 16);
                    f.address.format = format;
                    f.address.sourceSubnet = 1;
                    f.address.sourceNode = 126;
                    f.address.subnet = 2;
                    f.address.node = 5;
                    f.address.group = 3;
                    f.address.neuronId = {0xFE, 0xA6, 0x57, 0xCF, 0x7D, 0x91};
                    f.domain = QByteArray("\x4C\x4D\x4E\x4F\x50\x51", domain);
                    f.apdu = QByteArray::fromHex("6d00f00010");
                    datagrams.append(buildDataPacket(0x00C0FFEE, sequence++, buildFrame(f)));
                    expected.append(QStringLiteral("%1,%2").arg(int(format)).arg(int(kind.pdu)));
                }
        LonFrame twoB;
        twoB.pdu = Pdu::Tpdu;
        twoB.type = Ack;
        twoB.address.groupReply = true;
        twoB.address.group = 3;
        twoB.address.member = 1;
        twoB.domain = "L";
        datagrams.append(buildDataPacket(0x00C0FFEE, sequence++, buildFrame(twoB)));
        expected.append(QStringLiteral("2,0"));

        const QStringList lines = decode(tshark, datagrams, {QStringLiteral("lon.addrfmt"), QStringLiteral("lon.pdufmt"),
                                                              QStringLiteral("_ws.malformed"), QStringLiteral("_ws.expert.severity")});
        QCOMPARE(lines.size(), expected.size());
        for (int i = 0; i < lines.size(); ++i) {
            const QStringList fields = lines[i].split(QLatin1Char(','));
            QVERIFY2(fields.size() >= 3 && fields[2].isEmpty(), qPrintable(QStringLiteral("frame %1: %2").arg(i + 1).arg(lines[i])));
            const QString formats = QStringLiteral("%1,%2").arg(fields[0].toInt(nullptr, 0)).arg(fields[1].toInt(nullptr, 0));
            QCOMPARE(formats, expected[i]);
        }
    }

    // Every configuration packet of a channel's life: members registering (one unlisted and
    // refused), device configurations and their acknowledgements, routing, memberships,
    // requests for routing, a membership of 60 members in segments and the requests for
    // missing segments; then the requests and the send list no exchange here produces.
    void configurationPacketsDecode()
    {
        const QString tshark = QStandardPaths::findExecutable(QStringLiteral("tshark"));
        if (tshark.isEmpty())
            QSKIP("tshark is not installed");
        using namespace harness;
        QList<QByteArray> datagrams;
        // Two members and one the channel does not list.
        Channel small({1, 2});
        small.startServer();
        small.startMember(1);
        small.startMember(2);
        small.startMember(3);
        small.run(3000);
        QVERIFY2(small.member(1).settled(), qPrintable(small.member(1).state()));
        for (const Sent &s : std::as_const(small.log))
            datagrams.append(s.packet);

        // 60 members: the membership comes in segments, one of them lost and asked for again.
        QList<int> listed;
        for (int n = 1; n <= 60; ++n)
            listed.append(n);
        Channel large(listed);
        large.startServer(routingsKnown(2, 60));
        large.startMember(1);
        bool lost = false;
        large.lose = [&lost](const Sent &s) {
            const DatagramParse parsed = parseDatagram(s.packet);
            if (lost || parsed.packets.isEmpty() || parsed.packets[0].header.type != Segment)
                return false;
            const auto segment = decodeSegment(parsed.packets[0].body);
            return lost = segment && segment->segmentId == 1;
        };
        large.run(5000);
        QVERIFY(lost);
        QVERIFY2(large.member(1).settled(), qPrintable(large.member(1).state()));
        for (const Sent &s : std::as_const(large.log))
            datagrams.append(s.packet);

        RequestPacket q;
        q.dateTime = StartDateTime;
        for (uint8_t type : {StatisticsRequest, DeviceConfigRequest, MembershipRequest, SendListRequest, RoutingRequest}) {
            q.type = type;
            datagrams.append(buildRequestPacket(q));
        }
        q.type = RoutingRequest;
        q.port = 1700;
        datagrams.append(buildConfigPacket(RoutingRequest, encode(q), {}, VendorEchelon));
        SendListPacket list;
        list.dateTime = StartDateTime;
        list.members = {memberAt(1), memberAt(2)};
        datagrams.append(buildConfigPacket(SendList, encode(list)));

        QStringList expected;
        QSet<int> types;
        for (const QByteArray &d : std::as_const(datagrams)) {
            const int type = quint8(d[3]);
            expected.append(QString::number(type));
            types.insert(type);
        }
        for (int type : {DeviceRegistration, DeviceConfiguration, ConfigResponse, ChannelRouting, ChannelMembership, Segment,
                         SendList, StatisticsRequest, DeviceConfigRequest, MembershipRequest, SendListRequest, RoutingRequest})
            QVERIFY2(types.contains(type), qPrintable(QString::number(type, 16)));

        const QStringList lines = decode(tshark, datagrams, {QStringLiteral("cnip.type"), QStringLiteral("_ws.malformed"),
                                                              QStringLiteral("_ws.expert.severity")});
        QCOMPARE(lines.size(), expected.size());
        for (int i = 0; i < lines.size(); ++i) {
            const QStringList fields = lines[i].split(QLatin1Char(','));
            const QString where = QStringLiteral("frame %1: %2").arg(i + 1).arg(lines[i]);
            QVERIFY2(fields.size() >= 3 && fields[1].isEmpty(), qPrintable(where));
            QVERIFY2(fields[2].isEmpty() || fields[2].toInt(nullptr, 0) < ErrorSeverity, qPrintable(where));
            QCOMPARE(QString::number(fields[0].toInt(nullptr, 0)), expected[i]);
        }
    }
};

QTEST_GUILESS_MAIN(TestIp852Tshark)
#include "tst_ip852_tshark.moc"
