// Expansion of network variables into point entry lines, exactly as the client sees them.
#include "snvt/PointExpansion.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestExpansion : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void layouts_data();
    void layouts();
    void singleValues_data();
    void singleValues();
    void catalogueTypes_data();
    void catalogueTypes();
    void catalogueTemperatureFields();
    void noPoints_data();
    void noPoints();
    void inputFlag_data();
    void inputFlag();
    void entriesAreAppended();
    void shortDescription();
};

namespace {
QStringList Expand(int type, const QString &name, bool tempsInF)
{
    QStringList entries;
    ExpandNetworkVariable({"0", "1", "5", "12", QString::number(type), name}, entries, tempsInF);
    return entries;
}
} // namespace

void TestExpansion::layouts_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("tempsInF");
    QTest::addColumn<QStringList>("expected");
    QTest::addRow("70") << 70 << false << QStringList{
                    u"{0:1:5:12:70:0:2:0}{nvoVar.LStar}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:70:2:3:0}{nvoVar.AStar}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:70:4:3:0}{nvoVar.BStar}{}{FALSE}{Analog}{Variable}"_s,
    };
    QTest::addRow("83") << 83 << false << QStringList{
                    u"{0:1:5:12:83:0:7:128}{nviVar.Bit0}{}{TRUE}{Digital}{Variable}"_s,
                    u"{0:1:5:12:83:0:7:64}{nviVar.Bit1}{}{TRUE}{Digital}{Variable}"_s,
                    u"{0:1:5:12:83:0:7:32}{nviVar.Bit2}{}{TRUE}{Digital}{Variable}"_s,
                    u"{0:1:5:12:83:0:7:16}{nviVar.Bit3}{}{TRUE}{Digital}{Variable}"_s,
                    u"{0:1:5:12:83:0:7:8}{nviVar.Bit4}{}{TRUE}{Digital}{Variable}"_s,
                    u"{0:1:5:12:83:0:7:4}{nviVar.Bit5}{}{TRUE}{Digital}{Variable}"_s,
                    u"{0:1:5:12:83:0:7:2}{nviVar.Bit6}{}{TRUE}{Digital}{Variable}"_s,
                    u"{0:1:5:12:83:0:7:1}{nviVar.Bit7}{}{TRUE}{Digital}{Variable}"_s,
                    u"{0:1:5:12:83:1:7:128}{nviVar.Bit8}{}{TRUE}{Digital}{Variable}"_s,
                    u"{0:1:5:12:83:1:7:64}{nviVar.Bit9}{}{TRUE}{Digital}{Variable}"_s,
                    u"{0:1:5:12:83:1:7:32}{nviVar.Bit10}{}{TRUE}{Digital}{Variable}"_s,
                    u"{0:1:5:12:83:1:7:16}{nviVar.Bit11}{}{TRUE}{Digital}{Variable}"_s,
                    u"{0:1:5:12:83:1:7:8}{nviVar.Bit12}{}{TRUE}{Digital}{Variable}"_s,
                    u"{0:1:5:12:83:1:7:4}{nviVar.Bit13}{}{TRUE}{Digital}{Variable}"_s,
                    u"{0:1:5:12:83:1:7:2}{nviVar.Bit14}{}{TRUE}{Digital}{Variable}"_s,
                    u"{0:1:5:12:83:1:7:1}{nviVar.Bit15}{}{TRUE}{Digital}{Variable}"_s,
                    u"{0:1:5:12:83:0:2:0}{nviVar.AllBits}{}{TRUE}{Analog}{Variable}"_s,
    };
    QTest::addRow("84") << 84 << false << QStringList{
                    u"{0:1:5:12:84:0:2:0}{nvoVar.Year}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:84:2:0:0}{nvoVar.Month}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:84:3:0:0}{nvoVar.Day}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:84:4:0:0}{nvoVar.Hour}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:84:5:0:0}{nvoVar.Minute}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:84:6:0:0}{nvoVar.Second}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:84:0:11:0}{nvoVar.DateTime}{}{FALSE}{DateTime}{Variable}"_s,
    };
    QTest::addRow("85") << 85 << false << QStringList{
                    u"{0:1:5:12:85:0:3:0}{nviVar.Zero}{}{TRUE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:85:2:2:0}{nviVar.Span}{}{TRUE}{Analog}{Variable}"_s,
    };
    QTest::addRow("86") << 86 << false << QStringList{
                    u"{0:1:5:12:86:0:7:240}{nvoVar.Digit1}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:86:0:7:15}{nvoVar.Digit2}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:86:1:7:240}{nvoVar.Digit3}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:86:1:7:15}{nvoVar.Digit4}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:86:2:7:240}{nvoVar.Digit5}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:86:2:7:15}{nvoVar.Digit6}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:86:3:7:240}{nvoVar.Digit7}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:86:3:7:15}{nvoVar.Digit8}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:86:4:7:240}{nvoVar.Digit9}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:86:4:7:15}{nvoVar.Digit10}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:86:5:7:240}{nvoVar.Digit11}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:86:5:7:15}{nvoVar.Digit12}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:86:6:7:240}{nvoVar.Digit13}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:86:6:7:15}{nvoVar.Digit14}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:86:7:7:240}{nvoVar.Digit15}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:86:7:7:15}{nvoVar.Digit16}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:86:8:7:240}{nvoVar.Digit17}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:86:8:7:15}{nvoVar.Digit18}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:86:9:7:240}{nvoVar.Digit19}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:86:9:7:15}{nvoVar.Digit20}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:86:10:7:240}{nvoVar.Digit21}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:86:10:7:15}{nvoVar.Digit22}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:86:11:7:240}{nvoVar.Digit23}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:86:11:7:15}{nvoVar.Digit24}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:86:12:7:240}{nvoVar.Digit25}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:86:12:7:15}{nvoVar.Digit26}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:86:13:7:240}{nvoVar.Digit27}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:86:13:7:15}{nvoVar.Digit28}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:86:14:7:240}{nvoVar.Digit29}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:86:14:7:15}{nvoVar.Digit30}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:86:15:7:240}{nvoVar.Digit31}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:86:15:7:15}{nvoVar.Digit32}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:86:16:7:240}{nvoVar.Digit33}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:86:16:7:15}{nvoVar.Digit34}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:86:17:7:240}{nvoVar.Digit35}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:86:17:7:15}{nvoVar.Digit36}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:86:18:7:240}{nvoVar.Digit37}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:86:18:7:15}{nvoVar.Digit38}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:86:19:7:240}{nvoVar.Digit39}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:86:19:7:15}{nvoVar.Digit40}{}{FALSE}{Analog}{Variable}"_s,
    };
    QTest::addRow("87") << 87 << false << QStringList{
                    u"{0:1:5:12:87:0:2:0}{nviVar.Day}{}{TRUE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:87:2:0:0}{nviVar.Hour}{}{TRUE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:87:3:0:0}{nviVar.Minute}{}{TRUE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:87:4:0:0}{nviVar.Second}{}{TRUE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:87:5:2:0}{nviVar.Millisecond}{}{TRUE}{Analog}{Variable}"_s,
    };
    QTest::addRow("88") << 88 << false << QStringList{
                    u"{0:1:5:12:88:0:5:6}{nvoVar.Location}{}{FALSE}{String}{Variable}"_s,
                    u"{0:1:5:12:88:6:2:0}{nvoVar.ObjectID}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:88:8:0:0}{nvoVar.AlarmType}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:88:9:0:0}{nvoVar.PriorityLevel}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:88:10:2:0}{nvoVar.IndexToSNVT}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:88:12:6:0}{nvoVar.Value}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:88:16:2:0}{nvoVar.Year}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:88:18:0:0}{nvoVar.Month}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:88:19:0:0}{nvoVar.Day}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:88:20:0:0}{nvoVar.Hour}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:88:21:0:0}{nvoVar.Minute}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:88:22:0:0}{nvoVar.Second}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:88:23:2:0}{nvoVar.Millisecond}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:88:25:6:0}{nvoVar.AlarmLimit}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:88:16:9:0}{nvoVar.Date}{}{FALSE}{DateTime}{Variable}"_s,
                    u"{0:1:5:12:88:20:10:0}{nvoVar.Time}{}{FALSE}{DateTime}{Variable}"_s,
                    u"{0:1:5:12:88:16:11:0}{nvoVar.TimeStamp}{}{FALSE}{DateTime}{Variable}"_s,
    };
    QTest::addRow("89") << 89 << false << QStringList{
                    u"{0:1:5:12:89:0:0:0}{nviVar.Currency}{}{TRUE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:89:1:1:0}{nviVar.PowerOf10}{}{TRUE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:89:2:6:0}{nviVar.Value}{}{TRUE}{Analog}{Variable}"_s,
    };
    QTest::addRow("91") << 91 << false << QStringList{
                    u"{0:1:5:12:91:0:2:0}{nviVar.Multiplier}{}{TRUE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:91:2:2:0}{nviVar.Divisor}{}{TRUE}{Analog}{Variable}"_s,
    };
    QTest::addRow("92") << 92 << false << QStringList{
                    u"{0:1:5:12:92:0:2:0}{nvoVar.ObjectID}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:92:2:0:0}{nvoVar.ObjectRequest}{}{FALSE}{Analog}{Variable}"_s,
    };
    QTest::addRow("93") << 93 << false << QStringList{
                    u"{0:1:5:12:93:0:2:0}{nviVar.ObjectID}{}{TRUE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:93:2:7:128}{nviVar.InvalidID}{}{TRUE}{Digital}{Variable}"_s,
                    u"{0:1:5:12:93:2:7:64}{nviVar.InvalidRequest}{}{TRUE}{Digital}{Variable}"_s,
                    u"{0:1:5:12:93:2:7:32}{nviVar.Disabled}{}{TRUE}{Digital}{Variable}"_s,
                    u"{0:1:5:12:93:2:7:16}{nviVar.OutOfLimits}{}{TRUE}{Digital}{Variable}"_s,
                    u"{0:1:5:12:93:2:7:8}{nviVar.OpenCircuit}{}{TRUE}{Digital}{Variable}"_s,
                    u"{0:1:5:12:93:2:7:4}{nviVar.OutOfService}{}{TRUE}{Digital}{Variable}"_s,
                    u"{0:1:5:12:93:2:7:2}{nviVar.MechanicalFault}{}{TRUE}{Digital}{Variable}"_s,
                    u"{0:1:5:12:93:2:7:1}{nviVar.FeedbackFailure}{}{TRUE}{Digital}{Variable}"_s,
                    u"{0:1:5:12:93:3:7:128}{nviVar.OverRange}{}{TRUE}{Digital}{Variable}"_s,
                    u"{0:1:5:12:93:3:7:64}{nviVar.UnderRange}{}{TRUE}{Digital}{Variable}"_s,
                    u"{0:1:5:12:93:3:7:32}{nviVar.ElectricalFault}{}{TRUE}{Digital}{Variable}"_s,
                    u"{0:1:5:12:93:3:7:16}{nviVar.UnableToMeasure}{}{TRUE}{Digital}{Variable}"_s,
                    u"{0:1:5:12:93:3:7:8}{nviVar.CommFailure}{}{TRUE}{Digital}{Variable}"_s,
                    u"{0:1:5:12:93:3:7:4}{nviVar.FailSelfTest}{}{TRUE}{Digital}{Variable}"_s,
                    u"{0:1:5:12:93:3:7:2}{nviVar.SelfTestInProgress}{}{TRUE}{Digital}{Variable}"_s,
                    u"{0:1:5:12:93:3:7:1}{nviVar.LockedOut}{}{TRUE}{Digital}{Variable}"_s,
                    u"{0:1:5:12:93:4:7:128}{nviVar.ManualControl}{}{TRUE}{Digital}{Variable}"_s,
                    u"{0:1:5:12:93:4:7:64}{nviVar.InAlarm}{}{TRUE}{Digital}{Variable}"_s,
                    u"{0:1:5:12:93:4:7:32}{nviVar.InOverride}{}{TRUE}{Digital}{Variable}"_s,
                    u"{0:1:5:12:93:4:7:16}{nviVar.ReportMask}{}{TRUE}{Digital}{Variable}"_s,
                    u"{0:1:5:12:93:4:7:8}{nviVar.ProgrammingMode}{}{TRUE}{Digital}{Variable}"_s,
                    u"{0:1:5:12:93:4:7:4}{nviVar.ProgrammingFail}{}{TRUE}{Digital}{Variable}"_s,
                    u"{0:1:5:12:93:4:7:2}{nviVar.AlarmNotifyDisable}{}{TRUE}{Digital}{Variable}"_s,
                    u"{0:1:5:12:93:4:7:1}{nviVar.Reserved1}{}{TRUE}{Digital}{Variable}"_s,
                    u"{0:1:5:12:93:5:0:0}{nviVar.Reserved2}{}{TRUE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:93:2:6:0}{nviVar.AllBits}{}{TRUE}{Analog}{Variable}"_s,
    };
    QTest::addRow("95") << 95 << false << QStringList{
                    u"{0:1:5:12:95:0:0:21}{nviVar.Value}{%}{TRUE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:95:1:0:0}{nviVar.State}{Off/On}{TRUE}{Digital}{Variable}"_s,
                    u"{0:1:5:12:95:0:2:95}{nviVar}{Off/On}{TRUE}{Digital}{Variable}"_s,
    };
    QTest::addRow("106") << 106 << false << QStringList{
                    u"{0:1:5:12:106:0:3:105}{nvoVar.OccupiedCool}{°C}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:106:2:3:105}{nvoVar.StandbyCool}{°C}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:106:4:3:105}{nvoVar.UnoccupiedCool}{°C}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:106:6:3:105}{nvoVar.OccupiedHeat}{°C}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:106:8:3:105}{nvoVar.StandbyHeat}{°C}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:106:10:3:105}{nvoVar.UnoccupiedHeat}{°C}{FALSE}{Analog}{Variable}"_s,
    };
    QTest::addRow("106 F") << 106 << true << QStringList{
                    u"{0:1:5:12:106:0:3:105}{nvoVar.OccupiedCool}{°F}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:106:2:3:105}{nvoVar.StandbyCool}{°F}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:106:4:3:105}{nvoVar.UnoccupiedCool}{°F}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:106:6:3:105}{nvoVar.OccupiedHeat}{°F}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:106:8:3:105}{nvoVar.StandbyHeat}{°F}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:106:10:3:105}{nvoVar.UnoccupiedHeat}{°F}{FALSE}{Analog}{Variable}"_s,
    };
    QTest::addRow("111") << 111 << false << QStringList{
                    u"{0:1:5:12:111:0:0:0}{nviVar.State}{}{TRUE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:111:1:3:81}{nviVar.Percent}{%}{TRUE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:111:3:2:15}{nviVar.Flow}{lt/sec}{TRUE}{Analog}{Variable}"_s,
    };
    QTest::addRow("112") << 112 << false << QStringList{
                    u"{0:1:5:12:112:0:0:0}{nvoVar.Mode}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:112:1:3:81}{nvoVar.HeatOutputPrimary}{%}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:112:3:3:81}{nvoVar.HeatOutputSecondary}{%}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:112:5:3:81}{nvoVar.CoolOutput}{%}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:112:7:3:81}{nvoVar.EconOutput}{%}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:112:9:3:81}{nvoVar.FanOutput}{%}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:112:11:0:0}{nvoVar.InAlarm}{}{FALSE}{Digital}{Variable}"_s,
    };
    QTest::addRow("115") << 115 << false << QStringList{
                    u"{0:1:5:12:115:0:0:0}{nviVar.Function}{}{TRUE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:115:1:0:0}{nviVar.SceneNumber}{}{TRUE}{Analog}{Variable}"_s,
    };
    QTest::addRow("116") << 116 << false << QStringList{
                    u"{0:1:5:12:116:0:0:0}{nvoVar.Function}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:116:1:0:0}{nvoVar.SceneNumber}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:116:2:0:0}{nvoVar.Setting}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:116:3:3:0}{nvoVar.Rotation}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:116:5:2:0}{nvoVar.FadeTime}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:116:7:2:0}{nvoVar.DelayTime}{}{FALSE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:116:9:0:0}{nvoVar.Priority}{}{FALSE}{Analog}{Variable}"_s,
    };
    QTest::addRow("117") << 117 << false << QStringList{
                    u"{0:1:5:12:117:0:0:0}{nviVar.Function}{}{TRUE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:117:1:0:0}{nviVar.Setting}{}{TRUE}{Analog}{Variable}"_s,
                    u"{0:1:5:12:117:2:3:0}{nviVar.Rotation}{}{TRUE}{Analog}{Variable}"_s,
    };
}

