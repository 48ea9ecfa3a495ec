// Discovery through the site form (GETDATA DRIVERCOMMAND=GETPOINTSLIST) on the POINTS
// network: a device whose memory reads are answered with another length than asked for
// shows no points, as a silent one; a device whose self-documentation is shorter than one
// 16-byte read shows its points.
#include "PointsFixture.h"

#include <QTest>

class TestPointsDiscovery : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY2(TPointsSite::Prepare(FDir), qPrintable(LDV32::ErrorText())); }

    void listsWhatCouldBeRead()
    {
        TPointsSite site;
        QCOMPARE(site.Run(jobGetData, {"COMMAND=GETDATA", "DRIVERCOMMAND=GETPOINTSLIST"}), 2);
        const QString entries = site.Form->FResultData.toStringList().join(QLatin1Char('\n'));
        const auto listed = [&entries](int node, const char *name) {
            return entries.contains(QStringLiteral("{0:1:%1:").arg(node)) && entries.contains(QLatin1String(name));
        };
        QVERIFY2(listed(PanelNode, "nvoSpaceTemp"), qPrintable(entries));
        QVERIFY2(listed(TinyNode, "{t"), qPrintable(entries));
        QVERIFY2(listed(16, "{q"), qPrintable(entries));        // the same, read through Query SNVT
        QVERIFY2(!entries.contains(QStringLiteral("{0:1:%1:").arg(GarbledNode)), qPrintable(entries));
        QVERIFY(!entries.contains(QLatin1String("nvoHidden")));
        QVERIFY(!entries.contains(QStringLiteral("{0:1:%1:").arg(DeadNode)));
    }

private:
    QTemporaryDir FDir;
};

QTEST_MAIN(TestPointsDiscovery)
#include "tst_points_discovery.moc"
