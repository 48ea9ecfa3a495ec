// Outgoing frames, received-frame parsing (including every truncation of a valid frame),
// the domain and read-only records, file packets, the message list, and which response
// answers which request.
#include "lonworks/LonLib.h"
#include "lonworks/LonTypes.h"

#include <QTest>

#include <vector>

namespace {

std::vector<quint8> Bytes(const QByteArray &hex)
{
    const QByteArray raw = QByteArray::fromHex(hex);
    return std::vector<quint8>(raw.begin(), raw.end());
}

QByteArray Hex(std::span<const quint8> bytes)
{
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size())).toHex();
}

void Apply(const QVariantMap &fields, TniMessage &m)
{
    const auto byte = [&](const char *key, quint8 &field) {
        if (fields.contains(QLatin1String(key)))
            field = quint8(fields.value(QLatin1String(key)).toUInt());
    };
    const auto flag = [&](const char *key, bool &field) {
        if (fields.contains(QLatin1String(key)))
            field = fields.value(QLatin1String(key)).toBool();
    };
    byte("AddressType", m.AddressType);
    byte("Command", m.Command);
    byte("ServiceType", m.ServiceType);
    byte("Tag", m.Tag);
    byte("Path", m.Path);
    byte("CompletionCode", m.CompletionCode);
    byte("Domain", m.Domain);
    byte("Subnet", m.Subnet);
    byte("Node", m.Node);
    byte("Backlog", m.Backlog);
    byte("Group", m.Group);
    byte("GroupMember", m.GroupMember);
    byte("Code", m.Code);
    flag("Authenticated", m.Authenticated);
    flag("Priority", m.Priority);
    flag("ExplicitAddress", m.ExplicitAddress);
    flag("AlternatePath", m.AlternatePath);
    flag("Pool", m.Pool);
    flag("Response", m.Response);
    if (fields.contains(QStringLiteral("NeuronId"))) {
        const auto id = Bytes(fields.value(QStringLiteral("NeuronId")).toByteArray());
        std::copy_n(id.begin(), 6, m.NeuronId.begin());
    }
    if (fields.contains(QStringLiteral("Data")))
        m.SetData(Bytes(fields.value(QStringLiteral("Data")).toByteArray()));
    if (fields.contains(QStringLiteral("DataLength")))
        m.DataLength = quint8(fields.value(QStringLiteral("DataLength")).toUInt());
}

// A valid response frame: queue 6, tag 3, from 5/9 to 1/3, code 0x33, data 3e 01 02.
const QByteArray kResponse = "16 12 63 01 04 80 05 89 01 03 00 00 00 00 00 00 33 3e 01 02";

} // namespace