void TestExpansion::layouts()
{
    QFETCH(int, type);
    QFETCH(bool, tempsInF);
    QFETCH(QStringList, expected);
    QCOMPARE(Expand(type, type % 2 ? u"nviVar"_s : u"nvoVar"_s, tempsInF), expected);
}

void TestExpansion::singleValues_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("tempsInF");
    QTest::addColumn<QString>("expected");
    QTest::newRow("105 C") << 105 << false
                           << u"{0:1:5:12:105:0:3:105}{nviSetpoint}{°C}{TRUE}{Analog}{Variable}"_s;
    QTest::newRow("105 F") << 105 << true
                           << u"{0:1:5:12:105:0:3:105}{nviSetpoint}{°F}{TRUE}{Analog}{Variable}"_s;
    QTest::newRow("39 F keeps C") << 39 << true
                                  << u"{0:1:5:12:39:0:2:39}{nviSetpoint}{°C}{TRUE}{Analog}{Variable}"_s;
    QTest::newRow("7 byte") << 7 << false
                            << u"{0:1:5:12:7:0:0:7}{nviSetpoint}{}{TRUE}{Analog}{Variable}"_s;
    QTest::newRow("16 blank") << 16 << false
                              << u"{0:1:5:12:16:0:2:16}{nviSetpoint}{ml/sec }{TRUE}{Analog}{Variable}"_s;
    QTest::newRow("45") << 45 << false
                        << u"{0:1:5:12:45:0:3:45}{nviSetpoint}{db µv}{TRUE}{Analog}{Variable}"_s;
    QTest::newRow("63 float") << 63 << false
                              << u"{0:1:5:12:63:0:4:63}{nviSetpoint}{C}{TRUE}{Analog}{Variable}"_s;
    QTest::newRow("36 text") << 36 << false
                             << u"{0:1:5:12:36:0:5:31}{nviSetpoint}{}{TRUE}{String}{Variable}"_s;
    QTest::newRow("37 opaque") << 37 << false
                               << u"{0:1:5:12:37:0:8:14}{nviSetpoint}{}{TRUE}{String}{Variable}"_s;
    QTest::newRow("114") << 114 << false
                         << u"{0:1:5:12:114:0:2:114}{nviSetpoint}{Hex}{TRUE}{Analog}{Variable}"_s;
    QTest::newRow("122") << 122 << false
                         << u"{0:1:5:12:122:0:0:122}{nviSetpoint}{}{TRUE}{Analog}{Variable}"_s;
}

