// LonTalk authentication against the worked examples: the reply for known keys,
// challenges and APDUs (one pass and two), and the challenge and reply frames of an
// acknowledged update to a subnet/node and to a group, byte for byte with their CRCs.
#include "lontalk/ip852/AuthFrames.h"
#include "lontalk/ip852/LonFrame.h"
#include "lontalk/Authentication.h"

#include <QtTest>

using namespace ip852;

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

template <std::size_t N>
std::array<uint8_t, N> bytes(const QByteArray &b)
{
    std::array<uint8_t, N> out{};
    std::copy_n(reinterpret_cast<const uint8_t *>(b.constData()), std::min<qsizetype>(N, b.size()), out.begin());
    return out;
}

QByteArray text(const lontalk::AuthBytes &b)
{
    return QByteArray(reinterpret_cast<const char *>(b.data()), 8).toHex(' ');
}

const QByteArray F1 = hex("01 09 01 FE 01 85 42 83 80 05 12 34 97 3E");
const QByteArray F2 = hex("00 29 01 85 01 FE 42 83 5A 3C 96 E1 07 B4 2D F8 BD 5F");
const QByteArray F3 = hex("00 29 01 FE 01 85 42 A3 AF 2D DA B7 CC 69 6C 86 C6 01");
const QByteArray F4 = hex("00 09 01 85 01 FE 42 23 50 62");
const QByteArray G2 = hex("00 29 01 05 01 FE 07 02 42 43 5A 3C 96 E1 07 B4 2D F8 07 37 54");
const QByteArray G3 = hex("00 29 01 FE 01 85 42 63 AF 2D DA B7 CC 69 6C 86 07 40 4C");
const QByteArray Key = hex("0A 1B 2C 3D 4E 5F");
const QByteArray ExampleChallenge = hex("5A 3C 96 E1 07 B4 2D F8");

} // namespace

class TestLonTalkAuth : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void replies_data()
    {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("challenge");
        QTest::addColumn<QByteArray>("apdu");
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("V1 NV update") << Key << ExampleChallenge << hex("80 05 12 34") << hex("AF 2D DA B7 CC 69 6C 86");
        QTest::newRow("V2 zeros") << QByteArray(6, '\0') << QByteArray(8, '\0') << hex("80 05 12 34")
                                  << hex("BC 26 A3 4B CF EA 50 05");
        QTest::newRow("V3 ones") << QByteArray(6, '\xFF') << hex("01 23 45 67 89 AB CD EF") << hex("6D 00 00 10 08")
                                 << hex("F7 10 AA 1C F7 6D 47 06");
        QByteArray fifty(1, '\x3F');
        for (int i = 0; i <= 0x30; ++i)
            fifty.append(char(i));
        QTest::newRow("V4 two passes") << Key << ExampleChallenge << fifty << hex("6F AF A7 F8 CB 1F 5E 34");
        QTest::newRow("V5 one byte") << Key << ExampleChallenge << hex("01") << hex("23 88 17 AE 24 74 FA DD");
    }

    void replies()
    {
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, challenge);
        QFETCH(QByteArray, apdu);
        QFETCH(QByteArray, reply);
        QCOMPARE(text(lontalk::authenticationReply(bytes<8>(challenge), bytes<6>(key), apdu)), reply.toHex(' '));
    }

    // The update, its challenge, the reply and the acknowledgement of the example parse
    // with their CRCs; the challenge and the reply built from the parsed frames are the
    // example's bytes.
    void subnetNodeExchange()
    {
        const auto update = parseFrame(F1);
        QVERIFY(update);
        QVERIFY(update->authenticated);
        QCOMPARE(update->tid, uint8_t(3));
        QCOMPARE(update->apdu, hex("80 05 12 34"));

        const LonFrame challenge = challengeFrame(*update, 1, 5, bytes<8>(ExampleChallenge));
        QCOMPARE(buildFrame(challenge).toHex(' '), F2.toHex(' '));
        const auto heard = parseFrame(F2);
        QVERIFY(heard && isChallenge(*heard));
        QCOMPARE(heard->authFormat, uint8_t(AddressFormat::SubnetNode));
        QCOMPARE(text(*authBytesOf(*heard)), ExampleChallenge.toHex(' '));

        const lontalk::AuthBytes value = lontalk::authenticationReply(*authBytesOf(*heard), bytes<6>(Key), update->apdu);
        QCOMPARE(buildFrame(replyFrame(*heard, *update, value)).toHex(' '), F3.toHex(' '));
        const auto reply = parseFrame(F3);
        QVERIFY(reply && isAuthReply(*reply));

        const auto ack = parseFrame(F4);
        QVERIFY(ack && ack->isReply());
        QCOMPARE(ack->tid, uint8_t(3));
    }

    // A group member challenges from form 2b with its member number and the group byte;
    // the reply echoes that byte.
    void groupExchange()
    {
        LonFrame update = *parseFrame(F1);
        update.address.format = AddressFormat::Group;
        update.address.group = 7;
        const LonFrame challenge = challengeFrame(update, 1, 5, bytes<8>(ExampleChallenge), 2);
        QCOMPARE(buildFrame(challenge).toHex(' '), G2.toHex(' '));
        const auto heard = parseFrame(G2);
        QVERIFY(heard && isChallenge(*heard) && heard->address.groupReply);
        QCOMPARE(heard->address.member, uint8_t(2));
        QCOMPARE(heard->authFormat, uint8_t(AddressFormat::Group));
        const lontalk::AuthBytes value = lontalk::authenticationReply(*authBytesOf(*heard), bytes<6>(Key), update.apdu);
        QCOMPARE(buildFrame(replyFrame(*heard, update, value)).toHex(' '), G3.toHex(' '));
    }

    // A challenge from node 0 for a Neuron-ID message (an unconfigured device's) is
    // answered by Neuron ID.
    void replyByNeuronId()
    {
        LonFrame original;
        original.pdu = Pdu::Spdu;
        original.authenticated = true;
        original.address.format = AddressFormat::NeuronId;
        original.address.sourceSubnet = 1;
        original.address.sourceNode = 126;
        original.address.neuronId = {1, 2, 3, 4, 5, 6};
        original.apdu = hex("6D 00 00 10 08");
        LonFrame challenge = challengeFrame(original, 0, 0, bytes<8>(ExampleChallenge));
        const LonFrame reply = replyFrame(challenge, original, {});
        QCOMPARE(reply.address.format, AddressFormat::NeuronId);
        QCOMPARE(reply.address.neuronId, original.address.neuronId);
        QCOMPARE(reply.authFormat, uint8_t(AddressFormat::NeuronId));
    }

    void shortAuthPduRefused()
    {
        LonFrame f = *parseFrame(F2);
        f.apdu.chop(1);
        QVERIFY(!authBytesOf(f));
        QVERIFY(!parseFrame(buildFrame(f)));     // an AuthPDU carries 8 bytes at least
    }

    void challengesDiffer()
    {
        QVERIFY(lontalk::newChallenge() != lontalk::newChallenge());
    }
};

QTEST_GUILESS_MAIN(TestLonTalkAuth)
#include "tst_lontalk_auth.moc"
