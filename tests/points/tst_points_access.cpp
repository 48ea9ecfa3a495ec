// Single point commands against the simulated POINTS network: POINTGETVALUE, the disabled
// state of device objects (POINTGETDISABLED), and POINTMODIFY with its request text, its
// ordinary and object writes, read back from the device.
#include "PointsFixture.h"

#include "site/DeviceObject.h"
#include "site/PointModifyRequest.h"

#include <QPointer>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

class TestPointsAccess : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void pointGetValue_data();
    void pointGetValue();
    void pointGetValueOnOfflineSiteFails();
    void pointGetDisabled_data();
    void pointGetDisabled();
    void parsePointModify_data();
    void parsePointModify();
    void deviceObjects_data();
    void deviceObjects();
    void objectCommandValue_data();
    void objectCommandValue();
    void pointModify_data();
    void pointModify();
    void pointModifyThatCannotBeEncoded_data();
    void pointModifyThatCannotBeEncoded();
    void pointModifyOnOfflineSiteFails();
    void answerOfAnotherVariableFails();
    void disconnectDuringAJobStillClosesTheInterface();
    void lastClientLeavingDuringAJobFreesTheFormAfterIt();
    void clientArrivingDuringAJobKeepsTheForm();

private:
    QTemporaryDir FDir;
};

void TestPointsAccess::initTestCase()
{
    QVERIFY2(TPointsSite::Prepare(FDir), qPrintable(LDV32::ErrorText()));
}

void TestPointsAccess::pointGetValue_data()
{
    QTest::addColumn<QString>("point");
    QTest::addColumn<QString>("value");   // empty: the command fails
    QTest::newRow("SNVT 105") << "{T}{0:1:10:0:105:0:3:105}" << "21.5000";
    QTest::newRow("scaled byte") << "{B}{0:1:10:1:0:1:0:0,0.5}" << "4.0000";
    QTest::newRow("text") << "{X}{0:1:10:3:36:0:5:31}" << "hello";
    QTest::newRow("status point, device answers") << "{S}{0:1:10:0:0:0:0:0,0,D-X1}" << "1";
    QTest::newRow("status point, silent device") << "{S}{0:1:12:0:0:0:0:0,0,D-X1}" << "0";
    QTest::newRow("silent device") << "{D}{0:1:12:0:0:0:2:0}" << "";
    QTest::newRow("malformed address") << "{M}{0:1:10:0:0:0:2}" << "";
    QTest::newRow("domain 2") << "{M}{2:1:10:0:0:0:2:0}" << "";
    QTest::newRow("no address") << "{M}" << "";
}

void TestPointsAccess::pointGetValue()
{
    QFETCH(QString, point);
    QFETCH(QString, value);
    TPointsSite site;
    const int state = site.Run(jobPointGetValue, {"COMMAND=POINTGETVALUE", "POINT=" + point});
    if (value.isEmpty()) {
        QCOMPARE(state, 3);
        QCOMPARE(site.Controller->CommandSlot().ErrorText(), QStringLiteral("Could not read data from panel."));
        return;
    }
    QCOMPARE(state, 2);
    QCOMPARE(site.Controller->CommandSlot().ResultData().toStringList(), (QStringList{"VALUE=" + value, QString()}));
    QVERIFY(site.Controller->CommandSlot().ErrorText().isEmpty());
}

void TestPointsAccess::pointGetValueOnOfflineSiteFails()
{
    auto form = MakeSite(QStringLiteral("Offline"), true);
    TTestClient client;
    QVERIFY(Attach(*form, client));
    form->ReleaseCommand(&client);
    QVERIFY(RunCommand(*form, client, jobPointGetValue, {"POINT={S}{0:1:10:0:0:0:0:0,0,D-X1}"}));
    QCOMPARE(form->CommandSlot().CommandState(), 3);
    QCOMPARE(form->CommandSlot().ErrorText(), QStringLiteral("Could not read data from panel."));
}