class TestLonFrames : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void buildFrame_data()
    {
        QTest::addColumn<QVariantMap>("fields");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("subnet/node, domain 1")
            << QVariantMap{{"Tag", 1}, {"Domain", 1}, {"Subnet", 5}, {"Node", 9},
                           {"ExplicitAddress", true}, {"Code", 0x73}, {"Data", "3e"}}
            << QByteArray("12 10 61 08 02 01 89 a2 0a 05 00 00 00 00 00 00 73 3e");
        QTest::newRow("neuron id")
            << QVariantMap{{"AddressType", 2}, {"Tag", 3}, {"Subnet", 7}, {"ExplicitAddress", true},
                           {"Code", 0x62}, {"NeuronId", "010203040506"}, {"Data", "00"}}
            << QByteArray("12 10 63 08 02 02 00 a2 0a 07 01 02 03 04 05 06 62 00");
        QTest::newRow("broadcast, domain 1")
            << QVariantMap{{"AddressType", 3}, {"Tag", 14}, {"Domain", 1}, {"Backlog", 2},
                           {"ExplicitAddress", true}, {"Code", 0x61}, {"Data", "01"}}
            << QByteArray("12 10 6e 08 02 03 82 a2 0a 00 00 00 00 00 00 00 61 01");
        QTest::newRow("group, acknowledged")
            << QVariantMap{{"AddressType", 0x80}, {"ServiceType", 0}, {"Tag", 0}, {"Group", 7},
                           {"GroupMember", 3}, {"Code", 0x85}, {"Data", "12ab"}}
            << QByteArray("12 11 00 00 03 80 03 a2 0a 07 00 00 00 00 00 00 85 12 ab");
        QTest::newRow("local, no data: byte 1 is 15, byte 4 is 1")
            << QVariantMap{{"AddressType", 0x7F}, {"Command", 2}, {"Tag", 2}, {"Subnet", 9},
                           {"Node", 9}, {"ExplicitAddress", true}, {"Code", 0x6A}}
            << QByteArray("22 0f 62 08 01 7f 00 00 00 00 00 00 00 00 00 00 6a");
        QTest::newRow("every flag")
            << QVariantMap{{"Tag", 5}, {"Authenticated", true}, {"Priority", true}, {"Path", 1},
                           {"CompletionCode", 3}, {"ExplicitAddress", true}, {"AlternatePath", true},
                           {"Pool", true}, {"Response", true}, {"Subnet", 1}, {"Node", 2}, {"Code", 0x2D}}
            << QByteArray("12 0f 75 ff 01 01 02 a2 0a 01 00 00 00 00 00 00 2d");
        QTest::newRow("node keeps to seven bits")
            << QVariantMap{{"Tag", 1}, {"Subnet", 1}, {"Node", 0xC8}, {"Code", 0x73}}
            << QByteArray("12 0f 61 00 01 01 48 a2 0a 01 00 00 00 00 00 00 73");
    }
    void buildFrame()
    {
        QFETCH(QVariantMap, fields);
        QFETCH(QByteArray, expected);
        TniMessage m;
        Apply(fields, m);
        const QByteArray frame = LonWire::BuildFrame(m);
        QCOMPARE(frame.toHex(), QByteArray::fromHex(expected).toHex());
        QCOMPARE(frame.size(), m.DataLength + 17);
    }

    void buildFrameCutsOversizedData()
    {
        TniMessage m;
        m.DataLength = 250;
        const QByteArray frame = LonWire::BuildFrame(m);
        QCOMPARE(frame.size(), 255);
        QCOMPARE(quint8(frame[1]), quint8(253));
        QCOMPARE(quint8(frame[4]), quint8(239));
    }

    void parseFrame_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QVariantMap>("expected");
        QTest::newRow("response with destination node")
            << kResponse
            << QVariantMap{{"Command", 1}, {"Queue", 6}, {"ServiceType", 3}, {"Tag", 3},
                           {"Response", true}, {"Domain", 1}, {"SourceSubnet", 5}, {"SourceNode", 9},
                           {"Subnet", 1}, {"Node", 3}, {"Group", 0}, {"Code", 0x33},
                           {"ReceivedLength", 3}, {"ReceivedData", "3e0102"}};
        QTest::newRow("response to a group member")
            << QByteArray("16 11 02 01 03 00 05 09 01 83 07 04 00 00 00 00 2d aa bb")
            << QVariantMap{{"Queue", 6}, {"SourceNode", 9}, {"Node", 3}, {"Group", 7},
                           {"GroupMember", 4}, {"Code", 0x2D}, {"ReceivedData", "aabb"}};
        QTest::newRow("incoming, format 0 (broadcast)")
            << QByteArray("18 0f 01 00 01 00 04 86 02 0b 00 00 00 00 00 00 3e")
            << QVariantMap{{"Queue", 8}, {"SourceSubnet", 4}, {"SourceNode", 6}, {"Subnet", 2},
                           {"Node", 0}, {"Group", 0}, {"ReceivedLength", 0}, {"Code", 0x3E}};
        QTest::newRow("incoming, format 1 (group)")
            << QByteArray("18 0f 01 00 01 81 04 06 09 0b 00 00 00 00 00 00 3e")
            << QVariantMap{{"Queue", 8}, {"Domain", 1}, {"SourceSubnet", 4}, {"Group", 9}, {"Subnet", 0}};
        QTest::newRow("incoming, format 2 (subnet/node)")
            << QByteArray("18 0f 01 00 01 02 04 06 09 8b 00 00 00 00 00 00 3e")
            << QVariantMap{{"SourceSubnet", 4}, {"SourceNode", 6}, {"Subnet", 9}, {"Node", 11}};
        QTest::newRow("incoming, format 3 reads no address")
            << QByteArray("18 0f 01 00 01 03 04 06 09 8b 07 00 00 00 00 00 3e")
            << QVariantMap{{"SourceSubnet", 0}, {"SourceNode", 0}, {"Subnet", 0}, {"Node", 0}, {"Group", 0}};
        QTest::newRow("incoming, format 4")
            << QByteArray("18 0f 01 00 01 04 04 06 09 8b 00 00 00 00 00 00 3e")
            << QVariantMap{{"SourceSubnet", 4}, {"SourceNode", 6}, {"Subnet", 9}, {"Node", 0}};
        QTest::newRow("other queue reads no address")
            << QByteArray("12 0f 01 00 01 02 04 06 09 8b 00 00 00 00 00 00 3e")
            << QVariantMap{{"SourceSubnet", 0}, {"Subnet", 0}, {"Node", 0}};
        QTest::newRow("completion event")
            << QByteArray("12 0f 65 28 01 01 89 a2 0a 05 00 00 00 00 00 00 73")
            << QVariantMap{{"Tag", 5}, {"CompletionCode", 2}, {"ExplicitAddress", true},
                           {"Response", false}, {"Code", 0x73}};
        QTest::newRow("code only: b[4] = 1")
            << QByteArray("16 0f 61 01 01 00 05 89 01 03 00 00 00 00 00 00 2a")
            << QVariantMap{{"ReceivedLength", 0}, {"ReceivedData", ""}, {"RawLength", 17}};
        QTest::newRow("b[4] = 0 gives no data")
            << QByteArray("16 12 61 01 00 00 05 89 01 03 00 00 00 00 00 00 2a 01 02 03")
            << QVariantMap{{"ReceivedLength", 0}, {"RawLength", 17}};
        QTest::newRow("b[4] claims more than b[1] carries")
            << QByteArray("16 12 61 01 c8 00 05 89 01 03 00 00 00 00 00 00 33 01 02 03 ee ee")
            << QVariantMap{{"ReceivedLength", 3}, {"ReceivedData", "010203"}, {"RawLength", 20}};
        QTest::newRow("b[1] claims more than was delivered")
            << QByteArray("16 ff 61 01 ff 00 05 89 01 03 00 00 00 00 00 00 33 01 02 03")
            << QVariantMap{{"ReceivedLength", 3}, {"ReceivedData", "010203"}};
        QTest::newRow("b[1] too short for the header")
            << QByteArray("16 05 61 01 04 00 05 89 01 03 00 00 00 00 00 00 33 01 02 03")
            << QVariantMap{{"Tag", 1}, {"Response", true}, {"SourceSubnet", 5}, {"SourceNode", 0},
                           {"Code", 0}, {"ReceivedLength", 0}};
    }
    void parseFrame()
    {
        QFETCH(QByteArray, frame);
        QFETCH(QVariantMap, expected);
        const auto bytes = Bytes(frame);
        const auto m = LonWire::ParseFrame(bytes);
        QVERIFY(m);
        const QVariantMap actual{
            {"Command", m->Command}, {"Queue", m->Queue}, {"ServiceType", m->ServiceType},
            {"Tag", m->Tag}, {"Response", m->Response}, {"CompletionCode", m->CompletionCode},
            {"ExplicitAddress", m->ExplicitAddress}, {"Domain", m->Domain},
            {"SourceSubnet", m->SourceSubnet}, {"SourceNode", m->SourceNode}, {"Subnet", m->Subnet},
            {"Node", m->Node}, {"Group", m->Group}, {"GroupMember", m->GroupMember},
            {"Code", m->Code}, {"ReceivedLength", m->ReceivedLength}, {"RawLength", m->RawLength},
            {"ReceivedData", Hex(m->Received())}};
        for (auto it = expected.begin(); it != expected.end(); ++it) {
            QVariant want = it.value();
            if (it.key() == QLatin1String("ReceivedData"))
                want = QByteArray::fromHex(want.toByteArray()).toHex();
            QVERIFY2(actual.value(it.key()).toString() == want.toString(),
                     qPrintable(it.key() + QStringLiteral(": ") + actual.value(it.key()).toString()));
        }
    }

    void parseTruncatedFrame_data()
    {
        QTest::addColumn<int>("length");
        const int full = int(Bytes(kResponse).size());
        for (int length = 0; length <= full; ++length)
            QTest::addRow("%d bytes", length) << length;
    }
    void parseTruncatedFrame()
    {
        QFETCH(int, length);
        const auto full = Bytes(kResponse);
        // Exactly the delivered bytes on the heap, so any read past them is caught.
        std::vector<quint8> bytes(full.begin(), full.begin() + length);
        const auto m = LonWire::ParseFrame(bytes);
        QVERIFY(m);
        QVERIFY(m->ReceivedLength <= std::max(0, length - 17));
        QCOMPARE(m->RawLength, m->ReceivedLength + 17);
        QCOMPARE(m->Code, length > 16 ? quint8(0x33) : quint8(0));
        QCOMPARE(m->Tag, length > 2 ? quint8(3) : quint8(0));
        for (int i = m->ReceivedLength; i < 255; ++i)
            QCOMPARE(m->ReceivedData[size_t(i)], quint8(0));
        QCOMPARE(Hex(m->Received()), Hex(std::span<const quint8>(full).subspan(17, m->ReceivedLength)));
    }

    void parseOversizedFrameKeeps255()
    {
        std::vector<quint8> bytes(LonWire::ReadBufferSize, 0x5A);
        bytes[0] = 0x16;
        bytes[1] = 0xFF;
        bytes[4] = 0xFF;
        const auto m = LonWire::ParseFrame(bytes);
        QCOMPARE(m->ReceivedLength, quint8(240));
        QCOMPARE(m->RawFrame[254], quint8(0x5A));
    }

    void domainRecords()
    {
        const auto answer = Bytes("01 02 03 04 05 06 07 89 03 a1 a2 a3 a4 a5 a6");
        TniDomainTableEntry entry;
        QVERIFY(LonWire::DecodeDomainAnswer(answer, entry));
        QCOMPARE(entry.Subnet, quint8(7));
        QCOMPARE(entry.Node, quint8(9));
        QCOMPARE(entry.IdLength, quint8(3));
        QCOMPARE(entry.AuthKey[5], quint8(0xA6));
        QCOMPARE(Hex(LonWire::EncodeDomainUpdate(1, entry)),
                 QByteArray("01010203040506078903a1a2a3a4a5a6"));
        TniDomainTableEntry untouched;
        QVERIFY(!LonWire::DecodeDomainAnswer(std::span(answer).first(14), untouched));
        QCOMPARE(untouched.Subnet, quint8(0));
    }

    void bufferCapacity_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("capacity");
        QTest::newRow("code 0: 255 - 4 lowered to 210") << 0 << 210;
        QTest::newRow("code 1: 16 - 4 raised to 16") << 1 << 16;
        QTest::newRow("code 2: 20 - 4") << 2 << 16;
        QTest::newRow("code 8: 34 - 4") << 8 << 30;
        QTest::newRow("code 11: 66 - 4") << 11 << 62;
        QTest::newRow("code 15: 210 - 4") << 15 << 206;
    }
    void bufferCapacity()
    {
        QFETCH(int, code);
        QFETCH(int, capacity);
        QCOMPARE(int(LonWire::BufferCapacity(quint8(code))), capacity);
    }

    void readOnlyDecode()
    {
        const auto b = Bytes("a1a2a3a4a5a6 21 c7 1234 c5 ffff 9000010203040506 eb 50 0a 2b b0 123456 0000000000 03");
        QCOMPARE(b.size(), size_t(35));
        TniReadOnlyStructure s;
        LonWire::DecodeReadOnly(b, s);
        QCOMPARE(Hex(s.NeuronId), QByteArray("a1a2a3a4a5a6"));
        QCOMPARE(s.ModelNumber, quint8(0x21));
        QCOMPARE(s.ModelHighNibble, quint8(0x0C));
        QCOMPARE(s.MinorModel, quint8(7));
        QCOMPARE(s.NvFixedAddress, quint16(0x1234));
        QVERIFY(s.ReadWriteProtect);
        QVERIFY(s.RunWhenUnconfigured);
        QCOMPARE(s.NvCount, quint8(5));
        QCOMPARE(s.SnvtAddress, quint16(0xFFFF));
        QCOMPARE(Hex(s.ProgramId), QByteArray("9000010203040506"));
        QVERIFY(s.NvProcessingOff && s.TwoDomains && s.ExplicitAddressing && s.Byte21Bit3);
        QCOMPARE(s.Byte21Count, quint8(3));
        QCOMPARE(s.AddressCount, quint8(5));
        QCOMPARE(s.ReceiveTransCount, quint8(0x0A));
        QCOMPARE(Hex(s.BufferSizeCodes), QByteArray("020b0b00"));
        QCOMPARE(Hex(s.BufferCountCodes), QByteArray("010203040506"));
        QVERIFY(s.Byte34Bit1 && s.Byte34Bit0);
        QCOMPARE(Hex(s.BufferCapacities), QByteArray::fromHex("10 3e 3e d2").toHex());

        // A short answer decodes what it has; the rest reads as zero.
        TniReadOnlyStructure shortOne;
        LonWire::DecodeReadOnly(std::span(b).first(12), shortOne);
        QCOMPARE(shortOne.SnvtAddress, quint16(0xFF00));
        QCOMPARE(shortOne.BufferCapacities[0], quint8(210));
        TniReadOnlyStructure fresh;
        QCOMPARE(Hex(fresh.BufferCapacities), QByteArray("10101010"));
    }

    void filePacket_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("dataLength");
        QTest::newRow("three data bytes")
            << QByteArray("18 13 01 00 05 02 04 86 01 03 00 00 00 00 00 00 3e 25 aa bb cc") << true << 3;
        QTest::newRow("no data")
            << QByteArray("18 10 01 00 05 02 04 86 01 03 00 00 00 00 00 00 3e 25") << true << 0;
        QTest::newRow("b[1] lies long")
            << QByteArray("18 ff 01 00 05 02 04 86 01 03 00 00 00 00 00 00 3e 25 aa") << true << 1;
        QTest::newRow("b[1] lies short")
            << QByteArray("18 05 01 00 05 02 04 86 01 03 00 00 00 00 00 00 3e 25 aa") << false << 0;
        QTest::newRow("no sequence byte")
            << QByteArray("18 0f 01 00 05 02 04 86 01 03 00 00 00 00 00 00 3e") << false << 0;
        QTest::newRow("wrong queue")
            << QByteArray("16 13 01 00 05 02 04 86 01 03 00 00 00 00 00 00 3e 25 aa bb cc") << false << 0;
        QTest::newRow("wrong code")
            << QByteArray("18 13 01 00 05 02 04 86 01 03 00 00 00 00 00 00 33 25 aa bb cc") << false << 0;
    }
    void filePacket()
    {
        QFETCH(QByteArray, frame);
        QFETCH(bool, valid);
        QFETCH(int, dataLength);
        const auto bytes = Bytes(frame);
        LonWire::TFilePacket packet;
        QCOMPARE(LonWire::ParseFilePacket(bytes, packet), valid);
        if (valid) {
            QCOMPARE(packet.SourceNode, quint8(6));
            QCOMPARE(packet.Block, quint8(2));
            QCOMPARE(packet.Packet, quint8(5));
            QCOMPARE(int(packet.Data.size()), dataLength);
        }
    }

    void fileAck()
    {
        QCOMPARE(Hex(LonWire::BuildFileAck(0x9B, 1, 7, 4, 6, 6)),
                 QByteArray("120f6b0101020187048600000000000006"));
    }

    void listIndexError_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("text");
        QTest::newRow("past the end") << 5 << QStringLiteral("Index (5) outside range 1..2");
        QTest::newRow("at the count") << 3 << QStringLiteral("Index (3) outside range 1..2");
        QTest::newRow("negative") << -1 << QStringLiteral("Index (-1) outside range 1..2");
    }
    void listIndexError()
    {
        QFETCH(int, index);
        QFETCH(QString, text);
        TListOfniMessage list;
        for (int i = 0; i < 3; ++i) {
            auto m = std::make_unique<TniMessage>();
            m->Code = quint8(i);
            list.Add(std::move(m));
        }
        QCOMPARE(list.Items(2).Code, quint8(2));
        try {
            list.Items(index);
            QFAIL("no error raised");
        } catch (const std::out_of_range &e) {
            QCOMPARE(QString::fromStdString(e.what()), text);
        }
        list.Clear();
        QVERIFY(list.IsEmpty());
    }

    // A response is taken for a request only when it fits it: the tag, the code's
    // success or failure answer, the variable index (either form), the length asked for,
    // a polled selector. A device's stored answer to an earlier transaction fails these.
    void answersRequest_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QByteArray>("asked");
        QTest::addColumn<int>("answerTag");
        QTest::addColumn<int>("answerCode");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<bool>("taken");
        QTest::newRow("fetch, its variable") << 0x73 << QByteArray("03") << 5 << 0x33 << QByteArray("030866") << true;
        QTest::newRow("fetch, escaped answer") << 0x73 << QByteArray("03") << 5 << 0x33 << QByteArray("ff00030866") << true;
        QTest::newRow("fetch, escaped index") << 0x73 << QByteArray("ff0140") << 5 << 0x33 << QByteArray("ff014001") << true;
        QTest::newRow("fetch, refused") << 0x73 << QByteArray("03") << 5 << 0x13 << QByteArray() << true;
        QTest::newRow("fetch, another variable") << 0x73 << QByteArray("03") << 5 << 0x33 << QByteArray("040866") << false;
        QTest::newRow("fetch, another escaped variable") << 0x73 << QByteArray("ff0140") << 5 << 0x33 << QByteArray("ff014101") << false;
        QTest::newRow("fetch, no value") << 0x73 << QByteArray("03") << 5 << 0x33 << QByteArray("03") << false;
        QTest::newRow("fetch, nothing") << 0x73 << QByteArray("03") << 5 << 0x33 << QByteArray() << false;
        QTest::newRow("fetch, another tag") << 0x73 << QByteArray("03") << 6 << 0x33 << QByteArray("030866") << false;
        QTest::newRow("fetch, another code") << 0x73 << QByteArray("03") << 5 << 0x32 << QByteArray("030866") << false;
        QTest::newRow("fetch, memory read answer") << 0x73 << QByteArray("03") << 5 << 0x2D << QByteArray("030866") << false;
        QTest::newRow("read memory, length asked") << 0x6D << QByteArray("00f00010") << 5 << 0x2D << QByteArray(32, '0') << true;
        QTest::newRow("read memory, shorter") << 0x6D << QByteArray("00f00010") << 5 << 0x2D << QByteArray(30, '0') << false;
        QTest::newRow("read memory, longer") << 0x6D << QByteArray("00f00003") << 5 << 0x2D << QByteArray(32, '0') << false;
        QTest::newRow("read memory, refused") << 0x6D << QByteArray("00f00010") << 5 << 0x0D << QByteArray() << true;
        QTest::newRow("query SNVT, length asked") << 0x72 << QByteArray("000004") << 5 << 0x32 << QByteArray("00112233") << true;
        QTest::newRow("query SNVT, another length") << 0x72 << QByteArray("000004") << 5 << 0x32 << QByteArray("001122") << false;
        QTest::newRow("query ID") << 0x61 << QByteArray("01") << 5 << 0x21 << QByteArray(28, '1') << true;
        QTest::newRow("query ID, too short for a Neuron ID") << 0x61 << QByteArray("01") << 5 << 0x21 << QByteArray("0102") << false;
        QTest::newRow("NV config") << 0x68 << QByteArray("03") << 5 << 0x28 << QByteArray("3ffc0f") << true;
        QTest::newRow("NV config, short") << 0x68 << QByteArray("03") << 5 << 0x28 << QByteArray("3f") << false;
        QTest::newRow("polled selector") << 0x81 << QByteArray("20") << 5 << 0xC1 << QByteArray("200102") << true;
        QTest::newRow("polled, another selector") << 0x81 << QByteArray("20") << 5 << 0xC1 << QByteArray("210102") << false;
        QTest::newRow("application message: any answer") << 0x10 << QByteArray("01") << 5 << 0x3F << QByteArray("99") << true;
    }
    void answersRequest()
    {
        QFETCH(int, code);
        QFETCH(QByteArray, asked);
        QFETCH(int, answerTag);
        QFETCH(int, answerCode);
        QFETCH(QByteArray, answer);
        QFETCH(bool, taken);
        TniMessage request;
        request.Code = quint8(code);
        request.Tag = 5;
        request.SetData(Bytes(asked));
        TniMessage response;
        response.Response = true;
        response.Queue = 6;
        response.Tag = quint8(answerTag);
        response.Code = quint8(answerCode);
        const std::vector<quint8> data = Bytes(answer);
        std::copy(data.begin(), data.end(), response.ReceivedData.begin());
        response.ReceivedLength = quint8(data.size());
        QCOMPARE(AnswersRequest(request, response), taken);
    }
};

QTEST_GUILESS_MAIN(TestLonFrames)
#include "tst_lonframes.moc"
