#pragma once
// The IP-852 side of an end-to-end session: lonsim-channel started on a loopback channel
// (unicast, or multicast when LW_E2E_IP852_MODE=multicast, or a unicast channel run by
// lonip-config-server when LW_E2E_IP852_MODE=managed or built with LW_E2E_IP852_MANAGED)
// with the session's control folder and a frame trace, and the interfaces file
// (LDV_INTERFACES) that maps the driver's interface name to that channel with the
// description's interface settings.

#include "ChildProcess.h"
#include "ConfigServerProcess.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QUdpSocket>

#include <map>

class TIp852Channel
{
public:
    ~TIp852Channel() { Stop(); }

    static QString Mode()
    {
#ifdef LW_E2E_IP852_MANAGED
        return QStringLiteral("managed");
#else
        return qEnvironmentVariable("LW_E2E_IP852_MODE", QStringLiteral("unicast"));
#endif
    }
    static bool Multicast() { return Mode() == QLatin1String("multicast"); }
    static bool Managed() { return Mode() == QLatin1String("managed"); }
    // lonsim-channel beside the test program.
    static QString ProgramPath() { return QCoreApplication::applicationDirPath() + QStringLiteral("/lonsim-channel"); }

    // Starts the channel server on network (described by descriptionFile) in folder and
    // adds LDV_INTERFACES to environment, naming interfaceName. False with Error() set.
    bool Start(const QString &folder, const QString &network, const QString &descriptionFile,
               const QString &interfaceName, double timeScale, QProcessEnvironment &environment)
    {
        FTrace = QDir(folder).filePath(QStringLiteral("channel-trace.txt"));
        const quint16 hostPort = TConfigServerProcess::FreePort();
        QStringList arguments{QStringLiteral("--network"), network, QStringLiteral("--control"), folder,
                              QStringLiteral("--trace"), FTrace};
        const QString group = QStringLiteral("239.192.84.%1").arg(QRandomGenerator::global()->bounded(100, 250));
        if (Multicast())
            arguments << QStringLiteral("--mode") << QStringLiteral("multicast") << QStringLiteral("--group") << group
                      << QStringLiteral("--port") << QString::number(hostPort) << QStringLiteral("--interface")
                      << QStringLiteral("127.0.0.1");
        else if (Managed()) {
            // The channel file lists the driver's interface and this channel; each learns
            // the other from the server only.
            const quint16 channelPort = TConfigServerProcess::FreePort();
            if (!Server.Start(folder, QList<TConfigServerProcess::TMember>{{hostPort, interfaceName}, {channelPort, network}}
                                          + ExtraMembers)) {
                FError = Server.Error();
                return false;
            }
            arguments << QStringLiteral("--mode") << QStringLiteral("unicast") << QStringLiteral("--listen")
                      << QStringLiteral("127.0.0.1:%1").arg(channelPort) << QStringLiteral("--config-server")
                      << Server.Address();
        } else
            arguments << QStringLiteral("--mode") << QStringLiteral("unicast") << QStringLiteral("--listen")
                      << QStringLiteral("127.0.0.1:0") << QStringLiteral("--member")
                      << QStringLiteral("127.0.0.1:%1").arg(hostPort);
        arguments += ExtraArguments;
        QProcessEnvironment serverEnvironment = QProcessEnvironment::systemEnvironment();
        serverEnvironment.insert(QStringLiteral("LONSIM_TIME_SCALE"), QString::number(timeScale));
        FProcess.setProcessEnvironment(serverEnvironment);
        FProcess.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        FProcess.start(ProgramPath(), arguments);
        const QString ready = WaitForReadyLine(FProcess);
        const auto match = QRegularExpression(QStringLiteral(" on ([0-9.]+):([0-9]+) ")).match(ready);
        if (!ready.contains(QLatin1String("ready")) || !match.hasMatch()) {
            FError = QStringLiteral("lonsim-channel did not start: ") + ready;
            Stop();
            return false;
        }
        QJsonObject entry = InterfaceSettings(descriptionFile);
        entry.insert(QStringLiteral("name"), interfaceName);
        entry.insert(QStringLiteral("type"), QStringLiteral("ip852"));
        entry.insert(QStringLiteral("localAddress"), QStringLiteral("127.0.0.1"));
        if (Multicast()) {
            entry.insert(QStringLiteral("mode"), QStringLiteral("multicast"));
            entry.insert(QStringLiteral("group"), group);
            entry.insert(QStringLiteral("port"), int(hostPort));
        } else {
            entry.insert(QStringLiteral("mode"), QStringLiteral("unicast"));
            entry.insert(QStringLiteral("localPort"), int(hostPort));
            if (Managed())
                entry.insert(QStringLiteral("configServer"), Server.Address());
            else
                entry.insert(QStringLiteral("members"), QJsonArray{QString(match.captured(1) + QLatin1Char(':') + match.captured(2))});
        }
        const QString interfaces = QDir(folder).filePath(QStringLiteral("interfaces.json"));
        QFile file(interfaces);
        if (!file.open(QIODevice::WriteOnly)) {
            FError = QStringLiteral("cannot write ") + interfaces;
            return false;
        }
        file.write(QJsonDocument(QJsonObject{{QStringLiteral("interfaces"), QJsonArray{entry}}}).toJson());
        environment.insert(QStringLiteral("LDV_INTERFACES"), interfaces);
        return true;
    }

