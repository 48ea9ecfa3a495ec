// Two clients on one site: sharing the site form, waiting for the command slot, the site
// lock and its lapse, an uncollected result dropped, and the last disconnect closing the
// network interface.

#include "DriverClient.h"
#include "DriverProcess.h"

#include <QtTest>

namespace {

const QString kWaiting = QStringLiteral("COMMANDSTATUS=Waiting for driver...");
const QString kLocked = QStringLiteral("COMMANDSTATUS=LOCKED");

// Opens a client on a site and collects its connect result.
bool OpenCollected(TDriverClient &client, const QStringList &request)
{
    return client.Open(request)
           && client.WaitForStatus().value(0) == QLatin1String("COMMANDSTATUS=TRUE");
}

} // namespace

class SharedSiteTest : public QObject
{
    Q_OBJECT

private:
    TDriverProcess FDriver;

private Q_SLOTS:
    void initTestCase()
    {
        QLocale::setDefault(QLocale::c());
        QVERIFY2(FDriver.Start(), "lonworks-driver did not take its bus name");
    }

    void cleanupTestCase() { FDriver.Stop(); }

    void descriptionsDifferingInCaseShareOneSite()
    {
        TDriverClient first;
        TDriverClient second;
        QVERIFY(OpenCollected(first, {"DESCRIPTION=Plant", "SP2=0A"}));
        // The second client's own interface name and domain are not used: the site keeps
        // the settings of its first client.
        QVERIFY(OpenCollected(second, {"DESCRIPTION=PLANT", "SP1=NOSUCH", "SP2=0B"}));
        const QStringList status = second.Run({"COMMAND=SITESTATUS"});
        QCOMPARE(status.value(0), QStringLiteral("COMMANDSTATUS=TRUE"));
        QCOMPARE(status.value(3), QStringLiteral("Site: Plant"));
        QCOMPARE(status.value(3 + 11), QStringLiteral("Domain 0 ID: [0A ]"));
    }

    void secondClientWaitsForDriver()
    {
        TDriverClient first;
        TDriverClient second;
        QVERIFY(OpenCollected(first, {"DESCRIPTION=Waiting", "OFFLINE=TRUE"}));
        QVERIFY(OpenCollected(second, {"DESCRIPTION=waiting", "OFFLINE=TRUE"}));

        QCOMPARE(first.Get(QStringLiteral("COMMAND=SITETIME")).value(0),
                 QStringLiteral("COMMANDSTATUS=Reading Site Time..."));
        QCOMPARE(second.Get(QStringLiteral("COMMAND=SITESTATUS")), (QStringList{kWaiting, ""}));
        QCOMPARE(second.Get(QStringLiteral("COMMAND=COMMANDSTATUS")), (QStringList{kWaiting, ""}));
        QCOMPARE(first.WaitForStatus().value(0), QStringLiteral("COMMANDSTATUS=TRUE"));
        // The slot is free: the second client's command is taken now.
        QCOMPARE(second.Run({"COMMAND=SITESTATUS"}).value(0), QStringLiteral("COMMANDSTATUS=TRUE"));
    }

    void lockAndUnlock_data()
    {
        QTest::addColumn<QStringList>("lockRequest");
        QTest::addColumn<QString>("lockedLine");
        QTest::newRow("with comment")
            << QStringList{"COMMAND=GETDATA", "DRIVERCOMMAND=LOCKCLIENT", "LOCKCOMMENT=Commissioning"}
            << "COMMANDERROR=Commissioning";
        QTest::newRow("lower case, no comment")
            << QStringList{"COMMAND=GETDATA", "DRIVERCOMMAND=lockclient"}
            << "locked to one computer";
    }

    void lockAndUnlock()
    {
        QFETCH(QStringList, lockRequest);
        QFETCH(QString, lockedLine);
        TDriverClient owner;
        TDriverClient other;
        QVERIFY(OpenCollected(owner, {"DESCRIPTION=Lock", "OFFLINE=TRUE"}));
        QVERIFY(OpenCollected(other, {"DESCRIPTION=Lock", "OFFLINE=TRUE"}));

        QCOMPARE(owner.Run(lockRequest).value(0), QStringLiteral("COMMANDSTATUS=TRUE"));
        QCOMPARE(other.Get(QStringLiteral("COMMAND=SITETIME")), (QStringList{kLocked, lockedLine}));
        QCOMPARE(other.Get(QStringLiteral("COMMAND=COMMANDSTATUS")), (QStringList{kLocked, lockedLine}));
        // The owner keeps working; a second lock fails and keeps the first.
        QCOMPARE(owner.Run({"COMMAND=SITETIME"}).value(0), QStringLiteral("COMMANDSTATUS=TRUE"));
        QCOMPARE(owner.Run({"COMMAND=GETDATA", "DRIVERCOMMAND=LOCKCLIENT", "LOCKCOMMENT=Other"}),
                 (QStringList{"COMMANDSTATUS=FALSE", ""}));
        QCOMPARE(other.Get(QStringLiteral("COMMAND=SITETIME")), (QStringList{kLocked, lockedLine}));

        QCOMPARE(owner.Run({"COMMAND=GETDATA", "DRIVERCOMMAND=UNLOCKCLIENT"}).value(0),
                 QStringLiteral("COMMANDSTATUS=TRUE"));
        QCOMPARE(other.Run({"COMMAND=SITETIME"}).value(0), QStringLiteral("COMMANDSTATUS=TRUE"));
    }

