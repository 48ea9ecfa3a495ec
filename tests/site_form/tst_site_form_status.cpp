// SITETIME, SITESTATUS (offline) and POINTVERIFY as site jobs.
#include "SiteFormFixture.h"

#include "support/HostFormat.h"

#include <QDateTime>
#include <QLocale>
#include <QTest>

class TestSiteFormStatus : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void siteTimeFollowsTheClock();
    void siteStatusOffline_data();
    void siteStatusOffline();
    void pointVerify_data();
    void pointVerify();
    void pointVerifyWithUnreadableRequest();

private:
    std::unique_ptr<TSiteController> FForm;
    TTestClient FClient;
};

void TestSiteFormStatus::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void TestSiteFormStatus::init()
{
    FForm = MakeSite(QStringLiteral("North Plant"), true);
    QVERIFY(Attach(*FForm, FClient));
    FForm->ReleaseCommand(&FClient);
}

void TestSiteFormStatus::cleanup()
{
    FForm.reset();
}

void TestSiteFormStatus::siteTimeFollowsTheClock()
{
    // The answer is the clock read during the job, written as the host writes it.
    for (int round = 0; round < 2; ++round) {
        const QDateTime before = QDateTime::currentDateTime();
        QVERIFY(RunCommand(*FForm, FClient, jobSiteTime, {QStringLiteral("COMMAND=SITETIME")}));
        const QDateTime after = QDateTime::currentDateTime();
        QCOMPARE(FForm->CommandSlot().CommandState(), 2);
        QVERIFY(FForm->CommandSlot().ErrorText().isEmpty());
        const QStringList lines = FForm->CommandSlot().ResultData().toStringList();
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines.at(1).isEmpty());
        QVERIFY2(lines.at(0) == QStringLiteral("SITETIME=") + HostDateTimeText(before)
                     || lines.at(0) == QStringLiteral("SITETIME=") + HostDateTimeText(after),
                 qPrintable(lines.at(0)));
        QVERIFY(FForm->SiteTimeOffset() >= 0);
        QVERIFY(FForm->SiteTimeOffset() <= before.msecsTo(after));
        FForm->ReleaseCommand(&FClient);
    }
}

void TestSiteFormStatus::siteStatusOffline_data()
{
    QTest::addColumn<bool>("connected");
    QTest::newRow("connected offline") << true;
    QTest::newRow("disconnected") << false;
}

void TestSiteFormStatus::siteStatusOffline()
{
    QFETCH(bool, connected);
    if (!connected) {
        QVERIFY(FForm->DisconnectClient(&FClient));
        FForm->ReleaseCommand(&FClient);
        QVERIFY(!FForm->IsConnected());
    }
    QVERIFY(RunCommand(*FForm, FClient, jobSiteStatus, {QStringLiteral("COMMAND=SITESTATUS")}));
    QCOMPARE(FForm->CommandSlot().CommandState(), 2);
    QCOMPARE(FForm->CommandSlot().ResultData().toStringList(),
             (QStringList{QStringLiteral("North Plant"), QStringLiteral("Offline")}));
}

void TestSiteFormStatus::pointVerify_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("error");
    const QString invalid = QStringLiteral("Invalid Point Address. See the help file for proper formatting.");
    QTest::newRow("valid") << "0:1:1:0:0:0:0:0" << QString();
    QTest::newRow("hex subnet, scale and object") << "0:$0A:1:0:0:0:0:0, 2.5 , d-Pump1" << QString();
    QTest::newRow("scale not a number") << "0:255:127:0:0:0:0:0,abc" << QString();
    QTest::newRow("seven fields") << "0:1:1:0:0:0:0" << invalid;
    QTest::newRow("nine fields") << "0:1:1:0:0:0:0:0:9" << invalid;
    QTest::newRow("empty") << "" << invalid;
    QTest::newRow("domain") << "2:1:1:0:0:0:0:0" << "Domain# in field 1 must be 0 or 1.";
    QTest::newRow("subnet") << "0:0:1:0:0:0:0:0" << "Subnet# in field 2 must be between 1 and 255.";
    QTest::newRow("node 0") << "0:1:0:0:0:0:0:0" << "Node# in field 3 must be between 1 and 127.";
    QTest::newRow("node 128") << "0:1:128:0:0:0:0:0" << "Node# in field 3 must be between 1 and 127.";
    QTest::newRow("index") << "0:1:1:4096:0:0:0:0" << "Variable Index in field 4 must be between 0 and 4095.";
    QTest::newRow("snvt") << "0:1:1:0:226:0:0:0" << "SNVT Type in field 5 must be between 0 and 225 (0=custom).";
    QTest::newRow("offset") << "0:1:1:0:0:256:0:0" << "Variable Offset in field 6 must be between 0 and 255.";
    QTest::newRow("type") << "0:1:1:0:0:0:14:0" << "Variable Type in field 7 must be between 0 and 13.";
    QTest::newRow("parameter") << "0:1:1:0:0:0:0:226" << "Parameter in field 8 must be between 0 and 225.";
}

void TestSiteFormStatus::pointVerify()
{
    QFETCH(QString, address);
    QFETCH(QString, error);
    const QStringList request{QStringLiteral("COMMAND=POINTVERIFY"), QStringLiteral("POINTNAME=Boiler Temp"),
                              QStringLiteral("POINTADDRESS=") + address};
    QVERIFY(RunCommand(*FForm, FClient, jobPointVerify, request));
    QCOMPARE(FForm->CommandSlot().ErrorText(), error);
    QCOMPARE(FForm->CommandSlot().PendingJob(), 0);
    QVERIFY(FForm->CommandSlot().StatusText().isEmpty());
    if (error.isEmpty()) {
        QCOMPARE(FForm->CommandSlot().CommandState(), 2);
        QCOMPARE(FForm->CommandSlot().ResultData().toStringList(),
                 (QStringList{QStringLiteral("POINTNAME=Boiler Temp"), QStringLiteral("POINTADDRESS=") + address,
                              QString()}));
    } else {
        QCOMPARE(FForm->CommandSlot().CommandState(), 3);
    }
}

void TestSiteFormStatus::pointVerifyWithUnreadableRequest()
{
    // A request element without a text form fails like a malformed address.
    const QVariantList request{QStringLiteral("COMMAND=POINTVERIFY"), QVariant(QVariantMap{{"x", 1}}),
                               QStringLiteral("POINTADDRESS=0:1:1:0:0:0:0:0")};
    QVERIFY(RunCommand(*FForm, FClient, jobPointVerify, {}));
    FForm->ReleaseCommand(&FClient);
    QVERIFY(FForm->StartCommand(&FClient, jobPointVerify, request));
    Tick(*FForm);
    QCOMPARE(FForm->CommandSlot().CommandState(), 3);
    QCOMPARE(FForm->CommandSlot().ErrorText(),
             QStringLiteral("Invalid Point Address. See the help file for proper formatting."));
}

QTEST_MAIN(TestSiteFormStatus)
#include "tst_site_form_status.moc"
