// Discovery through the site form (GETDATA DRIVERCOMMAND=GETPOINTSLIST) on the ANSWERS
// network: a device whose memory reads are answered with another request's code shows no
// points, as a silent one; devices whose self-documentation is shorter than one 16-byte
// read show their points.
#include "PointsFixture.h"

#include <QTest>

class TestPointsDiscovery : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY2(TPointsSite::Prepare(FDir), qPrintable(LDV32::ErrorText())); }

    void listsWhatCouldBeRead()
    {
        TPointsSite site(QStringLiteral("answers.json"));
        QCOMPARE(site.Run(jobGetData, {"COMMAND=GETDATA", "DRIVERCOMMAND=GETPOINTSLIST"}), 2);
        const QString entries = site.Controller->CommandSlot().ResultData().toStringList().join(QLatin1Char('\n'));
        const auto listed = [&entries](int node, const char *name) {
            return entries.contains(QStringLiteral("{0:1:%1:").arg(node)) && entries.contains(QLatin1String(name));
        };
        QVERIFY2(listed(ConfusedNode, "nvoSecond"), qPrintable(entries));
        QVERIFY2(listed(TinyNode, "{t"), qPrintable(entries));
        QVERIFY2(listed(TinyByQueryNode, "{q"), qPrintable(entries));
        QVERIFY2(!entries.contains(QStringLiteral("{0:1:%1:").arg(GarbledNode)), qPrintable(entries));
        QVERIFY(!entries.contains(QLatin1String("nvoHidden")));
    }

private:
    QTemporaryDir FDir;
};

QTEST_MAIN(TestPointsDiscovery)
#include "tst_points_discovery.moc"
