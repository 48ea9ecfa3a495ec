// The channel server in-process on a unicast loopback channel, driven by a test host:
// answers and their framing, receive records, the behaviour switches on the wire,
// hostile datagrams, member checks, authentication and a file transfer.

#include "ChannelPeer.h"
#include "lonsim/channel/ChannelServer.h"
#include "lonsim/DescriptionLoader.h"

#include <QRandomGenerator>
#include <QtTest>

using namespace lonsim;
using namespace lonsim::channel;

namespace {
const QByteArray Dom4C = QByteArray::fromHex("4C");
const QByteArray Dom123456 = QByteArray::fromHex("123456");

QString Fixture(const QString &name)
{
    return QStringLiteral(LONSIM_FIXTURES "/") + name + QStringLiteral(".json");
}
QByteArray Hex(const char *text)
{
    return QByteArray::fromHex(text);
}
} // namespace

class ChannelServerTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Network> FNetwork;
    std::unique_ptr<ChannelServer> FServer;
    std::unique_ptr<ChannelPeer> FHost;
    quint16 FPort = 0;

    bool Start(const QString &fixture, const QByteArray &secret = {}, double timeScale = 0)
    {
        FServer.reset();
        FNetwork.reset();
        LoadResult loaded = loadDescriptionFile(Fixture(fixture));
        if (!loaded.model)
            return false;
        if (timeScale > 0)
            loaded.model->timeScale = timeScale;
        FNetwork = std::make_unique<Network>(std::move(*loaded.model), fixture);
        FHost = std::make_unique<ChannelPeer>(secret);
        ChannelOptions options;
        options.network = fixture;
        options.mode = ChannelOptions::Unicast;
        options.listen = Peer{QHostAddress::LocalHost, 0};
        options.members = {Peer{QHostAddress::LocalHost, FHost->Port()}};
        options.secret = secret;
        FServer = std::make_unique<ChannelServer>(*FNetwork, options);
        QString error;
        if (!FServer->start(error))
            return false;
        FPort = FServer->link().localPort();
        return true;
    }

    DeviceState &Device(const char *name) { return *FNetwork->device(QString::fromLatin1(name)); }

    // One request and the frames that answer it within ms.
    QList<ip852::LonFrame> Ask(const ip852::LonFrame &request, int expected = 1, int ms = 400)
    {
        FHost->Send(request, FPort);
        return FHost->Frames(expected, ms);
    }

