// The command slot of a site: starting, running, collecting and dropping jobs, two
// clients taking turns, the site lock and the Block box. Offline sites, no network.
#include "SiteFormFixture.h"
#include "SiteWindowFixture.h"

#include "site/LonWorksForm.h"

#include <QCheckBox>
#include <QLabel>
#include <QLocale>
#include <QTest>

class TestSiteFormCommands : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void progressTexts_data();
    void progressTexts();
    void startRefusesCodesWithoutJob_data();
    void startRefusesCodesWithoutJob();
    void jobLifeCycle();
    void secondClientWaitsForTheSlot();
    void uncollectedResultIsDroppedAfter150Ticks();
    void lockAndUnlock_data();
    void lockAndUnlock();
    void secondLockFailsAndKeepsTheFirst();
    void unlockWithoutLockSucceeds();
    void lockLapsesAfter300IdleTicks();
    void ownerCommandRestartsLockTimeout();
    void blockAndUnblockThroughTheCheckBox();
    void blockedSiteRefusesConnectAndDisconnect();
    void failingDriverCommands_data();
    void failingDriverCommands();
    void unsupportedCommands_data();
    void unsupportedCommands();
    void pointJobsFailOnAnOfflineSite_data();
    void pointJobsFailOnAnOfflineSite();
    void alarmsAreHandedOutOnce();
    void trendDataHasOneEntryFewerThanTheRequest_data();
    void trendDataHasOneEntryFewerThanTheRequest();
    void releasedClientGivesUpSlotAndLock();

private:
    std::unique_ptr<TSiteController> FForm;
    std::unique_ptr<TLonWorksForm> FView;   // the site's window
    TTestClient FFirst;
    TTestClient FSecond;
};

void TestSiteFormCommands::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void TestSiteFormCommands::init()
{
    FForm = MakeSite(QStringLiteral("Plant"), true);
    FView = std::make_unique<TLonWorksForm>(FForm.get());
    QVERIFY(Attach(*FForm, FFirst));
    FForm->AddClient(&FSecond, QStringLiteral("Plant"));
    FForm->ReleaseCommand(&FFirst);
}

void TestSiteFormCommands::cleanup()
{
    FView.reset();
    FForm.reset();
}

void TestSiteFormCommands::progressTexts_data()
{
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<int>("job");
    QTest::addColumn<QString>("progress");
    QTest::newRow("SITETIME") << "SITETIME" << 4 << "Reading Site Time...";
    QTest::newRow("SITESTATUS") << "SITESTATUS" << 5 << "Reading Site Status...";
    QTest::newRow("POINTVERIFY") << "POINTVERIFY" << 6 << "Verifying Point Address...";
    QTest::newRow("GETDATA") << "GETDATA" << 7 << "Reading Data...";
    QTest::newRow("SENDDATA") << "SENDDATA" << 8 << "Writing Data...";
    QTest::newRow("SENDPOINTSLIST") << "SENDPOINTSLIST" << 9 << "Writing Data...";
    QTest::newRow("GETPOINTSLIST") << "GETPOINTSLIST" << 10 << "Reading Data...";
    QTest::newRow("POINTMODIFY") << "POINTMODIFY" << 12 << "Modifying Point...";
    QTest::newRow("POINTGETDISABLED") << "POINTGETDISABLED" << 13 << "Reading Point State...";
    QTest::newRow("POINTGETVALUE") << "POINTGETVALUE" << 14 << "Reading Point Value...";
    QTest::newRow("GETALARMS") << "GETALARMS" << 15 << "Reading Data...";
    QTest::newRow("GETSCHEDULE") << "GETSCHEDULE" << 16 << "Reading Schedule...";
    QTest::newRow("SETSCHEDULE") << "SETSCHEDULE" << 17 << "Writing Schedule...";
    QTest::newRow("GETTRENDDATA") << "GETTRENDDATA" << 18 << "Reading Trend Data...";
}

