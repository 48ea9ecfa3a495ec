// Opening and closing the network for a site's clients on the simulated network (LON1),
// the client list, closing the window, and what the form releases when it goes.
#include "SiteFormFixture.h"

#include "lonworks/LDV32.h"
#include "lonworks/LonInterface.h"

#include <QCheckBox>
#include <QLabel>
#include <QLocale>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPointer>
#include <QRegularExpression>
#include <QTest>

class TestSiteFormConnect : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void connectOffline();
    void connectOnline();
    void connectToUnknownInterface_data();
    void connectToUnknownInterface();
    void secondClientSharesTheOpenInterface();
    void disconnectOnlyClientOnline();
    void disconnectWithOtherClientsKeepsTheNetwork();
    void disconnectOnlyClientOffline();
    void siteStatusOnline_data();
    void siteStatusOnline();
    void sendCommandAlwaysFails_data();
    void sendCommandAlwaysFails();
    void closeRefusedWhileConnected();
    void destructionClosesTheInterface();
    void lastClientRemovedReleasesTheForm_data();
    void lastClientRemovedReleasesTheForm();
    void clientListAndCount();
    void clockRefreshesEveryTenTicks();
};

namespace {

void DeleteLaterNow()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

void TestSiteFormConnect::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QVERIFY2(LDV32::Load(), qPrintable(LDV32::ErrorText()));
}

void TestSiteFormConnect::connectOffline()
{
    auto form = MakeForm(QStringLiteral("Plant"), true, QStringLiteral("NOSUCHLON"));
    TTestClient client;
    QVERIFY(Attach(*form, client));
    QCOMPARE(form->FCommandClient, &client);
    QCOMPARE(form->FCommandState, 2);
    QVERIFY(form->FConnected);
    QVERIFY(form->FWorkingOffline);
    QVERIFY(!form->IsOnline());
    QCOMPARE(form->FInterface->Handle, qint16(-1));
    QCOMPARE(form->windowTitle(), QStringLiteral("Plant"));
}

void TestSiteFormConnect::connectOnline()
{
    auto form = MakeForm(QStringLiteral("Plant"), false);
    TTestClient client;
    QVERIFY(Attach(*form, client));
    QCOMPARE(form->FCommandState, 2);
    QVERIFY(form->FErrorText.isEmpty());
    QVERIFY(form->FStatusText.isEmpty());
    QVERIFY(form->FConnected);
    QVERIFY(form->IsOnline());
    QVERIFY(form->FInterface->Handle >= 0);
    QCOMPARE(form->FLibraryVersion, LDV32::GetVersion());
    QCOMPARE(form->FInterfaceName, LDV32::XlateDeviceNameStd("LON1"));
    QCOMPARE(form->windowTitle(), QStringLiteral("Plant"));
}

void TestSiteFormConnect::connectToUnknownInterface_data()
{
    QTest::addColumn<QString>("device");
    QTest::newRow("unknown name") << "NOSUCHLON";
    QTest::newRow("missing file") << "/nonexistent/network.json";
}

void TestSiteFormConnect::connectToUnknownInterface()
{
    QFETCH(QString, device);
    qint16 handle = -1;
    const qint16 status = LDV32::Open(device.toLocal8Bit(), handle);
    QVERIFY(status != 0);

    auto form = MakeForm(QStringLiteral("Plant"), false, device);
    TTestClient client;
    // Connect itself succeeds; the failure is the command's outcome.
    QVERIFY(Attach(*form, client));
    QCOMPARE(form->FCommandClient, &client);
    QCOMPARE(form->FCommandState, 3);
    QVERIFY(form->FStatusText.isEmpty());
    QCOMPARE(form->FErrorText, QStringLiteral("Could not connect to the LonWorks Interface named \"%1\"...Error #%2")
                                   .arg(device)
                                   .arg(status));
    QVERIFY(!form->FConnected);
    QVERIFY(form->close());
}

