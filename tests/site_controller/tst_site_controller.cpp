// A site's engine on its own: a site controller under QCoreApplication, with no widget
// library in the program, driven by a stand-in client on the built-in LON1 network:
// connect, points list, a whole poll cycle, a read, a write read back, and disconnect.
#include "lonworks/LDV32.h"
#include "site/SiteController.h"
#include "site/TypeSite.h"

#include <QLocale>
#include <QSignalSpy>
#include <QTest>

class TestSiteController : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void connectPollReadWriteDisconnect();
};

namespace {

class TClient : public TSiteClient
{
};

const QString Setpoint = QStringLiteral("0:1:10:1:105:0:3:105");
const QString FanSpeed = QStringLiteral("0:1:10:5:0:0:3:0");

// Starts a command for the client, ticks until it has ended, collects it; the result
// (empty when the command failed or did not end).
QStringList Run(TSiteController &site, TSiteClient &client, int job, const QStringList &request)
{
    if (!site.StartCommand(&client, job, request))
        return {};
    for (int tick = 0; tick < 10 && site.CommandSlot().CommandState() == 1; ++tick)
        site.ProcessTick();
    const bool done = site.CommandSlot().CommandState() == 2;
    const QStringList result = site.CommandSlot().ResultData().toStringList();
    site.ReleaseCommand(&client);
    return done ? result : QStringList();
}

} // namespace

void TestSiteController::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QVERIFY(!QCoreApplication::instance()->inherits("QGuiApplication"));
    QVERIFY2(LDV32::Load(), qPrintable(LDV32::ErrorText()));
}

void TestSiteController::connectPollReadWriteDisconnect()
{
    TSite record;
    record.Description = QStringLiteral("Headless");
    record.LonDeviceName = QStringLiteral("LON1");
    TSiteController site;
    site.AssignSite(record);
    QSignalSpy captions(&site, &TSiteController::CaptionChanged);
    QSignalSpy counts(&site, &TSiteController::ClientCountChanged);
    QSignalSpy messages(&site, &TSiteController::MessageChanged);
    TClient client;

    // Connect: the interface opens; the outcome waits in the slot for the client.
    site.AddClient(&client, record.Description);
    QCOMPARE(counts.size(), 1);
    QVERIFY(site.ConnectClient(&client));
    QCOMPARE(site.CommandSlot().CommandClient(), &client);
    QCOMPARE(site.CommandSlot().CommandState(), 2);
    QVERIFY(site.IsOnline());
    QVERIFY(site.InterfaceHandle() >= 0);
    QCOMPARE(captions.value(0).value(0).toString(), QStringLiteral("Headless"));
    site.ReleaseCommand(&client);

    // Points list: the polling set is the client's two points.
    QVERIFY(site.ReceivePointsList(&client, QStringList{QStringLiteral("COMMAND=SENDPOINTSLIST"),
                                                        QStringLiteral("POINT0={Setpoint}{%1}").arg(Setpoint),
                                                        QStringLiteral("POINT1={Fan}{%1}").arg(FanSpeed)}));
    QCOMPARE(site.Poller().Points().Keys(), (QStringList{Setpoint, FanSpeed}));

    // One whole poll cycle: each variable fetched, the cycle found complete.
    int ticks = 0;
    while (site.Poller().PollState() != 900 && ++ticks < 100)
        site.ProcessTick();
    QCOMPARE(site.Poller().PollState(), 900);
    QCOMPARE(site.Poller().Points().Find(Setpoint)->Value, QStringLiteral("21.5000"));
    QVERIFY(site.Poller().Points().Find(FanSpeed)->HasValue);
    const QStringList polled = Run(site, client, jobGetPointsList, {QStringLiteral("COMMAND=GETPOINTSLIST")});
    QCOMPARE(polled.size(), 2);
    QCOMPARE(polled.at(0), QStringLiteral("POINT0={%1}{VALUE=21.5000}").arg(Setpoint));

    // A single read, a write, and the written value read back and kept in the polling set.
    const QString point = QStringLiteral("POINT={Setpoint}{%1}").arg(Setpoint);
    QCOMPARE(Run(site, client, jobPointGetValue, {QStringLiteral("COMMAND=POINTGETVALUE"), point}),
             (QStringList{QStringLiteral("VALUE=21.5000"), QString()}));
    QVERIFY(site.StartCommand(&client, jobPointModify,
                              QStringList{QStringLiteral("COMMAND=POINTMODIFY"),
                                          QStringLiteral("POINT={Setpoint}{%1}{VALUE=22.5}{}{}").arg(Setpoint)}));
    QCOMPARE(messages.constLast().value(0).toString(), QStringLiteral("Modifying Point..."));
    site.ProcessTick();
    QCOMPARE(site.CommandSlot().CommandState(), 2);
    QVERIFY(site.CommandSlot().ErrorText().isEmpty());
    site.ReleaseCommand(&client);
    QCOMPARE(site.Poller().Points().Find(Setpoint)->Value, QStringLiteral("22.5"));
    QCOMPARE(Run(site, client, jobPointGetValue, {QStringLiteral("COMMAND=POINTGETVALUE"), point}),
             (QStringList{QStringLiteral("VALUE=22.5000"), QString()}));

    // Disconnect: the only client's disconnect closes the interface on the next tick.
    QVERIFY(site.DisconnectClient(&client));
    QCOMPARE(site.CommandSlot().StatusText(), QStringLiteral("Disconnecting..."));
    site.ProcessTick();
    QCOMPARE(site.CommandSlot().CommandState(), 2);
    QVERIFY(!site.IsConnected());
    QCOMPARE(site.InterfaceHandle(), qint16(-1));
    site.ReleaseCommand(&client);
}

QTEST_GUILESS_MAIN(TestSiteController)
#include "tst_site_controller.moc"
