// Single point commands end to end on LON1: POINTGETVALUE, POINTGETDISABLED and POINTMODIFY
// of every kind of field and of a device object, read back from the simulated device.
#include "PointsSession.h"

#include <QtTest>

class TestE2EPointsAccess : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void pointGetValue_data();
    void pointGetValue();
    void pointGetDisabled_data();
    void pointGetDisabled();
    void pointModify_data();
    void pointModify();
    void pointModifyThatCannotBeEncoded_data();
    void pointModifyThatCannotBeEncoded();

private:
    // Makes the simulator publish the devices' state (the read carries the control file).
    QString Sync();

    TPointsSession FSession;
    TDriverClient FClient;
};

void TestE2EPointsAccess::initTestCase()
{
    QLocale::setDefault(QLocale::c());
    if (const QString why = TPointsSession::SkipReason(); !why.isEmpty())
        QSKIP(qPrintable(why));
    QVERIFY2(FSession.Start(), "lonworks-driver did not take its bus name");
    QVERIFY(OpenLon1(FClient, QStringLiteral("Access")));
}

void TestE2EPointsAccess::cleanupTestCase()
{
    FClient.Release();
    FSession.Driver.Stop();
}

QString TestE2EPointsAccess::Sync()
{
    return FSession.Control({QStringLiteral("network LON1")}, [this] {
        FClient.Run({"COMMAND=POINTGETVALUE", "POINT={S}{0:1:10:0:0:0:0:0,0,D-X1}"});
    });
}

void TestE2EPointsAccess::pointGetValue_data()
{
    QTest::addColumn<QString>("point");
    QTest::addColumn<QString>("answer");
    QTest::newRow("setpoint") << "{T}{0:1:10:1:105:0:3:105}" << "VALUE=21.5000";
    QTest::newRow("scaled") << "{T}{0:1:10:1:105:0:3:105,2}" << "VALUE=10.7500";
    QTest::newRow("text") << "{X}{1:3:5:21:36:0:5:31}" << "VALUE=Boiler plant running";
    QTest::newRow("status point") << "{S}{1:2:30:0:0:0:0:0,0,D-X1}" << "VALUE=1";
    QTest::newRow("no such device") << "{N}{0:1:99:0:0:0:3:0}" << "COMMANDERROR=Could not read data from panel.";
    QTest::newRow("status point, no such device") << "{S}{0:1:99:0:0:0:0:0,,D-X1}" << "VALUE=0";
}

void TestE2EPointsAccess::pointGetValue()
{
    QFETCH(QString, point);
    QFETCH(QString, answer);
    const QStringList result = FClient.Run({"COMMAND=POINTGETVALUE", "POINT=" + point});
    if (answer.startsWith(QLatin1String("COMMANDERROR="))) {
        QCOMPARE(result.value(0), QStringLiteral("COMMANDSTATUS=FALSE"));
        QVERIFY(result.contains(answer));
        return;
    }
    QCOMPARE(result.value(0), QStringLiteral("COMMANDSTATUS=TRUE"));
    QCOMPARE(Result(result).value(0), answer);
}

void TestE2EPointsAccess::pointGetDisabled_data()
{
    // The plant controller's variable 22: 40 00 00 00 00 00 00 04 00 00 10.
    QTest::addColumn<QString>("object");
    QTest::addColumn<QString>("answer");
    QTest::newRow("V1") << "V1" << "DISABLED=FALSE";
    QTest::newRow("V2") << "V2" << "DISABLED=TRUE";
    QTest::newRow("I12") << "I12" << "DISABLED=TRUE";
    QTest::newRow("P10") << "P10" << "DISABLED=TRUE";
    QTest::newRow("C1") << "C1" << "COMMANDERROR=Could not modify point.";
    QTest::newRow("V51") << "V51" << "COMMANDERROR=Could not modify point.";
}

void TestE2EPointsAccess::pointGetDisabled()
{
    QFETCH(QString, object);
    QFETCH(QString, answer);
    const QStringList result =
        FClient.Run({"COMMAND=POINTGETDISABLED", "POINT={D}{1:3:5:0:0:0:0:0,0,D-" + object + "}"});
    if (answer.startsWith(QLatin1String("COMMANDERROR="))) {
        QCOMPARE(result.value(0), QStringLiteral("COMMANDSTATUS=FALSE"));
        QVERIFY(result.contains(answer));
    } else
        QCOMPARE(Result(result).value(0), answer);
}

