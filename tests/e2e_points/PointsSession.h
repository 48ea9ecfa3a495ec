#pragma once
// Shared pieces of the points end-to-end tests: the driver started on the test's bus with
// the simulator's control channel and trace in a folder of the test's own, clients opened
// on LON1, and what the simulated devices hold and were sent.

#include "DriverClient.h"
#include "DriverProcess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <functional>

#ifdef LW_E2E_IP852
#include "Ip852Channel.h"
#endif
#ifdef LW_E2E_LONNET
#include "PrivateNetwork.h"
#include <QJsonArray>
#endif

class TPointsSession
{
public:
    // Why this run cannot be made here (the LON device run needs root); empty when it can.
    static QString SkipReason()
    {
#ifdef LW_E2E_LONNET
        return EnterPrivateNetwork();
#else
        return QString();
#endif
    }

    // Starts the driver with LONSIM_CONTROL and LONSIM_TRACE in the session's folder.
    bool Start(double timeScale = 1.0)
    {
        if (!FDir.isValid())
            return false;
        QProcessEnvironment environment = TDriverProcess::Environment(Driver.DataHome());
#ifdef LW_E2E_IP852
        // LON1 on an IP-852 channel: lonsim-channel serves it and takes the control folder.
        if (!Channel.Start(FDir.path(), QStringLiteral("LON1"), QStringLiteral(LW_LON1_DESCRIPTION),
                           QStringLiteral("LON1"), timeScale, environment))
            return false;
#elif defined(LW_E2E_LONNET)
        // LON1 behind a USB network interface: lonsim-usb makes lon0 in the test's own
        // network namespace (as the serial-USB module shows it), and the interfaces file
        // gives it the name LON1.
        if (!SkipReason().isEmpty())
            return false;
        QProcessEnvironment standInEnvironment = QProcessEnvironment::systemEnvironment();
        standInEnvironment.insert(QStringLiteral("LONSIM_TIME_SCALE"), QString::number(timeScale));
        StandIn.Process().setProcessEnvironment(standInEnvironment);
        if (!StandIn.Start({QStringLiteral("--network"), QStringLiteral("LON1"), QStringLiteral("--module"),
                            QStringLiteral("u50"), QStringLiteral("--control"), FDir.path(), QStringLiteral("--trace"),
                            FDir.filePath(QStringLiteral("trace.txt"))}))
            return false;
        QFile interfaces(FDir.filePath(QStringLiteral("interfaces.json")));
        if (!interfaces.open(QIODevice::WriteOnly))
            return false;
        interfaces.write(QJsonDocument(QJsonObject{{QStringLiteral("interfaces"),
                                                    QJsonArray{QJsonObject{{QStringLiteral("name"), QStringLiteral("LON1")},
                                                                           {QStringLiteral("type"), QStringLiteral("lon-device")},
                                                                           {QStringLiteral("device"), QStringLiteral("lon0")}}}}})
                             .toJson());
        interfaces.close();
        environment.insert(QStringLiteral("LDV_INTERFACES"), interfaces.fileName());
#else
        environment.insert(QStringLiteral("LONSIM_CONTROL"), FDir.path());
        environment.insert(QStringLiteral("LONSIM_TRACE"), FDir.filePath(QStringLiteral("trace.txt")));
        environment.insert(QStringLiteral("LONSIM_TIME_SCALE"), QString::number(timeScale));
#endif
        Driver.SetEnvironment(environment);
        return Driver.Start();
    }

    // Carries out control lines at the simulator; the driver reads them on its next network
    // call, which `nudge` can cause (otherwise the poller's own fetches do). The results.
    QString Control(const QStringList &lines, const std::function<void()> &nudge = {})
    {
        const QString name = QStringLiteral("c%1").arg(++FSequence, 4, 10, QLatin1Char('0'));
        QFile file(FDir.filePath(name + QStringLiteral(".part")));
        if (!file.open(QIODevice::WriteOnly))
            return QStringLiteral("cannot write");
        file.write(lines.join(QLatin1Char('\n')).toUtf8() + '\n');
        file.close();
        file.rename(FDir.filePath(name + QStringLiteral(".cmd")));
        QFile done(FDir.filePath(name + QStringLiteral(".done")));
        QElapsedTimer timer;
        timer.start();
        while (!done.exists() && timer.elapsed() < 20000) {
            if (nudge)
                nudge();
            SpinEvents(50);
        }
        if (!done.open(QIODevice::ReadOnly))
            return QStringLiteral("no answer");
        return QString::fromUtf8(done.readAll());
    }

