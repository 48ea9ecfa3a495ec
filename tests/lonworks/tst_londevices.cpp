// Transactions with simulated devices: self-documentation, discovery, network-variable
// fetch, configuration and update, file transfer, and a device that never answers.
#include "SimNetwork.h"

namespace {

QString L(int node, int index, int snvt, const QString &name)
{
    return QStringLiteral("{0}{2}{%1}{%2}{%3}{%4}").arg(node).arg(index).arg(snvt).arg(name);
}

QByteArray Hex(std::span<const quint8> bytes)
{
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size())).toHex();
}

} // namespace

class TestLonDevices : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY2(TSimNetwork::Prepare(FDir), qPrintable(LDV32::ErrorText())); }

    void selfDocumentation_data()
    {
        QTest::addColumn<int>("node");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("version 1, arrays in the middle")
            << 3 << QStringList{L(3, 0, 105, "nviA"), L(3, 1, 105, "temp[0]"), L(3, 2, 105, "temp[1]"),
                                L(3, 3, 105, "temp[2]"), L(3, 4, 3, "fromDoc"), L(3, 5, 4, "NoName5"),
                                L(3, 6, 8, "pair[0]"), L(3, 7, 8, "pair[1]"), L(3, 9, 39, "last")};
        QTest::newRow("version 0, one descriptor per element")
            << 4 << QStringList{L(4, 0, 1, "x"), L(4, 1, 2, "arr[0]"), L(4, 2, 2, "arr[1]"),
                                L(4, 3, 3, "NoName3"), L(4, 4, 4, "fromDoc0")};
        QTest::newRow("through Query SNVT")
            << 5 << QStringList{L(5, 0, 105, "q1"), L(5, 1, 106, "qarr[0]"), L(5, 2, 106, "qarr[1]"),
                                L(5, 3, 95, "q2")};
        QTest::newRow("no self-documentation") << 6 << QStringList{};
        QTest::newRow("silent device") << 10 << QStringList{};
    }
    void selfDocumentation()
    {
        QFETCH(int, node);
        QFETCH(QStringList, expected);
        TSimNetwork net(QStringLiteral("lonlib-main.json"));
        QStringList lines;
        QCOMPARE(ReadSelfDocumentation(net.Ni, lines, 0, 2, quint8(node)), LonStatus::Ok);
        QCOMPARE(lines, expected);
    }

    // A self-documentation shorter than the first 16-byte read (version 0, one variable
    // with a one-letter name: 11 bytes) is read with the memory after it.
    void shortSelfDocumentation_data()
    {
        QTest::addColumn<int>("node");
        QTest::addColumn<QString>("expected");
        QTest::newRow("in memory") << 15 << "{0}{1}{15}{0}{105}{t}";
        QTest::newRow("through Query SNVT") << 16 << "{0}{1}{16}{0}{105}{q}";
    }
    void shortSelfDocumentation()
    {
        QFETCH(int, node);
        QFETCH(QString, expected);
        TSimNetwork net(QStringLiteral("answers.json"));
        QStringList lines;
        QCOMPARE(ReadSelfDocumentation(net.Ni, lines, 0, 1, quint8(node)), LonStatus::Ok);
        QCOMPARE(lines, QStringList{expected});
    }

    void selfDocumentationReadsInChunksOfSixteen()
    {
        TSimNetwork net(QStringLiteral("lonlib-main.json"));
        QStringList lines;
        ReadSelfDocumentation(net.Ni, lines, 0, 2, 5);
        const TFrames queries = net.Writes(LonWire::CodeQuerySnvt);
        QVERIFY(queries.size() >= 2);
        QCOMPARE(FrameData(queries[0]).toHex(), QByteArray("000010"));
        QCOMPARE(FrameData(queries[1]).toHex(), QByteArray("000010"));
        for (const QByteArray &q : queries)
            QVERIFY(quint8(FrameData(q)[2]) <= 16);
    }

    void discoveryOnBothDomains()
    {
        TSimNetwork net(QStringLiteral("lonlib-main.json"));
        QStringList devices;
        // The pass that nobody answers ends with the interface's failure completion.
        for (quint8 domain : {0, 1}) {
            const qint16 status = FindDevices(net.Ni, domain, devices);
            QVERIFY(status == LonStatus::Ok || status == LonStatus::Failed);
        }
        QStringList expected{DeviceKey(0, 2, 3, "0a0000000001"), DeviceKey(0, 2, 4, "0a0000000002"),
                             DeviceKey(0, 2, 5, "0a0000000003"), DeviceKey(0, 2, 6, "0a0000000004"),
                             DeviceKey(0, 2, 7, "0a0000000005"), DeviceKey(0, 2, 8, "0a0000000006"),
                             DeviceKey(0, 2, 9, "0a0000000007"), DeviceKey(1, 3, 1, "0a0000000009")};
        QStringList sorted = devices;
        sorted.sort();
        expected.sort();
        QCOMPARE(sorted, expected);
        QCOMPARE(devices.last(), DeviceKey(1, 3, 1, "0a0000000009"));
        // Each Query ID was broadcast with selector 1 and every device told to stop once it answered.
        for (const QByteArray &q : net.Writes(LonWire::CodeQueryId)) {
            QCOMPARE(quint8(q[5]), quint8(LonWire::AddrBroadcast));
            QCOMPARE(FrameData(q).toHex(), QByteArray("01"));
        }
        QVERIFY(net.Ni.Responses().IsEmpty());
    }

    void discoveryWithDoubledAndStubbornDevices()
    {
        TSimNetwork net(QStringLiteral("lonlib-chatty.json"));
        QVERIFY(net.IsOpen());
        QStringList devices;
        QCOMPARE(FindDevices(net.Ni, 0, devices), LonStatus::Ok);
        devices.sort();
        QCOMPARE(devices, (QStringList{DeviceKey(0, 4, 1, "0b0000000001"), DeviceKey(0, 4, 2, "0b0000000002")}));
        // One pass finds both; the stubborn device then answers every pass, and the cycle
        // gives up after MaxStalePasses passes that bring nothing new.
        QCOMPARE(net.Writes(LonWire::CodeQueryId).size(), 1 + LonLib::MaxStalePasses);
    }

    void fetchShortAndEscapedIndex_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("value");
        QTest::newRow("index 62: one byte") << 62 << QByteArray("3e") << QByteArray("1234");
        QTest::newRow("index 63: escaped") << 63 << QByteArray("ff003f") << QByteArray("5678");
        QTest::newRow("index 0") << 0 << QByteArray("00") << QByteArray("01");
    }
    void fetchShortAndEscapedIndex()
    {
        QFETCH(int, index);
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, value);
        TSimNetwork net(QStringLiteral("lonlib-main.json"));
        std::array<quint8, 228> buffer{};
        quint8 length = 99;
        QCOMPARE(FetchNetworkVariable(net.Ni, 0, 2, 7, quint16(index), buffer, length), LonStatus::Ok);
        QCOMPARE(Hex(std::span(buffer).first(length)), value);
        const TFrames writes = net.Writes(LonWire::CodeNvFetch);
        QCOMPARE(writes.size(), 1);
        QCOMPARE(FrameData(writes[0]).toHex(), request);
        QVERIFY(net.Ni.Responses().IsEmpty() && net.Ni.Unsolicited().IsEmpty());
    }

    void fetchNeverWritesPastTheBuffer()
    {
        TSimNetwork net(QStringLiteral("lonlib-main.json"));
        std::vector<quint8> one(1);
        quint8 length = 0;
        QCOMPARE(FetchNetworkVariable(net.Ni, 0, 2, 7, 62, one, length), LonStatus::Ok);
        QCOMPARE(length, quint8(1));
        QCOMPARE(one[0], quint8(0x12));
        QCOMPARE(FetchNetworkVariable(net.Ni, 0, 2, 7, 62, std::span<quint8>(), length), LonStatus::Ok);
        QCOMPARE(length, quint8(0));
    }

    void queryNvConfig_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("selector");
        QTest::addColumn<int>("config");
        QTest::newRow("bound") << 63 << 0x1234 << 0x00;
        QTest::newRow("unbound: 0x3FFF minus the index") << 64 << 0x3FFF - 64 << 0x0F;
    }
    void queryNvConfig()
    {
        QFETCH(int, index);
        QFETCH(int, selector);
        QFETCH(int, config);
        TSimNetwork net(QStringLiteral("lonlib-main.json"));
        quint8 configByte = 0xAA;
        quint16 found = 0;
        QCOMPARE(QueryNvConfig(net.Ni, 0, 2, 7, quint16(index), configByte, found), LonStatus::Ok);
        QCOMPARE(int(found), selector);
        QCOMPARE(int(configByte), config);
    }

    void updateThroughTheSelector_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("selectorLow");
        QTest::newRow("bound selector 0x1234") << 63 << QByteArray("abcd") << 0x80 + 0x12 << 0x34;
        QTest::newRow("unbound selector 0x3FBF") << 64 << QByteArray("0960") << 0x80 + 0x3F << 0xBF;
    }
    void updateThroughTheSelector()
    {
        QFETCH(int, index);
        QFETCH(QByteArray, value);
        QFETCH(int, code);
        QFETCH(int, selectorLow);
        TSimNetwork net(QStringLiteral("lonlib-main.json"));
        const QByteArray raw = QByteArray::fromHex(value);
        const std::vector<quint8> bytes(raw.begin(), raw.end());
        QCOMPARE(UpdateNetworkVariable(net.Ni, 0, 2, 7, quint16(index), bytes), LonStatus::Ok);
        const TFrames updates = net.Writes(code);
        QCOMPARE(updates.size(), 1);
        QCOMPARE(quint8(updates[0][2]) >> 5, 0);   // acknowledged service
        QCOMPARE(FrameData(updates[0]).toHex(), QByteArray::number(selectorLow, 16) + value);
        std::array<quint8, 228> buffer{};
        quint8 length = 0;
        QCOMPARE(FetchNetworkVariable(net.Ni, 0, 2, 7, quint16(index), buffer, length), LonStatus::Ok);
        QCOMPARE(Hex(std::span(buffer).first(length)), value);
    }

    void updateRefusesAValueTooLongToSend()
    {
        TSimNetwork net(QStringLiteral("lonlib-main.json"));
        const std::vector<quint8> value(LonWire::MaxDataLength, 1);
        QCOMPARE(UpdateNetworkVariable(net.Ni, 0, 2, 7, 64, value), LonStatus::BadLength);
        QCOMPARE(net.Writes().size(), 0);
    }

    void fileOfSeveralBlocks_data()
    {
        QTest::addColumn<int>("capacity");
        QTest::addColumn<int>("expected");
        QTest::newRow("whole file") << 65535 << 500;
        QTest::newRow("buffer smaller than the file") << 100 << 100;
    }
    void fileOfSeveralBlocks()
    {
        QFETCH(int, capacity);
        QFETCH(int, expected);
        TSimNetwork net(QStringLiteral("lonlib-main.json"));
        StartNetworkInterface(net.Ni, {}, {});
        std::vector<quint8> buffer(size_t(capacity), 0xCC);
        QCOMPARE(ReadFile(net.Ni, 0, 2, 8, 1, 0, buffer), expected);
        for (int i = 0; i < expected; ++i)
            QCOMPARE(buffer[size_t(i)], quint8(i & 0xFF));
        // Two acknowledgements (after packet 5 of blocks 0 and 1), start and end requests.
        int acks = 0;
        for (const QByteArray &frame : net.Writes())
            acks += frame.size() == LonWire::FileAckLength && quint8(frame[3]) == 0x01;
        QCOMPARE(acks, 2);
        const TFrames requests = net.Writes(0x80 + ((0x3FFF >> 8) & 0x3F));
        QCOMPARE(requests.size(), 2);
        QCOMPARE(FrameData(requests[0]).toHex(), QByteArray("ff000001") + "07d001" + "7e020a010000");
        QCOMPARE(quint8(FrameData(requests[1])[1]), quint8(2));
    }

    void fileRefusesAnotherDomainIndex()
    {
        TSimNetwork net(QStringLiteral("lonlib-main.json"));
        std::vector<quint8> buffer(100);
        QCOMPARE(ReadFile(net.Ni, 2, 2, 8, 1, 0, buffer), 0);
        QCOMPARE(net.Writes().size(), 0);
    }

    void silentDeviceCostsOneWaitPerExchange()
    {
        TSimNetwork net(QStringLiteral("lonlib-main.json"));
        std::vector<quint8> buffer(35);
        const qint16 status = ReadMemory(net.Ni, 0, 2, 10, 0xF000, 35, 0, buffer);
        QVERIFY(status == LonStatus::Failed || status == LonStatus::NoAnswer);
        QCOMPARE(net.Writes(LonWire::CodeReadMemory).size(), 1);
        quint8 length = 7;
        std::array<quint8, 8> value{};
        QVERIFY(FetchNetworkVariable(net.Ni, 0, 2, 10, 0, value, length) != LonStatus::Ok);
        QCOMPARE(length, quint8(0));
    }

private:
    QTemporaryDir FDir;
};

QTEST_GUILESS_MAIN(TestLonDevices)
#include "tst_londevices.moc"