void TestExpansion::singleValues()
{
    QFETCH(int, type);
    QFETCH(bool, tempsInF);
    QFETCH(QString, expected);
    QCOMPARE(Expand(type, u"nviSetpoint"_s, tempsInF), QStringList{expected});
}

// Types above 122, from the catalogue's facts: scalar values read by their own code and
// converted by their own number; a structure's fields by path, bit fields by mask; union
// members that share an offset and code with an earlier member of another conversion raw.
void TestExpansion::catalogueTypes_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("tempsInF");
    QTest::addColumn<QStringList>("expected");
    const auto entry = [](const char *address, const char *name, const char16_t *units,
                          const char *kind) {
        return u"{0:1:5:12:%1}{%2}{%3}{FALSE}{%4}{Variable}"_s.arg(QLatin1String(address),
                                                                    QLatin1String(name),
                                                                    QString::fromUtf16(units),
                                                                    QLatin1String(kind));
    };
    QTest::newRow("153 scaled") << 153 << u"nvoEnthalpy"_s << true
                                << QStringList{entry("153:0:3:153", "nvoEnthalpy", u"kJ/kg", "Analog")};
    QTest::newRow("183 unsigned 32") << 183 << u"nvoCount"_s << false
                                     << QStringList{entry("183:0:13:183", "nvoCount", u"", "Analog")};
    QTest::newRow("126 float") << 126 << u"nvoPh"_s << false
                               << QStringList{entry("126:0:4:126", "nvoPh", u"pH", "Analog")};
    QTest::newRow("130 enumeration") << 130 << u"nvoTest"_s << false
                                     << QStringList{entry("130:0:12:130", "nvoTest", u"", "String")};
    QTest::newRow("127 structure") << 127 << u"nvoChiller"_s << false << QStringList{
        entry("127:0:12:127", "nvoChiller.chlr_run_mode", u"", "String"),
        entry("127:1:12:127", "nvoChiller.chlr_op_mode", u"", "String"),
        entry("127:2:7:128", "nvoChiller.chlr_state.in_alarm", u"", "Digital"),
        entry("127:2:7:64", "nvoChiller.chlr_state.run_enabled", u"", "Digital"),
        entry("127:2:7:32", "nvoChiller.chlr_state.local", u"", "Digital"),
        entry("127:2:7:16", "nvoChiller.chlr_state.limited", u"", "Digital"),
        entry("127:2:7:8", "nvoChiller.chlr_state.chw_flow", u"", "Digital"),
        entry("127:2:7:4", "nvoChiller.chlr_state.condw_flow", u"", "Digital")};
    QTest::newRow("189 union") << 189 << u"nvoSw"_s << false << QStringList{
        entry("189:0:12:189", "nvoSw.state", u"", "String"),
        entry("189:1:0:189", "nvoSw.setting.value", u"", "Analog"),
        entry("189:1:0:189", "nvoSw.setting.change", u"", "Analog"),
        entry("189:1:0:0", "nvoSw.setting.delay", u"", "Analog"),
        entry("189:1:0:0", "nvoSw.setting.group_number", u"", "Analog"),
        entry("189:1:0:188", "nvoSw.setting.multiplier", u"", "Analog"),
        entry("189:1:12:189", "nvoSw.setting.angle", u"°", "Analog"),
        entry("189:1:12:0", "nvoSw.setting.fan_level", u"", "Analog"),
        entry("189:1:0:0", "nvoSw.setting.button_number", u"", "Analog"),
        entry("189:2:0:189", "nvoSw.scene_number", u"", "Analog")};
}

