// One client against a running driver: the version handshake, connecting online and
// offline, a job's life through COMMANDSTATUS polls, SITESTATUS, SITETIME, POINTVERIFY,
// answer shapes, malformed requests and calls from a foreign connection.

#include "DriverClient.h"
#include "DriverProcess.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QtTest>

class DriverSessionTest : public QObject
{
    Q_OBJECT

private:
    TDriverProcess FDriver;

    static QStringList Result(const QStringList &answer) { return answer.mid(3); }

private Q_SLOTS:
    void initTestCase()
    {
        QLocale::setDefault(QLocale::c());
        QVERIFY2(FDriver.Start(), "lonworks-driver did not take its bus name");
    }

    void cleanupTestCase() { FDriver.Stop(); }

    void versionHandshake_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<bool>("setupAnswer");
        QTest::addColumn<bool>("connectAnswer");
        QTest::newRow("1.8") << "1.8" << true << true;
        QTest::newRow("1.805") << "1.805" << true << true;
        QTest::newRow("1.795") << "1.795" << true << true;
        QTest::newRow("1.81") << "1.81" << false << false;
        QTest::newRow("2") << "2" << false << false;
        QTest::newRow("not a number") << "abc" << true << false;
    }

    void versionHandshake()
    {
        QFETCH(QString, version);
        QFETCH(bool, setupAnswer);
        QFETCH(bool, connectAnswer);
        TDriverClient client;
        QVERIFY(client.Create());
        const QStringList connect{QStringLiteral("DESCRIPTION=Handshake"), QStringLiteral("OFFLINE=TRUE")};
        QVERIFY(!client.Connect(connect));
        QCOMPARE(client.Setup(QString(QStringLiteral("VERSIONCHECK=") + version)), setupAnswer);
        QCOMPARE(client.Connect(connect), connectAnswer);
        QVERIFY(!client.LastError().isValid());
    }

    void getValueBeforeConnect()
    {
        TDriverClient client;
        QVERIFY(client.Create());
        const QVariant answer = client.GetValue(QStringLiteral("COMMAND=SITETIME"));
        QCOMPARE(answer.userType(), int(QMetaType::QStringList));
        QCOMPARE(answer.toStringList(), (QStringList{"COMMANDSTATUS=FALSE", "", ""}));
        QVERIFY(!client.Setup(QStringLiteral("DEBUGMODE=TRUE")));
        QVERIFY(client.Disconnect());
    }

    void connect_data()
    {
        QTest::addColumn<QStringList>("request");
        QTest::newRow("online, SP1 absent") << QStringList{"DESCRIPTION=Online A"};
        QTest::newRow("online, SP1=LON1") << QStringList{"DESCRIPTION=Online B", "SP1=LON1"};
        QTest::newRow("online, SP1 empty") << QStringList{"DESCRIPTION=Online C", "SP1="};
        QTest::newRow("offline") << QStringList{"DESCRIPTION=Offline A", "OFFLINE=TRUE"};
        QTest::newRow("offline, unknown interface")
            << QStringList{"DESCRIPTION=Offline B", "OFFLINE=TRUE", "SP1=NOSUCH"};
    }

    void connect()
    {
        QFETCH(QStringList, request);
        TDriverClient client;
        QVERIFY(client.Open(request));
        const QStringList answer = client.WaitForStatus();
        QCOMPARE(answer, (QStringList{"COMMANDSTATUS=TRUE", "COMMAND=COMMANDSTATUS", "", ""}));
        // Collected: the slot is free again.
        QCOMPARE(client.Get(QStringLiteral("COMMAND=COMMANDSTATUS")),
                 (QStringList{"COMMANDSTATUS=FALSE", ""}));
    }

    void connectUnknownInterface()
    {
        TDriverClient client;
        QVERIFY(client.Open({"DESCRIPTION=Nowhere", "SP1=NOSUCH"}));
        const QStringList answer = client.Get(QStringLiteral("COMMAND=COMMANDSTATUS"));
        QCOMPARE(answer.size(), 2);
        QCOMPARE(answer.at(0), QStringLiteral("COMMANDSTATUS=FALSE"));
        const QString prefix = QStringLiteral(
            "COMMANDERROR=Could not connect to the LonWorks Interface named \"NOSUCH\"...Error #");
        QVERIFY2(answer.at(1).startsWith(prefix), qPrintable(answer.at(1)));
        bool isNumber = false;
        const int status = answer.at(1).mid(prefix.size()).toInt(&isNumber);
        QVERIFY(isNumber);
        QVERIFY(status != 0);
    }

    void jobLife()
    {
        TDriverClient client;
        QVERIFY(client.Open({"DESCRIPTION=Job life", "OFFLINE=TRUE"}));
        QVERIFY(TDriverClient::IsFinal(client.WaitForStatus()));

        const QString progress = QStringLiteral("COMMANDSTATUS=Reading Site Time...");
        QCOMPARE(client.Get(QStringLiteral("COMMAND=SITETIME")), (QStringList{progress, ""}));
        QStringList answer;
        for (int poll = 0; poll < 200; ++poll) {
            answer = client.Get(QStringLiteral("COMMAND=COMMANDSTATUS"));
            if (TDriverClient::IsFinal(answer))
                break;
            QCOMPARE(answer, (QStringList{progress, ""}));
            // Another keyword from the holder of the slot only waits.
            QCOMPARE(client.Get(QStringLiteral("COMMAND=SITESTATUS")).first(),
                     QStringLiteral("COMMANDSTATUS=Waiting for driver..."));
            SpinEvents(20);
        }
        QCOMPARE(answer.mid(0, 3), (QStringList{"COMMANDSTATUS=TRUE", "COMMAND=COMMANDSTATUS", ""}));
        QCOMPARE(answer.size(), 5);
        QVERIFY2(answer.at(3).startsWith(QStringLiteral("SITETIME=")), qPrintable(answer.at(3)));
        QVERIFY(answer.at(3).size() > 9);
        QCOMPARE(answer.at(4), QString());
        QCOMPARE(client.Get(QStringLiteral("COMMAND=COMMANDSTATUS")),
                 (QStringList{"COMMANDSTATUS=FALSE", ""}));
    }

    void pipelinedStatusAnsweredAfterTheCallBeforeIt()
    {
        // A client that sends its status poll without waiting for the command before it
        // gets the poll answered after that command: the job is under way, not "FALSE".
        TDriverClient client;
        QVERIFY(client.Open({"DESCRIPTION=Pipelined", "OFFLINE=TRUE"}));
        QVERIFY(TDriverClient::IsFinal(client.WaitForStatus()));
        const auto firstText = [](const QDBusPendingCall &call) {
            return call.reply().arguments().value(0).value<QDBusVariant>().variant().toStringList().value(0);
        };
        const auto getValue = [&client](const QString &request) {
            QDBusMessage call = QDBusMessage::createMethodCall(
                TDriverClient::BusName, client.Path(), QStringLiteral("QelDevice.IQelDeviceDriver"),
                QStringLiteral("GetValue"));
            call.setArguments({QVariant::fromValue(QDBusVariant(QStringList{request}))});
            return client.Bus().asyncCall(call);
        };
        for (int round = 0; round < 20; ++round) {
            QDBusPendingCall started = getValue(QStringLiteral("COMMAND=SITETIME"));
            QDBusPendingCall polled = getValue(QStringLiteral("COMMAND=COMMANDSTATUS"));
            started.waitForFinished();
            polled.waitForFinished();
            QCOMPARE(firstText(started), QStringLiteral("COMMANDSTATUS=Reading Site Time..."));
            QCOMPARE(firstText(polled), QStringLiteral("COMMANDSTATUS=Reading Site Time..."));
            QCOMPARE(client.WaitForStatus().value(0), QStringLiteral("COMMANDSTATUS=TRUE"));
        }
    }

    void answerIsVariantArray()
    {
        TDriverClient client;
        QVERIFY(client.Open({"DESCRIPTION=Shapes", "OFFLINE=TRUE"}));
        const QVariant answer = client.GetValue(QStringLiteral("COMMAND=COMMANDSTATUS"));
        QCOMPARE(answer.userType(), int(QMetaType::QVariantList));
        for (const QVariant &element : answer.toList())
            QCOMPARE(element.userType(), int(QMetaType::QString));
        QCOMPARE(client.GetValue(QStringLiteral("COMMAND=COMMANDSTATUS")).userType(),
                 int(QMetaType::QStringList));
    }

    void unknownCommandsFail_data()
    {
        QTest::addColumn<QVariant>("request");
        QTest::addColumn<QStringList>("answer");
        QTest::newRow("lower-case keyword") << QVariant(QStringLiteral("COMMAND=sitetime"))
                                            << QStringList{"COMMANDSTATUS=FALSE", ""};
        QTest::newRow("no COMMAND") << QVariant(QStringLiteral("DESCRIPTION=x"))
                                    << QStringList{"COMMANDSTATUS=FALSE", ""};
        QTest::newRow("unused job code 11") << QVariant(QStringLiteral("COMMAND=DISCONNECT"))
                                            << QStringList{"COMMANDSTATUS=FALSE", ""};
    }

    void unknownCommandsFail()
    {
        QFETCH(QVariant, request);
        QFETCH(QStringList, answer);
        TDriverClient client;
        QVERIFY(client.Open({"DESCRIPTION=Unknown commands", "OFFLINE=TRUE"}));
        QVERIFY(TDriverClient::IsFinal(client.WaitForStatus()));
        QCOMPARE(client.Get(request), answer);
    }

    void numbersInVariantList()
    {
        TDriverClient client;
        QVERIFY(client.Open({"DESCRIPTION=Numbers", "OFFLINE=TRUE"}));
        QVERIFY(TDriverClient::IsFinal(client.WaitForStatus()));
        const QVariantList request{QStringLiteral("COMMAND=SITETIME"), 42, 2.5};
        QCOMPARE(client.Get(request).first(), QStringLiteral("COMMANDSTATUS=Reading Site Time..."));
        QCOMPARE(client.WaitForStatus().first(), QStringLiteral("COMMANDSTATUS=TRUE"));
    }

    void malformedRequests_data()
    {
        QTest::addColumn<QVariant>("request");
        QTest::newRow("array of integers") << QVariant::fromValue(QList<int>{1, 2});
        QTest::newRow("dictionary") << QVariant::fromValue(QMap<QString, QString>{{"a", "b"}});
        QTest::newRow("nested list")
            << QVariant(QVariantList{QVariant(QStringList{"COMMAND=SITETIME"})});
        QTest::newRow("bytes") << QVariant(QByteArray("COMMAND=SITETIME"));
    }

    void malformedRequests()
    {
        QFETCH(QVariant, request);
        qDBusRegisterMetaType<QMap<QString, QString>>();
        TDriverClient client;
        QVERIFY(client.Open({"DESCRIPTION=Malformed", "OFFLINE=TRUE"}));
        QVERIFY(TDriverClient::IsFinal(client.WaitForStatus()));
        QCOMPARE(client.Get(request), (QStringList{"COMMANDSTATUS=FALSE", "", ""}));
        QCOMPARE(client.Put(request), (QStringList{"COMMANDSTATUS=FALSE", "", ""}));
        QVERIFY(!client.Setup(request));
        QVERIFY(!client.Connect(request));
        QVERIFY(!client.LastError().isValid());
        // The object and the process carry on.
        QVERIFY(client.Setup(QStringLiteral("VERSIONCHECK=1.8")));
    }

    void putValue_data()
    {
        QTest::addColumn<QString>("command");
        QTest::newRow("SENDDATA") << "COMMAND=SENDDATA";
        QTest::newRow("no command") << "DESCRIPTION=x";
    }

    void putValue()
    {
        QFETCH(QString, command);
        TDriverClient client;
        QVERIFY(client.Create());
        QCOMPARE(client.Put(command), (QStringList{"COMMANDSTATUS=FALSE", "", ""}));
        QVERIFY(client.Open({"DESCRIPTION=Put", "OFFLINE=TRUE"}));
        QCOMPARE(client.Put(command), (QStringList{"COMMANDSTATUS=FALSE", "", ""}));
    }

    void siteStatusOnline()
    {
        TDriverClient client;
        QVERIFY(client.Open({"DESCRIPTION=Status online", "SP2=01:02:03", "IP1=5", "FP1=3.7"}));
        QCOMPARE(client.WaitForStatus().first(), QStringLiteral("COMMANDSTATUS=TRUE"));
        const QStringList answer = client.Run({"COMMAND=SITESTATUS"});
        QCOMPARE(answer.first(), QStringLiteral("COMMANDSTATUS=TRUE"));
        const QStringList lines = Result(answer);
        QCOMPARE(lines.size(), 17);
        QCOMPARE(lines.at(0), QStringLiteral("Site: Status online"));
        QCOMPARE(lines.at(1), QString());
        QVERIFY(lines.at(2).startsWith(QStringLiteral("Date: ")));
        QVERIFY(lines.at(3).startsWith(QStringLiteral("Time: ")));
        QVERIFY(lines.at(3).endsWith(QStringLiteral("am")) || lines.at(3).endsWith(QStringLiteral("pm")));
        QVERIFY(lines.at(5).startsWith(QStringLiteral("Library Version: ")));
        QVERIFY(lines.at(7).startsWith(QStringLiteral("LON Device Name: ")));
        QVERIFY(lines.at(8).startsWith(QStringLiteral("ID String: ")));
        QVERIFY(lines.at(9).startsWith(QStringLiteral("Neuron ID: ")));
        QCOMPARE(lines.at(9).size(), QStringLiteral("Neuron ID: ").size() + 6 * 3);
        QVERIFY(lines.at(10).startsWith(QStringLiteral("Model #: ")));
        QCOMPARE(lines.at(11), QStringLiteral("Domain 0 ID: [01 02 03 ]"));
        QCOMPARE(lines.at(12), QStringLiteral("Domain 0 Subnet: 3"));
        QCOMPARE(lines.at(13), QStringLiteral("Domain 0 Node: 5"));
        QVERIFY(lines.at(14).startsWith(QStringLiteral("Domain 1 ID: [")));
    }

    void siteStatusOffline()
    {
        TDriverClient client;
        QVERIFY(client.Open({"DESCRIPTION=Status offline", "OFFLINE=TRUE"}));
        QVERIFY(TDriverClient::IsFinal(client.WaitForStatus()));
        const QStringList answer = client.Run({"COMMAND=SITESTATUS"});
        QCOMPARE(answer, (QStringList{"COMMANDSTATUS=TRUE", "COMMAND=COMMANDSTATUS", "",
                                      "Status offline", "Offline"}));
    }

    void siteTime()
    {
        TDriverClient client;
        QVERIFY(client.Open({"DESCRIPTION=Time", "OFFLINE=TRUE"}));
        QVERIFY(TDriverClient::IsFinal(client.WaitForStatus()));
        const QStringList first = client.Run({"COMMAND=SITETIME"});
        const QStringList second = client.Run({"COMMAND=SITETIME"});
        QCOMPARE(first.size(), 5);
        QCOMPARE(second.size(), 5);
        QVERIFY(first.at(3).startsWith(QStringLiteral("SITETIME=")));
        QVERIFY(second.at(3).startsWith(QStringLiteral("SITETIME=")));
    }

    void pointVerify_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("error");
        const QString invalid =
            QStringLiteral("Invalid Point Address. See the help file for proper formatting.");
        QTest::newRow("valid") << "0:1:1:0:0:0:0:0" << "";
        QTest::newRow("valid, hex subnet") << "0:$0A:1:0:0:0:0:0" << "";
        QTest::newRow("valid, bounds") << "1:255:127:4095:225:255:13:225,2.5,D-Pump1" << "";
        QTest::newRow("seven fields") << "0:1:1:0:0:0:0" << invalid;
        QTest::newRow("colon in field 8") << "0:1:1:0:0:0:0:0:9" << invalid;
        QTest::newRow("empty") << "" << invalid;
        QTest::newRow("domain") << "2:1:1:0:0:0:0:0" << "Domain# in field 1 must be 0 or 1.";
        QTest::newRow("subnet") << "0:0:1:0:0:0:0:0" << "Subnet# in field 2 must be between 1 and 255.";
        QTest::newRow("node 0") << "0:1:0:0:0:0:0:0" << "Node# in field 3 must be between 1 and 127.";
        QTest::newRow("node 128") << "0:1:128:0:0:0:0:0" << "Node# in field 3 must be between 1 and 127.";
        QTest::newRow("index") << "0:1:1:4096:0:0:0:0"
                               << "Variable Index in field 4 must be between 0 and 4095.";
        QTest::newRow("snvt") << "0:1:1:0:226:0:0:0"
                              << "SNVT Type in field 5 must be between 0 and 225 (0=custom).";
        QTest::newRow("offset") << "0:1:1:0:0:256:0:0"
                                << "Variable Offset in field 6 must be between 0 and 255.";
        QTest::newRow("type") << "0:1:1:0:0:0:14:0"
                              << "Variable Type in field 7 must be between 0 and 13.";
        QTest::newRow("parameter") << "0:1:1:0:0:0:0:226"
                                   << "Parameter in field 8 must be between 0 and 225.";
    }

    void pointVerify()
    {
        QFETCH(QString, address);
        QFETCH(QString, error);
        TDriverClient client;
        QVERIFY(client.Open({"DESCRIPTION=Verify", "OFFLINE=TRUE"}));
        QVERIFY(TDriverClient::IsFinal(client.WaitForStatus()));
        QCOMPARE(client.Get(QStringList{"COMMAND=POINTVERIFY", "POINTNAME=Supply Temp",
                                        "POINTADDRESS=" + address}),
                 (QStringList{"COMMANDSTATUS=Verifying Point Address...", ""}));
        const QStringList answer = client.WaitForStatus();
        if (error.isEmpty())
            QCOMPARE(answer, (QStringList{"COMMANDSTATUS=TRUE", "COMMAND=COMMANDSTATUS", "",
                                          "POINTNAME=Supply Temp", "POINTADDRESS=" + address, ""}));
        else
            QCOMPARE(answer, (QStringList{"COMMANDSTATUS=FALSE", "COMMANDERROR=" + error}));
    }

    void foreignConnectionRefused()
    {
        TDriverClient owner;
        QVERIFY(owner.Open({"DESCRIPTION=Owned", "OFFLINE=TRUE"}));
        QDBusConnection other = QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                                              QStringLiteral("foreign"));
        QVERIFY(other.isConnected());
        {
            TDriverClient foreign(other);
            foreign.Attach(owner.Path());
            QVERIFY(!foreign.Setup(QStringLiteral("VERSIONCHECK=1.8")));
            QCOMPARE(foreign.LastError().type(), QDBusError::AccessDenied);
            foreign.GetValue(QStringLiteral("COMMAND=COMMANDSTATUS"));
            QCOMPARE(foreign.LastError().type(), QDBusError::AccessDenied);
            QVERIFY(!foreign.Release());
            QCOMPARE(foreign.LastError().type(), QDBusError::AccessDenied);
        }
        QDBusConnection::disconnectFromBus(QStringLiteral("foreign"));
        // The owner's object is untouched.
        QCOMPARE(owner.WaitForStatus().first(), QStringLiteral("COMMANDSTATUS=TRUE"));
    }

    void releasedObjectIsGone()
    {
        TDriverClient client;
        QVERIFY(client.Create());
        QVERIFY(client.Release());
        client.Setup(QStringLiteral("VERSIONCHECK=1.8"));
        QCOMPARE(client.LastError().type(), QDBusError::UnknownObject);
    }

    void unknownMethod()
    {
        QDBusMessage call = QDBusMessage::createMethodCall(
            TDriverClient::BusName, TDriverClient::FactoryPath,
            QStringLiteral("QelLonWorks.ClassFactory"), QStringLiteral("Destroy"));
        const QDBusMessage reply = QDBusConnection::sessionBus().call(call);
        QCOMPARE(reply.type(), QDBusMessage::ErrorMessage);
        QCOMPARE(QDBusError(reply).type(), QDBusError::UnknownMethod);
    }
};

QTEST_GUILESS_MAIN(DriverSessionTest)
#include "DriverSessionTest.moc"