    void Stop()
    {
        StopProcess(FProcess);
        Server.Stop();
    }

    QString Error() const { return FError; }
    // More lonsim-channel options for the next Start (--pcap FILE, --secret S).
    QStringList ExtraArguments;
    QProcess &Process() { return FProcess; }
    // The configuration server of a managed channel, and more members for its channel file.
    TConfigServerProcess Server;
    QList<TConfigServerProcess::TMember> ExtraMembers;

    // Fetch transactions (code 0x73) the channel heard for subnet/node, in any domain; the
    // retries of one transaction (same TID) count once.
    int Fetches(int subnet, int node) const
    {
        QFile file(FTrace);
        if (!file.open(QIODevice::ReadOnly))
            return 0;
        int count = 0;
        std::map<QByteArray, int> lastTid;
        for (const QByteArray &line : file.readAll().split('\n')) {
            const qsizetype at = line.indexOf(" in ");
            if (at < 0)
                continue;
            const QByteArray f = QByteArray::fromHex(line.mid(at + 4));
            // LonTalk: L2, L3 (PDU format, address format, domain length), source 2 bytes,
            // form 2a destination subnet, node; the domain; the L4 byte; the code.
            if (f.size() < 8 || ((quint8(f[1]) >> 2) & 3) != 2 || (quint8(f[3]) & 0x80) == 0)
                continue;
            const int domainLength = QList<int>{0, 1, 3, 6}.at(quint8(f[1]) & 3);
            const int pdu = (quint8(f[1]) >> 4) & 3;
            const int codeAt = 6 + domainLength + (pdu == 3 ? 0 : 1);
            if (f.size() <= codeAt || quint8(f[codeAt]) != 0x73 || quint8(f[4]) != subnet
                || (quint8(f[5]) & 0x7F) != node)
                continue;
            const QByteArray destination = f.mid(4, 2 + domainLength);
            const int tid = pdu == 3 ? -1 : quint8(f[codeAt - 1]) & 0x0F;
            const auto it = lastTid.find(destination);
            if (tid >= 0 && it != lastTid.end() && it->second == tid)
                continue;
            lastTid[destination] = tid;
            ++count;
        }
        return count;
    }

private:
    // The network interface of the description: Neuron ID, program ID, model, domains.
    static QJsonObject InterfaceSettings(const QString &descriptionFile)
    {
        QFile file(descriptionFile);
        file.open(QIODevice::ReadOnly);
        const QJsonObject iface = QJsonDocument::fromJson(file.readAll()).object().value(QStringLiteral("interface")).toObject();
        QJsonObject settings{{QStringLiteral("neuronId"), iface.value(QStringLiteral("neuronId"))}};
        if (iface.contains(QStringLiteral("programId")))
            settings.insert(QStringLiteral("programId"), iface.value(QStringLiteral("programId")));
        if (iface.contains(QStringLiteral("model")))
            settings.insert(QStringLiteral("model"), iface.value(QStringLiteral("model")));
        QJsonArray domains;
        for (const QJsonValue &d : iface.value(QStringLiteral("domains")).toArray()) {
            const QJsonObject o = d.toObject();
            domains.append(QJsonObject{{QStringLiteral("id"), o.value(QStringLiteral("id"))},
                                       {QStringLiteral("subnet"), o.value(QStringLiteral("subnet"))},
                                       {QStringLiteral("node"), o.value(QStringLiteral("node"))}});
        }
        settings.insert(QStringLiteral("domains"), domains);
        return settings;
    }

    QProcess FProcess;
    QString FTrace;
    QString FError;
};
