// Real devices' interfaces end to end: a simulated network with one device per real device
// interface file of the fixtures, built from the file with its self-documentation names
// left out, discovered by lonworks-driver over D-Bus. Without templates the variables are
// NoName; with the files as templates every variable of every device is named as its file
// names it (all 82 of gc_sw), with the file's directions; devices go by their template's
// name or the names file's, and a device's points are found by its name.
#include "DriverClient.h"
#include "DriverProcess.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

namespace {

const QString kFixtures = QStringLiteral(LW_FIXTURES "/xif");

struct TXifDevice
{
    QString File;       // in the fixtures
    QString Template;   // its name as a template: the original file name without extension
    QString Simulated;  // the simulated device's (unique) name
    QString Address;    // 0:1:<node>
    QStringList Names;  // by index
    QList<bool> Inputs;
};

QList<TXifDevice> FixtureDevices()
{
    QList<TXifDevice> devices;
    QFile expected(kFixtures + QStringLiteral("/expected.tsv"));
    if (!expected.open(QIODevice::ReadOnly))
        return devices;
    for (const QByteArray &line : expected.readAll().split('\n')) {
        const QStringList cells = QString::fromLatin1(line).split(u'\t');
        if (cells.size() == 4 && cells.at(0) == u"F") {
            TXifDevice device;
            device.File = cells.at(1);
            // Files of one name carry one program ID: one template serves them all.
            device.Template = QFileInfo(device.File.section(QStringLiteral("__"), -1)).completeBaseName();
            device.Simulated = device.Template + QStringLiteral("_%1").arg(devices.size());
            device.Address = QStringLiteral("0:1:%1").arg(10 + devices.size());
            devices.append(device);
        } else if (cells.size() == 7 && cells.at(0) == u"V") {
            devices.last().Names.append(cells.at(3));
            devices.last().Inputs.append(cells.at(4) == u"in");
        }
    }
    return devices;
}

QStringList Result(const QStringList &answer)
{
    return answer.mid(3);
}

// "{0:1:10:4:93:0:2:0}{nvoStatus.ObjectID}..." -> device "0:1:10", index 4, name, writable.
struct TEntry
{
    QString Device;
    int Index = -1;
    QString Name;
    bool Writable = false;
};

TEntry ReadEntry(const QString &line)
{
    static const QRegularExpression form(QStringLiteral("^\\{(\\d+:\\d+:\\d+):(\\d+):[^}]*\\}\\{([^}]*)\\}\\{[^}]*\\}\\{(TRUE|FALSE)\\}"));
    const QRegularExpressionMatch m = form.match(line);
    if (!m.hasMatch())
        return {};
    return {m.captured(1), m.captured(2).toInt(), m.captured(3), m.captured(4) == u"TRUE"};
}

} // namespace

class TestE2EXif : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void withoutTemplatesVariablesHaveNoNames();
    void templatesNameEveryVariable();
    void devicesGoByTheirNames();
    void initialValuesFromTheFiles();

private:
    QStringList Discover();

    QTemporaryDir FDir;
    TDriverProcess FDriver;
    TDriverClient FClient;
    QList<TXifDevice> FDevices;
};