    void lockLapses()
    {
        TDriverClient owner;
        TDriverClient other;
        QVERIFY(OpenCollected(owner, {"DESCRIPTION=Lapse", "OFFLINE=TRUE"}));
        QVERIFY(OpenCollected(other, {"DESCRIPTION=Lapse", "OFFLINE=TRUE"}));
        QCOMPARE(owner.Run({"COMMAND=GETDATA", "DRIVERCOMMAND=LOCKCLIENT", "LOCKCOMMENT=Idle"}).value(0),
                 QStringLiteral("COMMANDSTATUS=TRUE"));

        QStringList answer = other.Get(QStringLiteral("COMMAND=SITETIME"));
        QCOMPARE(answer, (QStringList{kLocked, "COMMANDERROR=Idle"}));
        // 300 ticks after the owner's last command the lock lapses by itself.
        int lockedPolls = 0;
        for (; lockedPolls < 120 && answer.value(0) == kLocked; ++lockedPolls) {
            SpinEvents(500);
            answer = other.Get(QStringLiteral("COMMAND=SITETIME"));
        }
        QCOMPARE(answer.value(0), QStringLiteral("COMMANDSTATUS=Reading Site Time..."));
        QVERIFY(lockedPolls > 1);
        QCOMPARE(other.WaitForStatus().value(0), QStringLiteral("COMMANDSTATUS=TRUE"));
    }

    void uncollectedResultIsDropped()
    {
        TDriverClient first;
        TDriverClient second;
        QVERIFY(OpenCollected(first, {"DESCRIPTION=Dropped", "OFFLINE=TRUE"}));
        QVERIFY(OpenCollected(second, {"DESCRIPTION=Dropped", "OFFLINE=TRUE"}));
        QCOMPARE(first.Get(QStringLiteral("COMMAND=SITETIME")).value(0),
                 QStringLiteral("COMMANDSTATUS=Reading Site Time..."));

        // The first client never polls; 150 ticks after its job ended the slot is free.
        QStringList answer = second.Get(QStringLiteral("COMMAND=SITESTATUS"));
        QCOMPARE(answer, (QStringList{kWaiting, ""}));
        int waitingPolls = 0;
        for (; waitingPolls < 120 && answer.value(0) == kWaiting; ++waitingPolls) {
            SpinEvents(500);
            answer = second.Get(QStringLiteral("COMMAND=SITESTATUS"));
        }
        QCOMPARE(answer.value(0), QStringLiteral("COMMANDSTATUS=Reading Site Status..."));
        QVERIFY(waitingPolls > 1);
        QCOMPARE(second.WaitForStatus().value(0), QStringLiteral("COMMANDSTATUS=TRUE"));
        // The first client's result is gone.
        QCOMPARE(first.Get(QStringLiteral("COMMAND=COMMANDSTATUS")),
                 (QStringList{"COMMANDSTATUS=FALSE", ""}));
    }

    void lastDisconnectClosesInterface()
    {
        TDriverClient first;
        TDriverClient second;
        QVERIFY(OpenCollected(first, {"DESCRIPTION=Closing"}));
        QVERIFY(OpenCollected(second, {"DESCRIPTION=Closing"}));

        QVERIFY(first.Disconnect());
        QCOMPARE(first.Get(QStringLiteral("COMMAND=COMMANDSTATUS")).value(0),
                 QStringLiteral("COMMANDSTATUS=TRUE"));
        // Another client still uses the site: the interface stays open.
        QCOMPARE(second.Run({"COMMAND=SITESTATUS"}).size(), 3 + 17);
        // A disconnected client stays on the site's list until its object is released.
        QVERIFY(first.Release());

        QVERIFY(second.Disconnect());
        QStringList answer = second.Get(QStringLiteral("COMMAND=COMMANDSTATUS"));
        if (!TDriverClient::IsFinal(answer)) {
            QCOMPARE(answer.value(0), QStringLiteral("COMMANDSTATUS=Disconnecting..."));
            answer = second.WaitForStatus();
        }
        QCOMPARE(answer.value(0), QStringLiteral("COMMANDSTATUS=TRUE"));
        QCOMPARE(second.Run({"COMMAND=SITESTATUS"}),
                 (QStringList{"COMMANDSTATUS=TRUE", "COMMAND=COMMANDSTATUS", "", "Closing", "Offline"}));
    }

    void offlineDisconnectAnswersAtOnce()
    {
        TDriverClient client;
        QVERIFY(OpenCollected(client, {"DESCRIPTION=Offline disconnect", "OFFLINE=TRUE"}));
        QVERIFY(client.Disconnect());
        QCOMPARE(client.Get(QStringLiteral("COMMAND=COMMANDSTATUS")).value(0),
                 QStringLiteral("COMMANDSTATUS=TRUE"));
    }
};

QTEST_GUILESS_MAIN(SharedSiteTest)
#include "SharedSiteTest.moc"
