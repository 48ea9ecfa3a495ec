// Opening and closing the network for a site's clients on the simulated network (LON1),
// the client list, the site's window and closing it, and what the site releases when it goes.
#include "SiteFormFixture.h"
#include "SiteWindowFixture.h"

#include "site/LonWorksForm.h"

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
    auto form = MakeSite(QStringLiteral("Plant"), true, QStringLiteral("NOSUCHLON"));
    TLonWorksForm view(form.get());
    TTestClient client;
    QVERIFY(Attach(*form, client));
    QCOMPARE(form->CommandSlot().CommandClient(), &client);
    QCOMPARE(form->CommandSlot().CommandState(), 2);
    QVERIFY(form->IsConnected());
    QVERIFY(form->IsWorkingOffline());
    QVERIFY(!form->IsOnline());
    QCOMPARE(form->InterfaceHandle(), qint16(-1));
    QCOMPARE(view.windowTitle(), QStringLiteral("Plant"));
}

void TestSiteFormConnect::connectOnline()
{
    auto form = MakeSite(QStringLiteral("Plant"), false);
    TLonWorksForm view(form.get());
    TTestClient client;
    QVERIFY(Attach(*form, client));
    QCOMPARE(form->CommandSlot().CommandState(), 2);
    QVERIFY(form->CommandSlot().ErrorText().isEmpty());
    QVERIFY(form->CommandSlot().StatusText().isEmpty());
    QVERIFY(form->IsConnected());
    QVERIFY(form->IsOnline());
    QVERIFY(form->InterfaceHandle() >= 0);
    QCOMPARE(form->LibraryVersion(), LDV32::GetVersion());
    QCOMPARE(form->InterfaceName(), LDV32::XlateDeviceNameStd("LON1"));
    QCOMPARE(view.windowTitle(), QStringLiteral("Plant"));
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

    QPointer<TSiteController> form = MakeSite(QStringLiteral("Plant"), false, device).release();
    auto *view = new TLonWorksForm(form);
    TTestClient client;
    // Connect itself succeeds; the failure is the command's outcome.
    QVERIFY(Attach(*form, client));
    QCOMPARE(form->CommandSlot().CommandClient(), &client);
    QCOMPARE(form->CommandSlot().CommandState(), 3);
    QVERIFY(form->CommandSlot().StatusText().isEmpty());
    const QString failure = QStringLiteral("Could not connect to the LonWorks Interface named \"%1\"...Error #%2")
                                .arg(device)
                                .arg(status);
    QCOMPARE(form->CommandSlot().ErrorText(), failure);
    QVERIFY(!form->IsConnected());
    // The window names its site and shows why it is not connected.
    QCOMPARE(view->windowTitle(), QStringLiteral("Plant"));
    QCOMPARE(Component<QLabel>(*view, "MessagePnl")->text(), failure);
    // Not connected, its window closes, and the site goes with it.
    QVERIFY(view->close());
    QVERIFY(!form);
    DeleteLaterNow();
}

void TestSiteFormConnect::secondClientSharesTheOpenInterface()
{
    auto form = MakeSite(QStringLiteral("Plant"), false);
    TTestClient first;
    TTestClient second;
    QVERIFY(Attach(*form, first));
    const qint16 handle = form->InterfaceHandle();
    form->ReleaseCommand(&first);

    QVERIFY(Attach(*form, second));
    QCOMPARE(form->CommandSlot().CommandClient(), &second);
    QCOMPARE(form->CommandSlot().CommandState(), 2);
    QCOMPARE(form->InterfaceHandle(), handle);
    QCOMPARE(form->Clients().size(), 2);
}

