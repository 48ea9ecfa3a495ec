// LonTalk authentication by a simulated device behind the channel server, on a fake
// clock: an acknowledged update sent with the authentication bit is challenged with 8
// fresh random bytes and held; only the sender's reply, within the receive timer, releases
// it; a variable that takes only authenticated updates changes only when that reply was
// computed with the device's key; a message never replied to has no effect and no ACK.

#include "ChannelPeer.h"
#include "lonsim/DescriptionLoader.h"
#include "lonsim/channel/ChannelServer.h"
#include "lontalk/Authentication.h"
#include "lontalk/ip852/AuthFrames.h"

#include <QtTest>

using namespace lonsim;
using namespace lonsim::channel;

namespace {

const QByteArray Dom4C = QByteArray::fromHex("4C");
const QByteArray DeviceKey = QByteArray::fromHex("0A1B2C3D4E5F");
constexpr quint8 Guarded = 12;

// The device of auth.json behind lonsim-channel's server on a loopback unicast channel,
// with the test's host as the one member.
class Rig {
public:
    Rig()
    {
        LoadResult loaded = loadDescriptionFile(QStringLiteral(LONSIM_FIXTURES "/auth.json"));
        if (!loaded.model)
            return;
        m_network = std::make_unique<Network>(std::move(*loaded.model), QStringLiteral("auth"));
        m_network->setClockForTest([this] { return now; });
        ChannelOptions options;
        options.network = QStringLiteral("auth");
        options.mode = ChannelOptions::Unicast;
        options.listen = Peer{QHostAddress::LocalHost, 0};
        options.members = {Peer{QHostAddress::LocalHost, m_host.Port()}};
        m_server = std::make_unique<ChannelServer>(*m_network, options);
        QString error;
        m_started = m_server->start(error);
    }
    bool started() const { return m_started; }

    // The frames that come back for frame (at least `count`, waiting at most ms).
    QList<ip852::LonFrame> send(const ip852::LonFrame &frame, int count = 1, int ms = 3000)
    {
        m_host.Send(frame, m_server->link().localPort());
        return m_host.Frames(count, ms);
    }
    // Frames that come unasked within ms.
    QList<ip852::LonFrame> heard(int ms) { return m_host.Frames(1, ms); }
    QByteArray value(int index) { return m_network->device(QStringLiteral("Guarded"))->slotAt(index)->value; }
    const DeviceCounters &counts() { return m_network->device(QStringLiteral("Guarded"))->counts(); }

    qint64 now = 1000;

private:
    ChannelPeer m_host;
    std::unique_ptr<Network> m_network;
    std::unique_ptr<ChannelServer> m_server;
    bool m_started = false;
};

// An acknowledged update of variable index (unbound: selector 0x3FFF - index) with the
// authentication bit.
ip852::LonFrame AuthenticatedUpdate(int index, const QByteArray &value, quint8 tid)
{
    ip852::LonFrame f = HostMessage(Dom4C, 1, Guarded, QByteArray(1, char(0xBF)) + char(0xFF - index) + value, tid,
                                    ip852::Pdu::Tpdu, ip852::Ackd);
    f.authenticated = true;
    return f;
}

// The host's reply to challenge for message, computed with key.
ip852::LonFrame ReplyWith(const ip852::LonFrame &challenge, const ip852::LonFrame &message, const QByteArray &key)
{
    const auto bytes = ip852::authBytesOf(challenge);
    return ip852::replyFrame(challenge, message,
                             lontalk::authenticationReply(bytes.value_or(lontalk::AuthBytes{}), lontalk::authKeyOf(key),
                                                          message.apdu));
}

bool IsAck(const ip852::LonFrame &f, quint8 tid)
{
    return f.pdu == ip852::Pdu::Tpdu && f.type == ip852::Ack && f.tid == tid;
}

} // namespace