void TestE2EPointsAccess::pointModify_data()
{
    QTest::addColumn<QString>("point");
    QTest::addColumn<QString>("device");
    QTest::addColumn<int>("variable");
    QTest::addColumn<QString>("hex");     // the variable's first bytes afterwards
    QTest::newRow("float") << "{F}{1:2:30:6:0:0:4:0}{VALUE=21.5}{}{}" << "EnergyMeter" << 6 << "41AC0000";
    QTest::newRow("scaled") << "{S}{0:1:10:1:0:0:3:0,100}{VALUE=22.5}{}{}" << "RoomController" << 1 << "08CA";
    QTest::newRow("bit field") << "{B}{0:1:10:4:0:0:7:240}{VALUE=9}{}{}" << "RoomController" << 4 << "90";
    QTest::newRow("text") << "{X}{1:3:5:21:36:0:5:31}{VALUE=\"Boiler 2\"}{}{}" << "PlantController" << 21
                          << "426F696C6572203200";
    QTest::newRow("switch off") << "{W}{0:1:10:6:95:0:2:95}{VALUE=OFF}{}{}" << "RoomController" << 6 << "0000";
    QTest::newRow("switch on") << "{W}{0:1:10:6:95:0:2:95}{VALUE=on}{}{}" << "RoomController" << 6 << "C801";
    QTest::newRow("object C12") << "{O}{1:3:5:0:0:0:0:0,10,D-C12}{}{TRUE}{OBJECTVALUE=21.5}" << "PlantController"
                                << 23 << "010C0100D7";
    QTest::newRow("object C12, present state") << "{O}{1:3:5:0:0:0:0:0,10,D-C12}{}{}{OBJECTVALUE=5}"
                                               << "PlantController" << 23 << "010C010032";
}

void TestE2EPointsAccess::pointModify()
{
    QFETCH(QString, point);
    QFETCH(QString, device);
    QFETCH(int, variable);
    QFETCH(QString, hex);
    const QStringList result = FClient.Run({"COMMAND=POINTMODIFY", "POINT=" + point});
    QCOMPARE(result.value(0), QStringLiteral("COMMANDSTATUS=TRUE"));
    QVERIFY(Sync().contains(QLatin1String("ok")));
    QCOMPARE(FSession.Value(device, variable).left(hex.size()), hex);
}

// A value its field cannot hold fails with the usual answer and the reason, and the device
// is not written.
void TestE2EPointsAccess::pointModifyThatCannotBeEncoded_data()
{
    QTest::addColumn<QString>("point");
    QTest::addColumn<int>("variable");
    QTest::addColumn<QString>("error");
    QTest::newRow("beyond the mask") << "{B}{0:1:10:4:0:0:7:240}{VALUE=16}{}{}" << 4
                                     << "COMMANDERROR=Could not modify point. 16 does not fit this field: it holds 0 to 15.";
    // Below absolute zero: the 16-bit field holds it, the type does not.
    QTest::newRow("°C setpoint -300") << "{T}{0:1:10:1:105:0:3:105}{VALUE=-300}{}{}" << 1
                                       << QStringLiteral("COMMANDERROR=Could not modify point. Value out of range for SNVT_temp_p: -273.17 to 327.66 °C.");
}

void TestE2EPointsAccess::pointModifyThatCannotBeEncoded()
{
    QFETCH(QString, point);
    QFETCH(int, variable);
    QFETCH(QString, error);
    QVERIFY(Sync().contains(QLatin1String("ok")));
    const QString before = FSession.Value(QStringLiteral("RoomController"), variable);
    const int updates = FSession.Device(QStringLiteral("RoomController"))[QLatin1String("counts")][QLatin1String("update")].toInt();
    const QStringList result = FClient.Run({"COMMAND=POINTMODIFY", "POINT=" + point});
    QCOMPARE(result.value(0), QStringLiteral("COMMANDSTATUS=FALSE"));
    QVERIFY2(result.contains(error), qPrintable(result.join(u'|')));
    QVERIFY(Sync().contains(QLatin1String("ok")));
    QCOMPARE(FSession.Value(QStringLiteral("RoomController"), variable), before);
    QCOMPARE(FSession.Device(QStringLiteral("RoomController"))[QLatin1String("counts")][QLatin1String("update")].toInt(), updates);
}

QTEST_MAIN(TestE2EPointsAccess)
#include "tst_e2e_points_access.moc"