void TestSiteFormConnect::secondClientSharesTheOpenInterface()
{
    auto form = MakeForm(QStringLiteral("Plant"), false);
    TTestClient first;
    TTestClient second;
    QVERIFY(Attach(*form, first));
    const qint16 handle = form->FInterface->Handle;
    form->ReleaseCommand(&first);

    QVERIFY(Attach(*form, second));
    QCOMPARE(form->FCommandClient, &second);
    QCOMPARE(form->FCommandState, 2);
    QCOMPARE(form->FInterface->Handle, handle);
    QCOMPARE(form->FClients.size(), 2);
}

void TestSiteFormConnect::disconnectOnlyClientOnline()
{
    auto form = MakeForm(QStringLiteral("Plant"), false);
    TTestClient client;
    QVERIFY(Attach(*form, client));
    form->ReleaseCommand(&client);

    QVERIFY(form->DisconnectClient(&client));
    QCOMPARE(form->FCommandClient, &client);
    QCOMPARE(form->FCommandState, 1);
    QCOMPARE(form->FStatusText, QStringLiteral("Disconnecting..."));
    QCOMPARE(form->FPendingJob, int(jobDisconnect));
    QVERIFY(form->FConnected);

    Tick(*form);
    QCOMPARE(form->FCommandState, 2);
    QVERIFY(form->FStatusText.isEmpty());
    QCOMPARE(form->FPendingJob, 0);
    QVERIFY(!form->FConnected);
    QVERIFY(!form->IsOnline());
    QCOMPARE(form->FInterface->Handle, qint16(-1));
    QCOMPARE(form->FClients.size(), 1);

    // The client may connect again: the interface opens anew.
    form->ReleaseCommand(&client);
    QVERIFY(form->ConnectClient(&client));
    QCOMPARE(form->FCommandState, 2);
    QVERIFY(form->FConnected);
}

void TestSiteFormConnect::disconnectWithOtherClientsKeepsTheNetwork()
{
    auto form = MakeForm(QStringLiteral("Plant"), false);
    TTestClient first;
    TTestClient second;
    QVERIFY(Attach(*form, first));
    QVERIFY(Attach(*form, second));
    form->ReleaseCommand(&second);

    QVERIFY(form->DisconnectClient(&first));
    QCOMPARE(form->FCommandState, 2);
    QCOMPARE(form->FPendingJob, 0);
    QVERIFY(form->FConnected);
    QVERIFY(form->FInterface->Handle >= 0);
}

void TestSiteFormConnect::disconnectOnlyClientOffline()
{
    auto form = MakeForm(QStringLiteral("Plant"), true);
    TTestClient client;
    QVERIFY(Attach(*form, client));
    form->ReleaseCommand(&client);
    QVERIFY(form->DisconnectClient(&client));
    QCOMPARE(form->FCommandState, 2);
    QCOMPARE(form->FPendingJob, 0);
    QVERIFY(!form->FConnected);
}

void TestSiteFormConnect::siteStatusOnline_data()
{
    QTest::addColumn<QString>("dom0Id");
    QTest::addColumn<QString>("dom0Line");
    QTest::newRow("interface's own") << "" << "Domain 0 ID: [4C ]";
    QTest::newRow("three bytes") << "1A:2b:3C" << "Domain 0 ID: [1A 2B 3C ]";
    QTest::newRow("one byte") << "2a" << "Domain 0 ID: [2A ]";
    QTest::newRow("six bytes") << "00:01:02:0A:0B:FF" << "Domain 0 ID: [00 01 02 0A 0B FF ]";
}