void TestPointsAccess::pointGetDisabled_data()
{
    // Variable 22 of the panel: 40 00 00 00 00 00 00 04 00 00 10.
    QTest::addColumn<QString>("object");
    QTest::addColumn<QString>("answer");   // empty: the command fails
    QTest::newRow("V1: bit 0") << "0:1:10:0:0:0:0:0,0,D-V1" << "DISABLED=FALSE";
    QTest::newRow("V2: bit 1") << "0:1:10:0:0:0:0:0,0,D-V2" << "DISABLED=TRUE";
    QTest::newRow("i12: bit 61") << "0:1:10:0:0:0:0:0,0,D-i12" << "DISABLED=TRUE";
    QTest::newRow("O1: bit 62") << "0:1:10:0:0:0:0:0,0,D-O1" << "DISABLED=FALSE";
    QTest::newRow("P10: bit 83") << "0:1:10:0:0:0:0:0,0,D-P10" << "DISABLED=TRUE";
    QTest::newRow("P9: bit 82") << "0:1:10:0:0:0:0:0,0,D-P9" << "DISABLED=FALSE";
    QTest::newRow("C1") << "0:1:10:0:0:0:0:0,0,D-C1" << "";
    QTest::newRow("V51") << "0:1:10:0:0:0:0:0,0,D-V51" << "";
    QTest::newRow("V0") << "0:1:10:0:0:0:0:0,0,D-V0" << "";
    QTest::newRow("V1x") << "0:1:10:0:0:0:0:0,0,D-V1x" << "";
    QTest::newRow("no object") << "0:1:10:0:0:0:0:0" << "";
    QTest::newRow("silent device") << "0:1:12:0:0:0:0:0,0,D-V1" << "";
}

void TestPointsAccess::pointGetDisabled()
{
    QFETCH(QString, object);
    QFETCH(QString, answer);
    TPointsSite site;
    const int state = site.Run(jobPointGetDisabled, {"COMMAND=POINTGETDISABLED", "POINT={P}{" + object + "}"});
    if (answer.isEmpty()) {
        QCOMPARE(state, 3);
        QCOMPARE(site.Controller->CommandSlot().ErrorText(), QStringLiteral("Could not modify point."));
        return;
    }
    QCOMPARE(state, 2);
    QCOMPARE(site.Controller->CommandSlot().ResultData().toStringList(), (QStringList{answer, QString()}));
}

void TestPointsAccess::parsePointModify_data()
{
    QTest::addColumn<QString>("point");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("objectValue");
    QTest::newRow("all five") << "{N}{0:1:2:3:0:0:4:0}{VALUE=21.5}{TRUE}{OBJECTVALUE=3}"
                              << "0:1:2:3:0:0:4:0" << "21.5" << 1 << "3";
    QTest::newRow("false, quotes") << "{N}{a}{VALUE=\"Boiler 2\"}{false}{}" << "a" << "Boiler 2" << 0 << "";
    QTest::newRow("maybe") << "{N}{a}{VALUE=}{maybe}{}" << "a" << "" << -1 << "";
    QTest::newRow("no = loses one character") << "{N}{a}{21.5}{}{3}" << "a" << "1.5" << -1 << "";
    QTest::newRow("= inside the value") << "{N}{a}{VALUE=a=b}{}{}" << "a" << "a=b" << -1 << "";
    QTest::newRow("one leading quote") << "{N}{a}{VALUE=\"abc}{}{}" << "a" << "abc" << -1 << "";
    QTest::newRow("text between groups") << "{N} {a}{VALUE=1}{ is TRUE }{}" << "a" << "1" << 1 << "";
    QTest::newRow("two groups only") << "{N}{a}" << "a" << "" << -1 << "";
    QTest::newRow("nothing") << "" << "" << "" << -1 << "";
}

void TestPointsAccess::parsePointModify()
{
    QFETCH(QString, point);
    QFETCH(QString, address);
    QFETCH(QString, value);
    QFETCH(int, state);
    QFETCH(QString, objectValue);
    const TPointModifyRequest request = ParsePointModify(point);
    QCOMPARE(request.Address, address);
    QCOMPARE(request.Value, value);
    QCOMPARE(request.StateFlag, state);
    QCOMPARE(request.ObjectValue, objectValue);
}