void TestE2EXif::initTestCase()
{
    QLocale::setDefault(QLocale::c());
    FDevices = FixtureDevices();
    QCOMPARE(FDevices.size(), 14);
    QVERIFY(FDir.isValid());

    // The network: one device per file, names left out of the self-documentation.
    QJsonArray devices;
    for (qsizetype i = 0; i < FDevices.size(); ++i) {
        QJsonObject device{{QStringLiteral("name"), FDevices.at(i).Simulated},
                           {QStringLiteral("neuronId"), QStringLiteral("05:00:00:00:10:%1").arg(i, 2, 16, QLatin1Char('0'))},
                           {QStringLiteral("domains"), QJsonArray{QJsonObject{{QStringLiteral("id"), QStringLiteral("4C")},
                                                                              {QStringLiteral("subnet"), 1},
                                                                              {QStringLiteral("node"), 10 + int(i)}}}},
                           {QStringLiteral("xif"), QString(kFixtures + u'/' + FDevices.at(i).File)},
                           {QStringLiteral("selfDocNames"), false}};
        if (FDevices.at(i).File.contains(QLatin1String("6kEvbMultiSensor")))
            device.insert(QStringLiteral("initialValues"), QJsonObject{{QStringLiteral("nvoTemperature"), QJsonObject{{QStringLiteral("s16"), 2150}}}});
        devices.append(device);
    }
    const QJsonObject network{{QStringLiteral("timeScale"), 0.05},
                              {QStringLiteral("interface"),
                               QJsonObject{{QStringLiteral("neuronId"), QStringLiteral("05:00:00:00:00:01")},
                                           {QStringLiteral("domains"), QJsonArray{QJsonObject{{QStringLiteral("id"), QStringLiteral("4C")},
                                                                                              {QStringLiteral("subnet"), 1},
                                                                                              {QStringLiteral("node"), 126}}}}}},
                              {QStringLiteral("devices"), devices}};
    QFile file(FDir.filePath(QStringLiteral("XIFNET.json")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QJsonDocument(network).toJson());
    file.close();

    // The driver's template folders: its own data home only (none of the machine's).
    QProcessEnvironment environment = TDriverProcess::Environment(FDriver.DataHome());
    QVERIFY(QDir().mkpath(FDir.filePath(QStringLiteral("no-data"))));
    environment.insert(QStringLiteral("XDG_DATA_DIRS"), FDir.filePath(QStringLiteral("no-data")));
    environment.insert(QStringLiteral("LONSIM_PATH"), FDir.path());
    environment.insert(QStringLiteral("LONWORKS_DEVICE_NAMES"), FDir.filePath(QStringLiteral("names.json")));
    FDriver.SetEnvironment(environment);
    QVERIFY2(FDriver.Start(), "lonworks-driver did not take its bus name");
    QVERIFY(FClient.Open({QStringLiteral("DESCRIPTION=Real"), QStringLiteral("SP1=XIFNET")}));
    QCOMPARE(FClient.WaitForStatus().value(0), QStringLiteral("COMMANDSTATUS=TRUE"));
}

void TestE2EXif::cleanupTestCase()
{
    FDriver.Stop();
}

QStringList TestE2EXif::Discover()
{
    const QStringList answer = FClient.Run({"COMMAND=GETDATA", "DRIVERCOMMAND=GETPOINTSLIST"}, 1200, 100);
    if (answer.value(0) != QLatin1String("COMMANDSTATUS=TRUE"))
        qWarning().noquote() << answer.join(u'|');
    return Result(answer);
}

void TestE2EXif::withoutTemplatesVariablesHaveNoNames()
{
    const QStringList entries = Discover();
    QVERIFY(!entries.isEmpty());
    for (const QString &line : entries)
        QVERIFY2(ReadEntry(line).Name.startsWith(QLatin1String("NoName")), qPrintable(line));
}

void TestE2EXif::templatesNameEveryVariable()
{
    const QString folder = FDriver.DataHome() + QStringLiteral("/lonworks/templates");
    QVERIFY(QDir().mkpath(folder));
    for (const TXifDevice &device : std::as_const(FDevices)) {
        const QString target = folder + u'/' + device.Template + QStringLiteral(".xif");
        QVERIFY(QFile::exists(target) || QFile::copy(kFixtures + u'/' + device.File, target));
    }

    const QStringList entries = Discover();
    QHash<QString, QSet<int>> listed;   // device -> indexes with entries
    int noName = 0;
    for (const QString &line : entries) {
        const TEntry entry = ReadEntry(line);
        QVERIFY2(entry.Index >= 0, qPrintable(line));
        noName += entry.Name.startsWith(QLatin1String("NoName"));
        const auto device = std::find_if(FDevices.begin(), FDevices.end(),
                                         [&](const TXifDevice &d) { return d.Address == entry.Device; });
        QVERIFY2(device != FDevices.end() && entry.Index < device->Names.size(), qPrintable(line));
        // The file's name, alone or with a field's suffix, and the file's direction.
        const QString name = device->Names.at(entry.Index);
        QVERIFY2(entry.Name == name || entry.Name.startsWith(name + u'.'), qPrintable(line));
        QVERIFY2(entry.Writable == device->Inputs.at(entry.Index), qPrintable(line));
        listed[entry.Device].insert(entry.Index);
    }
    QCOMPARE(noName, 0);
    // Every variable of every device, the 82 of gc_sw included.
    for (const TXifDevice &device : std::as_const(FDevices))
        QVERIFY2(listed.value(device.Address).size() == device.Names.size(),
                 qPrintable(QStringLiteral("%1: %2 of %3").arg(device.File).arg(listed.value(device.Address).size()).arg(device.Names.size())));
    const auto gc = std::find_if(FDevices.begin(), FDevices.end(), [](const TXifDevice &d) { return d.File.contains(QLatin1String("gc_sw")); });
    QCOMPARE(listed.value(gc->Address).size(), 82);
}

void TestE2EXif::devicesGoByTheirNames()
{
    // The template names every device; the names file names one of them.
    const TXifDevice &named = FDevices.at(4);
    QFile names(FDir.filePath(QStringLiteral("names.json")));
    QVERIFY(names.open(QIODevice::WriteOnly));
    names.write(QStringLiteral(R"({"sites": {"REAL": {"%1": "Dimmer bank", "0:1:99": "Spare"}}})").arg(named.Address).toUtf8());
    names.close();

    const QStringList devices = Result(FClient.Run({"COMMAND=GETDATA", "DRIVERCOMMAND=GETDEVICESLIST"}));
    QCOMPARE(devices.size(), FDevices.size() + 1);
    for (const TXifDevice &device : std::as_const(FDevices)) {
        const QString expected = &device == &named ? QStringLiteral("{%1}{Dimmer bank}{names file}").arg(device.Address)
                                                   : QStringLiteral("{%1}{%2}{template}").arg(device.Address, device.Template);
        QVERIFY2(std::any_of(devices.begin(), devices.end(), [&](const QString &line) { return line.startsWith(expected); }),
                 qPrintable(expected + u'\n' + devices.join(u'\n')));
    }
    QCOMPARE(devices.last(), QStringLiteral("{0:1:99}{Spare}{names file}{}{}{}"));

    // One device's points by its name (any letter case), and by address.
    const QStringList points = Result(FClient.Run({"COMMAND=GETDATA", "DRIVERCOMMAND=GETDEVICEPOINTS", "DEVICE=dimmer BANK"}));
    QVERIFY(points.value(0).startsWith(QStringLiteral("{%1}{Dimmer bank}").arg(named.Address)));
    QVERIFY(points.size() > named.Names.size());
    for (const QString &line : points.mid(1))
        QCOMPARE(ReadEntry(line).Device, named.Address);
    const QStringList unknown = FClient.Run({"COMMAND=GETDATA", "DRIVERCOMMAND=GETDEVICEPOINTS", "DEVICE=Nobody"});
    QCOMPARE(unknown.value(0), QStringLiteral("COMMANDSTATUS=FALSE"));
    QVERIFY(unknown.value(1).startsWith(QLatin1String("COMMANDERROR=Unknown device: Nobody")));
}

void TestE2EXif::initialValuesFromTheFiles()
{
    // The MultiSensor: nciHighTempAlarm from the file's NVVAL (0D AC: 35 °C), nvoTemperature
    // from the description (2150: 21.5 °C).
    const auto sensor = std::find_if(FDevices.begin(), FDevices.end(),
                                     [](const TXifDevice &d) { return d.File.contains(QLatin1String("6kEvbMultiSensor")); });
    for (const auto &[index, value] : {std::pair{18, "35.0000"}, std::pair{19, "21.5000"}}) {
        const QStringList answer = FClient.Run(
            {"COMMAND=POINTGETVALUE", QStringLiteral("POINT={T}{%1:%2:105:0:3:105}").arg(sensor->Address).arg(index)});
        QCOMPARE(answer.value(0), QStringLiteral("COMMANDSTATUS=TRUE"));
        QCOMPARE(Result(answer).value(0), QStringLiteral("VALUE=") + QLatin1String(value));
    }
}

QTEST_GUILESS_MAIN(TestE2EXif)
#include "tst_e2e_xif.moc"
