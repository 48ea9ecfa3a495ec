// Exchanges with the local network interface on the simulated network: automatic tags,
// Query and Update Domain, chunked memory reads and the interface start-up.
#include "SimNetwork.h"

class TestLonExchange : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY2(TSimNetwork::Prepare(FDir), qPrintable(LDV32::ErrorText())); }

    void tagsRunFromOneToFourteenThenZero()
    {
        TSimNetwork net(QStringLiteral("lonlib-main.json"));
        QVERIFY(net.IsOpen());
        QList<int> tags;
        for (int i = 0; i < 16; ++i) {
            TniDomainTableEntry entry;
            QCOMPARE(QueryDomain(net.Ni, 0, entry), LonStatus::Ok);
        }
        for (const QByteArray &frame : net.Writes(LonWire::CodeQueryDomain))
            tags.append(quint8(frame[2]) & 0x0F);
        QCOMPARE(tags, (QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 0, 1}));
    }

    void queryDomain()
    {
        TSimNetwork net(QStringLiteral("lonlib-main.json"));
        TniDomainTableEntry entry;
        QCOMPARE(QueryDomain(net.Ni, 1, entry), LonStatus::Ok);
        QCOMPARE(entry.IdLength, quint8(3));
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(entry.Id.data()), 3).toHex(), QByteArray("223344"));
        QCOMPARE(entry.Subnet, quint8(1));
        QCOMPARE(entry.Node, quint8(126));
        QVERIFY(net.Ni.Responses().Count() == 1);
    }

    void queryDomainAnswerOfWrongLength()
    {
        TSimNetwork net(QStringLiteral("lonlib-badiface.json"));
        QVERIFY(net.IsOpen());
        TniDomainTableEntry entry;
        entry.Subnet = 77;
        QCOMPARE(QueryDomain(net.Ni, 0, entry), LonStatus::BadLength);
        QCOMPARE(entry.Subnet, quint8(77));
        QCOMPARE(entry.IdLength, quint8(0));
    }

    void silentInterfaceCostsOneWait()
    {
        TSimNetwork net(QStringLiteral("lonlib-silentiface.json"));
        QVERIFY(net.IsOpen());
        TniDomainTableEntry entry;
        QCOMPARE(QueryDomain(net.Ni, 0, entry), LonStatus::NoAnswer);
        QCOMPARE(net.Writes().size(), 1);
    }

    void updateDomainIndexTwoSendsNothing()
    {
        TSimNetwork net(QStringLiteral("lonlib-main.json"));
        TniDomainTableEntry entry;
        QCOMPARE(UpdateDomain(net.Ni, 2, entry), LonStatus::BadDomainIndex);
        QCOMPARE(net.Writes().size(), 0);
    }

    void updateDomainThenQuery()
    {
        TSimNetwork net(QStringLiteral("lonlib-main.json"));
        TniDomainTableEntry entry;
        QVERIFY(ParseDomainId(QStringLiteral("0a:0b:0c"), entry));
        entry.Subnet = 7;
        entry.Node = 8;
        QCOMPARE(UpdateDomain(net.Ni, 1, entry), LonStatus::Ok);
        const TFrames writes = net.Writes(LonWire::CodeUpdateDomain);
        QCOMPARE(writes.size(), 1);
        QCOMPARE(FrameData(writes[0]).toHex(), QByteArray("010a0b0c000000078803000000000000"));
        TniDomainTableEntry back;
        QCOMPARE(QueryDomain(net.Ni, 1, back), LonStatus::Ok);
        QCOMPARE(back.Id, entry.Id);
        QCOMPARE(back.Subnet, quint8(7));
        QCOMPARE(back.Node, quint8(8));
        QCOMPARE(back.IdLength, quint8(3));
    }

    void readMemoryInChunks()
    {
        TSimNetwork net(QStringLiteral("lonlib-main.json"));
        std::vector<quint8> buffer(35, 0xCC);
        QCOMPARE(ReadMemory(net.Ni, 0, 2, 3, 0xF000, 35, 0, buffer), LonStatus::Ok);
        QList<QByteArray> requests;
        for (const QByteArray &frame : net.Writes(LonWire::CodeReadMemory))
            requests.append(FrameData(frame).toHex());
        QCOMPARE(requests, (QList<QByteArray>{"00f00010", "00f01010", "00f02003"}));
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(buffer.data()), 6).toHex(), QByteArray("0a0000000001"));
        TniReadOnlyStructure structure;
        QCOMPARE(ReadReadOnlyStructure(net.Ni, structure, 0, 2, 3), LonStatus::Ok);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(structure.NeuronId.data()), 6).toHex(),
                 QByteArray("0a0000000001"));
        QCOMPARE(structure.SnvtAddress, quint16(0x4000));
        QVERIFY(net.Ni.Responses().IsEmpty());
    }

    void readMemoryStopsStoringAtTheBufferEnd()
    {
        TSimNetwork net(QStringLiteral("lonlib-main.json"));
        std::vector<quint8> buffer(20, 0);
        QCOMPARE(ReadMemory(net.Ni, 0, 2, 3, 0xF000, 35, 16, buffer), LonStatus::Ok);
        QCOMPARE(net.Writes(LonWire::CodeReadMemory).size(), 2);
        QCOMPARE(buffer[0], quint8(0x0A));
    }

    void startNetworkInterface_data()
    {
        QTest::addColumn<QString>("dom0Id");
        QTest::addColumn<int>("dom0Node");
        QTest::addColumn<int>("dom0Subnet");
        QTest::addColumn<QByteArray>("expectedId");
        QTest::addColumn<int>("expectedSubnet");
        QTest::addColumn<int>("expectedNode");
        QTest::addColumn<int>("updates");
        QTest::newRow("id and address") << "0A:0B:0C" << 5 << 9 << QByteArray("0a0b0c") << 9 << 5 << 1;
        QTest::newRow("address only") << "" << 5 << 9 << QByteArray("11") << 9 << 5 << 1;
        QTest::newRow("subnet 200 is a LonTalk subnet") << "" << 5 << 200 << QByteArray("11") << 200 << 5 << 1;
        QTest::newRow("subnet 255") << "" << 127 << 255 << QByteArray("11") << 255 << 127 << 1;
        QTest::newRow("node 128 would not fit 7 bits") << "" << 128 << 9 << QByteArray("11") << 1 << 126 << 0;
        QTest::newRow("node 200") << "" << 200 << 9 << QByteArray("11") << 1 << 126 << 0;
        QTest::newRow("subnet 0") << "" << 5 << 0 << QByteArray("11") << 1 << 126 << 0;
        QTest::newRow("node 0") << "" << 0 << 9 << QByteArray("11") << 1 << 126 << 0;
        QTest::newRow("malformed id") << "0A:0B" << 0 << 0 << QByteArray("11") << 1 << 126 << 0;
    }
    void startNetworkInterface()
    {
        QFETCH(QString, dom0Id);
        QFETCH(int, dom0Node);
        QFETCH(int, dom0Subnet);
        QFETCH(QByteArray, expectedId);
        QFETCH(int, expectedSubnet);
        QFETCH(int, expectedNode);
        QFETCH(int, updates);
        TSimNetwork net(QStringLiteral("lonlib-main.json"));
        const TniDomainSetting domain0{dom0Id, quint8(dom0Node), quint8(dom0Subnet)};
        StartNetworkInterface(net.Ni, domain0, {});
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(net.Ni.ReadOnly().NeuronId.data()), 6).toHex(),
                 QByteArray("000102030405"));
        const TniDomainTableEntry &d0 = net.Ni.Domain0();
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(d0.Id.data()), d0.IdLength).toHex(), expectedId);
        QCOMPARE(int(d0.Subnet), expectedSubnet);
        QCOMPARE(int(d0.Node), expectedNode);
        QCOMPARE(net.Writes(LonWire::CodeUpdateDomain).size(), updates);
        QCOMPARE(net.Ni.Domain1().IdLength, quint8(3));
        // The interface keeps what was written.
        TniDomainTableEntry back;
        QCOMPARE(QueryDomain(net.Ni, 0, back), LonStatus::Ok);
        QCOMPARE(int(back.Subnet), expectedSubnet);
    }

private:
    QTemporaryDir FDir;
};

QTEST_GUILESS_MAIN(TestLonExchange)
#include "tst_lonexchange.moc"