void TestPointsAccess::deviceObjects_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("disabledBit");
    QTest::addColumn<int>("stateBit");
    QTest::newRow("V1") << "V1" << true << 0 << 0;
    QTest::newRow("v50") << "v50" << true << 49 << 49;
    QTest::newRow("C12") << "C12" << true << -1 << 61;
    QTest::newRow("I12") << "I12" << true << 61 << 73;
    QTest::newRow("O12") << "O12" << true << 73 << 85;
    QTest::newRow("P10") << "P10" << true << 83 << 0;
    QTest::newRow("C51") << "C51" << false << 0 << 0;
    QTest::newRow("P11") << "P11" << false << 0 << 0;
    QTest::newRow("I13") << "I13" << false << 0 << 0;
    QTest::newRow("C268 is not C12") << "C268" << false << 0 << 0;
    QTest::newRow("X1") << "X1" << false << 0 << 0;
    QTest::newRow("empty") << "" << false << 0 << 0;
    QTest::newRow("V") << "V" << false << 0 << 0;
}

void TestPointsAccess::deviceObjects()
{
    QFETCH(QString, name);
    QFETCH(bool, valid);
    QFETCH(int, disabledBit);
    QFETCH(int, stateBit);
    TDeviceObject object;
    QCOMPARE(ParseDeviceObject(name, object), valid);
    if (!valid)
        return;
    QCOMPARE(DisabledBit(object), disabledBit);
    QCOMPARE(StateBit(object), stateBit);
}

void TestPointsAccess::objectCommandValue_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("scale");
    QTest::addColumn<bool>("sent");
    QTest::addColumn<int>("value");
    QTest::newRow("21.5 scale 10") << "21.5" << 10.0 << true << 215;
    QTest::newRow("21.5 unscaled") << "21.5" << 0.0 << true << 21;
    QTest::newRow("-3.9") << "-3.9" << 0.0 << true << -3;
    QTest::newRow("32767.9 truncated") << "32767.9" << 0.0 << true << 32767;
    QTest::newRow("-32768.9 truncated") << "-32768.9" << 0.0 << true << -32768;
    QTest::newRow("ON") << "ON" << 0.0 << true << 1;
    QTest::newRow("no number") << "abc" << 0.0 << true << 0;
    // Values the field cannot hold are not sent as another value.
    QTest::newRow("40000") << "40000" << 0.0 << false << 0;
    QTest::newRow("-40000") << "-40000" << 0.0 << false << 0;
    QTest::newRow("32768 after the scale") << "3276.8" << 10.0 << false << 0;
    QTest::newRow("infinite after the scale") << "1e308" << 1e10 << false << 0;
}

void TestPointsAccess::objectCommandValue()
{
    QFETCH(QString, text);
    QFETCH(double, scale);
    QFETCH(bool, sent);
    QFETCH(int, value);
    qint16 got = 0;
    QCOMPARE(ObjectCommandValue(text, scale, got), sent);
    if (sent)
        QCOMPARE(int(got), value);
}

void TestPointsAccess::pointModify_data()
{
    QTest::addColumn<QString>("point");
    QTest::addColumn<int>("variable");
    QTest::addColumn<QByteArray>("bytes");    // the variable's first bytes after the write
    QTest::addColumn<QString>("stored");
    QTest::newRow("float") << "{F}{0:1:10:5:0:0:4:0}{VALUE=21.5}{}{}" << 5 << QByteArray::fromHex("41AC0000") << "21.5";
    QTest::newRow("scaled") << "{S}{0:1:10:6:0:0:3:0,10}{VALUE=21.5}{}{}" << 6 << QByteArray::fromHex("00D7") << "21.5";
    QTest::newRow("SNVT 105") << "{T}{0:1:10:2:105:0:3:105}{VALUE=22.5}{}{}" << 2 << QByteArray::fromHex("08CA")
                              << "22.5";
    QTest::newRow("bit field") << "{B}{0:1:10:7:0:0:7:240}{VALUE=9}{}{}" << 7 << QByteArray::fromHex("95") << "9";
    QTest::newRow("text") << "{X}{0:1:10:3:36:0:5:31}{VALUE=\"Boiler 2\"}{}{}" << 3 << QByteArray("Boiler 2\0", 9)
                          << "Boiler 2";
    QTest::newRow("switch") << "{W}{0:1:10:4:95:0:2:95}{VALUE=ON}{}{}" << 4 << QByteArray::fromHex("C801") << "TRUE";
    QTest::newRow("object C12") << "{O}{0:1:10:0:0:0:0:0,10,D-C12}{}{TRUE}{OBJECTVALUE=21.5}" << 23
                                << QByteArray::fromHex("010C0100D7") << "21.5";
    QTest::newRow("object C12, present state") << "{O}{0:1:10:0:0:0:0:0,10,D-C12}{}{}{OBJECTVALUE=5}" << 23
                                               << QByteArray::fromHex("010C010032") << "5";
    QTest::newRow("object V1, present state") << "{O}{0:1:10:0:0:0:0:0,,D-V1}{}{x}{OBJECTVALUE=32767}" << 23
                                              << QByteArray::fromHex("0001007FFF") << "32767";
    QTest::newRow("object I12, false") << "{O}{0:1:10:0:0:0:0:0,,D-I12}{}{False}{OBJECTVALUE=-32768}" << 23
                                       << QByteArray::fromHex("020C008000") << "-32768";
}