void TestSiteFormCommands::progressTexts()
{
    QFETCH(QString, keyword);
    QFETCH(int, job);
    QFETCH(QString, progress);
    QCOMPARE(JobCodeForKeyword(keyword), job);
    QCOMPARE(JobCodeForKeyword(keyword.toLower()), 0);

    const QStringList request{QStringLiteral("COMMAND=") + keyword};
    QVERIFY(FForm->StartCommand(&FFirst, job, request));
    QCOMPARE(FForm->CommandSlot().StatusText(), progress);
    QCOMPARE(FForm->CommandSlot().CommandState(), 1);
    QCOMPARE(FForm->CommandSlot().PendingJob(), job);
    QVERIFY(FForm->CommandSlot().IsBusy());
    QCOMPARE(FForm->CommandSlot().CommandClient(), &FFirst);
    QCOMPARE(FForm->CommandSlot().Request(), QVariant(request));
    QCOMPARE(Component<QLabel>(*FView, "MessagePnl")->text(), progress);

    // Every job leaves the slot finished, never in progress, and nothing pending.
    Tick(*FForm);
    QVERIFY(FForm->CommandSlot().CommandState() == 2 || FForm->CommandSlot().CommandState() == 3);
    QCOMPARE(FForm->CommandSlot().PendingJob(), 0);
    QVERIFY(!FForm->CommandSlot().IsBusy());
    QVERIFY(FForm->CommandSlot().StatusText().isEmpty());
    QCOMPARE(FForm->CommandSlot().CommandTimeout(), 150);
}

void TestSiteFormCommands::startRefusesCodesWithoutJob_data()
{
    QTest::addColumn<int>("job");
    QTest::newRow("none") << 0;
    QTest::newRow("disconnect") << 2;
    QTest::newRow("3") << 3;
    QTest::newRow("11") << 11;
    QTest::newRow("19") << 19;
    QTest::newRow("negative") << -4;
}

void TestSiteFormCommands::startRefusesCodesWithoutJob()
{
    QFETCH(int, job);
    QVERIFY(!FForm->StartCommand(&FFirst, job, QStringLiteral("COMMAND=X")));
    QCOMPARE(FForm->CommandSlot().CommandClient(), nullptr);
    QCOMPARE(FForm->CommandSlot().PendingJob(), 0);
    QCOMPARE(FForm->CommandSlot().CommandState(), 0);
}

void TestSiteFormCommands::jobLifeCycle()
{
    QVERIFY(FForm->StartCommand(&FFirst, jobSiteTime, QStringLiteral("COMMAND=SITETIME")));
    QCOMPARE(FForm->CommandStatusFor(&FFirst), 1);
    QCOMPARE(FForm->CommandSlot().StatusText(), QStringLiteral("Reading Site Time..."));

    Tick(*FForm);
    QCOMPARE(FForm->CommandStatusFor(&FFirst), 2);
    QCOMPARE(FForm->CommandSlot().ResultData().toStringList().size(), 2);

    // Collecting frees the slot; a second collection finds the slot idle.
    FForm->ReleaseCommand(&FFirst);
    QCOMPARE(FForm->CommandSlot().CommandClient(), nullptr);
    QCOMPARE(FForm->CommandSlot().CommandState(), 0);
    QCOMPARE(FForm->CommandSlot().CommandTimeout(), 0);
}

void TestSiteFormCommands::secondClientWaitsForTheSlot()
{
    QVERIFY(FForm->StartCommand(&FFirst, jobSiteStatus, QStringLiteral("COMMAND=SITESTATUS")));
    QCOMPARE(FForm->CommandStatusFor(&FSecond), -1);
    Tick(*FForm);
    QCOMPARE(FForm->CommandStatusFor(&FSecond), -1);

    // Only the holder's collection frees the slot.
    FForm->ReleaseCommand(&FSecond);
    QCOMPARE(FForm->CommandSlot().CommandClient(), &FFirst);
    FForm->ReleaseCommand(&FFirst);
    QCOMPARE(FForm->CommandStatusFor(&FSecond), 0);
    QVERIFY(FForm->StartCommand(&FSecond, jobSiteTime, QStringLiteral("COMMAND=SITETIME")));
    QCOMPARE(FForm->CommandSlot().CommandClient(), &FSecond);
}

void TestSiteFormCommands::uncollectedResultIsDroppedAfter150Ticks()
{
    QVERIFY(RunCommand(*FForm, FFirst, jobSiteTime, {QStringLiteral("COMMAND=SITETIME")}));
    // 150 ticks of 100 ms: the result is still there after 149, gone after the 150th.
    Tick(*FForm, 149);
    QCOMPARE(FForm->CommandSlot().CommandClient(), &FFirst);
    QCOMPARE(FForm->CommandSlot().CommandState(), 2);
    Tick(*FForm);
    QCOMPARE(FForm->CommandSlot().CommandClient(), nullptr);
    QCOMPARE(FForm->CommandSlot().CommandState(), 0);
    QVERIFY(FForm->StartCommand(&FSecond, jobSiteTime, QStringLiteral("COMMAND=SITETIME")));
}

