// Devices that send lying lengths, wrong codes, oversized and short answers: every
// transaction stays inside its buffers (the sanitizer build checks) and ends.
#include "SimNetwork.h"
#include "support/StrLib.h"

class TestLonHostile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY2(TSimNetwork::Prepare(FDir), qPrintable(LDV32::ErrorText())); }

    void fetch_data()
    {
        QTest::addColumn<int>("node");
        QTest::addColumn<int>("capacity");
        QTest::addColumn<int>("expected");
        // Oversized answers carry 239 value bytes; lying frames 40 more than they hold.
        QTest::newRow("oversized into a cache entry") << 3 << 228 << 228;
        QTest::newRow("oversized into 4 bytes") << 3 << 4 << 4;
        QTest::newRow("oversized into 256 bytes") << 3 << 256 << 239;
        QTest::newRow("lying length into 4 bytes") << 1 << 4 << 4;
        QTest::newRow("lying length into 256 bytes") << 1 << 256 << 42;
        QTest::newRow("wrong code gives nothing") << 2 << 228 << 0;
        QTest::newRow("one byte short") << 4 << 228 << 1;
    }
    void fetch()
    {
        QFETCH(int, node);
        QFETCH(int, capacity);
        QFETCH(int, expected);
        TSimNetwork net(QStringLiteral("lonlib-hostile.json"));
        QVERIFY(net.IsOpen());
        // Exactly the capacity on the heap, so a write past it is caught.
        std::vector<quint8> buffer(static_cast<size_t>(capacity));
        quint8 length = 0;
        QCOMPARE(FetchNetworkVariable(net.Ni, 0, 5, quint8(node), 0, buffer, length), LonStatus::Ok);
        QCOMPARE(int(length), expected);
    }

    void selfDocumentation_data()
    {
        QTest::addColumn<int>("node");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("lying lengths: chunks still hold the right bytes")
            << 1 << QStringList{"{0}{5}{1}{0}{105}{a}", "{0}{5}{1}{1}{8}{arr[0]}", "{0}{5}{1}{2}{8}{arr[1]}",
                                "{0}{5}{1}{3}{8}{arr[2]}", "{0}{5}{1}{4}{8}{arr[3]}"};
        QTest::newRow("oversized") << 3 << QStringList{"{0}{5}{3}{0}{105}{a}"};
        QTest::newRow("wrong codes") << 2 << QStringList();
        QTest::newRow("short answers") << 4 << QStringList();
    }
    void selfDocumentation()
    {
        QFETCH(int, node);
        QFETCH(QStringList, expected);
        TSimNetwork net(QStringLiteral("lonlib-hostile.json"));
        QStringList lines;
        QCOMPARE(ReadSelfDocumentation(net.Ni, lines, 0, 5, quint8(node)), LonStatus::Ok);
        if (!expected.isEmpty())
            QCOMPARE(lines, expected);
        for (const QString &line : lines) {
            QStringList fields;
            SplitBetween(line, fields, u'{', u'}');
            QCOMPARE(fields.size(), 6);
        }
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
        QCOMPARE(FindDevices(net.Ni, 0, devices), LonStatus::Ok);
        QVERIFY(devices.size() <= 4);
        QCOMPARE(devices.removeDuplicates(), 0);
    }

private:
    QTemporaryDir FDir;
};

QTEST_GUILESS_MAIN(TestLonHostile)
#include "tst_lonhostile.moc"