void TestPointsAccess::pointModify()
{
    QFETCH(QString, point);
    QFETCH(int, variable);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, stored);
    TPointsSite site;
    const QString address = ParsePointModify(point).Address;
    QVERIFY(site.SendPoints({address}));
    Tick(*site.Controller);
    // Locked: the poller leaves the point alone, so the stored value is the written one.
    site.Controller->LockSite(QString());
    TSiteTestHook::Point(*site.Controller, address).FailCount = 3;

    QCOMPARE(site.Run(jobPointModify, {"COMMAND=POINTMODIFY", "POINT=" + point}), 2);
    QVERIFY(site.Controller->CommandSlot().ErrorText().isEmpty());
    QCOMPARE(site.DeviceValue(PanelNode, variable).left(bytes.size()), bytes);
    QCOMPARE(site.Point(address).Value, stored);
    QCOMPARE(site.Point(address).FailCount, 0);
}

void TestPointsAccess::pointModifyThatCannotBeEncoded_data()
{
    QTest::addColumn<QString>("point");
    QTest::addColumn<int>("variable");
    QTest::addColumn<QString>("reason");   // after "Could not modify point. "; empty: none given
    QTest::addColumn<bool>("fetched");     // refused only once the variable's bytes were known
    QTest::newRow("bit value beyond the mask") << "{B}{0:1:10:7:0:0:7:240}{VALUE=16}{}{}" << 7
                                               << "16 does not fit this field: it holds 0 to 15." << false;
    QTest::newRow("field beyond the variable") << "{B}{0:1:10:6:0:1:3:0}{VALUE=1}{}{}" << 6
                                               << "The field needs 2 bytes from offset 1, but the variable has 2."
                                               << true;
    QTest::newRow("variable type 8") << "{B}{0:1:10:6:0:0:8:0}{VALUE=1}{}{}" << 6
                                     << "Variable type 8 (not decoded) is never written." << false;
    QTest::newRow("text too long for the variable") << "{X}{0:1:10:6:0:0:5:31}{VALUE=abc}{}{}" << 6
                                                    << "The field needs 4 bytes from offset 0, but the variable has 2."
                                                    << true;
    QTest::newRow("empty value") << "{F}{0:1:10:5:0:0:4:0}{VALUE=}{}{}" << 5 << "No value was given." << false;
    // A value that does not fit its field is refused, never wrapped, cut or replaced.
    QTest::newRow("setpoint beyond the field") << "{T}{0:1:10:2:105:0:3:0}{VALUE=40000}{}{}" << 2
                                               << "40000 does not fit this field: it holds -32768 to 32767." << false;
    QTest::newRow("setpoint beyond its type") << "{T}{0:1:10:2:105:0:3:105}{VALUE=-300}{}{}" << 2
                                              << u"Value out of range for SNVT_temp_p: -273.17 to 327.66 °C."_s << false;
    QTest::newRow("beyond the field after the scale") << "{S}{0:1:10:6:0:0:3:0,10}{VALUE=5000}{}{}" << 6
                                                      << "5000 does not fit this field: it holds -3276.8 to 3276.7."
                                                      << false;
    QTest::newRow("text longer than the field")
        << "{X}{0:1:10:3:36:0:5:31}{VALUE=ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmn}{}{}" << 3
        << "The text has 40 characters; this field holds at most 30." << false;
    QTest::newRow("character without a Windows-1252 byte") << u"{X}{0:1:10:3:36:0:5:31}{VALUE=5 \u03A9}{}{}"_s << 3
                                                           << u"The character \"\u03A9\" (U+03A9) has no Windows-1252 "
                                                              "byte: only Windows-1252 characters can be written."_s
                                                           << false;
    QTest::newRow("invalid UTF-8") << QString::fromUtf8("{X}{0:1:10:3:36:0:5:31}{VALUE=ab\xff\xfe" "cd}{}{}") << 3
                                   << "The text holds U+FFFD, the mark of bytes that were not valid UTF-8: only "
                                      "Windows-1252 characters can be written." << false;
    QTest::newRow("object C51") << "{O}{0:1:10:0:0:0:0:0,,D-C51}{}{TRUE}{OBJECTVALUE=1}" << 23 << "" << false;
    QTest::newRow("object P11") << "{O}{0:1:10:0:0:0:0:0,,D-P11}{}{TRUE}{OBJECTVALUE=1}" << 23 << "" << false;
    QTest::newRow("object Q1") << "{O}{0:1:10:0:0:0:0:0,,D-Q1}{}{TRUE}{OBJECTVALUE=1}" << 23 << "" << false;
    QTest::newRow("object value beyond 16 bits") << "{O}{0:1:10:0:0:0:0:0,,D-V1}{}{TRUE}{OBJECTVALUE=40000}" << 23
                                                 << "" << false;
    QTest::newRow("object value beyond 16 bits after the scale")
        << "{O}{0:1:10:0:0:0:0:0,10,D-V1}{}{TRUE}{OBJECTVALUE=-3276.9}" << 23 << "" << false;
    QTest::newRow("malformed address") << "{F}{0:1:10:5:0:0:4}{VALUE=1}{}{}" << 5 << "" << false;
}

