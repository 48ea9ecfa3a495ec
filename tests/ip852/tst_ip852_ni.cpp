// The software network interface on a loopback IP-852 channel, through the C entries of
// libldv32.so, against a scripted device: local commands, transactions with their
// completion events, retries and stale answers, incoming messages with duplicate
// detection and tags, group and broadcast answers, the channel's own filters, and
// LonTalk authentication both ways (challenges answered, authenticated messages challenged).
#include "ChannelRig.h"
#include "lontalk/Authentication.h"
#include "lontalk/Wire.h"
#include "lontalk/ip852/AuthFrames.h"

#include <QtTest>

using namespace rig;
using ip852::LonFrame;
using ip852::Pdu;

namespace {

QList<QByteArray> completions(const QList<QByteArray> &frames)
{
    QList<QByteArray> out;
    for (const QByteArray &f : frames)
        if (isCompletion(f))
            out.append(f);
    return out;
}

int count(const QList<QByteArray> &frames, bool (*kind)(const QByteArray &))
{
    return int(std::count_if(frames.begin(), frames.end(), kind));
}

} // namespace

class TestIp852Interface : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void localCommands()
    {
        Rig r;
        QVERIFY(r.openUnicast());
        QCOMPARE(ldv_write(r.handle, localFrame(1, 0x6D, QByteArray::fromHex("00f00023")).constData(), 21), short(LDV_OK));
        QCOMPARE(ldv_write(r.handle, localFrame(2, 0x6A, QByteArray::fromHex("00")).constData(), 18), short(LDV_OK));
        const QByteArray update = QByteArray::fromHex("00" "4c0000000000" "09" "83" "01" "000000000000");
        QCOMPARE(ldv_write(r.handle, localFrame(3, 0x63, update).constData(), 33), short(LDV_OK));
        QCOMPARE(ldv_write(r.handle, localFrame(4, 0x6A, QByteArray::fromHex("02")).constData(), 18), short(LDV_OK));
        QVERIFY(r.pumpUntil([&] { return r.fromHost.size() >= 4; }));
        r.settle(50);
        QCOMPARE(r.fromHost.size(), 4);     // answers only, no completion events

        const QByteArray readOnly = r.fromHost[0];
        QVERIFY(isResponse(readOnly));
        QCOMPARE(readOnly[2] & 0x0F, 1);
        QCOMPARE(uint8_t(readOnly[16]), uint8_t(0x2D));
        QCOMPARE(readOnly.size(), 17 + 35);
        QCOMPARE(readOnly.mid(17, 6), QByteArray::fromHex("010203040506"));
        QCOMPARE(readOnly.mid(30, 8), QByteArray::fromHex("9000010a00040401"));
        QCOMPARE(r.fromHost[1].mid(16), QByteArray::fromHex("2a" "4c0000000000" "01" "7e" "01" "000000000000"));
        QCOMPARE(uint8_t(r.fromHost[2][16]), uint8_t(0x23));
        QCOMPARE(uint8_t(r.fromHost[3][16]), uint8_t(0x0A));   // no third entry: the failure code

        // The updated entry is the interface's own address on the channel.
        QCOMPARE(ldv_write(r.handle, hostFrame(3, 5, toNode(DevSubnet, DevNode), 0x73, "\x01").constData(), 18), short(LDV_OK));
        QVERIFY(r.pumpUntil([&] { return !r.onWire.isEmpty(); }));
        QCOMPARE(r.onWire[0].address.sourceSubnet, uint8_t(9));
        QCOMPARE(r.onWire[0].address.sourceNode, uint8_t(3));
    }

    void hostFramesRefused_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<int>("status");
        const QByteArray good = hostFrame(3, 1, toNode(DevSubnet, DevNode), 0x73, QByteArray(1, '\0'));
        QTest::newRow("short") << good.left(16) << int(LDV_INVALID_BUF_LEN);
        QTest::newRow("length byte lies") << good + QByteArray(1, '\0') << int(LDV_INVALID_BUF_LEN);
        QByteArray unknown = good;
        unknown[5] = 0x00;
        QTest::newRow("unknown address type") << unknown << int(LDV_INVALID_BUF_LEN);
        QByteArray response = unknown;
        response[3] = char(response[3] | 0x01);
        QTest::newRow("response without a request") << response << int(LDV_OK);
        QByteArray reset = good;
        reset[0] = 0x50;
        QTest::newRow("reset command") << reset << int(LDV_OK);
    }

    void hostFramesRefused()
    {
        QFETCH(QByteArray, frame);
        QFETCH(int, status);
        Rig r;
        QVERIFY(r.openUnicast());
        QCOMPARE(int(ldv_write(r.handle, frame.constData(), short(frame.size()))), status);
        r.settle(30);
        QVERIFY(r.onWire.isEmpty());
        QVERIFY(r.fromHost.isEmpty());
    }

    void requestAndResponse()
    {
        Rig r;
        QVERIFY(r.openUnicast());
        const QByteArray request = hostFrame(3, 1, toNode(DevSubnet, DevNode), 0x73, QByteArray(1, '\0'));
        QCOMPARE(ldv_write(r.handle, request.constData(), short(request.size())), short(LDV_OK));
        QVERIFY(r.pumpUntil([&] { return !r.onWire.isEmpty(); }));
        const LonFrame sent = r.onWire[0];
        QCOMPARE(sent.pdu, Pdu::Spdu);
        QCOMPARE(sent.type, uint8_t(ip852::Request));
        QCOMPARE(sent.domain, Domain);
        QCOMPARE(sent.address.format, ip852::AddressFormat::SubnetNode);
        QCOMPARE(sent.address.subnet, DevSubnet);
        QCOMPARE(sent.address.node, DevNode);
        QCOMPARE(sent.address.sourceSubnet, HostSubnet);
        QCOMPARE(sent.address.sourceNode, HostNode);
        QCOMPARE(sent.backlog, uint8_t(1));
        QCOMPARE(sent.apdu, QByteArray::fromHex("7300"));
        QCOMPARE(r.rawPackets[0].header.timestamp, 0u);

        r.send(Rig::replyTo(sent, QByteArray::fromHex("3300aabb")));
        QVERIFY(r.pumpUntil([&] { return !completions(r.fromHost).isEmpty(); }));
        QCOMPARE(r.fromHost.size(), 2);
        // The same bytes the in-process simulator hands over for a device's answer.
        const auto parsed = lontalk::wire::parseHostFrame(reinterpret_cast<const uint8_t *>(request.constData()), int(request.size()));
        QCOMPARE(r.fromHost[0], lontalk::wire::response(*parsed, 0x33, QByteArray::fromHex("00aabb"), {0, DevSubnet, DevNode},
                                                       {0, HostSubnet, HostNode}));
        QCOMPARE(r.fromHost[1], lontalk::wire::completion(*parsed, lontalk::wire::Success));
    }

    void retriesRunOut_data()
    {
        QTest::addColumn<int>("service");
        QTest::newRow("acknowledged") << 0;
        QTest::newRow("request") << 3;
    }

    void retriesRunOut()
    {
        QFETCH(int, service);
        Rig r;
        QVERIFY(r.openUnicast());
        const QByteArray request = hostFrame(uint8_t(service), 7, toNode(DevSubnet, DevNode, 2, 1), 0x73, QByteArray(1, '\0'));
        QCOMPARE(ldv_write(r.handle, request.constData(), short(request.size())), short(LDV_OK));
        QVERIFY(r.pumpUntil([&] { return !completions(r.fromHost).isEmpty(); }));
        r.settle(100);
        QCOMPARE(r.onWire.size(), 3);     // the first try and two retries
        for (const LonFrame &f : r.onWire) {
            QCOMPARE(f.tid, r.onWire[0].tid);
            QCOMPARE(f.apdu, r.onWire[0].apdu);
        }
        QVERIFY(!r.onWire[0].alternatePath);
        QVERIFY(r.onWire[2].alternatePath);
        QCOMPARE(r.fromHost.size(), 1);
        QCOMPARE(completionCode(r.fromHost[0]), 2);
        QCOMPARE(r.fromHost[0][2] & 0x0F, 7);
        QCOMPARE(uint8_t(r.fromHost[0][16]), uint8_t(0x73));
    }

    void acknowledgedSucceeds()
    {
        Rig r;
        QVERIFY(r.openUnicast());
        const QByteArray update = hostFrame(0, 2, toNode(DevSubnet, DevNode), 0x80, QByteArray::fromHex("051234"));
        QCOMPARE(ldv_write(r.handle, update.constData(), short(update.size())), short(LDV_OK));
        QVERIFY(r.pumpUntil([&] { return !r.onWire.isEmpty(); }));
        QCOMPARE(r.onWire[0].pdu, Pdu::Tpdu);
        QCOMPARE(r.onWire[0].type, uint8_t(ip852::Ackd));
        r.send(Rig::replyTo(r.onWire[0]));
        QVERIFY(r.pumpUntil([&] { return !completions(r.fromHost).isEmpty(); }));
        QCOMPARE(r.fromHost.size(), 1);
        QCOMPARE(completionCode(r.fromHost[0]), 1);
    }

    void staleAnswerAfterBlackout()
    {
        // The device ignores the first transaction and all its retries; its late answer to
        // that TID must not pass for the answer to the next transaction, which gets a new TID.
        Rig r;
        QVERIFY(r.openUnicast());
        const QByteArray first = hostFrame(3, 1, toNode(DevSubnet, DevNode, 1, 1), 0x6D, QByteArray::fromHex("00f00010"));
        QCOMPARE(ldv_write(r.handle, first.constData(), short(first.size())), short(LDV_OK));
        QVERIFY(r.pumpUntil([&] { return !completions(r.fromHost).isEmpty(); }));
        QCOMPARE(completionCode(r.fromHost[0]), 2);
        const LonFrame old = r.onWire[0];

        const QByteArray second = hostFrame(3, 2, toNode(DevSubnet, DevNode, 1, 10), 0x6D, QByteArray::fromHex("00f01010"));
        QCOMPARE(ldv_write(r.handle, second.constData(), short(second.size())), short(LDV_OK));
        QVERIFY(r.pumpUntil([&] { return r.onWire.size() >= 3; }));
        const LonFrame fresh = r.onWire.last();
        QVERIFY(fresh.tid != old.tid);
        r.send(Rig::replyTo(old, QByteArray::fromHex("2d" "11111111")));
        r.settle(30);
        QCOMPARE(count(r.fromHost, isResponse), 0);
        r.send(Rig::replyTo(fresh, QByteArray::fromHex("2d" "22222222")));
        QVERIFY(r.pumpUntil([&] { return completions(r.fromHost).size() == 2; }));
        QCOMPARE(count(r.fromHost, isResponse), 1);
        QCOMPARE(r.fromHost[1].mid(16), QByteArray::fromHex("2d22222222"));
        QCOMPARE(completionCode(r.fromHost[2]), 1);
    }

    void oneTransactionPerDestination()
    {
        Rig r;
        QVERIFY(r.openUnicast());
        const QByteArray a = hostFrame(3, 1, toNode(DevSubnet, DevNode, 2, 8), 0x73, "\x01");
        const QByteArray b = hostFrame(3, 2, toNode(DevSubnet, DevNode, 2, 8), 0x73, "\x02");
        QCOMPARE(ldv_write(r.handle, a.constData(), short(a.size())), short(LDV_OK));
        QCOMPARE(ldv_write(r.handle, b.constData(), short(b.size())), short(LDV_OK));
        const auto secondSent = [&] {
            return std::any_of(r.onWire.begin(), r.onWire.end(), [](const LonFrame &f) { return f.apdu == QByteArray::fromHex("7302"); });
        };
        r.settle(40);
        QVERIFY(!secondSent());     // the second waits for the first
        r.send(Rig::replyTo(r.onWire[0], QByteArray::fromHex("3301")));
        QVERIFY(r.pumpUntil(secondSent));
        const LonFrame second = r.onWire.last();
        QVERIFY(second.tid != r.onWire[0].tid);
        r.send(Rig::replyTo(second, QByteArray::fromHex("3302")));
        QVERIFY(r.pumpUntil([&] { return completions(r.fromHost).size() == 2; }));
        QCOMPARE(r.fromHost.size(), 4);
        QCOMPARE(r.fromHost[0][2] & 0x0F, 1);
        QCOMPARE(r.fromHost[2][2] & 0x0F, 2);
    }

    void incomingAcknowledgedOnce()
    {
        Rig r;
        QVERIFY(r.openUnicast());
        const LonFrame update = Rig::fromDevice(Pdu::Tpdu, ip852::Ackd, 4, QByteArray::fromHex("810512"));
        r.send(update);
        QVERIFY(r.pumpUntil([&] { return !r.fromHost.isEmpty() && !r.onWire.isEmpty(); }));
        QVERIFY(isIncoming(r.fromHost[0]));
        QCOMPARE(r.fromHost[0][2] >> 5, 0);
        QCOMPARE(uint8_t(r.fromHost[0][5]), uint8_t(0x02));
        QCOMPARE(uint8_t(r.fromHost[0][6]), DevSubnet);
        QCOMPARE(uint8_t(r.fromHost[0][7]), uint8_t(0x80 | DevNode));
        QCOMPARE(r.fromHost[0].mid(16), QByteArray::fromHex("810512"));
        const LonFrame ack = r.onWire[0];
        QVERIFY(ack.isReply());
        QCOMPARE(ack.tid, uint8_t(4));
        QCOMPARE(ack.address.subnet, DevSubnet);
        QCOMPARE(ack.address.node, DevNode);

        r.send(update);     // the device did not hear the ACK and tries again
        QVERIFY(r.pumpUntil([&] { return r.onWire.size() >= 2; }));
        r.settle(30);
        QCOMPARE(r.fromHost.size(), 1);
        QCOMPARE(r.onWire[1].tid, uint8_t(4));

        LonFrame next = update;
        next.tid = 5;
        r.send(next);
        QVERIFY(r.pumpUntil([&] { return r.fromHost.size() == 2; }));
    }

    void incomingRequestGetsTag()
    {
        // A file packet ending a block comes as a request; the driver answers it with its
        // 17-byte response frame carrying the tag.
        Rig r;
        QVERIFY(r.openUnicast());
        const LonFrame packet = Rig::fromDevice(Pdu::Spdu, ip852::Request, 9, QByteArray(1, '\x3E') + char(0x05) + QByteArray(32, 'f'));
        r.send(packet);
        QVERIFY(r.pumpUntil([&] { return !r.fromHost.isEmpty(); }));
        const QByteArray in = r.fromHost[0];
        QCOMPARE(in[2] >> 5, 3);
        const uint8_t tag = in[2] & 0x0F;
        QCOMPARE(uint8_t(in[1]) - 16, 32);
        QCOMPARE(uint8_t(in[16]), uint8_t(0x3E));

        QByteArray ack(17, '\0');
        ack[0] = 0x12; ack[1] = 0x0F; ack[2] = char(tag | 0x60); ack[3] = 0x01; ack[4] = 0x01; ack[5] = 0x02;
        ack[6] = char(HostSubnet); ack[7] = char(HostNode | 0x80); ack[8] = char(DevSubnet); ack[9] = char(DevNode | 0x80);
        ack[16] = 0x06;
        QCOMPARE(ldv_write(r.handle, ack.constData(), 17), short(LDV_OK));
        QVERIFY(r.pumpUntil([&] { return !r.onWire.isEmpty(); }));
        QCOMPARE(r.onWire[0].type, uint8_t(ip852::Response));
        QCOMPARE(r.onWire[0].tid, uint8_t(9));
        QCOMPARE(r.onWire[0].apdu, QByteArray("\x06", 1));
        r.send(packet);     // repeated: the stored response goes again, nothing new for the host
        QVERIFY(r.pumpUntil([&] { return r.onWire.size() >= 2; }));
        QCOMPARE(r.onWire[1].apdu, QByteArray("\x06", 1));
        r.settle(30);
        QCOMPARE(r.fromHost.size(), 1);
        // A second answer under the same tag finds no request waiting.
        QCOMPARE(ldv_write(r.handle, ack.constData(), 17), short(LDV_OK));
        r.settle(30);
        QCOMPARE(r.onWire.size(), 2);
    }

    void filePacketsAsTheSimulatorGivesThem()
    {
        Rig r;
        QVERIFY(r.openUnicast());
        const QByteArray payload = QByteArray(1, '\x00') + QByteArray(32, 'd');
        r.send(Rig::fromDevice(Pdu::Apdu, 0, 0, QByteArray(1, '\x3E') + payload));
        QVERIFY(r.pumpUntil([&] { return !r.fromHost.isEmpty(); }));
        QByteArray expected = lontalk::wire::incoming(lontalk::wire::Unacknowledged, 0, 0x3E, payload, {0, DevSubnet, DevNode},
                                                     {0, HostSubnet, HostNode});
        QCOMPARE(r.fromHost[0], expected);
    }

    void broadcastTakesEveryAnswer()
    {
        Rig r;
        QVERIFY(r.openUnicast());
        QByteArray broadcast;
        broadcast.append(char(0x03)).append(char(0)).append(char(2)).append(char(9)).append(char(0));
        const QByteArray query = hostFrame(3, 3, broadcast, 0x61, "\x01");
        QCOMPARE(ldv_write(r.handle, query.constData(), short(query.size())), short(LDV_OK));
        QVERIFY(r.pumpUntil([&] { return !r.onWire.isEmpty(); }));
        const LonFrame sent = r.onWire[0];
        QCOMPARE(sent.address.format, ip852::AddressFormat::Broadcast);
        QCOMPARE(sent.backlog, uint8_t(15));
        LonFrame a = Rig::replyTo(sent, QByteArray::fromHex("21" "0a0b0c0d0e0f" "0000000000000000"));
        LonFrame b = Rig::replyTo(sent, QByteArray::fromHex("21" "1a1b1c1d1e1f" "0000000000000000"));
        b.address.sourceSubnet = 0;     // an unconfigured device answers from 0/0
        b.address.sourceNode = 0;
        r.send(a);
        r.send(b);
        r.send(a);                      // counted once
        QVERIFY(r.pumpUntil([&] { return !completions(r.fromHost).isEmpty(); }));
        QCOMPARE(count(r.fromHost, isResponse), 2);
        QCOMPARE(completionCode(r.fromHost.last()), 1);
    }

    void groupAnswersInFormTwoB()
    {
        Rig r;
        QVERIFY(r.openUnicast());
        QByteArray group;
        group.append(char(0x83)).append(char(0)).append(char(3)).append(char(8)).append(char(0x21));   // size 3
        const QByteArray update = hostFrame(0, 4, group, 0x80, QByteArray::fromHex("0101"));
        QCOMPARE(ldv_write(r.handle, update.constData(), short(update.size())), short(LDV_OK));
        QVERIFY(r.pumpUntil([&] { return !r.onWire.isEmpty(); }));
        const LonFrame sent = r.onWire[0];
        QCOMPARE(sent.address.format, ip852::AddressFormat::Group);
        QCOMPARE(sent.backlog, uint8_t(2));
        LonFrame member0 = Rig::replyTo(sent);
        member0.address.groupReply = true;
        member0.address.group = 0x21;
        member0.address.member = 0;
        r.send(member0);
        const auto reminded = [&] {
            return std::any_of(r.onWire.begin(), r.onWire.end(), [](const LonFrame &f) { return f.type == ip852::TRemMsg; });
        };
        QVERIFY(r.pumpUntil(reminded));
        const LonFrame retry = r.onWire.last();
        QCOMPARE(retry.type, uint8_t(ip852::TRemMsg));
        QCOMPARE(retry.memberList, QByteArray("\x01", 1));
        QCOMPARE(retry.tid, sent.tid);
        QVERIFY(completions(r.fromHost).isEmpty());
        LonFrame member1 = member0;
        member1.address.member = 1;
        member1.address.sourceNode = 6;
        r.send(member1);
        QVERIFY(r.pumpUntil([&] { return !completions(r.fromHost).isEmpty(); }));
        QCOMPARE(completionCode(r.fromHost.last()), 1);
    }

    void channelFilters()
    {
        Rig r;
        QVERIFY(r.openUnicast());
        const LonFrame m1 = Rig::fromDevice(Pdu::Apdu, 0, 0, QByteArray::fromHex("0101"));
        const LonFrame m2 = Rig::fromDevice(Pdu::Apdu, 0, 0, QByteArray::fromHex("0102"));
        // Two packets in one datagram.
        r.peer.send(ip852::buildDataPacket(r.session, 0, ip852::buildFrame(m1)) + ip852::buildDataPacket(r.session, 1, ip852::buildFrame(m2)),
                    r.target);
        QVERIFY(r.pumpUntil([&] { return r.fromHost.size() == 2; }));
        // The same sequence number again is a duplicate of the channel; a new one is not.
        r.peer.send(ip852::buildDataPacket(r.session, 1, ip852::buildFrame(m2)), r.target);
        // A stranger (another address) is not a member. Another port of the member's own
        // address would pass: a member behind NAT may send from any port.
        ip852::UdpPort stranger;
        QString error;
        QVERIFY(stranger.bind({0x7F000002, 0}, error));
        stranger.send(ip852::buildDataPacket(99, 0, ip852::buildFrame(m1)), r.target);
        // Garbage and a flipped CRC.
        r.peer.send(QByteArray::fromHex("ffff0101"), r.target);
        QByteArray bad = ip852::buildFrame(m1);
        bad[bad.size() - 1] = char(bad[bad.size() - 1] ^ 0x10);
        r.peer.send(ip852::buildDataPacket(r.session, 2, bad), r.target);
        r.settle(60);
        QCOMPARE(r.fromHost.size(), 2);
        r.peer.send(ip852::buildDataPacket(r.session, 3, ip852::buildFrame(m2)), r.target);
        QVERIFY(r.pumpUntil([&] { return r.fromHost.size() == 3; }));
        // A restarted device (new session) starts its sequence again.
        r.peer.send(ip852::buildDataPacket(r.session + 1, 0, ip852::buildFrame(m1)), r.target);
        QVERIFY(r.pumpUntil([&] { return r.fromHost.size() == 4; }));
        QCOMPARE(r.fromHost[3].mid(16), QByteArray::fromHex("0101"));
    }

    void handlesShareOneUnicastInterface()
    {
        // Two sites on one interface name: both handles hear the channel through its one port.
        Rig r;
        QVERIFY(r.openUnicast());
        short second = -1;
        QCOMPARE(ldv_open("IPTEST", &second), short(LDV_OK));
        r.send(Rig::fromDevice(Pdu::Apdu, 0, 0, QByteArray::fromHex("0107")));
        QByteArray got;
        QVERIFY(r.pumpUntil([&] {
            uint8_t buffer[1024];
            if (got.isEmpty() && ldv_read(second, buffer, 1024) == LDV_OK)
                got = QByteArray(reinterpret_cast<const char *>(buffer), 17 + buffer[4] - 1);
            return !got.isEmpty() && r.fromHost.size() == 1;
        }));
        QCOMPARE(got, r.fromHost[0]);
        QCOMPARE(ldv_close(second), short(LDV_OK));
    }

    void authenticatedChannel()
    {
        Rig r;
        r.secret = QByteArray::fromHex("00112233445566778899aabbccddeeff");
        QVERIFY(r.openUnicast(QStringLiteral(", \"secret\": \"00112233445566778899aabbccddeeff\"")));
        const LonFrame m = Rig::fromDevice(Pdu::Apdu, 0, 0, QByteArray::fromHex("0101"));
        r.peer.send(ip852::buildDataPacket(r.session, r.sequence++, ip852::buildFrame(m)), r.target);   // no digest
        r.settle(40);
        QCOMPARE(r.fromHost.size(), 0);
        r.send(m);
        QVERIFY(r.pumpUntil([&] { return r.fromHost.size() == 1; }));
        const QByteArray request = hostFrame(2, 1, toNode(DevSubnet, DevNode), 0x01, "\x02");
        QCOMPARE(ldv_write(r.handle, request.constData(), short(request.size())), short(LDV_OK));
        QVERIFY(r.pumpUntil([&] { return !r.onWire.isEmpty(); }));     // parsed with the secret
        QVERIFY(r.rawPackets.last().header.authenticated());
    }

    // The device challenges our acknowledged update sent with the authentication bit: with
    // a key the interface replies (computed over the update's APDU) and the transaction
    // goes on; without one it stays silent and the transaction fails. A challenge for a
    // TID nothing waits on, or to another node's Neuron ID, gets no reply.
    void challengeAnswered_data()
    {
        QTest::addColumn<QByteArray>("key");
        QTest::newRow("key") << QByteArray::fromHex("0A1B2C3D4E5F");
        QTest::newRow("no key") << QByteArray();
    }
    void challengeAnswered()
    {
        QFETCH(QByteArray, key);
        Rig r;
        r.key = key;
        QVERIFY(r.openUnicast());
        QByteArray update = hostFrame(0, 2, toNode(DevSubnet, DevNode, 1, 4), 0xBF, QByteArray::fromHex("FF0929"));
        update[2] = char(update[2] | 0x10);
        QCOMPARE(ldv_write(r.handle, update.constData(), short(update.size())), short(LDV_OK));
        QVERIFY(r.pumpUntil([&] { return !r.onWire.isEmpty(); }));
        const LonFrame sent = r.onWire[0];
        QVERIFY(sent.authenticated);
        const lontalk::AuthBytes challenge = lontalk::newChallenge();
        LonFrame stray = ip852::challengeFrame(sent, DevSubnet, DevNode, challenge);
        stray.tid = (sent.tid + 1) & 0x0F;
        r.send(stray);
        // The right TID, but addressed to another node's Neuron ID.
        LonFrame elsewhere = ip852::challengeFrame(sent, DevSubnet, DevNode, challenge);
        elsewhere.address.format = ip852::AddressFormat::NeuronId;
        elsewhere.address.neuronId = {0x05, 0x06, 0x07, 0x08, 0x09, 0x0A};
        r.send(elsewhere);
        r.send(ip852::challengeFrame(sent, DevSubnet, DevNode, challenge));
        const auto replied = [&] {
            return std::any_of(r.onWire.begin(), r.onWire.end(), [](const LonFrame &f) { return ip852::isAuthReply(f); });
        };
        if (key.isEmpty()) {
            QVERIFY(r.pumpUntil([&] { return !completions(r.fromHost).isEmpty(); }));
            QVERIFY(!replied());
            QCOMPARE(completionCode(completions(r.fromHost)[0]), 2);
            return;
        }
        QVERIFY(r.pumpUntil(replied));
        r.settle(20);
        QCOMPARE(std::count_if(r.onWire.begin(), r.onWire.end(), [](const LonFrame &f) { return ip852::isAuthReply(f); }), qsizetype(1));
        const LonFrame reply = *std::find_if(r.onWire.begin(), r.onWire.end(), [](const LonFrame &f) { return ip852::isAuthReply(f); });
        QCOMPARE(reply.tid, sent.tid);
        QCOMPARE(reply.address.subnet, DevSubnet);
        QCOMPARE(reply.address.node, DevNode);
        QCOMPARE(ip852::authBytesOf(reply), std::optional(lontalk::authenticationReply(challenge, lontalk::authKeyOf(key), sent.apdu)));
        r.send(Rig::replyTo(sent));
        QVERIFY(r.pumpUntil([&] { return !completions(r.fromHost).isEmpty(); }));
        QCOMPARE(completionCode(completions(r.fromHost)[0]), 1);
    }

    // An acknowledged message with the authentication bit is held and challenged; the
    // host gets it once the device replies, marked authenticated when the reply was
    // computed with our key; without a reply the host gets nothing and no ACK goes out.
    void incomingChallenged_data()
    {
        QTest::addColumn<QByteArray>("deviceKey");  // empty: the device never replies
        QTest::addColumn<bool>("delivered");
        QTest::addColumn<bool>("authentic");
        QTest::newRow("right key") << QByteArray::fromHex("0A1B2C3D4E5F") << true << true;
        QTest::newRow("wrong key") << QByteArray::fromHex("0A1B2C3D4E50") << true << false;
        QTest::newRow("no reply") << QByteArray() << false << false;
    }
    void incomingChallenged()
    {
        QFETCH(QByteArray, deviceKey);
        QFETCH(bool, delivered);
        QFETCH(bool, authentic);
        Rig r;
        r.key = QByteArray::fromHex("0A1B2C3D4E5F");
        QVERIFY(r.openUnicast());
        LonFrame update = Rig::fromDevice(Pdu::Tpdu, ip852::Ackd, 6, QByteArray::fromHex("810512"));
        update.authenticated = true;
        r.send(update);
        QVERIFY(r.pumpUntil([&] { return !r.onWire.isEmpty(); }));
        const LonFrame challenge = r.onWire[0];
        QVERIFY(ip852::isChallenge(challenge));
        QCOMPARE(challenge.tid, uint8_t(6));
        QCOMPARE(challenge.address.subnet, DevSubnet);
        QCOMPARE(challenge.address.node, DevNode);
        r.send(update);     // a repeat before the reply gets the same challenge
        QVERIFY(r.pumpUntil([&] { return r.onWire.size() >= 2; }));
        QCOMPARE(r.onWire[1].apdu, challenge.apdu);
        r.settle(20);
        QVERIFY(r.fromHost.isEmpty());
        if (!deviceKey.isEmpty()) {
            const auto bytes = ip852::authBytesOf(challenge);
            QVERIFY(bytes);
            r.send(ip852::replyFrame(challenge, update,
                                     lontalk::authenticationReply(*bytes, lontalk::authKeyOf(deviceKey), update.apdu)));
        }
        if (!delivered) {
            r.settle(100);
            QVERIFY(r.fromHost.isEmpty());
            QCOMPARE(r.onWire.size(), 2);
            return;
        }
        QVERIFY(r.pumpUntil([&] { return !r.fromHost.isEmpty() && r.onWire.size() >= 3; }));
        QVERIFY(isIncoming(r.fromHost[0]));
        QCOMPARE(bool(r.fromHost[0][2] & 0x10), authentic);
        QCOMPARE(r.fromHost[0].mid(16), QByteArray::fromHex("810512"));
        QVERIFY(r.onWire[2].isReply());
        QCOMPARE(r.onWire[2].tid, uint8_t(6));
    }

    void multicastChannel()
    {
        Rig r;
        QString error;
        const uint16_t port = freePort();
        const uint32_t group = 0xEFC0544C;      // 239.192.84.76
        QVERIFY(r.peer.bind({0, port}, error, true));
        if (!r.peer.joinGroup(group, 0x7F000001, 1, error))
            QSKIP(qPrintable(QStringLiteral("no multicast on loopback: ") + error));
        ip852::UdpPort deviceSender;            // a device answers from an ephemeral port
        QVERIFY(deviceSender.bind({0x7F000001, 0}, error) && deviceSender.multicastSender(0x7F000001, 1, error));
        QVERIFY(r.open(QStringLiteral("\"mode\": \"multicast\", \"group\": \"239.192.84.76\", \"port\": %1, "
                                      "\"localAddress\": \"127.0.0.1\"").arg(port)));
        // Our own broadcast comes back to us on the group and is not taken for a message.
        QByteArray broadcast;
        broadcast.append(char(0x03)).append(char(0)).append(char(1)).append(char(10)).append(char(0));
        const QByteArray query = hostFrame(3, 3, broadcast, 0x61, "\x01");
        QCOMPARE(ldv_write(r.handle, query.constData(), short(query.size())), short(LDV_OK));
        QVERIFY(r.pumpUntil([&] { return !r.onWire.isEmpty(); }));
        const LonFrame sent = r.onWire[0];
        deviceSender.send(ip852::buildDataPacket(77, 0, ip852::buildFrame(Rig::replyTo(sent, QByteArray::fromHex("21010203040506"))) ),
                          {group, port});
        QVERIFY(r.pumpUntil([&] { return !completions(r.fromHost).isEmpty(); }));
        QCOMPARE(count(r.fromHost, isIncoming), 0);
        QCOMPARE(count(r.fromHost, isResponse), 1);
        QCOMPARE(completionCode(r.fromHost.last()), 1);
    }
};

QTEST_APPLESS_MAIN(TestIp852Interface)
#include "tst_ip852_ni.moc"
