// The command slot of a site form: starting, running, collecting and dropping jobs, two
// clients taking turns, the site lock and the Block box. Offline sites, no network.
#include "SiteFormFixture.h"

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
    std::unique_ptr<TLonWorksForm> FForm;
    TTestClient FFirst;
    TTestClient FSecond;
};

void TestSiteFormCommands::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void TestSiteFormCommands::init()
{
    FForm = MakeForm(QStringLiteral("Plant"), true);
    QVERIFY(Attach(*FForm, FFirst));
    FForm->AddClient(&FSecond, QStringLiteral("Plant"));
    FForm->ReleaseCommand(&FFirst);
}

void TestSiteFormCommands::cleanup()
{
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
    QCOMPARE(FForm->FStatusText, progress);
    QCOMPARE(FForm->FCommandState, 1);
    QCOMPARE(FForm->FPendingJob, job);
    QVERIFY(FForm->FBusy);
    QCOMPARE(FForm->FCommandClient, &FFirst);
    QCOMPARE(FForm->FRequest, QVariant(request));
    QCOMPARE(FForm->MessagePnl->text(), progress);

    // Every job leaves the slot finished, never in progress, and nothing pending.
    Tick(*FForm);
    QVERIFY(FForm->FCommandState == 2 || FForm->FCommandState == 3);
    QCOMPARE(FForm->FPendingJob, 0);
    QVERIFY(!FForm->FBusy);
    QVERIFY(FForm->FStatusText.isEmpty());
    QCOMPARE(FForm->FCommandTimeout, 150);
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
    QCOMPARE(FForm->FCommandClient, nullptr);
    QCOMPARE(FForm->FPendingJob, 0);
    QCOMPARE(FForm->FCommandState, 0);
}

void TestSiteFormCommands::jobLifeCycle()
{
    QVERIFY(FForm->StartCommand(&FFirst, jobSiteTime, QStringLiteral("COMMAND=SITETIME")));
    QCOMPARE(FForm->CommandStatusFor(&FFirst), 1);
    QCOMPARE(FForm->FStatusText, QStringLiteral("Reading Site Time..."));

    Tick(*FForm);
    QCOMPARE(FForm->CommandStatusFor(&FFirst), 2);
    QCOMPARE(FForm->FResultData.toStringList().size(), 2);

    // Collecting frees the slot; a second collection finds the slot idle.
    FForm->ReleaseCommand(&FFirst);
    QCOMPARE(FForm->FCommandClient, nullptr);
    QCOMPARE(FForm->FCommandState, 0);
    QCOMPARE(FForm->FCommandTimeout, 0);
}

void TestSiteFormCommands::secondClientWaitsForTheSlot()
{
    QVERIFY(FForm->StartCommand(&FFirst, jobSiteStatus, QStringLiteral("COMMAND=SITESTATUS")));
    QCOMPARE(FForm->CommandStatusFor(&FSecond), -1);
    Tick(*FForm);
    QCOMPARE(FForm->CommandStatusFor(&FSecond), -1);

    // Only the holder's collection frees the slot.
    FForm->ReleaseCommand(&FSecond);
    QCOMPARE(FForm->FCommandClient, &FFirst);
    FForm->ReleaseCommand(&FFirst);
    QCOMPARE(FForm->CommandStatusFor(&FSecond), 0);
    QVERIFY(FForm->StartCommand(&FSecond, jobSiteTime, QStringLiteral("COMMAND=SITETIME")));
    QCOMPARE(FForm->FCommandClient, &FSecond);
}