void TestSiteFormConnect::disconnectOnlyClientOnline()
{
    auto form = MakeSite(QStringLiteral("Plant"), false);
    TTestClient client;
    QVERIFY(Attach(*form, client));
    form->ReleaseCommand(&client);

    QVERIFY(form->DisconnectClient(&client));
    QCOMPARE(form->CommandSlot().CommandClient(), &client);
    QCOMPARE(form->CommandSlot().CommandState(), 1);
    QCOMPARE(form->CommandSlot().StatusText(), QStringLiteral("Disconnecting..."));
    QCOMPARE(form->CommandSlot().PendingJob(), int(jobDisconnect));
    QVERIFY(form->IsConnected());

    Tick(*form);
    QCOMPARE(form->CommandSlot().CommandState(), 2);
    QVERIFY(form->CommandSlot().StatusText().isEmpty());
    QCOMPARE(form->CommandSlot().PendingJob(), 0);
    QVERIFY(!form->IsConnected());
    QVERIFY(!form->IsOnline());
    QCOMPARE(form->InterfaceHandle(), qint16(-1));
    QCOMPARE(form->Clients().size(), 1);

    // The client may connect again: the interface opens anew.
    form->ReleaseCommand(&client);
    QVERIFY(form->ConnectClient(&client));
    QCOMPARE(form->CommandSlot().CommandState(), 2);
    QVERIFY(form->IsConnected());
}

void TestSiteFormConnect::disconnectWithOtherClientsKeepsTheNetwork()
{
    auto form = MakeSite(QStringLiteral("Plant"), false);
    TTestClient first;
    TTestClient second;
    QVERIFY(Attach(*form, first));
    QVERIFY(Attach(*form, second));
    form->ReleaseCommand(&second);

    QVERIFY(form->DisconnectClient(&first));
    QCOMPARE(form->CommandSlot().CommandState(), 2);
    QCOMPARE(form->CommandSlot().PendingJob(), 0);
    QVERIFY(form->IsConnected());
    QVERIFY(form->InterfaceHandle() >= 0);
}

void TestSiteFormConnect::disconnectOnlyClientOffline()
{
    auto form = MakeSite(QStringLiteral("Plant"), true);
    TTestClient client;
    QVERIFY(Attach(*form, client));
    form->ReleaseCommand(&client);
    QVERIFY(form->DisconnectClient(&client));
    QCOMPARE(form->CommandSlot().CommandState(), 2);
    QCOMPARE(form->CommandSlot().PendingJob(), 0);
    QVERIFY(!form->IsConnected());
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
    auto form = MakeSite(QStringLiteral("Plant"), false, QStringLiteral("LON1"), dom0Id);
    TTestClient client;
    QVERIFY(Attach(*form, client));
    QCOMPARE(form->CommandSlot().CommandState(), 2);
    form->ReleaseCommand(&client);

    QVERIFY(RunCommand(*form, client, jobSiteStatus, {QStringLiteral("COMMAND=SITESTATUS")}));
    QCOMPARE(form->CommandSlot().CommandState(), 2);
    const QStringList lines = form->CommandSlot().ResultData().toStringList();
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
    auto form = MakeSite(QStringLiteral("Plant"), offline);
    TTestClient client;
    QVERIFY(Attach(*form, client));
    form->ReleaseCommand(&client);
    if (locked) {
        QVERIFY(RunCommand(*form, client, jobGetData, {QStringLiteral("DRIVERCOMMAND=LOCKCLIENT")}));
        form->ReleaseCommand(&client);
    }
    QVERIFY(RunCommand(*form, client, jobGetData,
                       {QStringLiteral("DRIVERCOMMAND=SENDCOMMAND"), QStringLiteral("COMMANDSTRING=RESET")}));
    QCOMPARE(form->CommandSlot().CommandState(), 3);
    QCOMPARE(form->CommandSlot().ErrorText(), error);
}