void TestSiteFormConnect::siteStatusOnline()
{
    QFETCH(QString, dom0Id);
    QFETCH(QString, dom0Line);
    auto form = MakeForm(QStringLiteral("Plant"), false, QStringLiteral("LON1"), dom0Id);
    TTestClient client;
    QVERIFY(Attach(*form, client));
    QCOMPARE(form->FCommandState, 2);
    form->ReleaseCommand(&client);

    QVERIFY(RunCommand(*form, client, jobSiteStatus, {QStringLiteral("COMMAND=SITESTATUS")}));
    QCOMPARE(form->FCommandState, 2);
    const QStringList lines = form->FResultData.toStringList();
    QCOMPARE(lines.size(), 17);
    QCOMPARE(lines.at(0), QStringLiteral("Site: Plant"));
    for (int empty : {1, 4, 6})
        QVERIFY(lines.at(empty).isEmpty());
    QCOMPARE(lines.at(2), QStringLiteral("Date: ") + QLocale().toString(QDate::currentDate(), QLocale::ShortFormat));
    QVERIFY2(QRegularExpression(QStringLiteral("^Time: (0[1-9]|1[0-2]):[0-5][0-9](am|pm)$")).match(lines.at(3)).hasMatch(),
             qPrintable(lines.at(3)));
    QCOMPARE(lines.at(5), QStringLiteral("Library Version: ") + LDV32::GetVersion());
    QCOMPARE(lines.at(7), QStringLiteral("LON Device Name: ") + LDV32::XlateDeviceNameStd("LON1"));
    // The identity of LON1's simulated interface, read from the interface at connect.
    QCOMPARE(lines.at(8), QStringLiteral("ID String: 80 00 01 28 00 00 00 00 "));
    QCOMPARE(lines.at(9), QStringLiteral("Neuron ID: 05 00 00 4C 10 01 "));
    QCOMPARE(lines.at(10), QStringLiteral("Model #: 8.0"));
    QCOMPARE(lines.at(11), dom0Line);
    QCOMPARE(lines.at(12), QStringLiteral("Domain 0 Subnet: 1"));
    QCOMPARE(lines.at(13), QStringLiteral("Domain 0 Node: 126"));
    QCOMPARE(lines.at(14), QStringLiteral("Domain 1 ID: [12 34 56 ]"));
    QCOMPARE(lines.at(15), QStringLiteral("Domain 1 Subnet: 2"));
    QCOMPARE(lines.at(16), QStringLiteral("Domain 1 Node: 126"));
}

void TestSiteFormConnect::sendCommandAlwaysFails_data()
{
    QTest::addColumn<bool>("offline");
    QTest::addColumn<bool>("locked");
    QTest::addColumn<QString>("error");
    QTest::newRow("offline") << true << false << QString();
    QTest::newRow("online") << false << false << QString();
    QTest::newRow("online and locked") << false << true << "Driver is in use by another client";
}

void TestSiteFormConnect::sendCommandAlwaysFails()
{
    QFETCH(bool, offline);
    QFETCH(bool, locked);
    QFETCH(QString, error);
    auto form = MakeForm(QStringLiteral("Plant"), offline);
    TTestClient client;
    QVERIFY(Attach(*form, client));
    form->ReleaseCommand(&client);
    if (locked) {
        QVERIFY(RunCommand(*form, client, jobGetData, {QStringLiteral("DRIVERCOMMAND=LOCKCLIENT")}));
        form->ReleaseCommand(&client);
    }
    QVERIFY(RunCommand(*form, client, jobGetData,
                       {QStringLiteral("DRIVERCOMMAND=SENDCOMMAND"), QStringLiteral("COMMANDSTRING=RESET")}));
    QCOMPARE(form->FCommandState, 3);
    QCOMPARE(form->FErrorText, error);
}

void TestSiteFormConnect::closeRefusedWhileConnected()
{
    QPointer<TLonWorksForm> form = MakeForm(QStringLiteral("Plant"), true).release();
    TTestClient client;
    QVERIFY(Attach(*form, client));
    form->show();

    QVERIFY(!form->close());
    DeleteLaterNow();
    QVERIFY(form);
    auto *box = form->findChild<QMessageBox *>();
    QVERIFY(box);
    QVERIFY(box->isVisible());
    QCOMPARE(box->text(), QStringLiteral("This window cannot be closed because it is still connected to a Site.\n"
                                         "Disconnect from the Site or minimize the application to hide on taskbar."));
    // Asking again shows the one box again instead of stacking a second.
    QVERIFY(!form->close());
    QCOMPARE(form->findChildren<QMessageBox *>().size(), 1);

    form->ReleaseCommand(&client);
    QVERIFY(form->DisconnectClient(&client));
    QVERIFY(form->close());
    DeleteLaterNow();
    QVERIFY(!form);
}