void TestSiteFormCommands::lockAndUnlock_data()
{
    QTest::addColumn<QString>("lockCommand");
    QTest::addColumn<QString>("unlockCommand");
    QTest::newRow("upper case") << "LOCKCLIENT" << "UNLOCKCLIENT";
    QTest::newRow("lower case") << "lockclient" << "unlockclient";
    QTest::newRow("mixed case") << "LockClient" << "UnLockClient";
}

void TestSiteFormCommands::lockAndUnlock()
{
    QFETCH(QString, lockCommand);
    QFETCH(QString, unlockCommand);
    QVERIFY(RunCommand(*FForm, FFirst, jobGetData,
                       {QStringLiteral("COMMAND=GETDATA"), QStringLiteral("DRIVERCOMMAND=") + lockCommand,
                        QStringLiteral("LOCKCOMMENT=Commissioning")}));
    QCOMPARE(FForm->CommandSlot().CommandState(), 2);
    QVERIFY(FForm->CommandSlot().IsLocked());
    QCOMPARE(FForm->CommandSlot().LockOwner(), &FFirst);
    QCOMPARE(FForm->CommandSlot().LockComment(), QStringLiteral("Commissioning"));
    QCOMPARE(FForm->CommandSlot().ResultData().toStringList(), QStringList(4, QString()));
    FForm->ReleaseCommand(&FFirst);

    // The others are told the site is locked; the owner still sees its own slot.
    QCOMPARE(FForm->CommandStatusFor(&FSecond), 0);
    QVERIFY(RunCommand(*FForm, FFirst, jobSiteTime, {QStringLiteral("COMMAND=SITETIME")}));
    QCOMPARE(FForm->CommandStatusFor(&FSecond), 4);
    QCOMPARE(FForm->CommandStatusFor(&FFirst), 2);
    FForm->ReleaseCommand(&FFirst);

    QVERIFY(RunCommand(*FForm, FFirst, jobGetData,
                       {QStringLiteral("COMMAND=GETDATA"), QStringLiteral("DRIVERCOMMAND=") + unlockCommand}));
    QCOMPARE(FForm->CommandSlot().CommandState(), 2);
    QVERIFY(!FForm->CommandSlot().IsLocked());
    QCOMPARE(FForm->CommandSlot().LockOwner(), nullptr);
    QVERIFY(FForm->CommandSlot().LockComment().isEmpty());
    QCOMPARE(FForm->CommandSlot().LockTimeout(), 0);
}

void TestSiteFormCommands::secondLockFailsAndKeepsTheFirst()
{
    QVERIFY(RunCommand(*FForm, FFirst, jobGetData,
                       {QStringLiteral("DRIVERCOMMAND=LOCKCLIENT"), QStringLiteral("LOCKCOMMENT=first")}));
    FForm->ReleaseCommand(&FFirst);
    QVERIFY(RunCommand(*FForm, FFirst, jobGetData,
                       {QStringLiteral("DRIVERCOMMAND=LOCKCLIENT"), QStringLiteral("LOCKCOMMENT=second")}));
    QCOMPARE(FForm->CommandSlot().CommandState(), 3);
    QVERIFY(FForm->CommandSlot().ErrorText().isEmpty());
    QCOMPARE(FForm->CommandSlot().LockComment(), QStringLiteral("first"));
    QCOMPARE(FForm->CommandSlot().LockOwner(), &FFirst);
}

void TestSiteFormCommands::unlockWithoutLockSucceeds()
{
    QVERIFY(RunCommand(*FForm, FFirst, jobGetData, {QStringLiteral("DRIVERCOMMAND=UNLOCKCLIENT")}));
    QCOMPARE(FForm->CommandSlot().CommandState(), 2);
    QVERIFY(!FForm->CommandSlot().IsLocked());
}

void TestSiteFormCommands::lockLapsesAfter300IdleTicks()
{
    QVERIFY(RunCommand(*FForm, FFirst, jobGetData, {QStringLiteral("DRIVERCOMMAND=LOCKCLIENT")}));
    FForm->ReleaseCommand(&FFirst);
    // 300 ticks of 100 ms: locked after 299, free after the 300th.
    QCOMPARE(FForm->CommandSlot().LockTimeout(), 300);
    Tick(*FForm, 299);
    QVERIFY(FForm->CommandSlot().IsLocked());
    Tick(*FForm);
    QVERIFY(!FForm->CommandSlot().IsLocked());
    QCOMPARE(FForm->CommandSlot().LockOwner(), nullptr);
    QCOMPARE(FForm->CommandStatusFor(&FSecond), 0);
}

