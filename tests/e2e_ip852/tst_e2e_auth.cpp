// LonTalk authentication end to end: lonctl writes through the driver to a variable that
// takes only authenticated updates, on the library's simulated network and on
// lonsim-channel's devices over an IP-852 channel, each through an interface whose domain
// holds the right key, a wrong one or none. Only the right key writes; the others fail with
// the driver's usual text and leave the device's value as it was. A variable that asks for
// no authentication takes a write whatever the key.

#include "DriverProcess.h"
#include "Ip852Channel.h"
#include "LonctlRun.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString Description = QStringLiteral(LW_FIXTURES "/networks/auth.json");
// Guarded (domain 0, 1/12): nviSetpoint (index 0) takes only authenticated updates,
// nviOffset (index 1) any; both SNVT_temp_p.
const QString Setpoint = QStringLiteral("0:1:12:0:105:0:3:105");
const QString Offset = QStringLiteral("0:1:12:1:105:0:3:105");
const QString RightKey = QStringLiteral("0A1B2C3D4E5F");
const QString WrongKey = QStringLiteral("0A1B2C3D4E50");

QJsonArray DomainsWithKey(const QJsonArray &domains, const QString &key)
{
    QJsonObject d = domains.first().toObject();
    if (key.isEmpty())
        d.remove(QStringLiteral("key"));
    else
        d.insert(QStringLiteral("key"), key);
    return QJsonArray{d};
}

} // namespace

class TestE2EAuth : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir FFolder;
    TIp852Channel FChannel;
    TDriverProcess FDriver;

    // A copy of the description whose interface holds key (none when empty).
    QString SimulatedNetwork(const QString &name, const QString &key)
    {
        QFile in(Description);
        in.open(QIODevice::ReadOnly);
        QJsonObject root = QJsonDocument::fromJson(in.readAll()).object();
        QJsonObject iface = root.value(QStringLiteral("interface")).toObject();
        iface.insert(QStringLiteral("domains"), DomainsWithKey(iface.value(QStringLiteral("domains")).toArray(), key));
        root.insert(QStringLiteral("interface"), iface);
        const QString path = FFolder.filePath(name + QStringLiteral(".json"));
        QFile out(path);
        out.open(QIODevice::WriteOnly);
        out.write(QJsonDocument(root).toJson());
        return path;
    }

    static QString Read(const QString &site, const QString &iface, const QString &address)
    {
        const TLonctlResult r = RunLonctl({QStringLiteral("read"), address, QStringLiteral("--site"), site,
                                           QStringLiteral("--interface"), iface});
        return r.Finished && r.ExitCode == 0 ? r.Out.trimmed() : QStringLiteral("read failed: ") + r.Err;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(FFolder.isValid());
        // Three unicast members for the three IP-852 interfaces, each on its own port.
        QUdpSocket probe[2];
        QList<quint16> ports;
        for (QUdpSocket &p : probe) {
            QVERIFY(p.bind(QHostAddress::LocalHost, 0));
            ports << p.localPort();
        }
        for (QUdpSocket &p : probe)
            p.close();
        if (!TIp852Channel::Multicast())
            for (quint16 port : ports)
                FChannel.ExtraArguments << QStringLiteral("--member") << QStringLiteral("127.0.0.1:%1").arg(port);
        QProcessEnvironment environment = TDriverProcess::Environment(FDriver.DataHome());
        QVERIFY2(FChannel.Start(FFolder.path(), Description, Description, QStringLiteral("IPRIGHT"), 0.05, environment),
                 qPrintable(FChannel.Error()));
        const QString interfaces = environment.value(QStringLiteral("LDV_INTERFACES"));
        QFile file(interfaces);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QJsonObject channelEntry =
            QJsonDocument::fromJson(file.readAll()).object().value(QStringLiteral("interfaces")).toArray().first().toObject();
        file.close();

        QJsonArray entries;
        const QJsonArray domains = channelEntry.value(QStringLiteral("domains")).toArray();
        const struct {
            const char *suffix;
            QString key;
        } keys[] = {{"RIGHT", RightKey}, {"WRONG", WrongKey}, {"NONE", QString()}};
        for (int i = 0; i < 3; ++i) {
            const QString suffix = QString::fromLatin1(keys[i].suffix);
            entries.append(QJsonObject{{QStringLiteral("name"), QString(QStringLiteral("SIM") + suffix)},
                                       {QStringLiteral("type"), QStringLiteral("simulated")},
                                       {QStringLiteral("network"), SimulatedNetwork(QString(QStringLiteral("auth-") + suffix), keys[i].key)}});
            QJsonObject ip = channelEntry;
            ip.insert(QStringLiteral("name"), QString(QStringLiteral("IP") + suffix));
            ip.insert(QStringLiteral("domains"), DomainsWithKey(domains, keys[i].key));
            if (i > 0 && !TIp852Channel::Multicast())
                ip.insert(QStringLiteral("localPort"), ports[i - 1]);
            if (i == 0 || !TIp852Channel::Multicast())
                entries.append(ip);
        }
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QJsonDocument(QJsonObject{{QStringLiteral("interfaces"), entries}}).toJson());
        file.close();
        FDriver.SetEnvironment(environment);
        QVERIFY2(FDriver.Start(), "lonworks-driver did not start");
    }

    void cleanupTestCase()
    {
        FDriver.Stop();
        FChannel.Stop();
    }

    void write_data()
    {
        QTest::addColumn<QString>("iface");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("written");
        QStringList carriers{QStringLiteral("SIM"), QStringLiteral("IP")};
        for (const QString &carrier : carriers) {
            const char *on = carrier == QLatin1String("SIM") ? "simulated network" : "IP-852";
            QTest::addRow("%s, right key", on) << QString(carrier + "RIGHT") << Setpoint << "23.25" << true;
            if (carrier == QLatin1String("IP") && TIp852Channel::Multicast())
                continue;   // one interface per multicast group and port
            QTest::addRow("%s, wrong key", on) << QString(carrier + "WRONG") << Setpoint << "24.5" << false;
            QTest::addRow("%s, no key", on) << QString(carrier + "NONE") << Setpoint << "25.5" << false;
            QTest::addRow("%s, no key, plain variable", on) << QString(carrier + "NONE") << Offset << "1.5" << true;
        }
    }
    void write()
    {
        QFETCH(QString, iface);
        QFETCH(QString, address);
        QFETCH(QString, value);
        QFETCH(bool, written);
        const QString site = QStringLiteral("Auth") + QString::fromLatin1(QTest::currentDataTag()).remove(QLatin1Char(' '));
        const QString before = Read(site, iface, address);
        QVERIFY2(!before.startsWith(QLatin1String("read failed")), qPrintable(before));
        QVERIFY(!before.startsWith(value));
        const TLonctlResult result = RunLonctl({QStringLiteral("write"), address, value, QStringLiteral("--site"), site,
                                                QStringLiteral("--interface"), iface});
        QVERIFY2(result.Finished, "lonctl hung or crashed");
        if (written) {
            QVERIFY2(result.ExitCode == 0, qPrintable(result.Err));
            QVERIFY2(Read(site, iface, address).startsWith(value), qPrintable(Read(site, iface, address)));
        } else {
            QCOMPARE(result.ExitCode, 1);
            QVERIFY2(result.Err.contains(QStringLiteral("Could not modify point.")), qPrintable(result.Err));
            QCOMPARE(Read(site, iface, address), before);
        }
    }
};

QTEST_GUILESS_MAIN(TestE2EAuth)
#include "tst_e2e_auth.moc"