private Q_SLOTS:
    void cleanup()
    {
        FServer.reset();
        FNetwork.reset();
        FHost.reset();
    }

    void answers_data()
    {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<QByteArray>("domain");
        QTest::addColumn<int>("subnet");
        QTest::addColumn<int>("node");
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("code");          // -1: no answer
        QTest::addColumn<QByteArray>("data");   // expected data after the code (prefix)
        QTest::addColumn<int>("dataLength");    // -1: not checked

        QTest::newRow("read memory") << "small" << Dom4C << 1 << 10 << Hex("6D00F00006") << 0x2D
                                     << Hex("05000000010A") << 6;
        QTest::newRow("fetch array element") << "small" << Dom4C << 1 << 10 << Hex("7302") << 0x33 << Hex("020898") << 3;
        QTest::newRow("fetch, escaped index") << "small" << Dom4C << 1 << 10 << Hex("73FF0002") << 0x33
                                              << Hex("FF00020898") << 5;
        QTest::newRow("unknown variable") << "small" << Dom4C << 1 << 10 << Hex("737F") << 0x13 << QByteArray() << 0;
        QTest::newRow("query SNVT") << "small" << Dom4C << 1 << 10 << Hex("72000004") << 0x32 << QByteArray() << 4;
        QTest::newRow("three-byte domain") << "small" << Dom123456 << 2 << 30 << Hex("7300") << 0x33 << Hex("0003E8") << 3;
        QTest::newRow("no such node") << "small" << Dom4C << 1 << 99 << Hex("7300") << -1 << QByteArray() << -1;
        QTest::newRow("node of another domain") << "small" << Dom123456 << 1 << 10 << Hex("7300") << -1 << QByteArray() << -1;
        QTest::newRow("silent device") << "faults" << Dom4C << 1 << 11 << Hex("7300") << -1 << QByteArray() << -1;
        QTest::newRow("wrong length") << "faults" << Dom4C << 1 << 14 << Hex("7300") << 0x33 << Hex("00") << 2;
        QTest::newRow("wrong code") << "faults" << Dom4C << 1 << 15 << Hex("7300") << 0x32 << Hex("00") << -1;
        QTest::newRow("oversized") << "faults" << Dom4C << 1 << 17 << Hex("7300") << 0x33 << Hex("00") << 240;
    }

    void answers()
    {
        QFETCH(QString, fixture);
        QFETCH(QByteArray, domain);
        QFETCH(int, subnet);
        QFETCH(int, node);
        QFETCH(QByteArray, request);
        QFETCH(int, code);
        QFETCH(QByteArray, data);
        QFETCH(int, dataLength);
        QVERIFY(Start(fixture));
        const auto frames = Ask(HostMessage(domain, quint8(subnet), quint8(node), request, 7), 1, code < 0 ? 300 : 2000);
        if (code < 0) {
            QVERIFY(frames.isEmpty());
            return;
        }
        QCOMPARE(frames.size(), 1);
        const ip852::LonFrame &r = frames.first();
        QCOMPARE(r.pdu, ip852::Pdu::Spdu);
        QCOMPARE(r.type, quint8(ip852::Response));
        QCOMPARE(r.tid, quint8(7));
        QCOMPARE(r.domain, domain);
        QCOMPARE(r.address.format, ip852::AddressFormat::SubnetNode);
        QCOMPARE(int(r.address.sourceSubnet), subnet);
        QCOMPARE(int(r.address.sourceNode), node);
        QCOMPARE(int(r.address.subnet), domain.size() == 3 ? 2 : 1);
        QCOMPARE(int(r.address.node), 126);
        QCOMPARE(int(r.code()), code);
        QVERIFY2(r.data().startsWith(data), r.data().toHex().constData());
        if (dataLength >= 0)
            QCOMPARE(int(r.data().size()), dataLength);
    }

    // A repeated TID gets the stored answer, even for a changed request; the device
    // hears the message once. A new TID is a new message.
    void repeatedRequestGetsStoredAnswer()
    {
        QVERIFY(Start("small"));
        auto first = Ask(HostMessage(Dom4C, 1, 10, Hex("7303"), 5), 1, 2000);
        QCOMPARE(first.size(), 1);
        QCOMPARE(first.first().apdu, Hex("3303") + QByteArray::fromHex("0866"));
        auto repeat = Ask(HostMessage(Dom4C, 1, 10, Hex("7301"), 5), 1, 2000);
        QCOMPARE(repeat.size(), 1);
        QCOMPARE(repeat.first().apdu, first.first().apdu);
        QCOMPARE(Device("Thermostat").counts().fetch, 1);
        auto fresh = Ask(HostMessage(Dom4C, 1, 10, Hex("7301"), 6), 1, 2000);
        QCOMPARE(fresh.size(), 1);
        QCOMPARE(fresh.first().apdu.left(2), Hex("3301"));
        QCOMPARE(Device("Thermostat").counts().fetch, 2);
    }

    // An acknowledged update takes effect once; its repeat gets the ACK again.
    void acknowledgedUpdateTakesEffectOnce()
    {
        QVERIFY(Start("small"));
        // nviSetpoint, index 3, unbound: selector 0x3FFF - 3.
        const auto update = HostMessage(Dom4C, 1, 10, Hex("BFFC0900"), 3, ip852::Pdu::Tpdu, ip852::Ackd);
        for (int round = 0; round < 2; ++round) {
            const auto acks = Ask(update, 1, 2000);
            QCOMPARE(acks.size(), 1);
            QCOMPARE(acks.first().pdu, ip852::Pdu::Tpdu);
            QCOMPARE(acks.first().type, quint8(ip852::Ack));
            QCOMPARE(acks.first().tid, quint8(3));
            QVERIFY(acks.first().apdu.isEmpty());
        }
        QCOMPARE(Device("Thermostat").counts().update, 1);
        QCOMPARE(Device("Thermostat").slotAt(3)->value, Hex("0900"));
        const auto read = Ask(HostMessage(Dom4C, 1, 10, Hex("7303"), 4), 1, 2000);
        QCOMPARE(read.size(), 1);
        QCOMPARE(read.first().apdu, Hex("33030900"));
    }

    // Broadcast Query ID: only the selected device answers, from its own address.
    void broadcastQueryIdAnswersSelected()
    {
        QVERIFY(Start("small"));
        Device("Thermostat").setSelected(true);
        ip852::LonFrame query = HostMessage(Dom4C, 0, 0, Hex("6101"), 9);
        query.address.format = ip852::AddressFormat::Broadcast;
        const auto frames = Ask(query, 2, 500);
        QCOMPARE(frames.size(), 1);
        QCOMPARE(frames.first().code(), quint8(0x21));
        QCOMPARE(frames.first().data().left(6), Hex("05000000010A"));
        QCOMPARE(int(frames.first().address.sourceNode), 10);
    }

    // Neuron-ID addressing reaches the device whatever its subnet/node.
    void neuronIdAddressing()
    {
        QVERIFY(Start("small"));
        ip852::LonFrame read = HostMessage(Dom123456, 0, 0, Hex("6D00F00006"), 2);
        read.address.format = ip852::AddressFormat::NeuronId;
        read.address.neuronId = {0x05, 0, 0, 0, 0x02, 0x1E};
        const auto frames = Ask(read, 1, 2000);
        QCOMPARE(frames.size(), 1);
        QCOMPARE(frames.first().data(), Hex("05000000021E"));
    }

    // A dropped answer stays lost for the repeats of that transaction too.
    void droppedAnswerStaysLost()
    {
        QVERIFY(Start("faults"));   // Lossy: every second fetch answer lost
        QCOMPARE(Ask(HostMessage(Dom4C, 1, 13, Hex("7300"), 1)).size(), 1);
        QCOMPARE(Ask(HostMessage(Dom4C, 1, 13, Hex("7300"), 2), 1, 300).size(), 0);
        QCOMPARE(Ask(HostMessage(Dom4C, 1, 13, Hex("7300"), 2), 1, 300).size(), 0);
        QCOMPARE(Ask(HostMessage(Dom4C, 1, 13, Hex("7300"), 3)).size(), 1);
        QCOMPARE(Device("Lossy").counts().dropped, 1);
    }

    // A doubled answer comes as two packets in one datagram.
    void doubledAnswerSharesDatagram()
    {
        QVERIFY(Start("faults"));
        FHost->Send(HostMessage(Dom4C, 1, 12, Hex("7300"), 4), FPort);
        const QList<QByteArray> datagrams = FHost->Datagrams(1, 2000);
        QCOMPARE(datagrams.size(), 1);
        const ip852::DatagramParse parse = ip852::parseDatagram(datagrams.first());
        QCOMPARE(parse.error, ip852::PacketError::None);
        QCOMPARE(parse.packets.size(), 2);
        QCOMPARE(parse.packets.at(0).body, parse.packets.at(1).body);
        QVERIFY(parse.packets.at(1).header.sequence == parse.packets.at(0).header.sequence + 1);
    }

    // lyingLength on the wire: the packet claims more bytes than the datagram has.
    void lyingLengthSpoilsPacketSize()
    {
        QVERIFY(Start("faults"));
        FHost->Send(HostMessage(Dom4C, 1, 16, Hex("7300"), 4), FPort);
        const QList<QByteArray> datagrams = FHost->Datagrams(1, 2000);
        QCOMPARE(datagrams.size(), 1);
        const ip852::DatagramParse parse = ip852::parseDatagram(datagrams.first());
        QCOMPARE(parse.error, ip852::PacketError::Truncated);
        QVERIFY(parse.packets.isEmpty());
    }

    // While a delayed answer is pending, a repeat is ignored: one answer, one delivery.
    void repeatWhileAnswerPendingIsIgnored()
    {
        QVERIFY(Start("faults"));
        Device("Slow").setDelay(6000);    // × timeScale 0.05 = 300 ms
        const auto request = HostMessage(Dom4C, 1, 19, Hex("7300"), 8);
        FHost->Send(request, FPort);
        QTest::qWait(50);
        FHost->Send(request, FPort);
        QCOMPARE(FHost->Frames(2, 900).size(), 1);
        QCOMPARE(Device("Slow").counts().fetch, 1);
        QCOMPARE(FServer->nodes().at(7)->counters().duplicates, 1);
    }

    void hostileDatagrams_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        const QByteArray good = ip852::buildDataPacket(1, 0, ip852::buildFrame(HostMessage(Dom4C, 1, 10, Hex("7300"), 1)));
        QByteArray badCrc = good;
        badCrc[badCrc.size() - 1] = char(badCrc.at(badCrc.size() - 1) ^ 0x01);
        QByteArray hugeSize = good;
        hugeSize[0] = char(0xFF);
        QByteArray tinySize = good;
        tinySize[0] = 0;
        tinySize[1] = 4;
        QByteArray extension = good;
        extension[4] = char(0xFF);
        QByteArray badVersion = good;
        badVersion[2] = char(0x7F);
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("one byte") << Hex("01");
        QTest::newRow("bad CRC") << badCrc;
        QTest::newRow("size beyond datagram") << hugeSize;
        QTest::newRow("size below header") << tinySize;
        QTest::newRow("extended header beyond packet") << extension;
        QTest::newRow("bad version") << badVersion;
        QTest::newRow("oversized datagram") << QByteArray(1400, char(0x11));
        for (int cut = 1; cut < good.size(); ++cut)
            QTest::addRow("cut to %d", cut) << good.left(cut);
        // A correct packet size around a LonTalk frame cut short, for every length.
        const QByteArray frame = ip852::buildFrame(HostMessage(Dom123456, 2, 30, Hex("73FF0001"), 1));
        for (int cut = 0; cut < frame.size(); ++cut)
            QTest::addRow("frame cut to %d", cut) << ip852::buildDataPacket(1, 0, frame.left(cut));
    }

    // Nothing garbled is answered or crashes the server; it answers the next good request.
    void hostileDatagrams()
    {
        QFETCH(QByteArray, datagram);
        if (!FServer)
            QVERIFY(Start("small"));
        FHost->SendDatagram(datagram, FPort);
        QCOMPARE(FHost->Frames(1, 60).size(), 0);
        QCOMPARE(Ask(HostMessage(Dom4C, 1, 10, Hex("7300"), quint8(QRandomGenerator::global()->bounded(16)))).size(), 1);
        FServer.reset();
    }

    void randomDatagrams()
    {
        QVERIFY(Start("small"));
        QRandomGenerator random(852);
        const QByteArray good = ip852::buildDataPacket(1, 0, ip852::buildFrame(HostMessage(Dom4C, 1, 10, Hex("7300"), 1)));
        for (int i = 0; i < 400; ++i) {
            QByteArray d = good;
            for (int flips = random.bounded(1, 6); flips > 0; --flips)
                d[random.bounded(int(d.size()))] = char(random.bounded(256));
            if (random.bounded(4) == 0)
                d.truncate(random.bounded(int(d.size())));
            FHost->SendDatagram(d, FPort);
        }
        FHost->Frames(1000, 300);
        QVERIFY(FServer->link().counters().badFrames + FServer->link().counters().badPackets > 0);
        QCOMPARE(Ask(HostMessage(Dom4C, 1, 10, Hex("7300"), 12)).size(), 1);
    }

    // Unicast: datagrams from outside the member list and repeated sequence numbers are dropped.
    void membersAndSequences()
    {
        QVERIFY(Start("small"));
        ChannelPeer stranger;
        stranger.Send(HostMessage(Dom4C, 1, 10, Hex("7300"), 1), FPort);
        QCOMPARE(stranger.Frames(1, 200).size(), 0);
        QCOMPARE(FHost->Frames(1, 50).size(), 0);
        QCOMPARE(FServer->link().counters().foreign, 1);

        const QByteArray packet = FHost->Send(HostMessage(Dom4C, 1, 10, Hex("7300"), 2), FPort);
        QCOMPARE(FHost->Frames(1, 2000).size(), 1);
        FHost->SendDatagram(packet, FPort);   // the same session and sequence again
        QCOMPARE(FHost->Frames(1, 200).size(), 0);
        QCOMPARE(FServer->link().counters().duplicates, 1);
    }

    void authentication()
    {
        const QByteArray secret = Hex("00112233445566778899AABBCCDDEEFF");
        QVERIFY(Start("small", secret));
        FHost->SetSecret({});
        QCOMPARE(Ask(HostMessage(Dom4C, 1, 10, Hex("7300"), 1), 1, 300).size(), 0);
        FHost->SetSecret(Hex("00112233445566778899AABBCCDDEEF0"));
        QCOMPARE(Ask(HostMessage(Dom4C, 1, 10, Hex("7300"), 2), 1, 300).size(), 0);
        FHost->SetSecret(secret);
        FHost->Send(HostMessage(Dom4C, 1, 10, Hex("7300"), 3), FPort);
        const QList<QByteArray> datagrams = FHost->Datagrams(1, 2000);
        QCOMPARE(datagrams.size(), 1);
        const auto parse = ip852::parseDatagram(datagrams.first(), secret);
        QCOMPARE(parse.packets.size(), 1);
        QVERIFY(parse.packets.first().header.authenticated());
        QCOMPARE(ip852::parseDatagram(datagrams.first(), Hex("FFEEDDCCBBAA99887766554433221100")).packets.size(), 0);
    }

    // A file of 500 bytes: blocks of six packets, each block's last a request that the
    // host answers; the packets carry the file's bytes in order.
    void fileTransfer()
    {
        QVERIFY(Start("files", {}, 1.0));   // the block acknowledgement may take up to a second
        // nviFileReq (index 0, selector 0x3FFF): mode 0, file 0, receiver 1/126 on domain 0.
        const QByteArray request = Hex("BFFF") + Hex("000000") + Hex("07D001") + QByteArray(1, char(126)) + Hex("020A01")
                                   + Hex("0000");
        QCOMPARE(Ask(HostMessage(Dom4C, 1, 30, request, 1, ip852::Pdu::Tpdu, ip852::Ackd)).size(), 1);
        QByteArray file;
        int expected = 0;   // block << 4 | packet of the next new packet; repeats are skipped
        for (int guard = 0; guard < 40; ++guard) {
            const auto frames = FHost->Frames(1, 2000);
            QVERIFY(!frames.isEmpty());
            bool done = false;
            for (const ip852::LonFrame &f : frames) {
                QCOMPARE(f.code(), quint8(0x3E));
                QCOMPARE(int(f.address.sourceNode), 30);
                const QByteArray data = f.data().mid(1);
                const int position = quint8(f.data().at(0));
                if (position == expected) {
                    file += data;
                    expected = (position & 0x0F) == 5 ? ((position >> 4) + 1) << 4 & 0xF0 : position + 1;
                }
                if (f.pdu == ip852::Pdu::Spdu) {
                    QCOMPARE(quint8(f.data().at(0)) & 0x0F, 5);
                    ip852::LonFrame ack = HostMessage(Dom4C, 1, 30, Hex("06"), f.tid, ip852::Pdu::Spdu, ip852::Response);
                    FHost->Send(ack, FPort);
                }
                done = done || data.size() < 32;
            }
            if (done)
                break;
        }
        QCOMPARE(file.size(), 500);
        for (int i = 0; i < file.size(); ++i)
            QCOMPARE(quint8(file.at(i)), quint8(i & 0xFF));
        QCOMPARE(Device("Logger").counts().fileTransfers, 1);
    }
};

QTEST_MAIN(ChannelServerTest)
#include "tst_channel_server.moc"