void TestSiteFormCommands::ownerCommandRestartsLockTimeout()
{
    QVERIFY(RunCommand(*FForm, FFirst, jobGetData, {QStringLiteral("DRIVERCOMMAND=LOCKCLIENT")}));
    FForm->ReleaseCommand(&FFirst);
    Tick(*FForm, 200);
    QVERIFY(RunCommand(*FForm, FFirst, jobSiteTime, {QStringLiteral("COMMAND=SITETIME")}));
    FForm->ReleaseCommand(&FFirst);
    Tick(*FForm, 200);
    QVERIFY(FForm->CommandSlot().IsLocked());
    Tick(*FForm, 100);
    QVERIFY(!FForm->CommandSlot().IsLocked());
}

void TestSiteFormCommands::blockAndUnblockThroughTheCheckBox()
{
    QVERIFY(FForm->StartCommand(&FFirst, jobSiteTime, QStringLiteral("COMMAND=SITETIME")));
    Component<QCheckBox>(*FView, "BlockChk")->click();
    QVERIFY(FForm->IsBlocked());
    QVERIFY(FForm->CommandSlot().IsLocked());
    QVERIFY(FForm->CommandSlot().IsBusy());
    QCOMPARE(FForm->CommandSlot().CommandClient(), FForm.get());
    QCOMPARE(FForm->CommandStatusFor(&FFirst), 4);
    QCOMPARE(FForm->CommandStatusFor(&FSecond), 4);

    // The job already pending runs to its end; the result waits while blocked.
    Tick(*FForm);
    QCOMPARE(FForm->CommandSlot().CommandState(), 2);
    Tick(*FForm, 300);
    QCOMPARE(FForm->CommandSlot().CommandClient(), FForm.get());
    // Unlocking is refused while blocked.
    QVERIFY(!FForm->UnlockClient());
    QVERIFY(FForm->CommandSlot().IsLocked());

    Component<QCheckBox>(*FView, "BlockChk")->click();
    QVERIFY(!FForm->IsBlocked());
    QVERIFY(!FForm->CommandSlot().IsLocked());
    QVERIFY(!FForm->CommandSlot().IsBusy());
    QCOMPARE(FForm->CommandSlot().CommandClient(), nullptr);
    QCOMPARE(FForm->CommandSlot().CommandTimeout(), 0);
    QVERIFY(FForm->StartCommand(&FSecond, jobSiteTime, QStringLiteral("COMMAND=SITETIME")));
}

void TestSiteFormCommands::blockedSiteRefusesConnectAndDisconnect()
{
    Component<QCheckBox>(*FView, "BlockChk")->click();
    QVERIFY(!FForm->ConnectClient(&FSecond));
    QVERIFY(!FForm->DisconnectClient(&FFirst));
    QCOMPARE(FForm->CommandSlot().CommandClient(), FForm.get());
    QVERIFY(FForm->IsConnected());
}

void TestSiteFormCommands::failingDriverCommands_data()
{
    QTest::addColumn<QStringList>("request");
    for (const char *command : {"BACKUPSTART", "BACKUPUPDATE", "BACKUPABORT", "RESTORESTART",
                                "RESTORESTATUS", "RESTOREUPDATE", "RESTOREABORT", "SENDCOMMAND",
                                "NOSUCHCOMMAND", ""})
        QTest::newRow(*command ? command : "empty")
            << QStringList{QStringLiteral("COMMAND=GETDATA"), QStringLiteral("DRIVERCOMMAND=") + QLatin1String(command)};
    QTest::newRow("absent") << QStringList{QStringLiteral("COMMAND=GETDATA")};
    QTest::newRow("lower-case name") << QStringList{QStringLiteral("drivercommand=LOCKCLIENT")};
}

void TestSiteFormCommands::failingDriverCommands()
{
    QFETCH(QStringList, request);
    QVERIFY(RunCommand(*FForm, FFirst, jobGetData, request));
    QCOMPARE(FForm->CommandSlot().CommandState(), 3);
    QVERIFY(FForm->CommandSlot().ErrorText().isEmpty());
    QVERIFY(!FForm->CommandSlot().IsLocked());
    QCOMPARE(FForm->CommandSlot().PendingJob(), 0);
}

void TestSiteFormCommands::unsupportedCommands_data()
{
    QTest::addColumn<int>("job");
    QTest::newRow("SENDDATA") << int(jobSendData);
    QTest::newRow("GETSCHEDULE") << int(jobGetSchedule);
    QTest::newRow("SETSCHEDULE") << int(jobSetSchedule);
}

