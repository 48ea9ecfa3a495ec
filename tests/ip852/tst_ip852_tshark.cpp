// An independent referee for the codec: packets of every address form, domain length and
// PDU type are written to a capture file and decoded by tshark's CN/IP and LON dissectors,
// which must find every frame and nothing malformed. (tshark does not check the CRC; the
// codec tests pair this with their own CRC check.) Skipped where tshark is not installed.
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

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("channel.pcap"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(capture(datagrams));
        file.close();

        QProcess p;
        p.start(tshark, {QStringLiteral("-r"), path, QStringLiteral("-T"), QStringLiteral("fields"), QStringLiteral("-E"),
                         QStringLiteral("separator=,"), QStringLiteral("-e"), QStringLiteral("lon.addrfmt"),
                         QStringLiteral("-e"), QStringLiteral("lon.pdufmt"), QStringLiteral("-e"), QStringLiteral("_ws.malformed"),
                         QStringLiteral("-e"), QStringLiteral("_ws.expert.severity")});
        QVERIFY(p.waitForFinished(120000));
        const QStringList lines = QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), expected.size());
        for (int i = 0; i < lines.size(); ++i) {
            const QStringList fields = lines[i].split(QLatin1Char(','));
            QVERIFY2(fields.size() >= 3 && fields[2].isEmpty(), qPrintable(QStringLiteral("frame %1: %2").arg(i + 1).arg(lines[i])));
            const QString formats = QStringLiteral("%1,%2").arg(fields[0].toInt(nullptr, 0)).arg(fields[1].toInt(nullptr, 0));
            QCOMPARE(formats, expected[i]);
        }
    }
};

QTEST_GUILESS_MAIN(TestIp852Tshark)
#include "tst_ip852_tshark.moc"