void TestPointsAccess::pointModifyThatCannotBeEncoded()
{
    QFETCH(QString, point);
    QFETCH(int, variable);
    QFETCH(QString, reason);
    QFETCH(bool, fetched);
    TPointsSite site;
    const QByteArray before = site.DeviceValue(PanelNode, variable);
    site.Mark();
    QCOMPARE(site.Run(jobPointModify, {"COMMAND=POINTMODIFY", "POINT=" + point}), 3);
    const QString failure = QStringLiteral("Could not modify point.");
    QCOMPARE(site.Controller->CommandSlot().ErrorText(), reason.isEmpty() ? failure : failure + u' ' + reason);
    // A value its field cannot hold is refused before anything goes to the device.
    if (!reason.isEmpty())
        QCOMPARE(site.Fetches(PanelNode).isEmpty(), !fetched);
    QCOMPARE(site.Updates(PanelNode), 0);
    QCOMPARE(site.DeviceValue(PanelNode, variable), before);
}

// A device that answers a fetch with another variable's value: POINTGETVALUE fails, and so
// does POINTMODIFY, whose fetch before the write gets that answer; nothing is written.
void TestPointsAccess::answerOfAnotherVariableFails()
{
    TPointsSite site(QStringLiteral("answers.json"));
    QVERIFY(site.IsOnline());
    QCOMPARE(site.Run(jobPointGetValue, {"COMMAND=POINTGETVALUE", "POINT={C}{0:1:13:0:0:0:2:0}"}), 3);
    QCOMPARE(site.Controller->CommandSlot().ErrorText(), QStringLiteral("Could not read data from panel."));
    QCOMPARE(site.Fetches(ConfusedNode), QList<int>{0});
    QCOMPARE(site.Run(jobPointModify, {"COMMAND=POINTMODIFY", "POINT={C}{0:1:13:0:0:0:2:0}{VALUE=7}{}{}"}), 3);
    QCOMPARE(site.Controller->CommandSlot().ErrorText(), QStringLiteral("Could not modify point."));
    QCOMPARE(site.Fetches(ConfusedNode), (QList<int>{0, 0}));
    QCOMPARE(site.Updates(ConfusedNode), 0);
}