void TestSiteFormCommands::unsupportedCommands()
{
    QFETCH(int, job);
    QVERIFY(RunCommand(*FForm, FFirst, job, {QStringLiteral("COMMAND=X")}));
    QCOMPARE(FForm->CommandSlot().CommandState(), 3);
    QCOMPARE(FForm->CommandSlot().ErrorText(), QStringLiteral("Not Supported"));
}

void TestSiteFormCommands::pointJobsFailOnAnOfflineSite_data()
{
    QTest::addColumn<int>("job");
    QTest::newRow("POINTMODIFY") << int(jobPointModify);
    QTest::newRow("POINTGETDISABLED") << int(jobPointGetDisabled);
    QTest::newRow("POINTGETVALUE") << int(jobPointGetValue);
}

void TestSiteFormCommands::pointJobsFailOnAnOfflineSite()
{
    QFETCH(int, job);
    QVERIFY(RunCommand(*FForm, FFirst, job, {QStringLiteral("POINT0={a}{0:1:1:0:0:0:0:0}")}));
    QCOMPARE(FForm->CommandSlot().CommandState(), 3);
    QCOMPARE(FForm->CommandSlot().PendingJob(), 0);
}

void TestSiteFormCommands::alarmsAreHandedOutOnce()
{
    TSiteTestHook::SetAlarms(*FForm, {QStringLiteral("Boiler"), QStringLiteral("Chiller")});
    QVERIFY(RunCommand(*FForm, FFirst, jobGetAlarms, {QStringLiteral("COMMAND=GETALARMS")}));
    QCOMPARE(FForm->CommandSlot().CommandState(), 2);
    QCOMPARE(FForm->CommandSlot().ResultData().toStringList(),
             (QStringList{QStringLiteral("ALARM0=Boiler"), QStringLiteral("ALARM1=Chiller")}));
    QVERIFY(TSiteTestHook::Alarms(*FForm).isEmpty());
    FForm->ReleaseCommand(&FFirst);

    QVERIFY(RunCommand(*FForm, FFirst, jobGetAlarms, {QStringLiteral("COMMAND=GETALARMS")}));
    QCOMPARE(FForm->CommandSlot().CommandState(), 2);
    QVERIFY(FForm->CommandSlot().ResultData().toStringList().isEmpty());
}

void TestSiteFormCommands::trendDataHasOneEntryFewerThanTheRequest_data()
{
    QTest::addColumn<QVariant>("request");
    QTest::addColumn<int>("entries");
    QTest::addColumn<bool>("isArray");
    QTest::newRow("three strings") << QVariant(QStringList{"COMMAND=GETTRENDDATA", "A=1", "B=2"}) << 2 << true;
    QTest::newRow("one variant") << QVariant(QVariantList{QStringLiteral("COMMAND=GETTRENDDATA")}) << 0 << true;
    QTest::newRow("empty array") << QVariant(QVariantList{}) << 0 << true;
    QTest::newRow("single text") << QVariant(QStringLiteral("COMMAND=GETTRENDDATA")) << 0 << false;
}

void TestSiteFormCommands::trendDataHasOneEntryFewerThanTheRequest()
{
    QFETCH(QVariant, request);
    QFETCH(int, entries);
    QFETCH(bool, isArray);
    QVERIFY(FForm->StartCommand(&FFirst, jobGetTrendData, request));
    Tick(*FForm);
    QCOMPARE(FForm->CommandSlot().CommandState(), 2);
    if (isArray) {
        QCOMPARE(FForm->CommandSlot().ResultData().typeId(), QMetaType::QVariantList);
        QCOMPARE(FForm->CommandSlot().ResultData().toList().size(), entries);
    } else {
        QCOMPARE(FForm->CommandSlot().ResultData(), QVariant(QString()));
    }
}

void TestSiteFormCommands::releasedClientGivesUpSlotAndLock()
{
    QVERIFY(RunCommand(*FForm, FFirst, jobGetData, {QStringLiteral("DRIVERCOMMAND=LOCKCLIENT")}));
    FForm->RemoveClient(&FFirst);
    QCOMPARE(FForm->CommandSlot().CommandClient(), nullptr);
    QCOMPARE(FForm->CommandSlot().LockOwner(), nullptr);
    QVERIFY(!FForm->CommandSlot().IsLocked());
    QCOMPARE(FForm->Clients().size(), 1);
    QVERIFY(FForm->StartCommand(&FSecond, jobSiteTime, QStringLiteral("COMMAND=SITETIME")));
}

QTEST_MAIN(TestSiteFormCommands)
#include "tst_site_form_commands.moc"