void TestSiteFormConnect::destructionClosesTheInterface()
{
    qint16 handle = -1;
    {
        auto form = MakeForm(QStringLiteral("Plant"), false);
        TTestClient client;
        QVERIFY(Attach(*form, client));
        handle = form->FInterface->Handle;
        QVERIFY(handle >= 0);
    }
    // The handle is no longer open: closing it again is refused.
    QVERIFY(LDV32::Close(handle) != 0);
}

void TestSiteFormConnect::lastClientRemovedReleasesTheForm_data()
{
    QTest::addColumn<bool>("inSubWindow");
    QTest::newRow("alone") << false;
    QTest::newRow("in a sub-window") << true;
}

void TestSiteFormConnect::lastClientRemovedReleasesTheForm()
{
    QFETCH(bool, inSubWindow);
    QMdiArea area;
    QPointer<TLonWorksForm> form = MakeForm(QStringLiteral("Plant"), true).release();
    QPointer<QMdiSubWindow> frame;
    if (inSubWindow)
        frame = area.addSubWindow(form);
    TTestClient first;
    TTestClient second;
    QVERIFY(Attach(*form, first));
    form->AddClient(&second, QStringLiteral("Plant"));

    form->RemoveClient(&first);
    DeleteLaterNow();
    QVERIFY(form);
    form->RemoveClient(&second);
    DeleteLaterNow();
    QVERIFY(!form);
    QVERIFY(!frame);
}

void TestSiteFormConnect::clientListAndCount()
{
    auto form = MakeForm(QStringLiteral("Plant"), true);
    TTestClient first;
    TTestClient second;
    QCOMPARE(form->ClientCountLbl->text(), QStringLiteral("0"));
    QCOMPARE(form->Label1->text(), QStringLiteral("Clients: "));
    QCOMPARE(form->BlockChk->text(), QStringLiteral("Block"));
    QCOMPARE(form->BlockChk->cursor().shape(), Qt::PointingHandCursor);
    QCOMPARE(form->BlockChk->toolTip(), QStringLiteral("Temporarily Block Clients Access to Site"));
    QCOMPARE(form->ClientCountLbl->toolTip(), QStringLiteral("The Number of Clients Connected to this Site"));

    form->FRemoteClientCount = 2;
    form->AddClient(&first, QStringLiteral("Plant"));
    form->AddClient(&first, QStringLiteral("Plant"));
    form->AddClient(&second, QStringLiteral("PLANT"));
    QCOMPARE(form->FClients.size(), 2);
    QCOMPARE(form->FClients.at(1).Description, QStringLiteral("PLANT"));
    QCOMPARE(form->ClientCountLbl->text(), QStringLiteral("2"));

    form->FRemoteClientCount = 1;
    form->RemoveClient(&first);
    form->RemoveClient(&first);
    QCOMPARE(form->FClients.size(), 1);
    QCOMPARE(form->FClients.at(0).Client, &second);
    QCOMPARE(form->ClientCountLbl->text(), QStringLiteral("1"));
}

void TestSiteFormConnect::clockRefreshesEveryTenTicks()
{
    auto form = MakeForm(QStringLiteral("Plant"), true);
    Tick(*form, TLonWorksForm::ClockTicks - 1);
    QCOMPARE(form->TimePnl->text(), QStringLiteral("Local Time:"));
    Tick(*form);
    const QString text = form->TimePnl->text();
    QVERIFY2(QRegularExpression(QStringLiteral("^Local Time: (0[1-9]|1[0-2]):[0-5][0-9]:[0-5][0-9] (am|pm)$"))
                 .match(text)
                 .hasMatch(),
             qPrintable(text));
    QCOMPARE(form->FTickCount, 0);
}

QTEST_MAIN(TestSiteFormConnect)
#include "tst_site_form_connect.moc"