class TestDeviceAuth : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void reply_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QByteArray>("key");        // empty: the host never replies
        QTest::addColumn<int>("replyAfterMs");
        QTest::addColumn<int>("replySourceNode");
        QTest::addColumn<bool>("acknowledged");
        QTest::addColumn<bool>("changes");
        const QByteArray wrong = QByteArray::fromHex("0A1B2C3D4E50");
        // nviSetpoint (index 0) takes only authenticated updates; nviOffset (1) any.
        QTest::newRow("right key") << 0 << DeviceKey << 10 << 126 << true << true;
        QTest::newRow("right key at the end of the receive timer") << 0 << DeviceKey << 12287 << 126 << true << true;
        // A wrong reply is acknowledged all the same; the update is refused.
        QTest::newRow("wrong key") << 0 << wrong << 10 << 126 << true << false;
        QTest::newRow("no reply") << 0 << QByteArray() << 0 << 126 << false << false;
        QTest::newRow("right key after the receive timer") << 0 << DeviceKey << 12288 << 126 << false << false;
        QTest::newRow("right key from another node") << 0 << DeviceKey << 10 << 125 << false << false;
        QTest::newRow("plain variable, wrong key") << 1 << wrong << 10 << 126 << true << true;
    }
    void reply()
    {
        QFETCH(int, index);
        QFETCH(QByteArray, key);
        QFETCH(int, replyAfterMs);
        QFETCH(int, replySourceNode);
        QFETCH(bool, acknowledged);
        QFETCH(bool, changes);
        Rig rig;
        QVERIFY(rig.started());
        const QByteArray before = rig.value(index);
        const QByteArray value = QByteArray::fromHex("0929");
        const ip852::LonFrame update = AuthenticatedUpdate(index, value, 7);
        const QList<ip852::LonFrame> challenged = rig.send(update);
        QCOMPARE(challenged.size(), 1);
        const ip852::LonFrame &c = challenged.first();
        // The challenge goes back 2a from the address the message was sent to: same domain,
        // TID, the message's address format, 8 bytes.
        QVERIFY(ip852::isChallenge(c));
        QCOMPARE(c.tid, quint8(7));
        QCOMPARE(c.domain, Dom4C);
        QCOMPARE(c.authFormat, quint8(ip852::AddressFormat::SubnetNode));
        QCOMPARE(c.address.format, ip852::AddressFormat::SubnetNode);
        QCOMPARE(c.address.subnet, quint8(1));
        QCOMPARE(c.address.node, quint8(126));
        QCOMPARE(c.address.sourceNode, Guarded);
        QCOMPARE(c.apdu.size(), 8);
        // Nothing takes effect before the reply.
        QCOMPARE(rig.value(index), before);
        QCOMPARE(rig.counts().update, 0);
        if (key.isEmpty()) {
            QVERIFY(rig.heard(300).isEmpty());
            QCOMPARE(rig.value(index), before);
            return;
        }
        rig.now += replyAfterMs;
        ip852::LonFrame reply = ReplyWith(c, update, key);
        reply.address.sourceNode = quint8(replySourceNode);
        const QList<ip852::LonFrame> answers = rig.send(reply, 1, acknowledged ? 3000 : 300);
        QCOMPARE(answers.size() == 1 && IsAck(answers.first(), 7), acknowledged);
        QCOMPARE(rig.value(index), changes ? value : before);
        QCOMPARE(rig.counts().unauthenticated, acknowledged && !changes ? 1 : 0);
    }

    // Each new message gets a challenge of its own; a repeat of a held message the same
    // one again; once released, a repeat gets the stored ACK and changes nothing more.
    void challengesAreFreshAndRepeatsGetTheSame()
    {
        Rig rig;
        QVERIFY(rig.started());
        const ip852::LonFrame first = AuthenticatedUpdate(0, QByteArray::fromHex("0901"), 3);
        const QList<ip852::LonFrame> c1 = rig.send(first);
        QCOMPARE(c1.size(), 1);
        rig.now += 2000;
        const QList<ip852::LonFrame> again = rig.send(first);
        QCOMPARE(again.size(), 1);
        QVERIFY(ip852::isChallenge(again.first()));
        QCOMPARE(again.first().apdu, c1.first().apdu);
        const QList<ip852::LonFrame> ack = rig.send(ReplyWith(c1.first(), first, DeviceKey));
        QVERIFY(ack.size() == 1 && IsAck(ack.first(), 3));
        QCOMPARE(rig.value(0), QByteArray::fromHex("0901"));
        const QList<ip852::LonFrame> repeat = rig.send(first);
        QVERIFY(repeat.size() == 1 && IsAck(repeat.first(), 3));
        QCOMPARE(rig.counts().update, 1);

        const ip852::LonFrame second = AuthenticatedUpdate(0, QByteArray::fromHex("0902"), 4);
        const QList<ip852::LonFrame> c2 = rig.send(second);
        QCOMPARE(c2.size(), 1);
        QVERIFY(ip852::isChallenge(c2.first()));
        QVERIFY(c2.first().apdu != c1.first().apdu);
        // A reply computed for the earlier challenge does not authenticate the new message.
        ip852::LonFrame stale = ReplyWith(c1.first(), second, DeviceKey);
        stale.tid = 4;
        const QList<ip852::LonFrame> refused = rig.send(stale);
        QVERIFY(refused.size() == 1 && IsAck(refused.first(), 4));
        QCOMPARE(rig.value(0), QByteArray::fromHex("0901"));
        QCOMPARE(rig.counts().unauthenticated, 1);
        QCOMPARE(rig.counts().challenges, 2);
    }
};

QTEST_GUILESS_MAIN(TestDeviceAuth)
#include "tst_device_auth.moc"