void TestSiteFormCommands::uncollectedResultIsDroppedAfter150Ticks()
{
    QVERIFY(RunCommand(*FForm, FFirst, jobSiteTime, {QStringLiteral("COMMAND=SITETIME")}));
    // 150 ticks of 100 ms: the result is still there after 149, gone after the 150th.
    Tick(*FForm, 149);
    QCOMPARE(FForm->FCommandClient, &FFirst);
    QCOMPARE(FForm->FCommandState, 2);
    Tick(*FForm);
    QCOMPARE(FForm->FCommandClient, nullptr);
    QCOMPARE(FForm->FCommandState, 0);
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
    QCOMPARE(FForm->FCommandState, 2);
    QVERIFY(FForm->FLocked);
    QCOMPARE(FForm->FLockOwner, &FFirst);
    QCOMPARE(FForm->FLockComment, QStringLiteral("Commissioning"));
    QCOMPARE(FForm->FResultData.toStringList(), QStringList(4, QString()));
    FForm->ReleaseCommand(&FFirst);

    // The others are told the site is locked; the owner still sees its own slot.
    QCOMPARE(FForm->CommandStatusFor(&FSecond), 0);
    QVERIFY(RunCommand(*FForm, FFirst, jobSiteTime, {QStringLiteral("COMMAND=SITETIME")}));
    QCOMPARE(FForm->CommandStatusFor(&FSecond), 4);
    QCOMPARE(FForm->CommandStatusFor(&FFirst), 2);
    FForm->ReleaseCommand(&FFirst);

    QVERIFY(RunCommand(*FForm, FFirst, jobGetData,
                       {QStringLiteral("COMMAND=GETDATA"), QStringLiteral("DRIVERCOMMAND=") + unlockCommand}));
    QCOMPARE(FForm->FCommandState, 2);
    QVERIFY(!FForm->FLocked);
    QCOMPARE(FForm->FLockOwner, nullptr);
    QVERIFY(FForm->FLockComment.isEmpty());
    QCOMPARE(FForm->FLockTimeout, 0);
}

void TestSiteFormCommands::secondLockFailsAndKeepsTheFirst()
{
    QVERIFY(RunCommand(*FForm, FFirst, jobGetData,
                       {QStringLiteral("DRIVERCOMMAND=LOCKCLIENT"), QStringLiteral("LOCKCOMMENT=first")}));
    FForm->ReleaseCommand(&FFirst);
    QVERIFY(RunCommand(*FForm, FFirst, jobGetData,
                       {QStringLiteral("DRIVERCOMMAND=LOCKCLIENT"), QStringLiteral("LOCKCOMMENT=second")}));
    QCOMPARE(FForm->FCommandState, 3);
    QVERIFY(FForm->FErrorText.isEmpty());
    QCOMPARE(FForm->FLockComment, QStringLiteral("first"));
    QCOMPARE(FForm->FLockOwner, &FFirst);
}

void TestSiteFormCommands::unlockWithoutLockSucceeds()
{
    QVERIFY(RunCommand(*FForm, FFirst, jobGetData, {QStringLiteral("DRIVERCOMMAND=UNLOCKCLIENT")}));
    QCOMPARE(FForm->FCommandState, 2);
    QVERIFY(!FForm->FLocked);
}

void TestSiteFormCommands::lockLapsesAfter300IdleTicks()
{
    QVERIFY(RunCommand(*FForm, FFirst, jobGetData, {QStringLiteral("DRIVERCOMMAND=LOCKCLIENT")}));
    FForm->ReleaseCommand(&FFirst);
    // 300 ticks of 100 ms: locked after 299, free after the 300th.
    QCOMPARE(FForm->FLockTimeout, 300);
    Tick(*FForm, 299);
    QVERIFY(FForm->FLocked);
    Tick(*FForm);
    QVERIFY(!FForm->FLocked);
    QCOMPARE(FForm->FLockOwner, nullptr);
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
    QVERIFY(FForm->FLocked);
    Tick(*FForm, 100);
    QVERIFY(!FForm->FLocked);
}