    // A device of LON1 as state.json shows it (after the last Control call).
    QJsonObject Device(const QString &device) const
    {
        QFile file(FDir.filePath(QStringLiteral("state.json")));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        const QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
        return root[QLatin1String("networks")][QLatin1String("LON1")][QLatin1String("devices")][device].toObject();
    }
    // Current value of a variable in hex (upper case, no blanks).
    QString Value(const QString &device, int index) const
    {
        return Device(device)[QLatin1String("values")][QString::number(index)].toString().remove(QLatin1Char(' ')).toUpper();
    }

    // Fetch requests the driver wrote to subnet/node (any domain) since the session began.
    int Fetches(int subnet, int node) const
    {
#ifdef LW_E2E_IP852
        return Channel.Fetches(subnet, node);
#endif
        QFile file(FDir.filePath(QStringLiteral("trace.txt")));
        if (!file.open(QIODevice::ReadOnly))
            return 0;
        int count = 0;
        for (const QByteArray &line : file.readAll().split('\n')) {
            const qsizetype at = line.indexOf(" write ");
            if (at < 0)
                continue;
            const QByteArray f = QByteArray::fromHex(line.mid(at + 7));
            if (f.size() > 17 && quint8(f[16]) == 0x73 && quint8(f[5]) == 1 && (quint8(f[6]) & 0x7F) == node
                && quint8(f[9]) == subnet)
                ++count;
        }
        return count;
    }

    TDriverProcess Driver;
#ifdef LW_E2E_IP852
    TIp852Channel Channel;
#endif
#ifdef LW_E2E_LONNET
    TStandIn StandIn;
#endif

private:
    QTemporaryDir FDir;
    int FSequence = 0;
};

// Handshake, Connect to LON1 under the description, and the connect result collected.
inline bool OpenLon1(TDriverClient &client, const QString &description)
{
    return client.Open({QStringLiteral("DESCRIPTION=") + description, QStringLiteral("SP1=LON1")})
        && client.WaitForStatus().value(0) == QLatin1String("COMMANDSTATUS=TRUE");
}

// The result items of a finished command's answer (after its three header items).
inline QStringList Result(const QStringList &answer)
{
    return answer.mid(3);
}

// Points list request: POINT<i>={P<i>}{address}.
inline QStringList PointsList(const QStringList &addresses)
{
    QStringList request{QStringLiteral("COMMAND=SENDPOINTSLIST")};
    for (int i = 0; i < addresses.size(); ++i)
        request.append(QStringLiteral("POINT%1={P%1}{%2}").arg(i).arg(addresses.at(i)));
    return request;
}

// The value GETPOINTSLIST shows for an address ("" when it shows none).
inline QString ListedValue(TDriverClient &client, const QString &address)
{
    // While the poller waits for a device the driver answers "Waiting for driver...": ask again.
    QStringList answer;
    for (int attempt = 0; attempt < 50; ++attempt) {
        answer = client.Run({QStringLiteral("COMMAND=GETPOINTSLIST")});
        if (answer.value(0) == QLatin1String("COMMANDSTATUS=TRUE"))
            break;
        SpinEvents(100);
    }
    const QString marker = QLatin1Char('{') + address + QStringLiteral("}{VALUE=");
    for (const QString &item : Result(answer)) {
        const qsizetype at = item.indexOf(marker);
        if (at >= 0)
            return item.mid(at + marker.size()).chopped(1);
    }
    return QString();
}

// Polls GETPOINTSLIST until the address shows the value (at most about maxMs).
inline bool WaitForListedValue(TDriverClient &client, const QString &address, const QString &value, int maxMs = 20000)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < maxMs) {
        if (ListedValue(client, address) == value)
            return true;
        SpinEvents(200);
    }
    return false;
}
