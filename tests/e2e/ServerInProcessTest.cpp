// The server's parts in one process, without a bus: the site registry (site list, timer
// ticks), the main window (caption, menu, site windows, close warning), the driver
// object's reading of Connect and Setup, start-mode switches and the translation of bus
// variants.

#include "automation/BusVariant.h"
#include "site/DriverLimits.h"
#include "automation/MainForm.h"
#include "automation/QelLonWorksCom.h"
#include "automation/SiteRegistry.h"
#include "automation/StartMode.h"
#include "site/LonWorksForm.h"
#include "site/SiteTestHook.h"

#include <QCheckBox>
#include <QDBusArgument>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <memory>
#include <vector>
#include <stdexcept>

namespace {

// A site that counts its ticks; one of them may throw on every tick.
class TCountingSite : public TSiteController
{
public:
    TCountingSite(bool throws, QObject *parent) : TSiteController(parent), FThrows(throws) {}
    void ProcessTick() override
    {
        ++FTicks;
        if (FThrows)
            throw std::runtime_error("tick failed");
    }
    int FTicks = 0;
    bool FThrows;
};

// A registry whose sites count their ticks; the second site made throws on every tick.
class TCountingRegistry : public TSiteRegistry
{
public:
    QList<TCountingSite *> FSites;

    // Makes a site for each Description.
    void MakeSites(const QStringList &descriptions)
    {
        for (const QString &description : descriptions) {
            TSite site;
            site.Description = description;
            FindOrCreateSite(site);
        }
    }

protected:
    TSiteController *NewSite() override
    {
        FSites.append(new TCountingSite(FSites.size() == 1, this));
        return FSites.constLast();
    }
};

std::unique_ptr<TQelLonWorksCom> ConnectedDriver(TSiteRegistry &registry, const QStringList &request)
{
    auto driver = std::make_unique<TQelLonWorksCom>(&registry);
    if (!driver->Setup(QStringLiteral("VERSIONCHECK=1.8")) || !driver->Connect(request))
        return nullptr;
    return driver;
}

} // namespace

class ServerInProcessTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void captionAndMenu()
    {
        TSiteRegistry registry;
        TMainForm main(&registry);
        QCOMPARE(main.windowTitle(), QStringLiteral("LonWorks Network Driver V1.80"));
        QCOMPARE(QGuiApplication::applicationDisplayName(), main.windowTitle());
        const QList<QAction *> menus = main.menuBar()->actions();
        QCOMPARE(menus.size(), 1);
        QCOMPARE(menus.first()->text(), QStringLiteral("&File"));
        const QList<QAction *> items = menus.first()->menu()->actions();
        QCOMPARE(items.size(), 1);
        QCOMPARE(items.first()->text(), QStringLiteral("E&xit"));
        QCOMPARE(registry.ProcessTimer()->interval(), 100);
        QCOMPARE(main.DelayTimer()->interval(), 1000);
        QCOMPARE(registry.FirstFreeServerSlot(), 0);
    }

    void connectReadsSettings_data()
    {
        QTest::addColumn<QStringList>("request");
        QTest::addColumn<QString>("property");
        QTest::addColumn<QVariant>("expected");
        const QString base = QStringLiteral("OFFLINE=TRUE");
        QTest::newRow("FP1 2.9") << QStringList{base, "FP1=2.9"} << "Dom0Subnet" << QVariant(2);
        QTest::newRow("FP1 -0.5") << QStringList{base, "FP1=-0.5"} << "Dom0Subnet" << QVariant(0);
        QTest::newRow("FP1 257") << QStringList{base, "FP1=257"} << "Dom0Subnet" << QVariant(1);
        QTest::newRow("FP2 -1") << QStringList{base, "FP2=-1"} << "Dom1Subnet" << QVariant(255);
        QTest::newRow("IP1 300") << QStringList{base, "IP1=300"} << "Dom0Node" << QVariant(44);
        QTest::newRow("IP2 hex") << QStringList{base, "IP2=$1F"} << "Dom1Node" << QVariant(31);
        QTest::newRow("SP1 absent") << QStringList{base} << "LonDeviceName" << QVariant("LON1");
        QTest::newRow("SP1 empty") << QStringList{base, "SP1="} << "LonDeviceName" << QVariant("LON1");
        QTest::newRow("SP1 given") << QStringList{base, "SP1=LON2"} << "LonDeviceName" << QVariant("LON2");
        QTest::newRow("BP1 lower case") << QStringList{base, "BP1=true"} << "TempsInF" << QVariant(false);
        QTest::newRow("remote by default") << QStringList{base} << "IsRemoteClient" << QVariant(true);
        QTest::newRow("LOCALCLIENT=TRUE") << QStringList{base, "LOCALCLIENT=TRUE"} << "IsRemoteClient"
                                          << QVariant(false);
        QTest::newRow("LOCALCLIENT=FALSE") << QStringList{base, "LOCALCLIENT=FALSE"} << "IsRemoteClient"
                                           << QVariant(true);
    }

    void connectReadsSettings()
    {
        QFETCH(QStringList, request);
        QFETCH(QString, property);
        QFETCH(QVariant, expected);
        TSiteRegistry registry;
        request.append(QStringLiteral("DESCRIPTION=Settings"));
        auto driver = ConnectedDriver(registry, request);
        QVERIFY(driver);
        const QVariant actual = driver->Site().property(property.toLatin1().constData());
        const QString text = actual.userType() == QMetaType::UChar ? QString::number(actual.toUInt())
                                                                   : actual.toString();
        QCOMPARE(text, expected.toString());
        QCOMPARE(driver->Site().ServerIndex, 0);
    }

    void sitesIgnoreLetterCase()
    {
        TSiteRegistry registry;
        TMainForm main(&registry);
        auto first = ConnectedDriver(registry, {"DESCRIPTION=Plant", "OFFLINE=TRUE"});
        auto second = ConnectedDriver(registry, {"DESCRIPTION=PLANT", "OFFLINE=TRUE", "LOCALCLIENT=TRUE"});
        QVERIFY(first && second);
        QCOMPARE(registry.SiteCount(), 1);
        QCOMPARE(first->SiteForm(), second->SiteForm());
        QCOMPARE(registry.FindSite(QStringLiteral("pLaNt")), first->SiteForm());
        // One window for the one site.
        QCOMPARE(main.MdiArea()->subWindowList().size(), 1);
        QPointer<TLonWorksForm> window = qobject_cast<TLonWorksForm *>(main.MdiArea()->subWindowList().first()->widget());
        QVERIFY(window);
        QCOMPARE(window->Site(), first->SiteForm());
        // Only the remote client is counted.
        QCOMPARE(first->SiteForm()->RemoteClientCount(), 1);
        QPointer<TSiteController> form = first->SiteForm();
        first.reset();
        QCOMPARE(form->RemoteClientCount(), 0);
        second.reset();
        // The last client gone, the site releases itself, leaves the site list and its
        // window closes.
        QTRY_VERIFY(form.isNull());
        QCOMPARE(registry.SiteCount(), 0);
        QTRY_VERIFY(window.isNull());
    }

    void unknownSiteWithPanelType()
    {
        TSiteRegistry registry;
        TQelLonWorksCom driver(&registry);
        QVERIFY(driver.Setup(QStringLiteral("VERSIONCHECK=1.8")));
        QVERIFY(!driver.Connect(QStringList{"DESCRIPTION=Panel", "PANELTYPE=3"}));
        QCOMPARE(registry.SiteCount(), 0);
        QCOMPARE(driver.GetValue(QStringLiteral("COMMAND=SITETIME")).toStringList(),
                 (QStringList{"COMMANDSTATUS=FALSE", "", ""}));
    }

    void movingToAnotherSiteLeavesTheFirst()
    {
        TSiteRegistry registry;
        auto driver = ConnectedDriver(registry, {"DESCRIPTION=First", "OFFLINE=TRUE"});
        QVERIFY(driver);
        QPointer<TSiteController> first = driver->SiteForm();
        QVERIFY(driver->Connect(QStringList{"DESCRIPTION=Second", "OFFLINE=TRUE"}));
        QVERIFY(driver->SiteForm() != first);
        QTRY_VERIFY(first.isNull());
        QCOMPARE(registry.SiteCount(), 1);
    }

    // A client that connects while the site's last client is being released gets a new
    // site, not the one on its way out.
    void connectAfterTheLastReleaseGetsANewForm()
    {
        TSiteRegistry registry;
        auto last = ConnectedDriver(registry, {"DESCRIPTION=Leaving", "OFFLINE=TRUE"});
        QVERIFY(last);
        QPointer<TSiteController> leaving = last->SiteForm();
        last.reset();
        QVERIFY(leaving && leaving->IsReleasing());
        QCOMPARE(registry.SiteCount(), 0);
        auto newcomer = ConnectedDriver(registry, {"DESCRIPTION=leaving", "OFFLINE=TRUE"});
        QVERIFY(newcomer);
        QVERIFY(newcomer->SiteForm() != leaving.data());
        QTRY_VERIFY(leaving.isNull());
        QVERIFY(newcomer->SiteForm());
        QCOMPARE(newcomer->GetValue(QStringLiteral("COMMAND=COMMANDSTATUS")).toList().value(0),
                 QVariant(QStringLiteral("COMMANDSTATUS=TRUE")));
        QCOMPARE(registry.SiteCount(), 1);
    }

    void sitesPastTheLimitAreRefused()
    {
        TSiteRegistry registry;
        TMainForm main(&registry);
        std::vector<std::unique_ptr<TQelLonWorksCom>> drivers;
        for (int i = 0; i < 128; ++i) {
            drivers.push_back(ConnectedDriver(registry, {QStringLiteral("DESCRIPTION=Site%1").arg(i), "OFFLINE=TRUE"}));
            QVERIFY(drivers.back());
        }
        TQelLonWorksCom extra(&registry);
        QVERIFY(extra.Setup(QStringLiteral("VERSIONCHECK=1.8")));
        QVERIFY_THROWS_EXCEPTION(TLimitExceeded, extra.Connect(QStringList{"DESCRIPTION=Site128", "OFFLINE=TRUE"}));
        QCOMPARE(registry.SiteCount(), 128);
        // An existing site still takes clients.
        QVERIFY(extra.Connect(QStringList{"DESCRIPTION=Site7", "OFFLINE=TRUE"}));
    }

    // "Waiting for driver..." is the whole answer, with an empty second element, whenever
    // the site cannot take the client's command now.
    void waitingAnswerLayout_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::newRow("another client's command, new command") << "other";
        QTest::newRow("another client's command, status poll") << "other-status";
        QTest::newRow("own command, another keyword") << "own";
        QTest::newRow("site busy, no command") << "busy";
    }

    void waitingAnswerLayout()
    {
        QFETCH(QString, situation);
        TSiteRegistry registry;
        auto first = ConnectedDriver(registry, {"DESCRIPTION=Waiting", "OFFLINE=TRUE"});
        auto second = ConnectedDriver(registry, {"DESCRIPTION=Waiting", "OFFLINE=TRUE"});
        QVERIFY(first && second);
        const QString status = QStringLiteral("COMMAND=COMMANDSTATUS");
        QCOMPARE(second->GetValue(status).toList().value(0), QVariant(QStringLiteral("COMMANDSTATUS=TRUE")));
        QVariant answer;
        if (situation == QLatin1String("busy")) {
            TSiteTestHook::SetBusy(*second->SiteForm(), true);
            answer = second->GetValue(QStringLiteral("COMMAND=SITETIME"));
        } else {
            QCOMPARE(first->GetValue(QStringLiteral("COMMAND=SITETIME")).toStringList().value(0),
                     QStringLiteral("COMMANDSTATUS=Reading Site Time..."));
            if (situation == QLatin1String("own"))
                answer = first->GetValue(QStringLiteral("COMMAND=SITESTATUS"));
            else
                answer = second->GetValue(situation == QLatin1String("other") ? QStringLiteral("COMMAND=SITESTATUS")
                                                                               : status);
        }
        QCOMPARE(answer.userType(), int(QMetaType::QStringList));
        QCOMPARE(answer.toStringList(), (QStringList{"COMMANDSTATUS=Waiting for driver...", ""}));
    }

    // The user checks Block on the site window: every client, including the one whose
    // command was running, is answered LOCKED with the bare text; unchecking frees the site.
    void blockCheckBoxLocksEveryClient()
    {
        TSiteRegistry registry;
        TMainForm main(&registry);
        const QString status = QStringLiteral("COMMAND=COMMANDSTATUS");
        auto first = ConnectedDriver(registry, {"DESCRIPTION=Blocked", "OFFLINE=TRUE"});
        QVERIFY(first);
        QCOMPARE(first->GetValue(status).toList().value(0), QVariant(QStringLiteral("COMMANDSTATUS=TRUE")));
        auto second = ConnectedDriver(registry, {"DESCRIPTION=Blocked", "OFFLINE=TRUE"});
        QVERIFY(second);
        QCOMPARE(second->GetValue(status).toList().value(0), QVariant(QStringLiteral("COMMANDSTATUS=TRUE")));
        const QStringList locked{"COMMANDSTATUS=LOCKED", "locked to one computer"};
        TSiteController *form = first->SiteForm();
        QCheckBox *block = main.MdiArea()->subWindowList().first()->widget()->findChild<QCheckBox *>(
            QStringLiteral("BlockChk"));
        QVERIFY(block);
        QCOMPARE(first->GetValue(QStringLiteral("COMMAND=SITETIME")).toStringList().value(0),
                 QStringLiteral("COMMANDSTATUS=Reading Site Time..."));
        block->click();
        QVERIFY(form->IsBlocked());
        for (TQelLonWorksCom *client : {first.get(), second.get()}) {
            QCOMPARE(client->GetValue(status).toStringList(), locked);
            QCOMPARE(client->GetValue(QStringLiteral("COMMAND=SITESTATUS")).toStringList(), locked);
            QVERIFY(!client->Disconnect(QString()));
        }
        // DEBUGMODE is ignored while blocked, and answers true.
        QVERIFY(first->Setup(QStringLiteral("DEBUGMODE=FALSE")));
        block->click();
        QVERIFY(!form->IsBlocked());
        QCOMPARE(second->GetValue(QStringLiteral("COMMAND=SITESTATUS")).toStringList().value(0),
                 QStringLiteral("COMMANDSTATUS=Reading Site Status..."));
    }

    void closedSiteWindowAnswersAsWithoutForm()
    {
        TSiteRegistry registry;
        TMainForm main(&registry);
        auto driver = ConnectedDriver(registry, {"DESCRIPTION=Closed", "OFFLINE=TRUE"});
        QVERIFY(driver);
        // Not connected any more: the window may be closed.
        QVERIFY(driver->Disconnect(QString()));
        QCOMPARE(driver->GetValue(QStringLiteral("COMMAND=COMMANDSTATUS")).toList().value(0),
                 QVariant(QStringLiteral("COMMANDSTATUS=TRUE")));
        QVERIFY(main.MdiArea()->subWindowList().first()->close());   // the user closed the sub-window
        QCOMPARE(driver->SiteForm(), nullptr);
        QCOMPARE(registry.SiteCount(), 0);
        QCOMPARE(driver->GetValue(QStringLiteral("COMMAND=COMMANDSTATUS")).toStringList(),
                 (QStringList{"COMMANDSTATUS=FALSE", "", ""}));
        QVERIFY(driver->Disconnect(QString()));
        QVERIFY(!driver->Setup(QStringLiteral("DEBUGMODE=TRUE")));
        driver.reset();
    }

    // The bus thread answers status polls from the slot each site publishes: after every
    // pass of the event loop the published slot is the site's own, whatever changed it
    // (a call, a tick, the Block box), and a closed site publishes nothing.
    void publishedStatusFollowsTheSite()
    {
        TSiteRegistry registry;
        TMainForm main(&registry);
        auto driver = ConnectedDriver(registry, {"DESCRIPTION=Published", "OFFLINE=TRUE"});
        QVERIFY(driver);
        TSiteController *site = driver->SiteForm();
        const std::shared_ptr<TSiteStatusBoard> board = site->StatusBoard();
        const auto published = [&board, site] {
            QCoreApplication::processEvents();
            const auto view = board->Current();
            return view && *view == site->CommandSlot().View();
        };
        QVERIFY(published());
        const QString status = QStringLiteral("COMMAND=COMMANDSTATUS");
        QCOMPARE(driver->GetValue(status).toList().value(0), QVariant(QStringLiteral("COMMANDSTATUS=TRUE")));
        QVERIFY(published());
        QCOMPARE(driver->GetValue(QStringLiteral("COMMAND=SITETIME")).toStringList().value(0),
                 QStringLiteral("COMMANDSTATUS=Reading Site Time..."));
        QVERIFY(published());
        QCOMPARE(board->Current()->CommandState, 1);
        for (int tick = 0; tick < 50 && site->CommandSlot().CommandState() == 1; ++tick)
            site->ProcessTick();
        QCOMPARE(site->CommandSlot().CommandState(), 2);
        QVERIFY(published());
        QCheckBox *block = main.MdiArea()->subWindowList().first()->widget()->findChild<QCheckBox *>(
            QStringLiteral("BlockChk"));
        QVERIFY(block);
        block->click();
        QVERIFY(published());
        QVERIFY(board->Current()->Locked);
        block->click();
        QVERIFY(published());
        QVERIFY(!board->Current()->Locked);
        QVERIFY(driver->Disconnect(QString()));
        QCOMPARE(driver->GetValue(status).toList().value(0), QVariant(QStringLiteral("COMMANDSTATUS=TRUE")));
        QVERIFY(main.MdiArea()->subWindowList().first()->close());
        QCOMPARE(board->Current(), nullptr);
    }

    void debugMode_data()
    {
        QTest::addColumn<bool>("visibleBefore");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<bool>("visibleAfter");
        QTest::newRow("TRUE shows") << false << "TRUE" << true;
        QTest::newRow("FALSE hides") << true << "FALSE" << false;
        QTest::newRow("toggle, lower case") << true << "toggle" << false;
        QTest::newRow("TOGGLE shows") << false << "TOGGLE" << true;
        QTest::newRow("YES changes nothing") << true << "YES" << true;
    }

    void debugMode()
    {
        QFETCH(bool, visibleBefore);
        QFETCH(QString, mode);
        QFETCH(bool, visibleAfter);
        TSiteRegistry registry;
        TMainForm main(&registry);
        auto driver = ConnectedDriver(registry, {"DESCRIPTION=Debug", "OFFLINE=TRUE"});
        QVERIFY(driver);
        main.setVisible(visibleBefore);
        QVERIFY(driver->Setup(QStringList{"DEBUGMODE=" + mode, "VERSIONCHECK=9"}));
        QCOMPARE(main.isVisible(), visibleAfter);
    }

    void everySiteTicksOncePerTimerEvent()
    {
        TCountingRegistry registry;
        registry.MakeSites({"A", "B", "C"});
        const QList<TCountingSite *> sites = registry.FSites;
        QCOMPARE(sites.size(), 3);
        QTRY_VERIFY(sites.first()->FTicks >= 3);
        registry.ProcessTimer()->stop();
        // A throwing site neither stops the others nor the timer.
        QCOMPARE(sites.at(1)->FTicks, sites.first()->FTicks);
        QCOMPARE(sites.at(2)->FTicks, sites.first()->FTicks);
    }

    void timerRunsAgainAfterAThrowingTick()
    {
        TCountingRegistry registry;
        registry.MakeSites({"A", "B"});
        TCountingSite *site = registry.FSites.at(1);
        QVERIFY(site->FThrows);
        QTRY_VERIFY(site->FTicks >= 2);
        QVERIFY(registry.ProcessTimer()->isActive());
    }

    void closeWarning()
    {
        TSiteRegistry registry;
        TMainForm main(&registry);
        main.show();
        auto driver = std::make_unique<TQelLonWorksCom>(&registry);
        QVERIFY(!main.close());
        QMessageBox *box = main.findChild<QMessageBox *>();
        QVERIFY(box);
        QVERIFY(box->isVisible());
        QCOMPARE(box->windowTitle(), QStringLiteral("COM Server Warning"));
        QCOMPARE(box->text(),
                 QStringLiteral("There are still active COM objects in this application.  One or more "
                                "clients may have references to these objects, so manually closing "
                                "this application may cause those client application(s) to fail."
                                "\r\n\r\nAre you sure you want to close this application?"));
        QCOMPARE(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(static_cast<QAbstractButton *>(box->defaultButton()), box->button(QMessageBox::No));
        box->button(QMessageBox::No)->click();
        QVERIFY(main.isVisible());
        driver.reset();
    }

    void startOptions_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QStringList>("qtArguments");
        const int standalone = int(TStartMode::Standalone);
        QTest::newRow("none") << QStringList{"prog"} << standalone << QStringList{"prog"};
        QTest::newRow("/regserver") << QStringList{"prog", "/regserver"} << int(TStartMode::RegServer)
                                    << QStringList{"prog"};
        QTest::newRow("-UnRegServer") << QStringList{"prog", "-UnRegServer"}
                                      << int(TStartMode::UnregServer) << QStringList{"prog"};
        QTest::newRow("/Embedding") << QStringList{"prog", "/Embedding"} << int(TStartMode::Embedding)
                                    << QStringList{"prog"};
        QTest::newRow("-AUTOMATION, Qt option")
            << QStringList{"prog", "-platform", "offscreen", "-AUTOMATION"}
            << int(TStartMode::Automation) << QStringList{"prog", "-platform", "offscreen"};
        QTest::newRow("no prefix") << QStringList{"prog", "embedding"} << standalone
                                   << QStringList{"prog", "embedding"};
    }

    void startOptions()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, mode);
        QFETCH(QStringList, qtArguments);
        const TStartOptions options = ParseStartOptions(arguments);
        QCOMPARE(int(options.Mode), mode);
        QCOMPARE(options.QtArguments, qtArguments);
    }

    void requestsFromBus_data()
    {
        QTest::addColumn<QVariant>("in");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QVariant>("request");
        QTest::newRow("s") << QVariant("COMMAND=X") << true << QVariant("COMMAND=X");
        QTest::newRow("as") << QVariant(QStringList{"A=1", "B=2"}) << true
                            << QVariant(QStringList{"A=1", "B=2"});
        QTest::newRow("number") << QVariant(5) << true << QVariant(5);
        QTest::newRow("bytes") << QVariant(QByteArray("A=1")) << false << QVariant();
        QTest::newRow("map") << QVariant(QVariantMap{{"A", 1}}) << false << QVariant();
    }

    void requestsFromBus()
    {
        QFETCH(QVariant, in);
        QFETCH(bool, accepted);
        QFETCH(QVariant, request);
        QVariant out;
        QCOMPARE(RequestFromBus(QDBusVariant(in), out), accepted);
        if (accepted)
            QCOMPARE(out, request);
    }

    void answersToBus()
    {
        const QVariant list = AnswerToBus(QVariantList{"A=1", QVariant(), 3}).variant();
        QCOMPARE(list.userType(), int(QMetaType::QVariantList));
        QCOMPARE(list.toList(), (QVariantList{"A=1", QString(), 3}));
        QCOMPARE(AnswerToBus(QByteArray("\x01\x02", 2)).variant(), QVariant(QByteArray("\x01\x02", 2)));
        QCOMPARE(AnswerToBus(QStringList{"A"}).variant(), QVariant(QStringList{"A"}));
    }
};

QTEST_MAIN(ServerInProcessTest)
#include "ServerInProcessTest.moc"