void TestSiteFormCommands::blockAndUnblockThroughTheCheckBox()
{
    QVERIFY(FForm->StartCommand(&FFirst, jobSiteTime, QStringLiteral("COMMAND=SITETIME")));
    FForm->BlockChk->click();
    QVERIFY(FForm->IsBlocked());
    QVERIFY(FForm->FLocked);
    QVERIFY(FForm->FBusy);
    QCOMPARE(FForm->FCommandClient, FForm.get());
    QCOMPARE(FForm->CommandStatusFor(&FFirst), 4);
    QCOMPARE(FForm->CommandStatusFor(&FSecond), 4);

    // The job already pending runs to its end; the result waits while blocked.
    Tick(*FForm);
    QCOMPARE(FForm->FCommandState, 2);
    Tick(*FForm, 300);
    QCOMPARE(FForm->FCommandClient, FForm.get());
    // Unlocking is refused while blocked.
    QVERIFY(!FForm->UnlockClient());
    QVERIFY(FForm->FLocked);

    FForm->BlockChk->click();
    QVERIFY(!FForm->IsBlocked());
    QVERIFY(!FForm->FLocked);
    QVERIFY(!FForm->FBusy);
    QCOMPARE(FForm->FCommandClient, nullptr);
    QCOMPARE(FForm->FCommandTimeout, 0);
    QVERIFY(FForm->StartCommand(&FSecond, jobSiteTime, QStringLiteral("COMMAND=SITETIME")));
}

void TestSiteFormCommands::blockedSiteRefusesConnectAndDisconnect()
{
    FForm->BlockChk->click();
    QVERIFY(!FForm->ConnectClient(&FSecond));
    QVERIFY(!FForm->DisconnectClient(&FFirst));
    QCOMPARE(FForm->FCommandClient, FForm.get());
    QVERIFY(FForm->FConnected);
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
    QCOMPARE(FForm->FCommandState, 3);
    QVERIFY(FForm->FErrorText.isEmpty());
    QVERIFY(!FForm->FLocked);
    QCOMPARE(FForm->FPendingJob, 0);
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
    QCOMPARE(FForm->FCommandState, 3);
    QCOMPARE(FForm->FErrorText, QStringLiteral("Not Supported"));
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
    QCOMPARE(FForm->FCommandState, 3);
    QCOMPARE(FForm->FPendingJob, 0);
}

void TestSiteFormCommands::alarmsAreHandedOutOnce()
{
    FForm->FAlarms = {QStringLiteral("Boiler"), QStringLiteral("Chiller")};
    QVERIFY(RunCommand(*FForm, FFirst, jobGetAlarms, {QStringLiteral("COMMAND=GETALARMS")}));
    QCOMPARE(FForm->FCommandState, 2);
    QCOMPARE(FForm->FResultData.toStringList(),
             (QStringList{QStringLiteral("ALARM0=Boiler"), QStringLiteral("ALARM1=Chiller")}));
    QVERIFY(FForm->FAlarms.isEmpty());
    FForm->ReleaseCommand(&FFirst);

    QVERIFY(RunCommand(*FForm, FFirst, jobGetAlarms, {QStringLiteral("COMMAND=GETALARMS")}));
    QCOMPARE(FForm->FCommandState, 2);
    QVERIFY(FForm->FResultData.toStringList().isEmpty());
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
    QCOMPARE(FForm->FCommandState, 2);
    if (isArray) {
        QCOMPARE(FForm->FResultData.typeId(), QMetaType::QVariantList);
        QCOMPARE(FForm->FResultData.toList().size(), entries);
    } else {
        QCOMPARE(FForm->FResultData, QVariant(QString()));
    }
}

void TestSiteFormCommands::releasedClientGivesUpSlotAndLock()
{
    QVERIFY(RunCommand(*FForm, FFirst, jobGetData, {QStringLiteral("DRIVERCOMMAND=LOCKCLIENT")}));
    FForm->RemoveClient(&FFirst);
    QCOMPARE(FForm->FCommandClient, nullptr);
    QCOMPARE(FForm->FLockOwner, nullptr);
    QVERIFY(!FForm->FLocked);
    QCOMPARE(FForm->FClients.size(), 1);
    QVERIFY(FForm->StartCommand(&FSecond, jobSiteTime, QStringLiteral("COMMAND=SITETIME")));
}

QTEST_MAIN(TestSiteFormCommands)
#include "tst_site_form_commands.moc"