void TestExpansion::catalogueTypes()
{
    QFETCH(int, type);
    QFETCH(QString, name);
    QFETCH(bool, tempsInF);
    QFETCH(QStringList, expected);
    QCOMPARE(Expand(type, name, tempsInF), expected);
}

// A field that reuses an absolute temperature type takes its rules, units and all.
void TestExpansion::catalogueTemperatureFields()
{
    for (bool tempsInF : {false, true}) {
        const QString units = tempsInF ? u"°F"_s : u"°C"_s;
        QVERIFY(Expand(200, u"nvoLamp"_s, tempsInF)
                    .contains(u"{0:1:5:12:200:8:3:105}{nvoLamp.ballastTemp}{%1}{FALSE}{Analog}{Variable}"_s
                                  .arg(units)));
    }
}

void TestExpansion::noPoints_data()
{
    QTest::addColumn<QString>("type");
    for (const char *t : {"0", "10", "12", "40", "73", "74", "80", "90", "94", "96", "-1", "140",
                          "167", "215", "220", "226", "99999999999", "abc", ""})
        QTest::newRow(t) << QString::fromLatin1(t);
}

void TestExpansion::noPoints()
{
    QFETCH(QString, type);
    QStringList entries;
    ExpandNetworkVariable({"0", "1", "5", "12", type, "nvoX"}, entries, false);
    QCOMPARE(entries, QStringList());
}