void TestSiteFormConnect::closeRefusedWhileConnected()
{
    QPointer<TSiteController> site = MakeSite(QStringLiteral("Plant"), true).release();
    QPointer<TLonWorksForm> form = new TLonWorksForm(site);
    TTestClient client;
    QVERIFY(Attach(*site, client));
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

    site->ReleaseCommand(&client);
    QVERIFY(site->DisconnectClient(&client));
    QVERIFY(form->close());
    DeleteLaterNow();
    QVERIFY(!form);
    QVERIFY(!site);
}

void TestSiteFormConnect::destructionClosesTheInterface()
{
    qint16 handle = -1;
    {
        auto form = MakeSite(QStringLiteral("Plant"), false);
        TTestClient client;
        QVERIFY(Attach(*form, client));
        handle = form->InterfaceHandle();
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
    QPointer<TSiteController> site = MakeSite(QStringLiteral("Plant"), true).release();
    QPointer<TLonWorksForm> form = new TLonWorksForm(site);
    QPointer<QMdiSubWindow> frame;
    if (inSubWindow)
        frame = area.addSubWindow(form);
    TTestClient first;
    TTestClient second;
    QVERIFY(Attach(*site, first));
    site->AddClient(&second, QStringLiteral("Plant"));

    site->RemoveClient(&first);
    DeleteLaterNow();
    QVERIFY(site);
    QVERIFY(form);
    site->RemoveClient(&second);
    DeleteLaterNow();
    QVERIFY(!site);
    QVERIFY(!form);
    QVERIFY(!frame);
}

void TestSiteFormConnect::clientListAndCount()
{
    auto form = MakeSite(QStringLiteral("Plant"), true);
    TLonWorksForm view(form.get());
    const QLabel *count = Component<QLabel>(view, "ClientCountLbl");
    const QCheckBox *block = Component<QCheckBox>(view, "BlockChk");
    TTestClient first;
    TTestClient second;
    QCOMPARE(count->text(), QStringLiteral("0"));
    QCOMPARE(Component<QLabel>(view, "Label1")->text(), QStringLiteral("Clients: "));
    QCOMPARE(block->text(), QStringLiteral("Block"));
    QCOMPARE(block->cursor().shape(), Qt::PointingHandCursor);
    QCOMPARE(block->toolTip(), QStringLiteral("Temporarily Block Clients Access to Site"));
    QCOMPARE(count->toolTip(), QStringLiteral("The Number of Clients Connected to this Site"));

    form->AddRemoteClient();
    form->AddRemoteClient();
    form->AddClient(&first, QStringLiteral("Plant"));
    form->AddClient(&first, QStringLiteral("Plant"));
    form->AddClient(&second, QStringLiteral("PLANT"));
    QCOMPARE(form->Clients().size(), 2);
    QCOMPARE(form->Clients().at(1).Description, QStringLiteral("PLANT"));
    QCOMPARE(count->text(), QStringLiteral("2"));

    form->RemoveRemoteClient();
    form->RemoveClient(&first);
    form->RemoveClient(&first);
    QCOMPARE(form->Clients().size(), 1);
    QCOMPARE(form->Clients().at(0).Client, &second);
    QCOMPARE(count->text(), QStringLiteral("1"));
}

void TestSiteFormConnect::clockRefreshesEveryTenTicks()
{
    auto form = MakeSite(QStringLiteral("Plant"), true);
    TLonWorksForm view(form.get());
    const QLabel *time = Component<QLabel>(view, "TimePnl");
    Tick(*form, TSiteController::ClockTicks - 1);
    QCOMPARE(time->text(), QStringLiteral("Local Time:"));
    Tick(*form);
    const QString text = time->text();
    QVERIFY2(QRegularExpression(QStringLiteral("^Local Time: (0[1-9]|1[0-2]):[0-5][0-9]:[0-5][0-9] (am|pm)$"))
                 .match(text)
                 .hasMatch(),
             qPrintable(text));
    QCOMPARE(form->TickCount(), 0);
}

QTEST_MAIN(TestSiteFormConnect)
#include "tst_site_form_connect.moc"
