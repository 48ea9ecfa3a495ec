// Devices that send lying lengths, wrong codes, oversized and short answers: every
// transaction stays inside its buffers (the sanitizer build checks) and ends.
#include "SimNetwork.h"

class TestLonHostile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY2(TSimNetwork::Prepare(FDir), qPrintable(LDV32::ErrorText())); }

    void fetch_data()
    {
        QTest::addColumn<int>("node");
        QTest::addColumn<int>("capacity");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("expected");
        // Oversized answers carry 239 value bytes; lying frames 40 more than they hold.
        QTest::newRow("oversized into a cache entry") << 3 << 228 << 0 << 228;
        QTest::newRow("oversized into 4 bytes") << 3 << 4 << 0 << 4;
        QTest::newRow("oversized into 256 bytes") << 3 << 256 << 0 << 239;
        QTest::newRow("lying length into 4 bytes") << 1 << 4 << 0 << 4;
        QTest::newRow("lying length into 256 bytes") << 1 << 256 << 0 << 42;
        QTest::newRow("wrong code: no answer, the fetch fails") << 2 << 228 << int(LonStatus::Failed) << 0;
        QTest::newRow("one byte short") << 4 << 228 << 0 << 1;
    }
    void fetch()
    {
        QFETCH(int, node);
        QFETCH(int, capacity);
        QFETCH(int, status);
        QFETCH(int, expected);
        TSimNetwork net(QStringLiteral("lonlib-hostile.json"));
        QVERIFY(net.IsOpen());
        // Exactly the capacity on the heap, so a write past it is caught.
        std::vector<quint8> buffer(static_cast<size_t>(capacity));
        quint8 length = 0;
        QCOMPARE(int(FetchNetworkVariable(net.Ni, 0, 5, quint8(node), 0, buffer, length)), status);
        QCOMPARE(int(length), expected);
    }

    void selfDocumentation_data()
    {
        QTest::addColumn<int>("node");
        // Memory reads answered with another length than asked for are no answers: the
        // device shows no points, as a silent one.
        QTest::newRow("lying lengths") << 1;
        QTest::newRow("oversized") << 3;
        QTest::newRow("wrong codes") << 2;
        QTest::newRow("short answers") << 4;
    }
    void selfDocumentation()
    {
        QFETCH(int, node);
        TSimNetwork net(QStringLiteral("lonlib-hostile.json"));
        QStringList lines;
        QCOMPARE(ReadSelfDocumentation(net.Ni, lines, 0, 5, quint8(node)), LonStatus::Ok);
        QCOMPARE(lines, QStringList());
    }

    void readOnlyStructureAndConfig_data()
    {
        QTest::addColumn<int>("node");
        for (int node = 1; node <= 4; ++node)
            QTest::addRow("node %d", node) << node;
    }
    void readOnlyStructureAndConfig()
    {
        QFETCH(int, node);
        TSimNetwork net(QStringLiteral("lonlib-hostile.json"));
        TniReadOnlyStructure structure;
        ReadReadOnlyStructure(net.Ni, structure, 0, 5, quint8(node));
        quint8 config = 0;
        quint16 selector = 0;
        QueryNvConfig(net.Ni, 0, 5, quint8(node), 0, config, selector);
        QVERIFY(selector <= 0x3FFF);
        const std::array<quint8, 2> value{0, 5};
        UpdateNetworkVariable(net.Ni, 0, 5, quint8(node), 0, value);
        std::vector<quint8> file(64);
        QVERIFY(ReadFile(net.Ni, 0, 5, quint8(node), 1, 0, file) <= 64);
    }

    void discoveryEnds()
    {
        TSimNetwork net(QStringLiteral("lonlib-hostile.json"));
        QStringList devices;
        // The pass that nobody answers (in a fitting way) ends with a failure.
        const qint16 status = FindDevices(net.Ni, 0, devices);
        QVERIFY(status == LonStatus::Ok || status == LonStatus::Failed);
        QVERIFY(devices.size() <= 4);
        QCOMPARE(devices.removeDuplicates(), 0);
    }

private:
    QTemporaryDir FDir;
};

QTEST_GUILESS_MAIN(TestLonHostile)
#include "tst_lonhostile.moc"