void TestPointsAccess::pointModifyOnOfflineSiteFails()
{
    auto form = MakeSite(QStringLiteral("Offline"), true);
    TTestClient client;
    QVERIFY(Attach(*form, client));
    form->ReleaseCommand(&client);
    QVERIFY(RunCommand(*form, client, jobPointModify, {"POINT={F}{0:1:10:5:0:0:4:0}{VALUE=1}{}{}"}));
    QCOMPARE(form->CommandSlot().CommandState(), 3);
    QCOMPARE(form->CommandSlot().ErrorText(), QStringLiteral("Could not modify point."));
}

// The only client disconnects while a read waits for a silent device: when the read
// ends, the disconnect must still run and close the interface.
void TestPointsAccess::disconnectDuringAJobStillClosesTheInterface()
{
    TPointsSite site;
    QVERIFY(site.IsOnline());
    QVERIFY(site.Controller->StartCommand(&site.Client, jobPointGetValue,
                                    QStringList{"POINT={D}{0:1:12:0:0:0:2:0}"}));
    bool disconnected = false;
    QTimer::singleShot(0, site.Controller.get(), [&] {
        disconnected = site.Controller->DisconnectClient(&site.Client);
    });
    Tick(*site.Controller);   // the read waits, and the disconnect arrives meanwhile
    QVERIFY(disconnected);
    QCOMPARE(site.Controller->CommandSlot().PendingJob(), int(jobDisconnect));
    QCOMPARE(site.Controller->CommandSlot().StatusText(), QStringLiteral("Disconnecting..."));
    Tick(*site.Controller);
    QCOMPARE(site.Controller->CommandSlot().PendingJob(), int(jobNone));
    QVERIFY(!site.Controller->IsConnected());
    QCOMPARE(site.Controller->CommandSlot().CommandState(), 2);
}

// The last client goes away (its connection dropped) while a read waits for a silent
// device: the form must live until the tick has ended, and be freed after it.
void TestPointsAccess::lastClientLeavingDuringAJobFreesTheFormAfterIt()
{
    QPointer<TSiteController> form = MakeSite(QStringLiteral("Leaving"), false,
                                            QStringLiteral(LW_FIXTURES "/points.json")).release();
    TTestClient client;
    QVERIFY(Attach(*form, client));
    form->ReleaseCommand(&client);
    QVERIFY(form->StartCommand(&client, jobPointGetValue, QStringList{"POINT={D}{0:1:12:0:0:0:2:0}"}));
    bool aliveAfterRemoval = false;
    QTimer::singleShot(0, form.data(), [&] {
        form->RemoveClient(&client);
        // Let deferred deletions run here, as a nested event loop of a bus call would.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        aliveAfterRemoval = !form.isNull();
    });
    form->ProcessTick();
    QVERIFY(aliveAfterRemoval);
    QVERIFY(!form.isNull());
    QCOMPARE(form->CommandSlot().CommandState(), 3);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(form.isNull());
}

// The last client leaves and a newcomer attaches while the read waits: the form stays.
void TestPointsAccess::clientArrivingDuringAJobKeepsTheForm()
{
    QPointer<TSiteController> form = MakeSite(QStringLiteral("Handover"), false,
                                            QStringLiteral(LW_FIXTURES "/points.json")).release();
    TTestClient leaving;
    TTestClient newcomer;
    QVERIFY(Attach(*form, leaving));
    form->ReleaseCommand(&leaving);
    QVERIFY(form->StartCommand(&leaving, jobPointGetValue, QStringList{"POINT={D}{0:1:12:0:0:0:2:0}"}));
    QTimer::singleShot(0, form.data(), [&] {
        form->RemoveClient(&leaving);
        form->AddClient(&newcomer, QStringLiteral("Handover"));
    });
    form->ProcessTick();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!form.isNull());
    form->RemoveClient(&newcomer);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(form.isNull());
}

QTEST_MAIN(TestPointsAccess)
#include "tst_points_access.moc"