void TestExpansion::inputFlag_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("flag");
    QTest::newRow("nci") << "nciMaxTemp" << "{TRUE}";
    QTest::newRow("nvo") << "nvoTemp" << "{FALSE}";
    QTest::newRow("Nvi") << "NviTemp" << "{TRUE}";
    QTest::newRow("NCI") << "NCITemp" << "{TRUE}";
    QTest::newRow("inside") << "xnviTemp" << "{FALSE}";
    QTest::newRow("short") << "nv" << "{FALSE}";
    QTest::newRow("empty") << "" << "{FALSE}";
}

void TestExpansion::inputFlag()
{
    QFETCH(QString, name);
    QFETCH(QString, flag);
    QCOMPARE(BuildPointEntry("0:1:5:12:8:", 0, 2, 8, name, "counts", KindAnalog),
             "{0:1:5:12:8:0:2:8}{" + name + "}{counts}" + flag + "{Analog}{Variable}");
}

void TestExpansion::entriesAreAppended()
{
    QStringList entries{"kept"};
    ExpandNetworkVariable({"1", "$0A", "2", "7", "85", "nvoZS"}, entries, false);
    QCOMPARE(entries, (QStringList{"kept", "{1:$0A:2:7:85:0:3:0}{nvoZS.Zero}{}{FALSE}{Analog}{Variable}",
                                   "{1:$0A:2:7:85:2:2:0}{nvoZS.Span}{}{FALSE}{Analog}{Variable}"}));
    QCOMPARE(BuildPointEntry("p:", -3, 7, -1, "n", "", 9), "{p:-3:7:-1}{n}{}{FALSE}{Unknown}{Variable}");
}

void TestExpansion::shortDescription()
{
    QStringList entries;
    ExpandNetworkVariable({"0", "1", "5", "12", "8"}, entries, false);
    QCOMPARE(entries, QStringList{"{0:1:5:12:8:0:2:8}{}{counts}{FALSE}{Analog}{Variable}"});
    entries.clear();
    ExpandNetworkVariable({}, entries, false);
    QCOMPARE(entries, QStringList());
}

QTEST_GUILESS_MAIN(TestExpansion)
#include "tst_expansion.moc"
